#include "database/engine_sql.h"
#include "support/test_env.h"

#include <QLocale>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

using namespace kvtest;
using kv::toEngineSql;

namespace {

// Runs a Jet statement after translation; returns the rows as "a|b|c" lines.
QStringList run(QSqlDatabase db, const QString &jet, bool *ok = nullptr)
{
    QSqlQuery q(db);
    const bool done = q.exec(toEngineSql(jet, db));
    if (ok)
        *ok = done;
    else if (!done)
        qWarning("%s\n -> %s\n -> %s", qPrintable(jet), qPrintable(toEngineSql(jet, db)), qPrintable(q.lastError().text()));
    QStringList rows;
    while (q.next()) {
        QStringList cells;
        for (int i = 0; i < q.record().count(); ++i)
            cells << q.value(i).toString();
        rows << cells.join(QLatin1Char('|'));
    }
    return rows;
}

}  // namespace

class TestEngineSql : public QObject
{
    Q_OBJECT

    std::unique_ptr<TempDatabase> m_db;
    QSqlDatabase db() { return m_db->db(); }

private Q_SLOTS:
    void init()
    {
        m_db = std::make_unique<TempDatabase>(QStringLiteral("sql"), true);
        // Two records: type 1 / test 1 in January with two meters, type 7 / test 2 in March with one.
        for (const char *s : {
                 "INSERT INTO TMeasure VALUES (1, '2026-01-15 10:30:00', 1, 1)",
                 "INSERT INTO TMeasure VALUES (2, '2026-03-02 09:00:00', 7, 2)",
                 "INSERT INTO TPositionCH VALUES (1, 1, 11, '000101', 1, 2, 1, 1)",
                 "INSERT INTO TPositionCH VALUES (2, 1, 23, 'A\"7''', 2, 2, 1, 2)",
                 "INSERT INTO TPositionCH VALUES (3, 2, 56, '000101', 0, 0, 0, 0)",
                 "INSERT INTO TResult VALUES (1, 1, 1, 0.25, 1.5)",
                 "INSERT INTO TResult VALUES (2, 1, 2, -1.75, 1.0)",
                 "INSERT INTO TResult VALUES (3, 2, 1, 1.5, 1.5)",
                 "INSERT INTO TResult VALUES (4, 3, 1, 2.25, 1.0)",
             })
            execOrFail(db(), QString::fromUtf8(s));
    }
    void cleanup() { m_db.reset(); }

    void literalsAndNames()
    {
        QCOMPARE(toEngineSql(QStringLiteral("where (PTip=\"ЭС\") and (PIdentificator=\"a\"\"b'c\")")),
                 QStringLiteral("where (PTip='ЭС') and (PIdentificator='a\"b''c')"));
        QCOMPARE(toEngineSql(QStringLiteral("Delete * from TTestBuf")), QStringLiteral("DELETE FROM TTestBuf"));
        QCOMPARE(toEngineSql(QStringLiteral("Select max(PNumPoint) as [1] from TTestPoint")),
                 QStringLiteral("Select max(PNumPoint) as \"1\" from TTestPoint"));
        // A double-quoted word that is also a column name stays a value.
        QCOMPARE(run(db(), QStringLiteral("Select PIndex from TTip where (PTip=\"PTip\")")), QStringList());
        // A quote inside a value neither ends the literal nor reaches the engine as SQL.
        QCOMPARE(run(db(), QStringLiteral("Select PPosition from TPositionCH where PNumber=\"A\"\"7'\"")), QStringList{"23"});
    }

