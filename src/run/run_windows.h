#pragma once
// The run's windows as the control program creates them at start-up: the run
// logic and its window TRegul, the point parameters, register readings and
// meter numbers dialogs. The main window hands every run over through
// RunReady (or Attach to its RunLauncher).

#include "run/current_window.h"
#include "run/run_control.h"
#include "run/run_readings.h"
#include "run/run_window.h"
#include "setup/meter_numbers_window.h"
#include "setup/point_parameters_window.h"
#include "setup/register_readings_window.h"
#include "setup/run_curves.h"

#include <functional>

namespace kvintor {

class RunLauncher;
class TRegTable;
struct RunStart;

class RunWindows
{
public:
    // `transformerTr1`: the main window's "И561" is checked (else "671111.104").
    RunWindows(StandLink &link, TDM &dm, TRegTable *regTable, std::function<bool()> transformerTr1);
    ~RunWindows();

    RunControl Control;
    TRegul Regul;
    TParam_p Param_p;
    TfPokas fPokas;
    TFNumber FNumber;
    TFCurrent FCurrent;
    RunReadings Readings;
    // "Кривые погрешности" of the run window, following the run.
    RunCurves Curves;

    // Sets the run window up for the run, shows it without blocking and starts.
    void RunReady(const RunStart &run);
    // Makes the launcher hand its runs here.
    void Attach(RunLauncher &launcher);

private:
    StandLink &m_link;
};

}  // namespace kvintor
