// The main window's behaviour around its children: the focus rule and the
// current grid, closing minimizes, placement survives a restart, help on F1,
// the protocol data panel shared with the control program, the about box.

#include "core/error_report.h"
#include "core/program_icon.h"
#include "core/settings.h"
#include "core/ui.h"
#include "protocols/protocol_data.h"
#include "reference/data_module.h"
#include "shell/child_windows.h"
#include "shell/help_window.h"
#include "shell/main_window.h"
#include "shell/protocol_panel.h"
#include "shell/start_up.h"
#include "support/test_env.h"
#include "widgets/data_grid.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QTest>
#include <QTextBrowser>

using namespace basekvintor;

class TestFrame : public QObject
{
    Q_OBJECT

    std::unique_ptr<kvtest::TempSettings> m_settings;
    std::unique_ptr<kvtest::TempDatabase> m_db;

    BaseProgram start()
    {
        BaseProgram p = startBaseKvintor({QStringLiteral("BaseKvintor"), QStringLiteral("--database"), m_db->path()});
        if (p.FExpert) {
            QApplication::setActiveWindow(p.FExpert.get());
            QCoreApplication::processEvents();
        }
        return p;
    }

private Q_SLOTS:
    void init()
    {
        m_settings = std::make_unique<kvtest::TempSettings>();
        m_db = std::make_unique<kvtest::TempDatabase>(QStringLiteral("fixture"), true);
        m_db->close();
    }
    void cleanup()
    {
        m_db.reset();
        m_settings.reset();
    }

    // The rule state on its own: only a maximized child decides; a child whose
    // focused control is no grid leaves the current grid as it was.
    void activationRuleState()
    {
        ShellState s;
        QObject gridA, gridB;
        QVERIFY(s.actions() == MainActionSet::all());
        QVERIFY(s.tableEnabled());
        s.childPositionChanged(false, kTipActions, &gridA);
        QVERIFY(s.actions() == MainActionSet::all());
        QCOMPARE(s.currentGrid(), nullptr);
        s.childPositionChanged(true, kArchivActions, &gridA);
        QVERIFY(s.actions() == kArchivActions);
        QCOMPARE(s.currentGrid(), &gridA);
        s.gridFocusOut();
        QVERIFY(!s.tableEnabled());
        QCOMPARE(s.currentGrid(), nullptr);
        s.childPositionChanged(true, kTestActions, nullptr);
        QVERIFY(s.actions() == kTestActions);
        QCOMPARE(s.currentGrid(), nullptr);
        QVERIFY(!s.tableEnabled());
        s.gridFocusIn(&gridB);
        QCOMPARE(s.currentGrid(), &gridB);
        QVERIFY(s.tableEnabled());
        QCOMPARE(startupMaximized(false, true, true), StartChild::FTest);
        QCOMPARE(startupMaximized(false, false, false), StartChild::None);
        QCOMPARE(startupMaximized(true, false, true), StartChild::FTip);
    }

    // A grid that gains the focus becomes the current grid; leaving it for
    // another control clears it and disables "Таблица"; a maximized child
    // whose focused control is a grid makes that grid current when activated.
    void focusRuleAndCurrentGrid()
    {
        BaseProgram p = start();
        TFExpert &f = *p.FExpert;
        QVERIFY(QTest::qWaitForWindowActive(&f));
        f.maximizeChild(p.FArchiv);
        p.FArchiv->DBPosition->setFocus(Qt::MouseFocusReason);
        QCoreApplication::processEvents();
        QCOMPARE(f.currentGrid(), p.FArchiv->DBPosition);
        QVERIFY(f.TBActionsTable()->menuAction()->isEnabled());
        // "Выделить все" works on the current grid.
        f.ASelectAll->trigger();

        p.FArchiv->DBResult->setFocus(Qt::TabFocusReason);
        QCoreApplication::processEvents();
        QCOMPARE(f.currentGrid(), p.FArchiv->DBResult);

        // To a control that is no grid: cleared.
        auto *other = new QLineEdit(p.FArchiv);
        other->show();
        other->setFocus(Qt::TabFocusReason);
        QCoreApplication::processEvents();
        QCOMPARE(f.currentGrid(), nullptr);
        QVERIFY(!f.TBActionsTable()->menuAction()->isEnabled());

        // The tests window, maximized with its points grid focused before.
        p.FTest->DBTestPoint->setFocus(Qt::TabFocusReason);  // inactive: remembered as its focused control
        p.FArchiv->DBTest->setFocus(Qt::TabFocusReason);
        QCoreApplication::processEvents();
        f.mdiArea()->setActiveSubWindow(f.frameOf(p.FTest));
        QCoreApplication::processEvents();
        QVERIFY(f.frameOf(p.FTest)->isMaximized());
        QCOMPARE(p.FTest->focusedGrid(), p.FTest->DBTestPoint);
        QCOMPARE(f.currentGrid(), p.FTest->DBTestPoint);
        QVERIFY(f.AImportTest->isEnabled() && !f.AGReportXL->isEnabled());
    }

