#pragma once
// The stand link: the port, the frame receiver, the reply handler and the
// command sequencer with its five timers. The main window TKvintor owns one
// StandLink and shows its state through StandLinkView; the run receives the
// results frames and starts its points through StandReportSink.
//
// Only one request is outstanding at a time: requests go out through the
// sequencer (RunQueue) or as its one-shot PendingCommand, paced by the
// TransmitQueue so the window never freezes.

#include "link/frame_receiver.h"
#include "link/serial_port.h"
#include "link/transmit_queue.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <array>
#include <functional>

namespace kvintor {

// What the main window shows of the link.
class StandLinkView
{
public:
    virtual ~StandLinkView() = default;
    // The captions "Стенд №1" .. "Стенд №5", enabled once the stand answered.
    virtual void SetStandCaptionEnabled(int stand, bool enabled) = 0;
    virtual bool StandCaptionEnabled(int stand) const = 0;
    // The menu "Проверка".
    virtual void SetCheckMenuEnabled(bool enabled) = 0;
    // The notice "Подождите идет опрос стендов !".
    virtual void SetPollNoticeVisible(bool visible) = 0;
    // The actions "Опросить стенды" (AReply) and "База данных" (ABase), together.
    virtual void SetPollActionsEnabled(bool enabled) = 0;
};

// What the run supplies.
class StandReportSink
{
public:
    virtual ~StandReportSink() = default;
    // A results frame of stand 1..5, whole: from its "/" to its 0x03.
    virtual void HandleStandReport(int stand, const QByteArray &frame) = 0;
    // PendingCommand "Next": the sequencer has been reset; start the run's current point.
    virtual void StartCurrentPoint() = 0;
};

class StandLink : public QObject
{
    Q_OBJECT
public:
    // Texts shown by the sequencer.
    static const QString NoLinkText;        // "Нет связи с установкой"
    static QString StandSilentText(int stand);  // "Стенд №" n " не отвечает !"

    explicit StandLink(QObject *parent = nullptr);
    ~StandLink() override;

    // Neither is owned; both may be null (nothing is shown / results are dropped).
    void SetView(StandLinkView *view);
    void SetReportSink(StandReportSink *sink) { m_sink = sink; }

    // ---- state, named as the system names it ----
    // The port, configured as the main window's instance: 4800 bits/s, one
    // stop bit, no parity, 8 data bits, Com2.
    TMyCommRTS Comm1;
    // FrameText, WaitingForStart and the echo Edit1 live here.
    FrameReceiver Receiver;
    TransmitQueue Transmitter;

    QStringList CommandQueue;
    int QueueIndex = 0;
    // "Next", "Exit", "CST1".."CST5", or a whole request frame starting with "/".
    QString PendingCommand;
    int AwaitedStand = 0;
    bool AwaitAck = false;
    // 0 poll, 1 regulation, 2 verification, 3 manual; set by the main window.
    int RunMode = 0;
    // Index 1..5: the stand answered the last poll.
    std::array<bool, 6> StandPresent{};

    // The five timers, created stopped. Their expiries call the On...Timer
    // methods below, which tests call directly instead of waiting.
    QTimer TDog;       // 1000 ms reply watchdog
    QTimer T3;         // 3000 ms poll step
    QTimer T02;        // 200 ms pacing, 500 ms while a poll runs
    QTimer T03;        // 1000 ms reset acknowledgement window
    QTimer TDogStend;  // 3000 ms stand watchdog of a results request

    // ---- receiving ----
    // Consumes every waiting byte, one at a time, in order. Bytes that arrive
    // while a request is on the line wait until it is out and TDog restarted,
    // so a reply always counts after the request that provoked it.
    void PollReceiver();
    // One complete reply frame.
    void HandleFrame(const QByteArray &frame);

    // ---- sending ----
    // Queues a request frame; when it is out, TDog is restarted.
    void SendFrame(const QByteArray &frame);
    // A pause on the line between queued frames (the 300 ms between set-up frames).
    void SendPause(int ms);
    // A step to run once everything queued before it is out, e.g. starting
    // the collection queue after the set-up frames.
    void SendThen(std::function<void()> step);
    // Sends the Auto request and waits until it is out: for closing the main
    // window, when the event loop will not run again.
    void SendAutoAndWait();
    // The start of a results collection, once everything queued before it
    // (the set-up frames and their pauses) is out: the queue becomes "%s" for
    // each stand, in the order given, then "Repeat"; QueueIndex 0; T02
    // restarted; TDog stopped first unless keepReplyWatchdog (manual work
    // leaves it running). Building the queue only then keeps a stray reply
    // during the set-up from moving a half-built queue on.
    void QueueCollection(const QList<int> &stands, bool keepReplyWatchdog = false);

    // ---- sequencer ----
    void RunQueue();
    // Stops TDogStend, T3, T02 and TDog, empties the queue, waits for a new
    // frame start, clears PendingCommand, and drops queued sends that have not
    // started (a frame already on the line goes out whole, without restarting
    // TDog: nobody waits for its answer any more). From here on, results
    // frames count only for requests the new queue sends.
    void ResetQueue();
    // A results request of the current queue went out to this stand, so its
    // results frame belongs to the current point.
    bool ResultsAsked(int stand) const { return stand >= 1 && stand <= 5 && m_resultsAsked[stand]; }

    void OnTDogTimer();
    void OnT3Timer();
    void OnT02Timer();
    void OnT03Timer();
    void OnTDogStendTimer();

    // ---- the poll, for the main window ----
    // Clears StandPresent, disables the five captions and "Проверка".
    void ClearStands();
    // "Опросить стенды": fills the poll queue and runs it.
    void StartPoll();
    // The hidden "Включить": every stand present without a poll.
    void MarkAllStandsPresent();

Q_SIGNALS:
    // One line per completed frame ("/+47+49+4+3"), for the frame logs.
    void FrameLogged(const QString &line);
    // A request was queued for the line.
    void FrameQueued(const QByteArray &frame);
    // The open port failed (an adapter unplugged); it is closed now.
    void PortLost(const QString &reason);

private:
    void ShowMessage(const QString &text);
    void AdvanceAfterReply(bool restartPacing);
    // Sends a request and starts `watchdog` once the request is out: a
    // watchdog started while the request still waits for the line would give
    // the stand less than its time.
    void SendWatched(const QByteArray &frame, QTimer &watchdog);
    // The purge before a one-shot request, once no frame is on the line: a
    // purge drops what the port has not sent yet, which would cut a set-up
    // frame in half.
    void PurgeWhenIdle();
    StandLinkView &View();

    StandLinkView *m_view = nullptr;
    StandReportSink *m_sink = nullptr;
    bool m_receiving = false;
    int m_overrunsSeen = 0;
    // Index 1..5: a results request of the current queue was sent to the stand.
    std::array<bool, 6> m_resultsAsked{};
    // The frame on the line when the queue was reset: its end restarts no watchdog.
    bool m_staleFrameOnLine = false;
};

}  // namespace kvintor
