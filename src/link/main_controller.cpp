#include "link/main_controller.h"

#include "core/ui.h"
#include "database/engine.h"
#include "link/stand_frames.h"
#include "setup/data_module.h"
#include "setup/run_launch.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

namespace kvintor {

const QString KvintorMain::PortUnavailableText = QStringLiteral("COM порт не доступен. Выберите другой порт");
QString KvintorMain::PortUnavailableMessage(const QString &failure)
{
    return failure.isEmpty() ? PortUnavailableText : PortUnavailableText + QStringLiteral("\n\n") + failure;
}

const QString KvintorMain::BaseMissingText = QStringLiteral("Не найден файл ");
const QString KvintorMain::SettingsWindow = QStringLiteral("Kvintor");

QString KvintorMain::BaseProgramName()
{
#ifdef Q_OS_WIN
    return QStringLiteral("BaseKvintor.exe");
#else
    return QStringLiteral("BaseKvintor");
#endif
}

namespace {

QString caption() { return QCoreApplication::applicationName(); }

QString flagText(bool value) { return value ? QStringLiteral("1") : QStringLiteral("0"); }

}  // namespace

KvintorMain::KvintorMain(TDM &dm, QObject *parent) : QObject(parent), m_dm(dm)
{
    StartDetached = [](const QString &program, const QStringList &arguments, const QString &folder) {
        return QProcess::startDetached(program, arguments, folder);
    };
    // The box waits for the serial port's error handling to finish: an
    // adapter pulled out mid-poll is reported once, and the poll's own
    // watchdog then ends the poll as for a silent installation.
    connect(&Link, &StandLink::PortLost, this, &KvintorMain::ShowPortUnavailable, Qt::QueuedConnection);
}

KvintorMain::~KvintorMain() = default;

void KvintorMain::FormCreate(const QString &portOverride)
{
    StartFolder = QDir::currentPath();
    if (ExecutableFolder.isEmpty())
        ExecutableFolder = QCoreApplication::applicationDirPath();
    Link.RunMode = 0;
    RestoreCheckMarks();
    Link.Comm1.SetDeviceOverride(portOverride);
    SelectPort();
    Link.CommandQueue.clear();
    Link.AwaitAck = false;
}

void KvintorMain::RestoreCheckMarks()
{
    auto flag = [this](const char *name, bool defaultValue) {
        const QString v = m_dm.storedProperty(SettingsWindow, QLatin1String(name) + QStringLiteral(".Checked"),
                                              flagText(defaultValue));
        return v == QLatin1String("1");
    };
    Mcom1 = flag("Mcom1", true);
    MCom2 = flag("MCom2", false);
    Tr1 = flag("Tr1", true);
    Tr2 = flag("Tr2", false);
    // A hand-edited or half-written store may check both items of a pair or
    // neither; the pair then starts from its first item, as on a first start.
    if (Mcom1 == MCom2) {
        Mcom1 = true;
        MCom2 = false;
    }
    if (Tr1 == Tr2) {
        Tr1 = true;
        Tr2 = false;
    }
    Q_EMIT CheckMarksChanged();
}

void KvintorMain::StoreCheckMarks()
{
    m_dm.storeProperty(SettingsWindow, QStringLiteral("Mcom1.Checked"), flagText(Mcom1));
    m_dm.storeProperty(SettingsWindow, QStringLiteral("MCom2.Checked"), flagText(MCom2));
    m_dm.storeProperty(SettingsWindow, QStringLiteral("Tr1.Checked"), flagText(Tr1));
    m_dm.storeProperty(SettingsWindow, QStringLiteral("Tr2.Checked"), flagText(Tr2));
}

void KvintorMain::SelectPort()
{
    if (Mcom1)
        Link.Comm1.SetComNo(Com1);
    else if (MCom2)
        Link.Comm1.SetComNo(Com2);
    Link.Comm1.Purge();
    if (!Link.Comm1.IsOpen())
        Link.Comm1.Open();
    if (!Link.Comm1.IsOpen())
        ShowPortUnavailable();
}

QString KvintorMain::StatusText(bool standsAnswered) const
{
    const bool open = Link.Comm1.IsOpen();
    QString text = LastRunText.isEmpty() ? QString() : LastRunText + QStringLiteral("    ");
    text += QStringLiteral("Порт: ") + (Mcom1 ? QStringLiteral("Com 1") : QStringLiteral("Com 2")) +
                   QStringLiteral(" (") + Link.Comm1.DevicePath() + QLatin1Char(')');
    if (!open)
        text += QStringLiteral(", не открыт");
    const QSqlDatabase db = m_dm.database();
    const bool file = kv::engineOf(db) == kv::Engine::SQLite;
    const QString database = db.databaseName();
    text += QStringLiteral("    База данных: ") + (file ? QDir::toNativeSeparators(database)
                                                       : kv::describeDatabase(kv::databaseLocation(db)));
    // Protocols go below the working folder: named when the database lies elsewhere.
    if (!StartFolder.isEmpty() && (!file || QFileInfo(database).absolutePath() != QDir(StartFolder).absolutePath()))
        text += QStringLiteral("    Рабочая папка: ") + QDir::toNativeSeparators(StartFolder);
    text += QStringLiteral("    Далее: ");
    if (!open)
        text += QStringLiteral("выберите порт в меню «Сервис»");
    else if (!standsAnswered)
        text += QStringLiteral("Опросите стенды");
    else
        text += QStringLiteral("выберите режим в меню «Проверка»");
    return text;
}

void KvintorMain::ShowPortUnavailable()
{
    kv::ui().message(nullptr, caption(), PortUnavailableMessage(Link.Comm1.FailureText()), kv::Icon::Warning,
                     QMessageBox::Ok, QMessageBox::Ok);
}

void KvintorMain::ChoosePort(int port)
{
    const bool first = port == 1;
    // The operator picked the other port: the device of --port belonged to
    // the one checked at start.
    if (first != Mcom1)
        Link.Comm1.SetDeviceOverride({});
    Mcom1 = first;
    MCom2 = !first;
    StoreCheckMarks();
    Q_EMIT CheckMarksChanged();
    SelectPort();
}

void KvintorMain::ChooseTransformer(int transformer)
{
    Tr1 = transformer == 1;
    Tr2 = !Tr1;
    StoreCheckMarks();
    Q_EMIT CheckMarksChanged();
}

void KvintorMain::SendAuto() { Link.SendFrame(AutoRequest()); }

QStringList KvintorMain::BaseProgramCandidates() const
{
    QStringList list;
    for (const QString &folder : {ExecutableFolder, StartFolder}) {
        if (folder.isEmpty())
            continue;
        const QString path = QDir::cleanPath(QDir(folder).filePath(BaseProgramName()));
        if (!list.contains(path))
            list << path;
    }
    return list;
}

bool KvintorMain::ABaseExecute()
{
    const QStringList candidates = BaseProgramCandidates();
    QString program;
    for (const QString &path : candidates) {
        const QFileInfo info(path);
        if (info.isFile() && info.isExecutable()) {
            program = path;
            break;
        }
    }
    if (program.isEmpty()) {
        // Named where the installation puts it.
        const QString expected = candidates.isEmpty() ? BaseProgramName() : candidates.first();
        kv::ui().error(nullptr, caption(), BaseMissingText + QDir::toNativeSeparators(expected));
        return false;
    }
    // Both programs may have the file open; the control program lets go so
    // that everything edited there is read afresh at the next run. An open
    // run keeps it: closing would empty its test rows and fail its save, and
    // the next run reads the reference data again anyway.
    if (!RunOpen || !RunOpen())
        m_dm.closeConnection();
    QStringList arguments;
    if (!DatabaseArgument.isEmpty())
        arguments << QStringLiteral("--database")
                  << (kv::isServerLocation(DatabaseArgument) ? DatabaseArgument : QFileInfo(DatabaseArgument).absoluteFilePath());
    if (!StartDetached(program, arguments, QDir::currentPath())) {
        kv::ui().error(nullptr, caption(),
                       QStringLiteral("Не удалось запустить файл ") + QDir::toNativeSeparators(program));
        return false;
    }
    return true;
}

bool KvintorMain::StartRun(int runMode)
{
    // Set before the run setup is shown: from here on answers no longer mark stands.
    Link.RunMode = runMode;
    if (!Launcher)
        return false;
    return Launcher->start(runMode, Link.StandPresent, Tr1);
}

bool KvintorMain::MayClose()
{
    if (m_closed || !RunOpen || !RunOpen() || !LeaveRun)
        return true;
    return LeaveRun();
}

void KvintorMain::FormClose()
{
    if (m_closed)
        return;
    m_closed = true;
    Link.ResetQueue();
    Link.SendAutoAndWait();
}

}  // namespace kvintor