    void closingAChildMinimizesIt()
    {
        BaseProgram p = start();
        TFExpert &f = *p.FExpert;
        QMdiSubWindow *frame = f.frameOf(p.FTest);
        QVERIFY(frame->close() == false);
        QVERIFY(frame->isMinimized());
        QCOMPARE(f.children().size(), 4);
        QCOMPARE(f.frameOf(p.FTest), frame);
    }

    // A maximized child puts its icon into the menu bar: every child carries
    // the programs' own, not the toolkit's logo that an empty one falls back to.
    void childrenCarryTheProgramIcon()
    {
        BaseProgram p = start();
        const QImage ours = kv::programIcon().pixmap(16, 16).toImage();
        for (TChildForm *child : p.FExpert->children())
            QCOMPARE(p.FExpert->frameOf(child)->windowIcon().pixmap(16, 16).toImage(), ours);
    }

    // Position, size, state, focused control and column widths come back after a restart.
    void placementSurvivesARestart()
    {
        {
            BaseProgram p = start();
            TFExpert &f = *p.FExpert;
            f.frameOf(p.FTip)->showNormal();
            f.frameOf(p.FTest)->showNormal();
            f.frameOf(p.FTest)->setGeometry(30, 40, 500, 350);
            p.FTest->DBTest->setColumnWidths({111, 77});
            p.FTest->restoreActiveControl(QStringLiteral("DBTestPoint"));
            f.frameOf(p.FArchiv)->showMinimized();
            f.maximizeChild(p.FSQL);
        }  // the program ends: placements stored
        QCOMPARE(kv::settingText(QStringLiteral("FTest"), QStringLiteral("Width")), QStringLiteral("500"));
        QCOMPARE(kv::settingText(QStringLiteral("FSQL"), QStringLiteral("WindowState")), QStringLiteral("2"));
        m_settings->restart();

        BaseProgram p = start();
        TFExpert &f = *p.FExpert;
        QCOMPARE(f.frameOf(p.FTest)->geometry(), QRect(30, 40, 500, 350));
        QCOMPARE(p.FTest->DBTest->columnWidths().mid(0, 2), (QList<int>{111, 77}));
        QCOMPARE(p.FTest->activeControl(), p.FTest->DBTestPoint);
        QVERIFY(f.frameOf(p.FArchiv)->isMinimized());
        // The query result window is never the one the start maximizes.
        QVERIFY(!f.frameOf(p.FTip)->isMaximized() && !f.frameOf(p.FTest)->isMaximized());
        const QList<bool> all{true, true, true, true, true};
        QList<bool> states;
        for (QAction *a : {f.AImportTest, f.AImportTip, f.ASelect, f.AGReportXL, f.AReportXl})
            states << a->isEnabled();
        QVERIFY(states == all || states == (QList<bool>{false, false, true, false, false}));
    }

    // A placement stored on a larger screen does not leave a window out of sight.
    void placementOutOfSightComesBack()
    {
        kv::setSettingText(QStringLiteral("FTest"), QStringLiteral("Left"), QStringLiteral("5000"));
        kv::setSettingText(QStringLiteral("FTest"), QStringLiteral("Top"), QStringLiteral("4000"));
        kv::setSettingText(QStringLiteral("FTest"), QStringLiteral("Width"), QStringLiteral("300"));
        kv::setSettingText(QStringLiteral("FTest"), QStringLiteral("Height"), QStringLiteral("200"));
        kv::setSettingText(QStringLiteral("FTest"), QStringLiteral("WindowState"), QStringLiteral("0"));
        m_settings->restart();
        BaseProgram p = start();
        QCOMPARE(p.FExpert->frameOf(p.FTest)->property("kvNormalGeometry").toRect(), QRect(0, 0, 300, 200));
    }

    void helpOnF1()
    {
        kv::ScopedRecordingUi ui;
        const QString previous = QDir::currentPath();
        QDir::setCurrent(qEnvironmentVariable("KVINTOR_SOURCE_DIR"));
        BaseProgram p = start();
        QDir::setCurrent(previous);
        TFExpert &f = *p.FExpert;
        for (auto [child, topic] : {std::pair<TChildForm *, int>{p.FTip, 4}, {p.FTest, 5}, {p.FArchiv, 6}, {p.FSQL, 7}}) {
            f.maximizeChild(child);
            f.showHelpOfActiveChild();
            QVERIFY(helpWindow());
            QVERIFY2(helpWindow()->source().toLocalFile().endsWith(QStringLiteral("help/topic-%1.html").arg(topic)),
                     qPrintable(helpWindow()->source().toString()));
            QVERIFY(!helpWindow()->toPlainText().isEmpty());
        }
        QVERIFY(!helpPage(kHelpSQLShape).isEmpty());
        delete helpWindow();

        // Started elsewhere with no pages: a box says which page is missing.
        QVERIFY(ui->texts().isEmpty());
        QTemporaryDir empty;
        setHelpStartFolder(empty.path());
        QCOMPARE(showHelp(3), nullptr);
        QCOMPARE(ui->boxes().size(), 1);
        QVERIFY(ui->texts().first().contains(QStringLiteral("topic-3.html")));
    }

