#include "link/frame_receiver.h"

#include <QTest>

using namespace kvintor;

class TestFrameReceiver : public QObject
{
    Q_OBJECT

    FrameReceiver r;
    QList<QByteArray> frames;
    QStringList lines;

    void feed(const QByteArray &bytes)
    {
        for (char b : bytes)
            r.Feed(b);
    }

private Q_SLOTS:
    void init()
    {
        r = FrameReceiver();
        frames.clear();
        lines.clear();
        r.OnFrame = [this](const QByteArray &f) { frames.append(f); };
        r.OnLogLine = [this](const QString &l) { lines.append(l); };
    }

    void firstFrameTakesWhateverCameBeforeTheFirstEnd()
    {
        QVERIFY(!r.WaitingForStart);
        feed(QByteArray("ab\x03"));
        QCOMPARE(frames, QList<QByteArray>{QByteArray("ab\x03")});
        QCOMPARE(lines, QStringList{QStringLiteral("+97+98+3")});
        QVERIFY(r.WaitingForStart);
    }

    void framesAreCutFromSlashToEndWithTheirEcho()
    {
        r.WaitForStart();
        // Noise before the start is dropped; two frames back to back come out
        // as two, in order.
        feed(QByteArray("\x05zz/1\x04\x03\x01/2\x02 1 +0.12\x03"));
        QCOMPARE(frames, (QList<QByteArray>{QByteArray("/1\x04\x03"), QByteArray("/2\x02 1 +0.12\x03")}));
        QCOMPARE(lines.at(0), QStringLiteral("/+47+49+4+3"));
        QCOMPARE(r.Edit1(), lines.at(1));
        QVERIFY(r.WaitingForStart);
    }

    // After noise or a reply cut short, the next "/" starts afresh: the
    // reply that follows is read whole, whatever came before it.
    void theNextStartResynchronises_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::newRow("half a reply") << QByteArray("/1\x02 1 +0.1");
        QTest::newRow("a start alone") << QByteArray("/");
        QTest::newRow("noise with starts") << QByteArray("\xff/\x00\x17//9\x80 x");
        QTest::newRow("nearly too long") << QByteArray("/") + QByteArray(FrameReceiver::MaxFrameLength - 2, '\x7f');
        QTest::newRow("first frame after start") << QByteArray("\x02\x04");
    }
    void theNextStartResynchronises()
    {
        QFETCH(QByteArray, before);
        feed(before);
        QVERIFY(frames.isEmpty());
        feed(QByteArray("/2\x02 1 +0.12\x03"));
        QCOMPARE(frames, QList<QByteArray>{QByteArray("/2\x02 1 +0.12\x03")});
        QCOMPARE(lines, QStringList{QStringLiteral("/+47+50+2+32+49+32+43+48+46+49+50+3")});
    }

    void endlessNoiseInsideAFrameIsBounded()
    {
        r.WaitForStart();
        feed(QByteArray("/"));
        feed(QByteArray(FrameReceiver::MaxFrameLength + 10, 'x'));
        QVERIFY(frames.isEmpty());
        QVERIFY(r.FrameText.size() <= FrameReceiver::MaxFrameLength);
        QVERIFY(r.Edit1().size() < 5 * FrameReceiver::MaxFrameLength);
        // The receiver is usable again at the next start.
        feed(QByteArray("x\x03/3\x04\x03"));
        QCOMPARE(frames, QList<QByteArray>{QByteArray("/3\x04\x03")});
    }

    void handlerMayResetTheReceiver()
    {
        r.OnFrame = [this](const QByteArray &f) {
            frames.append(f);
            r.WaitForStart();
            r.FrameText = "clobbered";
        };
        r.WaitForStart();
        feed(QByteArray("/1\x04\x03/2\x04\x03"));
        QCOMPARE(frames, (QList<QByteArray>{QByteArray("/1\x04\x03"), QByteArray("/2\x04\x03")}));
    }
};

QTEST_GUILESS_MAIN(TestFrameReceiver)
#include "test_frame_receiver.moc"
