// The real main window, built by the program's start-up, polling the
// simulated stands over a pseudo-terminal. Where the poll would wait for a
// timer, the test calls that timer's expiry.

#include "control/start_up.h"
#include "core/settings.h"
#include "core/ui.h"
#include "link/main_window.h"
#include "link/stand_frames.h"
#include "run/run_windows.h"
#include "setup/data_module.h"
#include "setup/run_setup.h"
#include "stand_server.h"
#include "support/test_env.h"

#include <QAction>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace kvintor;
using kvtest::spinUntil;

namespace {

kvstands::ModelConfig config(const QString &text)
{
    kvstands::ModelConfig c;
    const QString problem = kvstands::ParseConfig(text, &c);
    if (!problem.isEmpty())
        qFatal("%s", qPrintable(problem));
    return c;
}

struct Rig {
    kvtest::TempSettings settings;
    kvtest::TempDatabase db{QStringLiteral("rig"), true};
    kvstands::StandServer server;
    KvintorProgram program;
    int requests = 0;
    int replies = 0;

    explicit Rig(const kvstands::ModelConfig &c) : server(c)
    {
        db.close();
        if (!server.OpenPty().isEmpty())
            qFatal("no pseudo-terminal");
        program = startKvintor({QStringLiteral("Kvintor"), QStringLiteral("--database"), db.path(),
                                QStringLiteral("--port"), server.SlavePath()});
        if (!program)
            return;
        QObject::connect(&link(), &StandLink::FrameQueued, [this] { ++requests; });
        QObject::connect(&link(), &StandLink::FrameLogged, [this] { ++replies; });
    }
    TKvintor &window() { return *program.Kvintor; }
    StandLink &link() { return program.Kvintor->Link(); }

    // Runs the poll to its end: waits for each request to go out and its
    // reply to come back, then calls the expiry of the timer that would run
    // the next step. A request without a reply ends with the watchdog.
    bool drivePoll()
    {
        for (int step = 0; step < 40; ++step) {
            if (window().AReply->isEnabled())
                return true;
            const bool answered =
                spinUntil([&] { return !link().Transmitter.Busy() && replies >= requests; }, 400);
            if (!answered) {
                link().TDog.stop();
                link().OnTDogTimer();
            } else if (link().T02.isActive()) {
                link().OnT02Timer();
            } else if (link().T3.isActive()) {
                link().OnT3Timer();
            }
        }
        return window().AReply->isEnabled();
    }

    // The main window shown over an open run window in `mode`.
    RunControl &openRun(int mode, bool unsaved)
    {
        window().show();
        RunControl &run = program.Run->Control;
        link().RunMode = mode;
        run.WindowVisible = true;
        run.SaveInBaseEnabled = unsaved;
        return run;
    }

