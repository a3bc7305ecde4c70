#pragma once
// The run setup window: shows a RunSetup and forwards the operator's actions.

#include <QDialog>

#include <array>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QWidget;

namespace kvintor {

class RunSetup;

class TProgramm : public QDialog
{
    Q_OBJECT
public:
    explicit TProgramm(RunSetup &setup, QWidget *parent = nullptr);

    RunSetup &setup() const { return m_setup; }

    // Controls by their names; index = box number or stand number (0 unused).
    std::array<QCheckBox *, 31> C{};
    std::array<QCheckBox *, 6> CheckBoxAll{};  // CheckBox7, CheckBox14, ... CheckBox35
    std::array<QGroupBox *, 6> GroupBox{};
    std::array<QComboBox *, 7> DBLookupComboboxEh{};  // 1..5 types, 6 the test
    std::array<QLineEdit *, 6> DBEditEh{};
    std::array<QLabel *, 6> LCount{};
    std::array<QLineEdit *, 6> Edit{};
    QLabel *LabelTest = nullptr;
    QGroupBox *RGAuto = nullptr;
    std::array<QRadioButton *, 2> RGAutoItems{};
    QWidget *PHandle = nullptr;
    QLabel *LabelRange1 = nullptr, *LabelRange2 = nullptr;      // "Предел по току" / "образцового счетчика"
    QLabel *LabelWinding1 = nullptr, *LabelWinding2 = nullptr;  // "Вторичная обмотка" / "трансформатора тока"
    QRadioButton *RadioButton1 = nullptr, *RadioButton2 = nullptr, *RadioButton3 = nullptr, *RadioButton4 = nullptr;
    QPushButton *Button1 = nullptr, *Button2 = nullptr, *Button3 = nullptr;

    // Shows the setup's state in the controls.
    void syncFromSetup();

    // FormShow, then the window modally (through kv::ui()); the dialog's result.
    int execModal();
    void done(int result) override;  // FormClose on every close

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void bindLookup(QComboBox *box, class RecordTable *table, const QString &textField, const QString &secondField);

    RunSetup &m_setup;
};

}  // namespace kvintor
