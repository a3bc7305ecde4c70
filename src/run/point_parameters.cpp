#include "run/point_parameters.h"

#include "protocols/text_convert.h"
#include "setup/dataset.h"

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <limits>

namespace kvintor {

int PointKindOf(const QString &mode)
{
    if (mode == QStringLiteral("п"))
        return KindError;
    if (mode == QStringLiteral("ч"))
        return KindSensitivity;
    if (mode == QStringLiteral("с"))
        return KindCreep;
    if (mode == QStringLiteral("с/у"))
        return KindRegister;
    return KindOther;
}

PointRow PointRow::fromCurrent(const RecordTable &t)
{
    PointRow r;
    if (t.recNo() < 0)
        return r;
    auto v = [&t](const char *field) { return t.value(QLatin1String(field)); };
    r.PNumPoint = v("PNumPoint").toInt();
    r.PNumPoint1 = v("PNumPoint1").toInt();
    r.PNumPointBuf = v("PNumPointBuf").toInt();
    r.PPersentU = v("PPersentU").toInt();
    r.PPersentI = v("PPersentI").toDouble();
    r.PPhaseUA = v("PPhaseUA").toBool();
    r.PPhaseUB = v("PPhaseUB").toBool();
    r.PPhaseUC = v("PPhaseUC").toBool();
    r.PPhaseIA = v("PPhaseIA").toBool();
    r.PPhaseIB = v("PPhaseIB").toBool();
    r.PPhaseIC = v("PPhaseIC").toBool();
    r.PKM = v("PKM").toDouble();
    r.PLC = v("PLC").toInt();
    r.PCountRotation = v("PCountRotation").toInt();
    r.PMeasureMax = v("PMeasureMax").toDouble();
    r.PMode = v("PMode").toString().trimmed();
    return r;
}

QString PhaseText(bool a, bool b, bool c)
{
    const QString blank = QStringLiteral("    ");
    return (a ? QStringLiteral("A ") : blank) + (b ? QStringLiteral("B ") : blank) + (c ? QStringLiteral("C") : QString());
}

QString PowerFactorText(double km, int lc)
{
    QString text = kv::NumberToText(km, QLatin1Char('.'));
    if (lc == 1)
        text += QStringLiteral("/L");
    else if (lc == 2)
        text += QStringLiteral("/C");
    return text;
}

QString SchemeText(int scheme)
{
    switch (scheme) {
    case 1: return QStringLiteral("1ф");
    case 2: return QStringLiteral("3ф 3п");
    case 3: return QStringLiteral("3ф 4п");
    default: return {};
    }
}

QString EnergyText(int energy)
{
    switch (energy) {
    case 1: return QStringLiteral("Активная");
    case 2: return QStringLiteral("Реактивная");
    default: return {};
    }
}

QString Fixed(double value, int decimals)
{
    // QString::number ignores the locale, so the point stays a point.
    return QString::number(value, 'f', decimals);
}

QString CountText(const QString &count)
{
    return count.size() == 1 ? QLatin1Char('0') + count : count;
}

QString CountText(int count)
{
    return CountText(QString::number(count));
}

PointQuantities ComputePointQuantities(const PointRow &row, int kind, const RunElectrics &run)
{
    PointQuantities q;
    q.U = run.Unom / 100.0 * row.PPersentU;
    if (run.scheme == 2)
        q.U /= std::sqrt(3.0);
    q.I = run.Inom / 100.0 * row.PPersentI;
    q.voltagePhases = PhaseText(row.PPhaseUA, row.PPhaseUB, row.PPhaseUC);
    q.currentPhases = PhaseText(row.PPhaseIA, row.PPhaseIB, row.PPhaseIC);
    q.powerFactor = PowerFactorText(row.PKM, row.PLC);
    // The text carries the load kind after "/", which is no number: the
    // factor is the part before it, or an inductive point would count as no power.
    q.cosPhi = kv::TextToNumber(q.powerFactor.section(QLatin1Char('/'), 0, 0));
    q.scheme = SchemeText(run.scheme);
    q.energy = EnergyText(run.energy);
    if (kind == KindError) {
        q.count = row.PCountRotation;
        q.countText = QString::number(row.PCountRotation);
    } else {
        q.count = 0;
        q.countText = QStringLiteral("0");
    }
    return q;
}

QStringList PointDescription(const PointQuantities &q, int kind)
{
    QStringList lines;
    lines << QStringLiteral("Напряжение.......................... ") + Fixed(q.U, 2) + QStringLiteral(" В");
    lines << QStringLiteral("Фазы напряжения................ ") + q.voltagePhases;
    lines << QStringLiteral("Ток.......................................... ") +
                 (q.I < 1 ? Fixed(q.I * 1000, 2) + QStringLiteral(" mA") : Fixed(q.I, 3) + QStringLiteral(" A"));
    lines << QStringLiteral("Фазы тока............................. ") + q.currentPhases;
    lines << QStringLiteral("Коэффициент мощности.... ") + q.powerFactor;
    lines << QStringLiteral("Схема включения................ ") + q.scheme;
    lines << QStringLiteral("Энергия................................. ") + q.energy;
    if (kind == KindSensitivity)
        lines << QStringLiteral("  Тест......................чувствительность");
    else if (kind == KindCreep)
        lines << QStringLiteral("  Тест.......................самоход");
    else if (kind == KindRegister)
        lines << QStringLiteral("  Тест...................счетное устройство");
    return lines;
}

double RoundEven(double value)
{
    const int previous = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double r = std::nearbyint(value);
    std::fesetround(previous);
    return r;
}

namespace {

bool fitsInt32(double v)
{
    return std::isfinite(v) && v >= double(std::numeric_limits<qint32>::min()) &&
           v <= double(std::numeric_limits<qint32>::max());
}

}  // namespace

std::optional<RegisterDivision> RegisterDivisionFor(double K, double divisionValue)
{
    const double pulses = RoundEven(K * divisionValue);
    if (!fitsInt32(pulses) || pulses < 1)
        return std::nullopt;
    RegisterDivision d;
    d.DivisionValue = divisionValue;
    d.PulsesPerDivision = int(pulses);
    d.Reports = d.PulsesPerDivision <= 50 ? 1 : int(std::ceil(d.PulsesPerDivision / 50.0));
    d.PulsesPerReport = int(RoundEven(double(d.PulsesPerDivision) / d.Reports));
    return d;
}

double TransformerFactor(bool tr1, bool referenceRange1A, bool winding25A)
{
    if (tr1)
        return referenceRange1A ? 5.0 : 1.0;
    return winding25A ? 2.5 : 1.0;
}

char TestLetter(int kind)
{
    switch (kind) {
    case KindError:
    case KindRegister: return 'P';
    case KindSensitivity: return 'Q';
    case KindCreep: return 'R';
    default: return 0;
    }
}

std::optional<int> ErrorPointSeconds(int N, double Kmax, int m, double cosPhi, double U, double I)
{
    const double power = Kmax * m * cosPhi * U * I;
    if (!(power > 0) || !std::isfinite(power))
        return std::nullopt;
    // The product is a 32-bit whole number before it is divided.
    const qint64 pulsesTime = qint64(N) * 3600 * 1000;
    if (!fitsInt32(double(pulsesTime)))
        return std::nullopt;
    const double seconds = RoundEven(2.5 * double(pulsesTime) / power);
    // A negative count would never run down to 0.
    if (!fitsInt32(seconds) || seconds < 0)
        return std::nullopt;
    return int(seconds);
}

std::optional<int> SpecialTestSeconds(int minutes, double seconds)
{
    const double total = double(minutes) * 60.0 + std::trunc(seconds);
    if (!fitsInt32(total) || total < 0)
        return std::nullopt;
    return int(total);
}

QString CountdownText(int secondsLeft)
{
    const int s = std::max(secondsLeft, 0);
    return QString::number(s / 60) + QStringLiteral(" мин  ") + QStringLiteral("%1").arg(s % 60, 2, 10, QLatin1Char('0')) +
           QStringLiteral(" сек");
}

}  // namespace kvintor
