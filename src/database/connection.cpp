#include "database/connection.h"

#include "database/database_check.h"
#include "database/engine.h"
#include "database/server_connection.h"
#include "database/file_locks.h"
#include "database/schema.h"
#include "core/settings.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>

namespace kv {

namespace {

QString describe(const QString &path) { return describeDatabase(path); }

// Every writer of a lab's server takes this lock for its transaction, so
// writes follow one another as they do on a file: a save that reads before it
// writes sees no other save half-way. Claims of runs use other keys (run_claim.cpp).
constexpr int kWriteLockSpace = 0x4b56;  // "KV"

// The server's side of openDatabase: the same checks, nothing written.
QString openServerDatabase(const QString &location, const QString &connectionName)
{
    if (QString error = openServerConnection(location, connectionName); !error.isEmpty())
        return error;
    QString error;
    {
        QSqlDatabase db = QSqlDatabase::database(connectionName, false);
        error = applyConnectionSettings(db);
        if (!error.isEmpty()) {
            error = QStringLiteral("Не удалось открыть базу данных ") + describe(location) + QStringLiteral(": ") + error;
        } else {
            const DatabaseReport report = inspectDatabase(db, CheckDepth::Catalogue);
            error = refusalText(location, report);
        }
        if (!error.isEmpty())
            db.close();
    }
    if (!error.isEmpty())
        QSqlDatabase::removeDatabase(connectionName);
    else
        setOpenedDatabaseFile(QString());
    return error;
}

// A new database on the server for kvintor-db create: made when the account
// may, else it must be there and hold none of our tables.
QString createServerDatabase(const QString &location)
{
    const QString connection = QStringLiteral("kv-create-server");
    QString error = openServerConnection(location, connection);
    if (!error.isEmpty()) {
        const ServerAddress a = parseServerAddress(location);
        const QString admin = QStringLiteral("kv-create-admin");
        QString made;
        {
            QSqlDatabase db = addServerConnection(a, QStringLiteral("postgres"), admin);
            if (db.open()) {
                QSqlQuery q(db);
                QString quoted = a.database;
                quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
                if (!q.exec(QStringLiteral("CREATE DATABASE \"") + quoted + QStringLiteral("\" ENCODING 'UTF8' TEMPLATE template0")))
                    made = q.lastError().text();
                db.close();
            } else {
                made = db.lastError().text();
            }
        }
        QSqlDatabase::removeDatabase(admin);
        if (!made.isEmpty())
            return error + QLatin1Char('\n') + made;
        error = openServerConnection(location, connection);
        if (!error.isEmpty())
            return error;
    }
    {
        QSqlDatabase db = QSqlDatabase::database(connection, false);
        const DatabaseReport report = inspectDatabase(db, CheckDepth::Catalogue);
        if (!report.foreign)
            error = QStringLiteral("В базе данных ") + describe(location) + QStringLiteral(" уже есть таблицы Kvintor.");
        else
            error = createSchema(db);
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    if (!error.isEmpty() && !error.startsWith(QStringLiteral("В базе данных")))
        error = QStringLiteral("Не удалось создать базу данных ") + describe(location) + QStringLiteral(": ") + error;
    return error;
}

QString execAll(QSqlDatabase &db, const QStringList &statements)
{
    QSqlQuery q(db);
    for (const QString &s : statements)
        if (!q.exec(s))
            return q.lastError().text();
    return {};
}

}  // namespace

QString databasePath(const QStringList &arguments)
{
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &a = arguments.at(i);
        if (a == QLatin1String("--database") && i + 1 < arguments.size())
            return arguments.at(i + 1);
        if (a.startsWith(QLatin1String("--database=")))
            return a.mid(int(qstrlen("--database=")));
    }
    const QString env = qEnvironmentVariable("KVINTOR_DATABASE");
    if (!env.isEmpty())
        return env;
    const QString chosen = settingText(QStringLiteral("DB"), QStringLiteral("Database")).trimmed();
    if (!chosen.isEmpty())
        return chosen;
    return kDatabaseFileName;
}

QString applyConnectionSettings(QSqlDatabase &db)
{
    // A writer waits for another as long as on a file, then is told the database is busy.
    if (engineOf(db) == Engine::PostgreSQL)
        return execAll(db, {QStringLiteral("SET lock_timeout = '10s'"), QStringLiteral("SET client_min_messages = warning")});
    return execAll(db, {QStringLiteral("PRAGMA busy_timeout = 10000"),
                        QStringLiteral("PRAGMA journal_mode = WAL"),
                        QStringLiteral("PRAGMA foreign_keys = ON")});
}

QString openDatabase(const QString &path, const QString &connectionName)
{
    if (isServerLocation(path))
        return openServerDatabase(path, connectionName);
    const QFileInfo info(path);
    QString error;
    if (!info.exists())
        return QStringLiteral("Не найден файл базы данных %1.").arg(describe(path));
    if (!info.isFile() || !info.isReadable())
        return QStringLiteral("Файл базы данных %1 недоступен для чтения.").arg(describe(path));
    if (!info.isWritable())
        return QStringLiteral("Файл базы данных %1 доступен только для чтения.").arg(describe(path));
    // The engine would take an empty file for an empty database and write to
    // it; an empty file is nobody's database, and it stays as it is.
    if (info.size() == 0)
        return QStringLiteral("Файл базы данных %1 пуст: в нём нет таблиц Kvintor. "
                              "Укажите файл базы данных Kvintor или создайте новый командой «kvintor-db create».")
            .arg(describe(path));

    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
        db.setDatabaseName(info.absoluteFilePath());
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
        if (!db.open()) {
            error = QStringLiteral("Не удалось открыть базу данных %1: %2").arg(describe(path), db.lastError().text());
        } else {
            // Everything is read before anything is written: a file that is
            // damaged, someone else's or from a newer version stays untouched.
            const bool deferred = info.size() > kCheckedAtOpenBytes;
            DatabaseReport report = inspectDatabase(db, deferred ? CheckDepth::Catalogue : CheckDepth::Quick);
            error = refusalText(path, report);
            if (error.isEmpty() && report.effectiveVersion() < kSchemaVersion) {
                const QString reason = upgradeDatabase(db, path, report.effectiveVersion(), schemaUpgrades());
                if (!reason.isEmpty())
                    error = QStringLiteral("Не удалось обновить базу данных %1: %2").arg(describe(path), reason);
            }
            if (error.isEmpty()) {
                const QString reason = applyConnectionSettings(db);
                if (!reason.isEmpty())
                    error = QStringLiteral("Не удалось открыть базу данных %1: %2").arg(describe(path), reason);
            }
        }
        if (!error.isEmpty())
            db.close();
        else if (info.size() > kCheckedAtOpenBytes)
            startDeferredCheck(info.absoluteFilePath());
    }
    if (!error.isEmpty()) {
        QSqlDatabase::removeDatabase(connectionName);
        return error;
    }
    setOpenedDatabaseFile(info.absoluteFilePath());
    return {};
}

