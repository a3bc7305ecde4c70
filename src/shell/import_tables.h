#pragma once
// Import of test and meter type tables from Paradox files: the layout checks,
// the conversions of the source rows, and the transfer into the reference
// tables through the record rules. Each import is one transaction: a table
// that fails half-way leaves nothing behind, so a test never runs with part
// of its points.

#include "files/paradox_file.h"

#include <QString>
#include <QStringList>

namespace basekvintor {

class TDM;

inline const QString kImportCaption = QStringLiteral("Ошибка ");
inline const QString kImportCannotOpen = QStringLiteral("Набор данных не может быть открыт !");
inline const QString kImportNotTestTable = QStringLiteral("Набор данных не является таблицей тестов !");
inline const QString kImportNotTipTable = QStringLiteral("Набор данных не является таблицей типов !");
inline const QString kImportTransferFailed = QStringLiteral("Ошибка переноса данных !");
// The only filter of the open dialog.
inline const QString kImportFilter = QStringLiteral("Pradox 7.x (*.db)");

// Eight columns: any, then short, text, short, text, text, short, number.
bool isTestTable(const kv::ParadoxTable &source);
// Where the type data starts: 1 for thirteen columns led by a counter, 0 for
// the twelve data columns alone, -1 for anything else.
int tipTableOffset(const kv::ParadoxTable &source);

enum class ImportStage { Reading, Transfer };

// Told how an import advances, on the thread that runs it. A window keeps
// itself responsive here; returning false gives the import up (nothing is
// stored then).
class ImportProgress
{
public:
    virtual ~ImportProgress() = default;
    // `total` is 0 while not known.
    virtual bool step(ImportStage stage, qint64 done, qint64 total) = 0;
};

struct ImportOutcome {
    enum Status { Done, CannotOpen, WrongLayout, TransferFailed, Cancelled };
    Status status = Done;
    int stored = 0;       // points of the new test, or types added
    int skipped = 0;      // types already stored
    QStringList skippedTypes;  // those types: "type (identifier)", in file order
    int refusedRow = 0;   // the source row the rules refused (from 1), 0: none
    qint64 testKey = 0;   // the new test
    QString reason;       // what went wrong, for the record (the boxes carry the operator's texts)

    bool ok() const { return status == Done; }
};

// What the operator is told after an import: the row a refusal is about
// (appended to the rule's own text; "" for no row), the points of a new test,
// the types added and those skipped as already stored.
QString importRowText(int row);
QString importedTestText(const ImportOutcome &out);
QString importedTipsText(const ImportOutcome &out);

class TableImport
{
public:
    explicit TableImport(TDM *dm);

    // How long the reader may go without progress before the file counts as
    // unreadable.
    void setReadLimitMs(int ms) { m_readLimitMs = ms; }
    int readLimitMs() const { return m_readLimitMs; }
    void setProgress(ImportProgress *progress) { m_progress = progress; }

    // Reads a source file. The reading runs beside the calling thread, which
    // meanwhile reports to the progress every few tens of milliseconds, so a
    // file the reader hangs on never freezes a window.
    kv::ParadoxTable readSource(const QString &path);
    // False, with the outcome set and the operator told, when the file could
    // not be read (or the reading was cancelled).
    bool sourceRead(const kv::ParadoxTable &source, ImportOutcome &out);

    // AImportTestExecute and AImportTipExecute once a file is chosen: the
    // messages of every failure are shown here. The data sets are read again
    // afterwards; a new test becomes the data module's current test.
    ImportOutcome importTest(const QString &path);
    ImportOutcome importTip(const QString &path);

    // The transfers alone, on a source already read and checked.
    ImportOutcome transferTest(const QString &testName, const kv::TableData &source);
    ImportOutcome transferTip(const kv::TableData &source, int offset);

private:
    bool postPendingEdits(bool tests);
    bool reportProgress(ImportStage stage, qint64 done, qint64 total);

    TDM *m_dm;
    ImportProgress *m_progress = nullptr;
    int m_readLimitMs = 10000;
};

}  // namespace basekvintor
