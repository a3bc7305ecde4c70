// The reply handler and the sequencer, driven by calling the timer expiries.
// The port stays closed; requests are seen as they are queued for the line.

#include "core/error_report.h"
#include "core/ui.h"
#include "fake_view.h"
#include "link/stand_frames.h"

#include <QTest>

using namespace kvintor;

namespace {
const QByteArray answer1("/1\x04\x03");
const QByteArray notPresent("/3\x15\x03");
QByteArray results(int s, const QByteArray &groups = {}) { return ResultsFrame(s, groups); }
}  // namespace

class TestStandLink : public QObject
{
    Q_OBJECT

    std::unique_ptr<StandLink> link;
    FakeView view;
    FakeSink sink;
    QList<QByteArray> sent;

    void fresh()
    {
        link = std::make_unique<StandLink>();
        view = FakeView();
        sink = FakeSink();
        sent.clear();
        link->SetView(&view);
        link->SetReportSink(&sink);
        connect(link.get(), &StandLink::FrameQueued, this, [this](const QByteArray &f) { sent.append(f); });
    }

    // Everything queued for the line goes out, the waits between bytes skipped.
    void out()
    {
        for (int i = 0; i < 10000 && link->Transmitter.Busy(); ++i)
            link->Transmitter.OnStepTimer();
    }

    void collection(const QStringList &items)
    {
        link->RunMode = 2;
        link->CommandQueue = items;
        link->QueueIndex = 0;
        link->T02.setInterval(200);
    }

private Q_SLOTS:
    void init() { fresh(); }
    void cleanup() { link.reset(); }

    void createdAsTheMainWindowConfiguresIt()
    {
        QCOMPARE(link->Comm1.BaudRate(), BR___4800);
        QCOMPARE(link->Comm1.ComNo(), Com2);
        QCOMPARE(link->Comm1.ByteSize(), 8);
        QCOMPARE(link->Comm1.Parity(), paNone);
        QCOMPARE(link->TDog.interval(), 1000);
        QCOMPARE(link->T3.interval(), 3000);
        QCOMPARE(link->T02.interval(), 200);
        QCOMPARE(link->T03.interval(), 1000);
        QCOMPARE(link->TDogStend.interval(), 3000);
        for (QTimer *t : {&link->TDog, &link->T3, &link->T02, &link->T03, &link->TDogStend})
            QVERIFY(!t->isActive());
        QVERIFY(!link->Receiver.WaitingForStart);
        QVERIFY(!link->AwaitAck);
        QCOMPARE(link->RunMode, 0);
    }

    void answersDuringAPoll()
    {
        link->StartPoll();
        link->QueueIndex = 2;  // at "?2"
        link->T3.start();
        link->TDogStend.start();
        // From stand 6, or with no digit at all: dropped, timers untouched.
        for (const QByteArray &f : {QByteArray("/6\x04\x03"), QByteArray("/x\x04\x03"), QByteArray("/0\x04\x03")}) {
            link->HandleFrame(f);
            QVERIFY(link->T3.isActive());
            QVERIFY(link->TDogStend.isActive());
            QCOMPARE(link->QueueIndex, 2);
        }
        QCOMPARE(view.enabledStands(), QList<int>{});
        link->HandleFrame("/2\x04\x03");
        QVERIFY(link->StandPresent[2]);
        QCOMPARE(view.enabledStands(), QList<int>{2});
        QVERIFY(!link->T3.isActive());
        QVERIFY(!link->TDogStend.isActive());
        QCOMPARE(link->QueueIndex, 3);
        QVERIFY(link->T02.isActive());
        QCOMPARE(link->T02.interval(), 500);
        // A frame that is no answer changes nothing; too short frames neither.
        link->T02.stop();
        for (const QByteArray &f : {notPresent, QByteArray("/\x03"), QByteArray("\x03"), QByteArray()})
            link->HandleFrame(f);
        QCOMPARE(link->QueueIndex, 3);
        QVERIFY(!link->T02.isActive());
        // At the last item an answer does not move past the end.
        link->QueueIndex = 6;
        link->HandleFrame("/5\x04\x03");
        QCOMPARE(link->QueueIndex, 6);
        QVERIFY(link->StandPresent[5]);
        QVERIFY(!link->T02.isActive());
        // Outside a poll an answer completes the item but marks nobody.
        link->RunMode = 2;
        link->QueueIndex = 0;
        link->HandleFrame("/4\x04\x03");
        QVERIFY(!link->StandPresent[4]);
        QCOMPARE(link->QueueIndex, 1);
    }

