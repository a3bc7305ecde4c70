#include "protocols/error_curves.h"

#include <QHash>
#include <QtNumeric>

#include <tuple>

#include <algorithm>
#include <cmath>

namespace kv {

namespace {

// Power factors are typed with a few decimals; 0.5 and 0.50000001 are one curve.
long long factorKey(double pf) { return std::llround(pf * 1000.0); }

QString factorText(double pf)
{
    return QString::number(pf, 'g', 6);
}

int phaseCount(int phases)
{
    return ((phases & PhaseA) ? 1 : 0) + ((phases & PhaseB) ? 1 : 0) + ((phases & PhaseC) ? 1 : 0);
}

// Rank of a phase set in the group list: all phases first, then A, B, C alone,
// then any other combination.
int phaseRank(int phases)
{
    switch (phases) {
    case PhasesAll: return 0;
    case PhaseA: return 1;
    case PhaseB: return 2;
    case PhaseC: return 3;
    default: return 4 + phases;
    }
}

// Unity first, then inductive loads from the highest factor down, then capacitive.
std::tuple<int, long long> factorRank(const CurveKey &k)
{
    return {k.loadCharacter, -factorKey(k.powerFactor)};
}

}  // namespace

bool CurvePoint::failing() const
{
    return error && std::fabs(*error) > std::fabs(limit);
}

bool CurveKey::operator==(const CurveKey &other) const
{
    return phases == other.phases && loadCharacter == other.loadCharacter
           && factorKey(powerFactor) == factorKey(other.powerFactor);
}

bool CurveKey::operator<(const CurveKey &other) const
{
    const auto a = std::make_tuple(phaseRank(phases), factorRank(*this));
    const auto b = std::make_tuple(phaseRank(other.phases), factorRank(other));
    return a < b;
}

QString CurveKey::powerFactorText() const
{
    QString text = factorText(powerFactor);
    if (loadCharacter == 1)
        text += QLatin1Char('L');
    else if (loadCharacter == 2)
        text += QLatin1Char('C');
    return text;
}

QString CurveKey::phasesText() const
{
    if (phases == PhasesAll || phases == 0)
        return QStringLiteral("все фазы");
    QString letters;
    if (phases & PhaseA)
        letters += QLatin1Char('A');
    if (phases & PhaseB)
        letters += QLatin1Char('B');
    if (phases & PhaseC)
        letters += QLatin1Char('C');
    return (phaseCount(phases) == 1 ? QStringLiteral("фаза ") : QStringLiteral("фазы ")) + letters;
}

QString CurveKey::text() const
{
    return QStringLiteral("cos φ ") + powerFactorText() + QStringLiteral(", ") + phasesText();
}

QString MeterCurves::label() const
{
    const QString place = QString::number(position);
    if (number.trimmed().isEmpty())
        return QStringLiteral("Позиция ") + place;
    return QStringLiteral("Счетчик ") + number.trimmed() + QStringLiteral(" (") + place + QLatin1Char(')');
}

const Curve *MeterCurves::curve(const CurveKey &key) const
{
    for (const Curve &c : curves)
        if (c.key == key)
            return &c;
    return nullptr;
}

bool MeterCurves::failing() const
{
    if (special.sensitivity == 2 || special.creep == 1 || special.registerTest == 2)
        return true;
    for (const Curve &c : curves)
        for (const CurvePoint &p : c.points)
            if (p.failing())
                return true;
    return false;
}

QString CurveSet::title() const
{
    QString name = type.type.trimmed();
    if (!type.designation.trimmed().isEmpty())
        name += QLatin1Char(' ') + type.designation.trimmed();
    for (const QString &part : {test.trimmed(), place.trimmed()})
        if (!part.isEmpty())
            name += (name.isEmpty() ? QString() : QStringLiteral(" — ")) + part;
    return name;
}

QVector<EnvelopeStep> CurveSet::envelope(const CurveKey &key) const
{
    // Every meter of a set ran the same test, so the points (and their limits)
    // agree; a meter with a reading knows the limit it was judged against.
    QVector<CurvePoint> points;
    for (const MeterCurves &m : meters) {
        const Curve *c = m.curve(key);
        if (!c)
            continue;
        if (points.isEmpty()) {
            points = c->points;
            continue;
        }
        for (int i = 0; i < points.size() && i < c->points.size(); ++i)
            if (!points[i].error && c->points[i].error)
                points[i] = c->points[i];
    }
    QVector<EnvelopeStep> steps;
    for (int i = 0; i < points.size(); ++i) {
        const CurvePoint &p = points[i];
        const double to = i + 1 < points.size() ? points[i + 1].percentI : p.percentI;
        // Points at one current with different limits: the last one read counts.
        if (!steps.isEmpty() && steps.last().fromPercent == p.percentI) {
            steps.last().limit = std::fabs(p.limit);
            steps.last().toPercent = to;
            continue;
        }
        steps.append({p.percentI, to, std::fabs(p.limit)});
    }
    return steps;
}

QStringList specialTestLines(const CurveSpecialResults &special)
{
    QStringList lines;
    auto yesNo = [](int code, const char *yes) {
        return code == 1 ? QString::fromUtf8(yes) : QStringLiteral("нет");
    };
    if (special.sensitivity != 0)
        lines << QStringLiteral("Чувствительность: ") + yesNo(special.sensitivity, "есть");
    if (special.creep != 0)
        lines << QStringLiteral("Самоход: ") + yesNo(special.creep, "есть");
    if (special.registerTest != 0)
        lines << QStringLiteral("Счетное устройство: ") + yesNo(special.registerTest, "норма");
    return lines;
}

CurveSet BuildCurves(const CurveSource &source)
{
    CurveSet set;
    set.type = source.type;
    set.test = source.test;
    set.place = source.place;
    const bool singlePhase = source.type.scheme == 1;

    auto keyOf = [singlePhase](const CurveTestPoint &p) {
        CurveKey key;
        // A single-phase meter has one circuit: whichever phase the stand
        // feeds, it is the whole meter.
        key.phases = singlePhase || p.phases == 0 ? int(PhasesAll) : (p.phases & PhasesAll);
        key.powerFactor = p.powerFactor;
        // Unity power factor has no load character, whatever the row says.
        key.loadCharacter = factorKey(p.powerFactor) == 1000 ? 0 : p.loadCharacter;
        return key;
    };

    // Points of each group, by current; equal currents keep the test's order.
    QVector<CurveTestPoint> points = source.points;
    std::stable_sort(points.begin(), points.end(),
                     [](const CurveTestPoint &a, const CurveTestPoint &b) { return a.percentI < b.percentI; });
    for (const CurveTestPoint &p : points) {
        const CurveKey key = keyOf(p);
        if (!set.groups.contains(key))
            set.groups.append(key);
    }
    std::stable_sort(set.groups.begin(), set.groups.end());

    for (const CurveMeterSource &m : source.meters) {
        MeterCurves meter;
        meter.position = m.position;
        meter.number = m.number;
        meter.special = m.special;
        QHash<int, const CurveReading *> byPoint;
        for (const CurveReading &r : m.readings)
            byPoint.insert(r.point, &r);
        for (const CurveKey &key : set.groups) {
            Curve curve;
            curve.key = key;
            for (const CurveTestPoint &p : points) {
                if (!(keyOf(p) == key))
                    continue;
                CurvePoint cp;
                cp.number = p.number;
                cp.percentI = p.percentI;
                cp.amperes = set.amperes(p.percentI);
                cp.percentU = p.percentU;
                cp.volts = p.percentU * source.type.unom / 100.0;
                cp.limit = std::fabs(p.limit);
                if (const CurveReading *r = byPoint.value(p.number)) {
                    if (std::isfinite(r->error))
                        cp.error = r->error;
                    if (std::isfinite(r->limit))
                        cp.limit = std::fabs(r->limit);
                }
                curve.points.append(cp);
            }
            meter.curves.append(curve);
        }
        set.meters.append(meter);
    }
    return set;
}

}  // namespace kv
