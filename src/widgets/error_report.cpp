#include "widgets/error_report.h"

#include "widgets/ui.h"

namespace kv {

void reportError(const QString &text)
{
    ui().error(nullptr, QCoreApplication::applicationName(), text);
}

void reportError(const std::exception &error) { reportError(QString::fromUtf8(error.what())); }

Application::Application(int &argc, char **argv) : QApplication(argc, argv) {}

bool Application::notify(QObject *receiver, QEvent *event)
{
    bool handled = false;
    guarded([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}

}  // namespace kv
