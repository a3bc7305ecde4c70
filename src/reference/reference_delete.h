#pragma once
// Deleting meter types, tests and test points from their windows: the rows
// the operator chose, none that an archive record uses.

#include "database/run_claim.h"
#include "widgets/data_grid.h"

#include <QList>
#include <QSqlDatabase>
#include <QString>

#include <functional>

class QWidget;

namespace basekvintor {

class RecordCursor;

inline const QString kDeleteQuestion = QStringLiteral("Удалить все выделенные записи ?");
inline const QString kDeleteCaption = QStringLiteral("Удаление данных");
inline const QString kTipUsed =
    QStringLiteral("Данные типа счетчика используются в архиве.Даный тип счетчика не может быть удален.");
inline const QString kTestUsed = QStringLiteral("Данные теста используются в архиве.Тест не может быть удален.");
inline const QString kPointsOfUsedTest =
    QStringLiteral("Тест используется в архиве.Точки этого теста не могут быть удалены.");

inline const QString kTipInRun = QStringLiteral(
    "Тип счетчика используется в текущей поверке программы Kvintor. Удалить его можно после записи поверки в архив.");
inline const QString kTestInRun = QStringLiteral(
    "Тест используется в текущей поверке программы Kvintor. Удалить его можно после записи поверки в архив.");

// Refuses (with its message) a type or test that a verification not yet in
// the archive will be saved under; "" lets the record go.
std::function<QString(qint64 key)> runInProgressRefusal(QSqlDatabase db, kv::ClaimKind kind);

// The rows a deletion works on: every row when all are marked, the marked
// rows when some are, else the current row (none without one).
QList<int> rowsToDelete(const kv::MarkedRows &marked, int currentRow);

// Whether an archive record names the type / the test. A failing query
// throws kv::Error with the engine's text.
bool archiveUsesTip(QSqlDatabase db, qint64 tipKey);
bool archiveUsesTest(QSqlDatabase db, qint64 testKey);

struct DeleteResult {
    int deleted = 0;
    int kept = 0;     // used by the archive
    bool done = true; // false: a pending change could not be written, or the deletion failed
};

// Deletes the records at these rows of the cursor's set, except those that
// `used` says the archive names: each of those gets `usedMessage` once and
// stays. A record not stored yet is simply dropped. Pending changes of other
// records are written first; if that is refused nothing is deleted. The
// deletions are one write. `refusal`, when given, may keep a record for
// another reason, with its own message.
DeleteResult deleteUnlessUsed(RecordCursor &cursor, const QList<int> &rows,
                              const std::function<bool(qint64 key)> &used, const QString &usedMessage,
                              QWidget *parent, const std::function<QString(qint64 key)> &refusal = {});

}  // namespace basekvintor
