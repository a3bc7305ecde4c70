// The built Kvintor as the operator starts it, on the demo database, with the
// simulated stands on a pseudo-terminal (offscreen):
//  - time from starting the process until its window answers (the event loop
//    runs with the window shown), over several starts;
//  - CPU time of the running program with the port open and nothing to do,
//    from /proc over a while.
// Usage: bench_kvintor_startup [--starts N] [--idle-seconds S]

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <vector>

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
    int idleSeconds = 30;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == QLatin1String("--starts"))
            starts = std::max(1, args[i + 1].toInt());
        if (args[i] == QLatin1String("--idle-seconds"))
            idleSeconds = args[i + 1].toInt();
    }

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

    if (idleSeconds > 0) {
        // Let the start-up settle before counting.
        QThread::msleep(1000);
        const qint64 pid = kvintor.processId();
        const double before = cpuSeconds(pid), standsBefore = cpuSeconds(stands.processId());
        QElapsedTimer clock;
        clock.start();
        QThread::sleep(idleSeconds);
        const double used = cpuSeconds(pid) - before;
        const double standsUsed = cpuSeconds(stands.processId()) - standsBefore;
        const double wall = clock.elapsed() / 1000.0;
        std::printf("%-48s %.3f s CPU over %.1f s (%.3f %%)\n", "idle Kvintor, port open (/proc/PID/stat)", used,
                    wall, 100.0 * used / wall);
        std::printf("%-48s %.3f s CPU over %.1f s (%.3f %%)\n", "kvintor-stands meanwhile", standsUsed, wall,
                    100.0 * standsUsed / wall);
    }
    QFile log(dir.filePath(QStringLiteral("ui.log")));
    if (log.open(QIODevice::ReadOnly) && log.size() > 0)
        std::printf("message boxes shown: %s\n", log.readAll().constData());

    kvintor.kill();
    kvintor.waitForFinished(5000);
    stands.terminate();
    stands.waitForFinished(5000);
    return 0;
}
