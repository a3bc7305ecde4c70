#pragma once
// Paces request frames onto the line without blocking the event loop: RTS
// dropped, each byte then 7 ms, 14 ms more, RTS raised. Frames, pauses and
// follow-up steps go out strictly in the order they were queued, so a caller
// can express "frame, 300 ms, frame, 300 ms, then start the collection".
//
// Each wait is a single-shot timer started right after the write it follows.
// A periodic timer would catch up after a late tick and put two bytes closer
// than 7 ms on the line. On Linux the wait is a timerfd watched by the event
// loop: it expires at the exact nanosecond, where a QTimer rounds every wait up
// to the next whole millisecond and so would stretch a 7 ms gap towards 8.

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class QSocketNotifier;

#include <deque>
#include <functional>

namespace kvintor {

class TransmitQueue : public QObject
{
    Q_OBJECT
public:
    static constexpr int ByteGapMs = 7;
    static constexpr int TailMs = 14;

    // How the queue reaches the line.
    struct Line {
        std::function<void(char)> writeByte;
        std::function<void()> dropRts;
        std::function<void()> raiseRts;
        // After RTS is raised at the end of a frame.
        std::function<void()> frameSent;
    };

    explicit TransmitQueue(QObject *parent = nullptr);
    ~TransmitQueue() override;

    // Diagnostics: told of every byte just before it is written, with the
    // time of a steady clock in ns (the clock QElapsedTimer reads).
    std::function<void(char byte, qint64 ns)> ByteWritten;

    void SetLine(Line line) { m_line = std::move(line); }

    void SendFrame(const QByteArray &frame);
    void Pause(int ms);
    // Runs f once everything queued before it has gone out.
    void Then(std::function<void()> f);
    // Drops what has not started; a frame already on the line goes out whole,
    // so no stand is left with half a request.
    void ClearPending();

    // Something is queued or on the line.
    bool Busy() const { return m_phase != Phase::Idle || !m_items.empty(); }
    // A frame is being sent: from its first byte until RTS is raised again.
    bool InFrame() const { return m_phase == Phase::Bytes || m_phase == Phase::Tail; }
    int PendingItems() const { return int(m_items.size()); }

    // Expiry of the pacing timer: the next byte, the tail, or the end of a pause.
    void OnStepTimer();
    // Whether a wait runs, and how long it was set for.
    bool StepPending() const { return Waiting(); }
    int StepInterval() const { return m_armedMs; }

    // Sends what is left by sleeping between bytes; only for shutdown, when
    // the event loop will not run again (the Auto request on closing).
    void FinishBlocking();

private:
    enum class Phase { Idle, Bytes, Tail, Pause };
    struct Item {
        enum Kind { Frame, Wait, Call } kind;
        QByteArray bytes;
        int ms = 0;
        std::function<void()> call;
    };

    void StartNext();
    void WriteNext();
    void Arm(int ms);
    void OnTimerFired();
    bool Waiting() const;
    void StopWaiting();

    Line m_line;
    std::deque<Item> m_items;
    Phase m_phase = Phase::Idle;
    QByteArray m_frame;
    int m_next = 0;
    bool m_starting = false;
    QTimer m_timer;
    int m_timerFd = -1;
    QSocketNotifier *m_timerNotifier = nullptr;
    bool m_fdArmed = false;
    QElapsedTimer m_clock;
    qint64 m_armedAtNs = 0;
    int m_armedMs = 0;
};

}  // namespace kvintor
