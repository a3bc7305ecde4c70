#pragma once
// Puts a StandModel on a line: the master side of a new pseudo-terminal (the
// control program opens the other side, as it would a serial adapter), or a
// real serial device. A reader thread blocks on the line and stamps every byte
// as it arrives; the model itself runs on the thread that owns the server.

#include "noise_source.h"
#include "stand_model.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace kvstands {

class StandServer : public QObject
{
    Q_OBJECT
public:
    explicit StandServer(ModelConfig config = DefaultConfig(), QObject *parent = nullptr);
    ~StandServer() override;

    // A new pseudo-terminal; SlavePath() names the side to open. Returns "" or the reason.
    QString OpenPty();
    // A serial device, set to 4800 bits/s, 8 data bits, no parity, one stop bit, raw.
    QString OpenDevice(const QString &path);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }
    // The device the control program should open.
    QString SlavePath() const { return m_slavePath; }

    StandModel &Model() { return m_model; }

    // Puts bytes on the line as they are, as a stand with a fault would (noise, half frames).
    void WriteRaw(const QByteArray &bytes) { WriteReply(bytes); }
    // Noise from a writer of its own, independent of the stands' replies
    // (stopped by Close).
    void StartNoise(const NoiseConfig &config);
    void StopNoise() { m_noise.Stop(); }
    const NoiseSource &Noise() const { return m_noise; }

    // Handles what the reader thread has received so far (it is also posted
    // to the owner's event loop as bytes arrive).
    void ProcessReceived();

Q_SIGNALS:
    void FrameReceived(const QByteArray &frame);
    void FrameSent(const QByteArray &frame);

private:
    void StartReader();
    void ReaderLoop();
    void WriteReply(const QByteArray &reply);

    StandModel m_model;
    int m_fd = -1;       // master side, or the device
    int m_slaveFd = -1;  // kept open so the pseudo-terminal outlives the control program's closes
    int m_wake[2] = {-1, -1};
    QString m_slavePath;
    std::thread m_reader;
    std::mutex m_mutex;
    std::vector<StandModel::ReceivedByte> m_pending;
    std::atomic<bool> m_posted{false};
    NoiseSource m_noise;
};

}  // namespace kvstands
