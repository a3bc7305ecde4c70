#include "setup/result_tables.h"

#include "core/clock.h"
#include "database/codes.h"
#include "protocols/protocol_table.h"
#include "protocols/text_convert.h"
#include "run/run_state.h"
#include "setup/data_module.h"

#include <QtMath>

#include <cmath>

namespace kvintor {

namespace {

QString F(const char *name) { return QString::fromLatin1(name); }

// A stored number as the viewer writes it: "5", "1.5".
QString plainNumber(const QVariant &v) { return kv::NumberToText(v.toDouble(), QLatin1Char('.')); }

QString verdictText(const QString &mode, int verdict)
{
    if (verdict == 2)
        return QStringLiteral("Нет");
    if (verdict != 1)
        return QString();
    return mode == kv::RowKind::Register ? QStringLiteral("Норма") : QStringLiteral("Есть");
}

bool verdictFails(const QString &mode, int verdict)
{
    if (mode == kv::RowKind::Sensitivity)
        return kv::sensitivityFails(verdict);
    if (mode == kv::RowKind::Creep)
        return kv::creepFails(verdict);
    return kv::registerFails(verdict);
}

int specialVerdict(const StandResultsRecord &r, const QString &mode, int p)
{
    if (mode == kv::RowKind::Sensitivity)
        return r.SensVerdict[std::size_t(p)];
    if (mode == kv::RowKind::Creep)
        return r.CreepVerdict[std::size_t(p)];
    return r.RegisterVerdict[std::size_t(p)];
}

bool measured(const StandResultsRecord &r, int p, int i)
{
    const auto &m = r.Measured[std::size_t(p)];
    return i >= 1 && i < m.size() && m.at(i) && i < r.Errors[std::size_t(p)].size() && i < r.Limits.size();
}

void failStand(TDM &dm)
{
    dm.RMStend->setValue(F("PTotal"), false);
    dm.RMStend->post();
}

// One result row of stand s for the running test's row `row`.
void appendResultRow(TDM &dm, const RunState &run, int s, qlonglong standKey, int row)
{
    Dataset *buf = dm.ADOTestBuf;
    const QString mode = buf->valueAt(row, F("PMode")).toString();
    const int point = buf->valueAt(row, F("PNumPoint")).toInt();
    const bool errorRow = point != 0 && mode == kv::RowKind::ErrorPoint;
    const bool specialRow = point == 0 && (mode == kv::RowKind::Sensitivity || mode == kv::RowKind::Creep ||
                                           mode == kv::RowKind::Register);
    if (!errorRow && !specialRow)
        return;

    RecordTable *t = dm.RMResult;
    t->append();
    t->setValue(F("PSecIndex"), standKey);
    // The test's own number, as the archive and the database program's
    // protocols of the same run show it.
    t->setValue(F("N"), buf->valueAt(row, F("PNumPointBuf")));
    t->setValue(F("Mode"), mode);
    t->setValue(F("U"), buf->valueAt(row, F("PPersentU")));
    t->setValue(F("I"), buf->valueAt(row, F("PPersentI")));
    const QVariant km = buf->valueAt(row, F("PKM"));
    const int lc = buf->valueAt(row, F("PLC")).toInt();
    t->setValue(F("PKM"), km);
    t->setValue(F("PLC"), lc);
    t->setValue(F("KM"), kv::NumberToText(km.toDouble()) + kv::loadKindSuffix(lc));

    const StandResultsRecord &r = run.StandResults[std::size_t(s)];
    bool fails = false;
    if (errorRow) {
        t->setValue(F("CountRotation"), plainNumber(buf->valueAt(row, F("PCountRotation"))));
        for (int p = 1; p <= 6; ++p) {
            if (!run.Occupied(s, p) || !measured(r, p, point))
                continue;
            const long double error = r.Errors[std::size_t(p)].at(point);
            const long double limit = r.Limits.at(point);
            t->setValue(QStringLiteral("N%1").arg(p), kv::NumberToText(double(error)));
            t->setValue(F("PLimit"), double(limit));
            if (limit <= std::fabs(error))
                fails = true;
        }
    } else {
        t->setValue(F("CountRotation"),
                    kv::specialTestDuration(qRound64(buf->valueAt(row, F("PCountRotation")).toDouble()),
                                            qRound64(buf->valueAt(row, F("PMeasureMax")).toDouble())));
        for (int p = 1; p <= 6; ++p) {
            if (!run.Occupied(s, p))
                continue;
            const int verdict = specialVerdict(r, mode, p);
            t->setValue(QStringLiteral("N%1").arg(p), verdictText(mode, verdict));
            if (verdictFails(mode, verdict))
                fails = true;
        }
    }
    t->post();
    if (fails)
        failStand(dm);
}

}  // namespace

void BuildResultTables(TDM &dm, const RunState &run)
{
    const int keepRow = dm.ADOTestBuf->recNo();
    dm.RMResult->close();
    dm.RMResult->open();
    dm.RMStend->close();
    dm.RMStend->open();
    for (int s = 1; s <= 5; ++s) {
        if (!run.StandInUse(s))
            continue;
        const qlonglong key = dm.appendStandRow(s);
        for (int row = 0; row < dm.ADOTestBuf->count(); ++row)
            appendResultRow(dm, run, s, key, row);
    }
    if (keepRow >= 0)
        dm.ADOTestBuf->setCurrent(keepRow);
    dm.RMStendAfterScroll();
}

bool ResultCellFails(const QString &mode, const QString &text, const QVariant &limit)
{
    if (text.isEmpty())
        return false;
    if (mode == kv::RowKind::ErrorPoint)
        return !limit.isNull() && std::fabs(kv::TextToNumber(text)) >= limit.toDouble();
    if (mode == kv::RowKind::Creep)
        return text == QStringLiteral("Есть");
    if (mode == kv::RowKind::Sensitivity || mode == kv::RowKind::Register)
        return text == QStringLiteral("Нет");
    return false;
}

// ---- the viewer's grids ----

ViewerGridModel::ViewerGridModel(RecordTable *table, Grid grid, QObject *parent)
    : QSortFilterProxyModel(parent), m_table(table), m_grid(grid)
{
    if (grid == Grid::Stands) {
        m_fields = {F("PStend")};
        m_titles = {QStringLiteral("Стенд")};
    } else {
        m_fields = {F("Mode")};
        m_titles = {QStringLiteral("Режим")};
        for (int p = 1; p <= 6; ++p) {
            m_fields << QStringLiteral("N%1").arg(p);
            m_titles << QStringLiteral("Сч №%1").arg(p);
        }
        // The limit beside the errors, then what the point loads the meter with.
        m_fields << F("PLimit") << F("I") << F("KM");
        m_titles << QStringLiteral("%, Допуск") << QStringLiteral("Ток, %") << QStringLiteral("cos φ");
    }
    setSourceModel(table);
}

bool ViewerGridModel::filterAcceptsColumn(int sourceColumn, const QModelIndex &) const
{
    return m_fields.contains(m_table->fields().value(sourceColumn), Qt::CaseInsensitive);
}

QString ViewerGridModel::fieldOf(int column) const
{
    int shown = -1;
    for (const QString &field : m_table->fields())
        if (m_fields.contains(field, Qt::CaseInsensitive) && ++shown == column)
            return field;
    return QString();
}

bool ViewerGridModel::cellFails(const QModelIndex &index) const
{
    if (!index.isValid())
        return false;
    const RecordTable::Row &row = m_table->rowValues(mapToSource(index).row());
    if (m_grid == Grid::Stands)
        return !m_table->rowField(row, F("PTotal")).toBool();
    const QString field = fieldOf(index.column());
    if (!field.startsWith(QLatin1Char('N')) || field.size() != 2)
        return false;
    return ResultCellFails(m_table->rowField(row, F("Mode")).toString(), m_table->rowField(row, field).toString(),
                           m_table->rowField(row, F("PLimit")));
}

QString ViewerGridModel::meterVerdict(int position) const
{
    if (m_grid != Grid::Results || position < 1 || position > 6)
        return QString();
    const QString field = QStringLiteral("N") + QString::number(position);
    bool any = false;
    for (int row = 0; row < m_table->count(); ++row) {
        const RecordTable::Row &values = m_table->rowValues(row);
        const QString text = m_table->rowField(values, field).toString();
        if (text.isEmpty())
            continue;
        any = true;
        // The verdict is the one the archive stores: an error exactly at its
        // limit passes there, though the cell's shading already marks it.
        const QString mode = m_table->rowField(values, F("Mode")).toString();
        const QVariant limit = m_table->rowField(values, F("PLimit"));
        const bool fails = mode == kv::RowKind::ErrorPoint
                               ? !limit.isNull() && std::fabs(kv::TextToNumber(text)) > std::fabs(limit.toDouble())
                               : ResultCellFails(mode, text, limit);
        if (fails)
            return QStringLiteral("Не годен");
    }
    return any ? QStringLiteral("Годен") : QString();
}

QVariant ViewerGridModel::data(const QModelIndex &index, int role) const
{
    switch (role) {
    case Qt::BackgroundRole:
        return cellFails(index) ? FailureColor() : QColor(Qt::white);
    case Qt::ForegroundRole:
        return QColor(Qt::black);
    case Qt::TextAlignmentRole:
        if (cellFails(index))
            return int(Qt::AlignCenter);
        break;
    default:
        break;
    }
    return QSortFilterProxyModel::data(index, role);
}

QVariant ViewerGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole) {
        const QString field = fieldOf(section);
        const int at = m_fields.indexOf(field);
        if (at >= 0) {
            // A meter's column carries its verdict over the shown rows.
            const QString verdict =
                field.size() == 2 && field.startsWith(QLatin1Char('N')) ? meterVerdict(field.at(1).digitValue()) : QString();
            return verdict.isEmpty() ? m_titles.at(at) : m_titles.at(at) + QLatin1Char('\n') + verdict;
        }
    }
    return QSortFilterProxyModel::headerData(section, orientation, role);
}

