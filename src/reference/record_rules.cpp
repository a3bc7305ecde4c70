#include "reference/record_rules.h"

#include "core/error_report.h"
#include "database/engine_sql.h"
#include "database/schema.h"
#include "database/text_length.h"

#include <QHash>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>

#include <cmath>
#include <limits>

namespace basekvintor {

namespace {

// Runs a Jet text with bound values; a failure of the rule's own query is an
// error for the general report, and the post does not happen.
QSqlQuery run(QSqlDatabase db, const QString &jetText, const QVariantList &values = {})
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.prepare(kv::toEngineSql(jetText, db)))
        throw kv::Error(q.lastError().text());
    for (const QVariant &v : values)
        q.addBindValue(v);
    if (!q.exec())
        throw kv::Error(q.lastError().text());
    return q;
}

bool anyRow(QSqlDatabase db, const QString &jetText, const QVariantList &values)
{
    QSqlQuery q = run(db, jetText, values);
    return q.next();
}

qint64 keyOf(const QSqlRecord &record)
{
    const QVariant v = record.value(QStringLiteral("PIndex"));
    return v.isNull() ? 0 : v.toLongLong();
}

bool flag(const QSqlRecord &record, const char *field) { return record.value(QLatin1String(field)).toInt() != 0; }
int number(const QSqlRecord &record, const char *field) { return record.value(QLatin1String(field)).toInt(); }

struct SpecialTest {
    const char *switchField;
    const char *numberField;
};
// The order in which the point rules compare: sensitivity, register, creep.
const SpecialTest kSpecialTests[] = {
    {"PSensitivityCB", "PSensitivityN"},
    {"PCountDeviceCB", "PCountDeviceN"},
    {"PSamochodCB", "PSamochodN"},
};

}  // namespace

bool isBlank(const QVariant &value) { return value.isNull() || value.toString().isEmpty(); }

bool isZero(const QVariant &value)
{
    if (value.isNull())
        return true;
    bool ok = false;
    const double d = value.toDouble(&ok);
    return !ok || d == 0;
}

RuleVerdict tipFieldsFilled(const QSqlRecord &record)
{
    for (const char *f : {"PTip", "PIdentificator", "PMaker"})
        if (isBlank(record.value(QLatin1String(f))))
            return RuleVerdict::refuse(kFillAllFields, kv::Icon::Information);
    for (const char *f : {"PClassT", "PUnom", "PInom", "PReductRate", "PIdentReductRate", "PPhase", "PEnergy",
                          "PCenaDel", "PImax"})
        if (isZero(record.value(QLatin1String(f))))
            return RuleVerdict::refuse(kFillAllFields, kv::Icon::Information);
    return RuleVerdict::accept();
}

RuleVerdict tipBeforePost(QSqlDatabase db, const QSqlRecord &record)
{
    if (const RuleVerdict filled = tipFieldsFilled(record); !filled.accepted)
        return filled;

    // Letter case must not tell two types apart, and the engine folds case
    // only for Latin letters, so the comparison is made here. Types are few.
    const QString tip = record.value(QStringLiteral("PTip")).toString();
    const QString ident = record.value(QStringLiteral("PIdentificator")).toString();
    QSqlQuery q = run(db, QStringLiteral("Select PIndex, PTip, PIdentificator from TTip"));
    QList<qint64> found;
    while (q.next())
        if (q.value(1).toString().compare(tip, Qt::CaseInsensitive) == 0 &&
            q.value(2).toString().compare(ident, Qt::CaseInsensitive) == 0)
            found << q.value(0).toLongLong();
    if (found.size() >= 2 || (found.size() == 1 && found.first() != keyOf(record)))
        return RuleVerdict::refuse(kDuplicateTip, kv::Icon::Information);
    return RuleVerdict::accept();
}

