#pragma once
// The database-file target of "Экспорт": what the window needs before it shows
// the table choice panel, and the copy after it.

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

namespace kv {

struct SqliteTarget {
    QString path;        // the chosen name, with ".sqlite" when it had no extension
    bool created = false;  // the file did not exist and was made empty
    QStringList tables;  // tables and views already in the file
    QString error;       // empty on success
};

// Appends ".sqlite" to a name without an extension, creates an empty database
// when the file is missing and lists its tables. A file created here stays
// even when the export is then cancelled or fails.
SqliteTarget prepareSqliteTarget(const QString &chosenPath);

// Copies the rows of `selectSql` (engine SQL) into the new table `tableName`
// of the target. Returns "" on success, else the text to report.
QString exportToSqlite(QSqlDatabase db, const SqliteTarget &target, const QString &tableName, const QString &selectSql);

}  // namespace kv
