// bench_curves: how long the error curves take to appear.
//
// Two cases, each timed from the data to a finished picture (the curve model
// built, the chart made for the first curve, the chart rendered at
// 1400×900 as the window or a PNG shows it):
//   run:     a 30-meter run (five stands of six meters, 25 points in four
//            power factors and the three single phases), as the run window's
//            "Кривые погрешности" gets it;
//   archive: one record of the ten-year archive (the one with the most
//            meters), read from the database as the archive window does.
// Target: under 100 ms each. --png PATH keeps the last picture of each case
// (PATH-run.png, PATH-archive.png).
//
//   bench_curves [--years N] [--database PATH] [--runs N] [--png PATH]

#include "../archive_file.h"

#include "protocols/archive_curves.h"
#include "widgets/curve_chart.h"

#include <QApplication>
#include <QChart>
#include <QElapsedTimer>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {

struct Figures {
    double medianMs = 0;
    double worstMs = 0;
    double modelMs = 0;  // median of the model alone
    double chartMs = 0;  // median of the model and the chart's making, before it is drawn
    double cpuMs = 0;    // median processor time of the whole, which other load on the machine does not stretch
};

double cpuNowMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

Figures measure(int runs, const std::function<kv::CurveSet()> &model, const QString &png)
{
    std::vector<double> total, alone, made, cpu;
    QImage last;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer clock;
        clock.start();
        const double cpuStart = cpuNowMs();
        const kv::CurveSet set = model();
        alone.push_back(double(clock.nsecsElapsed()) / 1e6);
        std::unique_ptr<QChart> chart(kv::makeCurveChart(set, set.groups.value(0), set.meters.value(0).position));
        made.push_back(double(clock.nsecsElapsed()) / 1e6);
        last = kv::renderCurveChart(chart.get(), QSize(1400, 900));
        total.push_back(double(clock.nsecsElapsed()) / 1e6);
        cpu.push_back(cpuNowMs() - cpuStart);
    }
    if (!png.isEmpty())
        last.save(png, "PNG");
    return {median(total), *std::max_element(total.begin(), total.end()), median(alone), median(made), median(cpu)};
}

void print(const char *label, const Figures &f)
{
    std::printf("  %-28s median %7.2f ms  worst %7.2f ms  processor %7.2f ms  (model %.2f ms, chart made %.2f ms)"
                "  target < 100 ms\n",
                label, f.medianMs, f.worstMs, f.cpuMs, f.modelMs, f.chartMs);
}

// Five stands of six meters through a verification of 25 points: PF 1, 0.5L
// and 0.8C over the whole range, PF 1 on each phase alone; a few meters missed
// a point.
kv::CurveSource thirtyMeterRun()
{
    kv::CurveSource s;
    s.type = {QStringLiteral("ЦЭ6803В"), QStringLiteral("М7"), 230, 5, 60, 3};
    s.test = QStringLiteral("Поверка 3ф");
    s.place = QStringLiteral("Стенд №1");
    const double currents[] = {5, 10, 20, 50, 100, 200, 600, 1200};
    int n = 0;
    for (double i : currents)
        s.points.append({++n, 100, i, kv::PhasesAll, 1, 0, i < 10 ? 1.5 : 1.0});
    for (double i : {10.0, 20.0, 100.0, 600.0, 1200.0})
        s.points.append({++n, 100, i, kv::PhasesAll, 0.5, 1, i < 20 ? 1.5 : 1.0});
    for (double i : {10.0, 20.0, 100.0, 600.0, 1200.0})
        s.points.append({++n, 100, i, kv::PhasesAll, 0.8, 2, i < 20 ? 1.5 : 1.0});
    for (int phase : {kv::PhaseA, kv::PhaseB, kv::PhaseC})
        for (double i : {20.0, 100.0})
            s.points.append({++n, 100, i, phase, 1, 0, 2.0});
    for (int stand = 1; stand <= 5; ++stand)
        for (int p = 1; p <= 6; ++p) {
            kv::CurveMeterSource m;
            m.position = stand * 10 + p;
            m.number = QString::number(100000 + m.position);
            for (const kv::CurveTestPoint &pt : s.points) {
                if ((pt.number + m.position) % 17 == 0)
                    continue;  // no reading: a gap
                m.readings.append({pt.number, 0.3 * std::sin(pt.percentI + m.position) - 0.002 * pt.percentI / 12, qQNaN()});
            }
            s.meters.append(m);
        }
    return s;
}

}  // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int years = 10, runs = 20;
    QString path, png;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--years") && i + 1 < args.size())
            years = std::max(1, args.at(++i).toInt());
        else if (args.at(i) == QLatin1String("--runs") && i + 1 < args.size())
            runs = std::max(1, args.at(++i).toInt());
        else if (args.at(i) == QLatin1String("--database") && i + 1 < args.size())
            path = args.at(++i);
        else if (args.at(i) == QLatin1String("--png") && i + 1 < args.size())
            png = args.at(++i);
        else {
            std::fprintf(stderr, "usage: bench_curves [--years N] [--database PATH] [--runs N] [--png PATH]\n");
            return 2;
        }
    }
    if (path.isEmpty())
        path = QStringLiteral(KV_BENCH_CACHE_DIR "/archive_%1y.sqlite").arg(years);

    std::printf("error curves, %d runs each\n", runs);
    const kv::CurveSource run = thirtyMeterRun();
    print("30-meter run", measure(runs, [&] { return kv::BuildCurves(run); },
                                  png.isEmpty() ? QString() : png + QStringLiteral("-run.png")));

    QString error = kvbench::ensureArchive(path, years);
    if (error.isEmpty())
        error = kv::openDatabase(path, QStringLiteral("curves"));
    if (!error.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    QSqlDatabase db = QSqlDatabase::database(QStringLiteral("curves"));
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT PSecIndex, COUNT(*) FROM TPositionCH GROUP BY PSecIndex "
                               "ORDER BY COUNT(*) DESC, PSecIndex DESC LIMIT 1"))
        || !q.next()) {
        std::fprintf(stderr, "no archive record: %s\n", qPrintable(q.lastError().text()));
        return 1;
    }
    const qint64 record = q.value(0).toLongLong();
    std::printf("archive: record %lld with %d meters\n", record, q.value(1).toInt());
    bool readFailed = false;
    const Figures archive = measure(runs, [&] {
        kv::CurveSet set;
        QString e;
        if (!kv::ReadArchiveCurves(db, record, {}, &set, &e))
            readFailed = true;
        return set;
    }, png.isEmpty() ? QString() : png + QStringLiteral("-archive.png"));
    if (readFailed) {
        std::fprintf(stderr, "the record could not be read\n");
        return 1;
    }
    print("one record of the archive", archive);
    return 0;
}
