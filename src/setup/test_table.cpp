#include "setup/test_table.h"

#include "core/ui.h"
#include "database/codes.h"
#include "database/connection.h"
#include "setup/data_module.h"

namespace kvintor {

namespace {

struct Column {
    const char *field;
    const char *title;
};

const Column kColumns[] = {
    {"PNumPoint1", "№ Точки"}, {"PPersentU", "%U"}, {"PPhaseUA", "UA"}, {"PPhaseUB", "UB"},
    {"PPhaseUC", "UC"},        {"PPersentI", "%I"}, {"PPhaseIA", "IA"}, {"PPhaseIB", "IB"},
    {"PPhaseIC", "IC"},        {"PKM", "KM"},       {"PLC", "LC"},
    {"PCountRotation", "Число оборотов(время, мин)"},
    {"PMeasureMax", "Допуск,% (время, сек)"},
    {"PMode", "Режим"},
};
constexpr int kColumnCount = int(sizeof(kColumns) / sizeof(kColumns[0]));

QString F(const char *name)
{
    return QString::fromLatin1(name);
}

// Sets a value on every row in the present order, posting each.
template <typename Fn>
QString forEachRow(RecordTable *buf, Fn fn)
{
    buf->first();
    for (int counter = 1; !buf->eof(); ++counter) {
        fn(counter);
        const QString error = buf->post();
        if (!error.isEmpty())
            return error;
        buf->next();
    }
    return {};
}

QString appendSpecial(TDM &dm, const char *prefix, const QString &mode)
{
    RecordTable *buf = dm.ADOTestBuf;
    auto test = [&](const char *suffix) { return dm.ADOTest1->value(F(prefix) + F(suffix)); };
    buf->append();
    buf->setValue(F("PNumPoint1"), test("N"));
    buf->setValue(F("PMode"), mode);
    buf->setValue(F("PPersentU"), test("U"));
    buf->setValue(F("PPersentI"), test("I"));
    for (const char *phase : {"PPhaseUA", "PPhaseUB", "PPhaseUC", "PPhaseIA", "PPhaseIB", "PPhaseIC"})
        buf->setValue(F(phase), 1);
    buf->setValue(F("PKM"), 1);
    buf->setValue(F("PCountRotation"), test("T"));
    buf->setValue(F("PMeasureMax"), test("TSec"));
    // Not an error row: it has no results index.
    buf->setValue(F("PNumPoint"), 0);
    return buf->post();
}

// The order of the test's own point numbers becomes the run's 1..n.
QString renumber(RecordTable *buf)
{
    buf->sortBy(F("PNumPointBuf"));
    const QString error = forEachRow(buf, [&](int counter) { buf->setValue(F("PNumPoint1"), counter); });
    if (!error.isEmpty())
        return error;
    buf->first();
    buf->sortBy(F("PNumPoint1"));
    return {};
}

QString numberVerification(TDM &dm)
{
    RecordTable *buf = dm.ADOTestBuf;
    buf->sortBy(F("PNumPoint1"));
    QString error = forEachRow(buf, [&](int counter) {
        buf->setValue(F("PMode"), kv::RowKind::ErrorPoint);
        buf->setValue(F("PNumPoint"), counter);
    });
    if (error.isEmpty() && dm.ADOTest1->value(F("PSensitivityCB")).toBool())
        error = appendSpecial(dm, "PSensitivity", kv::RowKind::Sensitivity);
    if (error.isEmpty() && dm.ADOTest1->value(F("PSamochodCB")).toBool())
        error = appendSpecial(dm, "PSamochod", kv::RowKind::Creep);
    if (error.isEmpty() && dm.ADOTest1->value(F("PCountDeviceCB")).toBool())
        error = appendSpecial(dm, "PCountDevice", kv::RowKind::Register);
    if (error.isEmpty())
        error = forEachRow(buf, [&](int) { buf->setValue(F("PNumPointBuf"), buf->value(F("PNumPoint1"))); });
    return error.isEmpty() ? renumber(buf) : error;
}

QString numberRegulation(TDM &dm)
{
    RecordTable *buf = dm.ADOTestBuf;
    const QString error = forEachRow(buf, [&](int) {
        buf->setValue(F("PNumPointBuf"), buf->value(F("PNumPoint1")));
        buf->setValue(F("PMode"), kv::RowKind::ErrorPoint);
    });
    return error.isEmpty() ? renumber(buf) : error;
}

TestTableFill fill(TDM &dm, bool verification)
{
    TestTableFill result;
    const QVariant test = dm.ADOTest1->value(F("PIndex"));
    const int testIndex = test.isNull() ? 0 : test.toInt();
    dm.ADOTestBuf->close();

    QString error;
    {
        kv::Transaction tx(dm.database());
        if (!tx.begin())
            error = tx.errorText();
        if (error.isEmpty())
            error = dm.emptyTestBuf();
        if (error.isEmpty())
            error = dm.copyTestPoints(testIndex);
        if (error.isEmpty())
            error = dm.ADOTestBuf->open();
        if (error.isEmpty())
            error = verification ? numberVerification(dm) : numberRegulation(dm);
        if (error.isEmpty() && !tx.commit())
            error = tx.errorText();
        // Leaving the block rolls back whatever was not committed.
    }
    if (!error.isEmpty()) {
        result.ok = false;
        // Show the running test as the database now holds it.
        dm.ADOTestBuf->close();
        dm.ADOTestBuf->open();
        kv::ui().error(nullptr, QStringLiteral("Ошибка"), QStringLiteral("Ошибка запроса к базе данных !!!"));
    }
    dm.ADOTestBuf->sortBy(F("PNumPoint1"));
    dm.ADOTestBuf->first();
    result.rows = dm.ADOTestBuf->count();
    return result;
}

}  // namespace

TestTableFill FillVerificationTable(TDM &dm, int rgAuto)
{
    TestTableFill result = fill(dm, true);
    result.selectPointVisible = rgAuto == 1;
    return result;
}

TestTableFill FillRegulationTable(TDM &dm)
{
    TestTableFill result = fill(dm, false);
    result.selectPointVisible = true;
    return result;
}

// ---------------------------------------------------------------------------

TestBufGridModel::TestBufGridModel(RecordTable *buffer, QObject *parent) : QAbstractTableModel(parent), m_buffer(buffer)
{
    connect(buffer, &QAbstractItemModel::modelReset, this, [this] {
        beginResetModel();
        endResetModel();
    });
    connect(buffer, &QAbstractItemModel::dataChanged, this, [this](const QModelIndex &a, const QModelIndex &b) {
        Q_EMIT dataChanged(index(a.row(), 0), index(b.row(), kColumnCount - 1));
    });
    connect(buffer, &QAbstractItemModel::rowsAboutToBeInserted, this, [this] { beginResetModel(); });
    connect(buffer, &QAbstractItemModel::rowsInserted, this, [this] { endResetModel(); });
}

QString TestBufGridModel::fieldOf(int column)
{
    return column >= 0 && column < kColumnCount ? F(kColumns[column].field) : QString();
}

int TestBufGridModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() || !m_buffer ? 0 : m_buffer->count();
}

int TestBufGridModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant TestBufGridModel::data(const QModelIndex &index, int role) const
{
    if (!m_buffer || !index.isValid() || role != Qt::DisplayRole)
        return {};
    const QString field = fieldOf(index.column());
    const QVariant v = m_buffer->valueAt(index.row(), field);
    if (v.isNull())
        return QString();
    if (field == QLatin1String("PLC"))
        return kv::loadCharacterText(v.toInt());
    if (field.startsWith(QLatin1String("PPhase")))
        return v.toBool() ? QStringLiteral("+") : QStringLiteral("-");
    if (v.typeId() == QMetaType::Double)
        return QString::number(v.toDouble(), 'g', 12);
    return v.toString();
}

QVariant TestBufGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return section >= 0 && section < kColumnCount ? QString::fromUtf8(kColumns[section].title) : QString();
    return section + 1;
}

}  // namespace kvintor
