#include "database/connection.h"

#include "database/database_check.h"
#include "database/file_locks.h"
#include "database/schema.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>

namespace kv {

namespace {

QString describe(const QString &path)
{
    const QFileInfo info(path);
    return QStringLiteral("«%1» в папке «%2»").arg(info.fileName(), QDir::toNativeSeparators(info.absolutePath()));
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
    return kDatabaseFileName;
}

QString applyConnectionSettings(QSqlDatabase &db)
{
    return execAll(db, {QStringLiteral("PRAGMA busy_timeout = 10000"),
                        QStringLiteral("PRAGMA journal_mode = WAL"),
                        QStringLiteral("PRAGMA foreign_keys = ON")});
}

QString openDatabase(const QString &path, const QString &connectionName)
{
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

Transaction::Transaction(QSqlDatabase db) : m_db(std::move(db)) {}

Transaction::~Transaction()
{
    if (m_active)
        rollback();
}

bool Transaction::begin()
{
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

}  // namespace kv
