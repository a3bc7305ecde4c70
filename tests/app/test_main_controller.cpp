// The main window's rules without its widgets: the stored check marks, the
// choice of port, the start of the database program and of a run, closing,
// and the decimal point.

#include "control/start_up.h"
#include "core/settings.h"
#include "core/ui.h"
#include "link/fake_view.h"
#include "link/main_controller.h"
#include "link/stand_frames.h"
#include "protocols/text_convert.h"
#include "setup/data_module.h"
#include "setup/run_launch.h"
#include "setup/run_setup.h"
#include "setup/run_setup_window.h"
#include "stand_server.h"
#include "support/test_env.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocale>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <clocale>
#include <cstdio>

using namespace kvintor;

namespace {

struct Fixture {
    kvtest::TempSettings settings;
    kvtest::TempDatabase db{QStringLiteral("fixture"), true};
    std::unique_ptr<TDM> dm = std::make_unique<TDM>();
    FakeView view;

    std::unique_ptr<KvintorMain> make()
    {
        auto main = std::make_unique<KvintorMain>(*dm);
        main->Link.SetView(&view);
        return main;
    }
};

// An executable shell script that writes its folder and arguments to `out`.
void writeScript(const QString &path, const QString &out)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QStringLiteral("#!/bin/sh\necho \"$(pwd) $*\" > '%1'\n").arg(out).toUtf8());
    f.close();
    f.setPermissions(f.permissions() | QFile::ExeOwner | QFile::ExeUser);
}

QString waitForText(const QString &path)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 10000) {
        QFile f(path);
        if (f.open(QIODevice::ReadOnly)) {
            const QString text = QString::fromUtf8(f.readAll()).trimmed();
            if (!text.isEmpty())
                return text;
        }
        QTest::qWait(20);
    }
    return {};
}

}  // namespace

class TestMainController : public QObject
{
    Q_OBJECT

    std::unique_ptr<Fixture> fx;

private Q_SLOTS:
    void init()
    {
        fx = std::make_unique<Fixture>();
        QCOMPARE(fx->dm->DataModuleCreate(fx->db.path()), QString());
        // No test may open a serial device of the machine it runs on.
        kv::setSettingText(QStringLiteral("Ports"), QStringLiteral("Com1"), fx->settings.folder() + QStringLiteral("/no-com1"));
        kv::setSettingText(QStringLiteral("Ports"), QStringLiteral("Com2"), fx->settings.folder() + QStringLiteral("/no-com2"));
    }
    void cleanup() { fx.reset(); }

    void checkMarksSurviveARestartAndABrokenStoreFallsBackToTheFirstItems()
    {
        kv::ScopedRecordingUi rec;
        {
            auto main = fx->make();
            main->RestoreCheckMarks();
            // First start: "Com 1" and "И561".
            QVERIFY(main->Mcom1 && !main->MCom2 && main->Tr1 && !main->Tr2);
            main->ChoosePort(2);
            main->ChooseTransformer(2);
            QVERIFY(!main->Mcom1 && main->MCom2 && !main->Tr1 && main->Tr2);
        }
        fx->settings.restart();
        QCOMPARE(kv::settingText(KvintorMain::SettingsWindow, QStringLiteral("MCom2.Checked")), QStringLiteral("1"));
        QCOMPARE(kv::settingText(KvintorMain::SettingsWindow, QStringLiteral("Tr1.Checked")), QStringLiteral("0"));
        {
            auto main = fx->make();
            QSignalSpy changed(main.get(), &KvintorMain::CheckMarksChanged);
            main->FormCreate();
            QVERIFY(!main->Mcom1 && main->MCom2 && !main->Tr1 && main->Tr2);
            QVERIFY(changed.count() >= 1);
            QCOMPARE(main->Link.Comm1.ComNo(), Com2);
            // The transformer choice changes nothing but the marks.
            main->ChooseTransformer(1);
            QVERIFY(main->Tr1 && !main->Tr2 && main->MCom2);
        }
        // Both items of a pair checked, or neither: the pair starts from its first item.
        kv::setSettingText(KvintorMain::SettingsWindow, QStringLiteral("Mcom1.Checked"), QStringLiteral("1"));
        kv::setSettingText(KvintorMain::SettingsWindow, QStringLiteral("MCom2.Checked"), QStringLiteral("1"));
        kv::setSettingText(KvintorMain::SettingsWindow, QStringLiteral("Tr1.Checked"), QStringLiteral("0"));
        kv::setSettingText(KvintorMain::SettingsWindow, QStringLiteral("Tr2.Checked"), QStringLiteral("0"));
        auto main = fx->make();
        main->RestoreCheckMarks();
        QVERIFY(main->Mcom1 && !main->MCom2 && main->Tr1 && !main->Tr2);
    }

