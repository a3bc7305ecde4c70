#include "setup/data_module.h"

#include "core/settings.h"
#include "database/connection.h"
#include "database/engine_sql.h"

#include <QSqlError>
#include <QSqlQuery>

namespace kvintor {

TDM *DM = nullptr;

namespace {

const QStringList kStandFields = {QStringLiteral("PIndex"), QStringLiteral("PStend"), QStringLiteral("PTotal")};

const QStringList kResultFields = {
    QStringLiteral("PIndex"), QStringLiteral("PSecIndex"),     QStringLiteral("N"),  QStringLiteral("Mode"),
    QStringLiteral("N1"),     QStringLiteral("N2"),            QStringLiteral("N3"), QStringLiteral("N4"),
    QStringLiteral("N5"),     QStringLiteral("N6"),            QStringLiteral("PLimit"), QStringLiteral("U"),
    QStringLiteral("I"),      QStringLiteral("PKM"),           QStringLiteral("PLC"), QStringLiteral("KM"),
    QStringLiteral("CountRotation")};

const QString kLostData = QStringLiteral("You have lost data due to ");

// The operator reads a Russian sentence before the engine's words.
QString tablesFailed(const QString &engineText)
{
    return QStringLiteral("Таблицы базы данных не открываются.\n") + engineText;
}

}  // namespace

TDM::TDM(QObject *parent) : QObject(parent)
{
    const QString c = connectionName();
    auto make = [&](const char *name, const char *table, const QString &sql) {
        return new Dataset(QLatin1String(name), QLatin1String(table), sql, c, this);
    };
    ADOTipStend1 = make("ADOTipStend1", "TTip", QStringLiteral("select * from TTip"));
    ADOTipStend2 = make("ADOTipStend2", "TTip", QStringLiteral("select * from TTip"));
    ADOTipStend3 = make("ADOTipStend3", "TTip", QStringLiteral("select * from TTip"));
    ADOTipStend4 = make("ADOTipStend4", "TTip", QStringLiteral("select * from TTip"));
    ADOTipStend5 = make("ADOTipStend5", "TTip", QStringLiteral("select * from TTip"));
    ADOTest1 = make("ADOTest1", "TTest", QStringLiteral("select * from TTest"));
    ADOTestBuf = make("ADOTestBuf", "TTestBuf", QStringLiteral("select * from TTestBuf"));
    ADOQuery1 = make("ADOQuery1", "TTestPoint", QStringLiteral("Select PSecIndex, PNumPoint from TTestPoint"));
    ADOMeasure = make("ADOMeasure", "TMeasure", QStringLiteral("select * from TMeasure"));
    ADOPositionCH = make("ADOPositionCH", "TPositionCH", QStringLiteral("select * from TPositionCH"));
    ADOResult = make("ADOResult", "TResult", QStringLiteral("select * from TResult"));
    ADOPositionCH->setMaster(ADOMeasure);
    ADOResult->setMaster(ADOPositionCH);

    RMStend = new RecordTable(QStringLiteral("RMStend"), kStandFields, this);
    RMResult = new RecordTable(QStringLiteral("RMResult"), kResultFields, this);
    connect(RMStend, &RecordTable::currentChanged, this, &TDM::RMStendAfterScroll);
    RMResult->setFilter([this](const RecordTable &, const RecordTable::Row &row) { return RMResultFilterRecord(row); });
    m_tipStend = {nullptr, ADOTipStend1, ADOTipStend2, ADOTipStend3, ADOTipStend4, ADOTipStend5};

    DM = this;
}

TDM::~TDM()
{
    DataModuleDestroy();
    if (DM == this)
        DM = nullptr;
}

QString TDM::DataModuleCreate(const QString &databasePath)
{
    m_path = databasePath;
    const QString error = kv::openDatabase(databasePath, connectionName());
    if (!error.isEmpty())
        return error;

    QString failure;
    auto step = [&](Dataset *d) {
        if (failure.isEmpty())
            failure = d->open();
    };
    for (Dataset *d : {ADOTipStend1, ADOTipStend2, ADOTipStend3, ADOTipStend4, ADOTipStend5})
        step(d);
    if (failure.isEmpty())
        for (Dataset *d : {ADOTipStend1, ADOTipStend2, ADOTipStend3, ADOTipStend4, ADOTipStend5})
            d->sortBy(QStringLiteral("PTip"), Qt::AscendingOrder);
    step(ADOTest1);
    step(ADOMeasure);
    step(ADOPositionCH);
    step(ADOResult);
    if (failure.isEmpty()) {
        RMStend->open();
        RMResult->open();
    }
    if (!failure.isEmpty())
        return tablesFailed(kLostData + failure);
    return {};
}

void TDM::DataModuleDestroy()
{
    for (RecordTable *t : std::initializer_list<RecordTable *>{ADOTipStend1, ADOTipStend2, ADOTipStend3, ADOTipStend4,
                                                               ADOTipStend5, ADOTest1, ADOMeasure, ADOPositionCH,
                                                               ADOResult, ADOTestBuf, RMStend, RMResult})
        t->close();
    ADOQuery1->close();
    if (QSqlDatabase::contains(connectionName())) {
        QSqlDatabase::database(connectionName(), false).close();
        QSqlDatabase::removeDatabase(connectionName());
    }
}

Dataset *TDM::ADOTipStend(int stand) const
{
    return stand >= 1 && stand <= 5 ? m_tipStend[stand] : nullptr;
}

bool TDM::connected() const
{
    return QSqlDatabase::contains(connectionName()) && QSqlDatabase::database(connectionName(), false).isOpen();
}

QSqlDatabase TDM::database() const
{
    return QSqlDatabase::database(connectionName(), false);
}

QString TDM::activateAll()
{
    for (Dataset *d : {ADOTipStend1, ADOTipStend2, ADOTipStend3, ADOTipStend4, ADOTipStend5, ADOTest1, ADOTestBuf,
                       ADOQuery1, ADOMeasure, ADOPositionCH, ADOResult}) {
        const QString error = d->open();
        if (!error.isEmpty())
            return error;
    }
    return {};
}

QString TDM::openConnection()
{
    if (!connected()) {
        const QString error = kv::openDatabase(m_path, connectionName());
        if (!error.isEmpty())
            return error;
    } else {
        // The connection outlived the database program's start (a run was
        // open then): what was edited there is read now.
        for (Dataset *d : {ADOTipStend1, ADOTipStend2, ADOTipStend3, ADOTipStend4, ADOTipStend5, ADOTest1}) {
            if (!d->active())
                continue;
            const QString error = d->refresh();
            if (!error.isEmpty())
                return tablesFailed(error);
        }
    }
    const QString error = activateAll();
    return error.isEmpty() ? error : tablesFailed(error);
}

void TDM::closeConnection()
{
    for (Dataset *d : {ADOTipStend1, ADOTipStend2, ADOTipStend3, ADOTipStend4, ADOTipStend5, ADOTest1, ADOTestBuf,
                       ADOQuery1, ADOMeasure, ADOPositionCH, ADOResult})
        d->close();
    if (QSqlDatabase::contains(connectionName())) {
        QSqlDatabase::database(connectionName(), false).close();
        QSqlDatabase::removeDatabase(connectionName());
    }
}

QString TDM::ADOCommand1(const QString &jetStatement)
{
    if (!connected())
        return QStringLiteral("Нет соединения с базой данных");
    QSqlQuery q(database());
    if (!q.exec(kv::toEngineSql(jetStatement, database())))
        return q.lastError().text();
    return {};
}

QString TDM::emptyTestBuf()
{
    return ADOCommand1(QStringLiteral("Delete * from TTestBuf"));
}

QString TDM::copyTestPoints(int testIndex)
{
    const QString cond = QStringLiteral("(TTestPoint.PSecIndex=%1)").arg(testIndex);
    return ADOCommand1(
        QStringLiteral("Insert INTO TTestBuf select  TTestPoint.PNumPoint,  TTestPoint.PNumPoint1,  "
                       "TTestPoint.PPersentU,  TTestPoint.PPhaseUA,  TTestPoint.PPhaseUB,  TTestPoint.PPhaseUC,  "
                       "TTestPoint.PPersentI,  TTestPoint.PPhaseIA,  TTestPoint.PPhaseIB,  TTestPoint.PPhaseIC,  "
                       "TTestPoint.PKM,  TTestPoint.PLC,  TTestPoint.PCountRotation,  TTestPoint.PMeasureMax from "
                       "TTestPoint where ") +
        cond);
}

int TDM::testPointCount(int testIndex, QString *error)
{
    ADOQuery1->close();
    ADOQuery1->setSql(QStringLiteral("Select PSecIndex, PNumPoint from TTestPoint where PSecIndex=%1").arg(testIndex));
    const QString e = ADOQuery1->open();
    if (error)
        *error = e;
    return e.isEmpty() ? ADOQuery1->count() : -1;
}

void TDM::RMStendAfterScroll()
{
    const QVariant key = RMStend->value(QStringLiteral("PIndex"));
    m_resultFilter = key.isNull() ? QString() : QString::number(key.toLongLong());
    RMResult->refilter();
}

bool TDM::RMResultFilterRecord(const RecordTable::Row &row) const
{
    const QVariant key = RMResult->rowField(row, QStringLiteral("PSecIndex"));
    // Whole texts: stand row 1 must not match the rows of stand row 11.
    return !key.isNull() && QString::number(key.toLongLong()) == m_resultFilter;
}

qlonglong TDM::appendStandRow(int stand)
{
    RMStend->append();
    RMStend->setValue(QStringLiteral("PStend"), QStringLiteral("Стенд №%1").arg(stand));
    RMStend->setValue(QStringLiteral("PTotal"), true);
    RMStend->post();
    return RMStend->value(QStringLiteral("PIndex")).toLongLong();
}

QString TDM::storedProperty(const QString &window, const QString &property, const QString &defaultValue) const
{
    return kv::settingText(window, property, defaultValue);
}

void TDM::storeProperty(const QString &window, const QString &property, const QString &value)
{
    kv::setSettingText(window, property, value);
    kv::saveSettings();
}

}  // namespace kvintor
