#pragma once
// The archive of a known run for the error curves: a three-phase class 1
// meter type (230 V, 5(60) A) and a test of eleven points, stored as the
// control program stores a verification (each error under the test's own
// point number, with the limit it was judged against):
//   PF 1, all phases: 5 % (±1.5), 10 %, 100 %, 1200 % (±1.0)
//   0.5L, all phases: 10 % (±1.5), 100 % (±1.0);  0.8C, all phases: 100 % (±1.0)
//   PF 1 on phase A, B, C alone: 100 % (±2.0);     0.5L on phase A alone: 20 % (±2.0)
// Record 1, stand 1:
//   11 "1001": every point; 0 at 100 %, −1.0 at 10 % (at its limit), 1.2 at 0.5L 100 % (beyond)
//   12 "1002": no reading at PF 1 10 % nor on phase B (gaps); sensitivity "нет"
//   13 "":     no reading at all
// Record 2: a single-phase type (points fed on phase A), one meter 21 "2001".

#include "protocols/error_curves.h"
#include "support/test_env.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

namespace curvestest {

inline kv::CurveKey key(int phases, double pf, int lc)
{
    kv::CurveKey k;
    k.phases = phases;
    k.powerFactor = pf;
    k.loadCharacter = lc;
    return k;
}

struct Point {
    int number;
    int percentI;
    int phases;  // 1 A, 2 B, 4 C
    double pf;
    int lc;
    double limit;
};

inline const QList<Point> &points()
{
    static const QList<Point> list{
        {7, 100, 7, 0.8, 2, 1.0}, {1, 5, 7, 1, 0, 1.5},   {3, 100, 7, 1, 0, 1.0},   {2, 10, 7, 1, 0, 1.0},
        {4, 1200, 7, 1, 0, 1.0},  {5, 10, 7, 0.5, 1, 1.5}, {6, 100, 7, 0.5, 1, 1.0}, {8, 100, 1, 1, 0, 2.0},
        {9, 100, 2, 1, 0, 2.0},   {10, 100, 4, 1, 0, 2.0}, {11, 20, 1, 0.5, 1, 2.0},
    };
    return list;
}

// The error of meter "1001" / "1002" at a point; NaN: none stored.
inline double errorOf(const QString &number, int point)
{
    if (number == QLatin1String("1001")) {
        switch (point) {
        case 2: return -1.0;
        case 3: return 0.0;
        case 6: return 1.2;
        default: return 0.1 * point;
        }
    }
    if (number == QLatin1String("1002"))
        return point == 2 || point == 9 ? qQNaN() : -0.05 * point;
    return qQNaN();
}

inline void fill(QSqlDatabase db)
{
    using kvtest::execOrFail;
    execOrFail(db, QStringLiteral(
        "INSERT INTO TTip (PTip, PIdentificator, PMaker, PClassT, PUnom, PInom, PReductRate, PIdentReductRate, "
        "PPhase, PEnergy, PCenaDel, PImax) VALUES ('ЦЭ-3', 'Т1', 'Завод', 1, 230, 5, 1000, 1, 3, 1, 0.1, 60), "
        "('СО-1', 'О1', 'Завод', 1, 230, 5, 1600, 1, 1, 1, 0.1, 60)"));
    execOrFail(db, QStringLiteral(
        "INSERT INTO TTest (PNameTable, PDescription, PSensitivityCB, PSensitivityU, PSensitivityI, PSensitivityT, "
        "PSensitivityTSec, PSensitivityN, PSamochodCB, PSamochodU, PSamochodI, PSamochodT, PSamochodTSec, PSamochodN, "
        "PCountDeviceCB, PCountDeviceU, PCountDeviceI, PCountDeviceT, PCountDeviceTSec, PCountDeviceN) VALUES "
        "('Кривая', 'одиннадцать точек', 1, 100, 0.4, 5, 0, 12, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0)"));
    QSqlQuery p(db);
    QVERIFY(p.prepare(QStringLiteral(
        "INSERT INTO TTestPoint (PSecIndex, PNumPoint1, PNumPoint, PPersentU, PPhaseUA, PPhaseUB, PPhaseUC, "
        "PPersentI, PPhaseIA, PPhaseIB, PPhaseIC, PKM, PLC, PCountRotation, PMeasureMax) "
        "VALUES (1, ?, ?, 100, 1, 1, 1, ?, ?, ?, ?, ?, ?, 10, ?)")));
    for (const Point &pt : points()) {
        for (const QVariant &v : QVariantList{pt.number, pt.number, pt.percentI, (pt.phases & 1) != 0,
                                              (pt.phases & 2) != 0, (pt.phases & 4) != 0, pt.pf, pt.lc, pt.limit})
            p.addBindValue(v);
        QVERIFY2(p.exec(), qPrintable(p.lastError().text()));
    }
    execOrFail(db, QStringLiteral("INSERT INTO TMeasure (PDate, PPointerTip, PPointerTest) VALUES "
                                  "('2026-05-04 10:00:00', 1, 1), ('2026-05-04 10:00:01', 2, 1)"));
    QSqlQuery m(db), r(db);
    QVERIFY(m.prepare(QStringLiteral("INSERT INTO TPositionCH (PSecIndex, PPosition, PNumber, PSensitivity, PSamochod, "
                                     "PCountDevice, PTotal) VALUES (?, ?, ?, ?, 0, 0, ?)")));
    QVERIFY(r.prepare(QStringLiteral(
        "INSERT INTO TResult (PSecIndex, PPointNumber, PMeasure, PMeasureMax) VALUES (?, ?, ?, ?)")));
    auto meter = [&](int record, int position, const QString &number, int sensitivity, int total) {
        for (const QVariant &v : QVariantList{record, position, number, sensitivity, total})
            m.addBindValue(v);
        QVERIFY(m.exec());
        const qint64 key = m.lastInsertId().toLongLong();
        for (const Point &pt : points()) {
            const double e = record == 2 ? 0.02 * pt.number : errorOf(number, pt.number);
            if (qIsNaN(e))
                continue;
            for (const QVariant &v : QVariantList{key, pt.number, e, pt.limit})
                r.addBindValue(v);
            QVERIFY(r.exec());
        }
    };
    meter(1, 11, QStringLiteral("1001"), 1, 2);
    meter(1, 12, QStringLiteral("1002"), 2, 2);
    meter(1, 13, QString(), 0, 0);
    meter(2, 21, QStringLiteral("2001"), 1, 1);
}

}  // namespace curvestest
