#include "setup/run_launch.h"

#include "core/ui.h"
#include "setup/data_module.h"
#include "setup/run_setup.h"
#include "setup/run_setup_window.h"

namespace kvintor {

RunLauncher::RunLauncher(TDM &dm, RunSetup &setup, TProgramm &window, QObject *parent)
    : QObject(parent), m_dm(dm), m_setup(setup), m_window(window)
{
}

bool RunLauncher::start(int runMode, const std::array<bool, 6> &present, bool transformerTr1)
{
    // Reference data edited in the database program meanwhile is read afresh.
    const QString error = m_dm.openConnection();
    if (!error.isEmpty()) {
        kv::ui().error(nullptr, QStringLiteral("Ошибка"), error);
        return false;
    }
    m_setup.RunMode = runMode;
    m_setup.setStandPresent(present);
    if (runMode == ModeRegulation)
        m_setup.PrepareRegulation();
    else if (runMode == ModeVerification)
        m_setup.PrepareVerification();
    else
        m_setup.PrepareManual(transformerTr1);
    m_window.syncFromSetup();
    if (m_window.execModal() != QDialog::Accepted)
        return false;

    RunStart run;
    run.RunMode = runMode;
    run.setup = &m_setup;
    run.dm = &m_dm;
    if (runMode == ModeRegulation || runMode == ModeVerification) {
        run.table = runMode == ModeVerification ? FillVerificationTable(m_dm, m_setup.RGAuto)
                                                : FillRegulationTable(m_dm);
        if (!run.table.ok)
            return false;
        if (run.table.rows == 0) {
            // Nothing to run: a run without rows would end before it began.
            kv::ui().message(nullptr, QStringLiteral("Kvintor"), QStringLiteral("  Тест не содержит ни одной точки !"),
                             kv::Icon::None, QMessageBox::Ok, QMessageBox::Ok);
            return false;
        }
    }
    if (onRunReady)
        onRunReady(run);
    return true;
}

}  // namespace kvintor
