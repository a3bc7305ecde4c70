#include "database/schema.h"

#include "database/database_check.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

namespace kv {

namespace {

using T = ColumnType;

std::vector<TableDef> makeTables()
{
    return {
        {"TTip",
         {{"PIndex", T::Counter},
          {"PTip", T::Text, 20},
          {"PIdentificator", T::Text, 20},
          {"PMaker", T::Text, 50},
          {"PClassT", T::Float},
          {"PUnom", T::Float},
          {"PInom", T::Float},
          {"PReductRate", T::Float},
          {"PIdentReductRate", T::Byte},
          {"PPhase", T::Byte},
          {"PEnergy", T::Byte},
          {"PCenaDel", T::Float},
          {"PImax", T::Float}}},
        {"TTest",
         {{"PIndex", T::Counter},
          {"PNameTable", T::Text, 20},
          {"PDescription", T::Text, 50},
          {"PSensitivityCB", T::Boolean},
          {"PSensitivityU", T::Short},
          {"PSensitivityI", T::Float},
          {"PSensitivityT", T::Short},
          {"PSensitivityTSec", T::Short},
          {"PSensitivityN", T::Short},
          {"PSamochodCB", T::Boolean},
          {"PSamochodU", T::Short},
          {"PSamochodI", T::Float},
          {"PSamochodT", T::Short},
          {"PSamochodTSec", T::Short},
          {"PSamochodN", T::Short},
          {"PCountDeviceCB", T::Boolean},
          {"PCountDeviceU", T::Short},
          {"PCountDeviceI", T::Float},
          {"PCountDeviceT", T::Short},
          {"PCountDeviceTSec", T::Short},
          {"PCountDeviceN", T::Short}}},
        {"TTestPoint",
         {{"PIndex", T::Counter},
          {"PSecIndex", T::Long},
          {"PNumPoint1", T::Long},
          {"PNumPoint", T::Long},
          {"PPersentU", T::Long},
          {"PPhaseUA", T::Boolean},
          {"PPhaseUB", T::Boolean},
          {"PPhaseUC", T::Boolean},
          {"PPersentI", T::Long},
          {"PPhaseIA", T::Boolean},
          {"PPhaseIB", T::Boolean},
          {"PPhaseIC", T::Boolean},
          {"PKM", T::Float},
          {"PLC", T::Byte},
          {"PCountRotation", T::Long},
          {"PMeasureMax", T::Float}}},
        {"TTestBuf",
         {{"PIndex", T::Counter},
          {"PNumPointBuf", T::Long},
          {"PNumPoint", T::Long},
          {"PNumPoint1", T::Long},
          {"PPersentU", T::Long},
          {"PPhaseUA", T::Boolean},
          {"PPhaseUB", T::Boolean},
          {"PPhaseUC", T::Boolean},
          {"PPersentI", T::Float},
          {"PPhaseIA", T::Boolean},
          {"PPhaseIB", T::Boolean},
          {"PPhaseIC", T::Boolean},
          {"PKM", T::Float},
          {"PLC", T::Byte},
          {"PCountRotation", T::Long},
          {"PMeasureMax", T::Float},
          {"PMode", T::Text, 3},
          {"PPointStend1", T::Long},
          {"PPointStend2", T::Long},
          {"PPointStend3", T::Long},
          {"PPointStend4", T::Long},
          {"PPointStend5", T::Long}}},
        {"TMeasure",
         {{"PIndex", T::Counter},
          {"PDate", T::DateTime},
          {"PPointerTip", T::Long},
          {"PPointerTest", T::Long}}},
        {"TPositionCH",
         {{"PIndex", T::Counter},
          {"PSecIndex", T::Long},
          {"PPosition", T::Long},
          {"PNumber", T::Text, 15},
          {"PSensitivity", T::Byte},
          {"PSamochod", T::Byte},
          {"PCountDevice", T::Byte},
          {"PTotal", T::Byte}}},
        {"TResult",
         {{"PIndex", T::Counter},
          {"PSecIndex", T::Long},
          {"PPointNumber", T::Long},
          {"PMeasure", T::Float},
          {"PMeasureMax", T::Float}}},
    };
}

// Relations kept by the engine: child column -> parent table, and what a
// parent's deletion does to the child.
struct Relation {
    const char *table;
    const char *column;
    const char *parent;
    const char *onDelete;
};

const Relation kRelations[] = {
    {"TTestPoint", "PSecIndex", "TTest", "CASCADE"},
    {"TMeasure", "PPointerTip", "TTip", "RESTRICT"},
    {"TMeasure", "PPointerTest", "TTest", "RESTRICT"},
    {"TPositionCH", "PSecIndex", "TMeasure", "CASCADE"},
    {"TResult", "PSecIndex", "TPositionCH", "CASCADE"},
};

struct IndexDef {
    const char *table;
    const char *column;
    const char *then = nullptr;  // a second column that follows the first in the index
};

const IndexDef kIndexes[] = {
    // The points of a test are read and checked by their point number.
    {"TTestPoint", "PSecIndex", "PNumPoint1"},
    {"TMeasure", "PPointerTip"}, {"TMeasure", "PPointerTest"},
    {"TMeasure", "PDate"},        {"TPositionCH", "PSecIndex"}, {"TPositionCH", "PNumber"},
    {"TResult", "PSecIndex"},     {"TResult", "PPointNumber"},
};

const Relation *relationOf(const char *table, const char *column)
{
    for (const Relation &r : kRelations)
        if (qstrcmp(r.table, table) == 0 && qstrcmp(r.column, column) == 0)
            return &r;
    return nullptr;
}

QString columnSql(const TableDef &table, const ColumnDef &c)
{
    QString sql = QStringLiteral("%1 ").arg(QLatin1String(c.name));
    switch (c.type) {
    case T::Counter:
        return sql + QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT");
    case T::Boolean:
        sql += QStringLiteral("INTEGER NOT NULL DEFAULT 0 CHECK (%1 IN (0, 1))").arg(QLatin1String(c.name));
        break;
    case T::Text:
        sql += QStringLiteral("TEXT CHECK (length(%1) <= %2)").arg(QLatin1String(c.name), QString::number(c.textLength));
        break;
    case T::Byte:
        sql += QStringLiteral("INTEGER CHECK (%1 BETWEEN 0 AND 255)").arg(QLatin1String(c.name));
        break;
    default:
        sql += engineTypeName(c.type);
        break;
    }
    if (const Relation *r = relationOf(table.name, c.name))
        sql += QStringLiteral(" REFERENCES %1(PIndex) ON DELETE %2")
                   .arg(QLatin1String(r->parent), QLatin1String(r->onDelete));
    return sql;
}

}  // namespace

const ColumnDef *TableDef::column(const QString &columnName) const
{
    for (const ColumnDef &c : columns)
        if (columnName.compare(QLatin1String(c.name), Qt::CaseInsensitive) == 0)
            return &c;
    return nullptr;
}

QStringList TableDef::columnNames() const
{
    QStringList names;
    for (const ColumnDef &c : columns)
        names << QLatin1String(c.name);
    return names;
}

const std::vector<TableDef> &schemaTables()
{
    static const std::vector<TableDef> tables = makeTables();
    return tables;
}

const TableDef *schemaTable(const QString &tableName)
{
    for (const TableDef &t : schemaTables())
        if (tableName.compare(QLatin1String(t.name), Qt::CaseInsensitive) == 0)
            return &t;
    return nullptr;
}

QString engineTypeName(ColumnType type)
{
    switch (type) {
    case T::Float:
        return QStringLiteral("REAL");
    case T::Text:
    case T::DateTime:
        return QStringLiteral("TEXT");
    default:
        return QStringLiteral("INTEGER");
    }
}

QString createSchema(QSqlDatabase &db)
{
    QStringList statements;
    for (const TableDef &t : schemaTables()) {
        QStringList cols;
        for (const ColumnDef &c : t.columns)
            cols << columnSql(t, c);
        statements << QStringLiteral("CREATE TABLE %1 (\n  %2\n)").arg(QLatin1String(t.name), cols.join(QStringLiteral(",\n  ")));
    }
    for (const IndexDef &i : kIndexes)
        statements << QStringLiteral("CREATE INDEX IX_%1_%2 ON %1(%2%3)")
                          .arg(QLatin1String(i.table), QLatin1String(i.column),
                               i.then ? QStringLiteral(", ") + QLatin1String(i.then) : QString());

    if (!db.transaction())
        return db.lastError().text();
    QSqlQuery q(db);
    statements << QStringLiteral("PRAGMA user_version = %1").arg(kSchemaVersion);
    for (const QString &s : statements) {
        if (!q.exec(s)) {
            const QString error = q.lastError().text();
            db.rollback();
            return error;
        }
    }
    if (!db.commit())
        return db.lastError().text();
    return {};
}

}  // namespace kv
