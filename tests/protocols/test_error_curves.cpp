#include "protocols/archive_curves.h"
#include "support/curves_run.h"
#include "support/test_env.h"

#include <QTest>

using kv::CurveKey;

namespace {

using curvestest::key;

const kv::CurvePoint *pointAt(const kv::CurveSet &set, int position, const CurveKey &k, double percentI)
{
    for (const kv::MeterCurves &m : set.meters) {
        if (m.position != position)
            continue;
        if (const kv::Curve *c = m.curve(k))
            for (const kv::CurvePoint &p : c->points)
                if (p.percentI == percentI)
                    return &p;
    }
    return nullptr;
}

}  // namespace

class TestErrorCurves : public QObject
{
    Q_OBJECT
    kvtest::TempDatabase *m_db = nullptr;
    kv::CurveSet m_run;

private Q_SLOTS:
    void initTestCase()
    {
        m_db = new kvtest::TempDatabase(QStringLiteral("curves"));
        curvestest::fill(m_db->db());
        QString error;
        QVERIFY2(kv::ReadArchiveCurves(m_db->db(), 1, {}, &m_run, &error), qPrintable(error));
    }
    void cleanupTestCase() { delete m_db; }

    void groupsByPowerFactorAndPhases()
    {
        QStringList texts;
        for (const CurveKey &k : m_run.groups)
            texts << k.text();
        QCOMPARE(texts, QStringList({"cos φ 1, все фазы", "cos φ 0.5L, все фазы", "cos φ 0.8C, все фазы",
                                     "cos φ 1, фаза A", "cos φ 0.5L, фаза A", "cos φ 1, фаза B", "cos φ 1, фаза C"}));
        QCOMPARE(m_run.title(), QStringLiteral("ЦЭ-3 Т1 — Кривая"));
        QCOMPARE(m_run.meters.size(), 3);
        // Every meter has every curve, its points by current whatever the test's order.
        for (const kv::MeterCurves &m : m_run.meters) {
            QCOMPARE(m.curves.size(), 7);
            const kv::Curve *unity = m.curve(key(7, 1, 0));
            QVERIFY(unity);
            QList<double> currents;
            for (const kv::CurvePoint &p : unity->points)
                currents << p.percentI;
            QCOMPARE(currents, QList<double>({5, 10, 100, 1200}));
        }
    }

    void points_data()
    {
        QTest::addColumn<int>("position");
        QTest::addColumn<int>("phases");
        QTest::addColumn<double>("pf");
        QTest::addColumn<int>("lc");
        QTest::addColumn<double>("percentI");
        QTest::addColumn<bool>("hasError");
        QTest::addColumn<double>("error");
        QTest::addColumn<bool>("failing");
        QTest::newRow("zero reading is a reading") << 11 << 7 << 1.0 << 0 << 100.0 << true << 0.0 << false;
        QTest::newRow("at its limit passes") << 11 << 7 << 1.0 << 0 << 10.0 << true << -1.0 << false;
        QTest::newRow("beyond its limit fails") << 11 << 7 << 0.5 << 1 << 100.0 << true << 1.2 << true;
        QTest::newRow("capacitive kept apart") << 11 << 7 << 0.8 << 2 << 100.0 << true << 0.7 << false;
        QTest::newRow("phase A alone") << 11 << 1 << 1.0 << 0 << 100.0 << true << 0.8 << false;
        QTest::newRow("phase A alone inductive") << 11 << 1 << 0.5 << 1 << 20.0 << true << 1.1 << false;
        QTest::newRow("missing reading is a gap") << 12 << 7 << 1.0 << 0 << 10.0 << false << 0.0 << false;
        QTest::newRow("missing on phase B is a gap") << 12 << 2 << 1.0 << 0 << 100.0 << false << 0.0 << false;
        QTest::newRow("meter without readings") << 13 << 7 << 1.0 << 0 << 5.0 << false << 0.0 << false;
    }
    void points()
    {
        QFETCH(int, position);
        QFETCH(int, phases);
        QFETCH(double, pf);
        QFETCH(int, lc);
        QFETCH(double, percentI);
        QFETCH(bool, hasError);
        QFETCH(double, error);
        QFETCH(bool, failing);
        const kv::CurvePoint *p = pointAt(m_run, position, key(phases, pf, lc), percentI);
        QVERIFY(p);
        QCOMPARE(p->error.has_value(), hasError);
        if (hasError)
            QCOMPARE(*p->error, error);
        QCOMPARE(p->failing(), failing);
        QCOMPARE(p->amperes, percentI * 5 / 100);
        QCOMPARE(p->volts, 230.0);
    }

