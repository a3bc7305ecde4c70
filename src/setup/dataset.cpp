#include "setup/dataset.h"

#include "core/ui.h"
#include "database/connection.h"
#include "database/database_check.h"
#include "database/engine_sql.h"

#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <algorithm>

namespace kvintor {

namespace {

// Jet sorts text without regard to case; numbers by value; empty values first.
int compareValues(const QVariant &a, const QVariant &b)
{
    const bool an = a.isNull(), bn = b.isNull();
    if (an || bn)
        return an == bn ? 0 : (an ? -1 : 1);
    const int ta = a.typeId(), tb = b.typeId();
    if (ta == QMetaType::QString || tb == QMetaType::QString)
        return QString::compare(a.toString(), b.toString(), Qt::CaseInsensitive);
    const double da = a.toDouble(), db = b.toDouble();
    return da < db ? -1 : (da > db ? 1 : 0);
}

// Locating matches text exactly, numbers by value.
bool sameValue(const QVariant &a, const QVariant &b)
{
    if (a.typeId() == QMetaType::QString && b.typeId() == QMetaType::QString)
        return a.toString() == b.toString();
    return !a.isNull() && !b.isNull() && compareValues(a, b) == 0;
}

}  // namespace

RecordTable::RecordTable(const QString &name, const QStringList &fields, QObject *parent)
    : QAbstractTableModel(parent), m_name(name), m_fields(fields)
{
}

int RecordTable::fieldIndex(const QString &field) const
{
    for (int i = 0; i < m_fields.size(); ++i)
        if (m_fields.at(i).compare(field, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QString RecordTable::open()
{
    if (!m_active) {
        resetRows(m_fields, {});
        m_counter = 0;
        m_active = true;
    }
    return {};
}

void RecordTable::close()
{
    resetRows(m_fields, {});
    m_active = false;
}

int RecordTable::recNo() const
{
    return m_current;
}

int RecordTable::currentUnderlying() const
{
    return m_current >= 0 && m_current < m_visible.size() ? m_visible.at(m_current) : -1;
}

void RecordTable::postOrDrop()
{
    if (m_state == State::Browse)
        return;
    const QString error = post();
    if (!error.isEmpty()) {
        // The row cannot be kept: say so, and go on from the row as it was.
        kv::ui().error(nullptr, QStringLiteral("Ошибка"),
                       QStringLiteral("Изменение записи не сохранено в базе данных.\n") + error);
        cancel();
    }
}

void RecordTable::moveTo(int visibleRow)
{
    postOrDrop();  // moving off an edited row keeps it, as a grid does
    const int before = currentUnderlying();
    m_current = (visibleRow >= 0 && visibleRow < m_visible.size()) ? visibleRow : (m_visible.isEmpty() ? -1 : m_current);
    if (currentUnderlying() != before)
        Q_EMIT currentChanged();
}

bool RecordTable::setCurrent(int row)
{
    if (row < 0 || row >= m_visible.size())
        return false;
    m_eof = false;
    moveTo(row);
    return true;
}

void RecordTable::first()
{
    m_eof = m_visible.isEmpty();
    if (!m_visible.isEmpty())
        moveTo(0);
}

void RecordTable::next()
{
    if (m_current + 1 < m_visible.size())
        moveTo(m_current + 1);
    else
        m_eof = true;
}

bool RecordTable::locate(const QString &field, const QVariant &value)
{
    const int f = fieldIndex(field);
    if (f < 0)
        return false;
    for (int i = 0; i < m_visible.size(); ++i)
        if (sameValue(m_rows.at(m_visible.at(i)).at(f), value)) {
            setCurrent(i);
            return true;
        }
    return false;
}

QVariant RecordTable::rowField(const Row &row, const QString &field) const
{
    const int f = fieldIndex(field);
    return f >= 0 && f < row.size() ? row.at(f) : QVariant();
}

QVariant RecordTable::value(const QString &field) const
{
    const int u = currentUnderlying();
    return u < 0 ? QVariant() : rowField(m_rows.at(u), field);
}

QVariant RecordTable::valueAt(int row, const QString &field) const
{
    if (row < 0 || row >= m_visible.size())
        return {};
    return rowField(m_rows.at(m_visible.at(row)), field);
}

void RecordTable::setValue(const QString &field, const QVariant &value)
{
    const int u = currentUnderlying();
    const int f = fieldIndex(field);
    if (u < 0 || f < 0)
        return;
    if (m_state == State::Browse) {
        m_before = m_rows.at(u);
        m_state = State::Edit;
    }
    m_rows[u][f] = value;
    Q_EMIT dataChanged(index(m_current, f), index(m_current, f));
}

void RecordTable::initNewRow(Row &)
{
}

void RecordTable::append()
{
    postOrDrop();
    m_appendedFrom = currentUnderlying();
    Row row(m_fields.size());
    initNewRow(row);
    const int at = int(m_visible.size());
    beginInsertRows(QModelIndex(), at, at);
    m_rows.append(row);
    m_visible.append(int(m_rows.size()) - 1);
    endInsertRows();
    m_before = row;
    m_state = State::Insert;
    m_current = at;
    m_eof = false;
    Q_EMIT currentChanged();
}

QString RecordTable::writeRow(Row &row, const Row &, bool inserting)
{
    const int f = fieldIndex(QStringLiteral("PIndex"));
    if (inserting && f >= 0 && row.at(f).isNull())
        row[f] = ++m_counter;
    return {};
}

QString RecordTable::post()
{
    const int u = currentUnderlying();
    if (m_state == State::Browse || u < 0)
        return {};
    Row row = m_rows.at(u);
    const QString error = writeRow(row, m_before, m_state == State::Insert);
    if (!error.isEmpty())
        return error;
    m_rows[u] = row;
    const bool inserted = m_state == State::Insert;
    m_state = State::Browse;
    // A posted row takes its place in the sort and under the filter.
    rebuildVisible(u);
    if (inserted)
        Q_EMIT currentChanged();  // its key is known now: details follow it
    return {};
}

void RecordTable::cancel()
{
    const int u = currentUnderlying();
    if (m_state == State::Browse || u < 0)
        return;
    if (m_state == State::Insert) {
        // Back to the row that was current before the append.
        m_rows.remove(u);
        m_state = State::Browse;
        rebuildVisible(m_appendedFrom < u ? m_appendedFrom : -1);
        Q_EMIT currentChanged();
        return;
    }
    m_rows[u] = m_before;
    m_state = State::Browse;
    Q_EMIT dataChanged(index(m_current, 0), index(m_current, columnCount() - 1));
}

void RecordTable::applySort()
{
    const int f = fieldIndex(m_sortField);
    if (f < 0)
        return;
    const bool asc = m_sortOrder == Qt::AscendingOrder;
    std::stable_sort(m_visible.begin(), m_visible.end(), [&](int a, int b) {
        const int c = compareValues(m_rows.at(a).at(f), m_rows.at(b).at(f));
        return asc ? c < 0 : c > 0;
    });
}

void RecordTable::rebuildVisible(int keepUnderlying)
{
    const int before = currentUnderlying();
    beginResetModel();
    m_visible.clear();
    for (int i = 0; i < m_rows.size(); ++i)
        if (!m_filter || m_filter(*this, m_rows.at(i)))
            m_visible.append(i);
    applySort();
    m_current = m_visible.isEmpty() ? -1 : 0;
    if (keepUnderlying >= 0) {
        const int at = int(m_visible.indexOf(keepUnderlying));
        if (at >= 0)
            m_current = at;
    }
    m_eof = m_visible.isEmpty();
    endResetModel();
    if (currentUnderlying() != before || keepUnderlying < 0)
        Q_EMIT currentChanged();
}

void RecordTable::sortBy(const QString &field, Qt::SortOrder order)
{
    postOrDrop();
    m_sortField = field;
    m_sortOrder = order;
    rebuildVisible(currentUnderlying());
}

void RecordTable::setFilter(std::function<bool(const RecordTable &, const Row &)> accept)
{
    m_filter = std::move(accept);
    refilter();
}

void RecordTable::refilter()
{
    postOrDrop();
    rebuildVisible(-1);
}

void RecordTable::resetRows(const QStringList &fields, QVector<Row> rows)
{
    beginResetModel();
    m_fields = fields;
    m_rows = std::move(rows);
    m_visible.clear();
    m_current = -1;
    m_state = State::Browse;
    endResetModel();
    rebuildVisible(-1);
}

int RecordTable::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_visible.size());
}

int RecordTable::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_fields.size());
}

