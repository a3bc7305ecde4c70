#include "shell/query_builder.h"

#include "core/clock.h"
#include "database/engine_sql.h"
#include "protocols/text_convert.h"

#include <QRegularExpression>

namespace basekvintor {

namespace {

using C = QueryColumn;

const std::array<QueryColumnInfo, kQueryColumnCount> &columnTable()
{
    static const std::array<QueryColumnInfo, kQueryColumnCount> table{{
        {"CBDate", QStringLiteral("Дата"), QStringLiteral(",TMeasure.PDate "), QStringLiteral("PDate")},
        {"CBTip", QStringLiteral("Тип"), QStringLiteral(",TTip.PTip "), QStringLiteral("PTip")},
        {"CBID", QStringLiteral("Обозначение"), QStringLiteral(",TTip.PIdentificator "),
         QStringLiteral("PIdentificator")},
        {"CBTest", QStringLiteral("Тест"), QStringLiteral(",TTest.PNameTable "), QStringLiteral("PNameTable")},
        {"CBPosition", QStringLiteral("Позиция"), QStringLiteral(",TPositionCH.PPosition "),
         QStringLiteral("PPosition")},
        {"CBNumber", QStringLiteral("Номер"), QStringLiteral(",TPositionCH.PNumber "), QStringLiteral("PNumber")},
        {"CBsensitivity", QStringLiteral("Чувствительность"), QStringLiteral(",TPositionCH.PSensitivity "),
         QStringLiteral("PSensitivity")},
        {"CBSamochod", QStringLiteral("Самоход"), QStringLiteral(",TPositionCH.PSamochod "),
         QStringLiteral("PSamochod")},
        // The caption starts with a Latin "C", as the dialog has always shown it.
        {"CBSU", QStringLiteral("Cчетное устройство"), QStringLiteral(",TPositionCH.PCountDevice "),
         QStringLiteral("PCountDevice")},
        {"CBTotal", QStringLiteral("Итог"), QStringLiteral(",TPositionCH.PTotal "), QStringLiteral("PTotal")},
        {"CBNumPoint", QStringLiteral("Номер точки"), QStringLiteral(",TResult.PPointNumber "),
         QStringLiteral("PPointNumber")},
        {"CBMeasure", QStringLiteral("Погрешность"), QStringLiteral(",TResult.PMeasure "), QStringLiteral("PMeasure")},
        {"CBMeasureMax", QStringLiteral("Предел"), QStringLiteral(",TResult.PMeasureMax "),
         QStringLiteral("PMeasureMax")},
    }};
    return table;
}

// The column boxes a ticked condition box ticks and holds.
QList<QueryColumn> forcedBy(QueryCondition c)
{
    switch (c) {
    case QueryCondition::Date: return {C::CBDate};
    case QueryCondition::Error: return {C::CBMeasure};
    case QueryCondition::Type: return {C::CBTip, C::CBID};
    case QueryCondition::Number: return {C::CBNumber};
    case QueryCondition::Verdict: return {C::CBTotal};
    }
    return {};
}

QString quotedDate(const QDate &d) { return kv::jetQuoted(QueryBuilder::dateText(d)); }

}  // namespace

const QueryColumnInfo &queryColumnInfo(QueryColumn c) { return columnTable()[std::size_t(c)]; }

QString notANumberText(const QString &text)
{
    return QStringLiteral("Значение погрешности \"%1\" не является числом.\nВведите число, например 1.5 или -0.2")
        .arg(text);
}

QueryBuilder::QueryBuilder() { m_enabled.fill(true); }

void QueryBuilder::setTicked(QueryColumn c, bool on)
{
    if (m_enabled[idx(c)])
        m_ticked[idx(c)] = on;
}

void QueryBuilder::selectAll()
{
    for (int i = 0; i < kQueryColumnCount; ++i)
        if (m_enabled[std::size_t(i)])
            m_ticked[std::size_t(i)] = true;
}

void QueryBuilder::deselectAll()
{
    for (int i = 0; i < kQueryColumnCount; ++i)
        if (m_enabled[std::size_t(i)])
            m_ticked[std::size_t(i)] = false;
}

void QueryBuilder::setCondition(QueryCondition c, bool on)
{
    // The rule follows every change of a condition box, by mouse or by key:
    // a condition whose columns were not forced would join its table to the
    // others without a join condition.
    m_conditions[std::size_t(c)] = on;
    applyConditionRule();
}

void QueryBuilder::applyConditionRule()
{
    // An unticked condition first frees its boxes; a ticked one then holds
    // its own, so a box two conditions share stays held.
    for (int i = 0; i < kQueryConditionCount; ++i)
        if (!m_conditions[std::size_t(i)])
            for (QueryColumn c : forcedBy(QueryCondition(i)))
                m_enabled[idx(c)] = true;
    for (int i = 0; i < kQueryConditionCount; ++i)
        if (m_conditions[std::size_t(i)])
            for (QueryColumn c : forcedBy(QueryCondition(i))) {
                m_ticked[idx(c)] = true;
                m_enabled[idx(c)] = false;
            }
}

std::optional<QChar> QueryBuilder::errorEditKey(QChar typed)
{
    if (typed == QLatin1Char(','))
        return QLatin1Char('.');
    if (typed == QChar(8) || typed == QLatin1Char('-') || typed == QLatin1Char('.') ||
        (typed >= QLatin1Char('0') && typed <= QLatin1Char('9')))
        return typed;
    return std::nullopt;
}

bool QueryBuilder::isNumberText(const QString &text)
{
    // What the engine reads as one numeric literal, nothing more: a pasted
    // "1) or (1=1" or "--" never reaches the statement.
    static const QRegularExpression number(QStringLiteral("^-?(\\d+\\.?\\d*|\\.\\d+)$"));
    return number.match(text).hasMatch();
}

QString QueryBuilder::dateText(const QDate &date)
{
    const QString shortText = kv::shortDateText(date);
    const QString expected =
        QLatin1Char('\'') + date.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(" 00:00:00'");
    // A two-digit year or a month-first order the translation would misread
    // must not move the date: then the day is written unambiguously.
    if (kv::toEngineSql(QStringLiteral("DateValue(%1)").arg(kv::jetQuoted(shortText))) == expected)
        return shortText;
    return date.toString(QStringLiteral("dd.MM.yyyy"));
}

ComposedQuery QueryBuilder::compose() const
{
    using O = ComposedQuery::Outcome;
    ComposedQuery q;
    const auto on = [this](QueryColumn c) { return ticked(c); };
    const auto cond = [this](QueryCondition c) { return condition(c); };

    bool any = false;
    for (int i = 0; i < kQueryColumnCount; ++i)
        any = any || m_ticked[std::size_t(i)];
    if (!any) {
        q.outcome = O::NoColumn;
        return q;
    }

    QString columns;
    for (int i = 0; i < kQueryColumnCount; ++i)
        if (m_ticked[std::size_t(i)]) {
            columns += columnTable()[std::size_t(i)].columnText;
            q.visibleFields << columnTable()[std::size_t(i)].field;
        }
    columns.remove(0, 1);

    const bool v = on(C::CBDate) || on(C::CBTip) || on(C::CBID) || on(C::CBTest);
    const bool m = on(C::CBPosition) || on(C::CBNumber) || on(C::CBsensitivity) || on(C::CBSamochod) ||
                   on(C::CBSU) || on(C::CBTotal);
    const bool p = on(C::CBNumPoint) || on(C::CBMeasure) || on(C::CBMeasureMax);
    const bool typeColumns = on(C::CBTip) || on(C::CBID);
    const QString j1 = typeColumns ? QStringLiteral("(TMeasure.PPointerTip = TTip.PIndex)") : QString();
    const QString j2 = on(C::CBTest) ? QStringLiteral("(TMeasure.PPointerTest=TTest.PIndex)") : QString();

    QString source;
    QString distinct;
    if (v && !m && !p) {
        source = QStringLiteral("TMeasure ");
        if (cond(QueryCondition::Error))
            source += QStringLiteral(",TResult ");
        if (typeColumns)
            source += QStringLiteral(",TTip ");
        if (on(C::CBTest))
            source += QStringLiteral(",TTest ");
        if (cond(QueryCondition::Verdict) || cond(QueryCondition::Number))
            source += QStringLiteral(",TPositionCH ");
        distinct = QStringLiteral(" DISTINCT ");
    } else if (v && m && !p) {
        source = QStringLiteral("(TMeasure INNER JOIN TPositionCH ON TMeasure.PIndex = TPositionCH.PSecIndex)");
        if (cond(QueryCondition::Error))
            source += QStringLiteral(",TResult ");
        if (typeColumns)
            source += QStringLiteral(",TTip ");
        if (on(C::CBTest))
            source += QStringLiteral(",TTest ");
        distinct = QStringLiteral(" DISTINCT ");
    } else if (v && p) {
        source = QStringLiteral("(TMeasure INNER JOIN TPositionCH ON TMeasure.PIndex = TPositionCH.PSecIndex)INNER "
                                "JOIN TResult ON (TPositionCH.PIndex = TResult.PSecIndex)");
        if (typeColumns)
            source += QStringLiteral(",TTip ");
        if (on(C::CBTest))
            source += QStringLiteral(",TTest ");
    } else if (m && !p) {
        source = QStringLiteral("TPositionCH");
        if (cond(QueryCondition::Date))
            source.prepend(QStringLiteral("TMeasure, "));
        if (cond(QueryCondition::Error))
            source += QStringLiteral(",TResult ");
        if (cond(QueryCondition::Type))
            source += QStringLiteral(",TTip ");
        distinct = QStringLiteral(" DISTINCT ");
    } else if (m && p) {
        source = QStringLiteral("(TPositionCH INNER JOIN TResult ON TPositionCH.PIndex = TResult.PSecIndex)");
        if (cond(QueryCondition::Date))
            source.prepend(QStringLiteral("TMeasure, "));
        if (cond(QueryCondition::Type))
            source += QStringLiteral(",TTip ");
    } else {
        source = QStringLiteral("TResult ");
        if (cond(QueryCondition::Type))
            source += QStringLiteral(",TTip ");
        if (cond(QueryCondition::Verdict) || cond(QueryCondition::Number))
            source.prepend(QStringLiteral("TPositionCH, "));
        if (cond(QueryCondition::Date))
            source.prepend(QStringLiteral("TMeasure, "));
    }

    QString dateCondition;
    if (cond(QueryCondition::Date)) {
        // The dates are stored with the time of day, so "до" a day takes in
        // that whole day: the bound is the next day's midnight, not its own.
        switch (dateChoice) {
        case RangeChoice::Before:
            dateCondition = QStringLiteral("(TMeasure.PDate < DateValue(") + quotedDate(DTPBefore.addDays(1)) +
                            QStringLiteral("))");
            break;
        case RangeChoice::After:
            dateCondition = QStringLiteral("(TMeasure.PDate >= DateValue(") + quotedDate(DTPAfter) +
                            QStringLiteral("))");
            break;
        case RangeChoice::FromTo:
            dateCondition = QStringLiteral("((TMeasure.PDate >= DateValue(") + quotedDate(DTPFBFrom) +
                            QStringLiteral(")) and ") + QStringLiteral("(TMeasure.PDate < DateValue(") +
                            quotedDate(DTPFBBefore.addDays(1)) + QStringLiteral(")))");
            break;
        }
    }

    QString errorCondition;
    if (cond(QueryCondition::Error)) {
        const auto stop = [&q](O why, const QString &text = {}) {
            q.outcome = why;
            q.badNumber = text;
            return q;
        };
        switch (errorChoice) {
        case RangeChoice::Before:
            if (EBefore.isEmpty())
                return stop(O::Silent);
            if (!isNumberText(EBefore))
                return stop(O::NotANumber, EBefore);
            errorCondition = QStringLiteral("(TResult.PMeasure < ") + EBefore + QStringLiteral(")");
            break;
        case RangeChoice::After:
            if (EAfter.isEmpty())
                return stop(O::Silent);
            if (!isNumberText(EAfter))
                return stop(O::NotANumber, EAfter);
            errorCondition = QStringLiteral("(TResult.PMeasure > ") + EAfter + QStringLiteral(")");
            break;
        case RangeChoice::FromTo:
            if (EFBFrom.isEmpty() || EFBBefore.isEmpty())
                return stop(O::Silent);
            if (!isNumberText(EFBFrom))
                return stop(O::NotANumber, EFBFrom);
            if (!isNumberText(EFBBefore))
                return stop(O::NotANumber, EFBBefore);
            // Compared as the system reads a typed number everywhere else.
            if (kv::TextToNumberOrThrow(EFBFrom) > kv::TextToNumberOrThrow(EFBBefore))
                return stop(O::Silent);
            errorCondition = QStringLiteral("((TResult.PMeasure >=") + EFBFrom + QStringLiteral(") and ") +
                             QStringLiteral("(TResult.PMeasure <= ") + EFBBefore + QStringLiteral("))");
            break;
        }
    }

    QString typeCondition, numberCondition, verdictCondition;
    if (cond(QueryCondition::Type)) {
        if (!typeIndex) {
            q.outcome = O::NoType;
            return q;
        }
        typeCondition = QStringLiteral("(TMeasure.PPointerTip = %1)").arg(*typeIndex);
    }
    if (cond(QueryCondition::Number)) {
        if (number.isEmpty()) {
            q.outcome = O::NoNumber;
            return q;
        }
        numberCondition = QStringLiteral("(TPositionCh.PNumber = ") + kv::jetQuoted(number) + QStringLiteral(")");
    }
    if (cond(QueryCondition::Verdict))
        verdictCondition = QStringLiteral("(TPositionCh.PTotal =%1)").arg(verdict);

    QString filter;
    for (const QString &c : {dateCondition, errorCondition, typeCondition, numberCondition, verdictCondition, j1, j2})
        if (!c.isEmpty())
            filter += QStringLiteral(" and ") + c;
    filter.remove(0, 5);

    q.columnPart = QStringLiteral(" Select ") + distinct + columns;
    q.sourcePart = QStringLiteral(" From ") + source;
    if (!filter.isEmpty())
        q.sourcePart += QStringLiteral(" Where ") + filter;
    q.statement = q.columnPart + q.sourcePart;
    return q;
}

void QueryBuilder::keepParts(const ComposedQuery &q)
{
    m_columnPart = q.columnPart;
    m_sourcePart = q.sourcePart;
}

}  // namespace basekvintor
