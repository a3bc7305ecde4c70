// The meters' readings during a run: the stands' results frames in the fields
// and the special tests' observations, colouring against the point's limit,
// the resets, the operator's marks, fixing a point's readings and the archive
// save with its verdicts.

#include "run_fixture.h"

#include "link/main_controller.h"

#include "run/run_readings.h"
#include "support/hostile_texts.h"
#include "support/test_env.h"
#include "database/engine_sql.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

using namespace runtest;

namespace {

const QString Seen = QStringLiteral("есть");
const QString NotSeen = QStringLiteral("нет");

// A results frame of a stand: "/" s 0x02, then " p value" per group, 0x03.
QByteArray report(int stand, const QList<QPair<int, QByteArray>> &groups, const QByteArray &extra = {})
{
    QByteArray f = QByteArray("/") + char('0' + stand) + frame::Results;
    for (const auto &g : groups)
        f += ' ' + QByteArray::number(g.first) + ' ' + g.second;
    return f + extra + frame::ETX;
}

// A run in the given mode with the stands and positions chosen, stopped at a
// point of the given kind; no dialog is opened on the way.
struct Reading {
    Rig rig;
    RunControl &run = *rig.run;
    RunReadings &readings = rig.windows->Readings;
    qlonglong type = 0;
    qlonglong test = 0;

    Reading(int mode, const QList<QPair<int, QList<int>>> &stands, int rgAuto = 0)
    {
        type = rig.addType({});
        test = rig.addTest({{10}, {20}, {30}});
        rig.choose(mode, stands, type, test, rgAuto);
        run.SetSetup(&rig.setup);
        rig.link.RunMode = mode;
        run.SizeResults(8);
        run.PrepareFields();
        point(KindError);
    }

    // The current row: its kind, limit, results index and test point number.
    void point(int kind, double limit = 1.0, int index = 1, int number = 10)
    {
        run.PointKind = kind;
        run.CurrentRow = PointRow();
        run.CurrentRow.PMeasureMax = limit;
        run.CurrentRow.PMode = kind == KindError ? QStringLiteral("п")
                               : kind == KindSensitivity ? QStringLiteral("ч")
                               : kind == KindCreep       ? QStringLiteral("с")
                                                         : QStringLiteral("с/у");
        run.CurrentRow.PNumPoint = kind == KindError ? index : 0;
        run.CurrentRow.PNumPointBuf = number;
        run.PointStarted = true;
        run.NextEnabled = false;
        // Every point starts with empty black fields.
        for (int s = 1; s <= 5; ++s)
            for (int p = 1; p <= 6; ++p) {
                field(s, p).SetText(QString());
                field(s, p).SetFontColor(Qt::black);
            }
    }

    // The stand is asked for its results in this point: its frames count.
    void ask(int s)
    {
        rig.link.CommandQueue = {QStringLiteral("%") + QString::number(s), QStringLiteral("Repeat")};
        rig.link.QueueIndex = 0;
        rig.link.RunQueue();
    }

    PositionField &field(int s, int p) { return run.StandResults[s].MeterEdit[p]; }
    StandResultsRecord &stand(int s) { return run.StandResults[s]; }
    int advances() { return rig.ui->texts().count(RunControl::VerificationDoneText); }
    QSqlDatabase db() { return rig.f.db.db(); }
};

}  // namespace

