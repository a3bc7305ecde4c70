#include "setup_fixture.h"

#include "core/settings.h"
#include "core/ui.h"
#include "setup/run_setup.h"

using kvintor::RunSetup;
using setuptest::typeRow;

namespace {

const std::array<bool, 6> kStands1to3 = {false, true, true, true, false, false};

QString mismatchText(int s, int t, const char *what)
{
    return QStringLiteral("У счетчиков на стендах %1 и %2 не соответствуют ").arg(s).arg(t) + QString::fromUtf8(what);
}

}  // namespace

class TestRunSetup : public QObject
{
    Q_OBJECT

    static void showVerification(RunSetup &setup, const std::array<bool, 6> &present = kStands1to3)
    {
        setup.RunMode = kvintor::ModeVerification;
        setup.setStandPresent(present);
        setup.PrepareVerification();
        setup.FormShow();
    }

private Q_SLOTS:
    void startFollowsTickedPositionsAndAllBoxes()
    {
        setuptest::Fixture f;
        RunSetup setup(*f.dm);
        showVerification(setup);
        QVERIFY(!setup.startEnabled);
        setup.positionReleased(setup.boxOf(2, 2), true);  // C8
        QVERIFY(setup.startEnabled);
        QVERIFY(setup.StandInUse[2] && !setup.StandInUse[1]);
        QVERIFY(!setup.StandSetup[2].all);

        setup.allReleased(1, true);
        for (int p = 1; p <= 6; ++p)
            QVERIFY(setup.StandSetup[1].positions[p]);
        setup.positionReleased(setup.boxOf(1, 3), false);
        QVERIFY(!setup.StandSetup[1].all);
        setup.positionReleased(setup.boxOf(1, 3), true);
        QVERIFY(setup.StandSetup[1].all);

        setup.allReleased(1, false);
        setup.positionReleased(setup.boxOf(2, 2), false);
        QVERIFY(!setup.startEnabled);
        QVERIFY(!setup.StandInUse[1] && !setup.StandInUse[2]);
    }

    void typeMismatchMessagesAndPrecedence()
    {
        setuptest::Fixture f;
        kv::ScopedRecordingUi ui;
        RunSetup setup(*f.dm);
        showVerification(setup, {false, true, true, true, true, true});
        for (int s = 1; s <= 5; ++s)
            setup.allReleased(s, true);

        setup.typeChosen(1, typeRow(*f.dm, 1, QStringLiteral("ЭС-1.05"), QStringLiteral("1600")));
        QVERIFY(ui->boxes().isEmpty());
        QCOMPARE(setup.StandSetup[1].designation, QStringLiteral("1600"));
        QCOMPARE(setup.RunUnom, 230.0);

        // Voltage and current both differ: the voltage message alone, stand 2 first.
        setup.typeChosen(2, typeRow(*f.dm, 2, QStringLiteral("ЭТТ-3.57")));
        QCOMPARE(ui->texts(), QStringList{mismatchText(2, 1, "номинальные напряжения")});
        QCOMPARE(ui->boxes().at(0).icon, kv::Icon::None);
        QVERIFY(!setup.hasType(2));
        QVERIFY(setup.StandSetup[2].designation.isEmpty());
        QCOMPARE(setup.StandSetup[2].Unom, 0.0);
        QCOMPARE(setup.StandSetup[2].Inom, 0.0);
        QCOMPARE(setup.StandSetup[2].Scheme, 0);
        QCOMPARE(setup.RunUnom, 230.0);

        ui->clear();
        setup.typeChosen(3, typeRow(*f.dm, 3, QStringLiteral("ЭС-1.10")));
        QCOMPARE(ui->texts(), QStringList{mismatchText(3, 1, "номинальные токи")});
        ui->clear();
        setup.typeChosen(4, typeRow(*f.dm, 4, QStringLiteral("ЭТ-3.05")));
        QCOMPARE(ui->texts(), QStringList{mismatchText(4, 1, "схемы включения")});

        // A matching type is accepted and publishes the run's values.
        ui->clear();
        setup.typeChosen(5, typeRow(*f.dm, 5, QStringLiteral("ЭС-1.05И")));
        QVERIFY(ui->boxes().isEmpty());
        QVERIFY(setup.hasType(5));
        QCOMPARE(setup.RunScheme, 1);
        QCOMPARE(setup.RunInom, 5.0);
        QCOMPARE(setup.RunEnergy, 1);

        // A lookup closed empty leaves the stand without a type; it does not
        // take the next row.
        setup.typeChosen(5, -1);
        QVERIFY(!setup.hasType(5));
        QVERIFY(setup.StandSetup[5].designation.isEmpty());
        QCOMPARE(setup.StandSetup[5].Unom, 0.0);
    }