    // The panel loads when made and when shown, stores when closed however it
    // closes, and the control program reads and writes the same values.
    void protocolDataSharedWithTheControlProgram()
    {
        BaseProgram p = start();
        TFExpert &f = *p.FExpert;
        TSFDataProt *panel = f.SFDataProt();
        QCOMPARE(panel->ENumProt->text(), QStringLiteral("0"));
        QCOMPARE(panel->EDo->text(), QStringLiteral("0"));
        QVERIFY(!panel->CBAuto->isChecked());

        // The control program stores its dialog and makes a protocol.
        kv::ProtocolData control = kv::loadProtocolData();
        control.autoIncrement = true;
        control.protocolNumber = QStringLiteral("41");
        control.organisation = QStringLiteral("ЦСМ");
        kv::storeProtocolData(control);
        kv::advanceProtocolNumber(control);

        kv::ScopedRecordingUi ui;
        QString shown;
        ui->queueDialog([&](QDialog *d) {
            auto *panelShown = static_cast<TSFDataProt *>(d);
            d->show();  // as exec would
            shown = panelShown->ENumProt->text();
            QTest::keyClicks(panelShown->ENumProt, QStringLiteral("x7-"));  // only digits pass
            panelShown->EMakerPov->setText(QStringLiteral("Петров"));
            d->reject();  // the window's close button
            return int(QDialog::Rejected);
        });
        f.TBItem14Click();
        QCOMPARE(ui->dialogsShown(), 1);
        QCOMPARE(shown, QStringLiteral("42"));
        QCOMPARE(panel->ENumProt->text(), QStringLiteral("427"));

        // Stored on close: the control program's next load sees it.
        const kv::ProtocolData seen = kv::loadProtocolData();
        QCOMPARE(seen.protocolNumber, QStringLiteral("427"));
        QCOMPARE(seen.verifier, QStringLiteral("Петров"));
        QCOMPARE(seen.organisation, QStringLiteral("ЦСМ"));
        QVERIFY(seen.autoIncrement);

        // A protocol made here advances and stores the number at once.
        panel->AdvanceProtocolNumber();
        QCOMPARE(panel->ENumProt->text(), QStringLiteral("428"));
        QCOMPARE(kv::loadProtocolData().protocolNumber, QStringLiteral("428"));
    }

    // The protocol actions run their builder only with a record (and, for a
    // single protocol, a meter) to print; otherwise nothing, not even a box.
    void protocolActionsNeedARecord()
    {
        BaseProgram p = start();
        TFExpert &f = *p.FExpert;
        int group = 0, single = 0;
        f.setGroupProtocolBuilder([&] { ++group; });
        f.setSingleProtocolBuilder([&] { ++single; });
        kv::ScopedRecordingUi ui;
        f.AGReportXL->setEnabled(true);
        f.AReportXl->setEnabled(true);
        f.AGReportXL->trigger();
        f.AReportXl->trigger();
        QCOMPARE(group + single, 0);

        kvtest::execOrFail(DM->database(), QStringLiteral(
            "INSERT INTO TMeasure (PDate, PPointerTip, PPointerTest) VALUES ('2026-03-01 10:00:00', 1, 1)"));
        DM->refreshArchive();
        f.AGReportXL->trigger();
        f.AReportXl->trigger();
        QCOMPARE(group, 1);
        QCOMPARE(single, 0);

        kvtest::execOrFail(DM->database(), QStringLiteral(
            "INSERT INTO TPositionCH (PSecIndex, PPosition, PNumber) VALUES (1, 11, '123')"));
        DM->refreshArchive();
        f.AReportXl->trigger();
        QCOMPARE(single, 1);
        QVERIFY(ui->texts().isEmpty());

        // A builder's failure reaches the general error report; the cursor comes back.
        f.setSingleProtocolBuilder([] { throw kv::Error(QStringLiteral("Нет шаблона")); });
        f.AReportXl->trigger();
        QCOMPARE(ui->texts(), QStringList{QStringLiteral("Нет шаблона")});
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }

    void aboutBox()
    {
        BaseProgram p = start();
        kv::ScopedRecordingUi ui;
        QStringList texts;
        ui->queueDialog([&](QDialog *d) {
            for (QLabel *l : d->findChildren<QLabel *>())
                texts << l->text();
            return int(QDialog::Accepted);
        });
        p.FExpert->TBItem6Click();
        QVERIFY(texts.contains(QStringLiteral("База данных Kvintor v1.0")));
    }
};

QTEST_MAIN(TestFrame)
#include "test_frame.moc"