class TestRunReadings : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void errorPointReportFillsTheFieldsAndEndsThePointOnce()
    {
        Reading r(ModeVerification, {{2, {1, 3}}});
        r.readings.HandleStandReport(2, report(2, {{1, "+0.12"}}));
        QCOMPARE(r.field(2, 1).Text(), QStringLiteral("+0.12"));
        QCOMPARE(r.advances(), 0);  // position 3 has not answered yet

        r.readings.HandleStandReport(2, report(2, {{1, "+0.15"}, {2, "+9.99"}, {3, "-1.50"}}));
        QCOMPARE(r.field(2, 1).Text(), QStringLiteral("+0.15"));
        QCOMPARE(r.field(2, 3).Text(), QStringLiteral("-1.50"));
        QCOMPARE(r.field(2, 1).FontColor(), QColor(Qt::black));
        QCOMPARE(r.field(2, 3).FontColor(), QColor(Qt::red));
        QCOMPARE(r.advances(), 1);
        // Unoccupied positions and the other stands are untouched.
        QVERIFY(r.field(2, 2).Text().isEmpty());
        QVERIFY(r.field(1, 1).Text().isEmpty());
        QCOMPARE(r.rig.link.PendingCommand, QStringLiteral("Exit"));
    }

    void automaticVerificationMovesOnWithFreshFields()
    {
        Rig rig;
        const qlonglong type = rig.addType({});
        const qlonglong test = rig.addTest({{10}, {20}});
        rig.choose(ModeVerification, {{1, {1, 2}}}, type, test, 0);
        RunControl &run = *rig.run;
        rig.pickRow();
        rig.windows->RunReady(rig.start(ModeVerification));
        rig.confirmPoint();
        rig.step();
        QCOMPARE(run.CurrentRow.PNumPointBuf, 10);
        rig.confirmPoint();
        rig.flush();
        rig.step();  // stand 1 is asked
        // The countdown is the longest wait for the answers, not the point's
        // time: it runs, with most of it left, when the answers end the point.
        QVERIFY(run.CountdownRunning());
        const int fullTime = run.SecondsLeft;
        run.TTimeTimer();
        QCOMPARE(run.SecondsLeft, fullTime - 1);
        rig.link.HandleFrame(report(1, {{1, "+0.10"}, {2, "-0.20"}}));
        // Both meters answered: the second point started, its fields empty,
        // its own wait shown in full.
        QCOMPARE(run.CurrentRow.PNumPointBuf, 20);
        QCOMPARE(run.SecondsLeft, fullTime);
        QCOMPARE(run.CountdownText, kvintor::CountdownText(fullTime));
        QVERIFY(run.StandResults[1].MeterEdit[1].Text().isEmpty());
        QVERIFY(run.StandResults[1].Measured[1][1] && run.StandResults[1].Measured[2][1]);
        QCOMPARE(double(run.StandResults[1].Errors[2][1]), -0.2);
        // One meter of two is no reason to move on.
        rig.flush();
        rig.step();
        rig.link.HandleFrame(report(1, {{2, "+0.30"}}));
        QCOMPARE(run.CurrentRow.PNumPointBuf, 20);
        QVERIFY(!rig.ui->texts().contains(RunControl::VerificationDoneText));
    }

    void shortAndGarbageGroups()
    {
        Reading r(ModeVerification, {{2, {1, 3}}}, 1);
        // A group cut short keeps what it has, the frame's end included.
        r.readings.HandleStandReport(2, report(2, {{3, "-1."}}));
        QCOMPARE(r.field(2, 3).Text(), QStringLiteral("-1.") + QChar(0x03));
        // Not a number: shown as received, judged as the conversion reads it.
        r.readings.HandleStandReport(2, report(2, {{1, "ab?de"}}));
        QCOMPARE(r.field(2, 1).Text(), QStringLiteral("ab?de"));
        QCOMPARE(r.field(2, 1).FontColor(), QColor(Qt::black));
        // Positions that are not digits 1..6, stray bytes, an empty frame.
        r.readings.HandleStandReport(2, QByteArray("/2\x02 7 +1.00 0 +2.00 x y Q9   \x03"));
        r.readings.HandleStandReport(2, QByteArray("/2"));
        r.readings.HandleStandReport(2, QByteArray());
        r.readings.HandleStandReport(9, report(9, {{1, "+5.00"}}));
        QCOMPARE(r.field(2, 1).Text(), QStringLiteral("ab?de"));
        QCOMPARE(r.advances(), 0);  // by hand: the point never ends by itself
    }

    void pulseGroupCountsOnlyDuringSensitivity()
    {
        Reading r(ModeVerification, {{1, {4}}, {3, {4}}});
        const QByteArray pulse = QByteArray("/1\x02 Q4") + frame::ETX;
        r.readings.HandleStandReport(1, pulse);
        QVERIFY(r.field(1, 4).Text().isEmpty());
        QCOMPARE(r.stand(1).SensSeen[4], quint8(0));

        r.point(KindSensitivity);
        r.readings.HandleStandReport(1, pulse);
        QCOMPARE(r.field(1, 4).Text(), Seen);
        QCOMPARE(r.stand(1).SensSeen[4], quint8(3));
        // A value group means nothing during sensitivity; the test ends early
        // only when every meter gave its pulse.
        r.readings.HandleStandReport(3, report(3, {{4, "+0.10"}}));
        QVERIFY(r.field(3, 4).Text().isEmpty());
        QCOMPARE(r.advances(), 0);
        r.readings.HandleStandReport(3, QByteArray("/3\x02 Q4") + frame::ETX);
        QCOMPARE(r.advances(), 1);
    }

    void creepAndRegisterCounting()
    {
        Reading r(ModeVerification, {{4, {1, 2}}}, 1);
        r.point(KindCreep);
        r.readings.HandleStandReport(4, report(4, {{2, "00001"}}));
        QCOMPARE(r.field(4, 2).Text(), Seen);
        QCOMPARE(r.field(4, 2).FontColor(), QColor(Qt::red));
        QCOMPARE(r.stand(4).CreepSeen[2], quint8(3));
        QCOMPARE(r.stand(4).CreepSeen[1], quint8(0));

        r.point(KindRegister);
        StandResultsRecord &s = r.stand(4);
        s.PulsesPerReport = 50;
        s.PulsesPerDivision = 100;
        s.DivisionValue = 0.1;
        r.field(4, 1).SetText(QStringLiteral("12.3"));
        r.field(4, 2).SetText(QStringLiteral("7"));
        const QByteArray one = report(4, {{1, "00050"}});
        r.readings.HandleStandReport(4, one);
        QCOMPARE(r.field(4, 1).Text(), QStringLiteral("12.3"));
        QCOMPARE(s.PulseCount[1], 50);
        r.readings.HandleStandReport(4, one);
        QCOMPARE(r.field(4, 1).Text(), QStringLiteral("12.4"));
        QCOMPARE(s.PulseCount[1], 0);
        r.readings.HandleStandReport(4, one);
        r.readings.HandleStandReport(4, one);
        QCOMPARE(r.field(4, 1).Text(), QStringLiteral("12.5"));
        QCOMPARE(r.field(4, 2).Text(), QStringLiteral("7"));
    }

    void manualWorkShowsValuesWhateverTheKind()
    {
        Reading r(ModeManual, {{5, {6}}});
        for (int kind : {int(KindError), int(KindSensitivity), int(KindCreep), int(KindRegister), int(KindOther)}) {
            r.point(kind);
            const QByteArray v = "+0." + QByteArray::number(kind) + "1";
            r.readings.HandleStandReport(5, report(5, {{6, v}}));
            QCOMPARE(r.field(5, 6).Text(), QString::fromLatin1(v));
            QCOMPARE(r.field(5, 6).FontColor(), QColor(Qt::black));
        }
        r.readings.HandleStandReport(5, report(5, {{6, "+9.99"}}));
        QCOMPARE(r.field(5, 6).FontColor(), QColor(Qt::black));  // not judged by hand
        QVERIFY(r.rig.ui->boxes().isEmpty());
        QVERIFY(r.rig.link.PendingCommand.isEmpty());
    }

    void colouringAgainstTheLimit()
    {
        Reading r(ModeRegulation, {{1, {1}}});
        PositionField &f = r.field(1, 1);
        const QList<QPair<QString, QColor>> cases{{QStringLiteral("1.5"), Qt::red},   {QStringLiteral("-1.5"), Qt::red},
                                                  {QStringLiteral("0.99"), Qt::black}, {QStringLiteral("-1.0"), Qt::black},
                                                  {QStringLiteral("+1.01"), Qt::red},  {QString(), Qt::black}};
        for (const auto &c : cases) {
            f.SetText(c.first);
            QCOMPARE(f.FontColor(), c.second);
        }
        // A creep seen stays red whatever its text reads as a number.
        Reading v(ModeVerification, {{1, {1}}}, 1);
        v.point(KindCreep);
        v.readings.HandleStandReport(1, report(1, {{1, "00000"}}));
        QCOMPARE(v.field(1, 1).FontColor(), QColor(Qt::red));
    }

    void resets()
    {
        Reading r(ModeVerification, {{2, {1, 3}}}, 1);
        StandLink &link = r.rig.link;
        r.point(KindSensitivity);
        r.field(2, 1).SetText(Seen);
        r.readings.ResetStand(2);
        QCOMPARE(r.field(2, 1).Text(), Seen);
        QVERIFY(!link.AwaitAck);
        QVERIFY(link.PendingCommand.isEmpty());

        r.point(KindError);
        r.ask(2);
        r.field(2, 1).SetText(QStringLiteral("+0.10"));
        r.field(2, 3).SetText(QStringLiteral("+0.20"));
        r.readings.ResetStand(2);
        QVERIFY(r.field(2, 1).Text().isEmpty() && r.field(2, 3).Text().isEmpty());
        QVERIFY(link.AwaitAck);
        QCOMPARE(link.PendingCommand, QStringLiteral("CST2"));
        QVERIFY(link.T02.isActive() && link.T03.isActive());

        // Results that come while the reset is unanswered are dropped.
        link.HandleFrame(report(2, {{1, "+0.55"}}));
        QVERIFY(r.field(2, 1).Text().isEmpty());
        link.AwaitAck = false;
        link.HandleFrame(report(2, {{1, "+0.55"}}));
        QCOMPARE(r.field(2, 1).Text(), QStringLiteral("+0.55"));

        // The meter reset works at any time, on the focused field.
        r.point(KindCreep);
        r.run.FocusedTag = 21;
        r.run.AClearCH();
        QVERIFY(r.field(2, 1).Text().isEmpty());
        QVERIFY(link.AwaitAck);
        QCOMPARE(link.PendingCommand, QString::fromLatin1(MeterResetRequest(2, 1)));
    }

    void operatorMarksAndVerdicts()
    {
        Reading r(ModeVerification, {{1, {1, 2, 3}}}, 1);
        r.point(KindSensitivity);
        r.readings.HandleStandReport(1, QByteArray("/1\x02 Q1 Q2") + frame::ETX);
        r.run.FocusedTag = 12;
        r.run.Anot();  // seen, but the operator says no
        QCOMPARE(r.field(1, 2).Text(), NotSeen);
        QCOMPARE(r.field(1, 2).FontColor(), QColor(Qt::red));
        r.run.FocusedTag = 13;
        r.run.Anorma();
        QCOMPARE(r.field(1, 3).Text(), Seen);
        r.readings.StorePointResults();
        QCOMPARE(r.stand(1).SensVerdict[1], quint8(1));
        QCOMPARE(r.stand(1).SensVerdict[2], quint8(2));
        QCOMPARE(r.stand(1).SensVerdict[3], quint8(1));

        r.point(KindCreep);
        r.readings.HandleStandReport(1, report(1, {{3, "00001"}}));
        r.readings.StorePointResults();
        QCOMPARE(r.stand(1).CreepVerdict[1], quint8(2));
        QCOMPARE(r.stand(1).CreepVerdict[3], quint8(1));

        r.point(KindRegister);
        r.field(1, 1).SetText(QStringLiteral("100"));
        r.run.FocusedTag = 11;
        r.run.SpaceBar();
        QCOMPARE(r.stand(1).RegisterVerdict[1], quint8(2));
        QCOMPARE(r.field(1, 1).FontColor(), QColor(Qt::red));
        r.run.SpaceBar();
        QCOMPARE(r.stand(1).RegisterVerdict[1], quint8(1));
        r.run.FocusedTag = 12;
        r.run.SpaceBar();
        r.run.MarksEnabled = false;  // the countdown still runs
        r.run.FocusedTag = 13;
        r.run.SpaceBar();
        r.run.Anot();
        QCOMPARE(r.stand(1).RegisterVerdict[3], quint8(0));
        r.readings.StorePointResults();
        QCOMPARE(r.stand(1).RegisterVerdict[1], quint8(1));
        QCOMPARE(r.stand(1).RegisterVerdict[2], quint8(2));
        QCOMPARE(r.stand(1).RegisterVerdict[3], quint8(1));  // unmarked passes
    }

    void endOfSpecialTestByHand()
    {
        Reading r(ModeVerification, {{1, {1, 2}}}, 1);
        r.point(KindCreep);
        r.stand(1).CreepSeen[2] = 3;
        r.readings.FinishSpecialTest(KindCreep);
        QCOMPARE(r.rig.ui->texts(), QStringList{QStringLiteral("Тест самохода закончен")});
        QCOMPARE(r.field(1, 1).Text(), NotSeen);
        QCOMPARE(r.field(1, 1).FontColor(), QColor(Qt::black));
        QCOMPARE(r.field(1, 2).Text(), Seen);
        QCOMPARE(r.field(1, 2).FontColor(), QColor(Qt::red));
        QCOMPARE(r.rig.link.PendingCommand, QStringLiteral("Exit"));

        r.point(KindSensitivity);
        r.stand(1).SensSeen[1] = 3;
        r.readings.FinishSpecialTest(KindSensitivity);
        QCOMPARE(r.rig.ui->texts().last(), QStringLiteral("Тест чувствительности закончен"));
        QCOMPARE(r.field(1, 1).FontColor(), QColor(Qt::black));
        QCOMPARE(r.field(1, 2).Text(), NotSeen);
        QCOMPARE(r.field(1, 2).FontColor(), QColor(Qt::red));

        QStringList shown;
        r.rig.ui->queueDialog([&](QDialog *d) {
            auto *c = qobject_cast<TFCurrent *>(d);
            shown << (c ? c->windowTitle() + c->Label1->text() + c->Label2->text() : QString());
            return int(QDialog::Accepted);
        });
        r.readings.Prescription(true);
        QCOMPARE(shown, QStringList{QStringLiteral("Предписание  Тест закончен  Выключите ток")});
    }

    void storingAPoint()
    {
        Reading r(ModeVerification, {{3, {1, 2}}}, 1);
        r.point(KindError, 1.5, 2, 20);
        r.field(3, 1).SetText(QStringLiteral("+0.42"));
        r.readings.StorePointResults();
        StandResultsRecord &s = r.stand(3);
        QCOMPARE(double(s.Errors[1][2]), 0.42);
        QVERIFY(s.Measured[1][2]);
        QVERIFY(!s.Measured[2][2]);
        QCOMPARE(s.PointNumbers[1][2], 20);  // the test's own number
        QCOMPARE(double(s.Limits[2]), 1.5);
        // An index beyond the run's lists is refused, not written past them.
        r.point(KindError, 1.0, 99, 990);
        r.readings.StorePointResults();
        QCOMPARE(r.rig.ui->texts(), QStringList{RunReadings::StoreFailedText});
    }

    void verdictsInTheArchive()
    {
        Reading r(ModeVerification, {{1, {1, 2, 3, 4}}, {2, {5}}, {3, {1}}}, 1);
        // Stand 3 carries another type: its own verification record.
        const qlonglong other = r.rig.addType({QStringLiteral("Т-2")});
        Dataset *types = r.rig.f.dm->ADOTipStend(3);
        QVERIFY(types->locate(QStringLiteral("PIndex"), other));
        r.rig.setup.typeChosen(3, types->recNo());
        QCOMPARE(r.rig.setup.StandSetup[3].typeIndex, other);
        if (!r.run.Occupied(3, 1))
            r.rig.setup.positionReleased(r.rig.setup.boxOf(3, 1), true);
        QVERIFY(r.run.Occupied(3, 1) && r.run.StandInUse(3));

        r.point(KindError, 1.0, 1, 10);
        r.field(1, 1).SetText(QStringLiteral("+0.50"));  // within: no special tests, PTotal 0
        r.field(1, 2).SetText(QStringLiteral("-1.00"));  // equal to the limit: passes
        r.field(1, 3).SetText(QStringLiteral("+1.01"));  // beyond: fails whatever else
        r.field(1, 4).SetText(QStringLiteral("+0.10"));
        r.field(2, 5).SetText(QStringLiteral("+0.20"));
        // stand 3 position 1 left empty: no error row
        r.readings.StorePointResults();
        r.point(KindError, 2.0, 3, 30);
        r.field(1, 4).SetText(QStringLiteral("+0.30"));
        r.readings.StorePointResults();
        r.stand(1).SensVerdict[2] = 1;
        r.stand(1).SensVerdict[3] = 1;
        r.stand(1).SensVerdict[4] = 2;

        r.run.SaveInBaseEnabled = true;
        r.rig.enterNumbers();
        r.run.ASaveInBase();
        QVERIFY(r.rig.ui->boxes().isEmpty());
        QVERIFY(!r.run.SaveInBaseEnabled);

        QSqlDatabase db = r.db();
        QCOMPARE(kvtest::scalar(db, QStringLiteral("select count(*) from TMeasure")).toInt(), 2);
        // Rows joined here, so both engines are read the same way (a real
        // is shown with at least one decimal, as SQLite writes it).
        const auto joined = [&db](const QString &sql) {
            QSqlQuery q(db);
            QStringList rows;
            if (!q.exec(kv::engineSql(db, sql)))
                return q.lastError().text();
            while (q.next()) {
                QString row;
                for (int c = 0; c < q.record().count(); ++c) {
                    QString v = q.value(c).toString();
                    if (q.value(c).typeId() == QMetaType::Double && !v.contains(QLatin1Char('.')))
                        v += QStringLiteral(".0");
                    row += v;
                }
                rows << row;
            }
            return rows.join(QLatin1Char(' '));
        };
        QCOMPARE(joined(QStringLiteral("select PPosition, ':', PNumber, ':', PTotal from TPositionCH order by PPosition")),
                 QStringLiteral("11:N1:0 12:N2:1 13:N3:2 14:N4:2 25:N11:0 31:N13:0"));
        // Stands 1 and 2 share one record, stand 3 has its own.
        QCOMPARE(kvtest::scalar(db, QStringLiteral("select count(distinct PSecIndex) from TPositionCH "
                                                   "where PPosition < 30")).toInt(), 1);
        QCOMPARE(kvtest::scalar(db, QStringLiteral("select m.PPointerTip from TMeasure m join TPositionCH c on "
                                                   "c.PSecIndex = m.PIndex where c.PPosition = 31")).toLongLong(),
                 other);
        const QString rows = QStringLiteral(
            "select c.PPosition, '@', r.PPointNumber, '=', r.PMeasure, '/', r.PMeasureMax "
            "from TResult r join TPositionCH c on r.PSecIndex = c.PIndex order by r.PIndex");
        QCOMPARE(joined(rows),
                 QStringLiteral("11@10=0.5/1.0 12@10=-1.0/1.0 13@10=1.01/1.0 14@10=0.1/1.0 14@30=0.3/2.0 "
                                "25@10=0.2/1.0"));
    }

    // A meter number is stored as typed, up to 15 characters; a longer one
    // is cut by characters, never inside one, and what is stored is UTF-8.
    void meterNumbersAreStoredWhole_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored");
        for (const QString &t : kvtest::hostileTexts())
            if (t.size() <= 15)
                QTest::newRow(qPrintable(t)) << t << t;
        const QString smile = QStringLiteral("\U0001F600");
        QTest::newRow("20 characters, cut to 15") << kvtest::unicodeText20() << QStringLiteral("Счётчик №7 Ωµ Ä");
        QTest::newRow("pair across unit 15") << QStringLiteral("12345678901234") + smile + QStringLiteral("Z")
                                             << QStringLiteral("12345678901234") + smile;
        QTest::newRow("15 pairs") << smile.repeated(16) << smile.repeated(15);
    }
    void meterNumbersAreStoredWhole()
    {
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        Reading r(ModeVerification, {{1, {1}}}, 1);
        r.point(KindError);
        r.field(1, 1).SetText(QStringLiteral("+0.10"));
        r.readings.StorePointResults();
        r.run.SaveInBaseEnabled = true;
        r.rig.enterNumbers(true, typed);
        r.run.ASaveInBase();
        QVERIFY(r.rig.ui->boxes().isEmpty());
        const QByteArray bytes = QByteArray::fromHex(
            kvtest::scalar(r.db(), kvtest::onServer() ? QStringLiteral("select encode(convert_to(PNumber, 'UTF8'), 'hex') from TPositionCH")
                                                      : QStringLiteral("select hex(PNumber) from TPositionCH")).toByteArray());
        QCOMPARE(QString::fromUtf8(bytes), stored);
        QCOMPARE(kvtest::scalar(r.db(), QStringLiteral("select PNumber from TPositionCH")).toString(), stored);
    }

    void theDatabaseProgramStartedDuringARunLeavesTheRunItsConnection()
    {
        Reading r(ModeVerification, {{1, {1, 2}}}, 1);
        r.point(KindError);
        r.field(1, 1).SetText(QStringLiteral("+0.10"));
        r.field(1, 2).SetText(QStringLiteral("-0.20"));
        r.readings.StorePointResults();
        r.run.WindowVisible = true;

        // "База данных" from the main window while the run window is open.
        KvintorMain main(*r.rig.f.dm);
        QTemporaryDir installed;
        main.ExecutableFolder = installed.path();
        QFile program(installed.filePath(KvintorMain::BaseProgramName()));
        QVERIFY(program.open(QIODevice::WriteOnly));
        program.close();
        program.setPermissions(program.permissions() | QFile::ExeOwner);
        int started = 0;
        main.StartDetached = [&](const QString &, const QStringList &, const QString &) { return ++started > 0; };
        main.RunOpen = [&] { return r.run.WindowVisible; };
        QVERIFY(main.ABaseExecute());
        QCOMPARE(started, 1);
        QVERIFY(r.rig.f.dm->connected());

        // The run's save still reaches the archive.
        r.run.SaveInBaseEnabled = true;
        r.rig.enterNumbers();
        r.run.ASaveInBase();
        QVERIFY2(r.rig.ui->boxes().isEmpty(), qPrintable(r.rig.ui->texts().join(QLatin1Char('|'))));
        QVERIFY(!r.run.SaveInBaseEnabled);
        QCOMPARE(kvtest::scalar(r.db(), QStringLiteral("select count(*) from TResult")).toInt(), 2);

        // Without an open run the program lets go of the file as before.
        r.run.WindowVisible = false;
        QVERIFY(main.ABaseExecute());
        QVERIFY(!r.rig.f.dm->connected());
    }

    void aFailedSaveLeavesNothingAndCanBeRetried_data()
    {
        QTest::addColumn<QString>("cause");
        QTest::addColumn<QString>("undo");
        QTest::addColumn<QString>("told");
        if (kvtest::onServer())
            QTest::newRow("the archive refuses a row")
                << QStringLiteral("CREATE FUNCTION refuse() RETURNS trigger AS $$ BEGIN IF NEW.PMeasure > 50 THEN "
                                  "RAISE EXCEPTION 'диск полон'; END IF; RETURN NEW; END $$ LANGUAGE plpgsql; "
                                  "CREATE TRIGGER refuse BEFORE INSERT ON TResult FOR EACH ROW EXECUTE FUNCTION refuse()")
                << QStringLiteral("DROP TRIGGER refuse ON TResult")
                << QStringLiteral("база данных отказала в записи");
        else
            QTest::newRow("the archive refuses a row")
                << QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON TResult WHEN NEW.PMeasure > 50 "
                                  "BEGIN SELECT RAISE(ABORT, 'диск полон'); END")
                << QStringLiteral("DROP TRIGGER refuse")
                << QStringLiteral("база данных отказала в записи");
        // Another program took the run's meter type away (the database program
        // refuses that now; an older copy of it, or a hand edit, need not).
        QTest::newRow("the run's meter type deleted meanwhile")
            << QStringLiteral("DELETE FROM TTip WHERE PIndex = {type}")
            << QStringLiteral("INSERT INTO TTip (PIndex, PTip) VALUES ({type}, 'Т-1')")
            << QStringLiteral("тип счетчика или тест этой поверки удален из базы данных");
    }

    void aFailedSaveLeavesNothingAndCanBeRetried()
    {
        QFETCH(QString, cause);
        QFETCH(QString, undo);
        QFETCH(QString, told);
        Reading r(ModeVerification, {{1, {1, 2}}, {2, {1}}}, 1);
        cause.replace(QStringLiteral("{type}"), QString::number(r.type));
        undo.replace(QStringLiteral("{type}"), QString::number(r.type));
        r.point(KindError);
        r.field(1, 1).SetText(QStringLiteral("+0.10"));
        r.field(1, 2).SetText(QStringLiteral("+0.20"));
        r.field(2, 1).SetText(QStringLiteral("+77.0"));
        r.readings.StorePointResults();
        QSqlDatabase db = r.db();
        kvtest::execOrFail(db, cause);
        r.run.SaveInBaseEnabled = true;
        r.rig.enterNumbers();
        r.run.ASaveInBase();
        // Said in Russian, the cause first, the engine's words after.
        QCOMPARE(r.rig.ui->boxes().size(), 1);
        const QString text = r.rig.ui->texts().first();
        QVERIFY2(text.startsWith(QStringLiteral("Поверка не записана в архив: ") + told), qPrintable(text));
        QVERIFY(text.contains(QStringLiteral("повторить запись")));
        QCOMPARE(r.rig.ui->boxes().first().icon, kv::Icon::Error);
        QVERIFY(r.run.SaveInBaseEnabled);
        for (const char *table : {"TMeasure", "TPositionCH", "TResult"})
            QCOMPARE(kvtest::scalar(db, QStringLiteral("select count(*) from ") + QLatin1String(table)).toInt(), 0);
        QCOMPARE(r.rig.f.dm->ADOMeasure->count(), 0);
        // The run is still whole for the viewer and its protocols.
        QCOMPARE(r.stand(1).MeterNumber[2], QStringLiteral("N2"));
        QCOMPARE(double(r.stand(2).Errors[1][1]), 77.0);

        // Once the cause is gone the same run saves whole.
        kvtest::execOrFail(db, undo);
        r.rig.enterNumbers();
        r.run.ASaveInBase();
        QVERIFY(!r.run.SaveInBaseEnabled);
        QCOMPARE(kvtest::scalar(db, QStringLiteral("select count(*) from TResult")).toInt(), 3);
        QCOMPARE(kvtest::scalar(db, QStringLiteral("select count(*) from TMeasure")).toInt(), 1);
    }
};

QTEST_MAIN(TestRunReadings)
#include "test_run_readings.moc"
