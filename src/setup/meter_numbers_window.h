#pragma once
// "Номера счетчиков на стендах": the operator types the serial number of every
// meter taking part; "Готово" copies them into the run's MeterNumber.
// Numbers stay in the edits between showings for positions still ticked.

#include <QDialog>

#include <array>

class QLineEdit;
class QPushButton;

namespace kvintor {

class RunState;

class TFNumber : public QDialog
{
    Q_OBJECT
public:
    // As many characters as the archive keeps of a meter number.
    static constexpr int MaxNumberLength = 15;

    explicit TFNumber(RunState &run, QWidget *parent = nullptr);

    // Edit1..Edit30; Edits[s][p] is Edit((s - 1) × 6 + p).
    std::array<QLineEdit *, 31> Edit{};
    std::array<std::array<QLineEdit *, 7>, 6> Edits{};
    QPushButton *Button1 = nullptr;  // "Готово"
    QPushButton *Button2 = nullptr;  // "Закрыть"
    QPushButton *Button3 = nullptr;  // "Очистить"

    void FormShow();
    void Button1Click();
    void Button3Click();

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    RunState &m_run;
};

// Shared by the two position-edit dialogs: an occupied position's edit is
// white and takes input, any other has the menu colour and is empty.
void SetPositionEditUsable(QLineEdit *edit, bool usable);
// The 5 × 6 block of edits labelled "1/1" .. "5/6" inside `parent`.
void BuildPositionEdits(QWidget *parent, std::array<QLineEdit *, 31> &edit,
                        std::array<std::array<QLineEdit *, 7>, 6> &edits);

}  // namespace kvintor
