// A whole automatic verification against the simulated stands on a real
// pseudo-terminal: two stands of three meters, one meter beyond its limit and
// one that creeps, from the first point to the archive rows.

#include "run_fixture.h"

#include "stand_server.h"
#include "support/test_env.h"

#include <QElapsedTimer>

#include <chrono>
#include <memory>
#include <QTest>
#include <QTimer>

using namespace runtest;
using namespace kvstands;
using kvtest::spinUntil;

namespace {

StandServer *serve(const QString &text, Rig &rig)
{
    ModelConfig config;
    const QString problem = ParseConfig(text, &config);
    if (!problem.isEmpty())
        qFatal("%s", qPrintable(problem));
    auto *server = new StandServer(config);
    if (!server->OpenPty().isEmpty())
        qFatal("no pseudo-terminal");
    rig.link.Comm1.SetDeviceOverride(server->SlavePath());
    rig.link.Comm1.Open();
    return server;
}

qint64 steadyNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

class TestRunVerificationPty : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void twoStandsFromTheFirstPointToTheArchive()
    {
        ModelConfig config;
        const QString problem = ParseConfig(QStringLiteral("stands = 1 2\npulse_seconds = 0.05\ncreep_seconds = 0.3\n"
                                                           "meter 1.1 error=0.12\nmeter 1.2 error=1.5\n"
                                                           "meter 1.3 error=-0.4\nmeter 2.1 error=0.05\n"
                                                           "meter 2.2 error=-1.0\nmeter 2.3 error=0.3 creeps=1\n"),
                                            &config);
        QCOMPARE(problem, QString());
        StandServer server(config);
        QCOMPARE(server.OpenPty(), QString());
        Rig rig;
        rig.link.Comm1.SetDeviceOverride(server.SlavePath());
        rig.link.Comm1.Open();
        QVERIFY(rig.link.Comm1.IsOpen());
        RunControl &run = *rig.run;

        const qlonglong type = rig.addType({});
        setuptest::Special creep;
        creep.on = true;
        creep.point = 30;
        creep.seconds = 5;
        const qlonglong test = rig.addTest({{10, 100, 100, 1, 0, 3, 1.0}, {20, 100, 50, 1, 0, 3, 1.0}}, {}, creep);
        rig.choose(ModeVerification, {{1, {1, 2, 3}}, {2, {1, 2, 3}}}, type, test, 0);
        rig.pickRow();
        for (int point = 0; point < 3; ++point)
            rig.confirmPoint();
        rig.windows->RunReady(rig.start(ModeVerification));

        // Both error points end as soon as all six meters reported.
        QVERIFY(spinUntil([&] { return run.PointKind == KindCreep; }, 20000));
        QVERIFY2(rig.ui->boxes().isEmpty(), qPrintable(rig.ui->texts().join(QLatin1Char('|'))));
        QVERIFY(spinUntil([&] { return run.StandResults[2].MeterEdit[3].Text() == QStringLiteral("есть"); }, 10000));
        QVERIFY(run.StandResults[1].MeterEdit[1].Text().isEmpty());
        // The creep test's time runs out.
        run.TTime.stop();
        run.SecondsLeft = 0;
        run.TTimeTimer();
        QCOMPARE(rig.ui->texts(), QStringList{RunControl::VerificationDoneText});
        QVERIFY(run.ResultVisible);

        run.BTResult();
        rig.enterNumbers();
        run.ASaveInBase();
        QCOMPARE(rig.ui->texts(), QStringList{RunControl::VerificationDoneText});
        QVERIFY(!run.SaveInBaseEnabled);
        QCOMPARE(run.StatusText, RunControl::SavedText(6));

