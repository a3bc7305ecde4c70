// bench_run_point: the control program's run in this process, as the run
// window drives it, against kvintor-stands (a separate process) on a
// pseudo-terminal.
//
//  1. Event-loop latency: a repeating 1 ms timer in this process, first with
//     the port open and nothing to do, then through the first points of an
//     automatic verification of five stands × six meters, where every point
//     starts with five set-up frames paced at 7 ms per byte with 300 ms
//     between frames. Prints how late the timer fired (median, p99, max),
//     overall and for the samples taken while the transmitter was pacing.
//  2. Byte gaps and set-up frame spacing as written during those points.
//  3. The archive save of a 30-meter run (5 stands × 6 meters, every error
//     point of the demo single-phase test measured, the special tests
//     judged): RunReadings::SaveToArchive, the path "Записать в архив" takes,
//     into a fresh demo database and into a copy of the ten-year archive
//     bench_archive_scale keeps in the build folder.
//
//   bench_run_point [--points N] [--saves N] [--archive PATH]

#include "core/ui.h"
#include "database/connection.h"
#include "demo_data.h"
#include "link/stand_link.h"
#include "run/run_windows.h"
#include "setup/data_module.h"
#include "setup/meter_numbers_window.h"
#include "setup/point_parameters_window.h"
#include "setup/reg_table_window.h"
#include "setup/run_launch.h"
#include "setup/run_setup.h"
#include "setup/test_table.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QRadioButton>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <random>
#include <vector>

using namespace kvintor;

namespace {

// The demo reference data: the first type (single-phase, 1600 imp/kWh) on every
// stand and the single-phase verification test (20 error points and the three
// special tests).
const QString kType = QStringLiteral("ЭС-1.05");
const QString kTypeIdent = QStringLiteral("1600");
const QString kTest = QStringLiteral("П1Ф кл.1");

struct Stats {
    int n = 0;
    double min = 0, median = 0, p99 = 0, max = 0;
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
    s.p99 = v[std::min(v.size() - 1, v.size() * 99 / 100)];
    s.max = v.back();
    return s;
}

void print(const char *what, const Stats &s, const char *unit = "ms")
{
    std::printf("  %-52s n=%-6d min %8.3f  median %8.3f  p99 %8.3f  max %8.3f %s\n", what, s.n, s.min, s.median,
                s.p99, s.max, unit);
    std::fflush(stdout);
}

QString loadAverage()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()).section(QLatin1Char(' '), 0, 2) : QString();
}

// The operator's answers: start at the first row, confirm every point's
// parameters once the dialog allows it, type a number for every meter.
class OperatorUi : public kv::RecordingUi
{
public:
    int execDialog(QDialog *dialog) override
    {
        if (auto *table = qobject_cast<TRegTable *>(dialog)) {
            table->Button1Click();
            return table->result();
        }
        if (auto *p = qobject_cast<TParam_p *>(dialog)) {
            p->setResult(0);
            p->FormShow();
            p->RadioButton2->setChecked(true);
            p->RadioButton3->setChecked(true);
            p->OnShowTimer();
            p->BitBtn1Click();
            p->OnCloseTimer();
            return p->result();
        }
        if (auto *n = qobject_cast<TFNumber *>(dialog)) {
            n->setResult(0);
            n->FormShow();
            for (int e = 1; e <= 30; ++e)
                if (n->Edit[e]->isEnabled())
                    n->Edit[e]->setText(QStringLiteral("%1").arg(1000000 + ++m_numbers));
            n->Button1Click();
            return n->result();
        }
        return kv::RecordingUi::execDialog(dialog);
    }

private:
    int m_numbers = 0;
};

// A control program's run over one database: its data module, the run setup
// with every position of the five stands occupied by the demo type, the run
// windows on a stand link.
struct Run {
    TDM dm;
    StandLink link;
    std::unique_ptr<TRegTable> regTable;
    std::unique_ptr<RunSetup> setup;
    std::unique_ptr<RunWindows> windows;
    QString error;

