#pragma once
// A second writer on the stands' side of the line, on a thread of its own:
// noise that arrives whenever it will, between and inside the stands'
// replies, as a faulty stand or a damaged cable gives. It writes at a given
// rate, or as fast as the line takes bytes.

#include <QByteArray>

#include <atomic>
#include <thread>

namespace kvstands {

struct NoiseConfig {
    enum Kind {
        RandomBytes,      // every byte value, "/" and 0x03 among them
        MalformedFrames,  // replies cut short, with wrong types, overlong, without an end
    };
    Kind kind = RandomBytes;
    // Bytes per second; 0: as fast as the line takes them.
    int bytesPerSecond = 480;
    // Stop after this many bytes; 0: until stopped.
    qint64 totalBytes = 0;
    quint32 seed = 1;
};

class NoiseSource
{
public:
    NoiseSource() = default;
    ~NoiseSource() { Stop(); }
    NoiseSource(const NoiseSource &) = delete;
    NoiseSource &operator=(const NoiseSource &) = delete;

    // Writes to fd (not owned; it must stay open until Stop) until stopped or done.
    void Start(int fd, const NoiseConfig &config);
    // Asks the writer to stop; it stops once a write in progress is taken.
    void RequestStop() { m_stop = true; }
    void Stop();
    bool Running() const { return m_running; }
    qint64 BytesWritten() const { return m_written; }

    // The next piece of noise of a kind, from a generator state.
    static QByteArray Piece(NoiseConfig::Kind kind, quint32 &state);

private:
    void Loop(int fd, NoiseConfig config);

    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_running{false};
    std::atomic<qint64> m_written{0};
};

}  // namespace kvstands
