#include "support/test_env.h"

#include "core/settings.h"
#include "database/connection.h"
#include "database/engine_sql.h"
#include "database/server_connection.h"
#include "demo_data.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QSettings>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>
#include <QTimer>
#include <QUrl>

namespace kvtest {

TempSettings::TempSettings() : m_previous(qgetenv("XDG_CONFIG_HOME"))
{
    qputenv("XDG_CONFIG_HOME", m_dir.path().toUtf8());
    // Qt reads the user folder of INI settings once per process; a second
    // TempSettings in the same test would otherwise see the first one's file.
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.path());
    kv::resetSettings();
}

TempSettings::~TempSettings()
{
    kv::resetSettings();
    if (m_previous.isEmpty())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", m_previous);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                       m_previous.isEmpty() ? QDir::homePath() + QStringLiteral("/.config") : QString::fromLocal8Bit(m_previous));
}

void TempSettings::restart()
{
    kv::settings().sync();
    kv::resetSettings();
}

QString testServer() { return qEnvironmentVariable("KVINTOR_TEST_PG"); }

namespace {

QString serverDatabase(const QString &server, const QString &name)
{
    QUrl url(server);
    url.setPath(QLatin1Char('/') + name);
    return url.toString();
}

// Runs a statement on the server's maintenance database.
void adminExec(const QString &server, const QString &sql)
{
    const QString admin = QStringLiteral("kvtest-admin");
    {
        QSqlDatabase db = kv::addServerConnection(kv::parseServerAddress(server), QStringLiteral("postgres"), admin);
        QSqlQuery q(db);
        if (!db.open() || !q.exec(sql))
            qWarning("%s -> %s", qPrintable(sql), qPrintable(db.isOpen() ? q.lastError().text() : db.lastError().text()));
        q.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(admin);
}

}  // namespace

QString serverDatabase(const QString &name) { return serverDatabase(testServer(), name); }

void dropServerDatabase(const QString &location)
{
    adminExec(testServer(), QStringLiteral("DROP DATABASE IF EXISTS ") + kv::parseServerAddress(location).database +
                                QStringLiteral(" WITH (FORCE)"));
}

TempDatabase::TempDatabase(const QString &connection, bool demoData) : m_connection(connection), m_server(testServer())
{
    static int serial = 0;
    m_path = m_server.isEmpty() ? m_dir.filePath(kv::kDatabaseFileName)
                                : serverDatabase(m_server, QStringLiteral("kvt_%1_%2").arg(QCoreApplication::applicationPid()).arg(++serial));
    QString error = kv::createDatabaseFile(m_path);
    if (error.isEmpty())
        error = kv::openDatabase(m_path, m_connection);
    if (error.isEmpty() && demoData) {
        QSqlDatabase d = db();
        error = kv::demo::addReferenceData(d);
    }
    if (!error.isEmpty())
        qFatal("test database: %s", qPrintable(error));
}

TempDatabase::~TempDatabase()
{
    close();
    if (!m_server.isEmpty())
        dropServerDatabase(m_path);
}

void TempDatabase::close()
{
    if (!QSqlDatabase::contains(m_connection))
        return;
    QSqlDatabase::database(m_connection, false).close();
    QSqlDatabase::removeDatabase(m_connection);
}

void execOrFail(QSqlDatabase db, const QString &sql)
{
    QSqlQuery q(db);
    if (!q.exec(kv::engineSql(db, sql)))
        QFAIL(qPrintable(QStringLiteral("%1\n  -> %2").arg(sql, q.lastError().text())));
}

QVariant scalar(QSqlDatabase db, const QString &sql)
{
    QSqlQuery q(db);
    if (!q.exec(kv::engineSql(db, sql))) {
        qWarning("%s -> %s", qPrintable(sql), qPrintable(q.lastError().text()));
        return {};
    }
    return q.next() ? q.value(0) : QVariant();
}

bool spinUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    // Wakes the loop now and then, so a condition that no event announces is
    // still seen.
    QTimer heartbeat;
    heartbeat.start(20);
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

}  // namespace kvtest
