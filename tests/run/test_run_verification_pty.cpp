// A whole automatic verification against the simulated stands on a real
// pseudo-terminal: two stands of three meters, one meter beyond its limit and
// one that creeps, from the first point to the archive rows.

#include "run_fixture.h"

#include "stand_server.h"
#include "support/test_env.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

using namespace runtest;
using namespace kvstands;
using kvtest::spinUntil;

namespace {

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
};

QTEST_MAIN(TestRunVerificationPty)
#include "test_run_verification_pty.moc"
