// Kvintor, the control program: polls the stands, runs adjustment and
// verification, keeps the archive of what it verified.

#include "control/start_up.h"
#include "core/error_report.h"
#include "core/program_icon.h"
#include "core/ui_log.h"
#include "link/main_window.h"

int main(int argc, char **argv)
{
    // Errors that no operation catches reach the general error report.
    kv::Application app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kvintor"));
    QApplication::setApplicationVersion(QStringLiteral(KVINTOR_VERSION));
    QApplication::setWindowIcon(kv::programIcon());
    kv::installUiLogFromEnvironment();

    kvintor::KvintorProgram program = kvintor::startKvintor(app.arguments());
    if (!program)
        return 1;
    QApplication::setQuitOnLastWindowClosed(false);
    QObject::connect(program.Kvintor.get(), &kvintor::TKvintor::FormClosed, &app, &QApplication::quit);
    program.Kvintor->showMaximized();

    kv::announceReadyFromEnvironment();
    return app.exec();
}
