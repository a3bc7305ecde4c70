// Copying a query's rows into another database file on the program's own
// connection, as "Экспорт" does for a database-file target.

#include "database/attach_export.h"
#include "support/test_env.h"

#include <QFile>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Reads a file through its own connection, as another program would.
QVariant scalarIn(const QString &path, const QString &sql)
{
    QVariant v;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("other"));
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery q(db);
            if (q.exec(sql) && q.next())
                v = q.value(0);
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("other"));
    return v;
}

}  // namespace

class TestAttachExport : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void copiesIntoNewAndExistingFiles()
    {
        kvtest::TempDatabase tdb(QStringLiteral("main"), true);
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("export.sqlite"));

        QVERIFY(kv::createEmptyDatabaseFile(target).isEmpty());
        QVERIFY(QFile(target).size() > 0);  // a real database, not a zero-length file
        QString error;
        QCOMPARE(kv::databaseFileTables(target, &error), QStringList());
        QVERIFY(error.isEmpty());
        QVERIFY(!kv::createEmptyDatabaseFile(target).isEmpty());  // never over an existing file

        const QString types = QStringLiteral("Select PTip,PIdentificator,PMaker,PClassT from TTip ");
        QVERIFY(kv::copySelectIntoFile(tdb.db(), target, QStringLiteral("types"), types).isEmpty());
        const int count = kvtest::scalar(tdb.db(), QStringLiteral("SELECT count(*) FROM TTip")).toInt();
        QVERIFY(count > 0);
        QCOMPARE(scalarIn(target, QStringLiteral("SELECT count(*) FROM types")).toInt(), count);
        QCOMPARE(scalarIn(target, QStringLiteral("SELECT PMaker FROM types WHERE PTip = 'ЭТТ-3.57'")).toString(),
                 QStringLiteral("Энергоучёт"));
        QCOMPARE(scalarIn(target, QStringLiteral("SELECT typeof(PClassT) FROM types")).toString(),
                 QStringLiteral("real"));

        // A second table joins the first; the main database gains nothing.
        QVERIFY(kv::copySelectIntoFile(tdb.db(), target, QStringLiteral("Тесты 2"),
                                       QStringLiteral("Select PNameTable from TTest")).isEmpty());
        QCOMPARE(kv::databaseFileTables(target, &error), QStringList({QStringLiteral("types"), QStringLiteral("Тесты 2")}));
        QCOMPARE(kvtest::scalar(tdb.db(), QStringLiteral("SELECT count(*) FROM sqlite_master WHERE name = 'types'")).toInt(),
                 0);
        // The connection is usable and nothing stays attached.
        QCOMPARE(kvtest::scalar(tdb.db(), QStringLiteral("SELECT count(*) FROM pragma_database_list WHERE name NOT IN ('main', 'temp')")).toInt(), 0);
    }

    void failuresComeBackAsText()
    {
        kvtest::TempDatabase tdb(QStringLiteral("main"), true);
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("export.sqlite"));
        QVERIFY(kv::createEmptyDatabaseFile(target).isEmpty());
        const QString select = QStringLiteral("Select PTip from TTip");
        QVERIFY(kv::copySelectIntoFile(tdb.db(), target, QStringLiteral("t"), select).isEmpty());

        const QString exists = kv::copySelectIntoFile(tdb.db(), target, QStringLiteral("T"), select);
        QCOMPARE(exists, QStringLiteral("Таблица \"t\" уже существует."));
        QVERIFY(!kv::copySelectIntoFile(tdb.db(), target, QStringLiteral("  "), select).isEmpty());
        QVERIFY(!kv::copySelectIntoFile(tdb.db(), target, QStringLiteral("bad"), QStringLiteral("Select nonsense from TTip"))
                     .isEmpty());
        QVERIFY(!kv::copySelectIntoFile(tdb.db(), dir.filePath(QStringLiteral("missing.sqlite")), QStringLiteral("x"), select)
                     .isEmpty());
        // A name with a quote is a name, not SQL.
        QVERIFY(kv::copySelectIntoFile(tdb.db(), target, QStringLiteral("a\"b"), select).isEmpty());

        // A file that is not a database.
        const QString text = dir.filePath(QStringLiteral("notes.sqlite"));
        {
            QFile f(text);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(4096, 'x'));
        }
        QString error;
        QVERIFY(kv::databaseFileTables(text, &error).isEmpty());
        QVERIFY(!error.isEmpty());
        QVERIFY(!kv::copySelectIntoFile(tdb.db(), text, QStringLiteral("x"), select).isEmpty());

        // After every failure the connection still works and nothing is attached.
        QCOMPARE(kvtest::scalar(tdb.db(), QStringLiteral("SELECT count(*) FROM pragma_database_list WHERE name NOT IN ('main', 'temp')")).toInt(), 0);
        QCOMPARE(kv::databaseFileTables(target, &error), QStringList({QStringLiteral("a\"b"), QStringLiteral("t")}));
    }
};

QTEST_MAIN(TestAttachExport)
#include "test_attach_export.moc"
