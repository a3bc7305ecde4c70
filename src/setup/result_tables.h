#pragma once
// What the results viewer and the control program's group protocol see of a
// finished run: the stand rows and result rows of the data module's in-memory
// tables, built from the running test and the run's results; which cells show
// a failure; and the group protocol, one workbook per stand row.

#include "files/report.h"
#include "protocols/protocol_data.h"
#include "files/workbook_pictures.h"

#include <QColor>
#include <QSortFilterProxyModel>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace kvintor {

class RecordTable;
class RunState;
class TDM;

// Background of a failing cell; its text stays black.
inline QColor FailureColor() { return QColor(255, 215, 215); }

// Empties RMStend and RMResult and fills them for every stand in use: one
// stand row, then one result row per error or special row of the running
// test. The running test's current row is kept; RMResult ends up showing the
// rows of the current (last) stand.
void BuildResultTables(TDM &dm, const RunState &run);

// A result cell shows a failure: an error at or beyond its limit (the viewer
// is stricter than the archive, which fails only beyond it), "Нет" of a
// sensitivity or register test, "Есть" of a creep test.
bool ResultCellFails(const QString &mode, const QString &text, const QVariant &limit);

// The viewer's grids over RMStend and RMResult: only the columns shown, with
// their titles, failing cells on the failure colour and centred.
class ViewerGridModel : public QSortFilterProxyModel
{
    Q_OBJECT
public:
    enum class Grid { Stands, Results };
    ViewerGridModel(RecordTable *table, Grid grid, QObject *parent = nullptr);

    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    // The shown cell fails (stand grid: the stand has a failing result).
    bool cellFails(const QModelIndex &index) const;
    QString fieldOf(int column) const;
    // "Годен" / "Не годен" of the meter at `position` over the rows shown (a
    // failing cell fails it), empty when it has no result there.
    QString meterVerdict(int position) const;

protected:
    bool filterAcceptsColumn(int sourceColumn, const QModelIndex &sourceParent) const override;

private:
    RecordTable *m_table;
    Grid m_grid;
    QStringList m_fields;
    QStringList m_titles;
};

// The control program's group protocol over RMStend / RMResult, with the
// header texts read when the engine asks for them.
class StandProtocols
{
public:
    struct Context {
        // The protocol data dialog's texts as they stand.
        std::function<kv::ProtocolData()> data;
        // The meter numbers window's text for (stand, position).
        std::function<QString(int stand, int position)> meterNumber;
        // After each protocol (auto-increment of the protocol number).
        std::function<void()> advance;
        // The curves of each meter of a stand, for a template that has their place.
        std::function<QList<kv::WorkbookPicture>(int stand)> curvePictures;
    };

    StandProtocols(TDM &dm, Context context);

    // xlReport: "TNumber", "ADOTip", "RxMD" over "RangeTable", template GReport.xlsx.
    kv::Report &report() { return m_report; }

    // One protocol per RMStend row in its order; returns the files written
    // (a protocol the engine could not make has been reported by it and
    // still advances the number). The operator's stand row stays current.
    QStringList BuildStandProtocols();

private:
    TDM &m_dm;
    Context m_context;
    kv::Report m_report;
    std::shared_ptr<kv::ModelSource> m_tip;
};

}  // namespace kvintor
