// The database-file target of "Экспорт": naming, creating and listing before
// the table choice panel.

#include "files/sqlite_export.h"
#include "support/test_env.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestSqliteExport : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void newAndExistingTargets()
    {
        kvtest::TempDatabase tdb(QStringLiteral("main"), true);
        QTemporaryDir dir;

        // A name without extension gets ".sqlite"; the new file is empty and
        // stays even when the operator then cancels the panel.
        const kv::SqliteTarget fresh = kv::prepareSqliteTarget(dir.filePath(QStringLiteral("archive")));
        QVERIFY2(fresh.error.isEmpty(), qPrintable(fresh.error));
        QCOMPARE(fresh.path, dir.filePath(QStringLiteral("archive.sqlite")));
        QVERIFY(fresh.created);
        QVERIFY(fresh.tables.isEmpty());
        QVERIFY(QFile::exists(fresh.path));

        QVERIFY(kv::exportToSqlite(tdb.db(), fresh, QStringLiteral("types"), QStringLiteral("Select PTip from TTip"))
                    .isEmpty());

        // The same file chosen again: listed with its table; a name with an
        // extension is kept as typed.
        const kv::SqliteTarget again = kv::prepareSqliteTarget(fresh.path);
        QVERIFY(!again.created);
        QCOMPARE(again.tables, QStringList{QStringLiteral("types")});
        QVERIFY(!kv::exportToSqlite(tdb.db(), again, QStringLiteral("types"), QStringLiteral("Select PTip from TTip"))
                     .isEmpty());
        QVERIFY(kv::exportToSqlite(tdb.db(), again, QStringLiteral("tests"), QStringLiteral("Select * from TTest"))
                    .isEmpty());
        QCOMPARE(kv::prepareSqliteTarget(fresh.path).tables, QStringList({QStringLiteral("tests"), QStringLiteral("types")}));

        const kv::SqliteTarget other = kv::prepareSqliteTarget(dir.filePath(QStringLiteral("copy.db3")));
        QCOMPARE(other.path, dir.filePath(QStringLiteral("copy.db3")));

        const kv::SqliteTarget bad = kv::prepareSqliteTarget(QStringLiteral("/nonexistent-folder/x"));
        QVERIFY(!bad.error.isEmpty());
    }
};

QTEST_MAIN(TestSqliteExport)
#include "test_sqlite_export.moc"
