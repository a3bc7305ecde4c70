#include "database/schema.h"

#include "database/database_check.h"
#include "database/engine.h"

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

// A name as the engine keeps it: PostgreSQL would fold an unquoted name to
// lower case, so there every name is quoted in its written case.
QString nameSql(Engine engine, const char *name)
{
    return engine == Engine::PostgreSQL ? QLatin1Char('"') + QLatin1String(name) + QLatin1Char('"') : QString::fromLatin1(name);
}

QString columnSql(Engine engine, const TableDef &table, const ColumnDef &c)
{
    const QString name = nameSql(engine, c.name);
    const bool server = engine == Engine::PostgreSQL;
    QString sql = name + QLatin1Char(' ');
    switch (c.type) {
    case T::Counter:
        return sql + (server ? QStringLiteral("INTEGER GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY")
                             : QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT"));
    case T::Boolean:
        sql += QStringLiteral("INTEGER NOT NULL DEFAULT 0 CHECK (%1 IN (0, 1))").arg(name);
        break;
    case T::Text:
        sql += QStringLiteral("TEXT CHECK (length(%1) <= %2)").arg(name, QString::number(c.textLength));
        break;
    case T::Byte:
        sql += QStringLiteral("INTEGER CHECK (%1 BETWEEN 0 AND 255)").arg(name);
        break;
    case T::Float:
        sql += server ? QStringLiteral("DOUBLE PRECISION") : engineTypeName(c.type);
        break;
    default:
        sql += engineTypeName(c.type);
        break;
    }
    if (const Relation *r = relationOf(table.name, c.name))
        sql += QStringLiteral(" REFERENCES ") + nameSql(engine, r->parent) + QLatin1Char('(') + nameSql(engine, "PIndex") +
               QStringLiteral(") ON DELETE ") + QLatin1String(r->onDelete);
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
    // A model on the server names its table quoted (engineTableName).
    const QString name = tableName.size() > 2 && tableName.startsWith(QLatin1Char('"')) && tableName.endsWith(QLatin1Char('"'))
                             ? tableName.mid(1, tableName.size() - 2)
                             : tableName;
    for (const TableDef &t : schemaTables())
        if (name.compare(QLatin1String(t.name), Qt::CaseInsensitive) == 0)
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

QStringList schemaStatements(Engine engine)
{
    QStringList statements;
    for (const TableDef &t : schemaTables()) {
        QStringList cols;
        for (const ColumnDef &c : t.columns)
            cols << columnSql(engine, t, c);
        statements << QStringLiteral("CREATE TABLE ") + nameSql(engine, t.name) + QStringLiteral(" (\n  ") +
                          cols.join(QStringLiteral(",\n  ")) + QStringLiteral("\n)");
    }
    for (const IndexDef &i : kIndexes) {
        const QString index = QStringLiteral("IX_") + QLatin1String(i.table) + QLatin1Char('_') + QLatin1String(i.column);
        statements << QStringLiteral("CREATE INDEX ") + nameSql(engine, index.toLatin1().constData()) + QStringLiteral(" ON ") +
                          nameSql(engine, i.table) + QLatin1Char('(') + nameSql(engine, i.column) +
                          (i.then ? QStringLiteral(", ") + nameSql(engine, i.then) : QString()) + QLatin1Char(')');
    }
    statements << versionStatements(engine, kSchemaVersion);
    return statements;
}

QString createSchema(QSqlDatabase &db)
{
    const QStringList statements = schemaStatements(engineOf(db));
    if (!db.transaction())
        return db.lastError().text();
    QSqlQuery q(db);
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

QStringList versionStatements(Engine engine, int version)
{
    if (engine == Engine::SQLite)
        return {QStringLiteral("PRAGMA user_version = %1").arg(version)};
    // The server has no version mark of a database; a one-row table holds it.
    return {QStringLiteral("CREATE TABLE IF NOT EXISTS kv_schema_version (version INTEGER NOT NULL)"),
            QStringLiteral("DELETE FROM kv_schema_version"),
            QStringLiteral("INSERT INTO kv_schema_version (version) VALUES (%1)").arg(version)};
}

}  // namespace kv
