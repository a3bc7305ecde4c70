// The built programs as the operator starts them (offscreen):
//  - Kvintor on the demo database with the simulated stands on a
//    pseudo-terminal: time from starting the process until its window answers
//    (the event loop runs with the window shown), over several starts;
//  - CPU time of the running Kvintor with the port open and nothing to do,
//    over a minute: utime + stime from /proc/PID/stat (clock ticks), the
//    run time of its threads from /proc/PID/task/*/schedstat (ns), and the
//    whole life of the process from getrusage once it has ended;
//  - BaseKvintor on a copy of the ten-year archive bench_archive_scale keeps in
//    the build folder: time from starting the process until its main window
//    with the types, tests and archive windows answers, over several starts.
// Usage: bench_kvintor_startup [--starts N] [--idle-seconds S] [--archive PATH]

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

namespace {

QString binary(const char *name)
{
    const QString env = qEnvironmentVariable("KVINTOR_BIN_DIR");
    return (env.isEmpty() ? QStringLiteral(KV_BIN_DIR) : env) + QLatin1Char('/') + QLatin1String(name);
}

// utime + stime of a process, in seconds.
double cpuSeconds(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = f.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    const double ticks = double(sysconf(_SC_CLK_TCK));
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) / ticks;
}

// The run time of every thread of a process, in seconds (ns resolution).
double threadSeconds(qint64 pid)
{
    QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    double ns = 0;
    for (const QString &t : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile f(tasks.filePath(t) + QStringLiteral("/schedstat"));
        if (f.open(QIODevice::ReadOnly))
            ns += f.readAll().split(' ').value(0).toDouble();
    }
    return ns / 1e9;
}

// CPU time of the children of this process that have ended and been reaped.
double childrenSeconds()
{
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Whether the process holds the device open.
bool holdsOpen(qint64 pid, const QString &device)
{
    QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QFileInfo &fd : fds.entryInfoList(QDir::System | QDir::NoDotAndDotDot))
        if (fd.symLinkTarget() == device)
            return true;
    return false;
}

