#pragma once
// A database with three meter types, three tests with points and one
// archive record that uses the type "СО-505" and the test "Поверка 1ф".

#include "reference/data_module.h"
#include "support/test_env.h"

#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

namespace reftest {

// Keys as inserted: types 1 "СО-505", 2 "Альфа", 3 "Меркурий 230";
// tests 1 "Поверка 1ф" (used), 2 "Регулировка", 3 "Поверка 3ф".
inline void fill(QSqlDatabase db)
{
    using kvtest::execOrFail;
    execOrFail(db, QStringLiteral(
        "INSERT INTO TTip (PTip, PIdentificator, PMaker, PClassT, PUnom, PInom, PReductRate, PIdentReductRate, "
        "PPhase, PEnergy, PCenaDel, PImax) VALUES "
        "('СО-505', 'И1', 'Завод', 2, 220, 5, 1600, 1, 1, 1, 0.1, 60),"
        "('Альфа', 'A1800', 'Эльстер', 0.5, 57.7, 5, 5000, 1, 3, 1, 0.01, 10),"
        "('Меркурий 230', 'ART-01', 'Инкотекс', 1, 230, 5, 1000, 2, 3, 2, 0.01, 60)"));
    execOrFail(db, QStringLiteral(
        "INSERT INTO TTest (PNameTable, PDescription, PSensitivityCB, PSensitivityU, PSensitivityI, PSensitivityT, "
        "PSensitivityTSec, PSensitivityN, PSamochodCB, PSamochodN, PCountDeviceCB, PCountDeviceN) VALUES "
        "('Поверка 1ф', 'однофазные', 1, 100, 0.4, 10, 0, 5, 0, 6, 0, 7),"
        "('Регулировка', 'три точки', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0),"
        "('Поверка 3ф', 'трехфазные', 1, 100, 0.2, 5, 30, 10, 0, 11, 0, 0)"));
    execOrFail(db, QStringLiteral(
        "INSERT INTO TTestPoint (PSecIndex, PNumPoint1, PNumPoint, PPersentU, PPhaseUA, PPhaseUB, PPhaseUC, "
        "PPersentI, PPhaseIA, PPhaseIB, PPhaseIC, PKM, PLC, PCountRotation, PMeasureMax) VALUES "
        "(1, 1, 1, 100, 1, 0, 0, 100, 1, 0, 0, 1, 0, 10, 2),"
        "(1, 2, 2, 100, 1, 0, 0, 10, 1, 0, 0, 0.5, 1, 5, 2.5),"
        "(2, 1, 3, 100, 1, 1, 1, 100, 1, 1, 1, 1, 0, 10, 1),"
        "(2, 2, 4, 100, 1, 1, 1, 50, 1, 1, 1, 0.8, 2, 10, 1),"
        "(2, 3, 5, 100, 1, 1, 1, 5, 1, 1, 1, 1, 0, 4, 1.5)"));
    execOrFail(db, QStringLiteral(
        "INSERT INTO TMeasure (PDate, PPointerTip, PPointerTest) VALUES ('2026-03-01 10:00:00', 1, 1)"));
}

// A filled database with the data module open on it.
struct Data {
    kvtest::TempDatabase db;
    basekvintor::TDM dm;

    explicit Data(const QString &connection) : db(connection), dm(QStringLiteral("dm-") + connection)
    {
        fill(db.db());
        dm.useConnection(connection);
        if (!dm.DataModuleCreate())
            qFatal("data module did not open");
    }
    QVariant scalar(const QString &sql) { return kvtest::scalar(db.db(), sql); }
    QStringList column(QAbstractItemModel *model, const QString &field)
    {
        auto *sql = qobject_cast<QSqlQueryModel *>(model);
        QStringList values;
        for (int r = 0; r < sql->rowCount(); ++r)
            values << sql->record(r).value(field).toString();
        return values;
    }
    static void set(basekvintor::TDataSet *set, int row, const QString &field, const QVariant &value)
    {
        QVERIFY(set->setData(set->index(row, set->fieldIndex(field)), value));
    }
    static QVariant get(basekvintor::TDataSet *set, int row, const QString &field)
    {
        return set->data(set->index(row, set->fieldIndex(field)));
    }
};

}  // namespace reftest
