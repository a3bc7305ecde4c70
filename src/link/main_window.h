#pragma once
// TKvintor, the main window of the control program: the five stand captions,
// the poll notice, the menus, and the hidden diagnostics. Its rules live in
// KvintorMain; the window shows the link's state and forwards the actions.

#include "link/main_controller.h"

#include <QDialog>
#include <QMainWindow>

#include <array>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;

namespace kvintor {

class TDM;
class TFdataReport;

// "О программе".
class TAboutBox : public QDialog
{
    Q_OBJECT
public:
    explicit TAboutBox(QWidget *parent = nullptr);
};

class TKvintor : public QMainWindow, public StandLinkView
{
    Q_OBJECT
public:
    static const QString Caption;  // "Установка для регулировки и поверки счетчиков Kvintor"
    // Lines kept in the frame log; older ones scroll away.
    static constexpr int FrameLogLines = 2000;

    // FormCreate runs here: `portOverride` is the --port device, `databaseArgument` the --database path.
    TKvintor(TDM &dm, const QString &portOverride = {}, const QString &databaseArgument = {},
             QWidget *parent = nullptr);
    ~TKvintor() override;

    KvintorMain &Main() { return m_main; }
    StandLink &Link() { return m_main.Link; }

    // Opened by the menu items; not owned.
    void SetAboutBox(TAboutBox *box) { m_about = box; }
    void SetDataReport(TFdataReport *dialog) { m_dataReport = dialog; }

    // StandLinkView
    void SetStandCaptionEnabled(int stand, bool enabled) override;
    bool StandCaptionEnabled(int stand) const override;
    void SetCheckMenuEnabled(bool enabled) override;
    void SetPollNoticeVisible(bool visible) override;
    void SetPollActionsEnabled(bool enabled) override;

    // The hidden label's double click.
    void ToggleDiagnostics();
    bool DiagnosticsVisible() const { return m_diagnostics; }

    // Controls by their names; the captions by stand number (0 unused).
    std::array<QLabel *, 6> LabelStand{};
    QLabel *LabelWait = nullptr;  // "Подождите идет опрос стендов !"
    QLabel *LabelHidden = nullptr;
    QLabel *LStatus = nullptr;  // the status line: port, database, next step
    QPlainTextEdit *Memo2 = nullptr;
    QLineEdit *Edit1 = nullptr;  // echo of the last frame received
    QPushButton *ButtonPoll = nullptr;    // "Опрос"
    QPushButton *ButtonAuto = nullptr;    // "авто"
    QPushButton *ButtonEnable = nullptr;  // "Включить"

    QAction *AReply = nullptr;  // "Опросить стенды"
    QAction *ABase = nullptr;   // "База данных"
    QAction *AExit = nullptr;   // "Выход"
    QMenu *MCheck = nullptr;    // "&Проверка"
    QAction *AManual = nullptr;  // "Ручная"
    QAction *ARegul = nullptr;   // "Регулировка"
    QAction *APover = nullptr;   // "Поверка"
    QAction *Mcom1 = nullptr;    // "Com 1"
    QAction *MCom2 = nullptr;    // "Com 2"
    QAction *Tr1 = nullptr;      // "И561"
    QAction *Tr2 = nullptr;      // "671111.104"
    QAction *ADataReport = nullptr;  // "Данные для протокола"
    QAction *AAbout = nullptr;       // "О программе"

Q_SIGNALS:
    // The run window shows or hides its own frame log with the main window's.
    void DiagnosticsToggled(bool visible);
    // The other windows live as long as the program; closing this one ends it.
    void FormClosed();

public:
    // The status line: the last run's save, the port, the database, the next step.
    void ShowStatus();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void BuildMenus();
    void BuildContents();
    void ShowCheckMarks();

    KvintorMain m_main;
    TAboutBox *m_about = nullptr;
    TFdataReport *m_dataReport = nullptr;
    bool m_diagnostics = false;
};

}  // namespace kvintor
