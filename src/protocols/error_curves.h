#pragma once
// Error curves: a meter's error against its load current, one curve per power
// factor and phase set, inside the permissible-error envelope of the points.
// Widget-free: both programs feed it (a run's results, an archived record)
// through CurveSource, and the chart, the protocol picture and the benchmarks
// read the CurveSet it makes.
//
// A point the meter has no reading for stays a point without an error (a gap
// in the line), never a zero: a zero error is a perfect reading. Special tests
// (sensitivity, creep, register) are listed beside the curves, not plotted.

#include <QString>
#include <QStringList>
#include <QVector>
#include <QtNumeric>

#include <optional>

namespace kv {

// Phases carrying current at a point: bit 0 A, bit 1 B, bit 2 C.
enum PhaseBits { PhaseA = 1, PhaseB = 2, PhaseC = 4, PhasesAll = 7 };

// One point of the test the meters ran, as the test defines it.
struct CurveTestPoint {
    int number = 0;        // the test's point number (what the archive's PPointNumber holds)
    double percentU = 100; // per cent of the nominal voltage
    double percentI = 0;   // per cent of the basic current
    int phases = PhasesAll;
    double powerFactor = 1;
    int loadCharacter = 0; // 0 none, 1 "L", 2 "C"
    double limit = 0;      // permissible error, per cent
};

// What the meter's special tests came to (codes of the archive: 0 not done).
struct CurveSpecialResults {
    int sensitivity = 0;  // 1 "есть", 2 "нет" (fails)
    int creep = 0;        // 1 "есть" (fails), 2 "нет"
    int registerTest = 0; // 1 "норма", 2 "нет" (fails)
};

struct CurveReading {
    int point = 0;        // CurveTestPoint::number
    double error = 0;     // per cent, with its sign
    // The limit the reading was judged against when it differs from the
    // test's (the archive keeps it with the reading); NaN: the test's.
    double limit = qQNaN();
};

struct CurveMeterSource {
    int position = 0;  // stand × 10 + place
    QString number;    // serial number as typed; may be empty
    QVector<CurveReading> readings;
    CurveSpecialResults special;
};

struct CurveTypeInfo {
    QString type;        // PTip
    QString designation; // PIdentificator
    double unom = 0;     // V
    double inom = 0;     // basic (or rated) current, A
    double imax = 0;     // A
    int scheme = 3;      // 1 single-phase, 2 three-wire, 3 four-wire
};

struct CurveSource {
    CurveTypeInfo type;
    QString test;   // the test's name
    QString place;  // where the meters sat ("Стенд №2"); may be empty
    QVector<CurveTestPoint> points;
    QVector<CurveMeterSource> meters;
};

struct CurvePoint {
    int number = 0;
    double percentI = 0;
    double amperes = 0;
    double percentU = 0;
    double volts = 0;
    std::optional<double> error;  // none: no reading (a gap)
    double limit = 0;             // magnitude, per cent
    // The reading lies beyond its limit (|error| > |limit|: at the limit passes,
    // as the archive's verdict has it).
    bool failing() const;
};

// The curves of one power factor and phase set share a key; the group list of
// a CurveSet holds each key once, in the order the chart offers them.
struct CurveKey {
    int phases = PhasesAll;
    double powerFactor = 1;
    int loadCharacter = 0;
    bool operator==(const CurveKey &other) const;
    bool operator<(const CurveKey &other) const;
    // "1", "0.5L", "0.8C".
    QString powerFactorText() const;
    // "все фазы", "фаза A" ... ("фазы AB" for two).
    QString phasesText() const;
    // "cos φ 0.5L, все фазы".
    QString text() const;
};

struct Curve {
    CurveKey key;
    QVector<CurvePoint> points;  // by current, ascending
};

struct MeterCurves {
    int position = 0;
    QString number;
    QVector<Curve> curves;
    CurveSpecialResults special;
    // "Счетчик 0123 (21)" or "Позиция 21" when no number was typed.
    QString label() const;
    const Curve *curve(const CurveKey &key) const;
    bool failing() const;  // a reading beyond its limit, or a failed special test
};

// One step of the envelope: from `fromPercent` (inclusive) to the next step,
// the error must lie within ±limit.
struct EnvelopeStep {
    double fromPercent = 0;
    double toPercent = 0;
    double limit = 0;
};

struct CurveSet {
    CurveTypeInfo type;
    QString test;
    QString place;
    QVector<CurveKey> groups;
    QVector<MeterCurves> meters;
    // "СО-505 И1 — Поверка", then " — Стенд №2" when the place is known.
    QString title() const;
    // The envelope of a group, from its points' limits: each point's limit
    // holds from its current up to the next point's. Empty for an unknown group.
    QVector<EnvelopeStep> envelope(const CurveKey &key) const;
    // Percent of the basic current → amperes (0 when the type has no current).
    double amperes(double percentI) const { return percentI * type.inom / 100.0; }
};

// The lines of the special tests beside the curves: "Чувствительность: есть"
// and so on, only for the tests the meter went through.
QStringList specialTestLines(const CurveSpecialResults &special);

// Builds the curves. Points the test lists but a meter lacks a reading for
// are kept as gaps; readings of points the test does not list are dropped
// (nothing tells where to plot them).
CurveSet BuildCurves(const CurveSource &source);

}  // namespace kv