    void resultsFramesGoWholeToTheRun()
    {
        collection({"%1", "%2", "Repeat"});
        link->RunQueue();
        QCOMPARE(sent, QList<QByteArray>{ResultsRequest(1)});
        QCOMPARE(link->AwaitedStand, 1);
        // The stand's 3 s count from the moment it has the request.
        QVERIFY(!link->TDogStend.isActive());
        out();
        QVERIFY(link->TDogStend.isActive());
        link->T3.start();
        const QByteArray frame = results(1, " 1 +0.12 3 -1.05");
        link->HandleFrame(frame);
        QCOMPARE(sink.reports.size(), 1);
        QCOMPARE(sink.reports.at(0).first, 1);
        QCOMPARE(sink.reports.at(0).second, frame);
        QVERIFY(!link->T3.isActive());
        QVERIFY(!link->TDogStend.isActive());
        QCOMPARE(link->QueueIndex, 1);
        QVERIFY(link->T02.isActive());
        // A stand digit outside 1..5 or no digit: not handed on, nothing moves.
        link->T02.stop();
        link->TDogStend.start();
        for (const QByteArray &f : {QByteArray("/6\x02 1 +0.12\x03"), QByteArray("/?\x02\x03"), QByteArray("/0\x02\x03")})
            link->HandleFrame(f);
        QCOMPARE(sink.reports.size(), 1);
        QVERIFY(link->TDogStend.isActive());
        QCOMPARE(link->QueueIndex, 1);
    }

    void resultsCountOnlyForRequestsOfTheCurrentQueue()
    {
        QStringList log;
        connect(link.get(), &StandLink::FrameLogged, this, [&](const QString &l) { log << l; });
        collection({"%1", "%3", "Repeat"});
        link->RunQueue();
        out();
        // Stand 3 has not been asked yet in this queue: its frame answers
        // something else, and is dropped where the diagnostics show it.
        link->HandleFrame(results(3, " 1 +0.50"));
        QVERIFY(sink.reports.isEmpty());
        QCOMPARE(link->QueueIndex, 0);
        QVERIFY(link->TDogStend.isActive());
        QCOMPARE(log.size(), 1);
        QVERIFY(log.at(0).contains(QStringLiteral("№3")));
        // The point ends ("Next", "Exit"): a reply to its request that comes
        // late belongs to no point.
        link->PendingCommand = QStringLiteral("Exit");
        link->RunQueue();
        link->HandleFrame(results(1, " 1 +0.50"));
        QVERIFY(sink.reports.isEmpty());
        // The new queue asks stand 1 again: now it counts.
        collection({"%1", "Repeat"});
        link->RunQueue();
        link->HandleFrame(results(1, " 1 +0.50"));
        QCOMPARE(sink.reports.size(), 1);
    }

    void aResetAwaitingItsAcknowledgementIgnoresResults()
    {
        collection({"%1", "%2", "Repeat"});
        link->AwaitAck = true;
        link->HandleFrame(results(1, " 1 +0.12"));
        link->HandleFrame("/1\x02");  // too short for byte 4
        link->HandleFrame(AcknowledgeFrame(1, 'X'));
        QVERIFY(sink.reports.isEmpty());
        QVERIFY(link->AwaitAck);
        link->HandleFrame(AcknowledgeFrame(1, 'W'));
        QVERIFY(!link->AwaitAck);
        link->AwaitAck = true;
        link->HandleFrame(AcknowledgeFrame(1, 'V'));
        QVERIFY(!link->AwaitAck);
        // Without an acknowledgement T03 gives up waiting.
        link->AwaitAck = true;
        link->T03.start();
        link->OnT03Timer();
        QVERIFY(!link->AwaitAck);
        QVERIFY(!link->T03.isActive());
        link->QueueIndex = 0;
        link->RunQueue();
        link->HandleFrame(results(1));
        QCOMPARE(sink.reports.size(), 1);
    }

    void pollRunsThroughItsItems()
    {
        kv::ScopedRecordingUi rec;
        view.checkMenu = true;
        view.captions[4] = true;
        link->StandPresent[4] = true;
        link->StartPoll();
        QCOMPARE(link->CommandQueue, QStringList({"Auto", "?1", "?2", "?3", "?4", "?5", "?End"}));
        QCOMPARE(view.enabledStands(), QList<int>{});
        QVERIFY(!link->StandPresent[4]);
        QVERIFY(!view.checkMenu);
        QVERIFY(!view.actions);
        QCOMPARE(link->T02.interval(), 500);
        QCOMPARE(sent, QList<QByteArray>{AutoRequest()});
        QVERIFY(!link->T3.isActive());
        out();
        QVERIFY(link->T3.isActive());
        QVERIFY(!view.notice);

        // "Auto" moves on by T3; "?1" shows the notice.
        link->OnT3Timer();
        QCOMPARE(link->QueueIndex, 1);
        QCOMPARE(sent.last(), PollRequest(1));
        QVERIFY(view.notice);
        // Stand 1 answers: the next item 500 ms later.
        link->HandleFrame(answer1);
        QCOMPARE(link->QueueIndex, 2);
        link->OnT02Timer();
        QCOMPARE(sent.last(), PollRequest(2));
        // Stand 2 is not there: T3 moves on.
        link->HandleFrame("/2\x15\x03");
        QCOMPARE(link->QueueIndex, 2);
        link->OnT3Timer();
        QCOMPARE(sent.last(), PollRequest(3));
        link->OnT3Timer();
        link->OnT3Timer();
        QCOMPARE(sent.last(), PollRequest(5));
        link->HandleFrame("/5\x04\x03");
        link->OnT02Timer();
        QCOMPARE(link->QueueIndex, 6);
        QCOMPARE(sent.size(), 6);
        QVERIFY(!view.notice);
        QVERIFY(view.actions);
        QVERIFY(view.checkMenu);
        QCOMPARE(link->T02.interval(), 200);
        QCOMPARE(view.enabledStands(), (QList<int>{1, 5}));
        // T3 at the last item does not move past the end.
        link->OnT3Timer();
        QCOMPARE(link->QueueIndex, 6);
        QCOMPARE(sent.size(), 6);
        QVERIFY(rec->boxes().isEmpty());
    }

