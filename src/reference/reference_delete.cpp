#include "reference/reference_delete.h"

#include "core/error_report.h"
#include "core/ui.h"
#include "database/engine_sql.h"
#include "reference/data_set.h"
#include "reference/record_cursor.h"
#include "reference/record_rules.h"

#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>

namespace basekvintor {

QList<int> rowsToDelete(const kv::MarkedRows &marked, int currentRow)
{
    if (!marked.isEmpty())
        return marked.rows;
    if (currentRow >= 0)
        return {currentRow};
    return {};
}

namespace {
bool archiveNames(QSqlDatabase db, const QString &pointerField, qint64 key)
{
    QSqlQuery query(db);
    const QString jet = QStringLiteral("Select PIndex from TMeasure where ") +
                        QStringLiteral("(%1=%2)").arg(pointerField, QString::number(key));
    if (!query.exec(kv::toEngineSql(jet, db)))
        throw kv::Error(query.lastError().text());
    return query.next();
}
}  // namespace

bool archiveUsesTip(QSqlDatabase db, qint64 tipKey) { return archiveNames(db, QStringLiteral("PPointerTip"), tipKey); }

bool archiveUsesTest(QSqlDatabase db, qint64 testKey)
{
    return archiveNames(db, QStringLiteral("PPointerTest"), testKey);
}

std::function<QString(qint64)> runInProgressRefusal(QSqlDatabase db, kv::ClaimKind kind)
{
    return [db, kind](qint64 key) {
        if (!kv::runClaims(db, kind, key))
            return QString();
        return kind == kv::ClaimKind::Tip ? kTipInRun : kTestInRun;
    };
}

DeleteResult deleteUnlessUsed(RecordCursor &cursor, const QList<int> &rows,
                              const std::function<bool(qint64 key)> &used, const QString &usedMessage,
                              QWidget *parent, const std::function<QString(qint64 key)> &refusal)
{
    DeleteResult result;
    TDataSet *set = cursor.dataSet();
    if (!set || rows.isEmpty())
        return result;

    // Records not stored yet among the chosen ones are dropped as they are.
    QList<qint64> keys;
    QList<int> unsaved;
    for (int row : rows) {
        if (row < 0 || row >= set->rowCount())
            continue;
        const qint64 key = set->keyAt(row);
        if (key == 0)
            unsaved.append(row);
        else if (!keys.contains(key))
            keys.append(key);
    }
    std::sort(unsaved.begin(), unsaved.end(), std::greater<int>());
    for (int row : unsaved) {
        set->revertRow(row);
        ++result.deleted;
    }
    if (!cursor.post()) {
        result.done = false;
        return result;
    }

    QList<qint64> doomed;
    for (qint64 key : keys) {
        const QString refused = refusal ? refusal(key) : QString();
        if (!refused.isEmpty()) {
            ++result.kept;
            kv::ui().error(parent, kProgramTitle, refused);
        } else if (used(key)) {
            ++result.kept;
            kv::ui().error(parent, kProgramTitle, usedMessage);
        } else {
            doomed.append(key);
        }
    }
    if (doomed.isEmpty())
        return result;
    QList<int> doomedRows;
    for (qint64 key : doomed) {
        const int row = set->rowOfKey(key);
        if (row >= 0)
            doomedRows.append(row);
    }
    if (!set->deleteRows(doomedRows)) {
        result.done = false;
        return result;
    }
    result.deleted += doomedRows.size();
    return result;
}

}  // namespace basekvintor
