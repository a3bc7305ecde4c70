#pragma once
// What the main window TKvintor does, without its widgets: the stand link it
// owns, the port and current-transformer choices kept in the settings, the
// poll, the start of the database program and the start of a run. The window
// builds the menus, shows the link's state and forwards every action here.

#include "link/stand_link.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

namespace kvintor {

class RunLauncher;
class TDM;

class KvintorMain : public QObject
{
    Q_OBJECT
public:
    static const QString PortUnavailableText;  // "COM порт не доступен. Выберите другой порт"
    // That text, then the device and the reason (TMyCommRTS::FailureText).
    static QString PortUnavailableMessage(const QString &failure);
    static const QString BaseMissingText;      // "Не найден файл "
    // The settings sub-key of the main window's stored check marks.
    static const QString SettingsWindow;
    // The database program's file name on this platform.
    static QString BaseProgramName();

    explicit KvintorMain(TDM &dm, QObject *parent = nullptr);
    ~KvintorMain() override;

    TDM &dm() const { return m_dm; }

    // The port, the receiver and the sequencer with its timers.
    StandLink Link;

    // The current folder when the window was created; the database program
    // is looked for beside this program first, then here.
    QString StartFolder;
    QString ExecutableFolder;
    // The --database argument as given (empty without one): the database
    // program is told to open the same file.
    QString DatabaseArgument;

    // The check marks of "Com 1", "Com 2", "И561", "671111.104".
    bool Mcom1 = true;
    bool MCom2 = false;
    bool Tr1 = true;
    bool Tr2 = false;

    // The run setup and the hand-off to the run; null until created.
    RunLauncher *Launcher = nullptr;
    // Whether a run's window is open (may be empty: none is). Such a run
    // reads its test rows and saves through the data module's connection.
    std::function<bool()> RunOpen;
    // The run window's way out ("Главное меню"), asked before the program
    // ends with a run open: true when the run let go. An unsaved verification
    // asks whether to save it first, and "Отмена" keeps the program open.
    std::function<bool()> LeaveRun;
    // How a detached process is started; tests may replace it.
    std::function<bool(const QString &program, const QStringList &arguments, const QString &folder)> StartDetached;

    // Creation of the main window: start folder, RunMode 0, the stored check
    // marks, then SelectPort on `portOverride` (the --port device) when given.
    void FormCreate(const QString &portOverride = {});

    void RestoreCheckMarks();
    void StoreCheckMarks();

    // The main window's status line: the checked port and its device (and
    // whether it is open), the database file, and what the operator does
    // next: choose a port, poll the stands until one has answered, then pick
    // a check. `standsAnswered`: a poll found a stand.
    QString StatusText(bool standsAnswered) const;
    // What the last run window left to say when it closed (its archive save),
    // shown first in the status line; the run window itself is gone by then.
    QString LastRunText;

    // Opens the checked port; "COM порт не доступен. Выберите другой порт" when it cannot be opened.
    void SelectPort();
    // "Com 1" (1) / "Com 2" (2). Choosing the other port also drops a --port device.
    void ChoosePort(int port);
    // "И561" (1) / "671111.104" (2); only the marks change.
    void ChooseTransformer(int transformer);

    void ClearStands() { Link.ClearStands(); }
    // "Опросить стенды".
    void AReplyExecute() { Link.StartPoll(); }
    // The hidden "авто": the Auto request to all stands.
    void SendAuto();
    // The hidden "Включить": every stand present, "Проверка" open, without a poll.
    void MarkAllStandsPresent() { Link.MarkAllStandsPresent(); }

    // Where the database program would be looked for, in order.
    QStringList BaseProgramCandidates() const;
    // "База данных": true when the database program was started.
    bool ABaseExecute();

    // "Ручная" (3), "Регулировка" (1), "Поверка" (2). True when the run was handed over.
    bool StartRun(int runMode);

    // Whether the program may end now: an open run is left first as its own
    // "Главное меню" leaves it.
    bool MayClose();
    // Closing the main window: the timers stop and every stand gets the Auto
    // request before the program ends. Runs once.
    void FormClose();
    bool Closed() const { return m_closed; }

Q_SIGNALS:
    void CheckMarksChanged();

private:
    void ShowPortUnavailable();

    TDM &m_dm;
    bool m_closed = false;
};

}  // namespace kvintor
