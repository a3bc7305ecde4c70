#pragma once
// Cuts the bytes received from the stands into reply frames, "/" to 0x03, and
// keeps the diagnostic echo of the frame being received ("/+47+49+4+3").

#include <QByteArray>
#include <QString>

#include <functional>

namespace kvintor {

class FrameReceiver
{
public:
    // A line that never sends 0x03 would grow a frame without end; past this
    // many bytes the frame is dropped and the receiver waits for the next "/".
    static constexpr int MaxFrameLength = 4096;

    // Takes one received byte. Returns true when it completed a frame, which
    // has then been handed to OnFrame (after OnLogLine got its echo line).
    bool Feed(char byte);

    // Drop any partial frame and wait for a "/" (the sequencer's reset).
    void WaitForStart() { WaitingForStart = true; }

    // The frame being assembled, from its "/" (the first frame after start
    // may hold whatever came before the first 0x03).
    QByteArray FrameText;
    // true: bytes are discarded until a "/" arrives. Starts false, so that
    // everything before the first 0x03 forms the first frame.
    bool WaitingForStart = false;
    // The hidden echo field: "/", then "+" and the decimal value of each byte.
    QString Edit1;

    std::function<void(const QByteArray &frame)> OnFrame;
    // One line per completed frame, for the frame logs.
    std::function<void(const QString &line)> OnLogLine;
};

}  // namespace kvintor
