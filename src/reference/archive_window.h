#pragma once
// The archive window "Архив": the verification records, the meters of the
// selected record and the errors of the selected meter, read-only, with the
// record actions first, prior, next, last and delete. The record and meter
// selected here are the ones the protocols print.

#include "widgets/child_form.h"
#include "widgets/data_grid.h"

#include <QPointer>

class QAction;
class QToolBar;

namespace basekvintor {

class ArchiveCurves;
class ArchiveListView;
class TDM;
class TQueryDataSet;

class TFArchiv : public TChildForm
{
    Q_OBJECT
public:
    explicit TFArchiv(TDM *dm, QWidget *parent = nullptr);

    QToolBar *ToolBar = nullptr;
    QAction *DataSetFirst1 = nullptr;
    QAction *DataSetPrior1 = nullptr;
    QAction *DataSetNext1 = nullptr;
    QAction *DataSetLast1 = nullptr;
    QAction *DataSetDelete1 = nullptr;
    QAction *ACurves = nullptr;       // "Кривые погрешности": the current record's meters
    QAction *ACurvesMeter = nullptr;  // "Кривые счетчика": the current meter alone
    ArchiveCurves *Curves = nullptr;
    void ACurvesExecute();
    void ACurvesMeterExecute();

    kv::DataGrid *DBTest = nullptr;      // "   Архив проверок "
    kv::DataGrid *DBPosition = nullptr;  // "   Результаты поверки"
    kv::DataGrid *DBResult = nullptr;    // "   Погрешность счетчиков"

    // The grid the record actions work on: the one entered last (the
    // archive list at first).
    kv::DataGrid *actionGrid() const { return m_actionGrid; }
    // DBTestEnter: the record actions switch to this grid's list.
    void DBTestEnter(kv::DataGrid *grid);

    // The record actions on the action grid.
    void DataSetFirst1Execute();
    void DataSetPrior1Execute();
    void DataSetNext1Execute();
    void DataSetLast1Execute();
    // Deletes in the focused grid (nothing when no grid has the focus).
    void DataSetDelete1Execute();
    // Deletes in this grid: the marked rows, every row when all are marked,
    // else the current row, after the operator's "yes".
    void deleteIn(kv::DataGrid *grid);

    // The list a grid shows.
    TQueryDataSet *listOf(const kv::DataGrid *grid) const;

private:
    void updateActions();
    void showCurrentPosition();

    TDM *m_dm;
    QPointer<kv::DataGrid> m_actionGrid;
};

}  // namespace basekvintor
