#pragma once
// The programs compose their statements as Jet text (string literals in double
// quotes, DateValue("…"), "Delete * from", [bracketed] names, append queries
// without a column list). toEngineSql turns such a text into the engine's SQL.

#include "database/engine.h"

#include <QString>

namespace kv {

// Double-quoted literals become single-quoted with quotes doubled, so a value
// can never be read as a column name or end the literal early.
// DateValue("date") becomes the text literal of that day's midnight in the
// archive's "YYYY-MM-DD HH:MM:SS" form; a date that cannot be read is left as a
// call the engine rejects, so the caller reports a failed statement.
QString toEngineSql(const QString &jetText);
// The same for the engine of `db` (or the one named). On PostgreSQL the names
// of our tables and columns are quoted in their written case, aliases keep
// theirs, LIKE ignores case as in Jet and the temporary schema is pg_temp.
QString toEngineSql(const QString &jetText, Engine engine);
QString toEngineSql(const QString &jetText, const QSqlDatabase &db);
QString toEngineSql(const QString &jetText, const QSqlDriver *driver);

// A statement written in the SQL both engines share (single-quoted texts,
// double-quoted names, "?" for values) in the form the engine of `db` needs:
// unchanged on SQLite, with the names of our tables and columns quoted on
// PostgreSQL. Every statement the programs run outside toEngineSql goes through it.
QString engineSql(const QSqlDatabase &db, const QString &sql);
QString engineSql(const QSqlDriver *driver, const QString &sql);  // a query's: QSqlQuery::driver()

// A table of ours as Qt's catalogue calls (QSqlDatabase::record,
// QSqlTableModel::setTable) must name it on the engine of `db`.
QString engineTableName(const QSqlDatabase &db, const QString &table);

// A temporary copy of what `select` (engine SQL) reads, its rows numbered
// 1, 2, 3… in the statement's order in a column "rowid" (SQLite's own row
// number; on the server an added last column), so a list pages through it
// by that number.
QString storedListStatement(const QSqlDatabase &db, const QString &table, const QString &select);
// An empty temporary table of these column definitions, numbered the same way
// as rows are inserted (insert the values of the definitions only).
QString storedRowsStatement(const QSqlDatabase &db, const QString &table, const QStringList &definitions);

// A text as a Jet double-quoted literal (embedded quotes doubled).
QString jetQuoted(const QString &value);

}  // namespace kv
