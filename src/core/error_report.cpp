#include "core/error_report.h"

#include "core/ui.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace kv {

void reportError(const QString &text)
{
    ui().error(nullptr, QCoreApplication::applicationName(), text);
}

void reportError(const std::exception &error) { reportError(QString::fromUtf8(error.what())); }

Application::Application(int &argc, char **argv) : QApplication(argc, argv)
{
    // The toolkit's own texts (the buttons of every message box, the file and
    // print dialogs) in Russian like the rest of the programs, whatever the
    // desktop's language. Without the translation files they stay English.
    auto *toolkit = new QTranslator(this);
    if (toolkit->load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("qtbase"), QStringLiteral("_"),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        installTranslator(toolkit);
}

bool Application::notify(QObject *receiver, QEvent *event)
{
    bool handled = false;
    guarded([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}

}  // namespace kv
