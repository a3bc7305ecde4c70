#include "shell/child_windows.h"

#include "reference/data_module.h"
#include "widgets/data_grid.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QSqlQueryModel>
#include <QSqlRecord>
#include <QTableView>
#include <QVBoxLayout>

namespace basekvintor {

namespace {

kv::DataGrid *makeGrid(QWidget *owner, const QString &name, QAbstractItemModel *model)
{
    auto *grid = new kv::DataGrid(owner);
    grid->setObjectName(name);
    if (model)
        grid->setModel(model);
    grid->setReadOnly(true);
    return grid;
}

void hideColumns(kv::DataGrid *grid, QAbstractItemModel *model, std::initializer_list<const char *> names)
{
    QSqlRecord fields;
    if (auto *list = qobject_cast<TQueryDataSet *>(model))
        fields = list->record();
    else if (auto *table = qobject_cast<QSqlQueryModel *>(model))
        fields = table->record();
    for (const char *n : names) {
        const int c = fields.indexOf(QLatin1String(n));
        if (c >= 0)
            grid->hideColumn(c);
    }
}

// The master's current row chooses the detail's rows.
template <typename Setter>
void followCurrentRow(kv::DataGrid *grid, Setter setter)
{
    QObject::connect(grid, &kv::DataGrid::currentRowChanged, grid, [setter](int row) { setter(row); });
}

QLabel *caption(QWidget *owner, const QString &text)
{
    auto *l = new QLabel(text, owner);
    return l;
}

}  // namespace

TFArchiv::TFArchiv(TDM *dm, QWidget *parent)
    : TChildForm(QStringLiteral("FArchiv"), QStringLiteral("Архив"), kHelpArchiv, kArchivActions, false, parent)
{
    auto *layout = new QVBoxLayout(this);
    DBTest = makeGrid(this, QStringLiteral("DBTest"), dm ? dm->ADOMeasure : nullptr);
    DBPosition = makeGrid(this, QStringLiteral("DBPosition"), dm ? dm->ADOPosition : nullptr);
    DBResult = makeGrid(this, QStringLiteral("DBResult"), dm ? dm->ADOResult : nullptr);
    hideColumns(DBTest, dm ? dm->ADOMeasure : nullptr, {"PIndex", "PPointerTip", "PPointerTest"});
    layout->addWidget(caption(this, QStringLiteral("   Архив проверок ")));
    layout->addWidget(DBTest, 2);
    layout->addWidget(caption(this, QStringLiteral("   Результаты поверки")));
    layout->addWidget(DBPosition, 1);
    layout->addWidget(caption(this, QStringLiteral("   Погрешность счетчиков")));
    layout->addWidget(DBResult, 1);
    registerGrid(DBTest);
    registerGrid(DBPosition);
    registerGrid(DBResult);
    if (dm) {
        followCurrentRow(DBTest, [dm](int row) { dm->setCurrentMeasure(row); });
        followCurrentRow(DBPosition, [dm](int row) { dm->setCurrentPosition(row); });
    }
}

}  // namespace basekvintor
