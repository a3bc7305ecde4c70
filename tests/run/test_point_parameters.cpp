// What a point demands: the operator's description lines, the register test's
// division arithmetic, the transformer factor and the countdown.

#include "run/point_parameters.h"
#include "setup/run_setup.h"

#include <QTest>

using namespace kvintor;

namespace {

PointRow row(int percentU, double percentI, double km = 1, int lc = 0, int count = 5)
{
    PointRow r;
    r.PPersentU = percentU;
    r.PPersentI = percentI;
    r.PPhaseUA = r.PPhaseUB = r.PPhaseUC = true;
    r.PPhaseIA = r.PPhaseIB = r.PPhaseIC = true;
    r.PKM = km;
    r.PLC = lc;
    r.PCountRotation = count;
    r.PMode = QStringLiteral("п");
    return r;
}

}  // namespace

class TestPointParameters : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void threePhaseThreeWireDescription()
    {
        const RunElectrics run{2, 100, 5, 1};
        PointRow r = row(100, 20, 0.5, 1);
        r.PPhaseUB = false;
        r.PPhaseIC = false;
        const PointQuantities q = ComputePointQuantities(r, KindError, run);
        QCOMPARE(PointDescription(q, KindError),
                 (QStringList{QStringLiteral("Напряжение.......................... 57.74 В"),
                              QStringLiteral("Фазы напряжения................ A     C"),
                              QStringLiteral("Ток.......................................... 1.000 A"),
                              QStringLiteral("Фазы тока............................. A B "),
                              QStringLiteral("Коэффициент мощности.... 0.5/L"),
                              QStringLiteral("Схема включения................ 3ф 3п"),
                              QStringLiteral("Энергия................................. Активная")}));
        // The load kind after "/" is not part of the factor.
        QCOMPARE(q.cosPhi, 0.5);
        QCOMPARE(q.count, 5);
    }

    void currentBelowOneAmpereInMilliamperes()
    {
        const RunElectrics run{1, 230, 5, 2};
        const QStringList small = PointDescription(ComputePointQuantities(row(100, 1), KindError, run), KindError);
        QCOMPARE(small.at(2), QStringLiteral("Ток.......................................... 50.00 mA"));
        QVERIFY(small.at(0).endsWith(QStringLiteral(" 230.00 В")));
        QVERIFY(small.at(6).endsWith(QStringLiteral("Реактивная")));
        QVERIFY(small.at(5).endsWith(QStringLiteral("1ф")));
        const QStringList one = PointDescription(ComputePointQuantities(row(100, 20), KindError, run), KindError);
        QCOMPARE(one.at(2), QStringLiteral("Ток.......................................... 1.000 A"));
        QCOMPARE(PowerFactorText(0.8, 2), QStringLiteral("0.8/C"));
        QCOMPARE(PowerFactorText(1, 0), QStringLiteral("1"));
    }

    void specialTestsAddTheirLineAndCountNothing()
    {
        const RunElectrics run{3, 57.7, 5, 1};
        const PointQuantities sens = ComputePointQuantities(row(100, 0.4), KindSensitivity, run);
        QCOMPARE(sens.count, 0);
        QCOMPARE(sens.countText, QStringLiteral("0"));
        QCOMPARE(PointDescription(sens, KindSensitivity).last(),
                 QStringLiteral("  Тест......................чувствительность"));
        QCOMPARE(PointDescription(sens, KindCreep).last(), QStringLiteral("  Тест.......................самоход"));
        QCOMPARE(PointDescription(sens, KindRegister).last(),
                 QStringLiteral("  Тест...................счетное устройство"));
        QCOMPARE(PointDescription(sens, KindOther).size(), 7);
        QVERIFY(PointDescription(sens, KindOther).at(5).endsWith(QStringLiteral("3ф 4п")));
    }

    void pointKinds()
    {
        QCOMPARE(PointKindOf(QStringLiteral("п")), 0);
        QCOMPARE(PointKindOf(QStringLiteral("ч")), 1);
        QCOMPARE(PointKindOf(QStringLiteral("с")), 2);
        QCOMPARE(PointKindOf(QStringLiteral("с/у")), 3);
        for (const QString &other : {QString(), QStringLiteral("x"), QStringLiteral("П"), QStringLiteral("с/")})
            QCOMPARE(PointKindOf(other), 4);
        QCOMPARE(TestLetter(KindError), 'P');
        QCOMPARE(TestLetter(KindRegister), 'P');
        QCOMPARE(TestLetter(KindSensitivity), 'Q');
        QCOMPARE(TestLetter(KindCreep), 'R');
        QCOMPARE(TestLetter(KindOther), char(0));
    }

    void constantsInPulsesPerKWh()
    {
        QCOMPARE(pulsesPerKWh(1, 2), 1.0);
        QCOMPARE(pulsesPerKWh(1800, 3), 2000.0);
        QCOMPARE(pulsesPerKWh(0.5, 2), 2.0);
        QCOMPARE(pulsesPerKWh(1000, 1), 1000.0);
        QCOMPARE(pulsesPerKWh(0, 3), 0.0);
        QCOMPARE(pulsesPerKWh(-5, 1), 0.0);
    }

    void registerTestDivision()
    {
        auto d = RegisterDivisionFor(1000, 0.1);
        QVERIFY(d);
        QCOMPARE(d->PulsesPerDivision, 100);
        QCOMPARE(d->Reports, 2);
        QCOMPARE(d->PulsesPerReport, 50);
        QCOMPARE(d->DivisionValue, 0.1);
        QCOMPARE(CountText(d->PulsesPerReport), QStringLiteral("50"));

        d = RegisterDivisionFor(300, 0.1);  // 30 per division
        QCOMPARE(d->Reports, 1);
        QCOMPARE(d->PulsesPerReport, 30);
        d = RegisterDivisionFor(101, 1);  // three reports of 34 (33.67 rounded)
        QCOMPARE(d->Reports, 3);
        QCOMPARE(d->PulsesPerReport, 34);
        d = RegisterDivisionFor(5, 1);
        QCOMPARE(CountText(d->PulsesPerReport), QStringLiteral("05"));
        d = RegisterDivisionFor(125, 1);  // 3 reports of 41.67: 42 stays within 50
        QVERIFY(d->PulsesPerReport <= 50);
        // A type without a division value, or one finer than a pulse, cannot be counted.
        QVERIFY(!RegisterDivisionFor(1000, 0));
        QVERIFY(!RegisterDivisionFor(1000, 0.0004));
        QVERIFY(!RegisterDivisionFor(1000, -0.1));
    }

    void transformerFactorAndCounts()
    {
        QCOMPARE(TransformerFactor(true, true, false), 5.0);
        QCOMPARE(TransformerFactor(true, false, true), 1.0);
        QCOMPARE(TransformerFactor(false, true, true), 2.5);
        QCOMPARE(TransformerFactor(false, true, false), 1.0);
        QCOMPARE(CountText(QStringLiteral("7")), QStringLiteral("07"));
        QCOMPARE(CountText(QStringLiteral("0")), QStringLiteral("00"));
        QCOMPARE(CountText(12), QStringLiteral("12"));
        QCOMPARE(CountText(120), QStringLiteral("120"));
        QCOMPARE(RoundEven(2.5), 2.0);
        QCOMPARE(RoundEven(3.5), 4.0);
        QCOMPARE(RoundEven(-0.5), -0.0);
    }

    void errorPointCountdown()
    {
        // 2.5 × 10 pulses at 1000 imp/kWh, 3 × 57.74 V × 5 A × 1 = 866.1 W: 104 s.
        QCOMPARE(*ErrorPointSeconds(10, 1000, 3, 1, 57.74, 5), 104);
        // Single phase 230 V, 5 A, cos 0.5: 2.5 × 5 × 3600000 / (1600 × 575) = 48.9 → 49.
        QCOMPARE(*ErrorPointSeconds(5, 1600, 1, 0.5, 230, 5), 49);
        // Halves go to the even neighbour: 2.5 × 1 × 3600000 / 3600000 = 2.5 → 2.
        QCOMPARE(*ErrorPointSeconds(1, 1000, 1, 1, 3600, 1), 2);
        QCOMPARE(*ErrorPointSeconds(596, 1000, 1, 1, 100, 5), 10728);
        QCOMPARE(*ErrorPointSeconds(0, 1000, 1, 1, 100, 5), 0);
    }

    void countdownFailures_data()
    {
        QTest::addColumn<int>("N");
        QTest::addColumn<double>("Kmax");
        QTest::addColumn<double>("cosPhi");
        QTest::addColumn<double>("I");
        QTest::newRow("no current") << 10 << 1000.0 << 1.0 << 0.0;
        QTest::newRow("zero power factor") << 10 << 1000.0 << 0.0 << 5.0;
        QTest::newRow("no constant") << 10 << 0.0 << 1.0 << 5.0;
        QTest::newRow("N above 596") << 597 << 1000.0 << 1.0 << 5.0;
        QTest::newRow("result beyond 32 bits") << 596 << 1.0 << 1.0 << 0.0001;
        QTest::newRow("negative power") << 10 << 1000.0 << -0.5 << 5.0;
    }
    void countdownFailures()
    {
        QFETCH(int, N);
        QFETCH(double, Kmax);
        QFETCH(double, cosPhi);
        QFETCH(double, I);
        QVERIFY(!ErrorPointSeconds(N, Kmax, 1, cosPhi, 100, I));
    }

    void specialTestDurationAndText()
    {
        QCOMPARE(*SpecialTestSeconds(2, 30), 150);
        QCOMPARE(*SpecialTestSeconds(0, 59.9), 59);
        QVERIFY(!SpecialTestSeconds(-1, 0));
        QCOMPARE(CountdownText(65), QStringLiteral("1 мин  05 сек"));
        QCOMPARE(CountdownText(0), QStringLiteral("0 мин  00 сек"));
        QCOMPARE(CountdownText(600), QStringLiteral("10 мин  00 сек"));
        QCOMPARE(CountdownText(59), QStringLiteral("0 мин  59 сек"));
    }
};

QTEST_GUILESS_MAIN(TestPointParameters)
#include "test_point_parameters.moc"
