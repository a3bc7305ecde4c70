#pragma once
// The tables shared by both programs, described once: the schema is created,
// checked and exported from this description.

#include "database/engine.h"

#include <QString>
#include <QStringList>
#include <vector>

class QSqlDatabase;

namespace kv {

enum class ColumnType { Counter, Long, Short, Byte, Float, Boolean, Text, DateTime };

struct ColumnDef {
    const char *name;
    ColumnType type;
    int textLength = 0;  // Text only: the most characters a value may hold
};

struct TableDef {
    const char *name;
    std::vector<ColumnDef> columns;

    const ColumnDef *column(const QString &columnName) const;  // case-insensitive
    QStringList columnNames() const;
};

// The seven tables in their table order, every column in its table order.
const std::vector<TableDef> &schemaTables();
const TableDef *schemaTable(const QString &tableName);  // case-insensitive, nullptr when unknown

// The engine type a column is stored as ("INTEGER", "REAL", "TEXT").
QString engineTypeName(ColumnType type);

// Creates every table, index and relation in an empty database inside one
// transaction, marked with the schema version. Returns an empty string on success, else the engine's error text.
QString createSchema(QSqlDatabase &db);

// The statements createSchema runs on the engine, in order.
QStringList schemaStatements(Engine engine);

// The statements that mark the database with a version of the tables.
QStringList versionStatements(Engine engine, int version);

// Lists what the database lacks against the schema ("нет таблицы TTip", "нет
// поля TTip.PImax") and columns of a newer version that our saves would break
// on. Empty when the tables are ours and complete. Reads only the catalogue;
// inspectDatabase (database_check.h) adds the engine's check for damage.
QStringList checkSchema(QSqlDatabase &db);

}  // namespace kv
