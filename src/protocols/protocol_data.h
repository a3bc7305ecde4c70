#pragma once
// The protocol header data kept per user under "confUst", shared by both
// programs' "Данные для протокола" dialogs. The dialogs hold a ProtocolData,
// load it when created and shown, store it whenever they close.

#include <QChar>
#include <QString>

namespace kv {

struct ProtocolData {
    bool autoIncrement = false;       // eautoInc
    QString protocolNumber = QStringLiteral("0");  // enumProt
    QString organisation;             // PPover
    QString verifier;                 // MakerPov
    QString installationNumber = QStringLiteral("0");  // enumUst
    QString certificateNumber = QStringLiteral("0");   // enumSv
    QString validFrom = QStringLiteral("0");            // eot
    QString validTo = QStringLiteral("0");              // edo

    bool operator==(const ProtocolData &o) const;
};

inline const QString kProtocolDataGroup = QStringLiteral("confUst");

// Reads the eight values with their defaults for missing ones. eautoInc is
// read as a whole number: missing or not a number is off, non-zero is on.
ProtocolData loadProtocolData();
// Writes all eight values.
void storeProtocolData(const ProtocolData &data);

// The key filter of the protocol number edit: digits and Backspace pass.
bool protocolNumberKeyAccepted(QChar c);

// After each protocol: when auto-increment is on, the number becomes
// NumberToText(TextToNumber(number) + 1) and is stored at once. `strict`
// selects the database program's conversion, which throws on a failure.
void advanceProtocolNumber(ProtocolData &data, bool strict = false);

}  // namespace kv
