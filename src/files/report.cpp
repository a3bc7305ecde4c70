#include "files/report.h"

#include "core/clock.h"
#include "core/error_report.h"
#include "core/ui.h"
#include "files/workbook_package.h"
#include "files/workbook_template.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace kv {

int ReportSource::fieldIndex(const QString &field) const
{
    const QStringList names = fields();
    for (int i = 0; i < names.size(); ++i)
        if (names.at(i).compare(field, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

// --- model ---------------------------------------------------------------

ModelSource::ModelSource(const QString &name, QAbstractItemModel *model, std::function<int()> currentRow, int role)
    : ReportSource(name), m_model(model), m_currentRow(std::move(currentRow)), m_role(role)
{
}

void ModelSource::setModel(QAbstractItemModel *model, std::function<int()> currentRow)
{
    m_model = model;
    m_currentRow = std::move(currentRow);
}

int ModelSource::recordCount() const { return m_model ? m_model->rowCount() : 0; }

int ModelSource::currentRecord() const { return m_currentRow ? m_currentRow() : 0; }

QStringList ModelSource::fields() const
{
    QStringList names;
    if (!m_model)
        return names;
    for (int c = 0; c < m_model->columnCount(); ++c)
        names << m_model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
    return names;
}

QVariant ModelSource::value(int record, int field) const
{
    if (!m_model || record < 0 || record >= m_model->rowCount())
        return QVariant();
    const QVariant value = m_model->data(m_model->index(record, field), m_role);
    if (!m_filter)
        return value;
    return m_filter(m_model->headerData(field, Qt::Horizontal).toString(), value);
}

// --- records -------------------------------------------------------------

RecordSource::RecordSource(const QString &name, const QStringList &fields, const QList<QVariantList> &records)
    : ReportSource(name), m_fields(fields), m_records(records)
{
}

QVariant RecordSource::value(int record, int field) const
{
    if (record < 0 || record >= m_records.size())
        return QVariant();
    return m_records.at(record).value(field);
}

// --- callbacks -----------------------------------------------------------

CallbackSource::CallbackSource(const QString &name, DataInfoCallback dataInfo, FieldValueCallback fieldValue)
    : ReportSource(name), m_dataInfo(std::move(dataInfo)), m_fieldValue(std::move(fieldValue))
{
    m_info.name = name;
}

CallbackSource::CallbackSource(const QString &name, const QStringList &fields,
                               std::function<QVariant(const QString &)> value)
    : ReportSource(name)
{
    m_dataInfo = [name, fields](DataInfo &info) {
        info.name = name;
        info.recordCount = 1;
        info.fields = fields;
    };
    m_fieldValue = [this, value](int index) {
        return index >= 0 && index < m_info.fields.size() ? value(m_info.fields.at(index)) : QVariant();
    };
    m_info.name = name;
}

void CallbackSource::prepare()
{
    DataInfo info;
    info.name = name();
    if (m_dataInfo)
        m_dataInfo(info);
    m_info = info;
    if (!m_info.name.isEmpty())
        setName(m_info.name);
}

QVariant CallbackSource::value(int record, int field) const
{
    if (record < 0 || record >= m_info.recordCount || field < 0 || field >= m_info.fields.size() || !m_fieldValue)
        return QVariant();
    return m_fieldValue(field);
}

// --- report --------------------------------------------------------------

Report::Report(const QString &templateName) : m_templateName(templateName) {}

ReportSource *Report::addSource(std::shared_ptr<ReportSource> source)
{
    for (auto &s : m_sources)
        if (s->name().compare(source->name(), Qt::CaseInsensitive) == 0) {
            s = std::move(source);
            return s.get();
        }
    m_sources.push_back(std::move(source));
    return m_sources.back().get();
}

ReportSource *Report::source(const QString &name) const
{
    for (const auto &s : m_sources)
        if (s->name().compare(name, Qt::CaseInsensitive) == 0)
            return s.get();
    return nullptr;
}

void Report::setRangeSource(const QString &sourceName, const QString &rangeName)
{
    m_rangeSource = sourceName;
    m_rangeName = rangeName;
}

QStringList Report::templateFolders()
{
    QStringList folders{QDir::currentPath()};
    const QString app = QCoreApplication::applicationDirPath();
    if (!app.isEmpty()) {
        folders << QDir::cleanPath(app + QStringLiteral("/../share/kvintor/templates"))
                << QDir::cleanPath(app + QStringLiteral("/templates"));
    }
#ifdef KVINTOR_TEMPLATES_BUILD_DIR
    folders << QStringLiteral(KVINTOR_TEMPLATES_BUILD_DIR);
#endif
#ifdef KVINTOR_TEMPLATES_SOURCE_DIR
    folders << QStringLiteral(KVINTOR_TEMPLATES_SOURCE_DIR);
#endif
    folders.removeDuplicates();
    return folders;
}

QString Report::findTemplate(const QString &name)
{
    if (name.isEmpty())
        return QString();
    QStringList names{name};
    // The programs name the templates as they always did; the workbooks here are .xlsx.
    if (name.endsWith(QLatin1String(".xls"), Qt::CaseInsensitive))
        names.prepend(name + QLatin1Char('x'));
    if (QFileInfo(name).isAbsolute()) {
        for (const QString &n : names)
            if (QFileInfo(n).isFile())
                return n;
        return QString();
    }
    for (const QString &folder : templateFolders())
        for (const QString &n : names) {
            const QString path = QDir(folder).filePath(n);
            if (QFileInfo(path).isFile())
                return path;
        }
    return QString();
}

QString Report::protocolsFolder() { return QDir::current().filePath(QStringLiteral("Протоколы")); }

QString Report::protocolFilePath(const QString &folder, const ProtocolName &name)
{
    auto clean = [](QString text) {
        QString out;
        for (QChar c : text)
            out += (c.unicode() < 0x20 || QStringLiteral("\\/:*?\"<>|").contains(c)) ? QChar(u'_') : c;
        return out.trimmed();
    };
    QString base = QStringLiteral("Протокол");
    if (!clean(name.number).isEmpty())
        base += QLatin1Char(' ') + clean(name.number);
    const QDate date = name.date.isValid() ? name.date : now().date();
    base += QStringLiteral(" от ") + date.toString(QStringLiteral("yyyy-MM-dd"));
    if (!clean(name.stand).isEmpty())
        base += QStringLiteral(" стенд ") + clean(name.stand);
    const QDir dir(folder);
    QString path = dir.filePath(base + QStringLiteral(".xlsx"));
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = dir.filePath(base + QStringLiteral(" (%1).xlsx").arg(n));
    return path;
}

QByteArray Report::fill()
{
    const QString templatePath = findTemplate(m_templateName);
    if (templatePath.isEmpty()) {
        QStringList where;
        for (const QString &f : templateFolders())
            where << QDir::toNativeSeparators(f);
        throw Error(QStringLiteral("Не найден шаблон протокола «%1».\nШаблон ищется в папках:\n%2")
                        .arg(m_templateName, where.join(u'\n')));
    }
    for (auto &s : m_sources)
        s->prepare();
    ReportSource *range = m_rangeSource.isEmpty() ? nullptr : source(m_rangeSource);

    TemplateFill job;
    job.rangeName = m_rangeName;
    job.rangeRecords = range ? range->recordCount() : 0;
    job.lookup = [&](const QString &sourceName, const QString &field, int record, QVariant *value) {
        ReportSource *s = source(sourceName);
        const int index = s ? s->fieldIndex(field) : -1;
        if (index < 0)
            return false;
        const int r = (s == range && record >= 0) ? record : s->currentRecord();
        *value = s->value(r, index);
        return true;
    };
    WorkbookPackage package;
    try {
        package = WorkbookPackage::load(templatePath);
        fillTemplate(package, job);
    } catch (const Error &e) {
        throw Error(QStringLiteral("Шаблон протокола «%1» повреждён.\n%2")
                        .arg(QDir::toNativeSeparators(templatePath), e.text()));
    }
    if (!job.unknownFields.isEmpty()) {
        ui().warning(nullptr, QCoreApplication::applicationName(),
                     QStringLiteral("В шаблоне «%1» есть поля, которых нет в данных протокола:\n%2\nЭти ячейки оставлены пустыми.")
                         .arg(QFileInfo(templatePath).fileName(), job.unknownFields.join(u'\n')));
    }
    if (m_finishing)
        m_finishing(package);
    return package.toBytes();
}

bool Report::makeReportTo(const QString &outputPath)
{
    try {
        const QByteArray bytes = fill();
        saveFileAtomically(outputPath, bytes);
        return true;
    } catch (const std::exception &e) {
        reportError(e);
    } catch (...) {
        reportError(QStringLiteral("Неизвестная ошибка при создании протокола."));
    }
    return false;
}

QString Report::makeReportWithoutPreview()
{
    const QString folder = protocolsFolder();
    if (!QDir().mkpath(folder)) {
        reportError(QStringLiteral("Не удалось создать папку «%1» для протоколов.").arg(QDir::toNativeSeparators(folder)));
        return QString();
    }
    const QString path = protocolFilePath(folder, m_protocolName);
    if (!makeReportTo(path))
        return QString();
    if (qEnvironmentVariable("KVINTOR_NO_OPEN") != QLatin1String("1"))
        QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    return path;
}

}  // namespace kv
