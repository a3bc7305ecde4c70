#include "database/attach_export.h"

#include "database/connection.h"
#include "database/database_check.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

namespace kv {

namespace {

const QString kAlias = QStringLiteral("kv_export_target");

QString quotedName(const QString &name)
{
    QString n = name;
    n.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + n + QLatin1Char('"');
}

// A private connection to another file, closed and removed when done.
class FileConnection : public ScopedConnection
{
public:
    FileConnection(const QString &path, bool readOnly)
        : ScopedConnection(QStringLiteral("kv_file_%1").arg(QUuid::createUuid().toString(QUuid::Id128)))
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name());
        db.setDatabaseName(path);
        if (readOnly)
            db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (!db.open())
            setError(db.lastError().text());
    }
};

QStringList tablesOf(QSqlDatabase db, const QString &schema, QString *error)
{
    QSqlQuery q(db);
    const QString sql = QStringLiteral("SELECT name FROM %1sqlite_master WHERE type IN ('table', 'view') "
                                       "AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' ORDER BY name")
                            .arg(schema.isEmpty() ? QString() : schema + QLatin1Char('.'));
    QStringList names;
    if (!q.exec(sql)) {
        *error = q.lastError().text();
        return {};
    }
    while (q.next())
        names << q.value(0).toString();
    return names;
}

}  // namespace

QString createEmptyDatabaseFile(const QString &path)
{
    if (QFileInfo::exists(path))
        return QStringLiteral("Файл %1 уже существует.").arg(QDir::toNativeSeparators(path));
    QString error;
    {
        FileConnection c(path, false);
        error = c.error();
        if (error.isEmpty()) {
            // The engine writes nothing to a new file until something is
            // stored; a table made and dropped leaves a whole, empty database.
            QSqlQuery q(c.db());
            if (!q.exec(QStringLiteral("CREATE TABLE kv_empty (x)")) || !q.exec(QStringLiteral("DROP TABLE kv_empty")))
                error = q.lastError().text();
        }
    }
    if (!error.isEmpty()) {
        QFile::remove(path);
        return QStringLiteral("Не удается создать базу данных %1: %2").arg(QDir::toNativeSeparators(path), error);
    }
    return {};
}

QStringList databaseFileTables(const QString &path, QString *error)
{
    error->clear();
    if (!QFileInfo(path).isFile()) {
        *error = QStringLiteral("Файл %1 не найден.").arg(QDir::toNativeSeparators(path));
        return {};
    }
    FileConnection c(path, true);
    if (!c.error().isEmpty()) {
        *error = c.error();
        return {};
    }
    return tablesOf(c.db(), {}, error);
}

QString copySelectIntoFile(QSqlDatabase db, const QString &path, const QString &tableName, const QString &selectSql)
{
    const QString name = tableName.trimmed();
    if (name.isEmpty())
        return QStringLiteral("Не задано имя новой таблицы.");
    if (!QFileInfo(path).isFile())
        return QStringLiteral("Файл %1 не найден.").arg(QDir::toNativeSeparators(path));

    QSqlQuery q(db);
    // An alias left behind by an interrupted export would block the next one.
    q.exec(QStringLiteral("DETACH DATABASE %1").arg(kAlias));
    q.prepare(QStringLiteral("ATTACH DATABASE ? AS %1").arg(kAlias));
    q.addBindValue(path);
    if (!q.exec())
        return q.lastError().text();

    QString error;
    const QStringList existing = tablesOf(db, kAlias, &error);
    if (error.isEmpty()) {
        for (const QString &t : existing)
            if (t.compare(name, Qt::CaseInsensitive) == 0)
                error = QStringLiteral("Таблица \"%1\" уже существует.").arg(t);
    }
    if (error.isEmpty() &&
        !q.exec(QStringLiteral("CREATE TABLE %1.%2 AS %3").arg(kAlias, quotedName(name), selectSql)))
        error = engineErrorText(q.lastError().text(), q.lastError().nativeErrorCode(), path);
    q.finish();
    QSqlQuery detach(db);
    detach.exec(QStringLiteral("DETACH DATABASE %1").arg(kAlias));
    return error;
}

}  // namespace kv
