#include "reference/record_cursor.h"

#include "reference/data_set.h"

#include <QSqlRecord>

#include <algorithm>

namespace basekvintor {

RecordCursor::RecordCursor(TDataSet *set, QObject *parent) : QObject(parent), m_set(set)
{
    connect(set, &QAbstractItemModel::modelAboutToBeReset, this, &RecordCursor::beforeReset);
    connect(set, &QAbstractItemModel::modelReset, this, &RecordCursor::afterReset);
    connect(set, &QAbstractItemModel::rowsRemoved, this, [this] {
        if (m_row >= m_set->rowCount())
            setRow(m_set->rowCount() - 1);
    });
    m_row = set->rowCount() > 0 ? 0 : -1;
}

qint64 RecordCursor::key() const { return m_set ? m_set->keyAt(m_row) : 0; }

bool RecordCursor::isEmpty() const { return !m_set || m_set->rowCount() == 0; }

namespace {
// A stored row counts as changed by any of its fields.
bool hasChanges(const TDataSet *set, int row)
{
    if (row < 0 || row >= set->rowCount())
        return false;
    for (int c = 0; c < set->columnCount(); ++c)
        if (set->isDirty(set->index(row, c)))
            return true;
    return false;
}
}  // namespace

bool RecordCursor::isInserted() const { return m_set && m_set->keyAt(m_row) == 0 && hasChanges(m_set, m_row); }

bool RecordCursor::isEdited() const { return m_set && m_set->keyAt(m_row) != 0 && hasChanges(m_set, m_row); }

bool RecordCursor::isModified() const { return m_set && m_set->isDirty(); }

bool RecordCursor::hasPendingInsert() const
{
    if (!isModified())
        return false;
    for (int r = 0; r < m_set->rowCount(); ++r)
        if (m_set->keyAt(r) == 0 && hasChanges(m_set, r))
            return true;
    return false;
}

void RecordCursor::setRow(int row)
{
    if (!m_set)
        return;
    if (row >= m_set->rowCount())
        row = m_set->rowCount() - 1;
    if (row < 0 && m_set->rowCount() > 0)
        row = 0;
    if (row == m_row)
        return;
    m_row = row;
    Q_EMIT rowChanged(m_row);
}

bool RecordCursor::untouchedInsert() const
{
    if (!isInserted() || m_row != m_insertRow)
        return false;
    const QSqlRecord record = m_set->record(m_row);
    for (int i = 0; i < record.count(); ++i) {
        const QString name = record.fieldName(i);
        const QVariant value = record.value(i);
        const QVariant given = m_insertValues.value(name);
        const bool bothEmpty = (value.isNull() || !value.isValid()) && (given.isNull() || !given.isValid());
        if (!bothEmpty && value != given)
            return false;
    }
    return true;
}

bool RecordCursor::leave()
{
    if (m_beforeLeave && !m_beforeLeave())
        return false;
    if (!isModified())
        return true;
    // A new record left as it was made is dropped, not written.
    if (untouchedInsert() && m_set->isDirty() && m_set->rowCount() > 0) {
        const int row = m_row;
        m_set->revertRow(row);
        m_insertRow = -1;
        if (!m_set->isDirty())
            return true;
    }
    return post();
}

bool RecordCursor::moveTo(int row)
{
    if (!m_set)
        return false;
    if (row == m_row)
        return leave();
    const qint64 target = m_set->keyAt(row);
    if (!leave())
        return false;
    // A write re-reads the set: the target is found again by its key.
    const int found = target ? m_set->rowOfKey(target) : row;
    setRow(found >= 0 ? found : row);
    return true;
}

bool RecordCursor::first() { return moveTo(0); }

bool RecordCursor::prior() { return m_row > 0 ? moveTo(m_row - 1) : leave(); }

bool RecordCursor::next()
{
    if (!m_set)
        return false;
    while (m_row + 1 >= m_set->rowCount() && m_set->canFetchMore())
        m_set->fetchMore();
    return m_row + 1 < m_set->rowCount() ? moveTo(m_row + 1) : leave();
}

bool RecordCursor::last()
{
    if (!m_set)
        return false;
    while (m_set->canFetchMore())
        m_set->fetchMore();
    return moveTo(m_set->rowCount() - 1);
}

QList<qint64> RecordCursor::allKeys() const
{
    QList<qint64> keys;
    while (m_set->canFetchMore())
        m_set->fetchMore();
    for (int r = 0; r < m_set->rowCount(); ++r)
        keys.append(m_set->keyAt(r));
    return keys;
}

bool RecordCursor::post()
{
    if (!m_set)
        return false;
    if (!m_set->isDirty())
        return true;
    // A new record gets its key from the engine; it is found again as the
    // key that was not there before.
    m_findNew = isInserted();
    if (m_findNew)
        m_keysBefore = allKeys();
    const bool ok = m_set->post();
    m_findNew = false;
    if (ok)
        m_insertRow = -1;
    return ok;
}

void RecordCursor::cancel()
{
    if (!m_set)
        return;
    const qint64 kept = key();
    const int row = m_row;
    m_set->revertAll();
    m_insertRow = -1;
    const int found = kept ? m_set->rowOfKey(kept) : -1;
    setRow(found >= 0 ? found : std::min(row, m_set->rowCount() - 1));
}

int RecordCursor::insert(const QHash<QString, QVariant> &values)
{
    if (!m_set || !leave())
        return -1;
    const int row = std::max(m_row, 0);
    if (!m_set->insertRow(row))
        return -1;
    for (auto it = values.begin(); it != values.end(); ++it) {
        const int column = m_set->fieldIndex(it.key());
        if (column >= 0)
            m_set->setData(m_set->index(row, column), it.value());
    }
    m_insertValues.clear();
    const QSqlRecord record = m_set->record(row);
    for (int i = 0; i < record.count(); ++i)
        m_insertValues.insert(record.fieldName(i), record.value(i));
    m_insertRow = row;
    m_row = -1;  // the new row is another record even at the same index
    setRow(row);
    return row;
}

void RecordCursor::refresh()
{
    if (!m_set || !leave())
        return;
    m_set->select();
}

void RecordCursor::beforeReset()
{
    m_keptKey = key();
    m_keptRow = m_row;
}

void RecordCursor::afterReset()
{
    int row = -1;
    if (m_findNew) {
        qint64 newest = 0;
        const QList<qint64> keys = allKeys();
        for (qint64 k : keys)
            if (!m_keysBefore.contains(k))
                newest = std::max(newest, k);
        if (newest)
            row = m_set->rowOfKey(newest);
    } else if (m_keptKey) {
        row = m_set->rowOfKey(m_keptKey);
    }
    if (row < 0)
        row = std::min(m_keptRow, m_set->rowCount() - 1);
    if (row < 0 && m_set->rowCount() > 0)
        row = 0;
    // The grid lost its current row with the re-read: always report it.
    m_row = row;
    Q_EMIT rowChanged(m_row);
}

}  // namespace basekvintor
