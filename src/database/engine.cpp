#include "database/engine.h"
#include "database/server_connection.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QUrl>
#include <QUrlQuery>

namespace kv {

Engine engineOf(const QSqlDatabase &db)
{
    return db.driverName() == QLatin1String("QPSQL") ? Engine::PostgreSQL : Engine::SQLite;
}

Engine engineOf(const QSqlDriver *driver)
{
    return driver && driver->dbmsType() == QSqlDriver::PostgreSQL ? Engine::PostgreSQL : Engine::SQLite;
}

bool isServerLocation(const QString &location)
{
    return location.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive) ||
           location.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive);
}

ServerAddress parseServerAddress(const QString &location)
{
    ServerAddress a;
    const QUrl url(location, QUrl::StrictMode);
    if (!isServerLocation(location) || !url.isValid()) {
        a.error = QStringLiteral("Строка подключения к серверу должна иметь вид postgresql://пользователь@сервер:порт/база");
        return a;
    }
    if (!url.password().isEmpty()) {
        a.error = QStringLiteral("Пароль не пишется в строке подключения: укажите его в файле ~/.pgpass или в переменной PGPASSWORD");
        return a;
    }
    a.user = url.userName();
    a.host = url.host();
    a.port = url.port(-1);
    a.database = url.path().mid(1);
    // A socket folder cannot be a host name; it comes as "?host=/folder".
    const QUrlQuery query(url);
    if (query.hasQueryItem(QStringLiteral("host")))
        a.host = query.queryItemValue(QStringLiteral("host"), QUrl::FullyDecoded);
    if (query.hasQueryItem(QStringLiteral("port")))
        a.port = query.queryItemValue(QStringLiteral("port")).toInt();
    if (a.database.isEmpty() || a.database.contains(QLatin1Char('/')))
        a.error = QStringLiteral("В строке подключения к серверу не указана база данных: postgresql://пользователь@сервер:порт/база");
    return a;
}

QString describeDatabase(const QString &location)
{
    if (isServerLocation(location)) {
        const ServerAddress a = parseServerAddress(location);
        QString server = a.host.isEmpty() ? QStringLiteral("localhost") : a.host;
        if (a.port > 0)
            server += QLatin1Char(':') + QString::number(a.port);
        return QStringLiteral("«") + a.database + QStringLiteral("» на сервере «") + server + QStringLiteral("»");
    }
    const QFileInfo info(location);
    return QStringLiteral("«") + info.fileName() + QStringLiteral("» в папке «") +
           QDir::toNativeSeparators(info.absolutePath()) + QStringLiteral("»");
}

QString databaseLocation(const QSqlDatabase &db)
{
    if (engineOf(db) == Engine::SQLite)
        return db.databaseName();
    QUrl url;
    url.setScheme(QStringLiteral("postgresql"));
    url.setUserName(db.userName());
    url.setPath(QLatin1Char('/') + db.databaseName());
    if (db.hostName().startsWith(QLatin1Char('/'))) {
        url.setHost(QString());
        QUrlQuery query;
        query.addQueryItem(QStringLiteral("host"), db.hostName());
        url.setQuery(query);
    } else {
        url.setHost(db.hostName());
    }
    if (db.port() > 0)
        url.setPort(db.port());
    return url.toString();
}

QSqlDatabase addServerConnection(const ServerAddress &a, const QString &database, const QString &connectionName)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connectionName);
    db.setHostName(a.host);
    if (a.port > 0)
        db.setPort(a.port);
    db.setUserName(a.user);
    db.setDatabaseName(database);
    db.setConnectOptions(QStringLiteral("connect_timeout=10;application_name=Kvintor"));
    return db;
}

QString openServerConnection(const QString &location, const QString &connectionName)
{
    const ServerAddress a = parseServerAddress(location);
    if (!a.error.isEmpty())
        return a.error + QLatin1Char('.');
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")))
        return QStringLiteral("Не установлен драйвер PostgreSQL для Qt (пакет libqt6sql6-psql): база данных ") +
               describeDatabase(location) + QStringLiteral(" недоступна.");
    QString error;
    {
        QSqlDatabase db = addServerConnection(a, a.database, connectionName);
        if (!db.open())
            error = QStringLiteral("Не удалось подключиться к базе данных ") + describeDatabase(location) +
                    QStringLiteral(". Проверьте, что сервер работает и доступен, а пароль указан в ~/.pgpass или PGPASSWORD.\n") +
                    db.lastError().text();
    }
    if (!error.isEmpty())
        QSqlDatabase::removeDatabase(connectionName);
    return error;
}

}  // namespace kv
