// The simulated stands: what they answer, and how their meters report over time.

#include "link/stand_frames.h"
#include "stand_model.h"

#include <QTemporaryDir>
#include <QTest>

using namespace kvintor;
using namespace kvstands;

namespace {
constexpr qint64 kSecond = 1000000000LL;

QByteArray send(StandModel &m, const QByteArray &request, qint64 atNs)
{
    QByteArray reply;
    for (char b : request)
        reply += m.Receive(b, atNs);
    return reply;
}

ModelConfig parsed(const QString &text)
{
    ModelConfig c;
    const QString problem = ParseConfig(text, &c);
    if (!problem.isEmpty())
        qWarning("%s", qPrintable(problem));
    return c;
}
}  // namespace

class TestStandModel : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void presentStandsAnswerAndAbsentOnesDoNot()
    {
        StandModel m(parsed(QStringLiteral("stands = 1 2 4\n")));
        QCOMPARE(send(m, AutoRequest(), 0), AnswerFrame(0));
        QCOMPARE(send(m, PollRequest(2), 0), AnswerFrame(2));
        // The installation says "not here" with a frame that is no answer.
        const QByteArray reply = send(m, PollRequest(3), 0);
        QCOMPARE(FrameByte(reply, 2), '3');
        QVERIFY(FrameByte(reply, 3) != frame::Answer);
        QCOMPARE(send(m, StandResetRequest(4), 0), AcknowledgeFrame(4, 'V'));
        QCOMPARE(send(m, MeterResetRequest(1, 6), 0), AcknowledgeFrame(1, 'W'));
        QVERIFY(send(m, SetupRequest(1, 'P', 1000, 5, 1), 0).isEmpty());
        QCOMPARE(m.Stand(1).constant, 1000.0);
        QCOMPARE(m.Stand(1).count, 5);
        // Or it stays silent, when configured so; and with no stand nobody answers Auto.
        StandModel silent(parsed(QStringLiteral("stands = 1\nabsent = silent\n")));
        QVERIFY(send(silent, PollRequest(3), 0).isEmpty());
        StandModel none(parsed(QStringLiteral("absent = silent\n")));
        QVERIFY(send(none, AutoRequest(), 0).isEmpty());
    }

    void noiseAndBrokenRequestsGetNoReply()
    {
        StandModel m(DefaultConfig());
        QVERIFY(send(m, QByteArray("\x00\xff garbage\x03", 11), 0).isEmpty());
        QVERIFY(send(m, QByteArray("/9\x01U\x03"), 0).isEmpty());
        QVERIFY(send(m, QByteArray("/1\x01U"), 0).isEmpty());
        // A request cut short swallows the next one: a "/" inside a frame is
        // an ordinary byte, so the pair is not understood; the one after is.
        QVERIFY(send(m, PollRequest(1), 0).isEmpty());
        QCOMPARE(send(m, PollRequest(1), 0), AnswerFrame(1));
        QVERIFY(send(m, QByteArray(1000, 'x'), 0).isEmpty());
        QCOMPARE(send(m, QByteArray("\x03") + PollRequest(1), 0), AnswerFrame(1));
    }

    void errorPointsReportEachMeasuredBatch()
    {
        StandModel m(parsed(QStringLiteral("stands = 2\npulse_seconds = 1\ntime_factor = 0.5\n"
                                           "meter 2.1 error=0.12\nmeter 2.3 errors=-1.05,2.5 error=0.3\n"
                                           "meter 2.5 error=0.4 register=fault\n")));
        send(m, SetupRequest(2, 'P', 1000, 4, 1), 0);  // 4 turns at 0.5 s each: 2 s per report
        QCOMPARE(send(m, ResultsRequest(2), 1 * kSecond), ResultsFrame(2, {}));
        QCOMPARE(send(m, ResultsRequest(2), 2 * kSecond),
                 ResultsFrame(2, ValueGroup(1, "+0.12") + ValueGroup(3, "-1.05") + ValueGroup(5, "+0.40")));
        // Nothing new until the next batch; the faulty register stops counting.
        QCOMPARE(send(m, ResultsRequest(2), 3 * kSecond), ResultsFrame(2, {}));
        QCOMPARE(send(m, ResultsRequest(2), 4 * kSecond), ResultsFrame(2, ValueGroup(1, "+0.12") + ValueGroup(3, "-1.05")));
        // Batches missed between two requests follow one per request.
        QCOMPARE(send(m, ResultsRequest(2), 9 * kSecond), ResultsFrame(2, ValueGroup(1, "+0.12") + ValueGroup(3, "-1.05")));
        QCOMPARE(send(m, ResultsRequest(2), 9 * kSecond), ResultsFrame(2, ValueGroup(1, "+0.12") + ValueGroup(3, "-1.05")));
        QCOMPARE(send(m, ResultsRequest(2), 9 * kSecond), ResultsFrame(2, {}));
        // The second error point takes each meter's second error; a reset restarts the count.
        send(m, SetupRequest(2, 'P', 1000, 4, 1), 10 * kSecond);
        QCOMPARE(m.Stand(2).errorPoints, 2);
        send(m, MeterResetRequest(2, 1), 11 * kSecond);
        QCOMPARE(send(m, ResultsRequest(2), 12 * kSecond), ResultsFrame(2, ValueGroup(3, "+2.50") + ValueGroup(5, "+0.40")));
        QCOMPARE(send(m, ResultsRequest(2), 13 * kSecond), ResultsFrame(2, ValueGroup(1, "+0.12")));
        // The poll before the next run starts the meters' errors from the first point again.
        send(m, AutoRequest(), 14 * kSecond);
        send(m, SetupRequest(2, 'P', 1000, 4, 1), 15 * kSecond);
        QCOMPARE(m.Stand(2).errorPoints, 1);
        QCOMPARE(send(m, ResultsRequest(2), 17 * kSecond),
                 ResultsFrame(2, ValueGroup(1, "+0.12") + ValueGroup(3, "-1.05") + ValueGroup(5, "+0.40")));
    }

    void sensitivityAndCreep()
    {
        StandModel m(parsed(QStringLiteral("stands = 1\nstart_seconds = 10\ncreep_seconds = 20\ntime_factor = 0.1\n"
                                           "meter 1.1 starts=yes creeps=yes\nmeter 1.2 starts=no\n")));
        send(m, SetupRequest(1, 'Q', 1000, 0, 1), 0);
        QCOMPARE(send(m, ResultsRequest(1), kSecond / 2), ResultsFrame(1, {}));
        QCOMPARE(send(m, ResultsRequest(1), kSecond), ResultsFrame(1, PulseGroup(1)));
        send(m, SetupRequest(1, 'R', 1000, 0, 1), kSecond);
        QCOMPARE(send(m, ResultsRequest(1), 2 * kSecond), ResultsFrame(1, {}));
        const QByteArray crept = send(m, ResultsRequest(1), 3 * kSecond);
        QVERIFY(crept.startsWith(QByteArray("/1\x02 1 ")));
        QCOMPARE(crept.size(), 4 + 3 + 5);
    }

    void noiseStaysWithinItsBoundAndIsRepeatable()
    {
        const QString text = QStringLiteral("stands = 1\npulse_seconds = 1\nseed = 7\nmeter 1.1 error=0.5 noise=0.2\n");
        StandModel a(parsed(text)), b(parsed(text));
        for (StandModel *m : {&a, &b})
            send(*m, SetupRequest(1, 'P', 1000, 1, 1), 0);
        for (int i = 1; i <= 20; ++i) {
            const QByteArray ra = send(a, ResultsRequest(1), i * kSecond);
            QCOMPARE(send(b, ResultsRequest(1), i * kSecond), ra);
            const double e = ra.mid(6, 5).toDouble();
            QVERIFY2(e >= 0.3 - 1e-9 && e <= 0.7 + 1e-9, ra.constData());
        }
    }

    void byteTimesGiveTheGapsInsideRequests()
    {
        StandModel m(DefaultConfig());
        qint64 t = 0;
        for (char b : QByteArray("x") + PollRequest(1) + ResultsRequest(1)) {
            m.Receive(b, t);
            t += 7 * 1000000 + 100000;
        }
        const auto gaps = m.ByteGapsMs();
        QCOMPARE(int(gaps.size()), 4 + 3);
        for (double g : gaps)
            QVERIFY(qAbs(g - 7.1) < 1e-9);
        QCOMPARE(m.FramesReceived().size(), 2);
    }

    void configFileErrorsNameTheLine()
    {
        ModelConfig c;
        QCOMPARE(ParseConfig(QStringLiteral("# ok\nstands = 1, 3\nmeter 3.6 error=-0.2 creeps=yes # c\n"), &c), QString());
        QVERIFY(c.present[1] && c.present[3] && !c.present[2]);
        QCOMPARE(c.meters.size(), 1);
        QVERIFY(c.meters[0].creeps);
        for (const QString &bad : {QStringLiteral("stands = 6"), QStringLiteral("meter 7.1"),
                                   QStringLiteral("meter 1.1 error=abc"), QStringLiteral("speed = 3"),
                                   QStringLiteral("meter 1.1 starts=maybe"), QStringLiteral("time_factor = -1")}) {
            ModelConfig before = c;
            const QString problem = ParseConfig(QStringLiteral("stands = 1\n") + bad, &c);
            QVERIFY2(problem.startsWith(QStringLiteral("line 2:")), qPrintable(problem));
            QCOMPARE(c.meters.size(), before.meters.size());
        }
        QTemporaryDir dir;
        QVERIFY(!LoadConfig(dir.filePath(QStringLiteral("missing.conf")), &c).isEmpty());
        // The documented example reads as it is.
        const QString example = qEnvironmentVariable("KVINTOR_SOURCE_DIR") + QStringLiteral("/tools/stands/example.conf");
        QCOMPARE(LoadConfig(example, &c), QString());
        QCOMPARE(c.meters.size(), 6);
        QCOMPARE(c.replyDelayMs, 5);
    }
};

QTEST_GUILESS_MAIN(TestStandModel)
#include "test_stand_model.moc"
