#include "shell/query_window.h"

#include "core/clock.h"
#include "core/error_report.h"
#include "core/ui.h"
#include "database/codes.h"
#include "reference/archive_curves_view.h"
#include "reference/archive_view.h"
#include "reference/data_module.h"
#include "shell/child_windows.h"
#include "shell/help_window.h"
#include "widgets/data_grid.h"

#include <QAction>
#include <QApplication>
#include <QBrush>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QScreen>
#include <QShortcut>
#include <QSqlRecord>
#include <QStyle>
#include <QTabWidget>
#include <QTableView>
#include <QToolBar>
#include <QVBoxLayout>

namespace basekvintor {

// --- result fields ---------------------------------------------------------

namespace {

void fitShownColumns(kv::DataGrid *grid)
{
    const QList<int> shown = grid->shownColumns();
    for (int c : shown)
        grid->fitColumn(c);
}

struct FieldInfo {
    const char *name;
    const char *title;
};

const FieldInfo kFields[kSQLFieldCount] = {
    {"PDate", "Дата "},
    {"PTip", "Тип"},
    {"PIdentificator", "Обозначение"},
    {"PNumber", "Номер"},
    {"PPointNumber", "№ Точки"},
    {"PMeasure", "Погрешность, %"},
    {"PMeasureMax", "Допуск, %"},
    {"PSensitivity", "Чувствительность"},
    {"PSamochod", "Самоход"},
    {"PCountDevice", "Счетное устройство"},
    {"PTotal", "Заключение"},
    {"PPosition", "Позиция"},
    {"PNameTable", "Тест"},
};

}  // namespace

QString sqlFieldName(int column)
{
    return column >= 0 && column < kSQLFieldCount ? QLatin1String(kFields[column].name) : QString();
}

QString resultCountText(int rows) { return QStringLiteral("Найдено строк: ") + QString::number(rows); }

QString sqlFieldTitle(int column)
{
    return column >= 0 && column < kSQLFieldCount ? QString::fromUtf8(kFields[column].title) : QString();
}

TSQLResultModel::TSQLResultModel(TQueryDataSet *source, QObject *parent) : QAbstractTableModel(parent), m_source(source)
{
    m_sourceColumn.fill(-1);
    if (!m_source)
        return;
    mapColumns();
    connect(m_source, &QAbstractItemModel::modelAboutToBeReset, this, [this] { beginResetModel(); });
    connect(m_source, &QAbstractItemModel::modelReset, this, [this] {
        mapColumns();
        endResetModel();
    });
    connect(m_source, &QAbstractItemModel::rowsAboutToBeInserted, this,
            [this](const QModelIndex &, int first, int last) { beginInsertRows({}, first, last); });
    connect(m_source, &QAbstractItemModel::rowsInserted, this, [this] { endInsertRows(); });
    connect(m_source, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex &, int first, int last) { beginRemoveRows({}, first, last); });
    connect(m_source, &QAbstractItemModel::rowsRemoved, this, [this] { endRemoveRows(); });
}

void TSQLResultModel::mapColumns()
{
    const QSqlRecord record = m_source->record();
    for (int c = 0; c < kSQLFieldCount; ++c)
        m_sourceColumn[std::size_t(c)] = record.indexOf(sqlFieldName(c));
}

int TSQLResultModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() || !m_source ? 0 : m_source->rowCount();
}

int TSQLResultModel::columnCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : kSQLFieldCount; }

QVariant TSQLResultModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || !m_source)
        return {};
    if (role == Qt::BackgroundRole) {
        // An error beyond its tolerance, shaded as the archive window shades it.
        const int measure = sourceColumn(int(SQLField::PMeasure));
        const int tolerance = sourceColumn(int(SQLField::PMeasureMax));
        if (measure < 0 || tolerance < 0)
            return {};
        const int row = index.row();
        if (resultExceedsTolerance(m_source->data(m_source->index(row, measure), Qt::EditRole),
                                   m_source->data(m_source->index(row, tolerance), Qt::EditRole)))
            return QBrush(kFailColour);
        return {};
    }
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return {};
    const int c = sourceColumn(index.column());
    if (c < 0)
        return {};
    const QVariant value = m_source->data(m_source->index(index.row(), c), role);
    // Dates as the archive window shows them; the stored text stays the edit value.
    if (role == Qt::DisplayRole && index.column() == int(SQLField::PDate))
        return archiveDateText(value);
    return value;
}