    explicit Run(const QString &path)
    {
        error = dm.DataModuleCreate(path);
        if (error.isEmpty())
            error = dm.openConnection();
        if (!error.isEmpty())
            return;
        regTable = std::make_unique<TRegTable>(dm);
        setup = std::make_unique<RunSetup>(dm);
        windows = std::make_unique<RunWindows>(link, dm, regTable.get(), [] { return true; });
        RunSetup &s = *setup;
        s.RunMode = ModeVerification;
        s.setStandPresent({false, true, true, true, true, true});
        s.PrepareVerification();
        s.RGAuto = 0;  // the protocol filled automatically: the points follow each other
        for (int stand = 1; stand <= 5; ++stand) {
            for (int p = 1; p <= 6; ++p)
                s.positionReleased(s.boxOf(stand, p), true);
            Dataset *types = dm.ADOTipStend(stand);
            int row = -1;
            for (int r = 0; r < types->count() && row < 0; ++r)
                if (types->valueAt(r, QStringLiteral("PTip")).toString() == kType &&
                    types->valueAt(r, QStringLiteral("PIdentificator")).toString() == kTypeIdent)
                    row = r;
            if (row < 0) {
                error = QStringLiteral("no type %1 %2 in the database").arg(kType, kTypeIdent);
                return;
            }
            s.typeChosen(stand, row);
        }
        int testRow = -1;
        for (int r = 0; r < dm.ADOTest1->count() && testRow < 0; ++r)
            if (dm.ADOTest1->valueAt(r, QStringLiteral("PNameTable")).toString() == kTest)
                testRow = r;
        if (testRow < 0) {
            error = QStringLiteral("no test %1 in the database").arg(kTest);
            return;
        }
        s.testChosen(testRow);
        if (!s.startEnabled)
            error = QStringLiteral("the run setup does not allow a start");
    }

    RunControl &control() { return windows->Control; }

    RunStart start()
    {
        RunStart r;
        r.RunMode = ModeVerification;
        r.setup = setup.get();
        r.dm = &dm;
        r.table = FillVerificationTable(dm, setup->RGAuto);
        return r;
    }
};

// Between the stand link and the run: times each point's start and each
// results frame the run handles, the two pieces of work the link hands over.
struct TimingSink : StandReportSink {
    RunControl *run = nullptr;
    std::vector<double> starts, reports;
    void HandleStandReport(int stand, const QByteArray &frame) override
    {
        QElapsedTimer t;
        t.start();
        run->HandleStandReport(stand, frame);
        reports.push_back(t.nsecsElapsed() / 1e6);
    }
    void StartCurrentPoint() override
    {
        QElapsedTimer t;
        t.start();
        run->StartCurrentPoint();
        starts.push_back(t.nsecsElapsed() / 1e6);
    }
};

void spin(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    QTimer heartbeat;
    heartbeat.start(20);
    while (!done() && clock.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

// A repeating 1 ms timer; every expiry records how much later than 1 ms after
// the previous one it came, and whether the transmitter was pacing then.
struct LatencyProbe {
    QTimer timer;
    QElapsedTimer clock;
    qint64 last = -1;
    std::vector<double> all, pacing;
    std::function<bool()> busy;

    LatencyProbe()
    {
        timer.setTimerType(Qt::PreciseTimer);
        timer.setInterval(1);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            const qint64 now = clock.nsecsElapsed();
            if (last >= 0) {
                const double late = std::max(0.0, (now - last) / 1e6 - 1.0);
                all.push_back(late);
                if (busy && busy())
                    pacing.push_back(late);
            }
            last = now;
        });
    }
    void start()
    {
        all.clear();
        pacing.clear();
        last = -1;
        clock.start();
        timer.start();
    }
    void stop() { timer.stop(); }
};

