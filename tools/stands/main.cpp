// kvintor-stands: five simulated stands answering the stand protocol on a
// pseudo-terminal (or a serial device), until stopped.

#include "stand_server.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>

#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char c = 1;
    if (::write(g_signalPipe[1], &c, 1) < 0) {
    }
}

QByteArray hex(const QByteArray &frame) { return frame.toHex(' ').toUpper(); }

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kvintor-stands"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Five simulated stands answering the stand protocol. Prints the device the control program should open."));
    parser.addHelpOption();
    const QCommandLineOption configOption(QStringLiteral("config"), QStringLiteral("Meters and stands configuration."),
                                          QStringLiteral("FILE"));
    const QCommandLineOption deviceOption(QStringLiteral("device"),
                                          QStringLiteral("Serve on this serial device instead of a new pseudo-terminal."),
                                          QStringLiteral("PATH"));
    const QCommandLineOption logOption(QStringLiteral("log"), QStringLiteral("Print every frame received and sent."));
    const QCommandLineOption noiseOption(
        QStringLiteral("noise"), QStringLiteral("Also put noise on the line: \"random\" bytes or malformed \"frames\"."),
        QStringLiteral("KIND"));
    const QCommandLineOption noiseRateOption(
        QStringLiteral("noise-rate"), QStringLiteral("Noise bytes per second, 0 as fast as the line takes them (480)."),
        QStringLiteral("N"), QStringLiteral("480"));
    parser.addOptions({configOption, deviceOption, logOption, noiseOption, noiseRateOption});
    parser.process(app);

    kvstands::ModelConfig config = kvstands::DefaultConfig();
    if (parser.isSet(configOption)) {
        const QString problem = kvstands::LoadConfig(parser.value(configOption), &config);
        if (!problem.isEmpty()) {
            std::fprintf(stderr, "kvintor-stands: %s\n", problem.toLocal8Bit().constData());
            return 2;
        }
    }

    kvstands::StandServer server(config);
    const QString problem =
        parser.isSet(deviceOption) ? server.OpenDevice(parser.value(deviceOption)) : server.OpenPty();
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "kvintor-stands: %s\n", problem.toLocal8Bit().constData());
        return 1;
    }
    if (parser.isSet(noiseOption)) {
        kvstands::NoiseConfig noise;
        const QString kind = parser.value(noiseOption);
        bool rateOk = false;
        noise.bytesPerSecond = parser.value(noiseRateOption).toInt(&rateOk);
        if ((kind != QLatin1String("random") && kind != QLatin1String("frames")) || !rateOk ||
            noise.bytesPerSecond < 0) {
            std::fprintf(stderr, "kvintor-stands: --noise takes random or frames, --noise-rate a count\n");
            return 2;
        }
        noise.kind = kind == QLatin1String("random") ? kvstands::NoiseConfig::RandomBytes
                                                     : kvstands::NoiseConfig::MalformedFrames;
        server.StartNoise(noise);
    }
    if (parser.isSet(logOption)) {
        QObject::connect(&server, &kvstands::StandServer::FrameReceived, [](const QByteArray &f) {
            std::printf("in  %s\n", hex(f).constData());
            std::fflush(stdout);
        });
        QObject::connect(&server, &kvstands::StandServer::FrameSent, [](const QByteArray &f) {
            std::printf("out %s\n", hex(f).constData());
            std::fflush(stdout);
        });
    }

    if (pipe(g_signalPipe) == 0) {
        auto *notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
        std::signal(SIGINT, onSignal);
        std::signal(SIGTERM, onSignal);
        std::signal(SIGHUP, onSignal);
    }

    std::printf("%s\n", server.SlavePath().toLocal8Bit().constData());
    std::fflush(stdout);
    const int rc = app.exec();
    server.Close();
    return rc;
}
