#include "stand_model.h"

#include "link/stand_frames.h"

#include <QFile>
#include <QRegularExpression>

#include <cmath>

using namespace kvintor;

namespace kvstands {

ModelConfig DefaultConfig()
{
    ModelConfig c;
    for (int s = 1; s <= 5; ++s) {
        c.present[s] = true;
        for (int p = 1; p <= 6; ++p) {
            MeterConfig m;
            m.stand = s;
            m.position = p;
            m.error = 0.1 * ((s + p) % 5) - 0.2;
            m.noise = 0.05;
            c.meters.append(m);
        }
    }
    return c;
}

namespace {

bool parseBool(const QString &v, bool *ok)
{
    const QString t = v.toLower();
    *ok = true;
    if (t == QLatin1String("yes") || t == QLatin1String("1") || t == QLatin1String("true"))
        return true;
    if (t == QLatin1String("no") || t == QLatin1String("0") || t == QLatin1String("false"))
        return false;
    *ok = false;
    return false;
}

bool parseNumber(const QString &v, double *out)
{
    bool ok = false;
    *out = v.toDouble(&ok);
    return ok && std::isfinite(*out);
}

QString parseMeter(const QStringList &words, ModelConfig *config)
{
    static const QRegularExpression place(QStringLiteral("^([1-5])\\.([1-6])$"));
    if (words.size() < 2)
        return QStringLiteral("meter needs a place S.P");
    const auto match = place.match(words.at(1));
    if (!match.hasMatch())
        return QStringLiteral("bad meter place '%1' (stand 1-5 . position 1-6)").arg(words.at(1));
    MeterConfig m;
    m.stand = match.captured(1).toInt();
    m.position = match.captured(2).toInt();
    for (int i = 2; i < words.size(); ++i) {
        const int eq = words.at(i).indexOf(QLatin1Char('='));
        if (eq <= 0)
            return QStringLiteral("expected key=value, got '%1'").arg(words.at(i));
        const QString key = words.at(i).left(eq).toLower();
        const QString value = words.at(i).mid(eq + 1);
        bool ok = true;
        if (key == QLatin1String("error")) {
            ok = parseNumber(value, &m.error);
        } else if (key == QLatin1String("errors")) {
            for (const QString &part : value.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
                double e = 0;
                ok = ok && parseNumber(part, &e);
                m.errors.append(e);
            }
        } else if (key == QLatin1String("noise")) {
            ok = parseNumber(value, &m.noise) && m.noise >= 0;
        } else if (key == QLatin1String("starts")) {
            m.starts = parseBool(value, &ok);
        } else if (key == QLatin1String("creeps")) {
            m.creeps = parseBool(value, &ok);
        } else if (key == QLatin1String("register")) {
            if (value == QLatin1String("fault"))
                m.registerFault = true;
            else if (value == QLatin1String("ok"))
                m.registerFault = false;
            else
                ok = false;
        } else {
            return QStringLiteral("unknown meter option '%1'").arg(key);
        }
        if (!ok)
            return QStringLiteral("bad value for %1: '%2'").arg(key, value);
    }
    for (MeterConfig &existing : config->meters)
        if (existing.stand == m.stand && existing.position == m.position) {
            existing = m;
            return {};
        }
    config->meters.append(m);
    return {};
}

}  // namespace

QString ParseConfig(const QString &text, ModelConfig *config)
{
    ModelConfig c;  // starts with no stands and no meters
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int n = 0; n < lines.size(); ++n) {
        QString line = lines.at(n);
        const int hash = line.indexOf(QLatin1Char('#'));
        if (hash >= 0)
            line.truncate(hash);
        line = line.trimmed();
        if (line.isEmpty())
            continue;
        QString problem;
        if (line.startsWith(QLatin1String("meter "))) {
            problem = parseMeter(line.split(QLatin1Char(' '), Qt::SkipEmptyParts), &c);
        } else {
            const int eq = line.indexOf(QLatin1Char('='));
            const QString key = eq > 0 ? line.left(eq).trimmed().toLower() : QString();
            const QString value = eq > 0 ? line.mid(eq + 1).trimmed() : QString();
            double number = 0;
            if (key == QLatin1String("stands")) {
                for (const QString &w : value.split(QRegularExpression(QStringLiteral("[ ,]+")), Qt::SkipEmptyParts)) {
                    const int s = w.toInt();
                    if (s < 1 || s > 5)
                        problem = QStringLiteral("stand '%1' is not 1-5").arg(w);
                    else
                        c.present[s] = true;
                }
            } else if (key == QLatin1String("absent")) {
                if (value == QLatin1String("answer"))
                    c.answerForAbsent = true;
                else if (value == QLatin1String("silent"))
                    c.answerForAbsent = false;
                else
                    problem = QStringLiteral("absent must be 'answer' or 'silent'");
            } else if (key == QLatin1String("time_factor") || key == QLatin1String("pulse_seconds") ||
                       key == QLatin1String("start_seconds") || key == QLatin1String("creep_seconds") ||
                       key == QLatin1String("reply_delay_ms") || key == QLatin1String("seed")) {
                if (!parseNumber(value, &number) || number < 0) {
                    problem = QStringLiteral("bad value for %1: '%2'").arg(key, value);
                } else if (key == QLatin1String("time_factor")) {
                    c.timeFactor = number;
                } else if (key == QLatin1String("pulse_seconds")) {
                    c.pulseSeconds = number;
                } else if (key == QLatin1String("start_seconds")) {
                    c.startSeconds = number;
                } else if (key == QLatin1String("creep_seconds")) {
                    c.creepSeconds = number;
                } else if (key == QLatin1String("reply_delay_ms")) {
                    c.replyDelayMs = int(std::min(number, 10000.0));
                } else {
                    c.seed = unsigned(number);
                }
            } else {
                problem = QStringLiteral("unknown setting '%1'").arg(eq > 0 ? key : line);
            }
        }
        if (!problem.isEmpty())
            return QStringLiteral("line %1: %2").arg(QString::number(n + 1), problem);
    }
    *config = c;
    return {};
}

