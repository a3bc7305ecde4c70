#include "database/text_length.h"

namespace kv {

int characterCount(const QString &text)
{
    int count = 0;
    for (int i = 0; i < text.size(); ++i, ++count)
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
    return count;
}

QString leftCharacters(const QString &text, int characters)
{
    if (characters <= 0)
        return {};
    int i = 0;
    for (int count = 0; i < text.size() && count < characters; ++i, ++count)
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
    return text.left(i);
}

QString leftUnits(const QString &text, int units)
{
    if (units <= 0)
        return {};
    if (units >= text.size())
        return text;
    // Cutting between a high and a low half would keep the high one alone.
    const bool splits = text.at(units - 1).isHighSurrogate() && text.at(units).isLowSurrogate();
    return text.left(splits ? units - 1 : units);
}

}  // namespace kv
