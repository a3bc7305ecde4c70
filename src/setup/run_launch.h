#pragma once
// From the main window's "Ручная", "Регулировка" and "Поверка" to the moment
// the run window takes over: open the database, let the operator set the run
// up, fill the running test, and hand everything to the run.

#include "setup/test_table.h"

#include <QObject>

#include <array>
#include <functional>

namespace kvintor {

class RunSetup;
class TDM;
class TProgramm;

// What the run receives when the operator started it.
struct RunStart {
    int RunMode = 0;
    // Positions, types (current rows of the type datasets), StandInUse,
    // revolutions, RGAuto, the radio choices and the published run values.
    RunSetup *setup = nullptr;
    // ADOTestBuf holds the running test with its first row current
    // (regulation and verification; manual work fills nothing).
    TDM *dm = nullptr;
    TestTableFill table;
};

class RunLauncher : public QObject
{
    Q_OBJECT
public:
    RunLauncher(TDM &dm, RunSetup &setup, TProgramm &window, QObject *parent = nullptr);

    // `present`: [1..5] the stands that answered the last poll;
    // `transformerTr1`: "И561" is checked in the main window (else "671111.104").
    // Returns true when the run was handed over; otherwise the operator
    // cancelled or was told why it cannot start.
    bool start(int runMode, const std::array<bool, 6> &present, bool transformerTr1);

    // The hand-off: called once the setup closed with "Начать" and the running
    // test is filled. The run window sets itself up from it.
    std::function<void(const RunStart &)> onRunReady;

private:
    TDM &m_dm;
    RunSetup &m_setup;
    TProgramm &m_window;
};

}  // namespace kvintor
