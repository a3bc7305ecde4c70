#include "link/stand_link.h"

#include "core/error_report.h"
#include "core/ui.h"
#include "link/stand_frames.h"

#include <QCoreApplication>

namespace kvintor {

namespace {

class NullView : public StandLinkView
{
public:
    void SetStandCaptionEnabled(int, bool) override {}
    bool StandCaptionEnabled(int) const override { return false; }
    void SetCheckMenuEnabled(bool) override {}
    void SetPollNoticeVisible(bool) override {}
    void SetPollActionsEnabled(bool) override {}
};

// "?1".."?5", "%1".."%5", "CST1".."CST5": the stand number, else 0.
int standOf(const QString &text, const QString &prefix)
{
    if (text.size() != prefix.size() + 1 || !text.startsWith(prefix))
        return 0;
    const QChar c = text.back();
    return c >= QLatin1Char('1') && c <= QLatin1Char('5') ? c.unicode() - '0' : 0;
}

}  // namespace

const QString StandLink::NoLinkText = QStringLiteral("Нет связи с установкой");

QString StandLink::StandSilentText(int stand)
{
    return QStringLiteral("Стенд №") + QString::number(stand) + QStringLiteral(" не отвечает !");
}

StandLink::StandLink(QObject *parent) : QObject(parent)
{
    Comm1.SetBaudRate(BR___4800);
    Comm1.SetStopBits(SB_ONESTOPBIT);
    Comm1.SetComNo(Com2);
    Comm1.SetParity(paNone);
    Comm1.SetByteSize(8);
    Comm1.SetBufferLen(300);
    Comm1.SetReadTimeout(1000);
    Comm1.SetWriteTimeout(1000);
    connect(&Comm1, &TMyCommRTS::DataArrived, this, &StandLink::PollReceiver);
    connect(&Comm1, &TMyCommRTS::DeviceLost, this, &StandLink::PortLost);

    Receiver.OnLogLine = [this](const QString &line) { Q_EMIT FrameLogged(line); };
    Receiver.OnFrame = [this](const QByteArray &frame) {
        // A fault in the run's report handler is shown and the link goes on.
        kv::guarded([&] { HandleFrame(frame); });
        TDog.stop();
    };

    TransmitQueue::Line line;
    line.writeByte = [this](char b) { Comm1.WriteByte(b); };
    line.dropRts = [this] { Comm1.ClearRTS(); };
    line.raiseRts = [this] { Comm1.SetRTS(); };
    line.frameSent = [this] {
        if (m_staleFrameOnLine)
            m_staleFrameOnLine = false;
        else
            TDog.start();
        // The bytes held back while the frame went out are read once the steps
        // queued after it (the request's own watchdog) have run: a reply read
        // first would stop a watchdog that only starts afterwards.
        QTimer::singleShot(0, this, [this] { PollReceiver(); });
    };
    Transmitter.SetLine(std::move(line));

    const struct {
        QTimer *timer;
        int interval;
        void (StandLink::*expiry)();
    } timers[] = {
        {&TDog, 1000, &StandLink::OnTDogTimer},   {&T3, 3000, &StandLink::OnT3Timer},
        {&T02, 200, &StandLink::OnT02Timer},      {&T03, 1000, &StandLink::OnT03Timer},
        {&TDogStend, 3000, &StandLink::OnTDogStendTimer},
    };
    for (const auto &t : timers) {
        t.timer->setInterval(t.interval);
        connect(t.timer, &QTimer::timeout, this, t.expiry);
    }
}

StandLink::~StandLink()
{
    for (QTimer *t : {&TDog, &T3, &T02, &T03, &TDogStend})
        t->stop();
    Transmitter.ClearPending();
    Transmitter.SetLine({});
    disconnect(&Comm1, nullptr, this, nullptr);
}

void StandLink::SetView(StandLinkView *view) { m_view = view; }

StandLinkView &StandLink::View()
{
    static NullView none;
    return m_view ? *m_view : none;
}

void StandLink::ShowMessage(const QString &text)
{
    kv::ui().message(nullptr, QCoreApplication::applicationName(), text, kv::Icon::Warning, QMessageBox::Ok,
                     QMessageBox::Ok);
}

// ---------------------------------------------------------------- receiving

void StandLink::PollReceiver()
{
    // Entered again from a message box's event loop inside a frame's handling:
    // the outer call goes on with the bytes once the box is closed, in order.
    if (m_receiving)
        return;
    m_receiving = true;
    struct Done {
        bool &flag;
        ~Done() { flag = false; }
    } done{m_receiving};
    while (!Transmitter.InFrame() && Comm1.BytesQueued() > 0) {
        // Bytes dropped from a full input queue may have cut the frame in progress.
        if (Comm1.Overruns() != m_overrunsSeen) {
            m_overrunsSeen = Comm1.Overruns();
            Receiver.WaitForStart();
        }
        Receiver.Feed(Comm1.ReadByte());
    }
}

void StandLink::AdvanceAfterReply(bool restartPacing)
{
    if (QueueIndex < CommandQueue.size() - 1) {
        ++QueueIndex;
        if (restartPacing)
            T02.start();
    }
}

void StandLink::HandleFrame(const QByteArray &f)
{
    // Too short for the bytes read below: dropped.
    if (f.size() < 3)
        return;

    if (FrameByte(f, 3) == frame::Answer) {
        if (RunMode == 0) {
            const int n = FrameStand(f);
            if (n == 0)
                return;
            StandPresent[n] = true;
            View().SetStandCaptionEnabled(n, true);
            T3.stop();
        }
        TDogStend.stop();
        AdvanceAfterReply(true);
    }

    if (AwaitAck) {
        const char b4 = FrameByte(f, 4);
        if (b4 == 'V' || b4 == 'W')
            AwaitAck = false;
        return;
    }

    if (FrameByte(f, 3) == frame::Results) {
        const int s = FrameStand(f);
        if (s == 0)
            return;
        // An answer to a request of an earlier point (or of none) would be
        // read as this point's: a late error report during a creep test
        // would fail a meter that never crept.
        if (!m_resultsAsked[s]) {
            Q_EMIT FrameLogged(QStringLiteral("пропущен: ответ стенда №") + QString::number(s) +
                               QStringLiteral(" не на запрос этой точки"));
            return;
        }
        if (m_sink)
            m_sink->HandleStandReport(s, f);
        T3.stop();
        TDogStend.stop();
        AdvanceAfterReply(true);
    }
}

// ---------------------------------------------------------------- sending

void StandLink::SendFrame(const QByteArray &frame)
{
    Q_EMIT FrameQueued(frame);
    Transmitter.SendFrame(frame);
}

void StandLink::SendWatched(const QByteArray &frame, QTimer &watchdog)
{
    SendFrame(frame);
    SendThen([&watchdog] { watchdog.start(); });
}

void StandLink::PurgeWhenIdle()
{
    if (Transmitter.Busy())
        SendThen([this] { Comm1.Purge(); });
    else
        Comm1.Purge();
}

void StandLink::SendPause(int ms) { Transmitter.Pause(ms); }

void StandLink::SendThen(std::function<void()> step) { Transmitter.Then(std::move(step)); }

void StandLink::SendAutoAndWait()
{
    SendFrame(AutoRequest());
    Transmitter.FinishBlocking();
}

void StandLink::QueueCollection(const QList<int> &stands, bool keepReplyWatchdog)
{
    SendThen([this, stands, keepReplyWatchdog] {
        if (!keepReplyWatchdog)
            TDog.stop();
        CommandQueue.clear();
        for (int s : stands)
            CommandQueue << QStringLiteral("%") + QString::number(s);
        CommandQueue << QStringLiteral("Repeat");
        QueueIndex = 0;
        T02.stop();
        T02.start();
    });
}

// ---------------------------------------------------------------- sequencer

void StandLink::ResetQueue()
{
    TDogStend.stop();
    T3.stop();
    T02.stop();
    TDog.stop();
    CommandQueue.clear();
    QueueIndex = 0;
    Receiver.WaitForStart();
    PendingCommand.clear();
    m_resultsAsked.fill(false);
    m_staleFrameOnLine = Transmitter.InFrame();
    Transmitter.ClearPending();
}

void StandLink::RunQueue()
{
    if (PendingCommand == QLatin1String("Next")) {
        ResetQueue();
        if (m_sink)
            m_sink->StartCurrentPoint();
        return;
    }
    if (PendingCommand == QLatin1String("Exit")) {
        ResetQueue();
        return;
    }
    if (PendingCommand.startsWith(QLatin1Char('/'))) {
        PurgeWhenIdle();
        // Requests are bytes; the one-shot text carries them one per character.
        SendFrame(PendingCommand.toLatin1());
        PendingCommand.clear();
        T02.start();
        return;
    }
    if (const int s = standOf(PendingCommand, QStringLiteral("CST"))) {
        if (s == 1)
            PurgeWhenIdle();
        SendFrame(StandResetRequest(s));
        PendingCommand.clear();
        T02.start();
        return;
    }

    if (CommandQueue.isEmpty() || QueueIndex < 0 || QueueIndex >= CommandQueue.size())
        return;
    const QString item = CommandQueue.at(QueueIndex);
    if (item == QLatin1String("Auto")) {
        SendWatched(AutoRequest(), T3);
    } else if (const int n = standOf(item, QStringLiteral("?"))) {
        if (n == 1)
            View().SetPollNoticeVisible(true);
        SendWatched(PollRequest(n), T3);
    } else if (item == QLatin1String("?End")) {
        View().SetPollNoticeVisible(false);
        View().SetPollActionsEnabled(true);
        T02.setInterval(200);
        bool anyAnswered = false;
        for (int s = 1; s <= 5; ++s)
            anyAnswered = anyAnswered || View().StandCaptionEnabled(s);
        if (anyAnswered)
            View().SetCheckMenuEnabled(true);
    } else if (const int r = standOf(item, QStringLiteral("%"))) {
        m_resultsAsked[r] = true;
        AwaitedStand = r;
        SendWatched(ResultsRequest(r), TDogStend);
    } else if (item == QLatin1String("Repeat")) {
        // A queue that is nothing but "Repeat" would call itself for ever.
        if (QueueIndex == 0)
            return;
        QueueIndex = 0;
        RunQueue();
    }
}

void StandLink::OnTDogTimer()
{
    TDog.stop();
    T3.stop();
    T02.stop();
    ShowMessage(NoLinkText);
    View().SetPollActionsEnabled(true);
}

void StandLink::OnT3Timer()
{
    T3.stop();
    if (QueueIndex < CommandQueue.size() - 1) {
        ++QueueIndex;
        RunQueue();
    }
}

void StandLink::OnT02Timer()
{
    T02.stop();
    RunQueue();
}

void StandLink::OnT03Timer()
{
    AwaitAck = false;
    T03.stop();
}

void StandLink::OnTDogStendTimer()
{
    TDogStend.stop();
    TDog.stop();
    T3.stop();
    T02.stop();
    ShowMessage(StandSilentText(AwaitedStand));
    if (QueueIndex < CommandQueue.size() - 1) {
        ++QueueIndex;
        RunQueue();
    }
}

// ---------------------------------------------------------------- poll

void StandLink::ClearStands()
{
    for (int s = 1; s <= 5; ++s) {
        StandPresent[s] = false;
        View().SetStandCaptionEnabled(s, false);
    }
    View().SetCheckMenuEnabled(false);
}

void StandLink::StartPoll()
{
    T03.stop();
    T3.stop();
    AwaitAck = false;
    RunMode = 0;
    CommandQueue = {QStringLiteral("Auto"), QStringLiteral("?1"), QStringLiteral("?2"), QStringLiteral("?3"),
                    QStringLiteral("?4"), QStringLiteral("?5"), QStringLiteral("?End")};
    QueueIndex = 0;
    PendingCommand.clear();
    ClearStands();
    T02.stop();
    T02.setInterval(500);
    RunQueue();
    View().SetPollActionsEnabled(false);
}

void StandLink::MarkAllStandsPresent()
{
    for (int s = 1; s <= 5; ++s) {
        StandPresent[s] = true;
        View().SetStandCaptionEnabled(s, true);
    }
    View().SetCheckMenuEnabled(true);
}

}  // namespace kvintor