int latencyBench(int points)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(kv::kDatabaseFileName);
    QString error = kv::createDatabaseFile(path);
    if (error.isEmpty())
        error = kv::openDatabase(path, QStringLiteral("fill"));
    if (error.isEmpty()) {
        QSqlDatabase db = QSqlDatabase::database(QStringLiteral("fill"));
        error = kv::demo::addReferenceData(db);
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("fill"));
    if (!error.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }

    // Five stands of six good meters; a point's pulses come quickly, so the
    // time goes into the set-up and the collection, as on a real bench with
    // fast meters.
    const QString config = dir.filePath(QStringLiteral("stands.conf"));
    {
        QFile f(config);
        if (!f.open(QIODevice::WriteOnly))
            return 1;
        QByteArray text = "stands = 1 2 3 4 5\ntime_factor = 1\npulse_seconds = 0.05\nreply_delay_ms = 5\n";
        for (int s = 1; s <= 5; ++s)
            for (int p = 1; p <= 6; ++p)
                text += "meter " + QByteArray::number(s) + '.' + QByteArray::number(p) + " error=0." +
                        QByteArray::number(s * 6 + p) + " noise=0.03\n";
        f.write(text);
    }
    QProcess stands;
    stands.start(QStringLiteral(KV_BIN_DIR "/kvintor-stands"), {QStringLiteral("--config"), config});
    if (!stands.waitForStarted(10000) || !stands.waitForReadyRead(10000)) {
        std::fprintf(stderr, "kvintor-stands did not start\n");
        return 1;
    }
    const QString pty = QString::fromLocal8Bit(stands.readLine()).trimmed();

    Run run(path);
    if (!run.error.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(run.error));
        return 1;
    }
    run.link.Comm1.SetDeviceOverride(pty);
    run.link.Comm1.Open();
    if (!run.link.Comm1.IsOpen()) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(pty));
        return 1;
    }
    std::printf("automatic verification, 5 stands x 6 meters, demo test \"%s\", kvintor-stands on %s\n",
                qPrintable(kTest), qPrintable(pty));
    std::printf("load average before: %s\n", qPrintable(loadAverage()));

    LatencyProbe probe;
    probe.busy = [&] { return run.link.Transmitter.Busy(); };

    // The floor: the same timer with the port open and nothing to do.
    probe.start();
    spin([] { return false; }, 3000);
    probe.stop();
    const Stats idle = stats(probe.all);
    const std::vector<double> idleSamples = probe.all;

    // Byte gaps and set-up frames as written.
    std::vector<double> gaps, setupSpacing;
    QByteArray frame;
    qint64 lastByte = -1, frameStart = 0, lastSetupStart = -1;
    int setupFrames = 0;
    run.link.Transmitter.ByteWritten = [&](char b, qint64 ns) {
        if (b == '/') {
            frame.clear();
            frameStart = ns;
        } else if (lastByte >= 0) {
            gaps.push_back((ns - lastByte) / 1e6);
        }
        lastByte = ns;
        frame.append(b);
        if (b == '\x03' && frame.size() > 4 && frame.at(2) == '\x01') {
            // Every point sets up all five stands; spacing counts within a point.
            if (setupFrames % 5 != 0)
                setupSpacing.push_back((frameStart - lastSetupStart) / 1e6);
            ++setupFrames;
            lastSetupStart = frameStart;
        }
    };

    RunControl &control = run.control();
    TimingSink sink;
    sink.run = &control;
    run.link.SetReportSink(&sink);
    QElapsedTimer clock;
    probe.start();
    clock.start();
    QElapsedTimer readyClock;
    readyClock.start();
    run.windows->RunReady(run.start());
    const double readyMs = readyClock.nsecsElapsed() / 1e6;
    // Until the requested number of points were set up and the last set-up is out.
    spin([&] { return setupFrames >= 5 * points && !run.link.Transmitter.Busy(); }, 120000);
    probe.stop();
    const double seconds = clock.elapsed() / 1000.0;
    run.link.Transmitter.ByteWritten = nullptr;
    control.AEndTest();
    spin([&] { return run.link.CommandQueue.isEmpty() && !run.link.Transmitter.Busy(); }, 3000);
    run.link.SetReportSink(&control);

    auto *ui = static_cast<OperatorUi *>(&kv::ui());
    std::printf("  %d points set up in %.1f s, %d set-up frames written, message boxes: %d%s%s\n",
                setupFrames / 5, seconds, setupFrames, int(ui->boxes().size()),
                ui->boxes().isEmpty() ? "" : " - ", qPrintable(ui->texts().join(QStringLiteral(" | "))));
    std::printf("  RunReady (table, first point's dialog, set-up frames built and queued) %.2f ms\n", readyMs);
    print("StartPoint (dialog, frames built and queued, window state)", stats(sink.starts));
    print("one results frame handled by the run", stats(sink.reports));
    std::printf("lateness of a repeating 1 ms timer in the control program's thread\n");
    print("idle, port open (3 s)", idle);
    print("during the points, every sample", stats(probe.all));
    const Stats pacing = stats(probe.pacing);
    print("while frames were paced out (transmitter busy)", pacing);
    const auto over = [](const std::vector<double> &v, double ms) {
        return int(std::count_if(v.begin(), v.end(), [ms](double x) { return x > ms; }));
    };
    std::printf("  later than 2 ms: %d of the idle samples, %d of those while pacing\n", over(idleSamples, 2.0),
                over(probe.pacing, 2.0));
    std::printf("bytes as written during the points\n");
    const Stats byteGaps = stats(gaps);
    print("gap between bytes of a frame", byteGaps);
    const Stats spacing = stats(setupSpacing);
    print("start to start of a point's set-up frames", spacing);
    std::printf("load average after: %s\n", qPrintable(loadAverage()));
    std::printf("summary: 1 ms timer lateness while set-up frames paced: median %.3f, p99 %.3f, max %.3f ms "
                "(idle floor max %.3f ms)\n",
                pacing.median, pacing.p99, pacing.max, idle.max);
    std::printf("summary: byte gaps as written in a run: min %.3f, median %.3f, max %.3f ms (n=%d)\n", byteGaps.min,
                byteGaps.median, byteGaps.max, byteGaps.n);

    stands.terminate();
    stands.waitForFinished(5000);
    return 0;
}

