#include "protocols/text_convert.h"

namespace kv {

double KMFromText(const QString &text)
{
    const int slash = text.indexOf(QLatin1Char('/'));
    return TextToNumberOrThrow(slash < 0 ? text : text.left(slash));
}

int LCFromText(const QString &text)
{
    const int slash = text.indexOf(QLatin1Char('/'));
    if (slash < 0 || slash + 1 >= text.size())
        return 0;
    const QChar c = text.at(slash + 1);
    if (c == QLatin1Char('L'))
        return 1;
    if (c == QLatin1Char('C'))
        return 2;
    return 0;
}

int EnergyFromText(const QString &text)
{
    if (text == QStringLiteral("Активная"))
        return 1;
    if (text == QStringLiteral("Реактивная"))
        return 2;
    return 0;
}

int ConstUnitFromText(const QString &text)
{
    if (text == QStringLiteral("оборот/кВт(кВар)*час"))
        return 1;
    if (text == QStringLiteral("кВт(кВар)*час/оборот"))
        return 2;
    if (text == QStringLiteral("Вт(Вар)*сек/оборот"))
        return 3;
    return 0;
}

int SchemeFromText(const QString &text)
{
    if (text.size() >= 2 && text.at(0) == QLatin1Char('1') && text.at(1) == QChar(0x0444))
        return 1;
    if (text == QStringLiteral("3ф. 3пр."))
        return 2;
    if (text == QStringLiteral("3ф. 4пр."))
        return 3;
    return 0;
}

QString BaseFileName(const QString &path)
{
    QString name = path;
    const int slash = qMax(name.lastIndexOf(QLatin1Char('/')), name.lastIndexOf(QLatin1Char('\\')));
    name = name.mid(slash + 1);
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? name : name.left(dot);
}

}  // namespace kv
