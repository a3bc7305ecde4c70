#include "core/error_report.h"
#include "core/program_icon.h"
#include "core/ui_log.h"
#include "desktop/desktop_start.h"
#include "desktop/desktop_start_dialog.h"
#include "shell/start_up.h"

#include <QMainWindow>
#include <QTimer>

int main(int argc, char **argv)
{
    // Before the application: the help needs no screen.
    if (kv::printHelpIfAsked(argc, argv, QStringLiteral(
            "Использование: BaseKvintor [--desktop] [--database ПУТЬ]\n"
            "Программа базы данных Kvintor: типы счётчиков, тесты, архив поверок, протоколы.\n\n"
            "  --desktop          работать в папке пользователя (~/Kvintor или папка из настроек);\n"
            "                     без базы данных там предложить создать её или выбрать файл\n"
            "  --database ПУТЬ    файл базы данных вместо KvintorDB.sqlite в текущей папке\n"
            "  --help             эта справка\n")))
        return 0;
    // Errors that no operation catches reach the general error report.
    kv::Application app(argc, argv);
    QApplication::setWindowIcon(kv::programIcon());
    // Unattended runs (tests, benchmarks): boxes logged and answered.
    kv::installUiLogFromEnvironment();
    kv::installShotsFromEnvironment();
    // A menu start's questions come before anything waits for the windows.
    const std::optional<QStringList> arguments = kv::prepareDesktopStart(app.arguments());
    if (!arguments)
        return 1;

    kv::announceReadyFromEnvironment();
    kv::triggerActionsFromEnvironment();
    // The main window is made inside the start; once it is up it gets the
    // working folder's menu item, and a menu start names its folder.
    const bool desktop = kv::isDesktopStart(app.arguments());
    QTimer::singleShot(0, &app, [desktop] {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *main = qobject_cast<QMainWindow *>(w); main && main->isVisible())
                kv::addWorkFolderAction(main, QStringLiteral("Настройки"), desktop);
    });
    return basekvintor::runBaseKvintor(app, *arguments);
}
