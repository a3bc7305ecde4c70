#include "widgets/database_guard.h"

#include "core/ui.h"
#include "database/file_locks.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include <cstdio>

namespace kv {

namespace {
DatabaseGuard *g_guard = nullptr;
}

DatabaseGuard::DatabaseGuard(const QString &databaseFile, std::function<bool()> connected, QObject *parent)
    : QObject(parent), m_file(databaseFile), m_connected(std::move(connected)), m_timer(new QTimer(this))
{
    setObjectName(QStringLiteral("DatabaseGuard"));
    m_timer->setInterval(kCheckMs);
    connect(m_timer, &QTimer::timeout, this, [this] { OnCheckTimer(); });
    m_timer->start();
    g_guard = this;
}

DatabaseGuard::~DatabaseGuard()
{
    if (g_guard == this)
        g_guard = nullptr;
}

QString DatabaseGuard::lostText(const QString &databaseFile)
{
    const QFileInfo info(databaseFile);
    return QStringLiteral("Программа потеряла блокировку файла базы данных «") + info.fileName() +
           QStringLiteral("» в папке «") + QDir::toNativeSeparators(info.absolutePath()) +
           QStringLiteral("». Пока она не восстановлена, записи этой программы может стереть другая программа, "
                          "работающая с тем же файлом. Закончите текущую работу, закройте программу и запустите её "
                          "снова.");
}

bool DatabaseGuard::check()
{
    if ((m_connected && !m_connected()) || databaseLocksOfThisProcess(m_file) != FileLocks::Lost) {
        m_reported = false;
        return true;
    }
    if (!m_reported) {
        m_reported = true;
        std::fprintf(stderr, "%s\n", qPrintable(QStringLiteral("database locks lost: ") + m_file));
        ui().error(nullptr, QCoreApplication::applicationName(), lostText(m_file));
    }
    return false;
}

void checkDatabaseProtection()
{
    if (g_guard)
        g_guard->check();
}

}  // namespace kv
