#include "run/stand_setup_frames.h"

#include "core/error_report.h"
#include "link/stand_frames.h"
#include "protocols/text_convert.h"
#include "setup/data_module.h"
#include "setup/run_setup.h"

namespace kvintor {

std::array<StandTypeValues, 6> ChosenTypes(const RunSetup &setup)
{
    std::array<StandTypeValues, 6> types{};
    for (int s = 1; s <= 5; ++s) {
        if (!setup.StandInUse[s] || !setup.hasType(s))
            continue;
        Dataset *rows = setup.dm().ADOTipStend(s);
        if (!rows || !rows->locate(QStringLiteral("PIndex"), setup.StandSetup[s].typeIndex))
            continue;
        StandTypeValues &t = types[s];
        t.chosen = true;
        t.PReductRate = rows->value(QStringLiteral("PReductRate")).toDouble();
        t.PIdentReductRate = rows->value(QStringLiteral("PIdentReductRate")).toInt();
        t.PEnergy = rows->value(QStringLiteral("PEnergy")).toInt();
        t.PCenaDel = rows->value(QStringLiteral("PCenaDel")).toDouble();
    }
    return types;
}

namespace {

double constantOf(int stand, const StandTypeValues &type)
{
    if (!type.chosen)
        throw kv::Error(QStringLiteral("Не выбран тип счетчика для стенда №%1").arg(stand));
    const double K = pulsesPerKWh(type.PReductRate, type.PIdentReductRate);
    if (!(K > 0))
        throw kv::Error(QStringLiteral("Постоянная счетчика стенда №%1 должна быть больше нуля").arg(stand));
    return K;
}

int energyDigit(const StandTypeValues &type) { return type.PEnergy == 1 ? 1 : 2; }

}  // namespace

QList<StandSetupFrame> PointSetupFrames(int kind, int count, const std::array<StandTypeValues, 6> &types,
                                        const std::array<bool, 6> &inUse, double transformerFactor)
{
    QList<StandSetupFrame> frames;
    const char letter = TestLetter(kind);
    if (letter == 0)
        return frames;
    for (int s = 1; s <= 5; ++s) {
        if (!inUse[s])
            continue;
        StandSetupFrame f;
        f.stand = s;
        double K = constantOf(s, types[s]);
        int standCount = kind == KindError ? count : 0;
        if (kind == KindRegister) {
            const auto division = RegisterDivisionFor(K, types[s].PCenaDel);
            if (!division)
                throw kv::Error(QStringLiteral("Цена деления счетного устройства стенда №%1 меньше одного импульса")
                                    .arg(s));
            f.division = *division;
            standCount = division->PulsesPerReport;
        }
        K *= transformerFactor;
        // Throws for a constant without a mantissa and for a negative count.
        f.frame = SetupRequest(s, letter, K, standCount, energyDigit(types[s]));
        frames << f;
    }
    return frames;
}

QList<StandSetupFrame> ManualSetupFrames(const std::array<StandTypeValues, 6> &types, const std::array<bool, 6> &inUse,
                                         const std::array<QString, 6> &revolutions, double transformerFactor)
{
    QList<StandSetupFrame> frames;
    for (int s = 1; s <= 5; ++s) {
        if (!inUse[s])
            continue;
        StandSetupFrame f;
        f.stand = s;
        const double K = constantOf(s, types[s]) * transformerFactor;
        const int count = revolutions[s] == kAutomatic ? 0 : int(kv::TextToNumber(revolutions[s]));
        f.frame = SetupRequest(s, 'P', K, count, energyDigit(types[s]));
        frames << f;
    }
    return frames;
}

}  // namespace kvintor