        QSqlDatabase db = rig.f.db.db();
        QCOMPARE(kvtest::scalar(db, QStringLiteral("select count(*) from TMeasure")).toInt(), 1);
        QCOMPARE(kvtest::scalar(db, QStringLiteral("select PPointerTip || '/' || PPointerTest from TMeasure")).toString(),
                 QStringLiteral("%1/%2").arg(type).arg(test));
        const QString meters = QStringLiteral(
            "select group_concat(PPosition || ':' || PNumber || ':' || PSensitivity || PSamochod || PCountDevice || ':' "
            "|| PTotal, ' ') from (select * from TPositionCH order by PPosition)");
        QCOMPARE(kvtest::scalar(db, meters).toString(),
                 QStringLiteral("11:N1:020:1 12:N2:020:2 13:N3:020:1 21:N7:020:1 22:N8:020:1 23:N9:010:2"));
        const QString results = QStringLiteral(
            "select group_concat(c.PPosition || '@' || r.PPointNumber || '=' || r.PMeasure || '/' || r.PMeasureMax, ' ') "
            "from (select * from TResult order by PIndex) r join TPositionCH c on r.PSecIndex = c.PIndex");
        QCOMPARE(kvtest::scalar(db, results).toString(),
                 QStringLiteral("11@10=0.12/1.0 11@20=0.12/1.0 12@10=1.5/1.0 12@20=1.5/1.0 13@10=-0.4/1.0 "
                                "13@20=-0.4/1.0 21@10=0.05/1.0 21@20=0.05/1.0 22@10=-1.0/1.0 22@20=-1.0/1.0 "
                                "23@10=0.3/1.0 23@20=0.3/1.0"));
        run.AEndTest();
        QVERIFY(spinUntil([&] { return rig.link.CommandQueue.isEmpty(); }, 3000));
    }

    void aLateReplyOfThePointLeftIsNotReadUnderTheNextOne()
    {
        Rig rig;
        // Every reply comes 600 ms after its request.
        std::unique_ptr<StandServer> server(serve(QStringLiteral("stands = 1\npulse_seconds = 0.05\n"
                                                                  "reply_delay_ms = 600\nmeter 1.1 error=0.12\n"),
                                                   rig));
        RunControl &run = *rig.run;
        QStringList log;
        QObject::connect(&rig.link, &StandLink::FrameLogged, [&](const QString &l) { log << l; });
        const qlonglong type = rig.addType({});
        setuptest::Special creep;
        creep.on = true;
        creep.point = 20;
        creep.seconds = 30;
        const qlonglong test = rig.addTest({{10, 100, 100, 1, 0, 3, 1.0}}, {}, creep);
        rig.choose(ModeVerification, {{1, {1}}}, type, test, 1);
        rig.pickRow();
        rig.confirmPoint();
        rig.windows->RunReady(rig.start(ModeVerification));
        QVERIFY(spinUntil([&] { return run.StandResults[1].MeterEdit[1].Text() == QStringLiteral("+0.12"); }, 10000));

        // The next request goes out; the operator moves on before its reply.
        const int asked = server->Model().FramesReceived().size();
        QVERIFY(spinUntil([&] { return server->Model().FramesReceived().size() > asked; }, 5000));
        QCOMPARE(server->Model().FramesReceived().last(), ResultsRequest(1));
        // The creep test's parameters are shown while the held reply arrives.
        int lateReplies = 0, kindMeanwhile = -1, seenMeanwhile = -1;
        QString fieldMeanwhile;
        rig.ui->queueDialog([&](QDialog *d) {
            auto *p = qobject_cast<TParam_p *>(d);
            if (!p)
                qFatal("expected the point parameters");
            const int logged = log.size();
            spinUntil([&] { return log.size() > logged + 1; }, 3000);
            lateReplies = log.size() - logged;
            kindMeanwhile = run.PointKind;
            seenMeanwhile = run.StandResults[1].CreepSeen[1];
            fieldMeanwhile = run.StandResults[1].MeterEdit[1].Text();
            p->setResult(0);
            p->FormShow();
            p->OnShowTimer();
            p->BitBtn1Click();
            p->OnCloseTimer();
            return p->result();
        });
        run.ANextPoint();
        QCOMPARE(kindMeanwhile, int(KindCreep));
        QCOMPARE(seenMeanwhile, 0);
        QCOMPARE(fieldMeanwhile, QString());
        QCOMPARE(lateReplies, 2);  // the frame itself and the note that it was dropped
        QVERIFY(log.last().contains(QStringLiteral("не на запрос этой точки")) ||
                log.at(log.size() - 2).contains(QStringLiteral("не на запрос этой точки")));
        // The meter does not creep: the stand reports nothing for it.
        QVERIFY(spinUntil([&] { return server->Model().FramesSent().size() >= asked + 3; }, 5000));
        QCOMPARE(run.StandResults[1].CreepSeen[1], quint8(0));
        rig.windows->Readings.StorePointResults();
        QCOMPARE(run.StandResults[1].CreepVerdict[1], quint8(2));
        QVERIFY2(rig.ui->boxes().isEmpty(), qPrintable(rig.ui->texts().join(QLatin1Char('|'))));
        run.AEndTest();
        QVERIFY(spinUntil([&] { return rig.link.CommandQueue.isEmpty(); }, 3000));
    }

