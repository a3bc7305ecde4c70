#include "reference/archive_window.h"

#include "core/error_report.h"
#include "core/ui.h"
#include "database/codes.h"
#include "reference/archive_curves_view.h"
#include "reference/archive_view.h"
#include "reference/data_module.h"
#include "reference/record_toolbar.h"
#include "widgets/data_grid.h"
#include "widgets/main_actions.h"

#include <QAction>
#include <QLabel>
#include <QPainter>
#include <QStyle>
#include <QToolBar>
#include <QVBoxLayout>

namespace basekvintor {

namespace {

// Draws a result row beyond its tolerance over the normal cell: the fail
// colour, and the text in black, centred.
class ResultHighlight : public kv::GridDelegate
{
public:
    using kv::GridDelegate::GridDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        kv::GridDelegate::paint(painter, option, index);
        if (!index.data(ArchiveListView::HighlightRole).toBool())
            return;
        const QString text = displayText(index.data(Qt::DisplayRole), option.locale);
        const QFontMetrics metrics(option.font);
        const QPoint origin =
            centredTextOrigin(option.rect, QSize(metrics.horizontalAdvance(text), metrics.height()));
        painter->save();
        painter->fillRect(option.rect, kFailColour);
        painter->setFont(option.font);
        painter->setPen(Qt::black);
        painter->drawText(QPoint(origin.x(), origin.y() + metrics.ascent()), text);
        painter->restore();
    }
};

kv::DataGrid *makeGrid(QWidget *owner, const QString &name, ArchiveListView *view)
{
    auto *grid = new kv::DataGrid(owner);
    grid->setObjectName(name);
    grid->setModel(view);
    grid->setReadOnly(true);
    return grid;
}

// Shows the named fields with these titles, the others hidden.
void showFields(kv::DataGrid *grid, ArchiveListView *view, const QStringList &fields, const QStringList &titles)
{
    QList<int> columns;
    for (const QString &f : fields)
        columns << view->column(f);
    grid->showColumns(columns, titles);
}

QAction *makeAction(QWidget *owner, const char *name, const QString &caption, const QString &hint,
                    QStyle::StandardPixmap icon, const QKeySequence &key = {})
{
    auto *a = new QAction(owner->style()->standardIcon(icon), caption, owner);
    a->setObjectName(QLatin1String(name));
    a->setToolTip(hint);
    a->setStatusTip(hint);
    if (!key.isEmpty()) {
        a->setShortcut(key);
        a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    }
    owner->addAction(a);
    return a;
}

void fetchAll(QAbstractItemModel *model)
{
    while (model->canFetchMore({}))
        model->fetchMore({});
}

}  // namespace

