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
// Whether the protocol data were ever stored for this user (the dialog stores
// them whenever it closes): before that every header shows its defaults.
bool protocolDataStored();

// The key filter of the protocol number edit: digits and Backspace pass.
bool protocolNumberKeyAccepted(QChar c);

// The protocol number after `number`: its last run of digits goes up by one
// and keeps its width ("007" -> "008", "099" -> "100", "999" -> "1000"),
// whatever stands before or after it ("12/2026" -> "12/2027", "А-17" ->
// "А-18"). Counted digit by digit, so no length overflows. A text without
// digits has no successor: an empty string is returned.
QString nextProtocolNumber(const QString &number);

// After each protocol: when auto-increment is on, the number becomes its
// successor and is stored at once. A number without digits stays as it is,
// and the operator is told so once for that text (not after every protocol).
enum class ProtocolNumberStep { Off, Advanced, Kept };
ProtocolNumberStep advanceProtocolNumber(ProtocolData &data);

// The message that says a number without digits is kept.
QString protocolNumberKeptText(const QString &number);

}  // namespace kv
