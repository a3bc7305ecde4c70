#pragma once
// "Установите параметры точки": shows what the point demands; the operator
// sets the source by hand and confirms with "Установлено". The radio pair
// offered depends on the current transformer; their states are kept in the
// settings. Both waits of the dialog are timers, so nothing freezes.

#include <QDialog>
#include <QStringList>
#include <QTimer>

#include <functional>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QWidget;

namespace kvintor {

class RunState;
class TDM;

class TParam_p : public QDialog
{
    Q_OBJECT
public:
    static constexpr int WaitMs = 500;

    TParam_p(RunState &run, TDM &dm, QWidget *parent = nullptr);

    // Discards what waits on the serial port (the stand link's Purge).
    std::function<void()> Purge;

    QPlainTextEdit *Memo1 = nullptr;
    QWidget *RangePanel = nullptr;    // "Предел по току" / "образцового счетчика", 1A / 5A
    QWidget *WindingPanel = nullptr;  // "Вторичная обмотка" / "трансформатора тока", 1A / 2,5A
    QRadioButton *RadioButton1 = nullptr, *RadioButton2 = nullptr;
    QRadioButton *RadioButton3 = nullptr, *RadioButton4 = nullptr;
    QPushButton *BitBtn1 = nullptr;   // "Установлено"

    // The caller's part before showing: the description and the transformer
    // ("И561" checked: tr1).
    void Prepare(const QStringList &lines, bool tr1);
    // Shows the pair of the transformer; "Установлено" waits WaitMs before it is offered.
    void FormShow();
    void BitBtn1Click();
    // Expiries of the two waits.
    void OnShowTimer();
    void OnCloseTimer();
    QTimer ShowTimer;
    QTimer CloseTimer;

    // No close box and no other way out than "Установлено".
    void reject() override {}

protected:
    void showEvent(QShowEvent *event) override;

private:
    void storeRadios();
    void restoreRadios();

    RunState &m_run;
    TDM &m_dm;
    bool m_tr1 = true;
};

}  // namespace kvintor
