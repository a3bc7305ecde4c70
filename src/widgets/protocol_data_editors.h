#pragma once
// The editors of the protocol data, as both programs' dialogs lay them out
// under their own names: what they show and what they hold.

#include "protocols/protocol_data.h"

class QCheckBox;
class QLineEdit;

namespace kv {

struct ProtocolDataEditors {
    QCheckBox *autoIncrement;
    QLineEdit *protocolNumber;
    QLineEdit *organisation;
    QLineEdit *verifier;
    QLineEdit *installationNumber;
    QLineEdit *certificateNumber;
    QLineEdit *validFrom;
    QLineEdit *validTo;

    void show(const ProtocolData &data) const;
    ProtocolData read() const;
};

}  // namespace kv
