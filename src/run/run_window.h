#pragma once
// TRegul, the window in which a run takes place: the meters' fields of the
// five stands, the current point, the countdown and the run's buttons. It
// draws a RunControl and forwards the operator's actions to it.

#include <QWidget>

#include <array>

class QAction;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace kvintor {

class RunControl;

class TRegul : public QWidget
{
    Q_OBJECT
public:
    explicit TRegul(RunControl &run, QWidget *parent = nullptr);

    RunControl &Run() const { return m_run; }

    // Position fields by stand and position; each carries its tag 10 × s + p.
    std::array<std::array<QLineEdit *, 7>, 6> MeterEdit{};
    std::array<QPushButton *, 6> ResetButton{};  // "Сброс", tag = stand
    std::array<QGroupBox *, 6> StandGroup{};
    QLabel *LPointCaption = nullptr;  // "Точка номер"
    QLabel *LPoint = nullptr;
    QPlainTextEdit *Memo1 = nullptr;  // the point's description
    QFrame *PTime = nullptr;          // the countdown panel
    QLabel *LWait1 = nullptr, *LWait2 = nullptr;  // "  Время ожидания" / "ответа от счётчиков"
    QLabel *LTest1 = nullptr, *LTest2 = nullptr;  // "   Время проведения " / "дополнительного теста"
    QLabel *LTime = nullptr;
    QPushButton *BNext = nullptr;      // "Следующая точка"
    QPushButton *BSelect = nullptr;    // "Выбор точки"
    QPushButton *BTNumber = nullptr;   // "Номера счетчиков "
    QPushButton *BTResult = nullptr;   // "Результат поверки"
    QPushButton *BCurves = nullptr;    // "Кривые погрешности" (a verification)
    QPushButton *BReady = nullptr;     // "Готово"
    QPushButton *BNewTest = nullptr;   // "Повторить поверку"
    QPushButton *BMainMenu = nullptr;  // "Главное меню"
    QAction *AClearCH = nullptr;       // "Сброс счетчика"
    QAction *Anorma = nullptr;         // "Норма"
    QAction *Anot = nullptr;           // "Нет"
    QPlainTextEdit *Memo2 = nullptr;   // the frame log, hidden
    QLabel *LStatus = nullptr;         // what the run's last action did (the archive save)

    // The pop-up menu's items for the field with this tag, as it would open.
    QList<QAction *> PopupActions(int tag);
    // Shows the run state.
    void Sync();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void syncField(int stand, int position);
    void popup(QLineEdit *field, const QPoint &at);

    RunControl &m_run;
};

}  // namespace kvintor
