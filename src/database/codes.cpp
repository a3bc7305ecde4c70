#include "database/codes.h"

namespace kv {

namespace {
QString pick(int code, std::initializer_list<const char *> texts, int first = 1)
{
    const int i = code - first;
    if (i < 0 || i >= int(texts.size()))
        return {};
    return QString::fromUtf8(*(texts.begin() + i));
}
}  // namespace

QString constUnitText(int code)
{
    return pick(code, {"имп/кВт(кВар)*час", "кВт(кВар)*час/имп", "Вт(Вар)*сек/имп"});
}

QString schemeText(int code) { return pick(code, {"1ф", "3ф 3п", "3ф 4п"}); }

QString energyText(int code) { return pick(code, {"Активная", "Реактивная"}); }

QString loadCharacterText(int code) { return pick(code, {"*", "L", "C"}, 0); }

QString observedText(int code) { return pick(code, {"не проводился", "есть", "нет"}, 0); }

QString registerResultText(int code) { return pick(code, {"не проводился", "норма", "нет"}, 0); }

QString verdictText(int code) { return pick(code, {"Нет данных", "Годен", "Не годен"}, 0); }

}  // namespace kv
