#include "reference/data_module.h"

#include "core/error_report.h"
#include "core/ui.h"
#include "database/connection.h"
#include "database/engine_sql.h"
#include "reference/record_rules.h"

#include <QSqlError>
#include <QSqlField>
#include <QSqlRecord>

namespace basekvintor {

TDM *DM = nullptr;

QString archiveListStatement()
{
    // Oldest first, as the records were made; the date index serves the order.
    return QStringLiteral(
        "select TMeasure.PIndex, TMeasure.PDate, TMeasure.PPointerTip, TMeasure.PPointerTest,  TTip.PTip, "
        "TTip.PIdentificator, TTest.PNameTable  from TTip, TTest,TMeasure where (TMeasure.PPointerTip = TTip.PIndex)   "
        "and (TMeasure.PPointerTest=TTest.PIndex) order by TMeasure.PDate, TMeasure.PIndex");
}

// --- TQueryDataSet ---------------------------------------------------------

namespace {
// Pages of a stored list kept at once; beyond this the ones not asked for
// lately are dropped and read again when needed.
constexpr int kPagesKept = 64;
constexpr int kReadAhead = 8;

QString quotedName(const QString &name)
{
    QString q = name;
    q.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

QString engineError(const QSqlQuery &q)
{
    const QString text = q.lastError().text().trimmed();
    return text.isEmpty() ? QStringLiteral("Ошибка запроса") : text;
}

// The declared type a stored copy gives a column, so a copy made from it
// keeps numbers as numbers.
QString storedType(kv::FieldType type)
{
    switch (type) {
    case kv::FieldType::Integer:
    case kv::FieldType::Boolean: return QStringLiteral("INTEGER");
    case kv::FieldType::Float: return QStringLiteral("REAL");
    case kv::FieldType::Text:
    case kv::FieldType::DateTime: break;
    }
    return QStringLiteral("TEXT");
}
}  // namespace

TQueryDataSet::TQueryDataSet(QSqlDatabase db, QObject *parent) : QAbstractTableModel(parent), m_db(db) {}

TQueryDataSet::~TQueryDataSet() { dropStored(); }

QString TQueryDataSet::open(const QString &jetText)
{
    m_jetText = jetText;
    return refresh();
}

void TQueryDataSet::clear()
{
    beginResetModel();
    dropStored();
    m_jetText.clear();
    m_sql.clear();
    m_fields = QSqlRecord();
    m_count = 0;
    m_pages.clear();
    endResetModel();
}

void TQueryDataSet::dropStored()
{
    if (m_table.isEmpty())
        return;
    if (m_db.isOpen()) {
        QSqlQuery q(m_db);
        q.exec(kv::engineSql(m_db, QStringLiteral("DROP TABLE IF EXISTS temp.") + m_table));
    }
    m_table.clear();
    m_tableColumns.clear();
}

QString TQueryDataSet::refresh()
{
    beginResetModel();
    dropStored();
    m_pages.clear();
    m_lastPage = 0;
    m_count = 0;
    m_error.clear();
    m_fields = QSqlRecord();
    m_sql = kv::toEngineSql(m_jetText, m_db).trimmed();
    if (!m_sql.isEmpty() && m_long) {
        m_error = store();
        if (m_error.isEmpty()) {
            // The fields as the statement names them, from the first page's statement.
            QSqlQuery q(m_db);
            q.setForwardOnly(true);
            if (q.exec(m_sql + QStringLiteral(" LIMIT 0")))
                m_fields = q.record();
            else
                m_error = engineError(q);
        }
        if (!m_error.isEmpty()) {
            dropStored();
            m_count = 0;
            m_fields = QSqlRecord();
            m_pages.clear();
        } else {
            page(0);
        }
    } else if (!m_sql.isEmpty()) {
        // One statement reads a short list whole; a longer one is stored by
        // one statement of its own. Either is one state of the file.
        QSqlQuery q(m_db);
        q.setForwardOnly(true);
        if (!q.exec(m_sql)) {
            m_error = engineError(q);
        } else {
            m_fields = q.record();
            const int columns = m_fields.count();
            QList<QVariantList> rows;
            while (rows.size() <= kWholeRows && q.next()) {
                QVariantList values;
                values.reserve(columns);
                for (int c = 0; c < columns; ++c)
                    values << q.value(c);
                rows << values;
            }
            if (q.lastError().isValid()) {
                m_error = engineError(q);
            } else if (rows.size() <= kWholeRows) {
                m_count = int(rows.size());
                for (int p = 0; p * kPageRows < m_count; ++p)
                    m_pages.insert(p, rows.mid(p * kPageRows, kPageRows));
            } else {
                q.finish();
                rows.clear();
                m_error = store();
            }
        }
        if (!m_error.isEmpty()) {
            dropStored();
            m_count = 0;
            m_fields = QSqlRecord();
            m_pages.clear();
        }
    }
    endResetModel();
    return m_error;
}

QString TQueryDataSet::store()
{
    // Names unique in the process: every list of a connection shares its temporary store.
    static int serial = 0;
    const QString table = QStringLiteral("kv_list_%1").arg(++serial);
    QSqlQuery q(m_db);
    if (!q.exec(kv::storedListStatement(m_db, table, m_sql)))
        return engineError(q);
    m_table = table;
    if (!q.exec(kv::engineSql(m_db, QStringLiteral("SELECT * FROM temp.") + table + QStringLiteral(" LIMIT 0"))))
        return engineError(q);
    const QSqlRecord stored = q.record();
    for (int c = 0; c < stored.count(); ++c)
        m_tableColumns << stored.fieldName(c);
    // Rows are numbered 1, 2, 3… in the statement's order as they are stored.
    if (!q.exec(kv::engineSql(m_db, QStringLiteral("SELECT max(rowid) FROM temp.") + table)) || !q.next())
        return engineError(q);
    m_count = q.value(0).toInt();
    if (m_fields.count() > 0)
        page(0);
    return m_error;
}

const QList<QVariantList> *TQueryDataSet::page(int index) const
{
    auto it = m_pages.constFind(index);
    if (it != m_pages.constEnd())
        return &it.value();
    static const QList<QVariantList> none;
    if (m_table.isEmpty())
        return &none;
    if (m_pages.size() >= kPagesKept) {
        // Keep the neighbourhood of the page asked for.
        for (auto p = m_pages.begin(); p != m_pages.end();)
            p = qAbs(p.key() - index) > kPagesKept / 4 ? m_pages.erase(p) : std::next(p);
    }
    // Reading on from the page before: several pages in one statement.
    const int pages = index == m_lastPage + 1 ? kReadAhead : 1;
    m_lastPage = index + pages - 1;
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    q.prepare(kv::engineSql(m_db, QStringLiteral("SELECT * FROM temp.") + m_table +
                                      QStringLiteral(" WHERE rowid > ? ORDER BY rowid LIMIT ?")));
    q.addBindValue(qint64(index) * kPageRows);
    q.addBindValue(qint64(pages) * kPageRows);
    QList<QVariantList> rows;
    if (q.exec()) {
        const int columns = m_fields.count();
        for (int p = index; p < index + pages; ++p) {
            QList<QVariantList> pageRows;
            while (pageRows.size() < kPageRows && q.next()) {
                QVariantList values;
                values.reserve(columns);
                for (int c = 0; c < columns; ++c)
                    values << q.value(c);
                pageRows << values;
            }
            if (p == index)
                rows = pageRows;
            else if (!pageRows.isEmpty())
                m_pages.insert(p, pageRows);
        }
    } else {
        m_error = engineError(q);
    }
    return &m_pages.insert(index, rows).value();
}

int TQueryDataSet::rowCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : m_count; }

int TQueryDataSet::columnCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : m_fields.count(); }

