#include "link/frame_receiver.h"

#include "link/stand_frames.h"

namespace kvintor {

bool FrameReceiver::Feed(char byte)
{
    if (byte == frame::Start) {
        WaitingForStart = false;
        m_startedAtSlash = true;
        FrameText.clear();
    }
    if (WaitingForStart)
        return false;

    FrameText.append(byte);
    if (byte != frame::ETX) {
        if (FrameText.size() > MaxFrameLength) {
            FrameText.clear();
            WaitingForStart = true;
        }
        return false;
    }

    WaitingForStart = true;
    if (OnLogLine)
        OnLogLine(Edit1());
    // The handler may reset the receiver or feed it again; hand it a copy.
    const QByteArray frame = FrameText;
    if (OnFrame)
        OnFrame(frame);
    return true;
}

QString FrameReceiver::Edit1() const
{
    QString echo;
    echo.reserve(1 + 4 * FrameText.size());
    if (m_startedAtSlash && !FrameText.isEmpty())
        echo += QLatin1Char('/');
    for (char b : FrameText)
        echo += QLatin1Char('+') + QString::number(uchar(b));
    return echo;
}

}  // namespace kvintor