    // The server's form: our names quoted in their written case whatever
    // case a statement uses, so the fields come back as the programs name them.
    void serverForm_data()
    {
        QTest::addColumn<QString>("jet");
        QTest::addColumn<QString>("server");
        QTest::newRow("names in any case") << "select tmeasure.pindex, TTip.PTip from TTip, Tmeasure"
                                           << "select \"TMeasure\".\"PIndex\", \"TTip\".\"PTip\" from \"TTip\", \"TMeasure\"";
        QTest::newRow("values stay values") << "where (PTip=\"PTip\") and PNumber='a''b'"
                                            << "where (\"PTip\"='PTip') and \"PNumber\"='a''b'";
        QTest::newRow("alias keeps its case") << "Select max(PNumPoint) as MaxPoint, count(*) AS [Всего] from TTestPoint"
                                              << "Select max(\"PNumPoint\") as \"MaxPoint\", count(*) AS \"Всего\" from \"TTestPoint\"";
        QTest::newRow("a cast is no alias") << "select cast(PKM as integer) from TTestPoint"
                                            << "select cast(\"PKM\" as integer) from \"TTestPoint\"";
        QTest::newRow("like ignores case") << "where PNumber Like \"ab%\""
                                           << "where \"PNumber\" ILIKE 'ab%'";
        QTest::newRow("delete star") << "Delete * from TTestBuf" << "DELETE FROM \"TTestBuf\"";
        QTest::newRow("append names its columns") << "Insert INTO TTestBuf select TTestPoint.PKM from TTestPoint"
                                                  << "INSERT INTO \"TTestBuf\" (\"PKM\") select \"TTestPoint\".\"PKM\" from \"TTestPoint\"";
        QTest::newRow("temporary schema") << "select * from temp.kv_list_1 order by rowid"
                                          << "select * from pg_temp.kv_list_1 order by rowid";
    }

    void serverForm()
    {
        QFETCH(QString, jet);
        QFETCH(QString, server);
        QCOMPARE(toEngineSql(jet, kv::Engine::PostgreSQL), server);
    }

    void dateValue()
    {
        QLocale::setDefault(QLocale(QLocale::Russian));
        QCOMPARE(toEngineSql(QStringLiteral("(TMeasure.PDate >= DateValue(\"01.02.2026\"))")),
                 QStringLiteral("(TMeasure.PDate >= '2026-02-01 00:00:00')"));
        QCOMPARE(run(db(), QStringLiteral("Select PIndex from TMeasure where (TMeasure.PDate >= DateValue(\"01.02.2026\"))")),
                 QStringList{"2"});
        QCOMPARE(run(db(), QStringLiteral("Select PIndex from TMeasure where ((TMeasure.PDate >= DateValue(\"15.01.2026\")) and "
                                          "(TMeasure.PDate <= DateValue(\"02.03.2026\")))")),
                 QStringList{"1"});
        // A date nobody can read makes the statement fail instead of matching everything.
        bool ok = true;
        run(db(), QStringLiteral("Select PIndex from TMeasure where (TMeasure.PDate <= DateValue(\"когда-то\"))"), &ok);
        QVERIFY(!ok);
        QLocale::setDefault(QLocale::c());
    }

    // Jet matches an append query's columns by name; the engine by position.
    void appendWithoutColumnList()
    {
        const QString insert = QStringLiteral(
            "Insert INTO TTestBuf select  TTestPoint.PNumPoint,  TTestPoint.PNumPoint1,  TTestPoint.PPersentU,  "
            "TTestPoint.PPhaseUA,  TTestPoint.PPhaseUB,  TTestPoint.PPhaseUC,  TTestPoint.PPersentI,  TTestPoint.PPhaseIA,  "
            "TTestPoint.PPhaseIB,  TTestPoint.PPhaseIC,  TTestPoint.PKM,  TTestPoint.PLC,  TTestPoint.PCountRotation,  "
            "TTestPoint.PMeasureMax from TTestPoint where ");
        run(db(), QStringLiteral("Delete * from TTestBuf"));
        bool ok = false;
        run(db(), insert + QStringLiteral("(TTestPoint.PSecIndex=") + QString::number(5) + QStringLiteral(")"), &ok);
        QVERIFY(ok);
        QCOMPARE(run(db(), QStringLiteral("select PNumPoint, PNumPoint1, PPersentI, PKM, PLC, PCountRotation, PMeasureMax "
                                          "from TTestBuf order by PNumPoint1")),
                 run(db(), QStringLiteral("select PNumPoint, PNumPoint1, PPersentI, PKM, PLC, PCountRotation, PMeasureMax "
                                          "from TTestPoint where PSecIndex=5 order by PNumPoint1")));
        QCOMPARE(run(db(), QStringLiteral("select count(*) from TTestBuf where PNumPointBuf is null")), QStringList{"3"});
    }

