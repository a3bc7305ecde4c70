#pragma once
// A widget-free model of the installation's five stands, seen from the line:
// it takes the request bytes the control program sends and gives back the
// reply bytes the stands would send. Time comes in with every byte, so tests
// drive it without waiting, and every received byte keeps its time, so the
// pacing of the requests can be checked.

#include <QByteArray>
#include <QList>
#include <QString>

#include <array>
#include <random>
#include <vector>

namespace kvstands {

struct MeterConfig {
    int stand = 0;
    int position = 0;
    double error = 0.0;       // error in per cent at every error point ...
    QList<double> errors;     // ... unless given per error point, in the order the points come
    double noise = 0.0;       // uniform, plus or minus, added to each report
    bool starts = true;       // gives pulses in the sensitivity test
    bool creeps = false;      // gives a pulse in the creep test
    bool registerFault = false;  // stops counting after its first report of a point
};

struct ModelConfig {
    std::array<bool, 6> present{};  // index 1..5
    // What the installation does with a request to a stand that is not
    // there: answers with a frame that is no answer (true), or stays silent.
    bool answerForAbsent = true;
    double timeFactor = 1.0;    // scales every duration below
    double pulseSeconds = 1.0;  // time per counted turn or pulse at an error point
    double startSeconds = 10.0; // sensitivity: until a starting meter's first pulse
    double creepSeconds = 20.0; // creep: until a creeping meter's first pulse
    int replyDelayMs = 0;       // how long a stand takes to answer
    unsigned seed = 1;
    QList<MeterConfig> meters;
};

// Stands 1..5 present, six meters each with small errors.
ModelConfig DefaultConfig();
// The configuration file: "key = value" lines and one "meter S.P key=value ..."
// line per meter; "#" starts a comment. Returns "" or what is wrong, with the line.
QString ParseConfig(const QString &text, ModelConfig *config);
QString LoadConfig(const QString &path, ModelConfig *config);

class StandModel
{
public:
    explicit StandModel(ModelConfig config = DefaultConfig());

    // One byte from the line at time nowNs (a steady clock). Returns what the
    // stands send back, usually nothing until a request is complete.
    QByteArray Receive(char byte, qint64 nowNs);

    struct ReceivedByte {
        char byte;
        qint64 ns;
    };
    const std::vector<ReceivedByte> &ReceivedBytes() const { return m_received; }
    // Gaps in ms between consecutive bytes inside each request frame.
    std::vector<double> ByteGapsMs() const;
    const QList<QByteArray> &FramesReceived() const { return m_framesIn; }
    const QList<QByteArray> &FramesSent() const { return m_framesOut; }
    void ClearLog();

    struct StandState {
        bool setUp = false;
        char letter = 0;
        int count = 0;
        double constant = 0;
        int energy = 0;
        int errorPoints = 0;  // "P" set-ups so far
    };
    const StandState &Stand(int stand) const { return m_stands.at(stand); }
    const ModelConfig &Config() const { return m_config; }

private:
    struct Meter {
        MeterConfig config;
        qint64 startNs = 0;  // set-up or reset
        int reports = 0;     // batches reported since then
    };

    QByteArray Handle(const QByteArray &frame, qint64 nowNs);
    QByteArray Results(int stand, qint64 nowNs);
    double ErrorOf(const Meter &m, int point);
    qint64 Seconds(double s) const;

    ModelConfig m_config;
    std::array<StandState, 6> m_stands{};
    std::vector<Meter> m_meters;
    std::mt19937 m_random;
    QByteArray m_frame;
    bool m_inFrame = false;
    std::vector<ReceivedByte> m_received;
    QList<QByteArray> m_framesIn;
    QList<QByteArray> m_framesOut;
};

}  // namespace kvstands
