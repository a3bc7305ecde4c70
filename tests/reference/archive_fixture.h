#pragma once
// An archive to print and browse: one meter type, a test with sensitivity
// (point 10, 5 min 30 s), creep (11) and register (12) tests and points 1 to
// 9, a test with gaps in its numbering (points 3 and 7), and records:
//   1: meters at 21, 22, 25 (stand 2) and 41, 42 (stand 4), errors by point;
//   2: no meters;
//   3: the gapped test, one meter at 11 with errors at points 3 and 7.

#include "reference/data_module.h"
#include "database/engine_sql.h"
#include "support/test_env.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

namespace archtest {

// Error of a meter at a point; NaN: none stored.
inline double errorOf(int position, int point)
{
    switch (position) {
    case 21: return 0.1 * point;
    case 22: return -0.2 * point;
    case 25: return point == 3 ? qQNaN() : 0.05 * point;
    case 41: return 0.3;
    case 42: return point == 2 ? -1.23456789012345e-05 : 0.01 * point;
    default: return qQNaN();
    }
}

inline void fill(QSqlDatabase db)
{
    using kvtest::execOrFail;
    execOrFail(db, QStringLiteral(
        "INSERT INTO TTip (PTip, PIdentificator, PMaker, PClassT, PUnom, PInom, PReductRate, PIdentReductRate, "
        "PPhase, PEnergy, PCenaDel, PImax) VALUES ('СО-505', 'И1', 'Завод', 2, 220, 5, 1600, 1, 1, 1, 0.1, 60)"));
    execOrFail(db, QStringLiteral(
        "INSERT INTO TTest (PNameTable, PDescription, PSensitivityCB, PSensitivityU, PSensitivityI, PSensitivityT, "
        "PSensitivityTSec, PSensitivityN, PSamochodCB, PSamochodU, PSamochodI, PSamochodT, PSamochodTSec, PSamochodN, "
        "PCountDeviceCB, PCountDeviceU, PCountDeviceI, PCountDeviceT, PCountDeviceTSec, PCountDeviceN) VALUES "
        "('Поверка', 'девять точек', 1, 100, 0.4, 5, 30, 10, 1, 115, 0, 10, 0, 11, 1, 100, 100, 1, 5, 12),"
        "('Выборочная', 'с пропусками', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0)"));
    QSqlQuery p(db);
    QVERIFY(p.prepare(kv::engineSql(p.driver(), QStringLiteral(
        "INSERT INTO TTestPoint (PSecIndex, PNumPoint1, PNumPoint, PPersentU, PPersentI, PKM, PLC, PCountRotation, "
        "PMeasureMax) VALUES (?, ?, ?, 100, ?, ?, ?, ?, 1)"))));
    // Points appended in reverse order: the protocol orders them itself.
    for (int n = 9; n >= 1; --n) {
        const double km = n == 1 ? 1.0 : n == 3 ? 0.5 : 0.8;
        const int lc = n == 1 ? 0 : n == 3 ? 2 : 1;
        for (const QVariant &v : QVariantList{1, n, n, 10 * n, km, lc, 5 + n})
            p.addBindValue(v);
        QVERIFY2(p.exec(), qPrintable(p.lastError().text()));
    }
    for (int n : {7, 3}) {
        for (const QVariant &v : QVariantList{2, n, 10 + n, 50, 1.0, 0, 20})
            p.addBindValue(v);
        QVERIFY(p.exec());
    }
    execOrFail(db, QStringLiteral("INSERT INTO TMeasure (PDate, PPointerTip, PPointerTest) VALUES "
                                  "('2026-03-01 10:00:00', 1, 1), ('2026-03-02 11:00:00', 1, 1), "
                                  "('2026-03-03 12:00:00', 1, 2)"));
    QSqlQuery m(db), r(db);
    QVERIFY(m.prepare(kv::engineSql(m.driver(), QStringLiteral("INSERT INTO TPositionCH (PSecIndex, PPosition, PNumber, PSensitivity, PSamochod, "
                                     "PCountDevice, PTotal) VALUES (?, ?, ?, ?, ?, ?, ?)"))));
    QVERIFY(r.prepare(kv::engineSql(r.driver(), QStringLiteral(
        "INSERT INTO TResult (PSecIndex, PPointNumber, PMeasure, PMeasureMax) VALUES (?, ?, ?, 1)"))));
    auto meter = [&](int record, int position, int sensitivity, int creep, int reg, int total,
                     const QList<int> &points) {
        for (const QVariant &v : QVariantList{record, position, QStringLiteral("A%1").arg(position), sensitivity,
                                              creep, reg, total})
            m.addBindValue(v);
        QVERIFY(m.exec());
        const qint64 key = m.lastInsertId().toLongLong();
        for (int point : points) {
            const double e = record == 3 ? 0.01 * point : errorOf(position, point);
            if (qIsNaN(e))
                continue;
            for (const QVariant &v : QVariantList{key, point, e})
                r.addBindValue(v);
            QVERIFY(r.exec());
        }
    };
    const QList<int> nine{1, 2, 3, 4, 5, 6, 7, 8, 9};
    meter(1, 21, 1, 2, 1, 1, nine);
    meter(1, 22, 2, 1, 2, 2, nine);
    meter(1, 25, 0, 0, 0, 0, nine);
    meter(1, 41, 1, 2, 1, 1, nine);
    meter(1, 42, 1, 2, 1, 2, nine);
    meter(3, 11, 0, 0, 0, 0, {3, 7});
}

// A filled database with the data module open on it.
struct Data {
    kvtest::TempDatabase db;
    basekvintor::TDM dm;

    explicit Data(const QString &connection, bool filled = true) : db(connection), dm(QStringLiteral("dm-") + connection)
    {
        if (filled)
            fill(db.db());
        dm.useConnection(connection);
        if (!dm.DataModuleCreate())
            qFatal("data module did not open");
    }
    QVariant scalar(const QString &sql) { return kvtest::scalar(db.db(), sql); }
};

}  // namespace archtest
