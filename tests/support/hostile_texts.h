#pragma once
// Texts an operator may type or a file may hold that break a statement or a
// file name composed carelessly: placeholders a later substitution would
// replace, the pattern and escape characters, both quotes, and a long text
// outside Latin-1 with a character beyond the 16-bit range.

#include <QString>
#include <QStringList>

namespace kvtest {

// 20 characters (21 UTF-16 units: the last but one is a surrogate pair).
inline QString unicodeText20() { return QStringLiteral("Счётчик №7 Ωµ ÄЖ中文\U0001F600Я"); }

inline QStringList hostileTexts()
{
    QStringList texts;
    for (int n = 1; n <= 9; ++n)
        texts << QStringLiteral("A%") + QString::number(n) + QStringLiteral("B");
    texts << QStringLiteral("%1%2%3") << QStringLiteral("%") << QStringLiteral("%%") << QStringLiteral("50%")
          << QStringLiteral("\\") << QStringLiteral("\\%1\\n") << QStringLiteral("'") << QStringLiteral("\"")
          << QStringLiteral("10'3\"") << QStringLiteral("x' OR '1'='1") << QStringLiteral("_") << unicodeText20();
    return texts;
}

}  // namespace kvtest