// ---- the group protocol ----

StandProtocols::StandProtocols(TDM &dm, Context context)
    : m_dm(dm), m_context(std::move(context)), m_report(QStringLiteral("GReport.xlsx"))
{
    m_report.addSource(std::make_shared<kv::CallbackSource>(
        QStringLiteral("TNumber"),
        [](kv::CallbackSource::DataInfo &info) {
            info.name = QStringLiteral("TNumber");
            info.recordCount = 1;
            info.fields = kv::headerFields(kv::ProtocolKind::Group);
        },
        [this](int field) {
            kv::HeaderValues v;
            if (m_context.data)
                v.data = m_context.data();
            v.stand = m_dm.StandText;
            const int stand = m_dm.StandText.toInt();
            for (int p = 1; p <= 6; ++p)
                v.meterNumbers << (m_context.meterNumber ? m_context.meterNumber(stand, p) : QString());
            v.today = kv::now().date();
            // The protocols are made from the run just finished.
            v.verified = v.today;
            return kv::headerValue(kv::ProtocolKind::Group, field, v);
        }));
    Dataset *first = dm.ADOTipStend(1);
    m_tip = std::make_shared<kv::ModelSource>(QStringLiteral("ADOTip"), first, [first] { return first->recNo(); });
    m_report.addSource(m_tip);
    RecordTable *results = dm.RMResult;
    auto table = std::make_shared<kv::ModelSource>(QStringLiteral("RxMD"), results,
                                                   [results] { return results->recNo(); });
    table->setCellFilter(kv::protocolCellValue);
    m_report.addSource(table);
    m_report.setRangeSource(QStringLiteral("RxMD"));
}