qint64 count(QSqlDatabase db, const char *table)
{
    QSqlQuery q(db);
    return q.exec(QStringLiteral("SELECT count(*) FROM %1").arg(QLatin1String(table))) && q.next()
               ? q.value(0).toLongLong()
               : -1;
}

// Fills the run's results as a finished verification leaves them: every error
// point of the test measured on all 30 meters, a few beyond the limit, the
// special tests judged, every meter numbered.
void fillResults(Run &run, int saveNumber, std::mt19937 &random)
{
    RunControl &c = run.control();
    c.SetSetup(run.setup.get());
    run.link.RunMode = ModeVerification;
    c.SizeResults(run.setup->RunPointCapacity);
    QSqlQuery q(run.dm.database());
    q.prepare(QStringLiteral("SELECT PNumPoint1, PMeasureMax FROM TTestPoint WHERE PSecIndex = ? ORDER BY PNumPoint1"));
    q.addBindValue(run.setup->testIndex);
    q.exec();
    QList<QPair<int, double>> points;
    while (q.next())
        points.append({q.value(0).toInt(), q.value(1).toDouble()});
    std::uniform_real_distribution<double> error(-1.1, 1.1);
    for (int s = 1; s <= 5; ++s) {
        StandResultsRecord &r = c.StandResults[s];
        for (int i = 1; i <= points.size() && c.ValidPointIndex(i); ++i)
            r.Limits[i] = points.at(i - 1).second;
        for (int p = 1; p <= 6; ++p) {
            r.MeterNumber[p] = QStringLiteral("%1").arg(20000000 + saveNumber * 100 + s * 10 + p);
            r.SensVerdict[p] = 1;
            r.CreepVerdict[p] = 2;
            r.RegisterVerdict[p] = 1;
            for (int i = 1; i <= points.size() && c.ValidPointIndex(i); ++i) {
                r.Errors[p][i] = std::round(error(random) * 100) / 100;
                r.Measured[p][i] = true;
                r.PointNumbers[p][i] = points.at(i - 1).first;
            }
        }
    }
}

