// The database program's side of the soak: its data module browses the
// archive while the control program saves — the archive list read again, the
// newest and some random records opened with their meters and each meter's
// errors, now and then the whole list paged through — and deletes soak
// records through the archive's own delete, and edits a test through the
// record rules. Every record it sees must be whole; any message box (a lock
// the busy timeout did not wait out among them) is counted and printed.
//
// With --dialogs it also opens the program's file dialogs on the database's
// folder every round and checks that the process still holds SQLite's locks
// on the file (a dialog that read the database's files outside SQLite would
// drop them, and the other program's checkpoint would then delete writes).
//
//   kvintor-soak-browse --database PATH [--stop-file F] [--seconds N]
//                       [--delete-every K] [--edit-every K] [--dialogs]

#include "soak_shape.h"

#include "database/file_locks.h"
#include "reference/data_module.h"
#include "reference/data_set.h"
#include "file_dialog_browse.h"
#include "widgets/ui.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>

using namespace basekvintor;

namespace {

QTextStream out(stdout);

struct Counts {
    qint64 iterations = 0, records = 0, meters = 0, errors = 0, listRows = 0;
    qint64 deletes = 0, deleteFailures = 0, edits = 0, editFailures = 0;
    qint64 halfWritten = 0, readErrors = 0, boxes = 0;
    qint64 dialogs = 0, locksLost = 0;
    QString lastTestEdit, lastTypeEdit;
    double longestWriteMs = 0;  // a delete or edit, waiting for the other program's save included
};

class Browser
{
public:
    Browser(TDM &dm, kv::RecordingUi &ui) : m_dm(dm), m_ui(ui) {}

    Counts c;

    void noteBoxes(const char *where)
    {
        for (const auto &b : m_ui.boxes())
            out << "box " << where << ": " << b.caption << " | " << b.text << Qt::endl;
        c.boxes += m_ui.boxes().size();
        m_ui.clear();
    }

    void listError(const TQueryDataSet *list, const char *what)
    {
        if (list->lastError().isEmpty())
            return;
        ++c.readErrors;
        out << "read error (" << what << "): " << list->lastError() << Qt::endl;
    }

    // Opens the record at `row` with its meters and their errors; returns the
    // save a soak record belongs to (0 for any other record).
    int visit(int row)
    {
        m_dm.setCurrentMeasure(row);
        const qint64 key = m_dm.currentMeasureKey();
        if (key == 0)
            return 0;
        ++c.records;
        TQueryDataSet *meters = m_dm.ADOPosition;
        listError(meters, "meters");
        const int n = meters->rowCount();
        c.meters += n;
        int save = 0, group = -1;
        for (int r = 0; r < n; ++r) {
            int s = 0, tag = 0;
            if (soak::parseMeterNumber(meters->value(r, QStringLiteral("PNumber")).toString(), &s, &tag)) {
                save = s;
                group = soak::recordOfStand(tag / 10);
            }
            m_dm.setCurrentPosition(r);
            TQueryDataSet *errors = m_dm.ADOResult;
            listError(errors, "errors");
            const int e = errors->rowCount();
            c.errors += e;
            for (int i = 0; i < e; ++i)
                errors->value(i, QStringLiteral("PMeasure"));
            if (save && e != soak::kPoints) {
                ++c.halfWritten;
                out << "record " << key << " meter " << tag << " shows " << e << " errors" << Qt::endl;
            }
        }
        if (save && n != soak::metersOfRecord(group)) {
            ++c.halfWritten;
            out << "record " << key << " of save " << save << " shows " << n << " meters" << Qt::endl;
        }
        return save;
    }

    void iterate(int deleteEvery, int editEvery)
    {
        ++c.iterations;
        m_dm.refreshArchive();
        TQueryDataSet *list = m_dm.ADOMeasure;
        listError(list, "archive");
        const int n = list->rowCount();
        if (n == 0)
            return;
        // The newest records, where the other program is writing, and a few anywhere.
        QList<int> rows;
        for (int r = n - 1; r >= 0 && r >= n - 3; --r)
            rows << r;
        for (int i = 0; i < 2; ++i)
            rows << int(m_random.bounded(n));
        for (int r : rows)
            visit(r);
        if (c.iterations % 10 == 0) {
            // Paging the whole list as a scrolled grid does.
            for (int r = 0; r < list->rowCount(); ++r)
                list->value(r, QStringLiteral("PIndex"));
            c.listRows += list->rowCount();
            listError(list, "archive pages");
        }
        noteBoxes("browse");

        if (deleteEvery > 0 && c.iterations % deleteEvery == 0) {
            // A soak record among the newest ones.
            const int from = n - 1 - int(m_random.bounded(qMin(n, 6)));
            for (int r = from; r >= 0 && r > from - 20; --r) {
                if (!visit(r))
                    continue;
                QElapsedTimer t;
                t.start();
                if (m_dm.deleteMeasures({m_dm.currentMeasureKey()}))
                    ++c.deletes;
                else
                    ++c.deleteFailures;
                c.longestWriteMs = qMax(c.longestWriteMs, t.nsecsElapsed() / 1e6);
                break;
            }
            noteBoxes("delete");
        }
        if (editEvery > 0 && c.iterations % editEvery == 0) {
            edit(m_dm.ADOTest, QStringLiteral("PDescription"), &c.lastTestEdit);
            edit(m_dm.ADOTip, QStringLiteral("PMaker"), &c.lastTypeEdit);
            noteBoxes("edit");
        }
    }

