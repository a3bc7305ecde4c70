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

TQueryDataSet::TQueryDataSet(QSqlDatabase db, QObject *parent) : QSqlQueryModel(parent), m_db(db) {}

QString TQueryDataSet::open(const QString &jetText)
{
    m_jetText = jetText;
    return refresh();
}

QString TQueryDataSet::refresh()
{
    if (m_jetText.isEmpty()) {
        clear();
        return {};
    }
    QSqlQuery q(m_db);
    if (!q.exec(kv::toEngineSql(m_jetText))) {
        const QString error = q.lastError().text();
        clear();
        return error.isEmpty() ? QStringLiteral("Ошибка запроса") : error;
    }
    setQuery(std::move(q));
    return lastError().isValid() ? lastError().text() : QString();
}

qint64 TQueryDataSet::keyAt(int row) const
{
    if (row < 0 || row >= rowCount())
        return 0;
    return record(row).value(QStringLiteral("PIndex")).toLongLong();
}

int TQueryDataSet::rowOfKey(qint64 key)
{
    const int column = record().indexOf(QStringLiteral("PIndex"));
    if (column < 0)
        return -1;
    for (int row = 0;; ++row) {
        if (row >= rowCount()) {
            if (!canFetchMore())
                return -1;
            fetchMore();
            if (row >= rowCount())
                return -1;
        }
        if (data(index(row, column)).toLongLong() == key)
            return row;
    }
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
