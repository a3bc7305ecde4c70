#include "widgets/clock.h"

namespace kv {

namespace {
QDateTime &fixedNow()
{
    static QDateTime value;
    return value;
}
}  // namespace

QDateTime now() { return fixedNow().isValid() ? fixedNow() : QDateTime::currentDateTime(); }

void setNowForTests(const QDateTime &fixed) { fixedNow() = fixed; }

}  // namespace kv