    void onlyStandsInUseAreCompared()
    {
        setuptest::Fixture f;
        kv::ScopedRecordingUi ui;
        RunSetup setup(*f.dm);
        showVerification(setup);
        setup.allReleased(1, true);
        setup.allReleased(2, true);
        setup.typeChosen(1, typeRow(*f.dm, 1, QStringLiteral("ЭС-1.05")));
        // Stand 1 is emptied: its 230 V type no longer stands in the way.
        setup.allReleased(1, false);
        setup.typeChosen(2, typeRow(*f.dm, 2, QStringLiteral("ЭТТ-3.57")));
        QVERIFY(ui->boxes().isEmpty());
        QCOMPARE(setup.RunUnom, 57.7);
        // Taking stand 1 back into use touches no type; "Начать" then
        // refuses the two types that do not go together, and clears neither.
        setup.allReleased(1, true);
        setup.positionReleased(setup.boxOf(1, 3), false);
        setup.positionReleased(setup.boxOf(1, 3), true);
        QVERIFY(ui->boxes().isEmpty());
        QVERIFY(setup.hasType(1) && setup.hasType(2));
        setup.testChosen(setuptest::testRow(*f.dm, QStringLiteral("П1Ф кл.1")));
        QVERIFY(!setup.Start());
        QCOMPARE(ui->texts(), QStringList{mismatchText(1, 2, "номинальные напряжения")});
        QVERIFY(setup.hasType(1) && setup.hasType(2));
        // Stand 1 out of the run again: the run may start.
        ui->clear();
        setup.allReleased(1, false);
        QVERIFY(setup.Start());
        QVERIFY(ui->boxes().isEmpty());
    }

    void constantsInPulsesPerKWh()
    {
        QCOMPARE(kvintor::pulsesPerKWh(0.5, 2), 2.0);
        QCOMPARE(kvintor::pulsesPerKWh(1800, 3), 2000.0);
        QCOMPARE(kvintor::pulsesPerKWh(1600, 1), 1600.0);
        QCOMPARE(kvintor::pulsesPerKWh(1600, 7), 1600.0);
        QCOMPARE(kvintor::pulsesPerKWh(0, 2), 0.0);  // never infinite

        setuptest::Fixture f;
        RunSetup setup(*f.dm);
        showVerification(setup);
        setup.allReleased(1, true);
        setup.allReleased(2, true);
        setup.typeChosen(1, typeRow(*f.dm, 1, QStringLiteral("ЭС-1.05В")));  // 1800 W·s per pulse
        QCOMPARE(setup.StandSetup[1].constant, 2000.0);
        QCOMPARE(setup.MaxConstant, 2000.0);
        setup.typeChosen(2, typeRow(*f.dm, 2, QStringLiteral("ЭС-1.05"), QStringLiteral("3200")));
        QCOMPARE(setup.MaxConstant, 3200.0);
    }

    void maxConstantBelongsToThisRun()
    {
        setuptest::Fixture f;
        RunSetup setup(*f.dm);
        showVerification(setup);
        setup.allReleased(1, true);
        setup.typeChosen(1, typeRow(*f.dm, 1, QStringLiteral("ЭС-1.05"), QStringLiteral("3200")));
        QCOMPARE(setup.MaxConstant, 3200.0);
        setup.FormClose();

        // The next run puts a 1000 pulses/kWh meter on the stand: the countdown
        // must be reckoned for it, not for the faster meter of the last run.
        showVerification(setup);
        QCOMPARE(setup.MaxConstant, 3200.0);
        setup.typeChosen(1, typeRow(*f.dm, 1, QStringLiteral("ЭС-1.05И")));
        QCOMPARE(setup.MaxConstant, 1000.0);
        setup.Clear();
        QCOMPARE(setup.MaxConstant, 0.0);
        // A stand that is emptied takes its constant with it.
        setup.allReleased(2, true);
        setup.typeChosen(2, typeRow(*f.dm, 2, QStringLiteral("ЭС-1.10К")));  // 0.001 kWh per pulse
        setup.typeChosen(1, typeRow(*f.dm, 1, QStringLiteral("ЭС-1.10")));
        QCOMPARE(setup.MaxConstant, 1000.0);
        setup.allReleased(2, false);
        QCOMPARE(setup.MaxConstant, 1000.0);
        setup.allReleased(1, false);
        QCOMPARE(setup.MaxConstant, 0.0);
    }

