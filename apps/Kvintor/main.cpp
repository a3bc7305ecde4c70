// Kvintor, the control program: polls the stands, runs adjustment and
// verification, keeps the archive of what it verified.

#include "link/main_window.h"
#include "link/start_up.h"
#include "widgets/error_report.h"
#include "widgets/program_icon.h"
#include "widgets/ui_log.h"

#include <QFile>
#include <QTimer>

int main(int argc, char **argv)
{
    // Errors that no operation catches reach the general error report.
    kv::Application app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kvintor"));
    QApplication::setApplicationVersion(QStringLiteral(KVINTOR_VERSION));
    QApplication::setWindowIcon(kv::programIcon());
    kv::installUiLogFromEnvironment();
    kv::installShotsFromEnvironment();

    kvintor::KvintorProgram program = kvintor::startKvintor(app.arguments());
    if (!program)
        return 1;
    QApplication::setQuitOnLastWindowClosed(false);
    QObject::connect(program.Kvintor.get(), &kvintor::TKvintor::FormClosed, &app, &QApplication::quit);
    program.Kvintor->showMaximized();

    // For unattended measurements: the file appears once the event loop runs
    // with the window shown, that is when the window answers the operator.
    const QString ready = qEnvironmentVariable("KVINTOR_READY_FILE");
    if (!ready.isEmpty())
        QTimer::singleShot(0, &app, [ready] {
            QFile f(ready);
            if (f.open(QIODevice::WriteOnly))
                f.write("ready\n");
        });
    return app.exec();
}
