#pragma once
// Which engine a database lives on, and where. A bench keeps its archive in a
// SQLite file; a lab whose benches share one archive keeps it on a PostgreSQL
// server, named by a connection "postgresql://user@host:port/dbname". Only
// this folder looks at the difference; the rest of the programs name a
// database by its location and show describeDatabase() to the operator.

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QString>

namespace kv {

enum class Engine { SQLite, PostgreSQL };

Engine engineOf(const QSqlDatabase &db);
Engine engineOf(const QSqlDriver *driver);
bool isServerLocation(const QString &location);  // "postgresql://…" or "postgres://…"

// The parts of a server connection. The password is never part of it: the
// client library takes it from PGPASSWORD or ~/.pgpass, so it is never written
// into the settings or shown.
struct ServerAddress {
    QString host;  // a name, an address or the folder of a Unix socket
    int port = -1;
    QString user;
    QString database;
    QString error;  // why the text is no server connection (Russian)
};
ServerAddress parseServerAddress(const QString &location);

// The location as the operator reads it in a message: «KvintorDB.sqlite» в
// папке «/home/lab» for a file, «kvintor» на сервере «db.lab:5432» for a server.
QString describeDatabase(const QString &location);

// The location behind an open connection (a file's absolute path or the
// server connection without a password).
QString databaseLocation(const QSqlDatabase &db);

// Opens a connection to a server database under `connectionName` without any
// check. Returns "" or the operator's text; on failure no connection is left.
QString openServerConnection(const QString &location, const QString &connectionName);

}  // namespace kv