QString loadAverage()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()).section(QLatin1Char(' '), 0, 2) : QString();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int starts = 5;
    int idleSeconds = 60;
    QString archive = QStringLiteral(KV_BENCH_CACHE_DIR "/archive_10y.sqlite");
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == QLatin1String("--starts"))
            starts = std::max(1, args[i + 1].toInt());
        if (args[i] == QLatin1String("--idle-seconds"))
            idleSeconds = args[i + 1].toInt();
        if (args[i] == QLatin1String("--archive"))
            archive = args[i + 1];
    }
    std::printf("load average at start: %s\n", qPrintable(loadAverage()));

    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("KvintorDB.sqlite"));
    QProcess tool;
    tool.start(binary("kvintor-db"), {QStringLiteral("create"), QStringLiteral("--demo"), db});
    if (!tool.waitForFinished(120000) || tool.exitCode() != 0) {
        std::fprintf(stderr, "kvintor-db create --demo failed\n");
        return 1;
    }

    QProcess stands;
    stands.start(binary("kvintor-stands"), {});
    if (!stands.waitForStarted(10000) || !stands.waitForReadyRead(10000)) {
        std::fprintf(stderr, "kvintor-stands did not start\n");
        return 1;
    }
    const QString pty = QString::fromLocal8Bit(stands.readLine()).trimmed();

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("KVINTOR_UI_LOG"), dir.filePath(QStringLiteral("ui.log")));
    const QString ready = dir.filePath(QStringLiteral("ready"));
    env.insert(QStringLiteral("KVINTOR_READY_FILE"), ready);

    std::printf("Kvintor on the demo database, port %s served by kvintor-stands, offscreen\n",
                pty.toLocal8Bit().constData());
    std::vector<double> times;
    QProcess kvintor;
    for (int n = 0; n < starts; ++n) {
        QFile::remove(ready);
        kvintor.setProcessEnvironment(env);
        kvintor.setWorkingDirectory(dir.path());
        QElapsedTimer clock;
        clock.start();
        kvintor.start(binary("Kvintor"), {QStringLiteral("--port"), pty});
        if (!kvintor.waitForStarted(10000)) {
            std::fprintf(stderr, "Kvintor did not start\n");
            return 1;
        }
        while (!QFile::exists(ready) && clock.elapsed() < 60000 && kvintor.state() == QProcess::Running)
            QThread::usleep(500);
        if (!QFile::exists(ready)) {
            std::fprintf(stderr, "Kvintor did not get ready\n");
            return 1;
        }
        times.push_back(clock.nsecsElapsed() / 1e6);
        if (n + 1 < starts) {
            kvintor.kill();
            kvintor.waitForFinished(5000);
        }
    }
    std::printf("%-48s median %.1f ms, min %.1f, max %.1f over %d starts\n", "start to a responsive window",
                median(times), *std::min_element(times.begin(), times.end()),
                *std::max_element(times.begin(), times.end()), starts);
    std::printf("summary: Kvintor start to a responsive window (demo database): median %.1f ms, min %.1f, max %.1f "
                "(n=%d)\n",
                median(times), *std::min_element(times.begin(), times.end()),
                *std::max_element(times.begin(), times.end()), starts);
    // Reaps the earlier starts, so getrusage below counts the last one alone.
    const double childrenBefore = childrenSeconds();

    const qint64 pid = kvintor.processId();
    QElapsedTimer life;
    life.start();
    if (idleSeconds > 0) {
        // Let the start-up settle before counting.
        QThread::msleep(1000);
        std::printf("Kvintor holds %s open: %s\n", qPrintable(pty), holdsOpen(pid, pty) ? "yes" : "NO");
        const double before = cpuSeconds(pid), standsBefore = cpuSeconds(stands.processId());
        const double threadsBefore = threadSeconds(pid);
        QElapsedTimer clock;
        clock.start();
        QThread::sleep(idleSeconds);
        const double used = cpuSeconds(pid) - before;
        const double threadsUsed = threadSeconds(pid) - threadsBefore;
        const double standsUsed = cpuSeconds(stands.processId()) - standsBefore;
        const double wall = clock.elapsed() / 1000.0;
        std::printf("%-48s %.3f s CPU over %.1f s (%.3f %%)\n", "idle Kvintor, port open (/proc/PID/stat)", used,
                    wall, 100.0 * used / wall);
        std::printf("%-48s %.6f s CPU over %.1f s (%.4f %%); %.3f s before, in the start\n",
                    "idle Kvintor, port open (threads' schedstat)", threadsUsed, wall, 100.0 * threadsUsed / wall,
                    threadsBefore);
        std::printf("%-48s %.3f s CPU over %.1f s (%.3f %%)\n", "kvintor-stands meanwhile", standsUsed, wall,
                    100.0 * standsUsed / wall);
        std::printf("summary: idle Kvintor with the port open, %.0f s: %.3f s CPU (%.3f %%) from /proc/PID/stat, "
                    "%.6f s (%.4f %%) from schedstat\n",
                    wall, used, 100.0 * used / wall, threadsUsed, 100.0 * threadsUsed / wall);
    }
    QFile log(dir.filePath(QStringLiteral("ui.log")));
    if (log.open(QIODevice::ReadOnly) && log.size() > 0)
        std::printf("message boxes shown: %s\n", log.readAll().constData());

    const double lastCpu = cpuSeconds(pid);
    kvintor.kill();
    kvintor.waitForFinished(5000);
    const double lived = life.elapsed() / 1000.0;
    std::printf("%-48s %.3f s CPU (getrusage), %.3f s (/proc) over its %.1f s after the start\n",
                "the last Kvintor's whole life", childrenSeconds() - childrenBefore, lastCpu, lived);
    stands.terminate();
    stands.waitForFinished(5000);

    // BaseKvintor on the ten-year archive.
    if (!QFileInfo::exists(archive)) {
        std::printf("%s is missing (bench_archive_scale builds it): BaseKvintor's start is skipped\n",
                    qPrintable(archive));
        return 0;
    }
    const QString copy = dir.filePath(QStringLiteral("archive/KvintorDB.sqlite"));
    QDir().mkpath(QFileInfo(copy).absolutePath());
    if (!QFile::copy(archive, copy)) {
        std::fprintf(stderr, "cannot copy %s\n", qPrintable(archive));
        return 1;
    }
    std::printf("BaseKvintor on a copy of %s (%.0f MB), offscreen\n", qPrintable(archive),
                QFileInfo(copy).size() / 1048576.0);
    times.clear();
    env.insert(QStringLiteral("KVINTOR_UI_LOG"), dir.filePath(QStringLiteral("base-ui.log")));
    QProcess base;
    for (int n = 0; n < starts; ++n) {
        QFile::remove(ready);
        base.setProcessEnvironment(env);
        base.setWorkingDirectory(QFileInfo(copy).absolutePath());
        QElapsedTimer clock;
        clock.start();
        base.start(binary("BaseKvintor"), {QStringLiteral("--database"), copy});
        if (!base.waitForStarted(10000)) {
            std::fprintf(stderr, "BaseKvintor did not start\n");
            return 1;
        }
        while (!QFile::exists(ready) && clock.elapsed() < 60000 && base.state() == QProcess::Running)
            QThread::usleep(500);
        if (!QFile::exists(ready)) {
            std::fprintf(stderr, "BaseKvintor did not get ready\n");
            return 1;
        }
        times.push_back(clock.nsecsElapsed() / 1e6);
        base.kill();
        base.waitForFinished(5000);
    }
    std::printf("%-48s first %.1f ms, median %.1f ms, min %.1f, max %.1f over %d starts\n",
                "start to a responsive window", times.front(), median(times),
                *std::min_element(times.begin(), times.end()), *std::max_element(times.begin(), times.end()),
                starts);
    std::printf("summary: BaseKvintor start to a responsive window (10-year archive): median %.1f ms, min %.1f, "
                "max %.1f (n=%d)\n",
                median(times), *std::min_element(times.begin(), times.end()),
                *std::max_element(times.begin(), times.end()), starts);
    QFile baseLog(dir.filePath(QStringLiteral("base-ui.log")));
    if (baseLog.open(QIODevice::ReadOnly) && baseLog.size() > 0)
        std::printf("message boxes shown: %s\n", baseLog.readAll().constData());
    return 0;
}