TFArchiv::TFArchiv(TDM *dm, QWidget *parent)
    : TChildForm(QStringLiteral("FArchiv"), QStringLiteral("Архив"), kHelpArchiv, kArchivActions, false, parent),
      m_dm(dm)
{
    ToolBar = new QToolBar(this);
    ToolBar->setObjectName(QStringLiteral("ToolBar"));
    DataSetFirst1 = makeAction(this, "DataSetFirst1", QStringLiteral("&First"), QStringLiteral("Первая запись"),
                               QStyle::SP_MediaSkipBackward);
    DataSetPrior1 = makeAction(this, "DataSetPrior1", QStringLiteral("&Prior"), QStringLiteral("Предыдущая запись"),
                               QStyle::SP_MediaSeekBackward);
    DataSetNext1 = makeAction(this, "DataSetNext1", QStringLiteral("&Next"), QStringLiteral("Следующая запись"),
                              QStyle::SP_MediaSeekForward);
    DataSetLast1 = makeAction(this, "DataSetLast1", QStringLiteral("&Last"), QStringLiteral("Последняя запись"),
                              QStyle::SP_MediaSkipForward);
    DataSetDelete1 = makeAction(this, "DataSetDelete1", QStringLiteral("Удалить запись"),
                                QStringLiteral("Удалить запись"), QStyle::SP_TrashIcon,
                                QKeySequence(Qt::CTRL | Qt::Key_Delete));
    ToolBar->addActions({DataSetFirst1, DataSetPrior1, DataSetNext1, DataSetLast1, DataSetDelete1});
    ToolBar->addSeparator();
    ACurves = ToolBar->addAction(QStringLiteral("Кривые погрешности"));
    ACurves->setObjectName(QStringLiteral("ACurves"));
    ACurvesMeter = ToolBar->addAction(QStringLiteral("Кривые счетчика"));
    ACurvesMeter->setObjectName(QStringLiteral("ACurvesMeter"));
    if (dm)
        Curves = new ArchiveCurves(dm->database(), this, this);
    connect(ACurves, &QAction::triggered, this, [this] { kv::guarded([this] { ACurvesExecute(); }); });
    connect(ACurvesMeter, &QAction::triggered, this, [this] { kv::guarded([this] { ACurvesMeterExecute(); }); });
    nameToolButtons(ToolBar);
    connect(DataSetFirst1, &QAction::triggered, this, [this] { kv::guarded([this] { DataSetFirst1Execute(); }); });
    connect(DataSetPrior1, &QAction::triggered, this, [this] { kv::guarded([this] { DataSetPrior1Execute(); }); });
    connect(DataSetNext1, &QAction::triggered, this, [this] { kv::guarded([this] { DataSetNext1Execute(); }); });
    connect(DataSetLast1, &QAction::triggered, this, [this] { kv::guarded([this] { DataSetLast1Execute(); }); });
    connect(DataSetDelete1, &QAction::triggered, this, [this] { kv::guarded([this] { DataSetDelete1Execute(); }); });

    auto *measures = new ArchiveListView(dm ? dm->ADOMeasure : nullptr, this);
    auto *positions = new ArchiveListView(dm ? dm->ADOPosition : nullptr, this);
    auto *results = new ArchiveListView(dm ? dm->ADOResult : nullptr, this);
    measures->setDateColumn(measures->column(QStringLiteral("PDate")));
    results->setHighlight(
        toleranceRule(results->column(QStringLiteral("PMeasure")), results->column(QStringLiteral("PMeasureMax"))));

    DBTest = makeGrid(this, QStringLiteral("DBTest"), measures);
    DBPosition = makeGrid(this, QStringLiteral("DBPosition"), positions);
    DBResult = makeGrid(this, QStringLiteral("DBResult"), results);
    DBResult->setItemDelegate(new ResultHighlight(DBResult));
    if (dm) {
        showFields(DBTest, measures, {"PDate", "PTip", "PIdentificator", "PNameTable"},
                   {"Дата", "Тип", "Обозначение", "Тест"});
        showFields(DBPosition, positions,
                   {"PPosition", "PNumber", "PSensitivity", "PSamochod", "PCountDevice", "PTotal"},
                   {"Позиция", "Номер счетчика", "Чувствительность", "Самоход", "Счетное устройство", "Заключение"});
        showFields(DBResult, results, {"PPointNumber", "PMeasure", "PMeasureMax"},
                   {"№ Точки", "Погрешность, %", "Допуск, %"});
        auto codes = [&](const char *field, QString (*text)(int)) {
            DBPosition->setColumn(positions->column(QLatin1String(field)),
                                  kv::GridColumn::pickList(kv::codeList(text, 0, 2)).noEdit());
        };
        codes("PSensitivity", kv::observedText);
        codes("PSamochod", kv::observedText);
        codes("PCountDevice", kv::registerResultText);
        codes("PTotal", kv::verdictText);
    }

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    layout->addWidget(ToolBar);
    layout->addWidget(new QLabel(QStringLiteral("   Архив проверок "), this));
    layout->addWidget(DBTest, 2);
    layout->addWidget(new QLabel(QStringLiteral("   Результаты поверки"), this));
    layout->addWidget(DBPosition, 1);
    layout->addWidget(new QLabel(QStringLiteral("   Погрешность счетчиков"), this));
    layout->addWidget(DBResult, 1);

    for (kv::DataGrid *grid : {DBTest, DBPosition, DBResult}) {
        registerGrid(grid);
        connect(grid, &kv::DataGrid::entered, this, [this, grid] { DBTestEnter(grid); });
        connect(grid, &kv::DataGrid::currentRowChanged, this, &TFArchiv::updateActions);
        connect(grid->model(), &QAbstractItemModel::modelReset, this, &TFArchiv::updateActions);
    }
    m_actionGrid = DBTest;

    if (dm) {
        // The current record chooses its meters, the current meter its errors.
        connect(DBTest, &kv::DataGrid::currentRowChanged, this, [dm](int row) {
            if (row >= 0)
                dm->setCurrentMeasure(row);
        });
        connect(DBPosition, &kv::DataGrid::currentRowChanged, this, [dm](int row) {
            if (row >= 0)
                dm->setCurrentPosition(row);
        });
        connect(dm, &TDM::currentMeasureChanged, this, &TFArchiv::showCurrentPosition);
        connect(dm, &TDM::currentPositionChanged, this, [this] {
            if (DBResult->currentRow() < 0 && DBResult->model()->rowCount() > 0)
                DBResult->setCurrentRow(0);
        });
        if (!dm->ADOMeasure->isEmpty())
            DBTest->setCurrentRow(0);
        showCurrentPosition();
    }
    updateActions();
}

