// The run's point sequence: stepping and choosing points, the start of each
// point with its three guarded steps, the set-up requests the stands get, the
// countdown, the end of a verification and the way out of the run.

#include "run_fixture.h"

#include "database/run_claim.h"

#include <QTest>

using namespace runtest;
using setuptest::Special;

namespace {

QByteArray setupBytes(int stand, char letter, const char *mantissa, const char *count, const char *exponent,
                      char energy = '1')
{
    return QByteArray("/") + char('0' + stand) + frame::SOH + letter + frame::STX + mantissa + count + exponent +
           energy + frame::ETX;
}

}  // namespace

class TestRunControl : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void regulationStepsToTheLastPoint()
    {
        Rig rig;
        const qlonglong type = rig.addType({});
        const qlonglong test = rig.addTest({{10, 100, 100, 0.5, 1, 4}, {20, 50, 10, 1, 0, 8}, {30, 100, 1}});
        rig.choose(ModeRegulation, {{1, {1, 2}}, {3, {6}}}, type, test);
        rig.pickRow(1);
        rig.windows->RunReady(rig.start(ModeRegulation));
        RunControl &run = *rig.run;
        QVERIFY(run.WindowVisible);
        QCOMPARE(run.Caption, QStringLiteral("Регулировка"));
        QVERIFY(run.NextEnabled);
        QCOMPARE(rig.link.PendingCommand, QStringLiteral("Next"));
        QVERIFY(rig.link.T02.isActive());

        QStringList memo;
        rig.confirmPoint(false, false, &memo);
        rig.step();
        QVERIFY(rig.ui->boxes().isEmpty());
        QCOMPARE(run.PointKind, int(KindError));
        QCOMPARE(run.PointNumberText, QStringLiteral("2"));
        QCOMPARE(run.PointMemo, memo);
        QCOMPARE(memo.at(2), QStringLiteral("Ток.......................................... 500.00 mA"));
        QCOMPARE(rig.setupFrames(), (QList<QByteArray>{setupBytes(1, 'P', "10000", "08", "7"),
                                                      setupBytes(3, 'P', "10000", "08", "7")}));
        // The collection queue waits until the set-up is on the line, so no
        // stray reply can move it on meanwhile.
        QVERIFY(rig.link.CommandQueue.isEmpty());
        rig.flush();
        QCOMPARE(rig.link.CommandQueue,
                 (QStringList{QStringLiteral("%1"), QStringLiteral("%3"), QStringLiteral("Repeat")}));
        QVERIFY(rig.link.T02.isActive());
        // Regulation has no countdown.
        QVERIFY(!run.TTime.isActive());
        QVERIFY(!run.SaveInBaseEnabled);

        // From the next-to-last row to the last: no further "Следующая точка".
        rig.frames.clear();
        rig.confirmPoint();
        run.ANextPoint();
        QVERIFY(!run.NextEnabled);
        QCOMPARE(run.PointNumberText, QStringLiteral("3"));
        QCOMPARE(run.PointMemo.at(2), QStringLiteral("Ток.......................................... 50.00 mA"));
        QCOMPARE(rig.setupFrames().size(), 2);
        QVERIFY(rig.link.PendingCommand.isEmpty());
        // A disabled "Следующая точка" does nothing.
        run.ANextPoint();
        QCOMPARE(rig.setupFrames().size(), 2);
        QCOMPARE(rig.ui->dialogsShown(), 3);
    }

    void aRowOfUnknownKindSendsNothing()
    {
        Rig rig;
        const qlonglong type = rig.addType({});
        const qlonglong test = rig.addTest({{1}, {2}});
        rig.choose(ModeRegulation, {{2, {1}}}, type, test);
        RunStart start = rig.start(ModeRegulation);
        Dataset *rows = rig.f.dm->ADOTestBuf;
        rows->first();
        rows->setValue(QStringLiteral("PMode"), QStringLiteral("x"));
        QCOMPARE(rows->post(), QString());
        rig.pickRow(0);
        rig.windows->RunReady(start);
        rig.confirmPoint();
        rig.step();
        QCOMPARE(rig.run->PointKind, int(KindOther));
        QVERIFY(rig.ui->boxes().isEmpty());
        QVERIFY(rig.setupFrames().isEmpty());
        rig.flush();
        QVERIFY(rig.link.CommandQueue.isEmpty());
        // The operator still saw what the row demands.
        QCOMPARE(rig.run->PointMemo.size(), 7);
        QVERIFY(rig.run->NextEnabled);
        // Nothing to mark and nothing to reset on such a row.
        QVERIFY(!rig.run->ClearMeterOffered());
        QVERIFY(!rig.run->MarksOffered());
    }

    void constantsReachTheStandsScaledWithTheTransformer()
    {
        Rig rig;
        const qlonglong type = rig.addType({});
        const qlonglong ws = rig.addType({QStringLiteral("Т-Вт"), 1800, 3, 2});
        const qlonglong test = rig.addTest({{1, 100, 100, 1, 0, 12}});
        rig.choose(ModeRegulation, {{1, {1}}, {2, {3}}}, type, test);
        QVERIFY(rig.f.dm->ADOTipStend(2)->locate(QStringLiteral("PIndex"), ws));
        rig.setup.typeChosen(2, rig.f.dm->ADOTipStend(2)->recNo());
        QVERIFY(rig.setup.hasType(2));

        // "И561" with the reference meter's 1 A range: × 5.
        rig.pickRow();
        rig.windows->RunReady(rig.start(ModeRegulation));
        rig.confirmPoint(true, false);
        rig.step();
        QCOMPARE(rig.setupFrames(), (QList<QByteArray>{setupBytes(1, 'P', "50000", "12", "7"),
                                                      setupBytes(2, 'P', "10000", "12", "6", '2')}));

        // "671111.104" with the 2.5 A winding: × 2.5; the 5 A range or the
        // 1 A winding leave the constant as it is.
        for (const auto &c : {std::make_tuple(false, false, true, "25000", "7"),
                              std::make_tuple(false, true, false, "10000", "7"),
                              std::make_tuple(true, false, true, "10000", "7")}) {
            rig.frames.clear();
            rig.tr1 = std::get<0>(c);
            rig.pickRow();
            rig.confirmPoint(std::get<1>(c), std::get<2>(c));
            rig.run->ASelectPoint();
            rig.step();
            QCOMPARE(rig.setupFrames().value(0), setupBytes(1, 'P', std::get<3>(c), "12", std::get<4>(c)));
        }
        QVERIFY(rig.ui->boxes().isEmpty());
    }

    void aStandThatCannotBeSetUpStopsTheWholeSetUp()
    {
        for (double bad : {0.0, -5.0, 99999.7}) {
            Rig rig;
            const qlonglong good = rig.addType({});
            const qlonglong wrong = rig.addType({QStringLiteral("Т-плохой"), bad});
            const qlonglong test = rig.addTest({{1}, {2}});
            rig.choose(ModeVerification, {{1, {1}}, {2, {1}}}, good, test, 0);
            QVERIFY(rig.f.dm->ADOTipStend(2)->locate(QStringLiteral("PIndex"), wrong));
            rig.setup.typeChosen(2, rig.f.dm->ADOTipStend(2)->recNo());
            QVERIFY(rig.setup.hasType(2));
            rig.pickRow();
            rig.windows->RunReady(rig.start(ModeVerification));
            rig.confirmPoint();
            rig.step();
            // Not even the stand that could be set up gets its request.
            QCOMPARE(rig.ui->texts(), QStringList{RunControl::StandSetupFailedText});
            QVERIFY(rig.frames.isEmpty());
            rig.flush();
            QVERIFY(rig.link.CommandQueue.isEmpty());
            // The countdown step still runs, and the run goes on to the next point.
            QVERIFY(rig.run->TTime.isActive());
            rig.confirmPoint();
            rig.run->ANextPoint();
            QCOMPARE(rig.run->PointNumberText, QStringLiteral("2"));
        }
    }

    void registerTestCountsDivisionsInReports()
    {
        Rig rig;
        const qlonglong type = rig.addType({QStringLiteral("Т-1"), 1000, 1, 1, 0.1});
        const qlonglong test = rig.addTest({{1}}, {}, {}, Special{true, 2, 100, 10, 1, 30});
        rig.choose(ModeVerification, {{1, {1, 4}}}, type, test, 1);
        rig.pickRow(1);
        rig.windows->RunReady(rig.start(ModeVerification));
        RunControl &run = *rig.run;
        int prescriptions = 0;
        run.Hooks.Prescription = [&](bool end) { prescriptions += end ? 10 : 1; };
        // The readings come first, then the point's parameters, which keep them.
        rig.ui->queueDialog([](QDialog *d) {
            auto *r = qobject_cast<TfPokas *>(d);
            if (!r)
                qFatal("expected the register readings");
            r->FormShow();
            r->Edits[1][1]->setText(QStringLiteral("1234.5"));
            r->Button2Click();
            return r->result();
        });
        run.StandResults[1].MeterEdit[4].SetFontColor(Qt::red);
        rig.confirmPoint();
        rig.step();
        QVERIFY(rig.ui->boxes().isEmpty());
        QCOMPARE(prescriptions, 1);
        QCOMPARE(run.PointKind, int(KindRegister));
        QCOMPARE(rig.setupFrames(), QList<QByteArray>{setupBytes(1, 'P', "10000", "50", "7")});
        const StandResultsRecord &r = run.StandResults[1];
        QCOMPARE(r.PulsesPerDivision, 100);
        QCOMPARE(r.PulsesPerReport, 50);
        QCOMPARE(r.DivisionValue, 0.1);
        QCOMPARE(r.MeterEdit[1].Text(), QStringLiteral("1234.5"));
        QCOMPARE(r.MeterEdit[4].Text(), QStringLiteral("0"));
        QCOMPARE(r.MeterEdit[4].FontColor(), QColor(Qt::black));
        QVERIFY(run.PointMemo.last().endsWith(QStringLiteral("счетное устройство")));

        // A minute and a half, with the marks held back until it ends.
        QCOMPARE(run.SecondsLeft, 90);
        QCOMPARE(run.CountdownHeading, RunState::HeadingAdditionalTest);
        QVERIFY(run.CountdownVisible);
        QVERIFY(!run.MarksEnabled);
        run.SecondsLeft = 0;
        run.TTimeTimer();
        QVERIFY(run.MarksEnabled);
        QVERIFY(!run.TTime.isActive());
        QCOMPARE(prescriptions, 11);
        QCOMPARE(rig.link.PendingCommand, QStringLiteral("Exit"));
        QVERIFY(!run.ReadyVisible);
    }

    void automaticVerificationCountsDownAndEnds()
    {
        Rig rig;
        // 3ф 3п at 100 V and 5 A: U = 57.735 V per element, two elements.
        const qlonglong type = rig.addType({});
        const qlonglong test = rig.addTest({{1, 100, 100, 1, 0, 10}, {2, 100, 100, 0.5, 1, 10}});
        rig.choose(ModeVerification, {{1, {1}}}, type, test, 0);
        rig.pickRow();
        rig.windows->RunReady(rig.start(ModeVerification));
        RunControl &run = *rig.run;
        QVERIFY(!run.NextVisible && !run.SelectVisible && !run.ResultVisible);
        QVERIFY(run.NumbersVisible);
        rig.confirmPoint();
        rig.step();
        QVERIFY(rig.ui->boxes().isEmpty());
        // 2.5 × 10 × 3 600 000 / (1000 × 2 × 1 × 57.735 × 5) = 155.9
        QCOMPARE(run.SecondsLeft, 156);
        QCOMPARE(run.CountdownText, QStringLiteral("2 мин  36 сек"));
        QCOMPARE(run.CountdownHeading, RunState::HeadingAnswer);
        QVERIFY(run.CountdownVisible);
        // The time counts once the stand has its set-up.
        QVERIFY(!run.TTime.isActive());
        rig.flush();
        QVERIFY(run.TTime.isActive());
        QVERIFY(run.SaveInBaseEnabled);
        run.SecondsLeft = 66;
        run.TTimeTimer();
        QCOMPARE(run.CountdownText, QStringLiteral("1 мин  05 сек"));

        // An inductive point: the "/L" is no part of the power factor.
        run.SecondsLeft = 0;
        rig.confirmPoint();
        run.TTimeTimer();
        rig.flush();
        QCOMPARE(run.PointNumberText, QStringLiteral("2"));
        QVERIFY(!run.NextEnabled);
        QCOMPARE(run.SecondsLeft, 312);
        QVERIFY(rig.ui->boxes().isEmpty());

        // The last point runs out: the verification is over.
        run.SecondsLeft = 0;
        run.TTimeTimer();
        QCOMPARE(rig.ui->texts(), QStringList{RunControl::VerificationDoneText});
        QCOMPARE(rig.ui->boxes().at(0).caption, QStringLiteral("Поверка"));
        QCOMPARE(rig.ui->boxes().at(0).icon, kv::Icon::Information);
        QCOMPARE(rig.link.PendingCommand, QStringLiteral("Exit"));
        QVERIFY(!run.TTime.isActive());
        QVERIFY(run.NewTestVisible && run.ResultVisible);
        QCOMPARE(run.CountdownText, QStringLiteral("0 мин  00 сек"));
    }

    void countdownFailuresAreReportedAlone()
    {
        Rig rig;
        const qlonglong type = rig.addType({});
        const qlonglong test = rig.addTest({{1, 100, 0}, {2, 100, 100, 0}, {3, 100, 100, 1, 0, 597}, {4}});
        rig.choose(ModeVerification, {{1, {1}}}, type, test, 0);
        rig.pickRow();
        rig.windows->RunReady(rig.start(ModeVerification));
        RunControl &run = *rig.run;
        rig.confirmPoint();
        rig.step();
        for (int point = 1; point <= 3; ++point) {
            QCOMPARE(rig.ui->texts(), QStringList{RunControl::CountdownFailedText});
            rig.flush();
            QVERIFY(!run.TTime.isActive());
            // The stands were set up all the same.
            QCOMPARE(rig.setupFrames().size(), point);
            rig.ui->clear();
            rig.confirmPoint();
            run.ANextPoint();
        }
        QVERIFY(rig.ui->boxes().isEmpty());
        rig.flush();
        QVERIFY(run.TTime.isActive());
    }

    void aCancelledTableLeavesTheRunAsItWas()
    {
        Rig rig;
        const qlonglong type = rig.addType({});
        const qlonglong test = rig.addTest({{1}, {2}});
        rig.choose(ModeVerification, {{1, {1}}}, type, test, 1);
        rig.cancelTable();
        rig.windows->RunReady(rig.start(ModeVerification));
        RunControl &run = *rig.run;
        QVERIFY(run.WindowVisible);
        QCOMPARE(rig.link.PendingCommand, QStringLiteral("Exit"));
        rig.step();
        QVERIFY(rig.link.PendingCommand.isEmpty());
        QVERIFY(rig.frames.isEmpty());
        QVERIFY(rig.ui->boxes().isEmpty());

        // "Повторить поверку" cancelled keeps what the run has measured.
        run.StandResults[1].MeterNumber[1] = QStringLiteral("123");
        run.StandResults[1].Errors[1][1] = 0.5;
        run.NewTestVisible = true;
        rig.cancelTable();
        run.AnewTest();
        QCOMPARE(run.StandResults[1].MeterNumber[1], QStringLiteral("123"));
        QCOMPARE(double(run.StandResults[1].Errors[1][1]), 0.5);
        QVERIFY(run.NewTestVisible);
        // Chosen: emptied, and the run starts again.
        rig.pickRow();
        run.AnewTest();
        QVERIFY(run.StandResults[1].MeterNumber[1].isEmpty());
        QCOMPARE(double(run.StandResults[1].Errors[1][1]), 0.0);
        QVERIFY(!run.NewTestVisible);
        QCOMPARE(rig.link.PendingCommand, QStringLiteral("Next"));
    }

    void leavingAVerification()
    {
        Rig rig;
        const qlonglong type = rig.addType({});
        const qlonglong test = rig.addTest({{1}});
        rig.choose(ModeVerification, {{1, {1, 2}}}, type, test, 1);
        rig.pickRow();
        rig.windows->RunReady(rig.start(ModeVerification));
        RunControl &run = *rig.run;
        int stored = 0, saved = 0;
        bool archiveAccepts = false;
        run.Hooks.StorePointResults = [&] { ++stored; };
        run.Hooks.SaveToArchive = [&] {
            ++saved;
            return archiveAccepts ? 2 : -1;
        };
        rig.confirmPoint();
        rig.step();
        QVERIFY(run.SaveInBaseEnabled);
        stored = 0;

        // Cancel keeps the window.
        rig.ui->queueAnswer(QMessageBox::Cancel);
        QVERIFY(!run.MainMenu());
        QVERIFY(run.WindowVisible);
        QCOMPARE(rig.ui->boxes().at(0).caption, QStringLiteral("Выход из режима поверки"));
        QCOMPARE(rig.ui->boxes().at(0).text, QStringLiteral("Сохранить результаты поверки в базе данных ?"));
        QCOMPARE(rig.ui->boxes().at(0).icon, kv::Icon::Question);
        QCOMPARE(rig.ui->boxes().at(0).buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        QCOMPARE(rig.link.PendingCommand, QStringLiteral("Exit"));

        // Yes, but the numbers are not given, or the archive refuses: nothing
        // is lost with the window, it stays.
        rig.ui->queueAnswer(QMessageBox::Yes);
        rig.enterNumbers(false);
        QVERIFY(!run.MainMenu());
        QCOMPARE(saved, 0);
        rig.ui->queueAnswer(QMessageBox::Yes);
        rig.enterNumbers();
        QVERIFY(!run.MainMenu());
        QCOMPARE(saved, 1);
        QVERIFY(run.SaveInBaseEnabled);
        QVERIFY(run.StatusText.isEmpty());  // a refused save says nothing is saved
        QCOMPARE(run.StandResults[1].MeterNumber[2], QStringLiteral("N2"));

        // Saved: the window closes.
        archiveAccepts = true;
        rig.ui->clear();
        rig.ui->queueAnswer(QMessageBox::Yes);
        rig.enterNumbers();
        QVERIFY(run.MainMenu());
        QCOMPARE(saved, 2);
        QCOMPARE(stored, 3);
        QVERIFY(!run.WindowVisible);
        QVERIFY(!run.SaveInBaseEnabled);
        QCOMPARE(run.StatusText, QStringLiteral("Результаты поверки записаны в архив, счетчиков: 2"));

        // Back again after the save: it closes without asking.
        run.WindowVisible = true;
        rig.ui->clear();
        QVERIFY(run.MainMenu());
        QVERIFY(rig.ui->boxes().isEmpty());
        QVERIFY(!run.WindowVisible);
    }

    void manualWorkSetsTheStandsUpOnce()
    {
        Rig rig;
        const qlonglong type = rig.addType({QStringLiteral("Т-1"), 0.5, 2});  // 0.5 kWh per pulse: 2 per kWh
        const qlonglong other = rig.addType({QStringLiteral("Т-2"), 25000, 1, 2});
        rig.choose(ModeManual, {{1, {1}}, {4, {2, 3}}}, type);
        QVERIFY(rig.f.dm->ADOTipStend(4)->locate(QStringLiteral("PIndex"), other));
        rig.setup.typeChosen(4, rig.f.dm->ADOTipStend(4)->recNo());
        rig.setup.revolutionKey(4, QLatin1Char('7'));
        rig.setup.RadioButton1 = true;  // "1A" of the reference meter: × 5 with "И561"
        rig.windows->RunReady(rig.start(ModeManual));
        RunControl &run = *rig.run;
        QVERIFY(rig.ui->boxes().isEmpty());
        QCOMPARE(rig.ui->dialogsShown(), 0);
        QCOMPARE(run.Caption, QStringLiteral("Ручная проверка"));
        QVERIFY(!run.PointVisible && !run.NextVisible && !run.SelectVisible && !run.NumbersVisible);
        QCOMPARE(run.PointKind, int(KindError));
        QCOMPARE(rig.setupFrames(), (QList<QByteArray>{setupBytes(1, 'P', "10000", "00", "9"),
                                                      setupBytes(4, 'P', "12500", "07", "5", '2')}));
        rig.flush();
        QCOMPARE(rig.link.CommandQueue,
                 (QStringList{QStringLiteral("%1"), QStringLiteral("%4"), QStringLiteral("Repeat")}));
        QVERIFY(!run.TTime.isActive());
    }

    void modeSetUpsPrepareTheFields()
    {
        Rig rig;
        const qlonglong type = rig.addType({});
        const qlonglong test = rig.addTest({{1}});
        rig.choose(ModeVerification, {{2, {1, 6}}}, type, test, 1);
        RunControl &run = *rig.run;
        run.SetSetup(&rig.setup);
        run.StandResults[2].MeterEdit[1].SetText(QStringLiteral("+0.12"));
        run.StandResults[2].MeterEdit[1].SetFontColor(Qt::red);
        run.StandResults[3].MeterEdit[1].SetText(QStringLiteral("x"));
        run.SetUpVerification(1);
        QCOMPARE(run.PointKind, 4);
        QVERIFY(run.NextVisible && run.SelectVisible && run.ResultVisible && run.NumbersVisible);
        QVERIFY(!run.ReadyVisible && !run.NewTestVisible && !run.CountdownVisible);
        for (int s = 1; s <= 5; ++s) {
            QCOMPARE(run.StandResults[s].ResetButton.Visible, s == 2);
            for (int p = 1; p <= 6; ++p) {
                const PositionField &f = run.StandResults[s].MeterEdit[p];
                QCOMPARE(f.Enabled(), s == 2 && (p == 1 || p == 6));
                QVERIFY(f.Text().isEmpty());
                QCOMPARE(f.FontColor(), QColor(Qt::black));
                QCOMPARE(f.Tag, 10 * s + p);
            }
        }
        run.SetUpRegulation();
        QVERIFY(run.NextVisible && run.SelectVisible && !run.ResultVisible && !run.NumbersVisible);
        QVERIFY(run.PointVisible);

        // Clearing the results: every list keeps its size, every value is 0.
        run.SizeResults(7);
        run.StandResults[2].Errors[6][6] = 1.5;
        run.StandResults[2].Measured[6][6] = true;
        run.StandResults[2].Limits[6] = 1;
        run.StandResults[5].PointNumbers[1][3] = 3;
        run.StandResults[2].SensVerdict[6] = 2;
        run.StandResults[2].PulsesPerDivision = 100;
        run.StandResults[2].DivisionValue = 0.1;
        QVERIFY(run.ValidPointIndex(6));
        QVERIFY(!run.ValidPointIndex(7));
        QVERIFY(!run.ValidPointIndex(0));
        run.ClearResults();
        QCOMPARE(run.StandResults[2].Errors[6].size(), 7);
        QCOMPARE(double(run.StandResults[2].Errors[6][6]), 0.0);
        QVERIFY(!run.StandResults[2].Measured[6][6]);
        QCOMPARE(double(run.StandResults[2].Limits[6]), 0.0);
        QCOMPARE(run.StandResults[5].PointNumbers[1][3], 0);
        QCOMPARE(run.StandResults[2].SensVerdict[6], quint8(0));
        QCOMPARE(run.StandResults[2].PulsesPerDivision, 0);
        QCOMPARE(run.StandResults[2].DivisionValue, 0.0);
    }

    void countdownCountsFromTheLastStandsSetUp()
    {
        Rig rig;
        const qlonglong type = rig.addType({});
        const qlonglong test = rig.addTest({{1}, {2}}, Special{true, 3, 100, 10, 0, 12});
        rig.choose(ModeVerification, {{1, {1}}, {2, {1}}, {3, {1}}, {4, {1}}, {5, {1}}}, type, test, 1);
        rig.pickRow(2);
        rig.windows->RunReady(rig.start(ModeVerification));
        RunControl &run = *rig.run;
        rig.confirmPoint();
        rig.step();
        QCOMPARE(run.PointKind, int(KindSensitivity));
        QCOMPARE(run.SecondsLeft, 12);
        QCOMPARE(run.CountdownText, QStringLiteral("0 мин  12 сек"));
        // Five set-up frames and their pauses are still to go out.
        QVERIFY(!run.TTime.isActive() && !run.CountdownRunning());
        for (int i = 0; i < 5; ++i)
            rig.link.Transmitter.OnStepTimer();
        QVERIFY(!run.TTime.isActive());
        rig.flush();
        QVERIFY(run.TTime.isActive() && run.CountdownRunning());
        // The first tick shows one second less.
        run.TTimeTimer();
        QCOMPARE(run.CountdownText, QStringLiteral("0 мин  11 сек"));

        // A point left while its set-up is still going out never counts down.
        rig.pickRow(2);
        rig.confirmPoint();
        run.ASelectPoint();
        rig.step();
        QVERIFY(!run.TTime.isActive());
        run.AEndTest();
        rig.flush();
        QVERIFY(!run.TTime.isActive() && !run.CountdownRunning());
        QVERIFY(rig.ui->boxes().isEmpty());
    }

    void countdownTicksKeepToTheirDeadlines_data()
    {
        QTest::addColumn<int>("ticks");
        QTest::addColumn<qint64>("elapsed");
        QTest::addColumn<int>("delay");
        QTest::newRow("on time") << 1 << qint64(1000) << 1000;
        QTest::newRow("a late tick gives the time back") << 1 << qint64(1180) << 820;
        QTest::newRow("an early tick waits the rest") << 3 << qint64(2950) << 1050;
        QTest::newRow("far behind: at once, no catching up in a burst") << 2 << qint64(4500) << 0;
    }

    void countdownTicksKeepToTheirDeadlines()
    {
        QFETCH(int, ticks);
        QFETCH(qint64, elapsed);
        QFETCH(int, delay);
        QCOMPARE(RunControl::NextTickDelay(ticks, elapsed), delay);
    }

    void aNewVerificationStartsWithoutThePreviousRunsPoint_data()
    {
        QTest::addColumn<int>("before");
        QTest::addColumn<int>("lastRow");
        QTest::newRow("after a verification ending on its sensitivity row") << int(ModeVerification) << 1;
        QTest::newRow("after a verification ending on its register row") << int(ModeVerification) << 3;
        QTest::newRow("after a regulation") << int(ModeRegulation) << 1;
    }

    void aNewVerificationStartsWithoutThePreviousRunsPoint()
    {
        QFETCH(int, before);
        QFETCH(int, lastRow);
        Rig rig;
        RunControl &run = *rig.run;
        run.Hooks.Prescription = [](bool) {};
        const qlonglong type = rig.addType({});
        // Rows in the test's own order: 40, sensitivity 50, 70, register 80.
        const qlonglong special = rig.addTest({{40}, {70}}, Special{true, 50, 100, 10, 0, 5}, {},
                                              Special{true, 80, 100, 100, 0, 5});
        rig.choose(before, {{1, {1, 2}}}, type, special, 1);
        rig.pickRow(lastRow);
        if (lastRow == 3)
            rig.ui->queueDialog([](QDialog *d) {
                auto *r = qobject_cast<TfPokas *>(d);
                r->FormShow();
                for (int p = 1; p <= 2; ++p)
                    r->Edits[1][p]->setText(QStringLiteral("10"));
                r->Button2Click();
                return r->result();
            });
        rig.confirmPoint();
        rig.windows->RunReady(rig.start(before));
        rig.step();
        rig.ui->queueAnswer(QMessageBox::No);
        QVERIFY(run.MainMenu());
        rig.ui->clear();

        // The next verification: a plain test, from its first point.
        const qlonglong plain = rig.addTest({{1}, {2}});
        rig.choose(ModeVerification, {{1, {1, 2}}}, type, plain, 1);
        rig.pickRow();
        rig.windows->RunReady(rig.start(ModeVerification));
        QVERIFY2(rig.ui->boxes().isEmpty(), qPrintable(rig.ui->texts().join(QLatin1Char('|'))));
        for (int p = 1; p <= 2; ++p) {
            const StandResultsRecord &r = run.StandResults[1];
            QCOMPARE(r.SensVerdict[p], quint8(0));
            QCOMPARE(r.CreepVerdict[p], quint8(0));
            QCOMPARE(r.RegisterVerdict[p], quint8(0));
            for (int i = 0; i < r.Measured[p].size(); ++i)
                QVERIFY(!r.Measured[p][i]);
        }
    }

    void anUnsavedVerificationKeepsItsTypesAndTest()
    {
        Rig rig;
        const qlonglong type = rig.addType({});
        const qlonglong other = rig.addType({QStringLiteral("Т-2")});
        const qlonglong test = rig.addTest({{1}});
        rig.choose(ModeVerification, {{1, {1}}, {3, {2}}}, type, test, 1);
        QVERIFY(rig.f.dm->ADOTipStend(3)->locate(QStringLiteral("PIndex"), other));
        rig.setup.typeChosen(3, rig.f.dm->ADOTipStend(3)->recNo());
        rig.pickRow();
        rig.windows->RunReady(rig.start(ModeVerification));
        RunControl &run = *rig.run;
        QSqlDatabase db = rig.f.dm->database();
        auto claimed = [&] {
            return kv::runClaims(db, kv::ClaimKind::Tip, type) && kv::runClaims(db, kv::ClaimKind::Tip, other) &&
                   kv::runClaims(db, kv::ClaimKind::Test, test);
        };
        QVERIFY(claimed());
        rig.confirmPoint();
        rig.step();
        run.StandResults[1].MeterEdit[1].SetText(QStringLiteral("+0.10"));
        // Saved: the archive's own references protect them now.
        rig.ui->queueAnswer(QMessageBox::Yes);
        rig.enterNumbers();
        QVERIFY(run.MainMenu());
        QVERIFY(!run.Claim().held());
        QVERIFY(!kv::runClaims(db, kv::ClaimKind::Test, test));
        // Left unsaved: nothing to protect any more.
        rig.pickRow();
        rig.windows->RunReady(rig.start(ModeVerification));
        QVERIFY(claimed());
        rig.ui->queueAnswer(QMessageBox::No);
        QVERIFY(run.MainMenu());
        QVERIFY(!claimed() && !kv::runClaims(db, kv::ClaimKind::Tip, type));
        // A regulation saves nothing and claims nothing.
        rig.choose(ModeRegulation, {{1, {1}}}, type, test);
        rig.pickRow();
        rig.windows->RunReady(rig.start(ModeRegulation));
        QVERIFY(!run.Claim().held());
    }
};

QTEST_MAIN(TestRunControl)
#include "test_run_control.moc"
