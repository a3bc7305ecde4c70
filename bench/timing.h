#pragma once
// How the benchmarks time a piece of work: run it several times, keep the
// first run (cold caches) apart from the median, best and worst.

#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace kvbench {

struct Timing {
    double firstMs = 0;
    double medianMs = 0;
    double bestMs = 0;
    double worstMs = 0;
    qint64 rows = 0;  // what the first run read, when the work counts rows
};

// Runs `work(run)` `runs` times.
inline Timing measure(int runs, const std::function<void(int run)> &work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer clock;
        clock.start();
        work(i);
        times.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    Timing t;
    if (times.empty())
        return t;
    t.firstMs = times.front();
    std::sort(times.begin(), times.end());
    t.medianMs = times[times.size() / 2];
    t.bestMs = times.front();
    t.worstMs = times.back();
    return t;
}

// The same for work that returns the rows it read: every run must read what
// the first did, so variants of one query prove they read the same result.
inline Timing measureRows(int runs, const std::function<qint64()> &work)
{
    qint64 first = -1;
    Timing t = measure(runs, [&](int run) {
        const qint64 rows = work();
        if (run == 0)
            first = rows;
        else if (rows != first)
            std::fprintf(stderr, "run %d read %lld rows, the first read %lld\n", run, rows, first);
    });
    t.rows = first;
    return t;
}

// "label  first … median … best … rows …", the label padded to `width`.
inline void printRows(const char *label, const Timing &t, int width)
{
    std::printf("  %-*s first %9.3f ms  median %9.3f ms  best %9.3f ms  rows %lld\n", width, label, t.firstMs,
                t.medianMs, t.bestMs, t.rows);
}

}  // namespace kvbench
