#pragma once
// Export into another database file of the engine: the target is attached to
// the program's own connection and the rows are copied there by one
// CREATE TABLE ... AS SELECT, so they never pass through the program.

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

namespace kv {

// Creates an empty database file at `path`. Refuses an existing file.
// Returns "" on success, else the reason.
QString createEmptyDatabaseFile(const QString &path);

// The tables and views of the database file at `path` (the engine's own
// tables left out), sorted. On failure returns an empty list and sets *error.
QStringList databaseFileTables(const QString &path, QString *error);

// Copies the result of `selectSql` (engine SQL, run on `db` with its own
// tables in reach) into a new table `tableName` of the database file `path`.
// Returns "" on success, else the text to report: an empty name, a table of
// that name already in the file, or the engine's message.
QString copySelectIntoFile(QSqlDatabase db, const QString &path, const QString &tableName, const QString &selectSql);

}  // namespace kv