QVariant TQueryDataSet::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole) || index.row() >= m_count)
        return {};
    const QList<QVariantList> *rows = page(index.row() / kPageRows);
    const int r = index.row() % kPageRows;
    if (r >= rows->size() || index.column() >= rows->at(r).size())
        return {};
    return rows->at(r).at(index.column());
}

QVariant TQueryDataSet::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role == Qt::DisplayRole && orientation == Qt::Horizontal && section < m_fields.count())
        return m_fields.fieldName(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

QSqlRecord TQueryDataSet::record(int row) const
{
    QSqlRecord r = m_fields;
    if (row < 0 || row >= m_count)
        return r;
    const QList<QVariantList> *rows = page(row / kPageRows);
    const int i = row % kPageRows;
    if (i < rows->size())
        for (int c = 0; c < r.count() && c < rows->at(i).size(); ++c)
            r.setValue(c, rows->at(i).at(c));
    return r;
}

QVariant TQueryDataSet::value(int row, const QString &field) const
{
    const int c = m_fields.indexOf(field);
    return c < 0 ? QVariant() : data(index(row, c));
}

qint64 TQueryDataSet::keyAt(int row) const
{
    if (row < 0 || row >= m_count)
        return 0;
    return value(row, QStringLiteral("PIndex")).toLongLong();
}

QString TQueryDataSet::storedColumn(const QString &field) const
{
    const int c = m_fields.indexOf(field);
    return c < 0 || c >= m_tableColumns.size() ? QString() : quotedName(m_tableColumns.at(c));
}

int TQueryDataSet::rowOfKey(qint64 key) const
{
    const int column = m_fields.indexOf(QStringLiteral("PIndex"));
    if (column < 0)
        return -1;
    if (m_table.isEmpty()) {
        for (int row = 0; row < m_count; ++row)
            if (keyAt(row) == key)
                return row;
        return -1;
    }
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    q.prepare(kv::engineSql(m_db, QStringLiteral("SELECT rowid FROM temp.") + m_table + QStringLiteral(" WHERE ") +
                                      storedColumn(QStringLiteral("PIndex")) + QStringLiteral(" = ? ORDER BY rowid LIMIT 1")));
    q.addBindValue(key);
    if (!q.exec() || !q.next())
        return -1;
    return q.value(0).toInt() - 1;
}

QList<qint64> TQueryDataSet::allKeys() const
{
    QList<qint64> keys;
    if (m_fields.indexOf(QStringLiteral("PIndex")) < 0)
        return keys;
    keys.reserve(m_count);
    if (m_table.isEmpty()) {
        for (int row = 0; row < m_count; ++row)
            keys << keyAt(row);
        return keys;
    }
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    if (!q.exec(kv::engineSql(m_db, QStringLiteral("SELECT ") + storedColumn(QStringLiteral("PIndex")) +
                                        QStringLiteral(" FROM temp.") + m_table + QStringLiteral(" ORDER BY rowid"))))
        throw kv::Error(engineError(q));
    while (q.next())
        keys << q.value(0).toLongLong();
    return keys;
}

QList<int> TQueryDataSet::fieldColumns(const QStringList &fields) const
{
    QList<int> columns;
    if (fields.isEmpty()) {
        for (int c = 0; c < m_fields.count(); ++c)
            columns << c;
        return columns;
    }
    for (const QString &f : fields) {
        const int c = m_fields.indexOf(f);
        if (c < 0)
            throw kv::Error(QStringLiteral("В списке нет поля ") + f + QLatin1Char('.'));
        columns << c;
    }
    return columns;
}

kv::TableData TQueryDataSet::table(const QStringList &fields, const QString &name) const
{
    const QList<int> columns = fieldColumns(fields);
    QSqlRecord chosen;
    for (int c : columns)
        chosen.append(m_fields.field(c));
    QVector<kv::TableRow> rows;
    rows.reserve(m_count);
    if (m_table.isEmpty()) {
        for (int r = 0; r < m_count; ++r) {
            const QList<QVariantList> *held = page(r / kPageRows);
            const QVariantList &values = held->at(r % kPageRows);
            kv::TableRow row;
            row.reserve(columns.size());
            for (int c : columns)
                row << values.value(c);
            rows << row;
        }
    } else {
        QStringList names;
        for (int c : columns)
            names << quotedName(m_tableColumns.value(c));
        QSqlQuery q(m_db);
        q.setForwardOnly(true);
        if (!q.exec(kv::engineSql(m_db, QStringLiteral("SELECT ") + names.join(QLatin1Char(',')) +
                                            QStringLiteral(" FROM temp.") + m_table + QStringLiteral(" ORDER BY rowid"))))
            throw kv::Error(engineError(q));
        while (q.next()) {
            kv::TableRow row(columns.size());
            for (int i = 0; i < columns.size(); ++i)
                row[i] = q.value(i);
            rows << row;
        }
        if (q.lastError().isValid())
            throw kv::Error(engineError(q));
    }
    return kv::tableFromRows(chosen, rows, name);
}

QString TQueryDataSet::rowsStatement(const QStringList &fields)
{
    const QList<int> columns = fieldColumns(fields);
    if (m_table.isEmpty() && m_fields.count() > 0) {
        // Stored as the list holds it, with each column's type, for the engine to copy.
        static int serial = 0;
        const QString table = QStringLiteral("kv_rows_%1").arg(++serial);
        const kv::TableData whole = this->table();
        QStringList definitions, marks;
        for (int c = 0; c < m_fields.count(); ++c) {
            definitions << quotedName(m_fields.fieldName(c)) + QLatin1Char(' ') + storedType(whole.columns.at(c).type);
            marks << QStringLiteral("?");
        }
        QSqlQuery q(m_db);
        if (!q.exec(kv::storedRowsStatement(m_db, table, definitions)))
            throw kv::Error(engineError(q));
        m_table = table;
        for (int c = 0; c < m_fields.count(); ++c)
            m_tableColumns << m_fields.fieldName(c);
        q.prepare(kv::engineSql(m_db, QStringLiteral("INSERT INTO temp.") + table + QStringLiteral(" VALUES(") +
                                          marks.join(QLatin1Char(',')) + QLatin1Char(')')));
        for (int r = 0; r < m_count; ++r) {
            const QVariantList &values = page(r / kPageRows)->at(r % kPageRows);
            for (int c = 0; c < values.size(); ++c)
                q.bindValue(c, values.at(c));
            if (!q.exec())
                throw kv::Error(engineError(q));
        }
    }
    QStringList names;
    for (int c : columns)
        names << quotedName(m_tableColumns.value(c)) + QStringLiteral(" AS ") + quotedName(m_fields.fieldName(c));
    return kv::engineSql(m_db, QStringLiteral("SELECT ") + names.join(QLatin1Char(',')) + QStringLiteral(" FROM temp.") +
                                   m_table + QStringLiteral(" ORDER BY rowid"));
}

int TQueryDataSet::rowsRead() const
{
    int n = 0;
    for (const auto &p : m_pages)
        n += int(p.size());
    return n;
}

// --- TDM -------------------------------------------------------------------

TDM::TDM(const QString &connectionName, QObject *parent) : QObject(parent), m_connectionName(connectionName)
{
    DM = this;
}

TDM::~TDM()
{
    // Close the data sets in their order, then the connection they use.
    for (QAbstractItemModel *m : std::initializer_list<QAbstractItemModel *>{
             ADOTip, ADOTest, ADOTestPoint, ADOMeasure, ADOPosition, ADOResult, ADOPositionDis, ADOTipDis, ADOSQL,
             ADODataSetSQL, RxMD})
        delete m;
    if (m_ownsConnection && QSqlDatabase::contains(m_connectionName)) {
        QSqlDatabase::database(m_connectionName, false).close();
        QSqlDatabase::removeDatabase(m_connectionName);
    }
    if (DM == this)
        DM = nullptr;
}

bool TDM::connectDatabase(const QString &path)
{
    const QString error = kv::openDatabase(path, m_connectionName);
    if (!error.isEmpty()) {
        kv::ui().error(nullptr, kProgramTitle, error);
        return false;
    }
    m_ownsConnection = true;
    return true;
}

void TDM::useConnection(const QString &connectionName)
{
    m_connectionName = connectionName;
    m_ownsConnection = false;
}

QSqlDatabase TDM::database() const { return QSqlDatabase::database(m_connectionName, false); }

QSqlQuery TDM::ADOQueryRep() const { return QSqlQuery(database()); }

bool TDM::DataModuleCreate()
{
    const QString error = openDataSets();
    if (error.isEmpty())
        return true;
    kv::ui().error(nullptr, kProgramTitle, QStringLiteral("You have lost data due to ") + error);
    return false;
}

QString TDM::openDataSets()
{
    QSqlDatabase db = database();
    if (!db.isOpen())
        return QStringLiteral("нет соединения с базой данных");

    ADOTip = new TDataSet(QStringLiteral("TTip"), db, this);
    ADOTip->setObjectName(QStringLiteral("ADOTip"));
    ADOTip->setOrder(QStringLiteral("PTip ASC"));
    ADOTip->setBeforePost(
        [](QSqlDatabase d, QSqlRecord &r) { return tipBeforePost(d, r); });
    if (!ADOTip->select())
        return ADOTip->lastError().text();

    ADOTest = new TDataSet(QStringLiteral("TTest"), db, this);
    ADOTest->setObjectName(QStringLiteral("ADOTest"));
    ADOTest->setBeforePost([](QSqlDatabase d, QSqlRecord &r) { return testBeforePost(d, r); });
    if (!ADOTest->select())
        return ADOTest->lastError().text();

    ADOTestPoint = new TDataSet(QStringLiteral("TTestPoint"), db, this);
    ADOTestPoint->setObjectName(QStringLiteral("ADOTestPoint"));
    ADOTestPoint->setBeforePost([](QSqlDatabase d, QSqlRecord &r) { return testPointBeforePost(d, r); });
    // The points left after a deletion are numbered 1, 2, 3… again in the
    // same transaction; the numbering writes directly, so no rule runs on it.
    ADOTestPoint->setAfterDelete([](QSqlDatabase d, const QSqlRecord &deleted) {
        renumberTestPoints(d, deleted.value(QStringLiteral("PSecIndex")).toLongLong());
    });
    ADOTestPoint->setOrder(QStringLiteral("PSecIndex,PNumPoint1"));
    connect(ADOTestPoint, &QSqlTableModel::primeInsert, this, [this](int, QSqlRecord &record) {
        record.setValue(QStringLiteral("PSecIndex"), m_testKey);
        record.setValue(QStringLiteral("PNumPoint"), 0);
        record.setValue(QStringLiteral("PLC"), 0);
    });
    m_testKey = ADOTest->keyAt(0);
    openTestPoints();
    if (ADOTestPoint->lastError().isValid())
        return ADOTestPoint->lastError().text();

    ADOMeasure = new TQueryDataSet(db, this);
    ADOMeasure->setObjectName(QStringLiteral("ADOMeasure"));
    ADOMeasure->setLong(true);
    if (QString e = ADOMeasure->open(archiveListStatement()); !e.isEmpty())
        return e;

    ADOPosition = new TQueryDataSet(db, this);
    ADOPosition->setObjectName(QStringLiteral("ADOPosition"));
    ADOResult = new TQueryDataSet(db, this);
    ADOResult->setObjectName(QStringLiteral("ADOResult"));
    m_measureKey = ADOMeasure->keyAt(0);
    if (QString e = openPositions(); !e.isEmpty())
        return e;

    // Every meter number of the archive: read when the query builder is shown,
    // which reads it again each time anyway.
    ADOPositionDis = new TQueryDataSet(db, this);
    ADOPositionDis->setObjectName(QStringLiteral("ADOPositionDis"));
    ADOPositionDis->setLong(true);
    ADOPositionDis->setStatement(QStringLiteral("Select DISTINCT  PNumber from TPositionCH"));
    ADOTipDis = new TQueryDataSet(db, this);
    ADOTipDis->setObjectName(QStringLiteral("ADOTipDis"));
    if (QString e = ADOTipDis->open(QStringLiteral(
            "select DISTINCT  TTip.Pindex,TTip.PTip, TTip.PIdentificator  from TTip,Tmeasure  "
            "where (TMeasure.PPointerTip = TTip.PIndex)   "));
        !e.isEmpty())
        return e;

    ADOSQL = new TQueryDataSet(db, this);
    ADOSQL->setObjectName(QStringLiteral("ADOSQL"));
    ADODataSetSQL = new TQueryDataSet(db, this);
    ADODataSetSQL->setObjectName(QStringLiteral("ADODataSetSQL"));
    RxMD = new QStandardItemModel(this);
    RxMD->setObjectName(QStringLiteral("RxMD"));
    return {};
}

void TDM::openTestPoints()
{
    ADOTestPoint->setFilter(kv::engineSql(database(), QStringLiteral("PSecIndex=%1").arg(m_testKey)));
    ADOTestPoint->select();
}

QString TDM::openPositions()
{
    const QString error = ADOPosition->open(
        QStringLiteral("select * from TPositionCH where PSecIndex=%1 order by PPosition, PIndex").arg(m_measureKey));
    m_positionKey = ADOPosition->keyAt(0);
    const QString detailError = openResults();
    return error.isEmpty() ? detailError : error;
}

QString TDM::openResults()
{
    return ADOResult->open(
        QStringLiteral("select *  from TResult where PSecIndex=%1 order by PSecIndex,PPointNumber").arg(m_positionKey));
}

void TDM::setCurrentTest(int row)
{
    const qint64 key = ADOTest->keyAt(row);
    if (key == m_testKey && ADOTestPoint->filter().endsWith(QString::number(key)))
        return;
    m_testKey = key;
    openTestPoints();
    Q_EMIT currentTestChanged(key);
}

void TDM::setCurrentMeasure(int row)
{
    const qint64 key = ADOMeasure->keyAt(row);
    if (key == m_measureKey)
        return;
    m_measureKey = key;
    openPositions();
    Q_EMIT currentMeasureChanged(key);
    Q_EMIT currentPositionChanged(m_positionKey);
}

void TDM::setCurrentPosition(int row)
{
    const qint64 key = ADOPosition->keyAt(row);
    if (key == m_positionKey)
        return;
    m_positionKey = key;
    openResults();
    Q_EMIT currentPositionChanged(key);
}

bool TDM::deleteByKeys(const QString &table, const QList<qint64> &keys)
{
    if (keys.isEmpty())
        return true;
    QString error;
    {
        kv::Transaction transaction(database());
        if (!transaction.begin()) {
            error = transaction.errorText();
        } else {
            QSqlQuery q(database());
            if (!q.prepare(kv::toEngineSql(QStringLiteral("Delete * from %1 where PIndex=?").arg(table), database()))) {
                error = q.lastError().text();
            } else {
                for (qint64 key : keys) {
                    q.addBindValue(key);
                    if (!q.exec()) {
                        error = q.lastError().text();
                        break;
                    }
                }
            }
            if (error.isEmpty() && !transaction.commit())
                error = transaction.errorText();
        }
    }
    if (error.isEmpty())
        return true;
    kv::ui().warning(nullptr, kProgramTitle,
                     isBusyError(error) ? QStringLiteral("База данных занята другой программой. Записи не удалены, "
                                                         "повторите операцию.")
                                        : QStringLiteral("Записи не удалены: %1").arg(error));
    return false;
}

bool TDM::deleteMeasures(const QList<qint64> &keys)
{
    const bool ok = deleteByKeys(QStringLiteral("TMeasure"), keys);
    refreshArchive();
    return ok;
}

bool TDM::deletePositions(const QList<qint64> &keys)
{
    const bool ok = deleteByKeys(QStringLiteral("TPositionCH"), keys);
    openPositions();
    Q_EMIT currentPositionChanged(m_positionKey);
    return ok;
}

bool TDM::deleteResults(const QList<qint64> &keys)
{
    const bool ok = deleteByKeys(QStringLiteral("TResult"), keys);
    openResults();
    return ok;
}

void TDM::refreshArchive()
{
    ADOMeasure->refresh();
    const qint64 before = m_measureKey;
    // Asked of the engine: looking in the list would read the archive into memory.
    QSqlQuery q(database());
    q.prepare(kv::engineSql(database(), QStringLiteral("SELECT PIndex FROM TMeasure WHERE PIndex = ?")));
    q.addBindValue(m_measureKey);
    if (!q.exec() || !q.next())
        m_measureKey = ADOMeasure->keyAt(0);
    openPositions();
    if (before != m_measureKey)
        Q_EMIT currentMeasureChanged(m_measureKey);
    Q_EMIT currentPositionChanged(m_positionKey);
}

}  // namespace basekvintor
