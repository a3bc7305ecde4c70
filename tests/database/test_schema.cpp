#include "database/codes.h"
#include "database/engine_sql.h"
#include "database/schema.h"
#include "support/test_env.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

using namespace kvtest;

class TestSchema : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void columnsInTableOrder()
    {
        TempDatabase t;
        QSqlDatabase db = t.db();
        QCOMPARE(kv::checkSchema(db), QStringList());
        QCOMPARE(kv::schemaTables().size(), size_t(7));
        for (const kv::TableDef &table : kv::schemaTables()) {
            QSqlQuery q(db);
            if (onServer()) {
                q.prepare(QStringLiteral("SELECT ordinal_position, column_name, upper(data_type) FROM information_schema.columns "
                                         "WHERE table_schema = current_schema() AND table_name = ? ORDER BY 1"));
                q.addBindValue(QLatin1String(table.name));
                QVERIFY(q.exec());
            } else {
                QVERIFY(q.exec(QStringLiteral("PRAGMA table_info(%1)").arg(QLatin1String(table.name))));
            }
            QStringList names, types;
            while (q.next()) {
                names << q.value(1).toString();
                types << q.value(2).toString();
            }
            QCOMPARE(names, table.columnNames());
            // The server's names of the same kinds: 8-byte floats, texts, integers.
            for (int i = 0; i < names.size(); ++i)
                QCOMPARE(types.at(i), onServer() ? kv::engineTypeName(table.columns[size_t(i)].type)
                                                       .replace(QStringLiteral("REAL"), QStringLiteral("DOUBLE PRECISION"))
                                                 : kv::engineTypeName(table.columns[size_t(i)].type));
        }
        QCOMPARE(kv::schemaTable(QStringLiteral("tpositionch"))->columnNames().at(3), QStringLiteral("PNumber"));
        QCOMPARE(kv::schemaTable(QStringLiteral("TPositionCH"))->column(QStringLiteral("pnumber"))->textLength, 15);
    }

    void textLengthsAndBooleansAreKept()
    {
        TempDatabase t;
        QSqlDatabase db = t.db();
        QSqlQuery q(db);
        QVERIFY(!q.exec(kv::engineSql(db, QStringLiteral("INSERT INTO TTip (PTip) VALUES ('%1')").arg(QString(21, QLatin1Char('x'))))));
        QVERIFY(q.exec(kv::engineSql(db, QStringLiteral("INSERT INTO TTip (PTip) VALUES ('%1')").arg(QString(20, QChar(0x0416))))));
        QVERIFY(!q.exec(kv::engineSql(db, QStringLiteral("INSERT INTO TTest (PNameTable, PSensitivityCB) VALUES ('t', 2)"))));
        QVERIFY(q.exec(kv::engineSql(db, QStringLiteral("INSERT INTO TTest (PNameTable) VALUES ('t')"))));
        QCOMPARE(scalar(db, QStringLiteral("SELECT PSamochodCB FROM TTest")).toInt(), 0);
    }

    // Meters and errors go with their record; points with their test; a type or
    // test named by a record stays.
    void cascadesAndRestrictions()
    {
        TempDatabase t(QStringLiteral("test"), true);
        QSqlDatabase db = t.db();
        execOrFail(db, QStringLiteral("INSERT INTO TMeasure (PDate, PPointerTip, PPointerTest) VALUES ('2026-01-02 10:00:00', 1, 1)"));
        execOrFail(db, QStringLiteral("INSERT INTO TPositionCH (PSecIndex, PPosition, PNumber, PTotal) VALUES (1, 11, 'A1', 1)"));
        execOrFail(db, QStringLiteral("INSERT INTO TResult (PSecIndex, PPointNumber, PMeasure, PMeasureMax) VALUES (1, 1, 0.1, 1)"));

        QSqlQuery q(db);
        QVERIFY(!q.exec(kv::engineSql(db, QStringLiteral("DELETE FROM TTip WHERE PIndex = 1"))));
        QVERIFY(!q.exec(kv::engineSql(db, QStringLiteral("DELETE FROM TTest WHERE PIndex = 1"))));
        QVERIFY(!q.exec(kv::engineSql(db, QStringLiteral("INSERT INTO TPositionCH (PSecIndex, PPosition) VALUES (999, 11)"))));

        const int points = scalar(db, QStringLiteral("SELECT count(*) FROM TTestPoint WHERE PSecIndex = 2")).toInt();
        QVERIFY(points > 0);
        execOrFail(db, QStringLiteral("DELETE FROM TTest WHERE PIndex = 2"));
        QCOMPARE(scalar(db, QStringLiteral("SELECT count(*) FROM TTestPoint WHERE PSecIndex = 2")).toInt(), 0);

        execOrFail(db, QStringLiteral("DELETE FROM TMeasure WHERE PIndex = 1"));
        QCOMPARE(scalar(db, QStringLiteral("SELECT count(*) FROM TPositionCH")).toInt(), 0);
        QCOMPARE(scalar(db, QStringLiteral("SELECT count(*) FROM TResult")).toInt(), 0);
        QVERIFY(q.exec(kv::engineSql(db, QStringLiteral("DELETE FROM TTip WHERE PIndex = 1"))));
    }

    void checkReportsWhatIsMissing()
    {
        TempDatabase t;
        QSqlDatabase db = t.db();
        execOrFail(db, QStringLiteral("DROP TABLE TResult"));
        execOrFail(db, QStringLiteral("ALTER TABLE TTip DROP COLUMN PImax"));
        QCOMPARE(kv::checkSchema(db),
                 QStringList({QStringLiteral("нет поля TTip.PImax"), QStringLiteral("нет таблицы TResult")}));
    }

    void codeTexts()
    {
        QCOMPARE(kv::constUnitText(2), QStringLiteral("кВт(кВар)*час/имп"));
        QCOMPARE(kv::schemeText(3), QStringLiteral("3ф 4п"));
        QCOMPARE(kv::energyText(2), QStringLiteral("Реактивная"));
        QCOMPARE(kv::loadCharacterText(0), QStringLiteral("*"));
        QCOMPARE(kv::observedText(1), QStringLiteral("есть"));
        QCOMPARE(kv::registerResultText(1), QStringLiteral("норма"));
        QCOMPARE(kv::verdictText(2), QStringLiteral("Не годен"));
        QCOMPARE(kv::verdictText(3), QString());
        QVERIFY(kv::creepFails(1) && !kv::creepFails(2));
        QVERIFY(kv::sensitivityFails(2) && !kv::sensitivityFails(1));
        QCOMPARE(kv::RowKind::Register, QStringLiteral("с/у"));
    }

    void demoDataFollowsTheRules()
    {
        TempDatabase t(QStringLiteral("test"), true);
        QSqlDatabase db = t.db();
        QVERIFY(scalar(db, QStringLiteral("SELECT count(*) FROM TTip")).toInt() >= 6);
        // Every column of a type filled, no duplicate pair.
        QCOMPARE(scalar(db, QStringLiteral("SELECT count(*) FROM TTip WHERE PTip = '' OR PIdentificator = '' OR PMaker = '' "
                                           "OR PClassT = 0 OR PUnom = 0 OR PInom = 0 OR PReductRate = 0 OR PIdentReductRate = 0 "
                                           "OR PPhase = 0 OR PEnergy = 0 OR PCenaDel = 0 OR PImax = 0")).toInt(), 0);
        QCOMPARE(scalar(db, QStringLiteral("SELECT count(*) FROM (SELECT PTip, PIdentificator FROM TTip GROUP BY 1, 2 HAVING count(*) > 1) AS d")).toInt(), 0);
        for (int unit : {1, 2, 3})
            QVERIFY(scalar(db, QStringLiteral("SELECT count(*) FROM TTip WHERE PIdentReductRate = %1").arg(unit)).toInt() > 0);
        QVERIFY(scalar(db, QStringLiteral("SELECT count(*) FROM TTip WHERE PEnergy = 2")).toInt() > 0);
        QVERIFY(scalar(db, QStringLiteral("SELECT count(*) FROM TTip WHERE PPhase = 2")).toInt() > 0);
        // Point numbers unique within a test and apart from the special tests'; PLC follows PKM.
        QCOMPARE(scalar(db, QStringLiteral("SELECT count(*) FROM (SELECT PSecIndex, PNumPoint1 FROM TTestPoint GROUP BY 1, 2 HAVING count(*) > 1) AS d")).toInt(), 0);
        QCOMPARE(scalar(db, QStringLiteral("SELECT count(*) FROM TTestPoint p JOIN TTest t ON t.PIndex = p.PSecIndex WHERE "
                                           "(t.PSensitivityCB = 1 AND p.PNumPoint1 = t.PSensitivityN) OR "
                                           "(t.PSamochodCB = 1 AND p.PNumPoint1 = t.PSamochodN) OR "
                                           "(t.PCountDeviceCB = 1 AND p.PNumPoint1 = t.PCountDeviceN)")).toInt(), 0);
        QCOMPARE(scalar(db, QStringLiteral("SELECT count(*) FROM TTestPoint WHERE (PKM = 1) <> (PLC = 0)")).toInt(), 0);
        // The special tests continue the point numbering without a gap.
        QSqlQuery q(db);
        QVERIFY(q.exec(kv::engineSql(db, QStringLiteral("SELECT t.PIndex, t.PSensitivityN, t.PSamochodN, t.PCountDeviceN, max(p.PNumPoint1), count(*) "
                                      "FROM TTest t JOIN TTestPoint p ON p.PSecIndex = t.PIndex WHERE t.PSensitivityCB = 1 GROUP BY t.PIndex"))));
        int tests = 0;
        while (q.next()) {
            ++tests;
            const int n = q.value(5).toInt();
            QCOMPARE(q.value(4).toInt(), n);
            QCOMPARE(q.value(1).toInt(), n + 1);
            QCOMPARE(q.value(2).toInt(), n + 2);
            QCOMPARE(q.value(3).toInt(), n + 3);
        }
        QVERIFY(tests >= 4);
    }
};

QTEST_GUILESS_MAIN(TestSchema)
#include "test_schema.moc"
