#include "reference/data_set.h"

#include "core/error_report.h"
#include "database/connection.h"
#include "core/error_report.h"
#include "database/database_check.h"
#include "database/engine_sql.h"

#include <QRegularExpression>
#include <QSqlError>
#include <QSqlField>
#include <QSqlIndex>

#include <algorithm>

namespace basekvintor {

bool isBusyError(const QString &engineText)
{
    return kv::isBusyText(engineText);
}

TDataSet::TDataSet(const QString &table, QSqlDatabase db, QObject *parent) : QSqlTableModel(parent, db)
{
    setTable(kv::engineTableName(db, table));
    setEditStrategy(OnManualSubmit);
}

bool TDataSet::select()
{
    if (!QSqlTableModel::select())
        return false;
    while (canFetchMore())
        fetchMore();
    return true;
}

bool TDataSet::setOrder(const QString &order)
{
    static const QRegularExpression item(QStringLiteral("^\\s*(\\w+)(?:\\s+(ASC|DESC))?\\s*$"),
                                         QRegularExpression::CaseInsensitiveOption);
    QStringList parts;
    for (const QString &part : order.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const auto m = item.match(part);
        if (!m.hasMatch() || record().indexOf(m.captured(1)) < 0)
            return false;
        parts << (m.captured(1) + (m.captured(2).isEmpty() ? QString() : QLatin1Char(' ') + m.captured(2).toUpper()));
    }
    m_order = parts.join(QLatin1Char(','));
    return true;
}

QString TDataSet::orderByClause() const
{
    if (m_order.isEmpty())
        return QSqlTableModel::orderByClause();
    return kv::engineSql(database(), QStringLiteral("ORDER BY ") + m_order);
}

qint64 TDataSet::keyAt(int row) const
{
    if (row < 0 || row >= rowCount())
        return 0;
    return record(row).value(QStringLiteral("PIndex")).toLongLong();
}

int TDataSet::rowOfKey(qint64 key) const
{
    const int column = fieldIndex(QStringLiteral("PIndex"));
    for (int row = 0;; ++row) {
        if (row >= rowCount()) {
            if (!canFetchMore())
                return -1;
            const_cast<TDataSet *>(this)->fetchMore();
            if (row >= rowCount())
                return -1;
        }
        if (data(index(row, column)).toLongLong() == key)
            return row;
    }
}

bool TDataSet::checkAndAdjust(QSqlRecord &record)
{
    if (m_beforePost) {
        try {
            m_refusal = m_beforePost(database(), record);
        } catch (const std::exception &e) {
            m_error = QString::fromUtf8(e.what());
            return false;
        }
        if (!m_refusal.accepted)
            return false;
    }
    const QString range = fieldRangeProblem(tableName(), record);
    if (!range.isEmpty()) {
        m_refusal = RuleVerdict::refuse(range, kv::Icon::Warning);
        return false;
    }
    return true;
}

bool TDataSet::insertRowIntoTable(const QSqlRecord &values)
{
    QSqlRecord rec = values;
    // Values given when the row was made (the master's key, defaults) count as typed.
    for (int i = 0; i < rec.count(); ++i)
        rec.setGenerated(i, !rec.isNull(i));
    if (!checkAndAdjust(rec))
        return false;
    return QSqlTableModel::insertRowIntoTable(rec);
}

bool TDataSet::updateRowInTable(int row, const QSqlRecord &values)
{
    QSqlRecord rec = values;
    if (!checkAndAdjust(rec))
        return false;
    return QSqlTableModel::updateRowInTable(row, rec);
}

bool TDataSet::deleteRowFromTable(int row)
{
    const QSqlRecord deleted = record(row);
    if (!QSqlTableModel::deleteRowFromTable(row))
        return false;
    if (m_afterDelete) {
        try {
            m_afterDelete(database(), deleted);
        } catch (const std::exception &e) {
            m_error = QString::fromUtf8(e.what());
            m_partial = true;
            return false;
        }
    }
    return true;
}

bool TDataSet::post()
{
    m_problem.clear();
    if (!isDirty())
        return true;
    m_refusal = RuleVerdict::accept();
    m_error.clear();
    m_partial = false;
    bool reread = false;
    {
        // The rules read before the write: the write lock is taken first, so
        // the other program's writes are waited for rather than failing half-way.
        kv::Transaction transaction(database());
        if (!transaction.begin()) {
            m_problem = isBusyError(transaction.errorText())
                            ? kDatabaseBusy
                            : QStringLiteral("Не удалось сохранить изменения: %1").arg(transaction.errorText());
            kv::ui().warning(nullptr, kProgramTitle, m_problem);
            return false;
        }
        const bool written = submitAll();
        if (!written && m_error.isEmpty() && m_refusal.accepted)
            m_error = QStringLiteral("Не удалось сохранить изменения: %1").arg(kv::engineErrorText(lastError(), database()));
        if (written || !m_partial) {
            // Records are posted one after another, each whole: the ones before
            // a refused or failed record are kept, as the model already counts
            // them written; the refused one stays in edit.
            if (transaction.commit()) {
                if (written)
                    return true;
            } else {
                if (m_error.isEmpty())
                    m_error = transaction.errorText();
                reread = true;  // the model shows what the engine did not keep
            }
        } else {
            reread = true;  // a record half written: none of it is kept, the table is read again
        }
    }  // rolled back here, before any box, so no lock is held while the operator reads
    if (reread)
        select();
    if (!m_refusal.accepted) {
        m_problem = m_refusal.message;
        kv::ui().message(nullptr, kProgramTitle, m_problem, m_refusal.icon, QMessageBox::Ok, QMessageBox::Ok);
        return false;
    }
    if (isBusyError(m_error)) {
        m_problem = kDatabaseBusy;
        kv::ui().warning(nullptr, kProgramTitle, m_problem);
    } else {
        m_problem = m_error;
        kv::reportError(m_error);
    }
    return false;
}

bool TDataSet::deleteRows(QList<int> rows)
{
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    for (int row : rows)
        if (row >= 0 && row < rowCount())
            removeRow(row);
    const bool ok = post();
    if (!ok)
        select();  // the rows as they are now stored
    return ok;
}

}  // namespace basekvintor