    // The control program's statements.
    void controlProgramStatements()
    {
        for (const char *table : {"TTip", "TTest", "TTestBuf", "TMeasure", "TPositionCH", "TResult"}) {
            bool ok = false;
            run(db(), QStringLiteral("select * from %1").arg(QLatin1String(table)), &ok);
            QVERIFY2(ok, table);
        }
        QCOMPARE(run(db(), QStringLiteral("Select PSecIndex, PNumPoint from TTestPoint where PSecIndex=5")).size(), 3);
        QCOMPARE(run(db(), QStringLiteral("Select PSecIndex, PNumPoint from TTestPoint")).size(),
                 scalar(db(), QStringLiteral("select count(*) from TTestPoint")).toInt());
    }

    // The protocol builders' queries.
    void protocolStatements()
    {
        const QString nl = QStringLiteral("\n");
        QCOMPARE(run(db(), QStringList{QStringLiteral("Select TResult.PMeasure from  TResult where "),
                                       QStringLiteral(" (TResult.PSecIndex=1)"), QStringLiteral("and (TResult.PPointNumber=2)")}
                               .join(nl)),
                 QStringList{"-1.75"});
        QCOMPARE(run(db(), QStringList{QStringLiteral("Select TPositionCH.PPosition ,TPositionCH.PNumber ,TPositionCH.PSensitivity,"
                                                      "TPositionCH.PSamochod,TPositionCH.PCountDevice from TPositionCH  where "),
                                       QStringLiteral(" (TPositionCH.PSecIndex=1)"),
                                       QStringLiteral("  and ((TPositionCH.PPosition > 20) and (TPositionCH.PPosition < 30))")}
                               .join(nl)),
                 QStringList{"23|A\"7'|2|2|1"});
        QCOMPARE(run(db(), QStringList{QStringLiteral("Select TPositionCH.PPosition,TResult.PMeasure from (TPositionCH INNER JOIN "
                                                      "TResult ON TPositionCH.PIndex=TResult.PSecIndex)  where "),
                                       QStringLiteral(" (TPositionCH.PSecIndex=2)"),
                                       QStringLiteral("  and ((TPositionCH.PPosition > 50) and (TPositionCH.PPosition < 60))"),
                                       QStringLiteral("and (TResult.PPointNumber=1)")}
                               .join(nl)),
                 QStringList{"56|2.25"});
    }

    // The database program's data sets and record rules.
    void databaseProgramStatements()
    {
        QCOMPARE(run(db(), QStringLiteral("select TMeasure.PIndex, TMeasure.PDate, TMeasure.PPointerTip, TMeasure.PPointerTest,  "
                                          "TTip.PTip, TTip.PIdentificator, TTest.PNameTable  from TTip, TTest,TMeasure where "
                                          "(TMeasure.PPointerTip = TTip.PIndex)   and (TMeasure.PPointerTest=TTest.PIndex)"))
                     .size(),
                 2);
        QCOMPARE(run(db(), QStringLiteral("select TMeasure.PIndex, TMeasure.PDate, TMeasure.PPointerTip, TMeasure.PPointerTest,"
                                          "TTip.PTip, TTip.PIdentificator, TTest.PNameTable  from TTip, TTest,TMeasure where "
                                          "(TMeasure.PPointerTip = TTip.PIndex)   and (TMeasure.PPointerTest=TTest.PIndex) and "
                                          "(TMeasure.PIndex=2)"))
                     .size(),
                 1);
        QCOMPARE(run(db(), QStringLiteral("Select DISTINCT  PNumber from TPositionCH")).size(), 2);
        QCOMPARE(run(db(), QStringLiteral("select DISTINCT  TTip.Pindex,TTip.PTip, TTip.PIdentificator  from TTip,Tmeasure  where "
                                          "(TMeasure.PPointerTip = TTip.PIndex)   ")),
                 (QStringList{"1|ЭС-1.05|1600", "7|ЭТ-3.05|4пр"}));
        QCOMPARE(run(db(), QStringLiteral("Select PIndex from TTip where \n(PTip=\"ЭС-1.05\") and (PIdentificator=\"3200\")")),
                 QStringList{"2"});
        QCOMPARE(run(db(), QStringLiteral("Select PIndex from TTestPoint where \n(PNumPoint1=3)\nand (PSecIndex=5)")).size(), 1);
        QCOMPARE(run(db(), QStringLiteral("Select PNumPoint1 from TTestPoint where \n (PSecIndex=5) and (PIndex<>0)\n and (PNumPoint1=2)")),
                 QStringList{"2"});
        QCOMPARE(run(db(), QStringLiteral("Select max(PNumPoint) as [1] from TTestPoint")),
                 QStringList{scalar(db(), QStringLiteral("select count(*) from TTestPoint")).toString()});
        QCOMPARE(run(db(), QStringLiteral("Select PIndex from TMeasure where \n(PPointerTip=7)")), QStringList{"2"});
    }

