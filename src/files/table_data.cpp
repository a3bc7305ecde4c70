#include "files/table_data.h"

#include "database/schema.h"
#include "database/text_length.h"

#include <QDateTime>
#include <QMetaType>
#include <QSet>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlQueryModel>
#include <QSqlRecord>

#include <algorithm>
#include <cmath>

namespace kv {

namespace {

TableColumn fromSchema(const QString &name, const ColumnDef &c)
{
    TableColumn column;
    column.name = name;
    switch (c.type) {
    case ColumnType::Counter:
        column.type = FieldType::Integer;
        column.width = 4;
        break;
    case ColumnType::Long:
        column.type = FieldType::Integer;
        column.width = 4;
        break;
    case ColumnType::Short:
    case ColumnType::Byte:
        column.type = FieldType::Integer;
        column.width = 2;
        break;
    case ColumnType::Float:
        column.type = FieldType::Float;
        break;
    case ColumnType::Boolean:
        column.type = FieldType::Boolean;
        break;
    case ColumnType::Text:
        column.type = FieldType::Text;
        column.width = c.textLength;
        break;
    case ColumnType::DateTime:
        column.type = FieldType::DateTime;
        break;
    }
    return column;
}

bool sameKind(const ColumnDef &a, const ColumnDef &b)
{
    const auto kind = [](ColumnType t) {
        switch (t) {
        case ColumnType::Counter:
        case ColumnType::Long:
            return 0;
        case ColumnType::Short:
        case ColumnType::Byte:
            return 1;
        default:
            return int(t) + 10;
        }
    };
    return kind(a.type) == kind(b.type);
}

int digits(const QString &text, int from, int count)
{
    int value = 0;
    for (int i = from; i < from + count; ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

}  // namespace

QDateTime dateTimeFromText(const QString &text)
{
    // The archive's own form, read by hand: QDateTime::fromString costs more
    // than the rest of a large export.
    if (text.size() == 19 && text.at(4) == QLatin1Char('-') && text.at(7) == QLatin1Char('-') &&
        text.at(13) == QLatin1Char(':') && text.at(16) == QLatin1Char(':')) {
        const QDate date(digits(text, 0, 4), digits(text, 5, 2), digits(text, 8, 2));
        const QTime time(digits(text, 11, 2), digits(text, 14, 2), digits(text, 17, 2));
        if (date.isValid() && time.isValid())
            return QDateTime(date, time);
    }
    for (const char *f : {"yyyy-MM-dd HH:mm:ss", "yyyy-MM-ddTHH:mm:ss", "yyyy-MM-dd HH:mm:ss.zzz", "yyyy-MM-dd"}) {
        const QDateTime d = QDateTime::fromString(text, QLatin1String(f));
        if (d.isValid())
            return d;
    }
    return {};
}

int TableData::columnIndex(const QString &columnName) const
{
    for (int i = 0; i < columns.size(); ++i)
        if (columns.at(i).name.compare(columnName, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

TableColumn describeColumn(const QString &columnName, const QString &sourceTable, const QVector<QVariant> &values)
{
    if (const TableDef *t = schemaTable(sourceTable))
        if (const ColumnDef *c = t->column(columnName))
            return fromSchema(columnName, *c);

    // "TTip.PTip" as the engine may name a joined column.
    const QString bare = columnName.section(QLatin1Char('.'), -1);
    const ColumnDef *found = nullptr;
    int textWidth = 0;
    bool agree = true;
    for (const TableDef &t : schemaTables()) {
        const ColumnDef *c = t.column(bare);
        if (!c)
            continue;
        if (found && !sameKind(*found, *c))
            agree = false;
        if (!found || c->type == ColumnType::Counter)
            found = c;  // a key named PIndex everywhere: any of them says "integer"
        textWidth = std::max(textWidth, c->textLength);
    }
    if (found && agree) {
        TableColumn column = fromSchema(columnName, *found);
        if (column.type == FieldType::Text)
            column.width = textWidth;
        return column;
    }

    // A computed column: the narrowest type that holds every value.
    TableColumn column;
    column.name = columnName;
    bool allInt = true, allNumber = true, any = false;
    int longest = 0;
    for (const QVariant &v : values) {
        if (v.isNull())
            continue;
        any = true;
        const int id = v.metaType().id();
        const bool isInt = id == QMetaType::Int || id == QMetaType::LongLong || id == QMetaType::UInt ||
                           id == QMetaType::ULongLong || id == QMetaType::Bool;
        const bool isNumber = isInt || id == QMetaType::Double || id == QMetaType::Float;
        allInt = allInt && isInt;
        allNumber = allNumber && isNumber;
        longest = std::max<int>(longest, int(cellText(v).size()));
    }
    if (any && allInt) {
        column.type = FieldType::Integer;
        column.width = 4;
    } else if (any && allNumber) {
        column.type = FieldType::Float;
    } else {
        column.type = FieldType::Text;
        column.width = std::max(1, longest);
    }
    return column;
}

QVariant toColumnValue(const QVariant &value, const TableColumn &column)
{
    if (value.isNull() || !value.isValid())
        return {};
    switch (column.type) {
    case FieldType::Text:
        return value.toString();
    case FieldType::Integer: {
        bool ok = false;
        const qint64 n = value.toLongLong(&ok);
        if (ok)
            return n;
        const double d = value.toDouble(&ok);
        return ok ? QVariant(qint64(std::llround(d))) : QVariant();
    }
    case FieldType::Float: {
        bool ok = false;
        const double d = value.toDouble(&ok);
        return ok ? QVariant(d) : QVariant();
    }
    case FieldType::Boolean:
        if (value.metaType().id() == QMetaType::QString) {
            const QString t = value.toString().trimmed().toLower();
            return !(t.isEmpty() || t == QLatin1String("0") || t == QLatin1String("false"));
        }
        return value.toLongLong() != 0;
    case FieldType::DateTime: {
        if (value.metaType().id() == QMetaType::QDateTime)
            return value;
        if (value.metaType().id() == QMetaType::QDate)
            return value.toDate().startOfDay();
        const QDateTime d = dateTimeFromText(value.toString());
        return d.isValid() ? QVariant(d) : QVariant();
    }
    }
    return value;
}

namespace {

TableData build(const QSqlRecord &record, const QVector<TableRow> &raw, const QString &name)
{
    TableData table;
    table.name = name;
    const int n = record.count();
    for (int c = 0; c < n; ++c) {
        QVector<QVariant> values;
        values.reserve(raw.size());
        for (const TableRow &r : raw)
            values << r.at(c);
        table.columns << describeColumn(record.fieldName(c), record.field(c).tableName(), values);
    }
    table.rows.reserve(raw.size());
    for (const TableRow &r : raw) {
        TableRow row(n);
        for (int c = 0; c < n; ++c)
            row[c] = toColumnValue(r.at(c), table.columns.at(c));
        table.rows << row;
    }
    return table;
}

}  // namespace

TableData tableFromQuery(QSqlQuery &query, const QString &name)
{
    const QSqlRecord record = query.record();
    QVector<TableRow> raw;
    while (query.next()) {
        TableRow row(record.count());
        for (int c = 0; c < record.count(); ++c)
            row[c] = query.value(c);
        raw << row;
    }
    return build(record, raw, name);
}

TableData tableFromRows(const QSqlRecord &record, const QVector<TableRow> &rows, const QString &name)
{
    return build(record, rows, name);
}

TableData tableFromModel(QSqlQueryModel &model, const QString &name)
{
    while (model.canFetchMore())
        model.fetchMore();
    QVector<TableRow> raw;
    raw.reserve(model.rowCount());
    for (int r = 0; r < model.rowCount(); ++r) {
        const QSqlRecord rec = model.record(r);
        TableRow row(rec.count());
        for (int c = 0; c < rec.count(); ++c)
            row[c] = rec.value(c);
        raw << row;
    }
    return build(model.record(), raw, name);
}

QString cellText(const QVariant &value)
{
    if (value.isNull() || !value.isValid())
        return {};
    switch (value.metaType().id()) {
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case QMetaType::Double:
    case QMetaType::Float:
        return QString::number(value.toDouble(), 'g', 15);
    case QMetaType::QDateTime: {
        const QDateTime d = value.toDateTime();
        return d.time() == QTime(0, 0) ? d.toString(QStringLiteral("dd.MM.yyyy"))
                                        : d.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
    }
    case QMetaType::QDate:
        return value.toDate().toString(QStringLiteral("dd.MM.yyyy"));
    default:
        return value.toString();
    }
}

QStringList uniqueFieldNames(const QStringList &names, int maxLength)
{
    QStringList result;
    QSet<QString> taken;
    for (const QString &original : names) {
        QString base = original.trimmed();
        if (base.isEmpty())
            base = QStringLiteral("F");
        QString candidate = kv::leftCharacters(base, maxLength);
        for (int n = 1; taken.contains(candidate.toUpper()); ++n) {
            const QString suffix = QString::number(n);
            candidate = kv::leftCharacters(base, maxLength - int(suffix.size())) + suffix;
        }
        taken.insert(candidate.toUpper());
        result << candidate;
    }
    return result;
}

}  // namespace kv