QVariant TSQLResultModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return sqlFieldTitle(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

// --- TFSQL -----------------------------------------------------------------

TFSQL::TFSQL(TDM *dm, QWidget *parent)
    : TChildForm(QStringLiteral("FSQL"), QStringLiteral("Данные из архива"), kHelpSQL, kSQLActions, false, parent)
{
    auto *layout = new QVBoxLayout(this);
    ToolBar = new QToolBar(this);
    ToolBar->setObjectName(QStringLiteral("ToolBar1"));
    auto *spacer = new QWidget(ToolBar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    m_navigationStart = ToolBar->addWidget(spacer);
    const auto nav = [this](const char *name, QStyle::StandardPixmap icon, const QString &hint) {
        QAction *a = ToolBar->addAction(style()->standardIcon(icon), hint);
        a->setObjectName(QLatin1String(name));
        a->setToolTip(hint);
        a->setStatusTip(hint);
        return a;
    };
    DataSetFirst = nav("DataSetFirst", QStyle::SP_MediaSkipBackward, QStringLiteral("Первая запись"));
    DataSetPrior = nav("DataSetPrior", QStyle::SP_MediaSeekBackward, QStringLiteral("Предыдущая запись"));
    DataSetNext = nav("DataSetNext", QStyle::SP_MediaSeekForward, QStringLiteral("Следующая запись"));
    DataSetLast = nav("DataSetLast", QStyle::SP_MediaSkipForward, QStringLiteral("Последняя запись"));
    ACurves = new QAction(QStringLiteral("Кривые погрешности"), this);
    ACurves->setObjectName(QStringLiteral("ACurves"));
    ToolBar->insertAction(m_navigationStart, ACurves);
    if (dm)
        Curves = new ArchiveCurves(dm->database(), this, this);
    connect(ACurves, &QAction::triggered, this, [this] { kv::guarded([this] { ACurvesExecute(); }); });
    layout->addWidget(ToolBar);

    DBGridSQL = new kv::DataGrid(this);
    DBGridSQL->setObjectName(QStringLiteral("DBGridSQL"));
    DSSQL = new TSQLResultModel(dm ? dm->ADOSQL : nullptr, this);
    DSSQL->setObjectName(QStringLiteral("DSSQL"));
    DBGridSQL->setModel(DSSQL);
    DBGridSQL->setReadOnly(true);
    // Each column as wide as its title and its first rows (equal shares of the
    // window cut the dates and the longer titles); the last one takes the rest.
    DBGridSQL->horizontalHeader()->setStretchLastSection(true);
    using kv::GridColumn;
    for (int c = int(SQLField::PPointNumber); c <= int(SQLField::PPosition); ++c)
        DBGridSQL->setColumn(c, GridColumn::text().centred().noEdit());
    DBGridSQL->setColumn(int(SQLField::PSensitivity),
                         GridColumn::pickList(kv::codeList(kv::observedText, 0, 2)).centred().noEdit());
    DBGridSQL->setColumn(int(SQLField::PSamochod),
                         GridColumn::pickList(kv::codeList(kv::observedText, 0, 2)).centred().noEdit());
    DBGridSQL->setColumn(int(SQLField::PCountDevice),
                         GridColumn::pickList(kv::codeList(kv::registerResultText, 0, 2)).centred().noEdit());
    DBGridSQL->setColumn(int(SQLField::PTotal),
                         GridColumn::pickList(kv::codeList(kv::verdictText, 0, 2)).centred().noEdit());
    for (int c = 0; c < kSQLFieldCount; ++c)
        DBGridSQL->setColumnHidden(c, true);
    layout->addWidget(DBGridSQL);
    registerGrid(DBGridSQL, false);
    LCount = new QLabel(this);
    LCount->setObjectName(QStringLiteral("LCount"));
    layout->addWidget(LCount);
    connect(DSSQL, &QAbstractItemModel::modelReset, this, [this] { fitShownColumns(DBGridSQL); });
    const auto count = [this] { LCount->setText(resultCountText(DSSQL->rowCount())); };
    connect(DSSQL, &QAbstractItemModel::modelReset, this, count);
    connect(DSSQL, &QAbstractItemModel::rowsInserted, this, count);
    connect(DSSQL, &QAbstractItemModel::rowsRemoved, this, count);
    count();

    const auto go = [this](int row) {
        if (DSSQL->rowCount() > 0)
            DBGridSQL->setCurrentRow(row);
    };
    connect(DataSetFirst, &QAction::triggered, this, [go] { go(0); });
    connect(DataSetPrior, &QAction::triggered, this, [this, go] { go(std::max(0, DBGridSQL->currentRow() - 1)); });
    connect(DataSetNext, &QAction::triggered, this, [this, go] {
        go(std::min(DBGridSQL->currentRow() + 1, DSSQL->rowCount() - 1));
    });
    connect(DataSetLast, &QAction::triggered, this, [this, go] { go(DSSQL->rowCount() - 1); });
}

QStringList TFSQL::resultNumbers() const
{
    QStringList numbers;
    if (DSSQL->sourceColumn(int(SQLField::PNumber)) < 0)
        return numbers;
    for (int row = 0; row < DSSQL->rowCount(); ++row) {
        const QString number = DSSQL->index(row, int(SQLField::PNumber)).data().toString();
        // A meter without a number cannot be told from the others without one.
        if (!number.trimmed().isEmpty())
            numbers << number;
    }
    numbers.removeDuplicates();
    return numbers;
}

void TFSQL::ACurvesExecute()
{
    if (!Curves)
        return;
    if (DSSQL->rowCount() > 0 && DSSQL->sourceColumn(int(SQLField::PNumber)) < 0) {
        kv::ui().warning(this, kv::CurvesWindow::Caption, ArchiveCurves::NoNumbersText);
        return;
    }
    Curves->ShowNumbers(resultNumbers());
}

void TFSQL::setSelectAction(QAction *action)
{
    ToolBar->insertAction(m_navigationStart, action);
}

void TFSQL::showFields(const QStringList &fields)
{
    for (int c = 0; c < kSQLFieldCount; ++c)
        DBGridSQL->setColumnHidden(c, !fields.contains(sqlFieldName(c)));
    fitShownColumns(DBGridSQL);
}

}  // namespace basekvintor
