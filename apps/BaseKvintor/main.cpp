#include "database/connection.h"
#include "widgets/error_report.h"
#include "widgets/ui.h"

int main(int argc, char **argv)
{
    kv::Application app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("База данных Kvintor"));
    const QString error = kv::openDatabase(kv::databasePath(app.arguments()), QStringLiteral("basekvintor"));
    if (!error.isEmpty()) {
        kv::ui().error(nullptr, QStringLiteral("База данных Kvintor"), error);
        return 1;
    }
    return 0;
}