QStringList StandProtocols::BuildStandProtocols()
{
    QStringList written;
    RecordTable *stands = m_dm.RMStend;
    const int keep = stands->recNo();
    for (int row = 0; row < stands->count(); ++row) {
        stands->setCurrent(row);
        m_dm.RMStendAfterScroll();  // RMResult shows this stand's rows (also when the row was current already)
        const QString caption = stands->value(QStringLiteral("PStend")).toString();
        m_dm.StandText = caption.mid(7, 1);
        const int stand = m_dm.StandText.toInt();
        if (stand >= 1 && stand <= 5) {
            Dataset *types = m_dm.ADOTipStend(stand);
            m_tip->setModel(types, [types] { return types->recNo(); });
        }
        const kv::ProtocolData data = m_context.data ? m_context.data() : kv::ProtocolData();
        m_report.setProtocolName({data.protocolNumber, kv::now().date(), m_dm.StandText});
        if (m_context.curvePictures) {
            auto pictures = m_context.curvePictures;
            m_report.setFinishing([pictures, stand](kv::WorkbookPackage &package) {
                // Drawn only for a template that has the place.
                kv::CellPlace place;
                if (kv::definedNamePlace(package, kv::kCurvesPlaceName, &place))
                    kv::placePictures(package, kv::kCurvesPlaceName, pictures(stand));
            });
        }
        const QString file = m_report.makeReportWithoutPreview();
        if (!file.isEmpty())
            written << file;
        if (m_context.advance)
            m_context.advance();
    }
    if (keep >= 0)
        stands->setCurrent(keep);
    return written;
}

}  // namespace kvintor
