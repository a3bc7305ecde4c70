#pragma once
// A connection to a PostgreSQL server as every part of Kvintor makes it: the
// same host, port, user, time limit and application name, whichever database
// of the server it names.

#include "database/engine.h"

namespace kv {

// Adds a (closed) connection named `connectionName` to `database` on the
// server of `a`: the programs' database, or the server's own "postgres" to
// make one.
QSqlDatabase addServerConnection(const ServerAddress &a, const QString &database, const QString &connectionName);

}  // namespace kv
