#include "files/sqlite_export.h"

#include "database/attach_export.h"

#include <QFileInfo>

namespace kv {

SqliteTarget prepareSqliteTarget(const QString &chosenPath)
{
    SqliteTarget t;
    t.path = chosenPath;
    if (QFileInfo(chosenPath).suffix().isEmpty())
        t.path = chosenPath + QStringLiteral(".sqlite");
    if (!QFileInfo::exists(t.path)) {
        t.error = createEmptyDatabaseFile(t.path);
        if (!t.error.isEmpty())
            return t;
        t.created = true;
    }
    t.tables = databaseFileTables(t.path, &t.error);
    return t;
}

QString exportToSqlite(QSqlDatabase db, const SqliteTarget &target, const QString &tableName, const QString &selectSql)
{
    return copySelectIntoFile(db, target.path, tableName, selectSql);
}

}  // namespace kv