    QList<int> enabledCaptions()
    {
        QList<int> list;
        for (int s = 1; s <= 5; ++s)
            if (window().LabelStand[s]->isEnabled())
                list << s;
        return list;
    }
};

QStringList actionTexts(const QList<QAction *> &actions)
{
    QStringList texts;
    for (QAction *a : actions)
        if (!a->isSeparator())
            texts << a->text();
    return texts;
}

}  // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void theWindowStartsWithItsCaptionsMenusAndNothingPolled()
    {
        kv::ScopedRecordingUi rec;
        Rig rig(config(QStringLiteral("stands = 1 3\n")));
        QVERIFY(rig.program);
        TKvintor &w = rig.window();
        QVERIFY(rec->boxes().isEmpty());
        QCOMPARE(w.windowTitle(), QStringLiteral("Установка для регулировки и поверки счетчиков Kvintor"));
        for (int s = 1; s <= 5; ++s) {
            QCOMPARE(w.LabelStand[s]->text(), QStringLiteral("Стенд №%1").arg(s));
            QVERIFY(!w.LabelStand[s]->isEnabled());
        }
        QCOMPARE(w.LabelWait->text(), QStringLiteral("Подождите идет опрос стендов !"));
        QVERIFY(w.LabelWait->isHidden());
        QVERIFY(w.LabelHidden->text().isEmpty());
        QVERIFY(rig.link().Comm1.IsOpen());
        QCOMPARE(rig.link().RunMode, 0);

        QCOMPARE(actionTexts(w.menuBar()->actions()),
                 (QStringList{QStringLiteral("Действия"), QStringLiteral("&Проверка"), QStringLiteral("&Сервис"),
                              QStringLiteral("О программе")}));
        const QList<QAction *> top = w.menuBar()->actions();
        QCOMPARE(actionTexts(top.at(0)->menu()->actions()),
                 (QStringList{QStringLiteral("Опросить стенды"), QStringLiteral("База данных"), QStringLiteral("Выход")}));
        QVERIFY(!top.at(1)->isEnabled());
        QCOMPARE(actionTexts(top.at(1)->menu()->actions()),
                 (QStringList{QStringLiteral("Ручная"), QStringLiteral("Автоматическая")}));
        QCOMPARE(actionTexts(top.at(1)->menu()->actions().at(1)->menu()->actions()),
                 (QStringList{QStringLiteral("Регулировка"), QStringLiteral("Поверка")}));
        QCOMPARE(actionTexts(top.at(2)->menu()->actions()),
                 (QStringList{QStringLiteral("Поледовательный порт"), QStringLiteral("Трансформатор тока"),
                              QStringLiteral("Данные для протокола")}));
        QCOMPARE(w.Mcom1->text(), QStringLiteral("Com 1"));
        QCOMPARE(w.MCom2->text(), QStringLiteral("Com 2"));
        QCOMPARE(w.Tr1->text(), QStringLiteral("И561"));
        QCOMPARE(w.Tr2->text(), QStringLiteral("671111.104"));
        QVERIFY(w.Mcom1->isChecked() && !w.MCom2->isChecked() && w.Tr1->isChecked() && !w.Tr2->isChecked());
        // A checked item clicked again stays checked.
        w.Tr1->trigger();
        QVERIFY(w.Tr1->isChecked() && !w.Tr2->isChecked());
        w.Tr2->trigger();
        QVERIFY(!w.Tr1->isChecked() && w.Tr2->isChecked());

        // The other windows exist and the menu items reach them.
        QVERIFY(rig.program.Programm && rig.program.RegTable && rig.program.FdataReport && rig.program.AboutBox);
        w.ADataReport->trigger();
        w.AAbout->trigger();
        QCOMPARE(rec->dialogsShown(), 2);
        // The main window knows when a run holds the data module's connection.
        KvintorMain &main = w.Main();
        QVERIFY(main.RunOpen && !main.RunOpen());
        rig.program.Run->Control.WindowVisible = true;
        QVERIFY(main.RunOpen());
        rig.program.Run->Control.WindowVisible = false;
    }

    void aPollMarksTheStandsThatAnswerAndOpensTheCheckMenu()
    {
        kv::ScopedRecordingUi rec;
        Rig rig(config(QStringLiteral("stands = 1 3\n")));
        TKvintor &w = rig.window();
        // The status line names the port's device and the database, and the
        // next step until a poll has found a stand.
        const QString status = w.LStatus->text();
        QVERIFY2(status.startsWith(QStringLiteral("Порт: Com ")), qPrintable(status));
        QVERIFY2(status.contains(QStringLiteral(" (") + rig.server.SlavePath() + QStringLiteral(")    ")),
                 qPrintable(status));
        QVERIFY2(status.contains(QStringLiteral("База данных: ") + rig.db.path()), qPrintable(status));
        QVERIFY2(status.endsWith(QStringLiteral("Далее: Опросите стенды")), qPrintable(status));
        w.AReply->trigger();
        QVERIFY(!w.AReply->isEnabled());
        QVERIFY(!w.ABase->isEnabled());
        QVERIFY(rig.drivePoll());
        QCOMPARE(rig.enabledCaptions(), (QList<int>{1, 3}));
        QVERIFY(w.MCheck->menuAction()->isEnabled());
        QVERIFY(w.LStatus->text().endsWith(QStringLiteral("Далее: выберите режим в меню «Проверка»")));
        QVERIFY(w.ABase->isEnabled());
        QVERIFY(w.LabelWait->isHidden());
        QVERIFY2(rec->boxes().isEmpty(), qPrintable(rec->texts().join(QLatin1Char('|'))));
        QCOMPARE(rig.link().StandPresent[3], true);
        QCOMPARE(rig.link().StandPresent[2], false);

        // A second poll starts from nothing: the menu closes until a stand answers again.
        rig.server.Model().ClearLog();
        w.AReply->trigger();
        QVERIFY(rig.enabledCaptions().isEmpty());
        QVERIFY(!w.MCheck->menuAction()->isEnabled());
        QVERIFY(w.LStatus->text().endsWith(QStringLiteral("Далее: Опросите стенды")));
        QVERIFY(rig.drivePoll());
        QCOMPARE(rig.enabledCaptions(), (QList<int>{1, 3}));
        QCOMPARE(rig.server.Model().FramesReceived().first(), AutoRequest());
    }

    void aSilentInstallationLeavesTheCheckMenuClosed()
    {
        kv::ScopedRecordingUi rec;
        {
            Rig rig(config(QStringLiteral("absent = silent\n")));
            TKvintor &w = rig.window();
            w.AReply->trigger();
            QVERIFY(rig.drivePoll());
            QCOMPARE(rec->texts(), QStringList{StandLink::NoLinkText});
            QVERIFY(!w.MCheck->menuAction()->isEnabled());
            QVERIFY(rig.enabledCaptions().isEmpty());
            QVERIFY(w.ABase->isEnabled());
        }

        // Stands that answer only "not here" end the poll normally, the menu still closed.
        rec->clear();
        Rig answering(config(QStringLiteral("absent = answer\n")));
        answering.window().AReply->trigger();
        QVERIFY(answering.drivePoll());
        QVERIFY(rec->boxes().isEmpty());
        QVERIFY(!answering.window().MCheck->menuAction()->isEnabled());
        QVERIFY(answering.window().LabelWait->isHidden());
    }

    void theHiddenLabelShowsTheDiagnosticsWhichCanOpenTheCheckMenuWithoutAPoll()
    {
        kv::ScopedRecordingUi rec;
        Rig rig(config(QStringLiteral("stands = 2\n")));
        TKvintor &w = rig.window();
        w.show();
        QSignalSpy toggled(&w, &TKvintor::DiagnosticsToggled);
        QVERIFY(w.Memo2->isHidden() && w.ButtonEnable->isHidden());
        QTest::mouseDClick(w.LabelHidden, Qt::LeftButton);
        QCOMPARE(toggled.count(), 1);
        QCOMPARE(toggled.first().first().toBool(), true);
        for (QWidget *c : std::initializer_list<QWidget *>{w.Memo2, w.ButtonPoll, w.ButtonAuto, w.ButtonEnable, w.Edit1})
            QVERIFY(c->isVisible());
        QCOMPARE(w.ButtonPoll->text(), QStringLiteral("Опрос"));
        QCOMPARE(w.ButtonAuto->text(), QStringLiteral("авто"));
        QCOMPARE(w.ButtonEnable->text(), QStringLiteral("Включить"));

        // "авто" sends the Auto request; its reply shows in the frame log.
        QTest::mouseClick(w.ButtonAuto, Qt::LeftButton);
        QVERIFY(spinUntil([&] { return !w.Memo2->toPlainText().isEmpty(); }, 3000));
        QCOMPARE(rig.server.Model().FramesReceived().last(), AutoRequest());
        QVERIFY(w.Memo2->toPlainText().contains(QStringLiteral("+47+48")));
        QCOMPARE(w.Edit1->text(), w.Memo2->toPlainText().split(QLatin1Char('\n')).last());
        rig.link().TDog.stop();

        QTest::mouseClick(w.ButtonEnable, Qt::LeftButton);
        QCOMPARE(rig.enabledCaptions(), (QList<int>{1, 2, 3, 4, 5}));
        QVERIFY(w.MCheck->menuAction()->isEnabled());
        for (int s = 1; s <= 5; ++s)
            QVERIFY(rig.link().StandPresent[s]);

        QTest::mouseDClick(w.LabelHidden, Qt::LeftButton);
        QVERIFY(w.Memo2->isHidden() && w.ButtonAuto->isHidden());
        QCOMPARE(toggled.count(), 2);
        QVERIFY(rec->boxes().isEmpty());
    }

    // Frames logged while the diagnostics are hidden cost no text layout:
    // the boxes stay empty, and when shown they hold the newest lines.
    void theHiddenFrameLogKeepsOnlyTheNewestLines()
    {
        kv::ScopedRecordingUi rec;
        Rig rig(config(QStringLiteral("stands = 2\n")));
        TKvintor &w = rig.window();
        w.show();
        const int lines = TKvintor::FrameLogLines + 500;
        for (int i = 1; i <= lines; ++i)
            Q_EMIT rig.link().FrameLogged(QStringLiteral("/+47+%1").arg(i));
        QVERIFY(w.Memo2->toPlainText().isEmpty());
        QTest::mouseDClick(w.LabelHidden, Qt::LeftButton);
        const QStringList shown = w.Memo2->toPlainText().split(QLatin1Char('\n'));
        QCOMPARE(shown.size(), TKvintor::FrameLogLines);
        QCOMPARE(shown.first(), QStringLiteral("/+47+501"));
        QCOMPARE(w.Edit1->text(), QStringLiteral("/+47+%1").arg(lines));
        // While shown, new lines follow within a fraction of a second.
        Q_EMIT rig.link().FrameLogged(QStringLiteral("/+47+0"));
        QVERIFY(spinUntil([&] { return w.Edit1->text() == QLatin1String("/+47+0"); }, 2000));
        QVERIFY(w.Memo2->toPlainText().endsWith(QLatin1String("\n/+47+0")));
    }

    void anAdapterPulledMidPollIsReportedAndTheProgramGoesOn()
    {
        kv::ScopedRecordingUi rec;
        Rig rig(config(QStringLiteral("stands = 1 2 3 4 5\n")));
        TKvintor &w = rig.window();
        w.AReply->trigger();
        QVERIFY(spinUntil([&] { return rig.replies >= 1 && !rig.link().Transmitter.Busy(); }, 3000));
        rig.link().OnT3Timer();  // "?1"
        rig.server.Close();
        const auto portRefused = [&] {
            return !rec->texts().isEmpty() && rec->texts().last().startsWith(KvintorMain::PortUnavailableText);
        };
        QVERIFY(spinUntil(portRefused, 5000));
        QVERIFY(!rig.link().Comm1.IsOpen());
        QVERIFY(rig.drivePoll());
        QVERIFY(rec->shown(StandLink::NoLinkText));
        QVERIFY(w.AReply->isEnabled() && w.ABase->isEnabled());
        QVERIFY2(w.LStatus->text().contains(QStringLiteral(", не открыт    ")), qPrintable(w.LStatus->text()));
        QVERIFY(w.LStatus->text().endsWith(QStringLiteral("Далее: выберите порт в меню «Сервис»")));
        // Choosing the port again tries it again and says it is still gone.
        rec->clear();
        w.Mcom1->trigger();
        QCOMPARE(rec->texts().size(), 1);
        QVERIFY(portRefused());
    }

    void closingTheWindowSendsAutoAndEndsTheProgram()
    {
        kv::ScopedRecordingUi rec;
        Rig rig(config(QStringLiteral("stands = 1\n")));
        TKvintor &w = rig.window();
        w.show();
        QSignalSpy closed(&w, &TKvintor::FormClosed);
        rig.server.Model().ClearLog();
        w.AExit->trigger();
        QCOMPARE(closed.count(), 1);
        QVERIFY(spinUntil([&] { return !rig.server.Model().FramesReceived().isEmpty(); }, 3000));
        QCOMPARE(rig.server.Model().FramesReceived(), QList<QByteArray>{AutoRequest()});
    }

    void exitDuringAnUnsavedVerificationAsksAsTheRunWindowDoes()
    {
        kv::ScopedRecordingUi rec;
        Rig rig(config(QStringLiteral("stands = 1\n")));
        TKvintor &w = rig.window();
        QSignalSpy closed(&w, &TKvintor::FormClosed);
        // A verification with measured errors, not yet in the archive.
        RunControl &run = rig.openRun(ModeVerification, true);
        int saves = 0;
        run.Hooks.SaveToArchive = [&] { return ++saves > 1 ? 1 : -1; };

        // "Отмена": the program and its run stay.
        rec->queueAnswer(QMessageBox::Cancel);
        w.AExit->trigger();
        QCOMPARE(rec->boxes().size(), 1);
        QCOMPARE(rec->boxes().at(0).caption, QStringLiteral("Выход из режима поверки"));
        QCOMPARE(rec->boxes().at(0).text, QStringLiteral("Сохранить результаты поверки в базе данных ?"));
        QCOMPARE(rec->boxes().at(0).buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        QCOMPARE(closed.count(), 0);
        QVERIFY(w.isVisible() && run.WindowVisible);

        // "Да", but the archive refuses: nothing is lost with the program.
        rec->queueAnswer(QMessageBox::Yes);
        rec->queueDialog([](QDialog *d) { return qobject_cast<TFNumber *>(d) ? int(QDialog::Accepted) : -1; });
        w.AExit->trigger();
        QCOMPARE(saves, 1);
        QCOMPARE(closed.count(), 0);
        QVERIFY(run.SaveInBaseEnabled);

        // "Да" and saved: the program ends, the stands get their Auto request.
        rig.server.Model().ClearLog();
        rec->queueAnswer(QMessageBox::Yes);
        rec->queueDialog([](QDialog *d) { return qobject_cast<TFNumber *>(d) ? int(QDialog::Accepted) : -1; });
        w.AExit->trigger();
        QCOMPARE(saves, 2);
        QCOMPARE(closed.count(), 1);
        QVERIFY(!run.WindowVisible);
        QVERIFY(spinUntil([&] { return !rig.server.Model().FramesReceived().isEmpty(); }, 3000));
    }

    void exitAfterTheRunWasSavedOrWithoutOneAsksNothing_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("unsaved");
        QTest::newRow("verification already saved") << int(ModeVerification) << false;
        QTest::newRow("regulation open") << int(ModeRegulation) << false;
        QTest::newRow("verification left with No") << int(ModeVerification) << true;
    }

    void exitAfterTheRunWasSavedOrWithoutOneAsksNothing()
    {
        QFETCH(int, mode);
        QFETCH(bool, unsaved);
        kv::ScopedRecordingUi rec;
        Rig rig(config(QStringLiteral("stands = 1\n")));
        TKvintor &w = rig.window();
        QSignalSpy closed(&w, &TKvintor::FormClosed);
        RunControl &run = rig.openRun(mode, unsaved);
        if (unsaved)
            rec->queueAnswer(QMessageBox::No);
        w.AExit->trigger();
        QCOMPARE(closed.count(), 1);
        QCOMPARE(rec->boxes().size(), unsaved ? 1 : 0);
        QVERIFY(!run.WindowVisible);
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
