#pragma once
// The error curves of the run in progress: one set per stand in use, from the
// running test's error rows and the run's results, with the reading a meter's
// field shows at the current point (not yet fixed into the results) counted
// too, so the chart grows as the stands report. RunCurves keeps a curves
// window in step with the run while it is shown.

#include "protocols/error_curves.h"
#include "widgets/curves_window.h"
#include "files/workbook_pictures.h"

#include <functional>

#include <QObject>
#include <QPointer>
#include <QTimer>

namespace kvintor {

class RunControl;
class TDM;

// The curve sets of every stand in use, stand 1 first.
QVector<kv::CurveSet> RunCurveSets(const TDM &dm, const RunControl &run);

// One picture per meter of `stand` for its protocol, each meter under the
// number `meterNumber` gives (the meter numbers window's, as the protocol's).
QList<kv::WorkbookPicture> RunCurvePictures(const TDM &dm, const RunControl &run, int stand,
                                            const std::function<QString(int stand, int position)> &meterNumber);

class RunCurves : public QObject
{
    Q_OBJECT
public:
    // Readings arriving within this time redraw the chart once.
    static constexpr int RefreshDelayMs = 250;

    RunCurves(const TDM &dm, const RunControl &run, QWidget *windowParent, QObject *parent = nullptr);
    ~RunCurves() override;

    // Shows the window (made on first use) on the curves of `stand`, meter
    // `position` (stand × 10 + place) highlighted when not 0. Modal when asked
    // (over a modal window, which would otherwise block it).
    void Show(int stand, int position = 0, bool modal = false);
    kv::CurvesWindow *Window() const { return m_window; }

    // The refresh timer's expiry: the window shows the run as it stands.
    void OnRefreshTimer();
    QTimer TRefresh;

private:
    void followRun();

    const TDM &m_dm;
    const RunControl &m_run;
    QPointer<QWidget> m_windowParent;
    QPointer<kv::CurvesWindow> m_window;
};

}  // namespace kvintor