QString createDatabaseFile(const QString &path)
{
    if (isServerLocation(path))
        return createServerDatabase(path);
    const QFileInfo info(path);
    if (info.exists())
        return QStringLiteral("Файл %1 уже существует.").arg(describe(path));
    if (!QDir(info.absolutePath()).exists())
        return QStringLiteral("Нет папки для файла %1.").arg(describe(path));

    const QString connection = QStringLiteral("kv-create-%1").arg(quintptr(&info));
    QString error;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(info.absoluteFilePath());
        if (!db.open()) {
            error = db.lastError().text();
        } else {
            error = applyConnectionSettings(db);
            if (error.isEmpty())
                error = createSchema(db);
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(connection);
    if (!error.isEmpty()) {
        QFile::remove(info.absoluteFilePath());
        QFile::remove(info.absoluteFilePath() + QStringLiteral("-wal"));
        QFile::remove(info.absoluteFilePath() + QStringLiteral("-shm"));
        return QStringLiteral("Не удалось создать базу данных %1: %2").arg(describe(path), error);
    }
    return {};
}

QVariant insertedKey(const QSqlQuery &insert, const QSqlDatabase &db)
{
    if (engineOf(db) == Engine::SQLite)
        return insert.lastInsertId();
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT lastval()")) || !q.next())
        return {};
    return q.value(0);
}

Transaction::Transaction(QSqlDatabase db) : m_db(std::move(db)) {}

Transaction::~Transaction()
{
    if (m_active)
        rollback();
}

bool Transaction::begin()
{
    if (engineOf(m_db) == Engine::PostgreSQL) {
        QSqlQuery q(m_db);
        if (!q.exec(QStringLiteral("BEGIN"))) {
            m_error = engineErrorText(q.lastError(), m_db);
            return false;
        }
        m_active = true;
        if (!q.exec(QStringLiteral("SELECT pg_advisory_xact_lock(%1, 0)").arg(kWriteLockSpace))) {
            m_error = engineErrorText(q.lastError(), m_db);
            rollback();
            return false;
        }
        return true;
    }
    // Nothing is written into a damaged archive, even when its check is
    // still running beside the start.
    DatabaseReport checked;
    checked.damage = awaitDeferredCheck(m_db.databaseName());
    if (!checked.damage.isEmpty()) {
        m_error = refusalText(m_db.databaseName(), checked);
        return false;
    }
    QSqlQuery q(m_db);
    if (!q.exec(QStringLiteral("BEGIN IMMEDIATE"))) {
        m_error = engineErrorText(q.lastError(), m_db);
        return false;
    }
    m_active = true;
    return true;
}

bool Transaction::commit()
{
    if (!m_active)
        return false;
    QSqlQuery q(m_db);
    if (!q.exec(QStringLiteral("COMMIT"))) {
        m_error = engineErrorText(q.lastError(), m_db);
        rollback();
        return false;
    }
    m_active = false;
    return true;
}

void Transaction::rollback()
{
    if (!m_active)
        return;
    QSqlQuery q(m_db);
    q.exec(QStringLiteral("ROLLBACK"));
    m_active = false;
}

ScopedConnection::~ScopedConnection()
{
    if (!QSqlDatabase::contains(m_name))
        return;
    QSqlDatabase::database(m_name, false).close();
    QSqlDatabase::removeDatabase(m_name);
}

}  // namespace kv
