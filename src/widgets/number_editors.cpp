#include "widgets/number_editors.h"

#include "core/ui.h"

#include <QCoreApplication>
#include <QLocale>

#include <cmath>

namespace kv {

namespace {
QString shown(double v, int decimals)
{
    // Shortest text that still holds the value to the editor's places.
    // No group separators: the text must read back as the same number.
    QLocale regional;
    regional.setNumberOptions(regional.numberOptions() | QLocale::OmitGroupSeparator);
    QString text = regional.toString(v, 'f', decimals > 0 ? decimals : 0);
    if (decimals > 0) {
        const QChar point = regional.decimalPoint().at(0);
        while (text.endsWith(QLatin1Char('0')))
            text.chop(1);
        if (text.endsWith(point))
            text.chop(1);
    }
    return text;
}
}  // namespace

std::optional<double> parseNumber(const QString &text)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return std::nullopt;
    // Group separators are refused: "0,866" must not become 866 where "," groups.
    QLocale regional;
    regional.setNumberOptions(regional.numberOptions() | QLocale::RejectGroupSeparator);
    bool ok = false;
    double v = regional.toDouble(t, &ok);
    if (!ok) {
        QString c = t;
        c.replace(QLatin1Char(','), QLatin1Char('.'));
        QLocale plain = QLocale::c();
        plain.setNumberOptions(QLocale::RejectGroupSeparator);
        v = plain.toDouble(c, &ok);
    }
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

QString rangeMessage(const QString &typed, const NumberRange &range)
{
    // The text as typed: a number the operator never wrote (a long one read
    // back as the nearest double, say) would only puzzle.
    const int places = std::max(range.decimals, 6);
    return QStringLiteral("Значение %1 вне допустимого диапазона: от %2 до %3.")
        .arg(typed.trimmed(), shown(range.min, places), shown(range.max, places));
}

NumberCheck checkNumberText(const QString &text, const NumberRange &range)
{
    NumberCheck check;
    if (text.trimmed().isEmpty()) {
        check.ok = range.allowEmpty;
        if (!check.ok)
            check.message = QStringLiteral("Введите значение.");
        return check;
    }
    const std::optional<double> number = parseNumber(text);
    if (!number) {
        check.message = QStringLiteral("\"%1\" не является допустимым числом.").arg(text.trimmed());
        return check;
    }
    double v = *number;
    if (range.decimals == 0 && range.bounded() && v != std::floor(v)) {
        check.message = QStringLiteral("\"%1\" не является допустимым целым числом.").arg(text.trimmed());
        return check;
    }
    if (range.decimals > 0) {
        const double scale = std::pow(10.0, range.decimals);
        v = std::round(v * scale) / scale;
    }
    if (range.bounded() && (v < range.min || v > range.max)) {
        check.message = rangeMessage(text, range);
        return check;
    }
    check.ok = true;
    check.value = range.decimals == 0 && range.bounded() ? QVariant(qlonglong(v)) : QVariant(v);
    return check;
}

bool sameNumber(const QVariant &a, const QVariant &b)
{
    const bool emptyA = !a.isValid() || a.isNull();
    const bool emptyB = !b.isValid() || b.isNull();
    if (emptyA || emptyB)
        return emptyA == emptyB;
    return a.toDouble() == b.toDouble();
}

QString numberText(const QVariant &value, const NumberRange &range)
{
    if (!value.isValid() || value.isNull())
        return {};
    bool ok = false;
    const double v = value.toDouble(&ok);
    if (!ok)
        return value.toString();
    return shown(v, range.decimals > 0 ? range.decimals : (v == std::floor(v) ? 0 : 6));
}

NumberEdit::NumberEdit(QWidget *parent) : QLineEdit(parent) {}

NumberEdit::NumberEdit(const NumberRange &range, QWidget *parent) : QLineEdit(parent), m_range(range) {}

void NumberEdit::setRange(const NumberRange &range)
{
    m_range = range;
    setText(numberText(m_value, m_range));
}

void NumberEdit::setValue(const QVariant &value)
{
    m_value = value;
    setText(numberText(m_value, m_range));
}

bool NumberEdit::hasUnacceptedText() const { return text() != numberText(m_value, m_range); }

bool NumberEdit::acceptInput()
{
    if (!hasUnacceptedText())
        return true;
    if (m_asking)
        return false;  // the box took the focus and that commits again: one box is enough
    const NumberCheck check = checkNumberText(text(), m_range);
    if (!check.ok) {
        // The typed text stays in the field for the operator to correct; the
        // record keeps its last accepted value.
        m_asking = true;
        ui().error(window(), QCoreApplication::applicationName(), check.message);
        m_asking = false;
        Q_EMIT refused(check.message);
        return false;
    }
    setValue(check.value);
    return true;
}

}  // namespace kv