QVariant RecordTable::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole))
        return {};
    if (index.row() >= m_visible.size() || index.column() >= m_fields.size())
        return {};
    const int row = m_visible.at(index.row());
    return row < m_rows.size() ? m_rows.at(row).value(index.column()) : QVariant();
}

QVariant RecordTable::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return section < m_fields.size() ? QVariant(m_fields.at(section)) : QVariant();
    return section + 1;
}

// ---------------------------------------------------------------------------

Dataset::Dataset(const QString &name, const QString &table, const QString &jetSelect, const QString &connection,
                 QObject *parent)
    : RecordTable(name, {}, parent), m_table(table), m_sql(jetSelect), m_connection(connection)
{
}

void Dataset::setSql(const QString &jetSelect)
{
    m_sql = jetSelect;
}

void Dataset::setMaster(Dataset *master, const QString &linkField)
{
    m_master = master;
    m_linkField = linkField;
    connect(master, &RecordTable::currentChanged, this, [this] {
        if (active())
            load();
    });
}

QString Dataset::statement() const
{
    if (!m_master)
        return m_sql;
    // Only the master row's details; the key is a number, never operator text.
    const qlonglong key = m_master->value(QStringLiteral("PIndex")).isNull()
                              ? -1
                              : m_master->value(QStringLiteral("PIndex")).toLongLong();
    return QStringLiteral("%1 where %2=%3").arg(m_sql, m_linkField, QString::number(key));
}

