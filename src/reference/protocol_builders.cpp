#include "reference/protocol_builders.h"

#include "core/clock.h"
#include "core/error_report.h"
#include "database/engine_sql.h"
#include "protocols/text_convert.h"
#include "reference/data_module.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStandardItemModel>

namespace basekvintor {

using kv::ProtocolRow;
using kv::SpecialTest;

struct TProtocolBuilders::ArchiveTest {
    QSqlRecord test;
    QList<QSqlRecord> points;  // in the order PSecIndex, PNumPoint1
};

namespace {

// Runs a statement composed as Jet text with its values bound in order;
// throws kv::Error with the engine's text when it fails.
QSqlQuery run(const TDM *dm, const QString &jetText, const QVariantList &values)
{
    QSqlQuery q = dm->ADOQueryRep();
    q.setForwardOnly(true);
    if (!q.prepare(kv::toEngineSql(jetText, q.driver())))
        throw kv::Error(QStringLiteral("Ошибка запроса протокола: %1").arg(q.lastError().text()));
    for (const QVariant &v : values)
        q.addBindValue(v);
    if (!q.exec())
        throw kv::Error(QStringLiteral("Ошибка запроса протокола: %1").arg(q.lastError().text()));
    return q;
}

// The one record a key names, or an empty record.
QSqlRecord recordOf(const TDM *dm, const QString &table, qint64 key)
{
    QSqlQuery q = run(dm, QStringLiteral("select * from %1 where PIndex=?").arg(table), {key});
    return q.next() ? q.record() : QSqlRecord();
}

std::shared_ptr<kv::RecordSource> sourceOf(const QString &name, const QSqlRecord &record)
{
    QStringList fields;
    QVariantList values;
    for (int i = 0; i < record.count(); ++i) {
        fields << record.fieldName(i);
        values << record.value(i);
    }
    return std::make_shared<kv::RecordSource>(name, fields, QList<QVariantList>{values});
}

qint64 whole(const QSqlRecord &r, const char *field) { return r.value(QLatin1String(field)).toLongLong(); }
double real(const QSqlRecord &r, const char *field) { return r.value(QLatin1String(field)).toDouble(); }
bool flag(const QSqlRecord &r, const char *field) { return r.value(QLatin1String(field)).toInt() != 0; }

struct SpecialFields {
    SpecialTest test;
    const char *on, *number, *voltage, *current, *minutes, *seconds, *code;
};

// In the order the rows are appended.
const SpecialFields kSpecial[] = {
    {SpecialTest::Sensitivity, "PSensitivityCB", "PSensitivityN", "PSensitivityU", "PSensitivityI", "PSensitivityT",
     "PSensitivityTSec", "PSensitivity"},
    {SpecialTest::Creep, "PSamochodCB", "PSamochodN", "PSamochodU", "PSamochodI", "PSamochodT", "PSamochodTSec",
     "PSamochod"},
    {SpecialTest::Register, "PCountDeviceCB", "PCountDeviceN", "PCountDeviceU", "PCountDeviceI", "PCountDeviceT",
     "PCountDeviceTSec", "PCountDevice"},
};

const char *codeField(SpecialTest test)
{
    for (const SpecialFields &s : kSpecial)
        if (s.test == test)
            return s.code;
    return "";
}

// Positions of stand s lie strictly between 10·s and 10·s + 10.
const QString kStandPositions = QStringLiteral(
    "Select TPositionCH.PPosition ,TPositionCH.PNumber ,TPositionCH.PSensitivity,TPositionCH.PSamochod,"
    "TPositionCH.PCountDevice from TPositionCH  where \n"
    " (TPositionCH.PSecIndex=?)\n"
    "  and ((TPositionCH.PPosition > ?) and (TPositionCH.PPosition < ?))\n"
    "order by TPositionCH.PIndex");

// The errors of a stand's meters, read once per stand rather than once per
// point: asked by point number, the engine may walk the point-number index,
// which on a long archive holds hundreds of thousands of rows per number.
// In key order, so a later row for the same place and point replaces an earlier one.
const QString kStandResults = QStringLiteral(
    "Select TPositionCH.PPosition,TResult.PPointNumber,TResult.PMeasure from (TPositionCH INNER JOIN TResult "
    "ON TPositionCH.PIndex=TResult.PSecIndex)  where \n"
    " (TPositionCH.PSecIndex=?)\n"
    "  and ((TPositionCH.PPosition > ?) and (TPositionCH.PPosition < ?))\n"
    "order by TResult.PIndex");

// The errors of one meter, in key order.
const QString kMeterResults = QStringLiteral(
    "Select TResult.PPointNumber,TResult.PMeasure from  TResult where \n"
    " (TResult.PSecIndex=?)\n"
    "order by TResult.PIndex");

}  // namespace

TProtocolBuilders::TProtocolBuilders(TDM *dm, std::function<kv::ProtocolData()> headerData,
                                     std::function<void()> advance)
    : xlReport(QStringLiteral("GReport.xls")), xlReport1(QStringLiteral("Report.xls")), m_dm(dm),
      m_headerData(std::move(headerData)), m_advance(std::move(advance))
{
    xlReport.addSource(std::make_shared<kv::CallbackSource>(
        QStringLiteral("TNumber"), [this](kv::CallbackSource::DataInfo &info) { xlReportNoDataSet2GetDataInfo(info); },
        [this](int index) { return xlReportNoDataSet2GetFieldValue(index); }));
    xlReport.addSource(sourceOf(QStringLiteral("ADOTip"), QSqlRecord()));
    auto groupTable = std::make_shared<kv::ModelSource>(QStringLiteral("RxMD"), dm ? dm->RxMD : nullptr);
    groupTable->setCellFilter(kv::protocolCellValue);
    xlReport.addSource(groupTable);
    xlReport.setRangeSource(QStringLiteral("RxMD"), QStringLiteral("RangeTable"));

    xlReport1.addSource(std::make_shared<kv::CallbackSource>(
        QStringLiteral("TNumber"), [this](kv::CallbackSource::DataInfo &info) { xlReport1NoDataSet3GetDataInfo(info); },
        [this](int index) { return xlReport1NoDataSet3GetFieldValue(index); }));
    xlReport1.addSource(sourceOf(QStringLiteral("ADOTip"), QSqlRecord()));
    xlReport1.addSource(sourceOf(QStringLiteral("ADOPosition"), QSqlRecord()));
    auto singleTable = std::make_shared<kv::ModelSource>(QStringLiteral("RxMD"), dm ? dm->RxMD : nullptr);
    singleTable->setCellFilter(kv::protocolCellValue);
    xlReport1.addSource(singleTable);
    xlReport1.setRangeSource(QStringLiteral("RxMD"), QStringLiteral("RangeTable"));
}

// --- callbacks ---------------------------------------------------------------

kv::HeaderValues TProtocolBuilders::headerValues() const
{
    kv::HeaderValues v;
    if (m_headerData)
        v.data = m_headerData();
    if (m_dm) {
        v.stand = m_dm->StandText;
        v.meterNumbers = m_dm->MeterNumbers;
    }
    v.verdict = m_verdict;
    v.today = kv::now().date();
    v.verified = m_verified;
    return v;
}

void TProtocolBuilders::xlReportNoDataSet2GetDataInfo(kv::CallbackSource::DataInfo &info) const
{
    info.name = QStringLiteral("TNumber");
    info.recordCount = 1;
    info.fields = kv::headerFields(kv::ProtocolKind::Group);
}

QVariant TProtocolBuilders::xlReportNoDataSet2GetFieldValue(int index) const
{
    return kv::headerValue(kv::ProtocolKind::Group, index, headerValues());
}

void TProtocolBuilders::xlReport1NoDataSet3GetDataInfo(kv::CallbackSource::DataInfo &info) const
{
    info.name = QStringLiteral("TNumber");
    info.recordCount = 1;
    info.fields = kv::headerFields(kv::ProtocolKind::Single);
}

QVariant TProtocolBuilders::xlReport1NoDataSet3GetFieldValue(int index) const
{
    return kv::headerValue(kv::ProtocolKind::Single, index, headerValues());
}

// --- building ------------------------------------------------------------------

bool TProtocolBuilders::prepare(qint64 measureKey, ArchiveTest &test)
{
    const QSqlRecord measure = recordOf(m_dm, QStringLiteral("TMeasure"), measureKey);
    if (measure.isEmpty())
        return false;  // deleted meanwhile by the other program or another window
    // Read here rather than by moving the types and tests windows to the
    // record's type and test, which would write or drop the operator's
    // unsaved edits there.
    const QSqlRecord tip = recordOf(m_dm, QStringLiteral("TTip"), whole(measure, "PPointerTip"));
    test.test = recordOf(m_dm, QStringLiteral("TTest"), whole(measure, "PPointerTest"));
    if (tip.isEmpty() || test.test.isEmpty())
        throw kv::Error(QStringLiteral("Запись архива ссылается на тип счетчика или тест, которых нет в базе данных."));
    // Stored as "yyyy-MM-dd hh:mm:ss" text; the date part is the verification's day.
    const QVariant date = measure.value(QStringLiteral("PDate"));
    m_verified = date.typeId() == QMetaType::QString
                     ? QDate::fromString(date.toString().left(10), QStringLiteral("yyyy-MM-dd"))
                     : date.toDate();
    // "ADOTip" of both reports: the record's type; a source of the same name
    // takes the place of the earlier one.
    xlReport.addSource(sourceOf(QStringLiteral("ADOTip"), tip));
    xlReport1.addSource(sourceOf(QStringLiteral("ADOTip"), tip));
    QSqlQuery points = run(m_dm,
                           QStringLiteral("select * from TTestPoint where PSecIndex=? order by PSecIndex,PNumPoint1"),
                           {whole(measure, "PPointerTest")});
    test.points.clear();
    while (points.next())
        test.points << points.record();
    m_table.clear();
    return true;
}

void TProtocolBuilders::appendSpecialRows(const ArchiveTest &test,
                                          const std::function<void(ProtocolRow &, SpecialTest)> &results)
{
    for (const SpecialFields &s : kSpecial) {
        if (!flag(test.test, s.on))
            continue;
        ProtocolRow &row = m_table.append(kv::specialTestRow(s.test, whole(test.test, s.number),
                                                             real(test.test, s.voltage), real(test.test, s.current),
                                                             whole(test.test, s.minutes), whole(test.test, s.seconds)));
        results(row, s.test);
    }
}

void TProtocolBuilders::appendPointRows(const ArchiveTest &test, const QHash<int, QStringList> &results)
{
    for (const QSqlRecord &p : test.points) {
        const qint64 number = whole(p, "PNumPoint1");
        ProtocolRow &row = m_table.append(kv::testPointRow(number, real(p, "PPersentU"), real(p, "PPersentI"),
                                                           real(p, "PKM"), int(whole(p, "PLC")),
                                                           whole(p, "PCountRotation")));
        const QStringList texts = results.value(int(number));
        for (int k = 1; k <= kv::kProtocolMeters && k <= texts.size(); ++k)
            if (!texts.at(k - 1).isEmpty())
                row.setResult(k, texts.at(k - 1));
    }
}

void TProtocolBuilders::makeReport(kv::Report &report, const QString &stand)
{
    m_table.sort();
    m_table.fill(m_dm->RxMD);
    const kv::ProtocolData header = m_headerData ? m_headerData() : kv::ProtocolData();
    report.setProtocolName({header.protocolNumber, kv::now().date(), stand});
    // The engine shows its own failures; the number advances all the same.
    const QString file = report.makeReportWithoutPreview();
    m_written << file;
    if (afterReport)
        afterReport(file);
    if (m_advance)
        m_advance();
}

void TProtocolBuilders::BuildSingleProtocol()
{
    m_written.clear();
    if (!m_dm || !m_dm->ADOMeasure || m_dm->ADOMeasure->isEmpty() || !m_dm->ADOPosition ||
        m_dm->ADOPosition->isEmpty())
        return;
    ArchiveTest test;
    if (!prepare(m_dm->currentMeasureKey(), test))
        return;
    const QSqlRecord position = recordOf(m_dm, QStringLiteral("TPositionCH"), m_dm->currentPositionKey());
    if (position.isEmpty())
        return;
    xlReport1.addSource(sourceOf(QStringLiteral("ADOPosition"), position));
    m_verdict = position.value(QStringLiteral("PTotal")).isNull() ? -1 : int(whole(position, "PTotal"));
    m_dm->StandText = QString::number(whole(position, "PPosition") / 10);

    appendSpecialRows(test, [&](ProtocolRow &row, SpecialTest t) {
        row.setResult(1, kv::specialTestResult(t, int(whole(position, codeField(t)))));
    });
    QHash<int, QStringList> results;
    QSqlQuery q = run(m_dm, kMeterResults, {whole(position, "PIndex")});
    while (q.next())
        results[q.value(0).toInt()] = QStringList{kv::protocolNumber(q.value(1).toDouble())};
    appendPointRows(test, results);
    makeReport(xlReport1, m_dm->StandText);
}

void TProtocolBuilders::BuildGroupProtocol()
{
    m_written.clear();
    if (!m_dm || !m_dm->ADOMeasure || m_dm->ADOMeasure->isEmpty())
        return;
    const qint64 measureKey = m_dm->currentMeasureKey();
    ArchiveTest test;
    if (!prepare(measureKey, test))
        return;
    m_verdict = -1;
    for (int s = 1; s <= 5; ++s) {
        m_table.clear();
        m_dm->StandText = QString::number(s);
        QSqlQuery positions = run(m_dm, kStandPositions, {measureKey, 10 * s, 10 * s + 10});
        QList<QSqlRecord> meters;
        m_dm->MeterNumbers = QStringList(kv::kProtocolMeters, QString());
        bool any = false;
        while (positions.next()) {
            any = true;
            const QSqlRecord r = positions.record();
            const int k = int(whole(r, "PPosition")) - 10 * s;
            if (k < 1 || k > kv::kProtocolMeters)
                continue;  // places 7 to 9 of a stand are not printed
            m_dm->MeterNumbers[k - 1] = r.value(QStringLiteral("PNumber")).toString();
            meters << r;
        }
        if (!any)
            continue;

        appendSpecialRows(test, [&](ProtocolRow &row, SpecialTest t) {
            for (const QSqlRecord &m : meters)
                row.setResult(int(whole(m, "PPosition")) - 10 * s,
                              kv::specialTestResult(t, int(whole(m, codeField(t)))));
        });
        QHash<int, QStringList> results;
        QSqlQuery q = run(m_dm, kStandResults, {measureKey, 10 * s, 10 * s + 10});
        while (q.next()) {
            const int k = q.value(0).toInt() - 10 * s;
            if (k < 1 || k > kv::kProtocolMeters)
                continue;
            QStringList &texts = results[q.value(1).toInt()];
            while (texts.size() < kv::kProtocolMeters)
                texts << QString();
            texts[k - 1] = kv::protocolNumber(q.value(2).toDouble());
        }
        appendPointRows(test, results);
        makeReport(xlReport, m_dm->StandText);
    }
}

}  // namespace basekvintor
