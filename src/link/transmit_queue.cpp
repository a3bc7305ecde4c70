#include "link/transmit_queue.h"

#include <QSocketNotifier>

#include <chrono>
#include <thread>

#ifdef Q_OS_LINUX
#include <sys/timerfd.h>
#include <unistd.h>
#endif

namespace kvintor {

namespace {
qint64 steadyNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
}  // namespace

TransmitQueue::TransmitQueue(QObject *parent) : QObject(parent)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &TransmitQueue::OnTimerFired);
    m_clock.start();
#ifdef Q_OS_LINUX
    m_timerFd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (m_timerFd >= 0) {
        m_timerNotifier = new QSocketNotifier(m_timerFd, QSocketNotifier::Read, this);
        connect(m_timerNotifier, &QSocketNotifier::activated, this, [this] {
            quint64 expirations = 0;
            // Nothing to read: the wait was stopped or re-armed meanwhile.
            if (::read(m_timerFd, &expirations, sizeof expirations) != sizeof expirations || expirations == 0)
                return;
            if (m_fdArmed) {
                m_fdArmed = false;
                OnTimerFired();
            }
        });
    }
#endif
}

TransmitQueue::~TransmitQueue()
{
#ifdef Q_OS_LINUX
    delete m_timerNotifier;
    if (m_timerFd >= 0)
        ::close(m_timerFd);
#endif
}

bool TransmitQueue::Waiting() const { return m_fdArmed || m_timer.isActive(); }

void TransmitQueue::StopWaiting()
{
    m_timer.stop();
#ifdef Q_OS_LINUX
    if (m_fdArmed) {
        itimerspec off{};
        timerfd_settime(m_timerFd, 0, &off, nullptr);
        m_fdArmed = false;
    }
#endif
}

void TransmitQueue::SendFrame(const QByteArray &frame)
{
    m_items.push_back({Item::Frame, frame, 0, {}});
    StartNext();
}

void TransmitQueue::Pause(int ms)
{
    m_items.push_back({Item::Wait, {}, ms < 0 ? 0 : ms, {}});
    StartNext();
}

void TransmitQueue::Then(std::function<void()> f)
{
    m_items.push_back({Item::Call, {}, 0, std::move(f)});
    StartNext();
}

void TransmitQueue::ClearPending()
{
    m_items.clear();
    if (m_phase == Phase::Pause) {
        StopWaiting();
        m_phase = Phase::Idle;
    }
}

void TransmitQueue::Arm(int ms)
{
    m_armedAtNs = m_clock.nsecsElapsed();
    m_armedMs = ms;
#ifdef Q_OS_LINUX
    if (m_timerFd >= 0) {
        itimerspec when{};
        // Zero would disarm the timerfd; a pause of 0 ms waits one nanosecond.
        const qint64 ns = ms > 0 ? qint64(ms) * 1000000 : 1;
        when.it_value.tv_sec = time_t(ns / 1000000000);
        when.it_value.tv_nsec = long(ns % 1000000000);
        if (timerfd_settime(m_timerFd, 0, &when, nullptr) == 0) {
            m_fdArmed = true;
            return;
        }
    }
#endif
    m_timer.start(ms);
}

void TransmitQueue::StartNext()
{
    // A follow-up step may queue more; the loop below picks it up.
    if (m_starting)
        return;
    m_starting = true;
    while (m_phase == Phase::Idle && !m_items.empty()) {
        Item item = std::move(m_items.front());
        m_items.pop_front();
        switch (item.kind) {
        case Item::Frame:
            m_frame = item.bytes;
            m_next = 0;
            if (m_line.dropRts)
                m_line.dropRts();
            if (m_frame.isEmpty()) {
                m_phase = Phase::Tail;
                Arm(TailMs);
            } else {
                m_phase = Phase::Bytes;
                WriteNext();
            }
            break;
        case Item::Wait:
            m_phase = Phase::Pause;
            Arm(item.ms);
            break;
        case Item::Call:
            if (item.call)
                item.call();
            break;
        }
    }
    m_starting = false;
}

void TransmitQueue::WriteNext()
{
    const char b = m_frame.at(m_next++);
    if (ByteWritten)
        ByteWritten(b, steadyNs());
    if (m_line.writeByte)
        m_line.writeByte(b);
    // The next gap counts from this write.
    Arm(ByteGapMs);
}

void TransmitQueue::OnTimerFired()
{
    // Never shorten a gap: should a timer ever fire early, wait out the rest.
    const qint64 elapsedNs = m_clock.nsecsElapsed() - m_armedAtNs;
    const qint64 wantedNs = qint64(m_armedMs) * 1000000;
    if (elapsedNs < wantedNs) {
        m_timer.start(int((wantedNs - elapsedNs + 999999) / 1000000));
        return;
    }
    m_timer.stop();
    OnStepTimer();
}

void TransmitQueue::OnStepTimer()
{
    StopWaiting();
    switch (m_phase) {
    case Phase::Idle:
        return;
    case Phase::Bytes:
        if (m_next < m_frame.size()) {
            WriteNext();
        } else {
            m_phase = Phase::Tail;
            Arm(TailMs);
        }
        return;
    case Phase::Tail:
        m_phase = Phase::Idle;
        m_frame.clear();
        if (m_line.raiseRts)
            m_line.raiseRts();
        if (m_line.frameSent)
            m_line.frameSent();
        StartNext();
        return;
    case Phase::Pause:
        m_phase = Phase::Idle;
        StartNext();
        return;
    }
}

void TransmitQueue::FinishBlocking()
{
    while (Busy()) {
        if (!Waiting()) {
            StartNext();
            if (!Waiting())
                break;
            continue;
        }
        const qint64 leftNs = qint64(m_armedMs) * 1000000 - (m_clock.nsecsElapsed() - m_armedAtNs);
        if (leftNs > 0)
            std::this_thread::sleep_for(std::chrono::nanoseconds(leftNs));
        OnStepTimer();
    }
}

}  // namespace kvintor
