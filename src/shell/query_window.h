#pragma once
// The query builder dialog ("Выбор данных") over QueryBuilder, and the query
// result window ("Данные из архива") whose grid shows the data module's ADOSQL
// through thirteen fixed columns, hidden until a query shows them.

#include "shell/query_builder.h"
#include "widgets/child_form.h"

#include <QAbstractTableModel>
#include <QDialog>
#include <QPointer>

#include <array>

class QAction;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QTabWidget;
class QToolBar;

namespace kv {
class DataGrid;
}

namespace basekvintor {

class ArchiveCurves;
class TDM;
class TQueryDataSet;

// The result grid's fields, in the grid's order.
enum class SQLField {
    PDate, PTip, PIdentificator, PNumber, PPointNumber, PMeasure, PMeasureMax,
    PSensitivity, PSamochod, PCountDevice, PTotal, PPosition, PNameTable
};
inline constexpr int kSQLFieldCount = 13;
QString sqlFieldName(int column);
QString sqlFieldTitle(int column);
// Under the result grid: how many rows the query found.
QString resultCountText(int rows);

// ADOSQL seen through the thirteen fields: a field the query did not select is
// an empty column (and hidden by the window).
class TSQLResultModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit TSQLResultModel(TQueryDataSet *source, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    // The column of the field in the current query, -1 when not selected.
    int sourceColumn(int column) const { return m_sourceColumn[std::size_t(column)]; }

private:
    void mapColumns();

    TQueryDataSet *m_source;
    std::array<int, kSQLFieldCount> m_sourceColumn;
};

class TFSQLShape : public QDialog
{
    Q_OBJECT
public:
    explicit TFSQLShape(TDM *dm, QWidget *parent = nullptr);
    ~TFSQLShape() override;

    QueryBuilder &builder() { return m_builder; }
    // The kept parts of the last statement (read by the export of the result grid).
    QString columnPart() const { return m_builder.columnPart(); }
    QString sourcePart() const { return m_builder.sourcePart(); }

    // Shows the builder modally: applies the enable-and-force rule and
    // re-reads the meter numbers first. Returns the dialog's result.
    int showModal();
    // "Выполнить запрос": composes and runs; closes the builder on success.
    bool GenerateSQL();
    // Re-reads the meter numbers, keeping the chosen one.
    void rereadNumbers();
    // Makes the widgets show the builder's state (after a change made to it directly).
    void showState();

    QToolBar *ToolBar = nullptr;
    QAction *AGenerateSQL = nullptr;
    QAction *ASelect = nullptr;    // "Выделить все"
    QAction *ADeSelect = nullptr;  // "Снять выделение"
    QTabWidget *PageControl = nullptr;
    std::array<QCheckBox *, kQueryColumnCount> columnBoxes{};
    std::array<QCheckBox *, kQueryConditionCount> conditionBoxes{};
    QGroupBox *GBDate = nullptr, *GBMistake = nullptr, *GBTip = nullptr;
    QRadioButton *RBBefore = nullptr, *RBAfter = nullptr, *RBFromBefore = nullptr;
    QDateEdit *DTPBefore = nullptr, *DTPAfter = nullptr, *DTPFBFrom = nullptr, *DTPFBBefore = nullptr;
    QRadioButton *RBMBefore = nullptr, *RBMAfter = nullptr, *RBMFromBefore = nullptr;
    QLineEdit *EBefore = nullptr, *EAfter = nullptr, *EFBFrom = nullptr, *EFBBefore = nullptr;
    QComboBox *DBLCTip = nullptr;
    QLineEdit *EIdent = nullptr;
    QComboBox *DBLCNumber = nullptr;
    QComboBox *CBoxTotal = nullptr;

    // The type chosen in the type list (by its row in ADOTipDis).
    void chooseType(int row);

Q_SIGNALS:
    // The result fields to show after a query's columns were chosen.
    void fieldsChosen(const QStringList &fields);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *makeColumnsPage();
    QWidget *makeConditionsPage();
    QLineEdit *makeErrorEdit(const char *name, QString *target);
    void pageChanged(int page);

    TDM *m_dm;
    QueryBuilder m_builder;
    bool m_showing = false;
};

// The program's one query builder while it exists (the export of the result
// grid reads its kept parts).
extern TFSQLShape *FSQLShape;

class TFSQL : public TChildForm
{
    Q_OBJECT
public:
    explicit TFSQL(TDM *dm, QWidget *parent = nullptr);

    // The main window's "Выбор данных из архива" on the toolbar's left.
    void setSelectAction(QAction *action);
    // Shows exactly these result fields.
    void showFields(const QStringList &fields);

    QToolBar *ToolBar = nullptr;
    kv::DataGrid *DBGridSQL = nullptr;
    TSQLResultModel *DSSQL = nullptr;
    QLabel *LCount = nullptr;  // the rows found
    QAction *DataSetFirst = nullptr;
    QAction *DataSetPrior = nullptr;
    QAction *DataSetNext = nullptr;
    QAction *DataSetLast = nullptr;
    QAction *ACurves = nullptr;  // "Кривые погрешности" of the meters found
    ArchiveCurves *Curves = nullptr;
    // The distinct meter numbers of the result, in row order (none when the
    // query did not select "Номер").
    QStringList resultNumbers() const;
    void ACurvesExecute();

private:
    QAction *m_navigationStart = nullptr;
};

}  // namespace basekvintor
