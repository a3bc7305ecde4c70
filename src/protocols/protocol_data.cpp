#include "protocols/protocol_data.h"

#include "core/settings.h"
#include "core/ui.h"

namespace kv {

bool ProtocolData::operator==(const ProtocolData &o) const
{
    return autoIncrement == o.autoIncrement && protocolNumber == o.protocolNumber && organisation == o.organisation &&
           verifier == o.verifier && installationNumber == o.installationNumber &&
           certificateNumber == o.certificateNumber && validFrom == o.validFrom && validTo == o.validTo;
}

ProtocolData loadProtocolData()
{
    const QString &g = kProtocolDataGroup;
    ProtocolData d;
    bool ok = false;
    const int flag = settingText(g, QStringLiteral("eautoInc"), QStringLiteral("0")).trimmed().toInt(&ok);
    d.autoIncrement = ok && flag != 0;
    d.protocolNumber = settingText(g, QStringLiteral("enumProt"), QStringLiteral("0"));
    d.organisation = settingText(g, QStringLiteral("PPover"));
    d.verifier = settingText(g, QStringLiteral("MakerPov"));
    d.installationNumber = settingText(g, QStringLiteral("enumUst"), QStringLiteral("0"));
    d.certificateNumber = settingText(g, QStringLiteral("enumSv"), QStringLiteral("0"));
    d.validFrom = settingText(g, QStringLiteral("eot"), QStringLiteral("0"));
    d.validTo = settingText(g, QStringLiteral("edo"), QStringLiteral("0"));
    return d;
}

void storeProtocolData(const ProtocolData &d)
{
    const QString &g = kProtocolDataGroup;
    setSettingFlag(g, QStringLiteral("eautoInc"), d.autoIncrement);
    setSettingText(g, QStringLiteral("enumProt"), d.protocolNumber);
    setSettingText(g, QStringLiteral("PPover"), d.organisation);
    setSettingText(g, QStringLiteral("MakerPov"), d.verifier);
    setSettingText(g, QStringLiteral("enumUst"), d.installationNumber);
    setSettingText(g, QStringLiteral("enumSv"), d.certificateNumber);
    setSettingText(g, QStringLiteral("eot"), d.validFrom);
    setSettingText(g, QStringLiteral("edo"), d.validTo);
    saveSettings();
}

bool protocolDataStored()
{
    return settings().contains(kProtocolDataGroup + QStringLiteral("/enumProt"));
}

bool protocolNumberKeyAccepted(QChar c)
{
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QChar(8);
}

QString nextProtocolNumber(const QString &number)
{
    // Only ASCII digits count: the number edit lets no other digit in, and a
    // digit of another script has no "next" the operator would expect.
    const auto isDigit = [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); };
    qsizetype end = number.size();
    while (end > 0 && !isDigit(number.at(end - 1)))
        --end;
    if (end == 0)
        return {};
    qsizetype start = end;
    while (start > 0 && isDigit(number.at(start - 1)))
        --start;
    QString digits = number.mid(start, end - start);
    qsizetype i = digits.size() - 1;
    for (; i >= 0; --i) {
        if (digits.at(i) != QLatin1Char('9')) {
            digits[i] = QChar(digits.at(i).unicode() + 1);
            break;
        }
        digits[i] = QLatin1Char('0');
    }
    if (i < 0)
        digits.prepend(QLatin1Char('1'));
    return number.left(start) + digits + number.mid(end);
}

QString protocolNumberKeptText(const QString &number)
{
    return QStringLiteral("Номер протокола «") + number +
           QStringLiteral("» не содержит цифр и не будет увеличиваться автоматически. "
                          "Измените его в окне «Данные для протокола».");
}

ProtocolNumberStep advanceProtocolNumber(ProtocolData &data)
{
    if (!data.autoIncrement)
        return ProtocolNumberStep::Off;
    const QString next = nextProtocolNumber(data.protocolNumber);
    if (next.isEmpty()) {
        // Once per text for the whole session: a batch of protocols with "б/н"
        // would otherwise stop at every workbook.
        static QString lastTold;
        static bool told = false;
        if (!told || lastTold != data.protocolNumber) {
            told = true;
            lastTold = data.protocolNumber;
            ui().information(nullptr, QStringLiteral("Данные для протокола"),
                             protocolNumberKeptText(data.protocolNumber));
        }
        return ProtocolNumberStep::Kept;
    }
    data.protocolNumber = next;
    setSettingText(kProtocolDataGroup, QStringLiteral("enumProt"), data.protocolNumber);
    saveSettings();
    return ProtocolNumberStep::Advanced;
}

}  // namespace kv
