// Typed and reported texts into numbers, both ways the programs read them,
// and numbers written as text read back.
//
// Properties: the control program's reading never throws and always gives a
// finite number; the database program's reading gives the same number or
// throws its own ConversionError (and then the control program reads 0);
// a number written by NumberToText — with a point or a comma — reads back as
// that text's value whenever the text is within what the reading accepts
// (no exponent, at most nine decimals, its digits a 32-bit number).

#include "protocols/text_convert.h"

#include <QString>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

void fail(const char *what, const QString &text)
{
    fprintf(stderr, "fuzz_text_convert: %s: «%s»\n", what, text.toUtf8().constData());
    abort();
}

void readBoth(const QString &text)
{
    const double lenient = kv::TextToNumber(text);
    if (!std::isfinite(lenient))
        fail("not finite", text);
    try {
        const double strict = kv::TextToNumberOrThrow(text);
        if (strict != lenient)
            fail("the two readings differ", text);
    } catch (const kv::ConversionError &) {
        if (lenient != 0)
            fail("a refused text read as a number", text);
    }
}

bool withinReading(const QString &text)
{
    if (text.contains(QLatin1Char('e')) || text.contains(QLatin1Char('n')) || text.contains(QLatin1Char('i')))
        return false;
    const int point = text.indexOf(QLatin1Char('.'));
    if (point >= 0 && text.size() - point - 1 > 9)
        return false;
    qint64 digits = 0;
    for (QChar c : text)
        if (c.isDigit()) {
            digits = digits * 10 + (c.unicode() - '0');
            if (digits > std::numeric_limits<qint32>::max())
                return false;
        }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), int(size));
    readBoth(text);
    // The same text as a stand sends it, and as an operator types it with a comma.
    readBoth(QLatin1Char('+') + text);
    QString comma = text;
    comma.replace(QLatin1Char('.'), QLatin1Char(','));
    readBoth(comma);

    try {
        kv::KMFromText(text);
    } catch (const kv::ConversionError &) {
    }
    kv::LCFromText(text);
    kv::EnergyFromText(text);
    kv::ConstUnitFromText(text);
    kv::SchemeFromText(text);
    kv::BaseFileName(text);

    if (size >= sizeof(double)) {
        double v;
        std::memcpy(&v, data, sizeof v);
        if (std::isfinite(v)) {
            const QString written = kv::NumberToText(v, QLatin1Char('.'));
            if (withinReading(written)) {
                const double expected = written.toDouble();
                if (kv::TextToNumber(written) != expected)
                    fail("a written number reads back otherwise", written);
                if (kv::TextToNumber(kv::NumberToText(v, QLatin1Char(','))) != expected)
                    fail("a written number with a comma reads back otherwise", written);
            }
        }
    }
    return 0;
}
