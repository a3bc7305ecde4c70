#pragma once
// The database program's data module: the connection to the shared file, the
// data sets every window binds its grids to, the master-detail links between
// them, the record rules on the reference tables, and the placement store.

#include "files/table_data.h"
#include "reference/data_set.h"
#include "reference/placement_store.h"

#include <QObject>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QAbstractTableModel>
#include <QHash>
#include <QSqlRecord>
#include <QStandardItemModel>
#include <QStringList>

namespace basekvintor {

// A read-only list over a statement (composed as Jet text), shown a page at a
// time as the views ask for rows. The list is one state of the file, the one
// when it was (re)read: the control program saving meanwhile neither shifts
// its rows nor changes what a deletion, an export or a printout takes from it.
// A short list is read whole by one statement. A longer one is copied by one
// statement into a table of the connection's temporary store and paged from
// there by row number, so the archive is never held in memory and no
// statement or read transaction stays open on the shared file: a half-read
// list would pin the connection to an old state of the file (the first write
// after the other program's would fail at once), and a long-lived reader
// would keep checkpoints from ever emptying the write-ahead log.
class TQueryDataSet : public QAbstractTableModel
{
    Q_OBJECT
public:
    static constexpr int kPageRows = 256;
    // Lists up to this long are held whole in memory.
    static constexpr int kWholeRows = 4096;

    TQueryDataSet(QSqlDatabase db, QObject *parent = nullptr);
    ~TQueryDataSet() override;

    // A list known to be long (the archive) is stored at once, without first
    // trying to read it whole.
    void setLong(bool isLong) { m_long = isLong; }

    // Sets the statement and runs it; returns the engine's error text or "".
    QString open(const QString &jetText);
    // Sets the statement without reading it; refresh() reads it.
    void setStatement(const QString &jetText) { m_jetText = jetText; }
    // Runs the statement again (after deletions or another program's writes).
    QString refresh();
    // Empties the list and forgets the statement.
    void clear();
    QString statement() const { return m_jetText; }
    QString lastError() const { return m_error; }
    bool isEmpty() const { return m_count == 0; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The fields (no values), and a row as a record.
    QSqlRecord record() const { return m_fields; }
    QSqlRecord record(int row) const;
    QVariant value(int row, const QString &field) const;

    qint64 keyAt(int row) const;  // the PIndex column; 0 when out of range
    int rowOfKey(qint64 key) const;  // -1 when absent
    // The PIndex of every row, in list order. Throws kv::Error when the
    // temporary store cannot be read.
    QList<qint64> allKeys() const;
    // How many rows are held in memory now.
    int rowsRead() const;
    // True when the rows are paged from the temporary store.
    bool isStored() const { return !m_table.isEmpty(); }

    // Every row, with the named fields in that order (all fields when empty),
    // as the list holds them. Throws kv::Error on a field the list lacks or
    // a failed read.
    kv::TableData table(const QStringList &fields = {}, const QString &name = {}) const;
    // A statement on the list's connection that gives these rows (for a copy
    // the engine makes itself); a list held in memory is stored first.
    // Throws kv::Error on failure.
    QString rowsStatement(const QStringList &fields = {});

private:
    const QList<QVariantList> *page(int index) const;
    QString store();
    void dropStored();
    QString storedColumn(const QString &field) const;
    QList<int> fieldColumns(const QStringList &fields) const;

    QSqlDatabase m_db;
    QString m_jetText;
    QString m_sql;
    mutable QString m_error;
    QSqlRecord m_fields;
    int m_count = 0;
    mutable QHash<int, QList<QVariantList>> m_pages;
    mutable int m_lastPage = 0;
    QString m_table;             // the temporary table holding the rows, "" when held whole
    QStringList m_tableColumns;  // its column names, by position
    bool m_long = false;
};

class TDM : public QObject
{
    Q_OBJECT
public:
    explicit TDM(const QString &connectionName = QStringLiteral("basekvintor"), QObject *parent = nullptr);
    ~TDM() override;  // DataModuleDestroy

    // Opens the database file. A missing or unreadable file: its error box
    // with the reason, and false (the program then ends).
    bool connectDatabase(const QString &path);
    // Uses a connection that is already open (tests, or a caller that opened it).
    void useConnection(const QString &connectionName);

    // Opens the data sets. Any failure: "You have lost data due to " + the
    // error's text in an error box, and false (the program then ends).
    bool DataModuleCreate();
    // The same without the box: the failure's text, or "".
    QString openDataSets();

    QSqlDatabase database() const;
    QString connectionName() const { return m_connectionName; }

    // Reference tables, edited in place and posted through their rules.
    TDataSet *ADOTip = nullptr;        // meter types, ordered by PTip
    TDataSet *ADOTest = nullptr;       // tests
    TDataSet *ADOTestPoint = nullptr;  // points of the current test, by PSecIndex,PNumPoint1
    // The archive list (one row per verification record with its type and test
    // names) and its details; deletions go through the methods below.
    TQueryDataSet *ADOMeasure = nullptr;
    TQueryDataSet *ADOPosition = nullptr;  // meters of the current archive record
    TQueryDataSet *ADOResult = nullptr;    // errors of the current meter, by point number
    TQueryDataSet *ADOPositionDis = nullptr;  // meter numbers, for the query builder
    TQueryDataSet *ADOTipDis = nullptr;       // types present in the archive
    TQueryDataSet *ADOSQL = nullptr;          // the query builder's archive query (not opened here)
    TQueryDataSet *ADODataSetSQL = nullptr;   // an import source
    QStandardItemModel *RxMD = nullptr;       // the protocol table
    // A second connection, named here, that lists the tables of an export target.
    QString ADOConImp = QStringLiteral("basekvintor-export-target");

    // The scratch query (ADOQueryRep): a fresh query on the connection.
    QSqlQuery ADOQueryRep() const;

    // Working values of the report callbacks.
    QStringList MeterNumbers = QStringList(6, QString());
    QString StandText;

    // Window placement (RegPropStorageManEh1).
    PlacementStore &RegPropStorageManEh1() { return m_placements; }

    // Master-detail: the current row of a master re-reads its details.
    void setCurrentTest(int row);
    void setCurrentMeasure(int row);
    void setCurrentPosition(int row);
    qint64 currentTestKey() const { return m_testKey; }
    qint64 currentMeasureKey() const { return m_measureKey; }
    qint64 currentPositionKey() const { return m_positionKey; }

    // Deletes archive records (their meters and errors go with them), meters
    // or errors by key, all in one transaction; then re-reads the lists.
    // A failure: a message, nothing deleted, false.
    bool deleteMeasures(const QList<qint64> &keys);
    bool deletePositions(const QList<qint64> &keys);
    bool deleteResults(const QList<qint64> &keys);

    // Re-reads the archive list and its details, keeping the current record
    // when it still exists.
    void refreshArchive();

Q_SIGNALS:
    void currentTestChanged(qint64 key);
    void currentMeasureChanged(qint64 key);
    void currentPositionChanged(qint64 key);

private:
    bool deleteByKeys(const QString &table, const QList<qint64> &keys);
    void openTestPoints();
    QString openPositions();  // the first failure's text, or ""
    QString openResults();

    QString m_connectionName;
    bool m_ownsConnection = false;
    PlacementStore m_placements;
    qint64 m_testKey = 0;
    qint64 m_measureKey = 0;
    qint64 m_positionKey = 0;
};

// The program's one data module while it exists.
extern TDM *DM;

// The archive list statement, as the system composes it.
QString archiveListStatement();

}  // namespace basekvintor
