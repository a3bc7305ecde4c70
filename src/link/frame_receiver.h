#pragma once
// Cuts the bytes received from the stands into reply frames, "/" to 0x03, and
// keeps the diagnostic echo of the frame being received ("/+47+49+4+3").
//
// No reply of the stands holds a "/" inside it, so a "/" always starts a new
// frame: after noise, a half frame or a reply cut short, the receiver is in
// step again at the next frame start, and the reply that follows is read.
// The work per byte is constant: the echo is made once per completed frame,
// and a frame that grows past any reply's length is dropped.

#include <QByteArray>
#include <QString>

#include <functional>

namespace kvintor {

class FrameReceiver
{
public:
    // The longest reply, six value groups and six pulse groups, is under 80
    // bytes; past this many the frame is dropped and the receiver waits for
    // the next "/".
    static constexpr int MaxFrameLength = 256;

    // Takes one received byte. Returns true when it completed a frame, which
    // has then been handed to OnFrame (after OnLogLine got its echo line).
    bool Feed(char byte);

    // Drop any partial frame and wait for a "/" (the sequencer's reset, or
    // bytes lost on the way).
    void WaitForStart() { WaitingForStart = true; }

    // The echo of FrameText: "/" when the frame began at a start, then "+"
    // and the decimal value of each byte.
    QString Edit1() const;

    // The frame being assembled, from its "/" (the first frame after start
    // may hold whatever came before the first 0x03); after a frame is
    // complete, that frame until the next one begins.
    QByteArray FrameText;
    // true: bytes are discarded until a "/" arrives. Starts false, so that
    // everything before the first 0x03 (or the first "/") forms the first frame.
    bool WaitingForStart = false;

    std::function<void(const QByteArray &frame)> OnFrame;
    // One line per completed frame, for the frame logs.
    std::function<void(const QString &line)> OnLogLine;

private:
    bool m_startedAtSlash = false;
};

}  // namespace kvintor
