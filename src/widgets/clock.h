#pragma once
// "Now" for archive and protocol dates, fixable by tests.

#include <QDateTime>

namespace kv {

QDateTime now();
// Fixes "now" (an invalid value returns to the real clock).
void setNowForTests(const QDateTime &fixed);

}  // namespace kv
