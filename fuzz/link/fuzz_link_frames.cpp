// Random bytes from the line, through the frame receiver and the reply
// handler in every mode, and through the stands' side of the codec.

#include "core/ui.h"
#include "link/stand_frames.h"
#include "link/stand_link.h"
#include "stand_model.h"

#include <QCoreApplication>

#include <cstdint>
#include <cstring>
#include <memory>

namespace {

struct View : kvintor::StandLinkView {
    std::array<bool, 6> captions{};
    void SetStandCaptionEnabled(int s, bool e) override { captions.at(size_t(s)) = e; }
    bool StandCaptionEnabled(int s) const override { return captions.at(size_t(s)); }
    void SetCheckMenuEnabled(bool) override {}
    void SetPollNoticeVisible(bool) override {}
    void SetPollActionsEnabled(bool) override {}
};

struct Sink : kvintor::StandReportSink {
    void HandleStandReport(int stand, const QByteArray &frame) override
    {
        // The frame handed on is whole and from a real stand.
        if (stand < 1 || stand > 5 || frame.size() < 3 || frame.at(2) != 0x02)
            __builtin_trap();
    }
    void StartCurrentPoint() override {}
};

QCoreApplication *app = nullptr;
kv::RecordingUi *boxes = nullptr;
View *view = nullptr;
Sink *sink = nullptr;
// Made once: a link holds a port, timers and a timerfd, too slow to make per input.
kvintor::StandLink *link = nullptr;
kvstands::StandModel *model = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    app = new QCoreApplication(*argc, *argv);
    auto recorder = std::make_unique<kv::RecordingUi>();
    boxes = recorder.get();
    kv::setUi(std::move(recorder));
    view = new View;
    sink = new Sink;
    link = new kvintor::StandLink;
    link->SetView(view);
    link->SetReportSink(sink);
    model = new kvstands::StandModel;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char *>(data) + 2, int(size - 2));

    boxes->clear();
    link->ResetQueue();
    link->Receiver.WaitingForStart = false;
    link->Receiver.FrameText.clear();
    link->StandPresent = {};
    link->RunMode = data[0] % 4;
    link->AwaitAck = data[0] & 0x10;
    static const QStringList queues[] = {
        {"Auto", "?1", "?2", "?3", "?4", "?5", "?End"},
        {"%1", "%3", "Repeat"},
        {},
        {"Repeat"},
    };
    link->CommandQueue = queues[data[1] % 4];
    link->QueueIndex = link->CommandQueue.isEmpty() ? 0 : (data[1] >> 2) % link->CommandQueue.size();
    for (char b : bytes) {
        link->Receiver.Feed(b);
        if (link->QueueIndex < 0 || (link->QueueIndex > 0 && link->QueueIndex >= link->CommandQueue.size()))
            __builtin_trap();
    }
    link->HandleFrame(bytes);
    if (data[1] & 0x80) {
        link->OnT3Timer();
        link->OnTDogStendTimer();
        link->RunQueue();
    }
    link->ResetQueue();

    kvintor::DecodeRequest(bytes);
    static qint64 t = 0;
    for (char b : bytes)
        model->Receive(b, t += 7000000);
    if (size >= 10) {
        double k;
        std::memcpy(&k, data + 2, sizeof k);
        if (const auto s = kvintor::ScaleConstant(k))
            if (s->Mantissa < 10000 || s->Mantissa > 99999 || s->Exponent < 0)
                __builtin_trap();
    }
    return 0;
}
