#pragma once
// "Now" for archive and protocol dates, and the form the operator reads a
// date in; both fixable by tests.

#include <QDateTime>
#include <QLocale>

namespace kv {

QDateTime now();
// Fixes "now" (an invalid value returns to the real clock).
void setNowForTests(const QDateTime &fixed);

// The locale whose short date form the archive list, the protocol headers,
// the printed pages and the query builder's date conditions use: the regional
// settings' own. Kvintor's default locale is C for its numbers, and a machine
// may have no regional settings at all (C, POSIX); the C form would put
// "9 Dec 2024" into a Russian protocol, so those get the Russian form.
QLocale dateLocaleFor(const QLocale &regional);
// dateLocaleFor(QLocale::system()), unless a test fixed another.
QLocale dateLocale();
// Fixes the date locale as given, without the mapping above;
// resetDateLocaleForTests() returns to the regional settings.
void setDateLocaleForTests(const QLocale &locale);
void resetDateLocaleForTests();
// The date in dateLocale()'s short form ("09.12.2026" in Russian).
QString shortDateText(const QDate &date);

}  // namespace kv
