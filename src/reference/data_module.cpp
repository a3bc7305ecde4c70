#include "reference/data_module.h"

#include "database/connection.h"
#include "database/engine_sql.h"
#include "reference/record_rules.h"
#include "widgets/ui.h"

#include <QSqlError>
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
// Pages kept at once; beyond this the ones not asked for lately are dropped.
constexpr int kPagesKept = 64;
constexpr int kReadAhead = 8;
}  // namespace

TQueryDataSet::TQueryDataSet(QSqlDatabase db, QObject *parent) : QAbstractTableModel(parent), m_db(db) {}

QString TQueryDataSet::open(const QString &jetText)
{
    m_jetText = jetText;
    return refresh();
}

void TQueryDataSet::clear()
{
    beginResetModel();
    m_jetText.clear();
    m_sql.clear();
    m_fields = QSqlRecord();
    m_count = 0;
    m_pages.clear();
    endResetModel();
}

QString TQueryDataSet::refresh()
{
    beginResetModel();
    m_pages.clear();
    m_lastPage = 0;
    m_count = 0;
    m_error.clear();
    m_sql = kv::toEngineSql(m_jetText).trimmed();
    if (!m_sql.isEmpty()) {
        QSqlQuery q(m_db);
        q.setForwardOnly(true);
        if (!q.exec(QStringLiteral("SELECT count(*) FROM (%1)").arg(m_sql)) || !q.next()) {
            m_error = q.lastError().text();
        } else {
            m_count = q.value(0).toInt();
            q.finish();
            // The fields, from the first page.
            QSqlQuery first(m_db);
            first.setForwardOnly(true);
            if (!first.exec(m_sql + QStringLiteral(" LIMIT %1").arg(kPageRows))) {
                m_error = first.lastError().text();
            } else {
                m_fields = first.record();
                QList<QVariantList> rows;
                while (first.next()) {
                    QVariantList values;
                    for (int c = 0; c < m_fields.count(); ++c)
                        values << first.value(c);
                    rows << values;
                }
                m_pages.insert(0, rows);
            }
        }
        if (!m_error.isEmpty()) {
            m_count = 0;
            m_fields = QSqlRecord();
            m_pages.clear();
            if (m_error.trimmed().isEmpty())
                m_error = QStringLiteral("Ошибка запроса");
        }
    } else {
        m_fields = QSqlRecord();
    }
    endResetModel();
    return m_error;
}

const QList<QVariantList> *TQueryDataSet::page(int index) const
{
    auto it = m_pages.constFind(index);
    if (it != m_pages.constEnd())
        return &it.value();
    if (m_pages.size() >= kPagesKept) {
        // Keep the neighbourhood of the page asked for; the rest is read again when needed.
        for (auto p = m_pages.begin(); p != m_pages.end();)
            p = qAbs(p.key() - index) > kPagesKept / 4 ? m_pages.erase(p) : std::next(p);
    }
    // Reading on from the page before: several pages in one statement, as
    // each statement pays for skipping the rows before it.
    const int pages = index == m_lastPage + 1 ? kReadAhead : 1;
    m_lastPage = index + pages - 1;
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    QList<QVariantList> rows;
    if (q.exec(m_sql + QStringLiteral(" LIMIT %1 OFFSET %2")
                           .arg(QString::number(qint64(pages) * kPageRows), QString::number(qint64(index) * kPageRows)))) {
        for (int p = index; p < index + pages; ++p) {
            QList<QVariantList> pageRows;
            while (pageRows.size() < kPageRows && q.next()) {
                QVariantList values;
                for (int c = 0; c < m_fields.count(); ++c)
                    values << q.value(c);
                pageRows << values;
            }
            if (p == index)
                rows = pageRows;
            else if (!pageRows.isEmpty())
                m_pages.insert(p, pageRows);
        }
    } else {
        m_error = q.lastError().text();
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

int TQueryDataSet::rowOfKey(qint64 key) const
{
    const int column = m_fields.indexOf(QStringLiteral("PIndex"));
    if (column < 0 || m_sql.isEmpty())
        return -1;
    // Only the key column is read, to its end; the pages are not touched.
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    if (!q.exec(m_sql))
        return -1;
    for (int row = 0; q.next(); ++row)
        if (q.value(column).toLongLong() == key)
            return row;
    return -1;
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
    if (QString e = ADOMeasure->open(archiveListStatement()); !e.isEmpty())
        return e;

    ADOPosition = new TQueryDataSet(db, this);
    ADOPosition->setObjectName(QStringLiteral("ADOPosition"));
    ADOResult = new TQueryDataSet(db, this);
    ADOResult->setObjectName(QStringLiteral("ADOResult"));
    m_measureKey = ADOMeasure->keyAt(0);
    if (QString e = openPositions(); !e.isEmpty())
        return e;

    ADOPositionDis = new TQueryDataSet(db, this);
    ADOPositionDis->setObjectName(QStringLiteral("ADOPositionDis"));
    if (QString e = ADOPositionDis->open(QStringLiteral("Select DISTINCT  PNumber from TPositionCH")); !e.isEmpty())
        return e;
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
    ADOTestPoint->setFilter(QStringLiteral("PSecIndex=%1").arg(m_testKey));
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
            if (!q.prepare(kv::toEngineSql(QStringLiteral("Delete * from %1 where PIndex=?").arg(table)))) {
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
    q.prepare(QStringLiteral("SELECT PIndex FROM TMeasure WHERE PIndex = ?"));
    q.addBindValue(m_measureKey);
    if (!q.exec() || !q.next())
        m_measureKey = ADOMeasure->keyAt(0);
    openPositions();
    if (before != m_measureKey)
        Q_EMIT currentMeasureChanged(m_measureKey);
    Q_EMIT currentPositionChanged(m_positionKey);
}

}  // namespace basekvintor
