// The control side's link against the simulated stands on a real
// pseudo-terminal: the kernel path a USB-serial adapter takes.

#include "core/ui.h"
#include "fake_view.h"
#include "link/stand_frames.h"
#include "stand_server.h"
#include "support/test_env.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <QSocketNotifier>

#include <algorithm>
#include <memory>

#include <fcntl.h>
#include <pty.h>
#include <sys/timerfd.h>
#include <termios.h>
#include <unistd.h>

using namespace kvintor;
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

struct Rig {
    StandServer server;
    StandLink link;
    FakeView view;
    FakeSink sink;

    explicit Rig(const ModelConfig &c) : server(c)
    {
        const QString problem = server.OpenPty();
        if (!problem.isEmpty())
            qFatal("%s", qPrintable(problem));
        link.SetView(&view);
        link.SetReportSink(&sink);
        link.Comm1.SetDeviceOverride(server.SlavePath());
        link.Comm1.Open();
    }

    // What the run does at the start of a point: set-up frames 300 ms apart,
    // then the collection queue.
    void startCollection(const QList<int> &stands)
    {
        link.RunMode = 2;
        for (int s : stands) {
            link.SendFrame(SetupRequest(s, 'P', 1000, 2, 1));
            link.SendPause(300);
        }
        link.QueueCollection(stands);
    }

    bool valueGroupsFrom(int stand, const QByteArray &group = " ") const
    {
        for (const auto &r : sink.reports)
            if (r.first == stand && r.second.contains(group))
                return true;
        return false;
    }
};

// How late this thread wakes for a 7 ms wait right now: a chain of 7 ms
// timerfd waits, independent of the link's own pacing code, run alongside it.
class WakeLateness
{
public:
    WakeLateness()
    {
        m_fd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
        m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] {
            quint64 n = 0;
            if (::read(m_fd, &n, sizeof n) != sizeof n)
                return;
            lateness.push_back(m_clock.nsecsElapsed() / 1e6 - 7.0);
            arm();
        });
        arm();
    }
    ~WakeLateness()
    {
        m_notifier.reset();
        ::close(m_fd);
    }
    std::vector<double> lateness;

private:
    void arm()
    {
        itimerspec t{};
        t.it_value.tv_nsec = 7000000;
        m_clock.start();
        timerfd_settime(m_fd, 0, &t, nullptr);
    }
    int m_fd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QElapsedTimer m_clock;
};

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