int saveBench(const QString &label, const QString &path, int saves)
{
    QElapsedTimer open;
    open.start();
    Run run(path);
    if (!run.error.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(run.error));
        return 1;
    }
    const double openMs = open.nsecsElapsed() / 1e6;
    QSqlDatabase db = run.dm.database();
    const qint64 records = count(db, "TMeasure"), meters = count(db, "TPositionCH"), errors = count(db, "TResult");
    std::mt19937 random(7);
    std::vector<double> times;
    double first = 0;
    for (int n = 0; n < saves; ++n) {
        fillResults(run, n, random);
        QElapsedTimer clock;
        clock.start();
        const bool saved = run.windows->Readings.SaveToArchive();
        const double ms = clock.nsecsElapsed() / 1e6;
        if (!saved) {
            std::fprintf(stderr, "save %d failed\n", n);
            return 1;
        }
        if (n == 0)
            first = ms;
        times.push_back(ms);
    }
    const qint64 addedRecords = count(db, "TMeasure") - records, addedMeters = count(db, "TPositionCH") - meters,
                 addedErrors = count(db, "TResult") - errors;
    const Stats s = stats(times);
    std::printf("archive save of a 30-meter run into %s (%lld records, %lld meters, %lld errors before)\n",
                qPrintable(label), records, meters, errors);
    std::printf("  data module opened in %.1f ms; each save writes %lld record, %lld meters, %lld errors\n", openMs,
                addedRecords / saves, addedMeters / saves, addedErrors / saves);
    std::printf("  SaveToArchive: first %.1f ms, median %.1f ms, min %.1f ms, max %.1f ms over %d saves\n", first,
                s.median, s.min, s.max, s.n);
    std::printf("summary: archive save of a 30-meter run (%lld error rows), %s: median %.1f ms, min %.1f, max %.1f "
                "(n=%d)\n",
                addedErrors / saves, qPrintable(label), s.median, s.min, s.max, s.n);
    std::fflush(stdout);
    return 0;
}

}  // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("KVINTOR_NO_OPEN", "1");
    QApplication app(argc, argv);
    int points = 4;
    int saves = 15;
    QString archive = QStringLiteral(KV_BENCH_CACHE_DIR "/archive_10y.sqlite");
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--points") && i + 1 < args.size())
            points = std::max(1, args.at(++i).toInt());
        else if (args.at(i) == QLatin1String("--saves") && i + 1 < args.size())
            saves = std::max(1, args.at(++i).toInt());
        else if (args.at(i) == QLatin1String("--archive") && i + 1 < args.size())
            archive = args.at(++i);
        else {
            std::fprintf(stderr, "usage: bench_run_point [--points N] [--saves N] [--archive PATH]\n");
            return 2;
        }
    }
    auto previous = kv::setUi(std::make_unique<OperatorUi>());

    if (int rc = latencyBench(points))
        return rc;

    // A fresh database with the demo types and tests only.
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(kv::kDatabaseFileName);
        QString error = kv::createDatabaseFile(path);
        if (error.isEmpty())
            error = kv::openDatabase(path, QStringLiteral("fresh"));
        if (error.isEmpty()) {
            QSqlDatabase db = QSqlDatabase::database(QStringLiteral("fresh"));
            error = kv::demo::addReferenceData(db);
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("fresh"));
        if (!error.isEmpty()) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
        if (int rc = saveBench(QStringLiteral("a fresh demo database"), path, saves))
            return rc;
    }
    // A copy of the ten-year archive, so the kept file stays as built.
    if (!QFileInfo::exists(archive)) {
        std::printf("%s is missing (bench_archive_scale builds it): the save into a ten-year archive is skipped\n",
                    qPrintable(archive));
        return 0;
    }
    QTemporaryDir dir;
    const QString copy = dir.filePath(kv::kDatabaseFileName);
    if (!QFile::copy(archive, copy)) {
        std::fprintf(stderr, "cannot copy %s\n", qPrintable(archive));
        return 1;
    }
    return saveBench(QStringLiteral("a ten-year archive"), copy, saves);
}
