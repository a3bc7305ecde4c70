#pragma once
// A table held in memory, independent of where it came from and where it goes:
// what export, save-as and import pass between the database and table files.

#include <QDateTime>
#include <QString>
#include <QVariant>
#include <QVector>

class QSqlQuery;
class QSqlQueryModel;
class QSqlRecord;

namespace kv {

enum class FieldType { Text, Integer, Float, Boolean, DateTime };

struct TableColumn {
    QString name;
    FieldType type = FieldType::Text;
    // Text: the most characters a value may hold (0: not known, the writer
    // measures the values). Integer: bytes of the source column, 2 or 4.
    int width = 0;
    // An integer the source numbers by itself (a counter); kept where the
    // target format has such a type.
    bool autoIncrement = false;
};

using TableRow = QVector<QVariant>;

// Values in rows are QString (Text), qint64 (Integer), double (Float), bool
// (Boolean), QDateTime (DateTime), or a null QVariant for an empty cell.
struct TableData {
    QString name;
    QVector<TableColumn> columns;
    QVector<TableRow> rows;

    int columnIndex(const QString &columnName) const;  // case-insensitive, -1 when missing
};

// The column of a result set: the type and text width of the schema column it
// comes from (by the engine's table name where it gives one, else by a column
// name every schema table that has it agrees on), else guessed from `values`.
TableColumn describeColumn(const QString &columnName, const QString &sourceTable, const QVector<QVariant> &values);

// A value from the engine in the column's type (texts of dates to QDateTime,
// 0/1 to bool, numbers to qint64 or double). Empty stays a null QVariant.
QVariant toColumnValue(const QVariant &value, const TableColumn &column);

// Reads every row of an executed query (from its current position to the end).
TableData tableFromQuery(QSqlQuery &query, const QString &name = {});

// Rows already read, under the fields of `record`, typed as tableFromQuery types them.
TableData tableFromRows(const QSqlRecord &record, const QVector<TableRow> &rows, const QString &name = {});

// Every row of a query model (fetched to the end first).
TableData tableFromModel(QSqlQueryModel &model, const QString &name = {});

// "YYYY-MM-DD HH:MM:SS" (the archive's form; also with "T" or only the date)
// to a date-time; invalid when the text is none of these.
QDateTime dateTimeFromText(const QString &text);

// How a value is shown in a text file: dates as dd.MM.yyyy hh:mm:ss, numbers
// without a thousands separator, booleans as 1/0.
QString cellText(const QVariant &value);

// Names cut to `maxLength` characters and made unique (case-insensitive) by a
// numbered ending, as formats with short field names need: PSensitivityCB and
// PSensitivityT become PSensitivi and PSensitiv1 for a limit of 10.
QStringList uniqueFieldNames(const QStringList &names, int maxLength);

}  // namespace kv
