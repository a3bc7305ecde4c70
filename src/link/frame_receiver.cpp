#include "link/frame_receiver.h"

#include "link/stand_frames.h"

namespace kvintor {

bool FrameReceiver::Feed(char byte)
{
    if (WaitingForStart && byte == frame::Start) {
        WaitingForStart = false;
        FrameText.clear();
        Edit1 = QStringLiteral("/");
    }
    if (WaitingForStart)
        return false;

    FrameText.append(byte);
    Edit1 += QLatin1Char('+') + QString::number(uchar(byte));
    if (byte != frame::ETX) {
        if (FrameText.size() > MaxFrameLength) {
            FrameText.clear();
            Edit1.clear();
            WaitingForStart = true;
        }
        return false;
    }

    WaitingForStart = true;
    if (OnLogLine)
        OnLogLine(Edit1);
    // The handler may reset the receiver or feed it again; hand it a copy.
    const QByteArray frame = FrameText;
    if (OnFrame)
        OnFrame(frame);
    return true;
}

}  // namespace kvintor
