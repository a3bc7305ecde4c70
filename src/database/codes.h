#pragma once
// Code lists of the shared tables and the texts the windows show for them.

#include <QString>

namespace kv {

// TTip.PIdentReductRate: unit of the meter constant.
enum class ConstUnit : int { PulsesPerKWh = 1, KWhPerPulse = 2, WsPerPulse = 3 };
// TTip.PPhase: connection scheme.
enum class Scheme : int { SinglePhase = 1, ThreePhaseThreeWire = 2, ThreePhaseFourWire = 3 };
// TTip.PEnergy: energy measured.
enum class Energy : int { Active = 1, Reactive = 2 };
// TTestPoint.PLC / TTestBuf.PLC: load character.
enum class LoadCharacter : int { None = 0, Inductive = 1, Capacitive = 2 };
// TPositionCH.PSensitivity and PSamochod: was the effect observed.
enum class Observed : int { NotDone = 0, Yes = 1, No = 2 };
// TPositionCH.PCountDevice: register test.
enum class RegisterResult : int { NotDone = 0, InOrder = 1, Failed = 2 };
// TPositionCH.PTotal: verdict for the meter.
enum class Verdict : int { NoData = 0, Fit = 1, Unfit = 2 };

// Texts by code; an unknown code gives an empty text.
QString constUnitText(int code);
QString schemeText(int code);
QString energyText(int code);
QString loadCharacterText(int code);      // "*", "L", "C"
QString observedText(int code);           // sensitivity and creep
QString registerResultText(int code);
QString verdictText(int code);

// TTestBuf.PMode: kind of a row of the running test.
namespace RowKind {
inline const QString ErrorPoint = QStringLiteral("п");
inline const QString Sensitivity = QStringLiteral("ч");
inline const QString Creep = QStringLiteral("с");
inline const QString Register = QStringLiteral("с/у");
}  // namespace RowKind

// The failing outcomes of the special tests.
inline bool sensitivityFails(int code) { return code == int(Observed::No); }
inline bool creepFails(int code) { return code == int(Observed::Yes); }
inline bool registerFails(int code) { return code == int(RegisterResult::Failed); }

}  // namespace kv
