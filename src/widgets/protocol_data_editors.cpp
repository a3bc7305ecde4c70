#include "widgets/protocol_data_editors.h"

#include <QCheckBox>
#include <QLineEdit>

namespace kv {

void ProtocolDataEditors::show(const ProtocolData &d) const
{
    autoIncrement->setChecked(d.autoIncrement);
    protocolNumber->setText(d.protocolNumber);
    organisation->setText(d.organisation);
    verifier->setText(d.verifier);
    installationNumber->setText(d.installationNumber);
    certificateNumber->setText(d.certificateNumber);
    validFrom->setText(d.validFrom);
    validTo->setText(d.validTo);
}

ProtocolData ProtocolDataEditors::read() const
{
    ProtocolData d;
    d.autoIncrement = autoIncrement->isChecked();
    d.protocolNumber = protocolNumber->text();
    d.organisation = organisation->text();
    d.verifier = verifier->text();
    d.installationNumber = installationNumber->text();
    d.certificateNumber = certificateNumber->text();
    d.validFrom = validFrom->text();
    d.validTo = validTo->text();
    return d;
}

}  // namespace kv