    void pollWithoutAnswersLeavesCheckingClosed()
    {
        link->StartPoll();
        for (int i = 0; i < 6; ++i)
            link->OnT3Timer();
        QCOMPARE(link->QueueIndex, 6);
        QVERIFY(!view.checkMenu);
        QVERIFY(view.actions);
    }

    void silenceEndsThePollButKeepsTheNotice()
    {
        kv::ScopedRecordingUi rec;
        link->StartPoll();
        link->OnT3Timer();
        QVERIFY(view.notice);
        link->TDog.start();
        link->TDogStend.start();
        link->OnTDogTimer();
        QCOMPARE(rec->texts(), QStringList{QStringLiteral("Нет связи с установкой")});
        QCOMPARE(rec->boxes().at(0).icon, kv::Icon::Warning);
        QVERIFY(view.notice);
        QVERIFY(view.actions);
        for (QTimer *t : {&link->TDog, &link->T3, &link->T02})
            QVERIFY(!t->isActive());
        QVERIFY(link->TDogStend.isActive());
        QCOMPARE(link->QueueIndex, 1);
        QCOMPARE(link->CommandQueue.size(), 7);
    }

    void collectionRepeatsAtOnceAndSkipsASilentStand()
    {
        kv::ScopedRecordingUi rec;
        collection({"%2", "%4", "Repeat"});
        link->RunQueue();
        link->HandleFrame(results(2));
        link->OnT02Timer();
        QCOMPARE(sent, (QList<QByteArray>{ResultsRequest(2), ResultsRequest(4)}));
        QCOMPARE(link->AwaitedStand, 4);
        // Stand 4 is silent: TDog first, then the stand watchdog names it and moves on.
        link->OnTDogTimer();
        link->OnTDogStendTimer();
        QCOMPARE(rec->texts(), (QStringList{QStringLiteral("Нет связи с установкой"),
                                            QStringLiteral("Стенд №4 не отвечает !")}));
        // "Repeat" goes back to the first stand at once, without a pause.
        QCOMPARE(link->QueueIndex, 0);
        QCOMPARE(sent.size(), 3);
        QCOMPARE(sent.last(), ResultsRequest(2));
        out();
        QVERIFY(link->TDogStend.isActive());
        QVERIFY(!link->T02.isActive());
    }

    void oneShotCommandsComeBetweenQueueSteps()
    {
        collection({"%1", "%3", "Repeat"});
        link->RunQueue();
        link->HandleFrame(results(1));
        // A meter reset jumps ahead of "%3"; 200 ms later the queue goes on.
        link->AwaitAck = true;
        link->PendingCommand = QString::fromLatin1(MeterResetRequest(3, 2));
        link->OnT02Timer();
        QCOMPARE(sent.last(), MeterResetRequest(3, 2));
        QVERIFY(link->PendingCommand.isEmpty());
        QVERIFY(link->T02.isActive());
        link->HandleFrame(AcknowledgeFrame(3, 'W'));
        QCOMPARE(link->QueueIndex, 1);
        link->OnT02Timer();
        QCOMPARE(sent.last(), ResultsRequest(3));
        // A stand reset by its "CST" word.
        link->PendingCommand = QStringLiteral("CST5");
        link->RunQueue();
        QCOMPARE(sent.last(), StandResetRequest(5));
        QVERIFY(link->PendingCommand.isEmpty());
        QCOMPARE(link->QueueIndex, 1);
        link->OnT02Timer();
        QCOMPARE(sent.last(), ResultsRequest(3));
    }

