#include "protocols/protocol_data.h"

#include "protocols/text_convert.h"
#include "widgets/settings.h"

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

bool protocolNumberKeyAccepted(QChar c)
{
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QChar(8);
}

void advanceProtocolNumber(ProtocolData &data, bool strict)
{
    if (!data.autoIncrement)
        return;
    const double n = strict ? TextToNumberOrThrow(data.protocolNumber) : TextToNumber(data.protocolNumber);
    data.protocolNumber = NumberToText(n + 1);
    setSettingText(kProtocolDataGroup, QStringLiteral("enumProt"), data.protocolNumber);
    saveSettings();
}

}  // namespace kv
