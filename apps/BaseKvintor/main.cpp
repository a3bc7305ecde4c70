#include "core/error_report.h"
#include "core/program_icon.h"
#include "core/ui_log.h"
#include "shell/start_up.h"


int main(int argc, char **argv)
{
    // Errors that no operation catches reach the general error report.
    kv::Application app(argc, argv);
    QApplication::setWindowIcon(kv::programIcon());
    // Unattended runs (tests, benchmarks): boxes logged and answered.
    kv::installUiLogFromEnvironment();

    kv::announceReadyFromEnvironment();
    kv::triggerActionsFromEnvironment();
    return basekvintor::runBaseKvintor(app);
}