RuleVerdict testBeforePost(QSqlDatabase db, const QSqlRecord &record)
{
    const bool sens = flag(record, "PSensitivityCB");
    const bool creep = flag(record, "PSamochodCB");
    const bool reg = flag(record, "PCountDeviceCB");
    const int sensN = number(record, "PSensitivityN");
    const int creepN = number(record, "PSamochodN");
    const int regN = number(record, "PCountDeviceN");
    if ((sens && creep && sensN == creepN) || (sens && reg && sensN == regN) || (creep && reg && creepN == regN))
        return RuleVerdict::refuse(kRepeatedPoint);

    const qint64 test = keyOf(record);
    if (test == 0 || !anyRow(db, QStringLiteral("Select PIndex from TTestPoint where (PSecIndex=?)"), {test}))
        return RuleVerdict::accept();
    for (const SpecialTest &s : kSpecialTests) {
        if (!flag(record, s.switchField))
            continue;
        if (anyRow(db,
                   QStringLiteral("Select PIndex from TTestPoint where (PNumPoint1=?)and (PSecIndex=?)"),
                   {number(record, s.numberField), test}))
            return RuleVerdict::refuse(kRepeatedPoint);
    }
    return RuleVerdict::accept();
}

RuleVerdict testPointBeforePost(QSqlDatabase db, QSqlRecord &record)
{
    const QVariant numberValue = record.value(QStringLiteral("PNumPoint1"));
    if (isBlank(numberValue))
        return RuleVerdict::refuse(kEnterPointNumber);
    bool ok = false;
    const qint64 pointNumber = numberValue.toLongLong(&ok);
    if (ok && pointNumber == 0)
        return RuleVerdict::refuse(kZeroPointNumber);
    if (!ok)  // not a whole number: the range check names the field
        return RuleVerdict::accept();

    const QVariant testValue = record.value(QStringLiteral("PSecIndex"));
    if (isZero(testValue))
        return RuleVerdict::refuse(kPointWithoutTest, kv::Icon::Warning);
    const qint64 test = testValue.toLongLong();

    if (anyRow(db,
               QStringLiteral("Select PNumPoint1 from TTestPoint where  (PSecIndex=?) and (PIndex<>?) and (PNumPoint1=?)"),
               {test, keyOf(record), pointNumber}))
        return RuleVerdict::refuse(kRepeatedPoint);

    QSqlQuery t = run(db,
                      QStringLiteral("Select PSensitivityCB, PSensitivityN, PCountDeviceCB, PCountDeviceN, "
                                     "PSamochodCB, PSamochodN from TTest where (PIndex=?)"),
                      {test});
    if (t.next()) {
        for (int i = 0; i < 3; ++i)
            if (t.value(2 * i).toInt() != 0 && t.value(2 * i + 1).toLongLong() == pointNumber)
                return RuleVerdict::refuse(kRepeatedPoint);
    } else {
        return RuleVerdict::refuse(kPointWithoutTest, kv::Icon::Warning);
    }

    auto set = [&record](const QString &field, const QVariant &value) {
        record.setValue(field, value);
        record.setGenerated(field, true);
    };
    const QVariant km = record.value(QStringLiteral("PKM"));
    const int lc = record.value(QStringLiteral("PLC")).toInt();
    if (!km.isNull() && km.toDouble() == 1) {
        if (lc != 0)
            set(QStringLiteral("PLC"), 0);
    } else if (lc == 0) {
        set(QStringLiteral("PLC"), 1);
    }

    if (record.value(QStringLiteral("PNumPoint")).toLongLong() == 0) {
        QSqlQuery m = run(db, QStringLiteral("Select max(PNumPoint) as [1] from TTestPoint"));
        const qint64 max = m.next() ? m.value(0).toLongLong() : 0;
        set(QStringLiteral("PNumPoint"), max + 1);
    }
    return RuleVerdict::accept();
}

void renumberTestPoints(QSqlDatabase db, qint64 testIndex)
{
    QSqlQuery q = run(db, QStringLiteral("Select PIndex from TTestPoint where (PSecIndex=?) order by PNumPoint1, PIndex"),
                      {testIndex});
    QList<qint64> points;
    while (q.next())
        points << q.value(0).toLongLong();
    QSqlQuery update(db);
    if (!update.prepare(kv::toEngineSql(QStringLiteral("Update TTestPoint set PNumPoint=? where PIndex=?"), db)))
        throw kv::Error(update.lastError().text());
    for (int i = 0; i < points.size(); ++i) {
        update.addBindValue(i + 1);
        update.addBindValue(points.at(i));
        if (!update.exec())
            throw kv::Error(update.lastError().text());
    }
}