    // The query builder's compositions, and the export's column and source parts.
    void queryBuilderAndExportStatements()
    {
        QCOMPARE(run(db(), QStringLiteral(" Select TResult.PPointNumber  From TResult ")).size(), 4);
        QCOMPARE(run(db(), QStringLiteral(" Select  DISTINCT TMeasure.PDate ,TTip.PTip  From TMeasure ,TTip  Where "
                                          "(TMeasure.PPointerTip = TTip.PIndex)")),
                 (QStringList{"2026-01-15 10:30:00|ЭС-1.05", "2026-03-02 09:00:00|ЭТ-3.05"}));
        QCOMPARE(run(db(), QStringLiteral(" Select TPositionCH.PNumber ,TResult.PMeasure  From (TPositionCH INNER JOIN TResult ON "
                                          "TPositionCH.PIndex = TResult.PSecIndex) Where (TResult.PMeasure > 1.5)")),
                 QStringList{"000101|2.25"});
        QCOMPARE(run(db(), QStringLiteral(" Select  DISTINCT TPositionCH.PNumber  From TPositionCH Where (TPositionCh.PNumber = "
                                          "\"000101\") and (TPositionCh.PTotal =2)")),
                 QStringList());
        QCOMPARE(run(db(), QStringLiteral(" Select TMeasure.PDate ,TPositionCH.PNumber ,TResult.PMeasure  From (TMeasure INNER JOIN "
                                          "TPositionCH ON TMeasure.PIndex = TPositionCH.PSecIndex)INNER JOIN TResult ON "
                                          "(TPositionCH.PIndex = TResult.PSecIndex) Where ((TResult.PMeasure >=-2) and "
                                          "(TResult.PMeasure <= 0))")),
                 QStringList{"2026-01-15 10:30:00|000101|-1.75"});
        QCOMPARE(run(db(), QStringLiteral("Select PPointNumber,PMeasure,PMeasureMax  from TResult where PSecIndex=1")).size(), 2);
        QCOMPARE(run(db(), QStringLiteral("Select PPosition,PNumber,PSensitivity,PSamochod,PCountDevice,PTotal  from TPositionCH "
                                          "where PSecIndex=1"))
                     .size(),
                 2);
        QCOMPARE(run(db(), QStringLiteral("select TMeasure.PDate, TTip.PTip, TTip.PIdentificator, TTest.PNameTable  from TTip, "
                                          "TTest,TMeasure where (TMeasure.PPointerTip = TTip.PIndex)   and "
                                          "(TMeasure.PPointerTest=TTest.PIndex)"))
                     .size(),
                 2);
        bool ok = false;
        run(db(), QStringLiteral("Select PTip,PIdentificator,PMaker,PClassT,PReductRate,PUnom,PInom,PPhase,PEnergy,PImax,PCenaDel  from TTip "), &ok);
        QVERIFY(ok);
        run(db(), QStringLiteral("Select PNameTable,PDescription,PSensitivityCB,PSensitivityT,PSensitivityTSec,PSensitivityU,"
                                 "PSensitivityI,PSamochodCB,PSamochodT,PSamochodTSec,PSamochodU,PSamochodI,PCountDeviceCB,"
                                 "PCountDeviceT,PCountDeviceTSec,PCountDeviceU,PCountDeviceI  from TTest "), &ok);
        QVERIFY(ok);
        QCOMPARE(run(db(), QStringLiteral("Select PPersentU,PPhaseUA,PPhaseUB,PPhaseUC,PPersentI,PPhaseIA,PPhaseIB,PPhaseIC,PKM,"
                                          "PCountRotation,PMeasureMax  from TTestPoint where PSecIndex=5"))
                     .size(),
                 3);
    }
};

QTEST_GUILESS_MAIN(TestEngineSql)
#include "test_engine_sql.moc"
