#pragma once
// The running test: TTestBuf filled from the chosen test when a run starts, and
// the grid in which the operator picks the row to start from.

#include <QAbstractTableModel>
#include <QPointer>
#include <QString>

namespace kvintor {

class TDM;
class RecordTable;

struct TestTableFill {
    bool ok = true;  // false: a statement failed, the operator was told, TTestBuf is as it was
    int rows = 0;    // rows of the running test afterwards
    bool selectPointVisible = true;  // "С выбранной точки" is offered
};

// For the current ADOTest1 row. Both leave ADOTestBuf sorted by PNumPoint1
// (numbered 1..n in the order of the test's own point numbers, PNumPointBuf)
// with the first row current; the whole fill is one transaction.
// Verification: error rows "п" get the results indexes 1..m in point order and
// the test's special tests their rows; `rgAuto` is the run setup's
// "Занести в протокол" (1 "Вручную" offers "С выбранной точки").
TestTableFill FillVerificationTable(TDM &dm, int rgAuto);
// Regulation: the error points only; PNumPoint keeps the test's value.
TestTableFill FillRegulationTable(TDM &dm);

// The dialog's grid over ADOTestBuf: its columns and titles, "LC" as "*", "L", "C".
class TestBufGridModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit TestBufGridModel(RecordTable *buffer, QObject *parent = nullptr);

    static QString fieldOf(int column);
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    QPointer<RecordTable> m_buffer;
};

}  // namespace kvintor
