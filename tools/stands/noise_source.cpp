#include "noise_source.h"

#include <algorithm>
#include <chrono>
#include <cerrno>

#include <poll.h>
#include <unistd.h>

namespace kvstands {

namespace {

quint32 next(quint32 &state)
{
    // xorshift32: fast, and the same noise for the same seed.
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

}  // namespace

QByteArray NoiseSource::Piece(NoiseConfig::Kind kind, quint32 &state)
{
    if (state == 0)
        state = 1;
    QByteArray piece;
    if (kind == NoiseConfig::RandomBytes) {
        piece.resize(64);
        for (char &c : piece)
            c = char(next(state) & 0xff);
        return piece;
    }
    const char stand = char('0' + next(state) % 7);
    switch (next(state) % 6) {
    case 0:  // a results reply cut short
        return QByteArray("/") + stand + "\x02 1 +0." ;
    case 1:  // a results reply with a group cut short, ended
        return QByteArray("/") + stand + "\x02 3 -1\x03";
    case 2:  // an unknown reply type
        return QByteArray("/") + stand + char(next(state) & 0x7f) + "\x03";
    case 3:  // starts without anything else
        return QByteArray("///");
    case 4:  // overlong, no end
        return QByteArray("/") + stand + "\x02" + QByteArray(300, char('0' + next(state) % 10));
    default:  // an end without a start, and stray control bytes
        return QByteArray("\x03\x01\x02\x04\x03", 5);
    }
}

void NoiseSource::Start(int fd, const NoiseConfig &config)
{
    Stop();
    m_stop = false;
    m_written = 0;
    m_running = true;
    m_thread = std::thread([this, fd, config] { Loop(fd, config); });
}

void NoiseSource::Stop()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    m_running = false;
}

void NoiseSource::Loop(int fd, NoiseConfig config)
{
    using Clock = std::chrono::steady_clock;
    quint32 state = config.seed;
    const auto start = Clock::now();
    QByteArray pending;
    while (!m_stop && (config.totalBytes == 0 || m_written < config.totalBytes)) {
        if (pending.isEmpty())
            pending = Piece(config.kind, state);
        qsizetype chunk = pending.size();
        if (config.totalBytes > 0)
            chunk = std::min<qsizetype>(chunk, config.totalBytes - m_written);
        if (config.bytesPerSecond > 0) {
            // Byte by byte at the rate, measured from the start so that late
            // wake-ups are made up.
            const auto due = start + std::chrono::microseconds(m_written * 1000000 / config.bytesPerSecond);
            const auto now = Clock::now();
            if (due > now) {
                const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(due - now).count();
                ::poll(nullptr, 0, int(std::max<qint64>(1, wait)));
                continue;
            }
            chunk = 1;
        }
        // Wait until the line takes bytes, a tenth of a second at most, so a stop is noticed.
        pollfd out{fd, POLLOUT, 0};
        if (::poll(&out, 1, 100) <= 0)
            continue;
        if (out.revents & (POLLERR | POLLNVAL | POLLHUP))
            break;
        const ssize_t n = ::write(fd, pending.constData(), size_t(chunk));
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            break;
        }
        pending.remove(0, n);
        m_written += n;
    }
    m_running = false;
}

}  // namespace kvstands