QString LoadConfig(const QString &path, ModelConfig *config)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QStringLiteral("%1: %2").arg(path, f.errorString());
    const QString problem = ParseConfig(QString::fromUtf8(f.readAll()), config);
    return problem.isEmpty() ? problem : path + QStringLiteral(": ") + problem;
}

StandModel::StandModel(ModelConfig config) : m_config(std::move(config)), m_random(m_config.seed)
{
    for (const MeterConfig &m : m_config.meters)
        m_meters.push_back({m, 0, 0});
}

namespace {
// A simulator serving for days must not keep every byte: keep the latest.
template <typename List>
void keepLatest(List &list, int limit)
{
    if (int(list.size()) > limit)
        list.erase(list.begin(), list.begin() + (list.size() - limit / 2));
}
}  // namespace

QByteArray StandModel::Receive(char byte, qint64 nowNs)
{
    keepLatest(m_received, 200000);
    keepLatest(m_framesIn, 20000);
    keepLatest(m_framesOut, 20000);
    m_received.push_back({byte, nowNs});
    if (!m_inFrame) {
        if (byte != frame::Start)
            return {};
        m_inFrame = true;
        m_frame.clear();
    }
    m_frame.append(byte);
    if (byte != frame::ETX) {
        // A request is a few bytes; a runaway one is line noise.
        if (m_frame.size() > 256)
            m_inFrame = false;
        return {};
    }
    m_inFrame = false;
    m_framesIn.append(m_frame);
    const QByteArray reply = Handle(m_frame, nowNs);
    if (!reply.isEmpty())
        m_framesOut.append(reply);
    return reply;
}

qint64 StandModel::Seconds(double s) const { return qint64(s * m_config.timeFactor * 1e9); }