QString Dataset::load()
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.isOpen())
        return QStringLiteral("Нет соединения с базой данных");
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.exec(kv::toEngineSql(statement(), db)))
        return q.lastError().text();
    const QSqlRecord rec = q.record();
    QStringList fields;
    for (int i = 0; i < rec.count(); ++i)
        fields << rec.fieldName(i);
    QVector<Row> rows;
    while (q.next()) {
        Row row(rec.count());
        for (int i = 0; i < rec.count(); ++i)
            row[i] = q.value(i);
        rows.append(row);
    }
    resetRows(fields, std::move(rows));
    return {};
}

QString Dataset::open()
{
    if (active())
        return {};
    const QString error = load();
    if (error.isEmpty())
        setActive(true);
    return error;
}

void Dataset::close()
{
    RecordTable::close();
}

QString Dataset::refresh()
{
    const QVariant key = value(QStringLiteral("PIndex"));
    const QString error = load();
    if (!error.isEmpty())
        return error;
    setActive(true);
    if (!key.isNull())
        locate(QStringLiteral("PIndex"), key);
    return {};
}

void Dataset::initNewRow(Row &row)
{
    if (m_master) {
        const int f = fieldIndex(m_linkField);
        if (f >= 0)
            row[f] = m_master->value(QStringLiteral("PIndex"));
    }
}

QString Dataset::reread(Row &row)
{
    const QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery q(db);
    q.prepare(kv::engineSql(db, QStringLiteral("SELECT * FROM %1 WHERE PIndex = ?").arg(m_table)));
    q.addBindValue(rowField(row, QStringLiteral("PIndex")));
    if (!q.exec())
        return q.lastError().text();
    if (!q.next())
        return {};
    for (int i = 0; i < fields().size(); ++i) {
        const int at = q.record().indexOf(fields().at(i));
        if (at >= 0)
            row[i] = q.value(at);
    }
    return {};
}

QString Dataset::writeRow(Row &row, const Row &before, bool inserting)
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.isOpen())
        return QStringLiteral("Нет соединения с базой данных");
    const int key = fieldIndex(QStringLiteral("PIndex"));
    QStringList names;
    QVariantList values;
    for (int i = 0; i < fields().size(); ++i) {
        if (i == key)
            continue;
        // An empty value of a new row is left to the column's default.
        if (inserting ? row.at(i).isNull() : row.at(i) == before.at(i))
            continue;
        names << fields().at(i);
        // Dates and times are stored as the archive's text, "yyyy-MM-dd
        // HH:mm:ss": the driver's own ISO form ("T", milliseconds) would sort
        // after every other record of the same day.
        const QVariant &v = row.at(i);
        values << (v.typeId() == QMetaType::QDateTime ? QVariant(v.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
                                                       : v);
    }
    QSqlQuery q(db);
    if (inserting) {
        QStringList marks;
        for (int i = 0; i < names.size(); ++i)
            marks << QStringLiteral("?");
        q.prepare(kv::engineSql(db, names.isEmpty() ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(m_table)
                                                    : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                                          .arg(m_table, names.join(QStringLiteral(", ")),
                                                               marks.join(QStringLiteral(", ")))));
    } else {
        if (names.isEmpty() || key < 0)
            return {};
        QStringList sets;
        for (const QString &n : names)
            sets << n + QStringLiteral(" = ?");
        q.prepare(kv::engineSql(db, QStringLiteral("UPDATE %1 SET %2 WHERE PIndex = ?").arg(m_table, sets.join(QStringLiteral(", ")))));
        values << row.at(key);
    }
    for (const QVariant &v : values)
        q.addBindValue(v);
    if (!q.exec())
        return kv::engineErrorText(q.lastError(), db);
    if (inserting && key >= 0)
        row[key] = kv::insertedKey(q, db);
    // Every column as stored (defaults, conversions), and the new key at once.
    return key >= 0 ? reread(row) : QString();
}

}  // namespace kvintor
