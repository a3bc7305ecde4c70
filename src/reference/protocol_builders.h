#pragma once
// The database program's protocols of an archive record: the single protocol
// of the meter selected in the archive window ("Протокол в Excel (xlsx)") and the
// group protocol, one workbook per stand that carried meters ("Групповой
// протокол в Excel (xlsx)"). The builders fill the data module's protocol table
// (RxMD), MeterNumbers and StandText, hand them to the report objects, and
// advance the protocol number after each workbook.

#include "files/report.h"
#include "protocols/protocol_data.h"
#include "protocols/protocol_table.h"

#include <QSqlRecord>
#include <QStringList>

#include <QHash>

#include <functional>

namespace basekvintor {

class TDM;

class TProtocolBuilders
{
public:
    // `headerData` gives the protocol data dialog's texts as they stand when
    // the engine asks; `advance` is that dialog's AdvanceProtocolNumber.
    TProtocolBuilders(TDM *dm, std::function<kv::ProtocolData()> headerData, std::function<void()> advance);
    TProtocolBuilders(const TProtocolBuilders &) = delete;
    TProtocolBuilders &operator=(const TProtocolBuilders &) = delete;

    // Both work on the archive list's current record (and the single protocol
    // on its current meter); with nothing to print they do nothing. A failing
    // query throws kv::Error for the general error report.
    void BuildSingleProtocol();
    void BuildGroupProtocol();

    kv::Report xlReport;   // group protocol, "GReport.xls"
    kv::Report xlReport1;  // single protocol, "Report.xls"

    // The workbooks the last build wrote ("" for a report the engine refused).
    QStringList lastProtocols() const { return m_written; }
    // The protocol table as the last report saw it.
    const kv::ProtocolTable &table() const { return m_table; }

    // Called after each report, before the number advances (tests look at
    // the table and header values of each stand here).
    std::function<void(const QString &file)> afterReport;

    // The callbacks of the "TNumber" source.
    void xlReportNoDataSet2GetDataInfo(kv::CallbackSource::DataInfo &info) const;
    QVariant xlReportNoDataSet2GetFieldValue(int index) const;
    void xlReport1NoDataSet3GetDataInfo(kv::CallbackSource::DataInfo &info) const;
    QVariant xlReport1NoDataSet3GetFieldValue(int index) const;

private:
    struct ArchiveTest;
    // Type and test of the archive record, the test's points in order.
    bool prepare(qint64 measureKey, ArchiveTest &test);
    void appendSpecialRows(const ArchiveTest &test,
                           const std::function<void(kv::ProtocolRow &, kv::SpecialTest)> &results);
    void appendPointRows(const ArchiveTest &test, const QHash<int, QStringList> &results);
    void makeReport(kv::Report &report, const QString &stand);
    kv::HeaderValues headerValues() const;

    TDM *m_dm;
    std::function<kv::ProtocolData()> m_headerData;
    std::function<void()> m_advance;
    kv::ProtocolTable m_table;
    int m_verdict = -1;
    QDate m_verified;  // the record's "PDate"
    QStringList m_written;
};

}  // namespace basekvintor
