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
        // as two, in order; a "/" inside a frame is an ordinary byte.
        feed(QByteArray("\x05zz/1\x04\x03\x01/2\x02 1 /0.12\x03"));
        QCOMPARE(frames, (QList<QByteArray>{QByteArray("/1\x04\x03"), QByteArray("/2\x02 1 /0.12\x03")}));
        QCOMPARE(lines.at(0), QStringLiteral("/+47+49+4+3"));
        QCOMPARE(r.Edit1, lines.at(1));
        QVERIFY(r.WaitingForStart);
    }

    void frameWithoutEndIsNeverDeliveredAndSwallowsTheNextStart()
    {
        r.WaitForStart();
        feed(QByteArray("/1\x04"));
        QVERIFY(frames.isEmpty());
        QVERIFY(!r.WaitingForStart);
        QCOMPARE(r.Edit1, QStringLiteral("/+47+49+4"));
        feed(QByteArray("/2\x04\x03"));
        QCOMPARE(frames, QList<QByteArray>{QByteArray("/1\x04/2\x04\x03")});
    }

    void endlessNoiseInsideAFrameIsBounded()
    {
        r.WaitForStart();
        feed(QByteArray("/"));
        feed(QByteArray(FrameReceiver::MaxFrameLength + 10, 'x'));
        QVERIFY(frames.isEmpty());
        QVERIFY(r.FrameText.size() <= FrameReceiver::MaxFrameLength);
        QVERIFY(r.Edit1.size() < 5 * FrameReceiver::MaxFrameLength);
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
