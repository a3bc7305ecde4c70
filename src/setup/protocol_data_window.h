#pragma once
// "Данные для протокола" of the control program. The protocols read the
// current texts of its controls, so the one dialog lives as long as the program.

#include "protocols/protocol_data.h"
#include "widgets/protocol_data_editors.h"

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace kvintor {

class TFdataReport : public QDialog
{
    Q_OBJECT
public:
    explicit TFdataReport(QWidget *parent = nullptr);  // FormCreate loads the values

    QCheckBox *CBAuto = nullptr;
    QLineEdit *ENumProt = nullptr;
    QLineEdit *EPPover = nullptr;
    QLineEdit *EMakerPov = nullptr;
    QLineEdit *ENumUst = nullptr;
    QLineEdit *ENumSv = nullptr;
    QLineEdit *Eot = nullptr;
    QLineEdit *EDo = nullptr;
    QPushButton *ButtonOK = nullptr;

    // The controls' contents as the protocols read them.
    kv::ProtocolData data() const;
    void load();   // from the settings into the controls
    void store();  // from the controls into the settings
    // After each protocol: with auto-increment on, the number goes up by one
    // and is stored at once.
    void AdvanceProtocolNumber();

    void done(int result) override;  // FormClose: every close stores

protected:
    void showEvent(QShowEvent *event) override;  // FormShow loads again
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showData(const kv::ProtocolData &d);
    kv::ProtocolDataEditors editors() const
    {
        return {CBAuto, ENumProt, EPPover, EMakerPov, ENumUst, ENumSv, Eot, EDo};
    }
};

}  // namespace kvintor