    void theCountdownGivesTheLastStandThePointsWholeTime()
    {
        Rig rig;
        std::unique_ptr<StandServer> server(serve(QStringLiteral("stands = 1 2 3 4 5\n"), rig));
        RunControl &run = *rig.run;
        qint64 endNs = 0;
        run.Hooks.FinishSpecialTest = [&](int) {
            endNs = steadyNs();
            run.AEndTest();
        };
        const qlonglong type = rig.addType({});
        // A creep test of 0 min 3 s: the countdown shows 3, 2, 1, 0 and ends a
        // second later.
        setuptest::Special creep;
        creep.on = true;
        creep.point = 20;
        creep.seconds = 3;
        const qlonglong test = rig.addTest({{10}}, {}, creep);
        rig.choose(ModeVerification, {{1, {1}}, {2, {1}}, {3, {1}}, {4, {1}}, {5, {1}}}, type, test, 1);
        rig.pickRow(1);
        rig.confirmPoint();
        rig.windows->RunReady(rig.start(ModeVerification));
        QStringList shown;
        QObject::connect(&run, &RunState::changed, [&] {
            if (run.CountdownRunning() && (shown.isEmpty() || shown.last() != run.CountdownText))
                shown << run.CountdownText;
        });
        QVERIFY(spinUntil([&] { return endNs != 0; }, 15000));
        // From the end of the last stand's set-up frame and its pause.
        qint64 lastSetUpNs = 0;
        qint64 frameStart = 0;
        QByteArray current;
        for (const auto &b : server->Model().ReceivedBytes()) {
            if (b.byte == '/') {
                current.clear();
                frameStart = b.ns;
            }
            current.append(b.byte);
            if (b.byte == frame::ETX && current.size() > 4 && current.at(2) == frame::SOH)
                lastSetUpNs = b.ns;
        }
        Q_UNUSED(frameStart);
        QVERIFY(lastSetUpNs > 0);
        const double seconds = (endNs - lastSetUpNs) / 1e9 - RunControl::StandPauseMs / 1000.0;
        qInfo("countdown of a 3 s test with five stands: %.3f s after the last set-up (3 + 1 ticks expected)",
              seconds);
        QVERIFY2(seconds >= 3.98 && seconds < 4.2, qPrintable(QString::number(seconds)));
        QCOMPARE(shown, (QStringList{QStringLiteral("0 мин  02 сек"), QStringLiteral("0 мин  01 сек"),
                                     QStringLiteral("0 мин  00 сек")}));
        QVERIFY2(rig.ui->boxes().isEmpty(), qPrintable(rig.ui->texts().join(QLatin1Char('|'))));
    }
};

QTEST_MAIN(TestRunVerificationPty)
#include "test_run_verification_pty.moc"
