#pragma once
// Lenient conversions between typed or reported texts and numbers. They sit in
// core because the protocols, the workbook fill and the windows all read and
// write numbers the same way.

#include <QString>
#include <stdexcept>

namespace kv {

// A conversion that cannot give a number: a whole number outside 32 bits, more
// than nine digits after the last point, or a "-" inside a text without a point.
class ConversionError : public std::runtime_error
{
public:
    explicit ConversionError(const QString &text);
    QString text() const { return QString::fromUtf8(what()); }
};

// The control program's conversion: every failure gives 0.
double TextToNumber(const QString &text);
// The database program's conversion: a failure throws ConversionError, whose
// text the general error report shows.
double TextToNumberOrThrow(const QString &text);

// General format, up to 15 significant digits, with the given decimal
// separator (by default the locale's).
QString NumberToText(double value);
QString NumberToText(double value, QChar decimalSeparator);

}  // namespace kv
