// kvintor-db copy's engine: an archive goes file -> (server or file) -> file
// with every row, key and counter as it was, and a copy that cannot be made
// leaves nothing behind.

#include "database/connection.h"
#include "database/database_copy.h"
#include "database/engine_sql.h"
#include "database/schema.h"
#include "demo_data.h"
#include "support/test_env.h"

#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

using namespace kvtest;

namespace {

// Every row of every table as text, in key order.
QStringList dump(QSqlDatabase db)
{
    QStringList rows;
    for (const kv::TableDef &t : kv::schemaTables()) {
        QSqlQuery q(db);
        if (!q.exec(kv::engineSql(db, QStringLiteral("SELECT ") + t.columnNames().join(QStringLiteral(", ")) +
                                          QStringLiteral(" FROM ") + QLatin1String(t.name) + QStringLiteral(" ORDER BY PIndex")))) {
            rows << q.lastError().text();
            continue;
        }
        while (q.next()) {
            QStringList values;
            for (int c = 0; c < int(t.columns.size()); ++c)
                values << (q.value(c).isNull() ? QStringLiteral("NULL") : q.value(c).toString());
            rows << QLatin1String(t.name) + QLatin1Char(':') + values.join(QLatin1Char('|'));
        }
    }
    return rows;
}

void fillArchive(QSqlDatabase db)
{
    // Three records, the middle one deleted: its key is not given out again.
    for (int r = 1; r <= 3; ++r) {
        execOrFail(db, QStringLiteral("INSERT INTO TMeasure (PDate, PPointerTip, PPointerTest) VALUES ('2026-0%1-02 10:00:00', 1, 1)").arg(r));
        for (int m = 1; m <= 3; ++m) {
            execOrFail(db, QStringLiteral("INSERT INTO TPositionCH (PSecIndex, PPosition, PNumber, PSensitivity, PTotal) "
                                          "VALUES (%1, %2, 'Н-%1%2 «№»', 1, %3)").arg(r).arg(10 + m).arg(m == 2 ? 2 : 1));
            execOrFail(db, QStringLiteral("INSERT INTO TResult (PSecIndex, PPointNumber, PMeasure, PMeasureMax) "
                                          "SELECT max(PIndex), 1, -0.123456789012, 1.5 FROM TPositionCH"));
        }
    }
    execOrFail(db, QStringLiteral("DELETE FROM TMeasure WHERE PIndex = 3"));
}

}  // namespace

class TestDatabaseCopy : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void thereAndBackIsIdentical()
    {
        QTemporaryDir dir;
        const QString start = dir.filePath(QStringLiteral("start.sqlite"));
        const QString back = dir.filePath(QStringLiteral("back.sqlite"));
        QCOMPARE(kv::createDatabaseFile(start), QString());
        QStringList before;
        {
            QCOMPARE(kv::openDatabase(start, QStringLiteral("start")), QString());
            QSqlDatabase db = QSqlDatabase::database(QStringLiteral("start"));
            QCOMPARE(kv::demo::addReferenceData(db), QString());
            fillArchive(db);
            execOrFail(db, QStringLiteral("INSERT INTO TTip (PTip, PIdentificator, PClassT) VALUES ('ЦЭ\"6803''В', 'x', 0.5)"));
            before = dump(db);
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("start"));
        QVERIFY(before.size() > 10);

        // The middle stop: a server database when the tests run on one, else a file.
        QTemporaryDir middleDir;
        QString middle = middleDir.filePath(QStringLiteral("middle.sqlite"));
        std::unique_ptr<TempDatabase> server;
        if (onServer()) {
            server = std::make_unique<TempDatabase>(QStringLiteral("middle"));
            middle = server->path();
            server->close();
            QCOMPARE(kv::openServerConnection(middle, QStringLiteral("wipe2")), QString());
            QSqlQuery q(QSqlDatabase::database(QStringLiteral("wipe2")));
            // copy wants a database without our tables.
            for (const char *t : {"TResult", "TPositionCH", "TMeasure", "TTestBuf", "TTestPoint", "TTest", "TTip"})
                QVERIFY(q.exec(QStringLiteral("DROP TABLE \"%1\"").arg(QLatin1String(t))));
            QVERIFY(q.exec(QStringLiteral("DROP TABLE kv_schema_version")));
            q.finish();
            QSqlDatabase::database(QStringLiteral("wipe2")).close();
            QSqlDatabase::removeDatabase(QStringLiteral("wipe2"));
        }
        kv::CopyReport report;
        qint64 progressed = 0;
        QCOMPARE(kv::copyDatabase(start, middle, &report, [&](const QString &, qint64 done, qint64) {
            progressed = qMax(progressed, done);
            return true;
        }), QString());
        QVERIFY(report.countsMatch);
        QCOMPARE(report.tables.size(), 7);
        QVERIFY(progressed > 0);
        QCOMPARE(kv::copyDatabase(middle, back, &report), QString());

        QCOMPARE(kv::openDatabase(back, QStringLiteral("back")), QString());
        {
            QSqlDatabase db = QSqlDatabase::database(QStringLiteral("back"));
            QCOMPARE(dump(db), before);
            // The counter goes on after the deleted record's key.
            execOrFail(db, QStringLiteral("INSERT INTO TMeasure (PDate, PPointerTip, PPointerTest) VALUES ('2026-05-01 10:00:00', 1, 1)"));
            QCOMPARE(scalar(db, QStringLiteral("SELECT max(PIndex) FROM TMeasure")).toInt(), 4);
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("back"));
    }

    void aRefusedCopyLeavesNothing()
    {
        TempDatabase source;
        QTemporaryDir dir;
        const QString taken = dir.filePath(QStringLiteral("taken.sqlite"));
        QFile f(taken);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("mine");
        f.close();
        kv::CopyReport report;
        QVERIFY(!kv::copyDatabase(source.path(), taken, &report).isEmpty());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("mine"));
        f.close();
        // A source that is not there: no target is made.
        const QString target = dir.filePath(QStringLiteral("new.sqlite"));
        QVERIFY(!kv::copyDatabase(dir.filePath(QStringLiteral("missing.sqlite")), target, &report).isEmpty());
        QVERIFY(!QFile::exists(target));
    }
};

QTEST_GUILESS_MAIN(TestDatabaseCopy)
#include "test_database_copy.moc"
