#include "control/start_up.h"

#include "core/ui.h"
#include "database/connection.h"
#include "database/file_locks.h"
#include "link/main_window.h"
#include "run/run_window.h"
#include "run/run_windows.h"
#include "setup/data_module.h"
#include "setup/protocol_data_window.h"
#include "setup/reg_table_window.h"
#include "setup/results_window.h"
#include "setup/run_launch.h"
#include "setup/run_setup.h"
#include "setup/run_setup_window.h"
#include "widgets/database_guard.h"

#include <QCoreApplication>
#include <QLocale>
#include <QPlainTextEdit>

#include <clocale>

namespace kvintor {

void UseDecimalPoint()
{
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::OmitGroupSeparator);
    QLocale::setDefault(c);
    std::setlocale(LC_NUMERIC, "C");
}

namespace {

QString optionValue(const QStringList &arguments, const QString &name)
{
    const QString prefix = name + QLatin1Char('=');
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &a = arguments.at(i);
        if (a == name && i + 1 < arguments.size())
            return arguments.at(i + 1);
        if (a.startsWith(prefix))
            return a.mid(prefix.size());
    }
    return {};
}

}  // namespace

QString portArgument(const QStringList &arguments) { return optionValue(arguments, QStringLiteral("--port")); }

QString databaseArgument(const QStringList &arguments)
{
    return optionValue(arguments, QStringLiteral("--database"));
}

KvintorProgram::KvintorProgram() = default;
KvintorProgram::KvintorProgram(KvintorProgram &&) noexcept = default;
KvintorProgram &KvintorProgram::operator=(KvintorProgram &&) noexcept = default;

KvintorProgram::~KvintorProgram()
{
    if (Kvintor) {
        Kvintor->Main().Launcher = nullptr;
        Kvintor->Main().RunOpen = nullptr;
        Kvintor->Main().LeaveRun = nullptr;
    }
    Guard.reset();
    View.reset();
    Run.reset();
    Launcher.reset();
    FdataReport.reset();
    AboutBox.reset();
    RegTable.reset();
    Programm.reset();
    Setup.reset();
    Kvintor.reset();
    DM.reset();
}

KvintorProgram startKvintor(const QStringList &arguments)
{
    UseDecimalPoint();
    KvintorProgram p;
    p.DM = std::make_unique<TDM>();
    const QString error = p.DM->DataModuleCreate(kv::databasePath(arguments));
    if (!error.isEmpty()) {
        kv::ui().error(nullptr, QCoreApplication::applicationName(), error);
        return {};
    }
    p.Kvintor = std::make_unique<TKvintor>(*p.DM, portArgument(arguments), databaseArgument(arguments));
    p.Setup = std::make_unique<RunSetup>(*p.DM);
    p.Programm = std::make_unique<TProgramm>(*p.Setup);
    p.RegTable = std::make_unique<TRegTable>(*p.DM);
    p.AboutBox = std::make_unique<TAboutBox>();
    p.FdataReport = std::make_unique<TFdataReport>();
    p.Launcher = std::make_unique<RunLauncher>(*p.DM, *p.Setup, *p.Programm);

    p.Kvintor->SetAboutBox(p.AboutBox.get());
    p.Kvintor->SetDataReport(p.FdataReport.get());
    p.Kvintor->Main().Launcher = p.Launcher.get();

    // The run window takes the runs the setup hands over; the hidden
    // diagnostics show its frame log too.
    TKvintor *main = p.Kvintor.get();
    p.Run = std::make_unique<RunWindows>(main->Main().Link, *p.DM, p.RegTable.get(), [main] { return main->Main().Tr1; });
    p.Run->Attach(*p.Launcher);
    main->Main().RunOpen = [run = p.Run.get()] { return run->Control.WindowVisible; };
    main->Main().LeaveRun = [run = p.Run.get()] { return run->Control.MainMenu(); };
    // A save made on the way out ("Главное меню" → "Да") is reported where the
    // operator is taken back to; a new run starts without it.
    RunControl *control = &p.Run->Control;
    QObject::connect(control, &RunState::changed, main, [main, control] {
        const QString text = control->WindowVisible ? QString() : control->StatusText;
        if (text == main->Main().LastRunText)
            return;
        main->Main().LastRunText = text;
        main->ShowStatus();
    });
    p.View = AttachResultsViewer(*p.DM, p.Run->Control, &p.Run->FNumber, p.FdataReport.get());
    QPlainTextEdit *runLog = p.Run->Regul.Memo2;
    QObject::connect(main, &TKvintor::DiagnosticsToggled, runLog, [runLog](bool visible) { runLog->setVisible(visible); });
    TDM *dm = p.DM.get();
    p.Guard = std::make_unique<kv::DatabaseGuard>(kv::openedDatabaseFile(), [dm] { return dm->connected(); });
    p.Guard->check();
    return p;
}

}  // namespace kvintor
