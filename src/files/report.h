#pragma once
// The report object of the protocols: an ordered list of named data sources,
// a template workbook and "make the report without a preview". Templates
// refer to fields as {{Source.Field}}; the rows of the defined name
// "RangeTable" are repeated once per record of the table source. Every
// failure inside is shown to the operator here and never reaches the caller.

#include <QAbstractItemModel>
#include <QDate>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <memory>
#include <vector>

namespace kv {

class WorkbookPackage;

// A named source of fields. A template sees record `currentRecord()` of a
// source, except in the repeated rows, which walk all records of the table source.
class ReportSource
{
public:
    explicit ReportSource(const QString &name) : m_name(name) {}
    virtual ~ReportSource() = default;
    ReportSource(const ReportSource &) = delete;
    ReportSource &operator=(const ReportSource &) = delete;

    QString name() const { return m_name; }
    virtual int recordCount() const = 0;
    virtual int currentRecord() const { return 0; }
    // The field names, in order.
    virtual QStringList fields() const = 0;
    // The value of a field (an index into fields()) of a record.
    virtual QVariant value(int record, int field) const = 0;
    // The index of a field by name, ignoring letter case; -1 when absent.
    int fieldIndex(const QString &field) const;

    // Called once before a report is filled (a callback source asks its data-info here).
    virtual void prepare() {}

protected:
    void setName(const QString &name) { m_name = name; }

private:
    QString m_name;
};

// A table model whose horizontal header titles are the field names. The
// current row is the one `currentRow` gives (row 0 without it).
class ModelSource : public ReportSource
{
public:
    ModelSource(const QString &name, QAbstractItemModel *model, std::function<int()> currentRow = {},
                int role = Qt::DisplayRole);
    void setModel(QAbstractItemModel *model, std::function<int()> currentRow = {});
    QAbstractItemModel *model() const { return m_model; }
    // What the template gets of a field's value (a protocol hands its numeric
    // texts on as numbers, so they become number cells).
    using CellFilter = std::function<QVariant(const QString &field, const QVariant &value)>;
    void setCellFilter(CellFilter filter) { m_filter = std::move(filter); }

    int recordCount() const override;
    int currentRecord() const override;
    QStringList fields() const override;
    QVariant value(int record, int field) const override;

private:
    QPointer<QAbstractItemModel> m_model;
    std::function<int()> m_currentRow;
    int m_role;
    CellFilter m_filter;
};

// Records held in memory: field names and rows of values.
class RecordSource : public ReportSource
{
public:
    RecordSource(const QString &name, const QStringList &fields, const QList<QVariantList> &records = {});
    void setRecords(const QList<QVariantList> &records) { m_records = records; }
    void appendRecord(const QVariantList &record) { m_records.append(record); }
    void setCurrentRecord(int record) { m_current = record; }
    const QList<QVariantList> &records() const { return m_records; }

    int recordCount() const override { return int(m_records.size()); }
    int currentRecord() const override { return m_current; }
    QStringList fields() const override { return m_fields; }
    QVariant value(int record, int field) const override;

private:
    QStringList m_fields;
    QList<QVariantList> m_records;
    int m_current = 0;
};

// A source without a data set: the program names its fields through the
// data-info callback and gives each field's value, by index, through the
// field-value callback (an invalid QVariant leaves the value unset).
class CallbackSource : public ReportSource
{
public:
    struct DataInfo {
        QString name;
        int recordCount = 1;
        QStringList fields;
    };
    using DataInfoCallback = std::function<void(DataInfo &info)>;
    using FieldValueCallback = std::function<QVariant(int fieldIndex)>;

    CallbackSource(const QString &name, DataInfoCallback dataInfo, FieldValueCallback fieldValue);
    // Convenience: fixed field names and a value by field name.
    CallbackSource(const QString &name, const QStringList &fields, std::function<QVariant(const QString &field)> value);

    void prepare() override;
    int recordCount() const override { return m_info.recordCount; }
    QStringList fields() const override { return m_info.fields; }
    QVariant value(int record, int field) const override;

private:
    DataInfoCallback m_dataInfo;
    FieldValueCallback m_fieldValue;
    DataInfo m_info;
};

// What a protocol's file is called: "Протокол <number> от <yyyy-MM-dd> стенд <stand>.xlsx"
// (an invalid date is today's; empty parts are left out).
struct ProtocolName {
    QString number;
    QDate date;
    QString stand;
};

class Report
{
public:
    explicit Report(const QString &templateName = QString());

    void setTemplateName(const QString &name) { m_templateName = name; }
    QString templateName() const { return m_templateName; }

    // Sources in order; a source of the same name as an earlier one replaces it
    // in its place (how a builder rebinds "ADOTip" per stand).
    ReportSource *addSource(std::shared_ptr<ReportSource> source);
    ReportSource *source(const QString &name) const;
    void clearSources() { m_sources.clear(); }
    const std::vector<std::shared_ptr<ReportSource>> &sources() const { return m_sources; }

    // The source whose records fill the repeated range, and the range's defined name.
    void setRangeSource(const QString &sourceName, const QString &rangeName = QStringLiteral("RangeTable"));
    QString rangeSource() const { return m_rangeSource; }

    // A last step on the filled workbook before it is written (the curves'
    // pictures); a kv::Error it throws fails the report as a fill error does.
    void setFinishing(std::function<void(WorkbookPackage &)> step) { m_finishing = std::move(step); }

    // Names the next output file.
    void setProtocolName(const ProtocolName &name) { m_protocolName = name; }

    // Makes the report from the template into the protocols folder and opens it
    // (unless KVINTOR_NO_OPEN=1). Returns the file written, or "" after the
    // operator has been shown why not. Never throws.
    QString makeReportWithoutPreview();
    // The same into a given file; the earlier file stays as it was on failure.
    bool makeReportTo(const QString &outputPath);

    // Where a template is looked for: the working folder, then the installed
    // templates/ folder beside the program, then the build and source trees.
    static QStringList templateFolders();
    static QString findTemplate(const QString &name);
    // "Протоколы" in the working folder.
    static QString protocolsFolder();
    // A file name in `folder` for the protocol that no earlier protocol has.
    static QString protocolFilePath(const QString &folder, const ProtocolName &name);

private:
    // Fills the template; throws kv::Error. Warns about unknown fields.
    QByteArray fill();

    QString m_templateName;
    std::vector<std::shared_ptr<ReportSource>> m_sources;
    QString m_rangeSource;
    QString m_rangeName = QStringLiteral("RangeTable");
    ProtocolName m_protocolName;
    std::function<void(WorkbookPackage &)> m_finishing;
};

}  // namespace kv