    void nextAndExitResetTheSequencer()
    {
        collection({"%1", "Repeat"});
        link->RunQueue();
        link->Receiver.WaitingForStart = false;
        for (QTimer *t : {&link->TDog, &link->T3, &link->T02, &link->TDogStend})
            t->start();
        link->PendingCommand = QStringLiteral("Exit");
        link->RunQueue();
        QVERIFY(link->CommandQueue.isEmpty());
        QCOMPARE(link->QueueIndex, 0);
        QVERIFY(link->PendingCommand.isEmpty());
        QVERIFY(link->Receiver.WaitingForStart);
        for (QTimer *t : {&link->TDog, &link->T3, &link->T02, &link->TDogStend})
            QVERIFY(!t->isActive());
        QCOMPARE(sink.pointStarts, 0);
        link->PendingCommand = QStringLiteral("Next");
        link->RunQueue();
        QCOMPARE(sink.pointStarts, 1);
        // An empty queue, or one that is only "Repeat", sends nothing.
        const int before = sent.size();
        link->RunQueue();
        link->CommandQueue = {QStringLiteral("Repeat")};
        link->RunQueue();
        QCOMPARE(sent.size(), before);
    }

    void aFailingReportHandlerIsShownAndTheLinkGoesOn()
    {
        kv::ScopedRecordingUi rec;
        collection({"%1", "%2", "Repeat"});
        sink.onReport = [](int, const QByteArray &) { throw kv::Error(QStringLiteral("сбой")); };
        link->RunQueue();
        out();
        link->TDog.start();
        link->Receiver.WaitForStart();
        for (char b : results(1, " 1 +0.12") + answer1)
            link->Receiver.Feed(b);
        QCOMPARE(rec->texts(), QStringList{QStringLiteral("сбой")});
        QVERIFY(!link->TDog.isActive());
        // The answer after it was still handled.
        QCOMPARE(link->QueueIndex, 1);
    }

    void framesLogTheirEcho()
    {
        QStringList lines;
        connect(link.get(), &StandLink::FrameLogged, this, [&](const QString &l) { lines << l; });
        link->Receiver.WaitForStart();
        for (char b : QByteArray("/1\x04\x03"))
            link->Receiver.Feed(b);
        QCOMPARE(lines, QStringList{QStringLiteral("/+47+49+4+3")});
    }

    void sendingRestartsTheReplyWatchdogOnceTheFrameIsOut()
    {
        kv::ScopedRecordingUi rec;
        link->SendFrame(PollRequest(1));
        QVERIFY(link->Transmitter.InFrame());
        QVERIFY(!link->TDog.isActive());
        QTRY_VERIFY_WITH_TIMEOUT(!link->Transmitter.Busy(), 2000);
        QVERIFY(link->TDog.isActive());
        // The Auto request on closing goes out before the call returns.
        link->TDog.stop();
        link->SendAutoAndWait();
        QVERIFY(!link->Transmitter.Busy());
        QCOMPARE(sent.last(), AutoRequest());
    }

    void collectionStartsOnceTheSetUpIsOut()
    {
        kv::ScopedRecordingUi rec;
        link->SendFrame(SetupRequest(2, 'P', 1000, 5, 1));
        link->SendPause(300);
        link->QueueCollection({2, 5});
        QVERIFY(link->CommandQueue.isEmpty());
        link->TDog.start();
        link->Transmitter.FinishBlocking();
        QCOMPARE(link->CommandQueue, QStringList({"%2", "%5", "Repeat"}));
        QCOMPARE(link->QueueIndex, 0);
        QVERIFY(!link->TDog.isActive());
        QVERIFY(link->T02.isActive());
        // Manual work keeps the reply watchdog.
        link->TDog.start();
        link->QueueCollection({1}, true);
        QVERIFY(link->TDog.isActive());
        QCOMPARE(link->CommandQueue, QStringList({"%1", "Repeat"}));
    }

    void resetDropsQueuedSendsButFinishesTheFrameOnTheLine()
    {
        kv::ScopedRecordingUi rec;
        bool ran = false;
        link->SendFrame(PollRequest(1));
        link->SendPause(300);
        link->SendFrame(PollRequest(2));
        link->SendThen([&] { ran = true; });
        link->ResetQueue();
        QVERIFY(link->Transmitter.InFrame());
        QCOMPARE(link->Transmitter.PendingItems(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!link->Transmitter.Busy(), 2000);
        QVERIFY(!ran);
        // Nobody waits for that frame's answer: its end must not arm the
        // watchdog, or a silent stand would bring "Нет связи с установкой"
        // into the next point's parameter dialog.
        QVERIFY(!link->TDog.isActive());
        link->SendFrame(PollRequest(2));
        QTRY_VERIFY_WITH_TIMEOUT(!link->Transmitter.Busy(), 2000);
        QVERIFY(link->TDog.isActive());
    }
};

QTEST_GUILESS_MAIN(TestStandLink)
#include "test_stand_link.moc"