    void aMissingPortIsReportedOnceAndTheOtherPortOpensWithoutARestart()
    {
        kv::ScopedRecordingUi rec;
        kvstands::StandServer com2;
        QCOMPARE(com2.OpenPty(), QString());
        kv::setSettingText(QStringLiteral("Ports"), QStringLiteral("Com2"), com2.SlavePath());
        kv::setSettingText(KvintorMain::SettingsWindow, QStringLiteral("Mcom1.Checked"), QStringLiteral("1"));
        kv::setSettingText(KvintorMain::SettingsWindow, QStringLiteral("MCom2.Checked"), QStringLiteral("0"));

        auto main = fx->make();
        main->FormCreate();
        // The device and the reason follow the refusal.
        const QString missing = KvintorMain::PortUnavailableText + QStringLiteral("\n\nУстройство: ") +
                                fx->settings.folder() + QStringLiteral("/no-com1\nПричина: устройство не найдено");
        QCOMPARE(rec->texts().size(), 1);
        QVERIFY2(rec->texts().first().startsWith(missing), qPrintable(rec->texts().first()));
        QCOMPARE(rec->boxes().first().icon, kv::Icon::Warning);
        QVERIFY(!main->Link.Comm1.IsOpen());
        // With the port closed the poll still runs to its watchdog; sends do nothing.
        main->AReplyExecute();
        QVERIFY(!fx->view.actions);

        rec->clear();
        main->Link.ResetQueue();
        main->ChoosePort(2);
        QVERIFY(main->Link.Comm1.IsOpen());
        QCOMPARE(main->Link.Comm1.DevicePath(), com2.SlavePath());
        QVERIFY(rec->boxes().isEmpty());
        // The checked port chosen again stays open.
        main->ChoosePort(2);
        QVERIFY(main->Link.Comm1.IsOpen());
        QVERIFY(rec->boxes().isEmpty());
        // Back to the missing one: closed again, and said so.
        main->ChoosePort(1);
        QVERIFY(!main->Link.Comm1.IsOpen());
        QCOMPARE(rec->texts().size(), 1);
        QVERIFY(rec->texts().first().startsWith(missing));
    }

    void thePortOptionServesTheStartUntilTheOperatorPicksTheOtherPort()
    {
        kv::ScopedRecordingUi rec;
        kvstands::StandServer given, com2;
        QCOMPARE(given.OpenPty(), QString());
        QCOMPARE(com2.OpenPty(), QString());
        kv::setSettingText(QStringLiteral("Ports"), QStringLiteral("Com2"), com2.SlavePath());
        auto main = fx->make();
        main->FormCreate(given.SlavePath());
        QVERIFY(rec->boxes().isEmpty());
        QCOMPARE(main->Link.Comm1.DevicePath(), given.SlavePath());
        main->ChoosePort(1);  // already checked: stays on the given device
        QCOMPARE(main->Link.Comm1.DevicePath(), given.SlavePath());
        QVERIFY(main->Link.Comm1.IsOpen());
        main->ChoosePort(2);
        QCOMPARE(main->Link.Comm1.DevicePath(), com2.SlavePath());
        QVERIFY(main->Link.Comm1.IsOpen());
        QVERIFY(rec->boxes().isEmpty());

        QCOMPARE(portArgument({QStringLiteral("Kvintor"), QStringLiteral("--port"), QStringLiteral("/dev/ttyUSB0")}),
                 QStringLiteral("/dev/ttyUSB0"));
        QCOMPARE(portArgument({QStringLiteral("--port=/dev/pts/4")}), QStringLiteral("/dev/pts/4"));
        QCOMPARE(portArgument({QStringLiteral("--port")}), QString());
        QCOMPARE(databaseArgument({QStringLiteral("--database"), QStringLiteral("a.sqlite")}), QStringLiteral("a.sqlite"));
    }

    // Protocols go below the working folder: the status line names it when
    // the database (a file chosen on a menu start) lies elsewhere.
    void theStatusLineNamesTheWorkingFolderOnlyWhenTheDatabaseLiesElsewhere()
    {
        kv::ScopedRecordingUi rec;
        auto main = fx->make();
        main->FormCreate(QStringLiteral("/nonexistent/tty"));
        main->StartFolder = fx->db.folder();
        QVERIFY2(!main->StatusText(false).contains(QStringLiteral("Рабочая папка")), qPrintable(main->StatusText(false)));
        QTemporaryDir other;
        main->StartFolder = other.path();
        QVERIFY2(main->StatusText(false).contains(QStringLiteral("Рабочая папка: ") + QDir::toNativeSeparators(other.path())),
                 qPrintable(main->StatusText(false)));
    }