    // Edits the first row's field through the record rules and posts it.
    void edit(TDataSet *table, const QString &field, QString *written)
    {
        if (table->rowCount() == 0)
            return;
        const QString text = QStringLiteral("Правка ") + QString::number(c.iterations);
        table->setData(table->index(0, table->fieldIndex(field)), text);
        QElapsedTimer t;
        t.start();
        if (table->post()) {
            ++c.edits;
            *written = text;
        } else {
            ++c.editFailures;
        }
        c.longestWriteMs = qMax(c.longestWriteMs, t.nsecsElapsed() / 1e6);
    }

    void openDialogs(const QString &databaseFile)
    {
        c.dialogs += soak::browseFileDialogs(QFileInfo(databaseFile).absolutePath());
        if (kv::databaseLocksOfThisProcess(databaseFile) == kv::FileLocks::Lost) {
            ++c.locksLost;
            out << "locks lost after round " << c.iterations << Qt::endl;
        }
    }

private:
    TDM &m_dm;
    kv::RecordingUi &m_ui;
    QRandomGenerator m_random{15};
};

}  // namespace

int main(int argc, char **argv)
{
    QTemporaryDir settings;
    qputenv("XDG_CONFIG_HOME", settings.path().toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption database(QStringLiteral("database"), QStringLiteral("The database file."),
                                      QStringLiteral("path"));
    const QCommandLineOption stopFile(QStringLiteral("stop-file"), QStringLiteral("Stop once this file exists."),
                                      QStringLiteral("path"));
    const QCommandLineOption seconds(QStringLiteral("seconds"), QStringLiteral("Stop after this long."),
                                     QStringLiteral("n"), QStringLiteral("3600"));
    const QCommandLineOption deleteEvery(QStringLiteral("delete-every"),
                                         QStringLiteral("Delete a soak record every K rounds (0 never)."),
                                         QStringLiteral("k"), QStringLiteral("5"));
    const QCommandLineOption editEvery(QStringLiteral("edit-every"),
                                       QStringLiteral("Edit a test every K rounds (0 never)."), QStringLiteral("k"),
                                       QStringLiteral("7"));
    const QCommandLineOption dialogs(QStringLiteral("dialogs"),
                                     QStringLiteral("Open the file dialogs on the database's folder every round."));
    parser.addOptions({database, stopFile, seconds, deleteEvery, editEvery, dialogs});
    parser.process(app);
    if (!parser.isSet(database)) {
        out << "--database PATH is required" << Qt::endl;
        return 2;
    }

    kv::ScopedRecordingUi ui;
    TDM dm;
    if (!dm.connectDatabase(parser.value(database)) || !dm.DataModuleCreate()) {
        for (const auto &b : ui->boxes())
            out << "box open: " << b.text << Qt::endl;
        return 2;
    }
    Browser browser(dm, *ui);
    const QString stop = parser.value(stopFile);
    const qint64 limit = parser.value(seconds).toLongLong() * 1000;
    QElapsedTimer wall;
    wall.start();
    const QString databaseFile = QFileInfo(parser.value(database)).absoluteFilePath();
    while (wall.elapsed() < limit && (stop.isEmpty() || !QFile::exists(stop))) {
        browser.iterate(parser.value(deleteEvery).toInt(), parser.value(editEvery).toInt());
        if (parser.isSet(dialogs))
            browser.openDialogs(databaseFile);
    }

    const Counts &c = browser.c;
    out << "browse: rounds=" << c.iterations << " records=" << c.records << " meters=" << c.meters
        << " errors=" << c.errors << " list_rows_paged=" << c.listRows << " deleted=" << c.deletes
        << " delete_failures=" << c.deleteFailures << " edits=" << c.edits << " edit_failures=" << c.editFailures
        << " longest_write_ms=" << qint64(c.longestWriteMs) << " half_written=" << c.halfWritten << " read_errors=" << c.readErrors << " boxes=" << c.boxes
        << " dialogs=" << c.dialogs << " locks_lost=" << c.locksLost
        << " seconds=" << QString::number(wall.elapsed() / 1000.0, 'f', 1) << Qt::endl;
    // What the check reads back: the last texts written.
    out << "last test edit: " << c.lastTestEdit << Qt::endl;
    out << "last type edit: " << c.lastTypeEdit << Qt::endl;
    const bool clean = c.deleteFailures == 0 && c.editFailures == 0 && c.halfWritten == 0 && c.readErrors == 0 &&
                       c.boxes == 0 && c.locksLost == 0;
    return clean ? 0 : 1;
}