class TestLinkPty : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void pollFindsExactlyThePresentStands()
    {
        kv::ScopedRecordingUi rec;
        Rig rig(config(QStringLiteral("stands = 1 2 4\n")));
        QVERIFY(rig.link.Comm1.IsOpen());
        QElapsedTimer clock;
        clock.start();
        rig.link.StartPoll();
        QVERIFY(!rig.view.actions);
        QVERIFY(spinUntil([&] { return rig.view.actions; }, 30000));
        qInfo("poll of stands 1, 2, 4 (3 and 5 absent): %lld ms", clock.elapsed());
        QCOMPARE(rig.view.enabledStands(), (QList<int>{1, 2, 4}));
        for (int s = 1; s <= 5; ++s)
            QCOMPARE(rig.link.StandPresent[s], s == 1 || s == 2 || s == 4);
        QVERIFY(rig.view.checkMenu);
        QVERIFY(!rig.view.notice);
        QCOMPARE(rig.link.QueueIndex, 6);
        QVERIFY(rec->boxes().isEmpty());
        // The answers came within a second of each request: no watchdog fires after it.
        spinUntil([] { return false; }, 1200);
        QVERIFY(rec->boxes().isEmpty());
    }

    void aSilentInstallationEndsThePollWithNoLink()
    {
        kv::ScopedRecordingUi rec;
        Rig rig(config(QStringLiteral("absent = silent\n")));
        rig.link.StartPoll();
        QVERIFY(spinUntil([&] { return !rec->boxes().isEmpty(); }, 5000));
        QCOMPARE(rec->texts(), QStringList{StandLink::NoLinkText});
        QVERIFY(rig.view.actions);
        QVERIFY(!rig.view.checkMenu);
        QCOMPARE(rig.link.QueueIndex, 0);
    }

    void resultsRoundGetsValuesFromTwoStandsWithPacedBytes()
    {
        kv::ScopedRecordingUi rec;
        Rig rig(config(QStringLiteral("stands = 1 2 3\npulse_seconds = 0.05\n"
                                      "meter 1.1 error=0.12\nmeter 1.4 error=-1.05\nmeter 3.2 error=0.5\n")));
        std::vector<double> written;
        qint64 lastWrite = -1;
        rig.link.Transmitter.ByteWritten = [&](char b, qint64 ns) {
            if (b != '/' && lastWrite >= 0)
                written.push_back((ns - lastWrite) / 1e6);
            lastWrite = ns;
        };
        rig.startCollection({1, 3});
        QVERIFY(spinUntil([&] { return rig.valueGroupsFrom(1) && rig.valueGroupsFrom(3); }, 10000));
        rig.link.PendingCommand = QStringLiteral("Exit");
        rig.link.T02.start();
        QVERIFY(spinUntil([&] { return rig.link.CommandQueue.isEmpty(); }, 2000));
        QVERIFY(rec->boxes().isEmpty());

        bool seen11 = false, seen14 = false;
        for (const auto &r : rig.sink.reports) {
            QVERIFY(r.second.startsWith('/') && r.second.endsWith('\x03'));
            QCOMPARE(FrameStand(r.second), r.first);
            seen11 = seen11 || r.second.contains(" 1 +0.12");
            seen14 = seen14 || r.second.contains(" 4 -1.05");
        }
        QVERIFY(seen11 && seen14);

        // The set-up frames went out in order, at least 300 ms apart.
        const auto &bytes = rig.server.Model().ReceivedBytes();
        QList<qint64> starts;
        for (const auto &b : bytes)
            if (b.byte == '/')
                starts << b.ns;
        const auto &frames = rig.server.Model().FramesReceived();
        QVERIFY(frames.size() >= 4);
        QCOMPARE(frames.at(0), SetupRequest(1, 'P', 1000, 2, 1));
        QCOMPARE(frames.at(1), SetupRequest(3, 'P', 1000, 2, 1));
        QCOMPARE(frames.at(2), ResultsRequest(1));
        const qint64 firstEnd = bytes.at(frames.at(0).size() - 1).ns;
        QVERIFY2(starts.at(1) - firstEnd >= (14 + 300) * 1000000LL, qPrintable(QString::number(starts.at(1) - firstEnd)));

        // Bytes inside a request leave at least 7 ms apart, each gap counted
        // from the previous write, and the stands receive all of them.
        QVERIFY(spinUntil([&] { return rig.server.Model().ByteGapsMs().size() == written.size(); }, 2000));
        QVERIFY(!written.empty());
        double min = *std::min_element(written.begin(), written.end());
        QVERIFY2(min >= 7.0, qPrintable(QString::number(min, 'f', 3)));

        // A gap is 7 ms plus however late the process wakes: a few hundredths
        // of a millisecond on a quiet machine, a millisecond and more when
        // other builds and tests load both cores. A chain of plain 7 ms waits
        // run alongside measures that lateness under the same load, and the
        // median bound of 8 ms is widened by it. Up to three rounds are
        // tried, as load comes in bursts; every gap of every round must
        // still be at least 7 ms.
        bool met = false;
        for (int round = 0; round < 3 && !met; ++round) {
            written.clear();
            lastWrite = -1;
            rig.server.Model().ClearLog();
            WakeLateness reference;
            for (int s = 1; s <= 5; ++s)
                rig.link.SendFrame(SetupRequest(s, 'P', 1000, 10, 1));
            QVERIFY(spinUntil([&] { return !rig.link.Transmitter.Busy(); }, 10000));
            const double noise = std::max(0.0, median(reference.lateness));
            QVERIFY(spinUntil([&] { return rig.server.Model().ByteGapsMs().size() == written.size(); }, 2000));
            rig.link.TDog.stop();
            const std::vector<double> gaps = rig.server.Model().ByteGapsMs();
            min = *std::min_element(written.begin(), written.end());
            qInfo("round %d, %d gaps: as written min %.3f median %.3f max %.3f ms; as received min %.3f median %.3f "
                  "max %.3f ms; a plain 7 ms wait meanwhile woke %.3f ms late (median)",
                  round + 1, int(gaps.size()), min, median(written), *std::max_element(written.begin(), written.end()),
                  *std::min_element(gaps.begin(), gaps.end()), median(gaps), *std::max_element(gaps.begin(), gaps.end()),
                  noise);
            QVERIFY2(min >= 7.0, qPrintable(QString::number(min, 'f', 3)));
            met = median(gaps) < 8.0 + noise;
        }
        QVERIFY(met);
    }

    void stationOneResetPurgesTheLineOthersDoNot()
    {
        kv::ScopedRecordingUi rec;
        for (int stand : {1, 2}) {
            Rig rig(config(QStringLiteral("stands = 1 2\n")));
            rig.link.RunMode = 2;
            rig.link.CommandQueue = {QStringLiteral("%1"), QStringLiteral("%2"), QStringLiteral("Repeat")};
            rig.link.QueueIndex = 0;
            // A stale answer waits in the line when the reset goes out.
            rig.server.WriteRaw(AnswerFrame(stand));
            QThread::msleep(300);
            rig.link.PendingCommand = QStringLiteral("CST%1").arg(stand);
            rig.link.RunQueue();
            QVERIFY(spinUntil([&] { return rig.server.Model().FramesSent().size() == 1; }, 2000));
            QVERIFY(spinUntil([&] { return !rig.link.Transmitter.Busy(); }, 2000));
            spinUntil([] { return false; }, 100);
            rig.link.T02.stop();
            rig.link.TDog.stop();
            QCOMPARE(rig.server.Model().FramesReceived().last(), StandResetRequest(stand));
            // Purged with "CST1"; still there and handled after "CST2".
            QCOMPARE(rig.link.QueueIndex, stand == 1 ? 0 : 1);
        }
    }

    // Noise from a writer of its own while the collection runs: afterwards
    // the receiver is in step again and the next reply is read, with no
    // "no link" box once the noise has ended.
    void theCollectionReadsTheNextReplyAfterNoise_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("bytesPerSecond");
        QTest::addColumn<int>("ms");
        QTest::newRow("random bytes at line speed") << int(NoiseConfig::RandomBytes) << 480 << 4000;
        QTest::newRow("random bytes, fast as the line takes") << int(NoiseConfig::RandomBytes) << 0 << 2000;
        QTest::newRow("malformed frames, ten times line speed") << int(NoiseConfig::MalformedFrames) << 4800 << 4000;
    }
    void theCollectionReadsTheNextReplyAfterNoise()
    {
        QFETCH(int, kind);
        QFETCH(int, bytesPerSecond);
        QFETCH(int, ms);
        kv::ScopedRecordingUi rec;
        Rig rig(config(QStringLiteral("stands = 1\npulse_seconds = 0.05\nmeter 1.2 error=0.3\n")));
        rig.startCollection({1});
        QVERIFY(spinUntil([&] { return rig.valueGroupsFrom(1, " 2 +0.30"); }, 10000));
        NoiseConfig noise;
        noise.kind = NoiseConfig::Kind(kind);
        noise.bytesPerSecond = bytesPerSecond;
        rig.server.StartNoise(noise);
        spinUntil([] { return false; }, ms);
        rig.server.StopNoise();
        QVERIFY(rig.server.Noise().BytesWritten() > 0);
        // What the line still holds of the noise is read, then replies again.
        // A watchdog that ran out during the noise may still say so; once a
        // reply has been read the line is in step and says nothing more.
        spinUntil([] { return false; }, 1200);
        const int reports = rig.sink.reports.size();
        const auto valueReadFrom = [&](int from) {
            return [&, from] {
                for (int i = from; i < rig.sink.reports.size(); ++i)
                    if (rig.sink.reports.at(i).second.contains(" 2 +0.30"))
                        return true;
                return false;
            };
        };
        QVERIFY(spinUntil(valueReadFrom(reports), 5000));
        const int boxes = rec->boxes().size();
        QVERIFY(spinUntil(valueReadFrom(rig.sink.reports.size()), 5000));
        for (int i = reports; i < rig.sink.reports.size(); ++i) {
            const QByteArray &f = rig.sink.reports.at(i).second;
            QVERIFY2(f.startsWith("/1\x02") && f.endsWith('\x03') && f.count('/') == 1, f.toHex(' ').constData());
        }
        QVERIFY2(rec->boxes().size() == boxes, qPrintable(rec->texts().join(QLatin1Char('|'))));
        qInfo("%lld noise bytes written; %d boxes during the noise", rig.server.Noise().BytesWritten(), boxes);
    }

    void aOneShotPurgeWaitsForTheFrameOnTheLine()
    {
        // A line nobody reads until the end: what the port has written but
        // the other side has not taken yet is what a purge can drop.
        int master = -1, slave = -1;
        char name[256] = {};
        QCOMPARE(openpty(&master, &slave, name, nullptr, nullptr), 0);
        termios raw{};
        tcgetattr(slave, &raw);
        cfmakeraw(&raw);
        tcsetattr(slave, TCSANOW, &raw);
        StandLink link;
        link.Comm1.SetDeviceOverride(QString::fromLocal8Bit(name));
        link.Comm1.Open();
        QVERIFY(link.Comm1.IsOpen());
        const QByteArray setup = SetupRequest(3, 'P', 1000, 5, 1);
        for (const QString &command : {QString::fromLatin1(MeterResetRequest(3, 2)), QStringLiteral("CST1")}) {
            // The operator's reset is served right after a byte of the set-up
            // went out, with the rest of the frame still to come.
            int written = 0;
            link.Transmitter.ByteWritten = [&](char, qint64) {
                if (++written == 5)
                    QTimer::singleShot(0, &link, [&] {
                        link.PendingCommand = command;
                        link.RunQueue();
                    });
            };
            link.SendFrame(setup);
            QVERIFY(spinUntil([&] { return written > 5 && !link.Transmitter.Busy(); }, 3000));
            QByteArray got;
            char buffer[256];
            ::fcntl(master, F_SETFL, O_NONBLOCK);
            for (ssize_t n; (n = ::read(master, buffer, sizeof buffer)) > 0;)
                got.append(buffer, int(n));
            const QByteArray reset = command.startsWith(QLatin1Char('/')) ? command.toLatin1() : StandResetRequest(1);
            QCOMPARE(got, setup + reset);
        }
        link.Transmitter.ByteWritten = nullptr;
        link.Comm1.Close();
        ::close(slave);
        ::close(master);
    }

    void noiseOnTheLineAndALostDeviceDoNoHarm()
    {
        kv::ScopedRecordingUi rec;
        Rig rig(config(QStringLiteral("stands = 1\npulse_seconds = 0.05\nreply_delay_ms = 25\nmeter 1.2 error=0.3\n")));
        QStringList lines;
        connect(&rig.link, &StandLink::FrameLogged, this, [&](const QString &l) { lines << l; });
        rig.server.WriteRaw(QByteArray("\xff\x00garbage/9\x04\x03/1\x02 7 x\x03/1", 22));
        rig.server.WriteRaw(QByteArray(5000, 'z'));
        rig.server.WriteRaw(QByteArray("\x03"));
        rig.startCollection({1});
        QVERIFY(spinUntil([&] { return rig.valueGroupsFrom(1, " 2 +0.30"); }, 10000));
        // The noise made two frames of its own (whatever came first, and the
        // stray results frame); the overlong one was dropped, and the stray
        // results frame answered no request: it never reaches the run.
        QVERIFY(lines.size() >= 3);
        for (const auto &report : rig.sink.reports)
            QVERIFY(report.second != QByteArray("/1\x02 7 x\x03"));
        QVERIFY(rec->boxes().isEmpty());

        // The device vanishes mid-collection: the port closes and says so,
        // the watchdogs report, nothing crashes.
        QSignalSpy lost(&rig.link, &StandLink::PortLost);
        rig.server.Close();
        QVERIFY(spinUntil([&] { return lost.count() == 1; }, 3000));
        QVERIFY(!rig.link.Comm1.IsOpen());
        QVERIFY(spinUntil([&] { return rec->shown(StandLink::NoLinkText); }, 5000));
    }
};

QTEST_GUILESS_MAIN(TestLinkPty)
#include "test_link_pty.moc"