QByteArray StandModel::Handle(const QByteArray &f, qint64 nowNs)
{
    const Request r = DecodeRequest(f);
    if (r.kind == Request::Unknown || r.stand < 0 || r.stand > 5)
        return {};
    if (r.kind == Request::Auto) {
        // Every poll begins with this request, and a run begins with a poll:
        // the per-point errors of a meter start again from the first point.
        for (StandState &stand : m_stands)
            stand.errorPoints = 0;
        bool any = false;
        for (int s = 1; s <= 5; ++s)
            any = any || m_config.present[s];
        if (any)
            return AnswerFrame(0);
        return m_config.answerForAbsent ? NotPresentFrame(0) : QByteArray();
    }
    if (r.stand == 0)
        return {};
    const int s = r.stand;
    if (!m_config.present[s]) {
        // A set-up frame gets no reply from any stand.
        if (r.kind == Request::Setup || !m_config.answerForAbsent)
            return {};
        return NotPresentFrame(s);
    }
    StandState &stand = m_stands[s];
    switch (r.kind) {
    case Request::Poll:
        return AnswerFrame(s);
    case Request::StandReset:
        for (Meter &m : m_meters)
            if (m.config.stand == s) {
                m.startNs = nowNs;
                m.reports = 0;
            }
        return AcknowledgeFrame(s, 'V');
    case Request::MeterReset:
        for (Meter &m : m_meters)
            if (m.config.stand == s && m.config.position == r.position) {
                m.startNs = nowNs;
                m.reports = 0;
            }
        return AcknowledgeFrame(s, 'W');
    case Request::Setup:
        stand.setUp = true;
        stand.letter = r.letter;
        stand.count = r.count;
        stand.constant = r.constant();
        stand.energy = r.energy;
        if (r.letter == 'P')
            ++stand.errorPoints;
        for (Meter &m : m_meters)
            if (m.config.stand == s) {
                m.startNs = nowNs;
                m.reports = 0;
            }
        return {};
    case Request::ResultsQuery:
        return Results(s, nowNs);
    default:
        return {};
    }
}

double StandModel::ErrorOf(const Meter &m, int point)
{
    double e = point >= 1 && point <= m.config.errors.size() ? m.config.errors.at(point - 1) : m.config.error;
    if (m.config.noise > 0)
        e += std::uniform_real_distribution<double>(-m.config.noise, m.config.noise)(m_random);
    return e;
}

QByteArray StandModel::Results(int s, qint64 nowNs)
{
    const StandState &stand = m_stands[s];
    QByteArray groups;
    if (stand.setUp) {
        for (Meter &m : m_meters) {
            if (m.config.stand != s)
                continue;
            const qint64 elapsed = nowNs - m.startNs;
            switch (stand.letter) {
            case 'P': {
                // One report per measured batch of turns or pulses; at most one
                // per request, the rest follow with the next requests.
                const qint64 period = std::max<qint64>(1, Seconds(m_config.pulseSeconds * std::max(1, stand.count)));
                if (elapsed / period > m.reports && !(m.config.registerFault && m.reports >= 1)) {
                    ++m.reports;
                    groups += ValueGroup(m.config.position, ErrorText(ErrorOf(m, stand.errorPoints)));
                }
                break;
            }
            case 'Q':
                if (m.config.starts && elapsed >= Seconds(m_config.startSeconds))
                    groups += PulseGroup(m.config.position);
                break;
            case 'R':
                if (m.config.creeps && elapsed >= Seconds(m_config.creepSeconds))
                    groups += ValueGroup(m.config.position, "00001");
                break;
            default:
                break;
            }
        }
    }
    return ResultsFrame(s, groups);
}

std::vector<double> StandModel::ByteGapsMs() const
{
    std::vector<double> gaps;
    bool inFrame = false;
    qint64 last = 0;
    for (const ReceivedByte &b : m_received) {
        if (!inFrame) {
            if (b.byte == frame::Start) {
                inFrame = true;
                last = b.ns;
            }
            continue;
        }
        gaps.push_back((b.ns - last) / 1e6);
        last = b.ns;
        if (b.byte == frame::ETX)
            inFrame = false;
    }
    return gaps;
}

void StandModel::ClearLog()
{
    m_received.clear();
    m_framesIn.clear();
    m_framesOut.clear();
}

}  // namespace kvstands
