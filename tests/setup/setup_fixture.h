#pragma once
// A data module over a fresh demo database with private settings.

#include "setup/data_module.h"
#include "database/engine_sql.h"
#include "support/test_env.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

#include <memory>

namespace setuptest {

struct Fixture {
    kvtest::TempSettings settings;
    kvtest::TempDatabase db{QStringLiteral("fixture"), true};
    std::unique_ptr<kvintor::TDM> dm = std::make_unique<kvintor::TDM>();
    QString startError = dm->DataModuleCreate(db.path());
};

// The row of stand s's type dataset showing the named type (first of that name).
inline int typeRow(kvintor::TDM &dm, int stand, const QString &tip, const QString &ident = {})
{
    kvintor::Dataset *types = dm.ADOTipStend(stand);
    for (int r = 0; r < types->count(); ++r)
        if (types->valueAt(r, QStringLiteral("PTip")).toString() == tip &&
            (ident.isEmpty() || types->valueAt(r, QStringLiteral("PIdentificator")).toString() == ident))
            return r;
    qFatal("no type %s", qPrintable(tip));
    return -1;
}

inline int testRow(kvintor::TDM &dm, const QString &name)
{
    for (int r = 0; r < dm.ADOTest1->count(); ++r)
        if (dm.ADOTest1->valueAt(r, QStringLiteral("PNameTable")).toString() == name)
            return r;
    qFatal("no test %s", qPrintable(name));
    return -1;
}

struct Special {
    bool on = false;
    int point = 0, u = 100;
    double i = 0;
    int minutes = 0, seconds = 0;
};

// Adds a test with error points at the given point numbers (PNumPoint = 100 +
// point number, so a copied value is told from a renumbered one) and returns its PIndex.
inline qlonglong addTest(QSqlDatabase db, const QString &name, const QList<int> &points, Special sens = {},
                         Special creep = {}, Special reg = {})
{
    QSqlQuery q(db);
    q.prepare(kv::engineSql(q.driver(), QStringLiteral(
        "INSERT INTO TTest (PNameTable, PDescription, PSensitivityCB, PSensitivityN, PSensitivityU, PSensitivityI, "
        "PSensitivityT, PSensitivityTSec, PSamochodCB, PSamochodN, PSamochodU, PSamochodI, PSamochodT, "
        "PSamochodTSec, PCountDeviceCB, PCountDeviceN, PCountDeviceU, PCountDeviceI, PCountDeviceT, "
        "PCountDeviceTSec) VALUES (?, 'test', ?,?,?,?,?,?, ?,?,?,?,?,?, ?,?,?,?,?,?)")));
    q.addBindValue(name);
    for (const Special &s : {sens, creep, reg}) {
        q.addBindValue(s.on ? 1 : 0);
        q.addBindValue(s.point);
        q.addBindValue(s.u);
        q.addBindValue(s.i);
        q.addBindValue(s.minutes);
        q.addBindValue(s.seconds);
    }
    if (!q.exec())
        qFatal("addTest: %s", qPrintable(q.lastError().text()));
    const qlonglong test = q.lastInsertId().toLongLong();
    for (int p : points) {
        QSqlQuery pq(db);
        pq.prepare(kv::engineSql(pq.driver(), QStringLiteral(
            "INSERT INTO TTestPoint (PSecIndex, PNumPoint1, PNumPoint, PPersentU, PPhaseUA, PPhaseUB, PPhaseUC, "
            "PPersentI, PPhaseIA, PPhaseIB, PPhaseIC, PKM, PLC, PCountRotation, PMeasureMax) "
            "VALUES (?, ?, ?, 100, 1, 1, 1, ?, 1, 1, 1, 0.5, 1, ?, 1.5)")));
        pq.addBindValue(test);
        pq.addBindValue(p);
        pq.addBindValue(100 + p);
        pq.addBindValue(p * 10);
        pq.addBindValue(p + 1);
        if (!pq.exec())
            qFatal("addTest point: %s", qPrintable(pq.lastError().text()));
    }
    return test;
}

}  // namespace setuptest
