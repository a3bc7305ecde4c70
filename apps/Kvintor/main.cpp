// Kvintor, the control program: polls the stands, runs adjustment and
// verification, keeps the archive of what it verified.

#include "control/start_up.h"
#include "core/error_report.h"
#include "core/program_icon.h"
#include "core/ui_log.h"
#include "desktop/desktop_start_dialog.h"
#include "link/main_window.h"

int main(int argc, char **argv)
{
    // Before the application: the help needs no screen.
    if (kv::printHelpIfAsked(argc, argv, QStringLiteral(
            "Использование: Kvintor [--desktop] [--database ПУТЬ] [--port УСТРОЙСТВО]\n"
            "Программа управления установкой для регулировки и поверки счётчиков.\n\n"
            "  --desktop             работать в папке пользователя (~/Kvintor или папка из настроек);\n"
            "                        без базы данных там предложить создать её или выбрать файл\n"
            "  --database ПУТЬ       файл базы данных вместо KvintorDB.sqlite в текущей папке\n"
            "  --port УСТРОЙСТВО     это устройство для порта, отмеченного в меню, на один запуск\n"
            "  --help                эта справка\n")))
        return 0;
    // Errors that no operation catches reach the general error report.
    kv::Application app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kvintor"));
    QApplication::setApplicationVersion(QStringLiteral(KVINTOR_VERSION));
    QApplication::setWindowIcon(kv::programIcon());
    kv::installUiLogFromEnvironment();
    kv::installShotsFromEnvironment();

    const std::optional<QStringList> arguments = kv::prepareDesktopStart(app.arguments());
    if (!arguments)
        return 1;
    kvintor::KvintorProgram program = kvintor::startKvintor(*arguments);
    if (!program)
        return 1;
    kv::addWorkFolderAction(program.Kvintor.get(), QStringLiteral("&Сервис"), false);
    QApplication::setQuitOnLastWindowClosed(false);
    QObject::connect(program.Kvintor.get(), &kvintor::TKvintor::FormClosed, &app, &QApplication::quit);
    program.Kvintor->showMaximized();

    kv::announceReadyFromEnvironment();
    return app.exec();
}
