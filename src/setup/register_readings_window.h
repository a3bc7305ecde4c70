#pragma once
// "Показания  счетных устройств": before a register test the operator types
// each occupied meter's register reading; "Готово" puts them into the run's
// position fields. No close box and no cancel: every field must be filled.

#include <QChar>
#include <QDialog>
#include <QString>

#include <array>

class QLineEdit;
class QPushButton;

namespace kvintor {

class RunState;

// A key typed into a reading: the character to insert, or a null QChar when
// the key is dropped. "," and "." become the decimal point (once per text);
// digits and backspace pass; anything else, Enter included, is dropped.
QChar RegisterReadingKey(const QString &text, QChar key);
// The reading as a number again: invalid or empty text becomes "0".
QString NormalisedReading(const QString &text);

class TfPokas : public QDialog
{
    Q_OBJECT
public:
    explicit TfPokas(RunState &run, QWidget *parent = nullptr);

    std::array<QLineEdit *, 31> Edit{};
    std::array<std::array<QLineEdit *, 7>, 6> Edits{};
    QPushButton *Button2 = nullptr;  // "Готово"

    void FormShow();
    void Button2Click();
    // Typed into edit n: handles the key as the rules say; true when it was consumed.
    bool Edit1KeyPress(QLineEdit *edit, QChar key);
    void Edit1Exit(QLineEdit *edit);

    // Esc does not leave the dialog.
    void reject() override {}

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    RunState &m_run;
};

}  // namespace kvintor
