#include "core/number_text.h"

#include <QLocale>

#include <cmath>
#include <limits>

namespace kv {

ConversionError::ConversionError(const QString &text) : std::runtime_error(text.toStdString()) {}

namespace {

bool isDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

[[noreturn]] void fail(const QString &source, const QString &why)
{
    throw ConversionError(QStringLiteral("«%1» не является числом: %2").arg(source, why));
}

qint64 wholeNumber(const QString &source, const QString &text)
{
    bool ok = false;
    const qint64 v = text.toLongLong(&ok);
    if (!ok) {
        // Digits alone that do not fit even 64 bits are a range problem, not a misplaced sign.
        bool digitsOnly = !text.isEmpty();
        for (int i = 0; i < text.size(); ++i)
            if (!isDigit(text.at(i)) && !(i == 0 && text.at(i) == QLatin1Char('-') && text.size() > 1))
                digitsOnly = false;
        fail(source, digitsOnly ? QStringLiteral("число вне допустимого диапазона")
                                : QStringLiteral("знак «-» допустим только в начале"));
    }
    if (v < std::numeric_limits<qint32>::min() || v > std::numeric_limits<qint32>::max())
        fail(source, QStringLiteral("число вне допустимого диапазона"));
    return v;
}

}  // namespace

double TextToNumberOrThrow(const QString &text)
{
    QString cleaned;
    cleaned.reserve(text.size());
    for (QChar c : text) {
        if (c == QLatin1Char(' '))
            continue;
        cleaned += c == QLatin1Char(',') ? QLatin1Char('.') : c;
    }
    // Stands report positive errors with a plus sign ("+0.12"); read it as a
    // blank, or every positive error would read as 0 and always pass.
    if (cleaned.startsWith(QLatin1Char('+')))
        cleaned.remove(0, 1);
    if (cleaned.isEmpty())
        return 0;
    for (QChar c : cleaned)
        if (!isDigit(c) && c != QLatin1Char('.') && c != QLatin1Char('-'))
            return 0;

    QString digits;
    for (QChar c : cleaned)
        if (isDigit(c))
            digits += c;
    int b = 0;
    for (int i = 0; i < digits.size(); ++i)
        if (digits.at(i) != QLatin1Char('0')) {
            b = i + 1;
            break;
        }
    const int a = cleaned.lastIndexOf(QLatin1Char('.')) + 1;
    const int len = cleaned.size();
    if (b == 0)
        return 0;

    const bool negative = cleaned.startsWith(QLatin1Char('-'));
    if (a == 0) {
        if (negative || (isDigit(cleaned.at(0)) && cleaned.at(0) != QLatin1Char('0')))
            return double(wholeNumber(text, cleaned));
        // A leading zero without a point reads as a fraction: "05" is 0.05.
        if (cleaned.indexOf(QLatin1Char('-')) >= 0)
            fail(text, QStringLiteral("знак «-» допустим только в начале"));
        return double(wholeNumber(text, digits)) / std::pow(10.0, len);
    }
    const int after = len - a;
    if (after > 9)
        fail(text, QStringLiteral("больше девяти знаков после точки"));
    const qint64 d = qint64(std::pow(10, after) + 0.5);
    const double v = double(wholeNumber(text, digits)) / double(d);
    return negative ? -v : v;
}

double TextToNumber(const QString &text)
{
    try {
        return TextToNumberOrThrow(text);
    } catch (const ConversionError &) {
        return 0;
    }
}

QString NumberToText(double value, QChar decimalSeparator)
{
    QString s = QString::number(value, 'g', 15);
    // 'g' writes very small and very large numbers with an exponent ("5e-05",
    // "1e+15"), which TextToNumber reads as 0: such a number is written out
    // in full from the same 15 significant digits.
    if (s.contains(QLatin1Char('e'))) {
        const QString e = QString::number(value, 'e', 14);  // "-d.dddddddddddddde+XX"
        const int at = e.indexOf(QLatin1Char('e'));
        const bool negative = e.startsWith(QLatin1Char('-'));
        QString digits = e.left(at).remove(QLatin1Char('-')).remove(QLatin1Char('.'));
        const int exponent = e.mid(at + 1).toInt();
        while (digits.size() > 1 && digits.endsWith(QLatin1Char('0')))
            digits.chop(1);
        const int whole = exponent + 1;  // digits before the point
        if (whole <= 0)
            s = QStringLiteral("0.") + QString(-whole, QLatin1Char('0')) + digits;
        else if (whole >= digits.size())
            s = digits + QString(whole - digits.size(), QLatin1Char('0'));
        else
            s = digits.left(whole) + QLatin1Char('.') + digits.mid(whole);
        if (negative)
            s.prepend(QLatin1Char('-'));
    }
    for (QChar &c : s)
        if (c == QLatin1Char('.') || c == QLatin1Char(','))
            c = decimalSeparator;
    return s;
}

QString NumberToText(double value)
{
    const QString point = QLocale().decimalPoint();
    return NumberToText(value, point.isEmpty() ? QLatin1Char('.') : point.at(0));
}

}  // namespace kv