    void envelopeFollowsEachPointsLimit()
    {
        const QVector<kv::EnvelopeStep> unity = m_run.envelope(key(7, 1, 0));
        QCOMPARE(unity.size(), 4);
        const double expected[4][3] = {{5, 10, 1.5}, {10, 100, 1.0}, {100, 1200, 1.0}, {1200, 1200, 1.0}};
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(unity[i].fromPercent, expected[i][0]);
            QCOMPARE(unity[i].toPercent, expected[i][1]);
            QCOMPARE(unity[i].limit, expected[i][2]);
        }
        const QVector<kv::EnvelopeStep> inductive = m_run.envelope(key(7, 0.5, 1));
        QCOMPARE(inductive.size(), 2);
        QCOMPARE(inductive[0].limit, 1.5);
        QCOMPARE(inductive[1].limit, 1.0);
        QCOMPARE(m_run.envelope(key(1, 1, 0)).value(0).limit, 2.0);
        QVERIFY(m_run.envelope(key(2, 0.5, 1)).isEmpty());
    }

    void archivedLimitWinsOverAnEditedTest()
    {
        // The test was edited after the run: the reading keeps the limit it was judged against.
        kvtest::execOrFail(m_db->db(), QStringLiteral("UPDATE TTestPoint SET PMeasureMax = 0.2 WHERE PNumPoint1 = 6"));
        kv::CurveSet set;
        QString error;
        QVERIFY(kv::ReadArchiveCurves(m_db->db(), 1, {}, &set, &error));
        kvtest::execOrFail(m_db->db(), QStringLiteral("UPDATE TTestPoint SET PMeasureMax = 1 WHERE PNumPoint1 = 6"));
        QCOMPARE(pointAt(set, 11, key(7, 0.5, 1), 100)->limit, 1.0);
        QCOMPARE(set.envelope(key(7, 0.5, 1)).value(1).limit, 1.0);
        // Meter 13 has no reading there: only the test knows a limit.
        QCOMPARE(pointAt(set, 13, key(7, 0.5, 1), 100)->limit, 0.2);
    }

    void metersAndSpecialTests()
    {
        QCOMPARE(m_run.meters[0].label(), QStringLiteral("Счетчик 1001 (11)"));
        QCOMPARE(m_run.meters[2].label(), QStringLiteral("Позиция 13"));
        QVERIFY(m_run.meters[0].failing());   // 1.2 beyond 1.0
        QVERIFY(m_run.meters[1].failing());   // did not start
        QVERIFY(!m_run.meters[2].failing());  // nothing measured, nothing failed
        QCOMPARE(kv::specialTestLines(m_run.meters[1].special), QStringList{"Чувствительность: нет"});
        QVERIFY(kv::specialTestLines(m_run.meters[2].special).isEmpty());
        kv::CurveSpecialResults all{1, 1, 1};
        QCOMPARE(kv::specialTestLines(all),
                 QStringList({"Чувствительность: есть", "Самоход: есть", "Счетное устройство: норма"}));
    }

    void singlePhaseMeterHasOneCircuit()
    {
        kv::CurveSet set;
        QString error;
        QVERIFY(kv::ReadArchiveCurves(m_db->db(), 2, {}, &set, &error));
        QCOMPARE(set.groups.size(), 3);  // 1, 0.5L, 0.8C: the phase a stand feeds does not split them
        for (const CurveKey &k : set.groups)
            QCOMPARE(k.phases, int(kv::PhasesAll));
        QCOMPARE(pointAt(set, 21, key(7, 0.5, 1), 20)->error.value(), 0.22);
    }

    void oneMeterAndLookupByNumber()
    {
        QVector<kv::ArchiveMeterRef> found;
        int total = 0;
        QString error;
        QVERIFY(kv::FindArchiveMeters(m_db->db(), {"2001", "1002", "1002", "нет такого"}, 1, &found, &total, &error));
        QCOMPARE(total, 2);  // a number asked twice is one meter
        QCOMPARE(found.size(), 1);
        QCOMPARE(found[0].measure, qint64(2));
        QVERIFY(kv::FindArchiveMeters(m_db->db(), {"2001", "1002"}, 10, &found, &total, &error));
        QVector<kv::CurveSet> sets;
        QVERIFY(kv::ReadArchiveCurves(m_db->db(), found, &sets, &error));
        QCOMPARE(sets.size(), 2);
        QCOMPARE(sets[0].meters.size(), 1);
        QCOMPARE(sets[0].meters[0].number, QStringLiteral("2001"));
        QCOMPARE(sets[1].meters[0].number, QStringLiteral("1002"));
    }

    void goneRecordIsAnError()
    {
        kv::CurveSet set;
        QString error;
        QVERIFY(!kv::ReadArchiveCurves(m_db->db(), 99, {}, &set, &error));
        QVERIFY(error.startsWith(QStringLiteral("Запись архива не найдена")));
    }
};

QTEST_GUILESS_MAIN(TestErrorCurves)
#include "test_error_curves.moc"
