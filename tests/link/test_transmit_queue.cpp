#include "link/transmit_queue.h"

#include <QElapsedTimer>
#include <QTest>

using namespace kvintor;

class TestTransmitQueue : public QObject
{
    Q_OBJECT

    QStringList log;

    TransmitQueue::Line recordingLine()
    {
        TransmitQueue::Line line;
        line.writeByte = [this](char b) { log << QStringLiteral("w%1").arg(QLatin1Char(b)); };
        line.dropRts = [this] { log << QStringLiteral("rts-"); };
        line.raiseRts = [this] { log << QStringLiteral("rts+"); };
        line.frameSent = [this] { log << QStringLiteral("sent"); };
        return line;
    }

    // Runs the queue by calling its timer expiry, noting each wait.
    void drive(TransmitQueue &q)
    {
        for (int guard = 0; q.StepPending() && guard < 1000; ++guard) {
            log << QStringLiteral("%1ms").arg(q.StepInterval());
            q.OnStepTimer();
        }
    }

private Q_SLOTS:
    void init() { log.clear(); }

    void frameIsPacedByteByByteThenTailAndRts()
    {
        TransmitQueue q;
        q.SetLine(recordingLine());
        q.SendFrame("ab");
        QVERIFY(q.InFrame());
        drive(q);
        QCOMPARE(log, QStringList({"rts-", "wa", "7ms", "wb", "7ms", "14ms", "rts+", "sent"}));
        QVERIFY(!q.Busy());
    }

    void framesPausesAndStepsKeepTheirOrder()
    {
        TransmitQueue q;
        q.SetLine(recordingLine());
        q.SendFrame("a");
        q.Pause(300);
        q.SendFrame("b");
        q.Then([this, &q] {
            log << QStringLiteral("then");
            // A step may queue more; it goes out after the step.
            q.SendFrame("c");
        });
        QCOMPARE(q.PendingItems(), 3);
        QVERIFY(q.InFrame());
        drive(q);
        QCOMPARE(log, QStringList({"rts-", "wa", "7ms", "14ms", "rts+", "sent", "300ms", "rts-", "wb", "7ms", "14ms",
                                   "rts+", "sent", "then", "rts-", "wc", "7ms", "14ms", "rts+", "sent"}));
        // A pause is no frame: received bytes may be handled meanwhile.
        q.Pause(50);
        QVERIFY(q.Busy());
        QVERIFY(!q.InFrame());
    }

    void clearingKeepsTheFrameOnTheLineWhole()
    {
        TransmitQueue q;
        q.SetLine(recordingLine());
        q.SendFrame("ab");
        q.SendFrame("cd");
        q.Then([this] { log << QStringLiteral("then"); });
        q.ClearPending();
        drive(q);
        QCOMPARE(log, QStringList({"rts-", "wa", "7ms", "wb", "7ms", "14ms", "rts+", "sent"}));
        // An empty frame still drops and raises RTS and counts as sent.
        log.clear();
        q.SendFrame({});
        drive(q);
        QCOMPARE(log, QStringList({"rts-", "14ms", "rts+", "sent"}));
    }

    // With the real timer the bytes leave at least 7 ms apart, measured from
    // each write, and the event loop stays free meanwhile.
    void realTimerNeverShortensAGap()
    {
        TransmitQueue q;
        QElapsedTimer clock;
        clock.start();
        QList<qint64> writes;
        TransmitQueue::Line line;
        line.writeByte = [&](char) { writes << clock.nsecsElapsed(); };
        q.SetLine(line);
        int ticks = 0;
        QTimer other;
        connect(&other, &QTimer::timeout, [&] { ++ticks; });
        other.start(1);
        q.SendFrame(QByteArray(12, 'x'));
        q.Pause(20);
        q.SendFrame(QByteArray(12, 'y'));
        QTRY_VERIFY_WITH_TIMEOUT(!q.Busy(), 5000);
        QCOMPARE(writes.size(), 24);
        for (int i = 1; i < writes.size(); ++i)
            QVERIFY2(writes[i] - writes[i - 1] >= 7000000, qPrintable(QString::number(writes[i] - writes[i - 1])));
        QVERIFY(writes[12] - writes[11] >= (7 + 14 + 20) * 1000000LL);
        QVERIFY(ticks > 10);
    }

    void finishBlockingSendsTheRestWithoutTheEventLoop()
    {
        TransmitQueue q;
        q.SetLine(recordingLine());
        q.SendFrame("ab");
        q.Then([this] { log << QStringLiteral("then"); });
        QElapsedTimer clock;
        clock.start();
        q.FinishBlocking();
        QVERIFY(clock.elapsed() >= 7 + 7 + 14);
        QVERIFY(!q.Busy());
        QCOMPARE(log, QStringList({"rts-", "wa", "wb", "rts+", "sent", "then"}));
    }
};

QTEST_GUILESS_MAIN(TestTransmitQueue)
#include "test_transmit_queue.moc"
