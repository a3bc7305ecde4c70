// A run against the simulated stands on a real pseudo-terminal: the set-up
// requests of a point reach the stands whole, in stand order, at least 300 ms
// apart, and then the stands in use are asked for their results in turn.

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

ModelConfig config(const QString &text)
{
    ModelConfig c;
    const QString problem = ParseConfig(text, &c);
    if (!problem.isEmpty())
        qFatal("%s", qPrintable(problem));
    return c;
}

// Where each frame the stands received starts and ends, in ns.
struct Span {
    QByteArray frame;
    qint64 start = 0, end = 0;
};

QList<Span> spans(const StandModel &model)
{
    QList<Span> out;
    Span current;
    for (const auto &b : model.ReceivedBytes()) {
        if (b.byte == '/') {
            current = Span();
            current.start = b.ns;
        }
        current.frame.append(b.byte);
        if (b.byte == frame::ETX) {
            current.end = b.ns;
            out << current;
        }
    }
    return out;
}

}  // namespace

class TestRunPty : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void setUpFramesReachTheStandsInOrderAndPaced()
    {
        StandServer server(config(QStringLiteral("stands = 1 2 3\npulse_seconds = 0.05\n"
                                                 "meter 1.1 error=0.12\nmeter 3.2 error=-0.5\n")));
        QCOMPARE(server.OpenPty(), QString());
        Rig rig;
        rig.link.Comm1.SetDeviceOverride(server.SlavePath());
        rig.link.Comm1.Open();
        QVERIFY(rig.link.Comm1.IsOpen());
        QList<int> reported;
        rig.run->Hooks.StandReport = [&](int stand, const QByteArray &) { reported << stand; };

        const qlonglong type = rig.addType({QStringLiteral("Т-1"), 1000, 1, 1});
        const qlonglong reactive = rig.addType({QStringLiteral("Т-2"), 1800, 3, 2});
        const qlonglong test = rig.addTest({{1, 100, 100, 1, 0, 3}});
        rig.choose(ModeVerification, {{1, {1}}, {3, {2}}}, type, test, 1);
        QVERIFY(rig.f.dm->ADOTipStend(3)->locate(QStringLiteral("PIndex"), reactive));
        rig.setup.typeChosen(3, rig.f.dm->ADOTipStend(3)->recNo());
        rig.pickRow();
        rig.confirmPoint();
        rig.windows->RunReady(rig.start(ModeVerification));

        StandModel &model = server.Model();
        // The point starts 200 ms later; both stands are then asked for results.
        QVERIFY(spinUntil([&] { return reported.contains(1) && reported.contains(3); }, 10000));
        QVERIFY(rig.ui->boxes().isEmpty());
        const QList<Span> got = spans(model);
        QVERIFY(got.size() >= 4);
        const QByteArray first("/1\x01P\x02" "10000" "03" "7" "1\x03");
        const QByteArray second("/3\x01P\x02" "20000" "03" "7" "2\x03");
        QCOMPARE(got.at(0).frame, first);
        QCOMPARE(got.at(1).frame, second);
        QCOMPARE(got.at(2).frame, ResultsRequest(1));
        QCOMPARE(got.at(3).frame, ResultsRequest(3));
        const double pauseMs = (got.at(1).start - got.at(0).end) / 1e6;
        qInfo("between the set-up of stand 1 and stand 3: %.1f ms", pauseMs);
        QVERIFY2(pauseMs >= 300.0, qPrintable(QString::number(pauseMs)));
        // The stands took their set-up as meant.
        QCOMPARE(model.Stand(1).letter, 'P');
        QCOMPARE(model.Stand(1).count, 3);
        QCOMPARE(model.Stand(1).constant, 1000.0);
        QCOMPARE(model.Stand(3).constant, 2000.0);
        QCOMPARE(model.Stand(3).energy, 2);
        QVERIFY(!model.Stand(2).setUp);

        // Leaving the run stops the collection.
        rig.run->AEndTest();
        QVERIFY(spinUntil([&] { return rig.link.CommandQueue.isEmpty(); }, 2000));
    }

    // Noise arrives while the next point's dialog is open, which the run
    // opens from inside the handling of the last reply: held back until the
    // dialog closes, it must neither stop the port reading nor swallow the
    // replies to the next point's requests.
    void noiseWhileThePointDialogIsOpen()
    {
        StandServer server(config(QStringLiteral("stands = 1\npulse_seconds = 0.05\nmeter 1.1 error=0.12\n")));
        QCOMPARE(server.OpenPty(), QString());
        Rig rig;
        rig.link.Comm1.SetDeviceOverride(server.SlavePath());
        rig.link.Comm1.Open();
        QList<QByteArray> reports;
        const auto readings = rig.run->Hooks.StandReport;
        rig.run->Hooks.StandReport = [&](int stand, const QByteArray &frame) {
            reports << frame;
            readings(stand, frame);
        };
        const qlonglong type = rig.addType({QStringLiteral("Т-1"), 1000, 1, 1});
        const qlonglong test = rig.addTest({{1, 100, 100, 1, 0, 2}, {2, 100, 50, 1, 0, 2}, {3, 100, 20, 1, 0, 2}});
        // Automatic: the run moves on as soon as every meter has reported.
        rig.choose(ModeVerification, {{1, {1}}}, type, test, 0);
        rig.pickRow();
        rig.confirmPoint();
        const auto silence = [&] {
            return rig.ui->texts().count(StandLink::NoLinkText) + rig.ui->texts().count(StandLink::StandSilentText(1));
        };
        int reportsWhenClosed = -1, boxesWhenClosed = -1;
        rig.confirmPoint(false, false, nullptr, [&] {
            NoiseConfig noise;
            noise.bytesPerSecond = 0;
            noise.totalBytes = 2000;
            server.StartNoise(noise);
            QVERIFY(spinUntil([&] { return !server.Noise().Running(); }, 5000));
            // Long enough for every noise byte to reach the control side.
            spinUntil([] { return false; }, 300);
            reportsWhenClosed = reports.size();
            boxesWhenClosed = silence();
        });
        rig.confirmPoint();
        rig.windows->RunReady(rig.start(ModeVerification));
        QVERIFY(spinUntil([&] { return reportsWhenClosed >= 0; }, 15000));
        QCOMPARE(server.Noise().BytesWritten(), 2000);
        // The next point's requests get their replies read.
        QVERIFY(spinUntil([&] { return reports.size() > reportsWhenClosed; }, 10000));
        QVERIFY(reports.last().contains(" 1 +0.12"));
        spinUntil([] { return false; }, 1500);
        QCOMPARE(silence(), boxesWhenClosed);
        rig.run->AEndTest();
        QVERIFY(spinUntil([&] { return rig.link.CommandQueue.isEmpty(); }, 2000));
    }

    void aRunEndedWhileItsFramesAreSentSendsNoMore()
    {
        StandServer server(config(QStringLiteral("stands = 1 2 3 4 5\n")));
        QCOMPARE(server.OpenPty(), QString());
        Rig rig;
        rig.link.Comm1.SetDeviceOverride(server.SlavePath());
        rig.link.Comm1.Open();
        const qlonglong type = rig.addType({});
        const qlonglong test = rig.addTest({{1}});
        rig.choose(ModeRegulation, {{1, {1}}, {2, {1}}, {3, {1}}, {4, {1}}, {5, {1}}}, type, test);
        rig.pickRow();
        rig.confirmPoint();
        rig.windows->RunReady(rig.start(ModeRegulation));
        QVERIFY(spinUntil([&] { return rig.setupFrames().size() == 5; }, 3000));
        // The operator leaves while the first requests are on their way.
        QVERIFY(spinUntil([&] { return server.Model().FramesReceived().size() >= 1; }, 3000));
        rig.run->MainMenu();
        QVERIFY(spinUntil([&] { return rig.link.CommandQueue.isEmpty() && !rig.link.Transmitter.Busy(); }, 3000));
        spinUntil([] { return false; }, 500);
        // Every request that reached the stands is whole, and no results were asked for.
        const auto received = server.Model().FramesReceived();
        QVERIFY(received.size() < 5);
        for (const QByteArray &f : received) {
            QVERIFY(rig.setupFrames().contains(f));
        }
        QVERIFY(rig.ui->boxes().isEmpty());
    }
};

QTEST_MAIN(TestRunPty)
#include "test_run_pty.moc"
