#pragma once
// Rows kept in memory with one current row, as the windows' grids and lookups
// see them: the in-memory tables of a finished run, and (Dataset) the
// database tables the control program reads and writes.

#include <QAbstractTableModel>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <functional>

namespace kvintor {

class RecordTable : public QAbstractTableModel
{
    Q_OBJECT
public:
    using Row = QVector<QVariant>;

    // `fields` may be empty for a table that learns its fields when it opens.
    RecordTable(const QString &name, const QStringList &fields, QObject *parent = nullptr);

    QString name() const { return m_name; }
    const QStringList &fields() const { return m_fields; }
    int fieldIndex(const QString &field) const;  // case-insensitive, -1 when unknown

    // An in-memory table opens empty; a Dataset reads its statement.
    virtual QString open();
    virtual void close();
    bool active() const { return m_active; }

    // Navigation over the rows the filter lets through, in the sort order.
    int count() const { return int(m_visible.size()); }
    bool isEmpty() const { return m_visible.isEmpty(); }
    int recNo() const;  // 0-based, -1 without a current row
    bool setCurrent(int row);
    void first();
    void next();  // past the last row: eof() becomes true, the last row stays current
    bool eof() const { return m_eof; }
    bool locate(const QString &field, const QVariant &value);

    QVariant value(const QString &field) const;  // of the current row; invalid without one
    QVariant valueAt(int row, const QString &field) const;
    // Edits the current row; post() keeps the change, cancel() drops it.
    void setValue(const QString &field, const QVariant &value);

    // A new row at the end becomes current; it exists once posted.
    void append();
    // Keeps the edited or appended current row. Returns "" or the reason it was
    // not kept (the row then stays in edit).
    QString post();
    void cancel();
    bool editing() const { return m_state != State::Browse; }

    // The sort stays in force across refreshes; rows with equal keys keep their order.
    void sortBy(const QString &field, Qt::SortOrder order = Qt::AscendingOrder);

    // Rows the filter rejects are not seen; refilter() applies a changed filter.
    void setFilter(std::function<bool(const RecordTable &, const Row &)> accept);
    void refilter();

    // QAbstractTableModel: every field is a column, titled by its name.
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    const Row &rowValues(int row) const { return m_rows.at(m_visible.at(row)); }
    QVariant rowField(const Row &row, const QString &field) const;

Q_SIGNALS:
    // The current row moved to another row (or the rows were replaced).
    void currentChanged();

protected:
    enum class State { Browse, Edit, Insert };
    // Keeps a posted row; a Dataset writes it to the database. May change the
    // row (an inserted row's key). Returns "" or the reason.
    virtual QString writeRow(Row &row, const Row &before, bool inserting);
    // Fills a freshly appended row (a detail row takes its master's key).
    virtual void initNewRow(Row &row);
    // Replaces every row (a Dataset after reading its statement).
    void resetRows(const QStringList &fields, QVector<Row> rows);
    void setActive(bool active) { m_active = active; }

private:
    void rebuildVisible(int keepUnderlying);
    void applySort();
    int currentUnderlying() const;
    void moveTo(int visibleRow);
    void postOrDrop();

    QString m_name;
    QStringList m_fields;
    QVector<Row> m_rows;
    QVector<int> m_visible;  // indexes into m_rows
    int m_current = -1;      // index into m_visible
    bool m_eof = false;
    bool m_active = false;
    State m_state = State::Browse;
    Row m_before;
    int m_appendedFrom = -1;
    QString m_sortField;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    std::function<bool(const RecordTable &, const Row &)> m_filter;
    qint64 m_counter = 0;  // in-memory keys
};

// A table of the database read through one statement, written back row by
// row by its PIndex. A detail dataset holds only the rows of its master's
// current row and gives an appended row the master's key.
class Dataset : public RecordTable
{
    Q_OBJECT
public:
    // `table` is where posted rows go; `jetSelect` is the statement read on open.
    Dataset(const QString &name, const QString &table, const QString &jetSelect, const QString &connection,
            QObject *parent = nullptr);

    QString table() const { return m_table; }
    QString sql() const { return m_sql; }
    void setSql(const QString &jetSelect);  // takes effect at the next open

    QString open() override;
    void close() override;
    // Reads the statement again, keeping the current row by its key where it still exists.
    QString refresh();

    void setMaster(Dataset *master, const QString &linkField = QStringLiteral("PSecIndex"));
    Dataset *master() const { return m_master; }

protected:
    QString writeRow(Row &row, const Row &before, bool inserting) override;
    void initNewRow(Row &row) override;

private:
    QString statement() const;
    QString load();
    QString reread(Row &row);

    QString m_table;
    QString m_sql;
    QString m_connection;
    Dataset *m_master = nullptr;
    QString m_linkField;
};

}  // namespace kvintor
