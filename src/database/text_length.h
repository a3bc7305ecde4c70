#pragma once
// Text columns hold at most n characters, and the engines count characters
// (code points) where QString counts UTF-16 units. A cut made in units can
// split the two units of one character and leave half of it, which the
// engine then stores as bytes that are not UTF-8. Every cut of a text to a
// length goes through here.

#include <QString>

namespace kv {

// Characters as the engines' length() counts them; a lone half of a pair counts as one.
int characterCount(const QString &text);
// The first `characters` characters of a text, never half of one.
QString leftCharacters(const QString &text, int characters);
// At most `units` UTF-16 units, one fewer where the cut would split a pair:
// for limits that a file format counts in units.
QString leftUnits(const QString &text, int units);

}  // namespace kv
