// Figures of the stand link on a pseudo-terminal with the simulated stands:
//  - how late the event loop wakes for a 7 ms single-shot timer (the noise floor),
//  - byte gaps of requests, as written and as the stands receive them,
//  - a poll of five present stands, end to end,
//  - CPU time of the open, idle link (from /proc) over a while.
// Usage: bench_link_timing [--frames N] [--idle-seconds S]

#include "core/ui.h"
#include "link/stand_frames.h"
#include "link/stand_link.h"
#include "stand_server.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <unistd.h>

using namespace kvintor;

namespace {

struct Stats {
    double min = 0, median = 0, p90 = 0, max = 0;
    int n = 0;
};

Stats stats(std::vector<double> v)
{
    Stats s;
    if (v.empty())
        return s;
    std::sort(v.begin(), v.end());
    s.n = int(v.size());
    s.min = v.front();
    s.median = v[v.size() / 2];
    s.p90 = v[v.size() * 9 / 10];
    s.max = v.back();
    return s;
}

void print(const char *what, const Stats &s)
{
    std::printf("%-44s n=%-4d min %7.3f  median %7.3f  p90 %7.3f  max %7.3f ms\n", what, s.n, s.min, s.median, s.p90,
                s.max);
}

// Runs the event loop until done() holds, checking whenever an event came in.
void waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    QTimer heartbeat;
    heartbeat.start(20);
    while (!done() && t.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

// utime + stime of this process, in seconds.
double cpuSeconds()
{
    QFile f(QStringLiteral("/proc/self/stat"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = f.readAll();
    // Fields after the command name, which is in parentheses and may hold spaces.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    const double ticks = double(sysconf(_SC_CLK_TCK));
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) / ticks;
}

// CPU time of all threads in ns, from /proc/self/task/*/schedstat (finer than the ticks of stat).
double cpuSecondsPrecise()
{
    QDir tasks(QStringLiteral("/proc/self/task"));
    double ns = 0;
    for (const QString &t : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile f(tasks.filePath(t) + QStringLiteral("/schedstat"));
        if (f.open(QIODevice::ReadOnly))
            ns += f.readAll().split(' ').value(0).toDouble();
    }
    return ns / 1e9;
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int frames = 40;
    int idleSeconds = 30;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == QLatin1String("--frames"))
            frames = args[i + 1].toInt();
        if (args[i] == QLatin1String("--idle-seconds"))
            idleSeconds = args[i + 1].toInt();
    }
    kv::ScopedRecordingUi quiet;
    std::printf("load average at start: ");
    {
        QFile l(QStringLiteral("/proc/loadavg"));
        if (l.open(QIODevice::ReadOnly))
            std::printf("%s", l.readAll().constData());
    }

    // 1. The noise floor: chained 7 ms single-shot timers.
    {
        std::vector<double> late;
        QElapsedTimer clock;
        QTimer t;
        t.setSingleShot(true);
        t.setTimerType(Qt::PreciseTimer);
        int left = 200;
        QObject::connect(&t, &QTimer::timeout, [&] {
            late.push_back(clock.nsecsElapsed() / 1e6 - 7.0);
            if (--left > 0) {
                clock.restart();
                t.start(7);
            }
        });
        clock.start();
        t.start(7);
        waitUntil([&] { return left == 0; }, 10000);
        print("event loop lateness of a 7 ms timer", stats(late));
    }

    kvstands::StandServer server;
    const QString problem = server.OpenPty();
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(problem));
        return 1;
    }
    StandLink link;
    link.Comm1.SetDeviceOverride(server.SlavePath());
    link.Comm1.Open();
    if (!link.Comm1.IsOpen()) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(server.SlavePath()));
        return 1;
    }

    // 2. Byte gaps: results requests, one after another, as written and as received.
    {
        std::vector<double> written;
        qint64 last = -1;
        link.Transmitter.ByteWritten = [&](char b, qint64 ns) {
            if (b != '/' && last >= 0)
                written.push_back((ns - last) / 1e6);
            last = ns;
        };
        server.Model().ClearLog();
        for (int i = 0; i < frames; ++i)
            link.SendFrame(i % 2 ? PollRequest(1 + i % 5) : SetupRequest(1 + i % 5, 'P', 1000, 5, 1));
        waitUntil([&] { return !link.Transmitter.Busy(); }, 60000);
        waitUntil([] { return false; }, 100);
        link.Transmitter.ByteWritten = nullptr;
        link.TDog.stop();
        const Stats out = stats(written), in = stats(server.Model().ByteGapsMs());
        print("byte gaps as written (control side)", out);
        print("byte gaps as received (stand side)", in);
        std::printf("summary: byte gaps on the pty as written: min %.3f, median %.3f, max %.3f ms; as received: min "
                    "%.3f, median %.3f, max %.3f ms (n=%d)\n",
                    out.min, out.median, out.max, in.min, in.median, in.max, in.n);
    }

    // 3. A poll of five present stands, from "Опросить стенды" to "?End".
    {
        QElapsedTimer clock;
        clock.start();
        bool ended = false;
        struct View : StandLinkView {
            bool *ended;
            std::array<bool, 6> captions{};
            void SetStandCaptionEnabled(int s, bool e) override { captions.at(s) = e; }
            bool StandCaptionEnabled(int s) const override { return captions.at(s); }
            void SetCheckMenuEnabled(bool) override {}
            void SetPollNoticeVisible(bool) override {}
            void SetPollActionsEnabled(bool e) override { *ended = e; }
        } view;
        view.ended = &ended;
        link.SetView(&view);
        link.StartPoll();
        waitUntil([&] { return ended; }, 30000);
        int present = 0;
        for (int s = 1; s <= 5; ++s)
            present += link.StandPresent[s];
        std::printf("%-44s %lld ms, %d stands present, %d messages\n", "poll of five stands, end to end",
                    clock.elapsed(), present, int(quiet->boxes().size()));
        std::printf("summary: poll of five present stands, end to end: %lld ms\n", clock.elapsed());
        link.SetView(nullptr);
    }

    // 4. The open link doing nothing.
    if (idleSeconds > 0) {
        waitUntil([] { return false; }, 1500);  // the last watchdogs run out
        const double before = cpuSeconds();
        const double beforePrecise = cpuSecondsPrecise();
        QElapsedTimer clock;
        clock.start();
        QEventLoop idle;
        QTimer::singleShot(idleSeconds * 1000, &idle, &QEventLoop::quit);
        idle.exec();
        const double used = cpuSeconds() - before;
        const double usedPrecise = cpuSecondsPrecise() - beforePrecise;
        const double seconds = clock.elapsed() / 1000.0;
        std::printf("%-44s %.3f s CPU over %.1f s (%.3f %%)\n", "idle open link (process, /proc/self/stat)", used,
                    seconds, 100.0 * used / seconds);
        std::printf("%-44s %.6f s CPU over %.1f s (%.4f %%)\n", "idle open link (all threads, schedstat)", usedPrecise,
                    seconds, 100.0 * usedPrecise / seconds);
    }
    return 0;
}
