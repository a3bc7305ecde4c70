#pragma once
// What a point of the running test demands of the installation and of the
// stands: the voltage, current, phases and power factor the operator sets by
// hand, the lines that describe them, each stand's constant and count for its
// set-up request, and how long the run waits for the meters' answers.
// Numbers are written with "." whatever the regional settings.

#include <QString>
#include <QStringList>

#include <optional>

namespace kvintor {

class RecordTable;

// Kind of the current row, from its PMode.
enum PointKindCode { KindError = 0, KindSensitivity = 1, KindCreep = 2, KindRegister = 3, KindOther = 4 };

// "п" 0, "ч" 1, "с" 2, "с/у" 3, anything else 4.
int PointKindOf(const QString &mode);

// One row of TTestBuf, as the run reads it.
struct PointRow {
    int PNumPoint = 0;
    int PNumPoint1 = 0;
    int PNumPointBuf = 0;
    int PPersentU = 0;
    double PPersentI = 0;
    bool PPhaseUA = false, PPhaseUB = false, PPhaseUC = false;
    bool PPhaseIA = false, PPhaseIB = false, PPhaseIC = false;
    double PKM = 0;
    int PLC = 0;
    int PCountRotation = 0;
    double PMeasureMax = 0;
    QString PMode;

    // The current row of the table; a table without one gives an empty row.
    static PointRow fromCurrent(const RecordTable &table);
};

// The run's common electrical values, from the run setup.
struct RunElectrics {
    int scheme = 0;   // 1 "1ф", 2 "3ф 3п", 3 "3ф 4п"
    double Unom = 0;  // V
    double Inom = 0;  // A
    int energy = 0;   // 1 "Активная", 2 "Реактивная"
};

struct PointQuantities {
    double U = 0;  // V, per phase for a three-wire scheme
    double I = 0;  // A
    QString voltagePhases;
    QString currentPhases;
    QString powerFactor;  // "0.5/L"
    double cosPhi = 0;    // the number the power factor text stands for
    QString scheme;
    QString energy;
    // Error points count PCountRotation, sensitivity and creep 0; a register
    // test's count is worked out per stand (RegisterDivision).
    int count = 0;
    QString countText;
};

// "A " or four blanks, "B " or four blanks, "C" or nothing.
QString PhaseText(bool a, bool b, bool c);
// PKM as text with "/L" or "/C" by the load kind.
QString PowerFactorText(double km, int lc);
QString SchemeText(int scheme);
QString EnergyText(int energy);
// A decimal number with "." and the given number of decimals.
QString Fixed(double value, int decimals);

PointQuantities ComputePointQuantities(const PointRow &row, int kind, const RunElectrics &run);

// The lines shown to the operator in the point parameters dialog and the run window.
QStringList PointDescription(const PointQuantities &q, int kind);

// Register test, per stand: how many pulses make one division of the meter's
// register, and in how many equal reports of at most 50 pulses the stand
// counts them.
struct RegisterDivision {
    int PulsesPerDivision = 0;
    int Reports = 1;  // n
    int PulsesPerReport = 0;
    double DivisionValue = 0;
};
// K in pulses per kWh, divisionValue the register's division (PCenaDel).
// Empty when a division holds no whole pulse: the stand could not count it.
std::optional<RegisterDivision> RegisterDivisionFor(double K, double divisionValue);

// The current transformer multiplies the meter constant the stand sees:
// "И561" (tr1) with the reference meter's 1 A range by 5, "671111.104" with
// the 2.5 A secondary winding by 2.5, otherwise 1.
double TransformerFactor(bool tr1, bool referenceRange1A, bool winding25A);

// The count as the set-up request carries it: a single character gets a leading "0".
QString CountText(const QString &count);
QString CountText(int count);
// "P" for error points and register tests, "Q" sensitivity, "R" creep; 0 for other rows.
char TestLetter(int kind);

// Rounding of the run: to the nearest whole number, halves to the even one.
double RoundEven(double value);

// Seconds to wait for the meters' answers at an error point: two and a half
// times what a meter of constant Kmax needs for N pulses at the point's power
// (m the scheme code, standing for the number of measuring elements).
// Empty when the power is not positive, when N above 596 would take
// N × 3 600 000 out of 32 bits, or when the result does not fit 32 bits.
std::optional<int> ErrorPointSeconds(int N, double Kmax, int m, double cosPhi, double U, double I);
// Sensitivity, creep and register tests last PCountRotation minutes and
// PMeasureMax seconds. Empty when the duration does not fit 32 bits.
std::optional<int> SpecialTestSeconds(int minutes, double seconds);
// "1 мин  05 сек".
QString CountdownText(int secondsLeft);

}  // namespace kvintor
