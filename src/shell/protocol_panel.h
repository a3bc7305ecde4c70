#pragma once
// "Данные для протокола" of the database program: the panel lives as long as
// the main window, loads the shared values when created and whenever shown,
// and stores them whenever it closes, however it is closed. The protocol
// builders read its controls as they stand.

#include "protocols/protocol_data.h"
#include "widgets/protocol_data_editors.h"

#include <QDialog>

class QCheckBox;
class QLineEdit;

namespace basekvintor {

class TSFDataProt : public QDialog
{
    Q_OBJECT
public:
    explicit TSFDataProt(QWidget *parent = nullptr);

    // The values as the controls hold them now.
    kv::ProtocolData data() const;
    void setData(const kv::ProtocolData &data);

    void load();   // from the settings into the controls
    void store();  // from the controls into the settings

    // After a protocol: advances the number when auto-increment is on and
    // stores it at once. A number text that cannot be read throws kv::ConversionError.
    void AdvanceProtocolNumber();

    QCheckBox *CBAuto;
    QLineEdit *ENumProt;
    QLineEdit *EPPover;
    QLineEdit *EMakerPov;
    QLineEdit *ENumUst;
    QLineEdit *ENumSv;
    QLineEdit *Eot;
    QLineEdit *EDo;

public Q_SLOTS:
    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    kv::ProtocolDataEditors editors() const
    {
        return {CBAuto, ENumProt, EPPover, EMakerPov, ENumUst, ENumSv, Eot, EDo};
    }
};

}  // namespace basekvintor
