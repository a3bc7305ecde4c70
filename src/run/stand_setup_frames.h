#pragma once
// The set-up requests that tell each stand in use how to measure a point: its
// meter type's constant (with the current transformer's factor), the count,
// the test letter and the energy digit. Every request of a point is built
// before the first goes out, so a stand that cannot be set up leaves the line
// untouched.

#include "run/point_parameters.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <array>

namespace kvintor {

class RunSetup;

// What the run needs of the meter type chosen for a stand.
struct StandTypeValues {
    bool chosen = false;
    double PReductRate = 0;
    int PIdentReductRate = 0;
    int PEnergy = 0;
    double PCenaDel = 0;
};

// The accepted types of the stands in use, read from their type datasets when
// the run starts; [1..5].
std::array<StandTypeValues, 6> ChosenTypes(const RunSetup &setup);

struct StandSetupFrame {
    int stand = 0;
    QByteArray frame;
    // Register test only.
    RegisterDivision division;
};

// One request per stand in use, in stand order. `count` is the point's count
// (error points; sensitivity and creep send 0, a register test its pulses per
// report). A point of another kind gets no request. Throws kv::Error when a
// stand cannot be set up: no type, a constant that is not positive or has no
// mantissa, a register division without a whole pulse.
QList<StandSetupFrame> PointSetupFrames(int kind, int count, const std::array<StandTypeValues, 6> &types,
                                        const std::array<bool, 6> &inUse, double transformerFactor);

// Manual work: an error-point request per stand in use with the stand's turns
// setting as the count ("Автоматически" is 0).
QList<StandSetupFrame> ManualSetupFrames(const std::array<StandTypeValues, 6> &types, const std::array<bool, 6> &inUse,
                                         const std::array<QString, 6> &revolutions, double transformerFactor);

}  // namespace kvintor