    void theDatabaseProgramIsLookedForBesideThisProgramThenInTheStartFolder()
    {
        kv::ScopedRecordingUi rec;
        QTemporaryDir installed, start, out;
        auto main = fx->make();
        main->ExecutableFolder = installed.path();
        main->FormCreate(QStringLiteral("/nonexistent/tty"));
        main->StartFolder = start.path();
        rec->clear();

        // Nowhere: the message names where the installation puts it; nothing else changes.
        QVERIFY(!main->ABaseExecute());
        const QString expected = QDir(installed.path()).filePath(KvintorMain::BaseProgramName());
        QCOMPARE(rec->texts(), QStringList{KvintorMain::BaseMissingText + expected});
        QCOMPARE(rec->boxes().first().icon, kv::Icon::Error);
        QVERIFY(fx->dm->connected());
        rec->clear();

        // In the start folder only: started from there, in the current folder,
        // told the database named at start, with the connection closed first.
        const QString marker = out.filePath(QStringLiteral("started"));
        writeScript(QDir(start.path()).filePath(KvintorMain::BaseProgramName()), marker);
        main->DatabaseArgument = fx->db.path();
        QVERIFY(main->ABaseExecute());
        QVERIFY(!fx->dm->connected());
        QVERIFY(!fx->dm->ADOMeasure->active());
        QCOMPARE(waitForText(marker), QDir::currentPath() + QStringLiteral(" --database ") + fx->db.path());
        QVERIFY(rec->boxes().isEmpty());

        // Beside this program wins; without --database nothing is passed on.
        const QString marker2 = out.filePath(QStringLiteral("started2"));
        writeScript(expected, marker2);
        main->DatabaseArgument.clear();
        QVERIFY(main->ABaseExecute());
        QCOMPARE(waitForText(marker2), QDir::currentPath());

        // A file that is there but will not start is said so too.
        QFile::setPermissions(expected, QFile::ReadOwner | QFile::WriteOwner);
        QFile::remove(QDir(start.path()).filePath(KvintorMain::BaseProgramName()));
        QVERIFY(!main->ABaseExecute());
        QCOMPARE(rec->boxes().size(), 1);
        QVERIFY(rec->texts().first().startsWith(KvintorMain::BaseMissingText));

        // The next run opens the connection again.
        RunSetup setup(*fx->dm);
        TProgramm window(setup);
        RunLauncher launcher(*fx->dm, setup, window);
        main->Launcher = &launcher;
        rec->clear();
        QVERIFY(!main->StartRun(ModeVerification));  // the setup is cancelled
        QCOMPARE(main->Link.RunMode, int(ModeVerification));
        QCOMPARE(rec->dialogsShown(), 1);
        QVERIFY(fx->dm->connected());
        QVERIFY(fx->dm->ADOTestBuf->active());
    }

    void closingSendsTheAutoRequestOnce()
    {
        kv::ScopedRecordingUi rec;
        kvstands::StandServer stands;
        QCOMPARE(stands.OpenPty(), QString());
        auto main = fx->make();
        main->FormCreate(stands.SlavePath());
        QList<QByteArray> sent;
        connect(&main->Link, &StandLink::FrameQueued, this, [&](const QByteArray &f) { sent << f; });
        main->Link.StartPoll();
        main->FormClose();
        QVERIFY(main->Closed());
        main->FormClose();
        QCOMPARE(sent, (QList<QByteArray>{AutoRequest(), AutoRequest()}));  // the poll's, then the closing one
        QVERIFY(!main->Link.T3.isActive() && !main->Link.T02.isActive());
        QTRY_VERIFY(stands.Model().FramesReceived().size() >= 2);
        QCOMPARE(stands.Model().FramesReceived().last(), AutoRequest());
    }

    void numbersUseThePointWhateverTheRegionalSettings()
    {
        QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
        QCOMPARE(kv::NumberToText(0.5), QStringLiteral("0,5"));
        const bool cRussian = std::setlocale(LC_NUMERIC, "ru_RU.UTF-8") != nullptr;
        UseDecimalPoint();
        QCOMPARE(kv::NumberToText(0.5), QStringLiteral("0.5"));
        QCOMPARE(QLocale().toString(1234.5), QStringLiteral("1234.5"));
        QCOMPARE(kv::TextToNumber(QStringLiteral("1.25")), 1.25);
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.2f", 1.5);
        QCOMPARE(QByteArray(buf), QByteArray("1.50"));
        if (!cRussian)
            qInfo("no Russian C locale installed; the C library part was checked against the default only");
    }
};

QTEST_MAIN(TestMainController)
#include "test_main_controller.moc"