    void startRefusals()
    {
        setuptest::Fixture f;
        kv::ScopedRecordingUi ui;
        RunSetup setup(*f.dm);
        showVerification(setup);
        setup.allReleased(3, true);
        QVERIFY(!setup.Start());
        QCOMPARE(ui->texts(), QStringList{QStringLiteral("  Не выбран тест !")});
        setup.testChosen(setuptest::testRow(*f.dm, QStringLiteral("П1Ф кл.1")));
        ui->clear();
        QVERIFY(!setup.Start());
        QCOMPARE(ui->texts(), QStringList{QStringLiteral("  Не выбран тип счетчика для стенда №3  ")});
        setup.typeChosen(3, typeRow(*f.dm, 3, QStringLiteral("ЭС-1.05")));
        ui->clear();
        QVERIFY(setup.Start());
        QVERIFY(ui->boxes().isEmpty());

        // Manual work needs no test.
        setup.RunMode = kvintor::ModeManual;
        setup.PrepareManual(true);
        setup.FormShow();
        setup.testChosen(-1);
        QVERIFY(setup.testText.isEmpty());
        QVERIFY(setup.Start());
        QVERIFY(ui->boxes().isEmpty());
        QVERIFY(setup.revolutionsVisible && setup.handleVisible && !setup.testVisible && !setup.autoVisible);
        QVERIFY(setup.handleReferenceMeter);
        setup.PrepareManual(false);
        QVERIFY(!setup.handleReferenceMeter);
        QCOMPARE(setup.caption, QStringLiteral("Ручная проверка"));
    }

    void testChoiceSizesVerificationStorage()
    {
        setuptest::Fixture f;
        RunSetup setup(*f.dm);
        showVerification(setup);
        const int row = setuptest::testRow(*f.dm, QStringLiteral("Регулировка"));  // three points
        setup.testChosen(row);
        QCOMPARE(setup.RunPointCapacity, 3 + 4);
        QCOMPARE(setup.testText, QStringLiteral("Регулировка"));
        // In regulation the choice only moves the current row.
        setup.RunPointCapacity = 0;
        setup.RunMode = kvintor::ModeRegulation;
        setup.testChosen(setuptest::testRow(*f.dm, QStringLiteral("П1Ф кл.1")));
        QCOMPARE(setup.RunPointCapacity, 0);
        QCOMPARE(f.dm->ADOTest1->value(QStringLiteral("PNameTable")).toString(), QStringLiteral("П1Ф кл.1"));
    }

    void revolutionEdits()
    {
        setuptest::Fixture f;
        RunSetup setup(*f.dm);
        setup.PrepareManual(true);
        QString &text = setup.StandSetup[1].revolutions;
        QCOMPARE(text, kvintor::kAutomatic);
        setup.revolutionKey(1, QLatin1Char('2'));
        setup.revolutionKey(1, QLatin1Char('5'));
        setup.revolutionKey(1, QLatin1Char('7'));  // two digits at most
        QCOMPARE(text, QStringLiteral("25"));
        setup.revolutionKey(1, QChar(13));
        setup.revolutionExit(1);
        QCOMPARE(text, QStringLiteral("25"));
        setup.revolutionKey(1, QChar(8));
        QCOMPARE(text, QStringLiteral("2"));
        setup.revolutionKey(1, QLatin1Char('x'));
        QCOMPARE(text, kvintor::kAutomatic);
        setup.revolutionKey(1, QChar(8));
        QCOMPARE(text, QString());
        setup.revolutionExit(1);
        QCOMPARE(text, kvintor::kAutomatic);
        setup.revolutionKey(1, QLatin1Char('0'));
        QCOMPARE(text, QStringLiteral("0"));
        setup.revolutionExit(1);
        QCOMPARE(text, kvintor::kAutomatic);
        setup.revolutionKey(1, QLatin1Char('0'));
        setup.revolutionKey(1, QLatin1Char('0'));
        setup.revolutionExit(1);
        QCOMPARE(text, kvintor::kAutomatic);
    }

