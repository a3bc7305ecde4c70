#pragma once
// Stand-ins for the main window and the run, recording what the link does to them.

#include "link/stand_link.h"

#include <QByteArray>
#include <QList>
#include <QPair>

#include <array>
#include <functional>

struct FakeView : kvintor::StandLinkView {
    std::array<bool, 6> captions{};
    bool checkMenu = false;
    bool notice = false;
    bool actions = true;

    void SetStandCaptionEnabled(int stand, bool enabled) override { captions.at(stand) = enabled; }
    bool StandCaptionEnabled(int stand) const override { return captions.at(stand); }
    void SetCheckMenuEnabled(bool enabled) override { checkMenu = enabled; }
    void SetPollNoticeVisible(bool visible) override { notice = visible; }
    void SetPollActionsEnabled(bool enabled) override { actions = enabled; }

    QList<int> enabledStands() const
    {
        QList<int> list;
        for (int s = 1; s <= 5; ++s)
            if (captions[s])
                list << s;
        return list;
    }
};

struct FakeSink : kvintor::StandReportSink {
    QList<QPair<int, QByteArray>> reports;
    int pointStarts = 0;
    std::function<void(int, const QByteArray &)> onReport;

    void HandleStandReport(int stand, const QByteArray &frame) override
    {
        reports.append({stand, frame});
        if (onReport)
            onReport(stand, frame);
    }
    void StartCurrentPoint() override { ++pointStarts; }
};