TQueryDataSet *TFArchiv::listOf(const kv::DataGrid *grid) const
{
    if (!m_dm || !grid)
        return nullptr;
    if (grid == DBTest)
        return m_dm->ADOMeasure;
    if (grid == DBPosition)
        return m_dm->ADOPosition;
    if (grid == DBResult)
        return m_dm->ADOResult;
    return nullptr;
}

void TFArchiv::ACurvesExecute()
{
    if (Curves)
        Curves->ShowRecord(m_dm->currentMeasureKey(), m_dm->currentPositionKey());
}

void TFArchiv::ACurvesMeterExecute()
{
    if (Curves)
        Curves->ShowMeter(m_dm->currentMeasureKey(), m_dm->currentPositionKey());
}

void TFArchiv::DBTestEnter(kv::DataGrid *grid)
{
    m_actionGrid = grid;
    updateActions();
}

void TFArchiv::showCurrentPosition()
{
    // The grids follow the data module's current meter and error, which are
    // the first of their lists after the record changed.
    if (!m_dm)
        return;
    const int position = m_dm->ADOPosition->isEmpty() ? -1 : 0;
    if (position >= 0 && DBPosition->currentRow() != position)
        DBPosition->setCurrentRow(position);
    if (!m_dm->ADOResult->isEmpty() && DBResult->currentRow() < 0)
        DBResult->setCurrentRow(0);
    updateActions();
}

void TFArchiv::updateActions()
{
    kv::DataGrid *grid = m_actionGrid;
    QAbstractItemModel *model = grid ? grid->model() : nullptr;
    const int rows = model ? model->rowCount() : 0;
    const int row = grid ? grid->currentRow() : -1;
    const bool more = model && (row + 1 < rows || model->canFetchMore({}));
    DataSetFirst1->setEnabled(rows > 0 && row != 0);
    DataSetPrior1->setEnabled(row > 0);
    DataSetNext1->setEnabled(more);
    DataSetLast1->setEnabled(more);
    DataSetDelete1->setEnabled(rows > 0);
}

void TFArchiv::DataSetFirst1Execute()
{
    if (m_actionGrid && m_actionGrid->model()->rowCount() > 0)
        m_actionGrid->setCurrentRow(0);
}

void TFArchiv::DataSetPrior1Execute()
{
    if (m_actionGrid && m_actionGrid->currentRow() > 0)
        m_actionGrid->setCurrentRow(m_actionGrid->currentRow() - 1);
}

void TFArchiv::DataSetNext1Execute()
{
    if (!m_actionGrid)
        return;
    QAbstractItemModel *model = m_actionGrid->model();
    const int next = m_actionGrid->currentRow() + 1;
    if (next >= model->rowCount() && model->canFetchMore({}))
        model->fetchMore({});
    if (next < model->rowCount())
        m_actionGrid->setCurrentRow(next);
}

void TFArchiv::DataSetLast1Execute()
{
    if (!m_actionGrid)
        return;
    fetchAll(m_actionGrid->model());
    const int rows = m_actionGrid->model()->rowCount();
    if (rows > 0) {
        m_actionGrid->setCurrentRow(rows - 1);
        m_actionGrid->scrollToBottom();
    }
}

void TFArchiv::DataSetDelete1Execute()
{
    auto *grid = qobject_cast<kv::DataGrid *>(focusedGrid());
    if (grid && listOf(grid))
        deleteIn(grid);
}

void TFArchiv::deleteIn(kv::DataGrid *grid)
{
    TQueryDataSet *list = listOf(grid);
    if (!list || list->isEmpty())
        return;
    if (kv::ui().question(this, QStringLiteral("Удаление данных"), QStringLiteral("Удалить все выделенные записи ?")) !=
        QMessageBox::Yes)
        return;
    const QList<qint64> keys = keysToDelete(list, grid->markedRows(), grid->currentRow());
    const int row = grid->currentRow();
    grid->setUpdatesEnabled(false);
    // Meters and their errors go with a record, errors with a meter: the
    // database deletes them with their parent.
    if (grid == DBTest)
        m_dm->deleteMeasures(keys);
    else if (grid == DBPosition)
        m_dm->deletePositions(keys);
    else
        m_dm->deleteResults(keys);
    grid->clearMarks();
    grid->setUpdatesEnabled(true);

    if (grid == DBTest && !m_dm->ADOMeasure->isEmpty()) {
        // The data module keeps the current record when it still exists, else the first.
        const qint64 key = m_dm->currentMeasureKey();
        int at = row >= 0 && list->keyAt(row) == key ? row : list->rowOfKey(key);
        DBTest->setCurrentRow(at < 0 ? 0 : at);
    }
    showCurrentPosition();
    if (grid == DBResult && !m_dm->ADOResult->isEmpty())
        DBResult->setCurrentRow(qBound(0, row, DBResult->model()->rowCount() - 1));
}

}  // namespace basekvintor