    void choicesSurviveShowingsAndRestarts()
    {
        setuptest::Fixture f;
        kv::ScopedRecordingUi ui;
        {
            RunSetup setup(*f.dm);
            showVerification(setup);
            setup.allReleased(1, true);
            setup.positionReleased(setup.boxOf(3, 4), true);
            setup.typeChosen(1, typeRow(*f.dm, 1, QStringLiteral("ЭС-1.05"), QStringLiteral("1600")));
            setup.typeChosen(3, typeRow(*f.dm, 3, QStringLiteral("ЭС-1.05И")));
            QVERIFY(ui->boxes().isEmpty());
            setup.testChosen(setuptest::testRow(*f.dm, QStringLiteral("П3Ф кл.1")));
            setup.FormClose();
            QCOMPARE(kv::settingText(QStringLiteral("CH"), QStringLiteral("C16")), QStringLiteral("1"));
            QCOMPARE(kv::settingText(QStringLiteral("CH"), QStringLiteral("C15")), QStringLiteral("0"));
            QCOMPARE(kv::settingText(QStringLiteral("DB"), QStringLiteral("Tip2")), QStringLiteral("0"));

            // Second showing of the same window.
            setup.Clear();
            showVerification(setup);
            QVERIFY(setup.StandSetup[1].all && setup.StandSetup[3].positions[4]);
            QCOMPARE(setup.StandSetup[1].typeText, QStringLiteral("ЭС-1.05"));
            QCOMPARE(setup.StandSetup[3].typeText, QStringLiteral("ЭС-1.05И"));
            QCOMPARE(setup.testText, QStringLiteral("П3Ф кл.1"));
        }
        f.settings.restart();
        {
            // After a restart, and stand 3 no longer answering.
            RunSetup setup(*f.dm);
            showVerification(setup, {false, true, true, false, false, false});
            QCOMPARE(setup.StandSetup[1].typeText, QStringLiteral("ЭС-1.05"));
            QCOMPARE(setup.StandSetup[1].designation, QStringLiteral("1600"));
            QCOMPARE(setup.RunScheme, 1);
            QCOMPARE(setup.MaxConstant, 1600.0);
            for (int p = 1; p <= 6; ++p)
                QVERIFY(!setup.StandSetup[3].positions[p]);
            QVERIFY(!setup.StandSetup[3].all && !setup.hasType(3) && !setup.StandInUse[3]);
            QCOMPARE(setup.StandSetup[3].Unom, 0.0);
        }
        QVERIFY(ui->boxes().isEmpty());
    }

    void deletedChoicesAreForgottenQuietly()
    {
        setuptest::Fixture f;
        kv::ScopedRecordingUi ui;
        RunSetup setup(*f.dm);
        showVerification(setup);
        setup.allReleased(1, true);
        setup.typeChosen(1, typeRow(*f.dm, 1, QStringLiteral("ЭТР-3.57")));
        setup.testChosen(setuptest::testRow(*f.dm, QStringLiteral("П реакт. кл.2")));
        setup.FormClose();
        // The database program deletes both meanwhile.
        f.dm->closeConnection();
        kvtest::execOrFail(f.db.db(), QStringLiteral("DELETE FROM TTip WHERE PTip = 'ЭТР-3.57'"));
        kvtest::execOrFail(f.db.db(), QStringLiteral("DELETE FROM TTest WHERE PNameTable = 'П реакт. кл.2'"));
        QCOMPARE(f.dm->openConnection(), QString());
        showVerification(setup);
        QVERIFY(setup.StandInUse[1]);
        QVERIFY(!setup.hasType(1));
        QCOMPARE(setup.StandSetup[1].Unom, 0.0);
        QVERIFY(setup.testText.isEmpty());
        QVERIFY(ui->boxes().isEmpty());
        QVERIFY(!setup.Start());  // and the run cannot start without them
    }
};

QTEST_MAIN(TestRunSetup)
#include "test_run_setup.moc"
