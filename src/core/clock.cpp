#include "core/clock.h"

#include <optional>

namespace kv {

namespace {
QDateTime &fixedNow()
{
    static QDateTime value;
    return value;
}

std::optional<QLocale> &fixedDateLocale()
{
    static std::optional<QLocale> value;
    return value;
}
}  // namespace

QDateTime now() { return fixedNow().isValid() ? fixedNow() : QDateTime::currentDateTime(); }

void setNowForTests(const QDateTime &fixed) { fixedNow() = fixed; }

QLocale dateLocaleFor(const QLocale &regional)
{
    if (regional.language() == QLocale::C)
        return QLocale(QLocale::Russian, QLocale::Russia);
    return regional;
}

QLocale dateLocale()
{
    if (fixedDateLocale())
        return *fixedDateLocale();
    return dateLocaleFor(QLocale::system());
}

void setDateLocaleForTests(const QLocale &locale) { fixedDateLocale() = locale; }

void resetDateLocaleForTests() { fixedDateLocale().reset(); }

QString shortDateText(const QDate &date) { return dateLocale().toString(date, QLocale::ShortFormat); }

}  // namespace kv