QString fieldTitle(const QString &field)
{
    // The names the windows show; a field no window shows keeps its own name.
    static const QHash<QString, QString> titles{
        {QStringLiteral("PTip"), QStringLiteral("Тип")},
        {QStringLiteral("PIdentificator"), QStringLiteral("Обозначение")},
        {QStringLiteral("PMaker"), QStringLiteral("Изготовитель")},
        {QStringLiteral("PClassT"), QStringLiteral("Класс точности")},
        {QStringLiteral("PReductRate"), QStringLiteral("Постоянная")},
        {QStringLiteral("PIdentReductRate"), QStringLiteral("Единица постоянной")},
        {QStringLiteral("PUnom"), QStringLiteral("Номинальное напряжение")},
        {QStringLiteral("PInom"), QStringLiteral("Номинальный ток")},
        {QStringLiteral("PImax"), QStringLiteral("Максимальный ток")},
        {QStringLiteral("PCenaDel"), QStringLiteral("Цена деления")},
        {QStringLiteral("PEnergy"), QStringLiteral("Энергия")},
        {QStringLiteral("PPhase"), QStringLiteral("Схема включения")},
        {QStringLiteral("PNameTable"), QStringLiteral("Тест")},
        {QStringLiteral("PDescription"), QStringLiteral("Описание")},
        {QStringLiteral("PPersentU"), QStringLiteral("U%")},
        {QStringLiteral("PPersentI"), QStringLiteral("I%")},
        {QStringLiteral("PKM"), QStringLiteral("KM")},
        {QStringLiteral("PLC"), QStringLiteral("L/C")},
        {QStringLiteral("PCountRotation"), QStringLiteral("Число оборотов")},
        {QStringLiteral("PMeasureMax"), QStringLiteral("Допуск, %")},
        {QStringLiteral("PNumPoint1"), QStringLiteral("Номер точки")},
    };
    const auto it = titles.constFind(field);
    return it == titles.constEnd() ? field : it.value();
}

QString fieldRangeProblem(const QString &table, const QSqlRecord &record)
{
    const kv::TableDef *def = kv::schemaTable(table);
    if (!def)
        return {};
    for (int i = 0; i < record.count(); ++i) {
        if (!record.isGenerated(i))
            continue;
        const QVariant v = record.value(i);
        const kv::ColumnDef *c = def->column(record.fieldName(i));
        if (!c || v.isNull() || c->type == kv::ColumnType::Counter || c->type == kv::ColumnType::DateTime)
            continue;
        const QString name = QStringLiteral("\"") + fieldTitle(QLatin1String(c->name)) + u'"';
        if (c->type == kv::ColumnType::Text) {
            if (kv::characterCount(v.toString()) > c->textLength)
                return QStringLiteral("Текст поля %1 длиннее %2 символов.").arg(name, QString::number(c->textLength));
            continue;
        }
        bool ok = false;
        const double d = v.toDouble(&ok);
        if (!ok || !std::isfinite(d))
            return QStringLiteral("В поле %1 должно быть число.").arg(name);
        double low = -std::numeric_limits<double>::max();
        double high = std::numeric_limits<double>::max();
        bool whole = true;
        switch (c->type) {
        case kv::ColumnType::Boolean: low = 0; high = 1; break;
        case kv::ColumnType::Byte: low = 0; high = 255; break;
        case kv::ColumnType::Short: low = -32768; high = 32767; break;
        case kv::ColumnType::Long: low = -2147483648.0; high = 2147483647.0; break;
        default: whole = false; break;
        }
        if (d < low || d > high || (whole && d != std::floor(d)))
            return QStringLiteral("Значение поля ") + name + QStringLiteral(" (") + v.toString() +
                   QStringLiteral(") вне допустимого диапазона.");
    }
    return {};
}

}  // namespace basekvintor
