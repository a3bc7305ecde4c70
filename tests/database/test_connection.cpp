#include "database/attach_export.h"
#include "database/connection.h"
#include "database/database_check.h"
#include "database/schema.h"
#include "support/full_folder.h"
#include "support/test_env.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using namespace kvtest;

class TestConnection : public QObject
{
    Q_OBJECT

    static QString tool() { return qEnvironmentVariable("KVINTOR_BIN_DIR") + QStringLiteral("/kvintor-db"); }

    static QByteArray bytesOf(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

    // Gives the file enough archive pages to damage, applies `change`, and
    // with no change overwrites three pages in the middle of the archive, as
    // a failing disk does. Every connection is closed before the bytes are
    // touched.
    static void fillAndDamage(const QString &path, const QString &change)
    {
        {
            QVERIFY(kv::openDatabase(path, QStringLiteral("fill")).isEmpty());
            QSqlDatabase db = QSqlDatabase::database(QStringLiteral("fill"));
            if (change.isEmpty()) {
                execOrFail(db, QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 20000) "
                                              "INSERT INTO TTest (PNameTable, PDescription) SELECT 'T' || i, 'описание ' || i FROM n"));
            } else {
                execOrFail(db, change);
            }
            execOrFail(db, QStringLiteral("PRAGMA journal_mode = DELETE"));
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("fill"));
        if (!change.isEmpty())
            return;
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadWrite));
        const qint64 pages = f.size() / 4096;
        for (qint64 page : {pages / 2, pages / 2 + 3, pages / 2 + 7}) {
            QVERIFY(f.seek(page * 4096 + 8));
            f.write(QByteArray(4000, '\x5a'));
        }
    }

private Q_SLOTS:
    void pathFromArgumentsAndEnvironment()
    {
        qunsetenv("KVINTOR_DATABASE");
        QCOMPARE(kv::databasePath({}), QStringLiteral("KvintorDB.sqlite"));
        QCOMPARE(kv::databasePath({QStringLiteral("Kvintor"), QStringLiteral("--database"), QStringLiteral("/x/a.sqlite")}),
                 QStringLiteral("/x/a.sqlite"));
        QCOMPARE(kv::databasePath({QStringLiteral("--database=/y/b.sqlite")}), QStringLiteral("/y/b.sqlite"));
        qputenv("KVINTOR_DATABASE", "/z/c.sqlite");
        QCOMPARE(kv::databasePath({}), QStringLiteral("/z/c.sqlite"));
        QCOMPARE(kv::databasePath({QStringLiteral("--database"), QStringLiteral("/x/a.sqlite")}), QStringLiteral("/x/a.sqlite"));
        qunsetenv("KVINTOR_DATABASE");
    }

    // A file that is missing, not a database or read-only is refused with a
    // text naming the file and its folder, and nothing is created.
    void refusals()
    {
        QTemporaryDir dir;
        const QString missing = dir.filePath(QStringLiteral("KvintorDB.sqlite"));
        QString error = kv::openDatabase(missing, QStringLiteral("c1"));
        QVERIFY(error.contains(QStringLiteral("KvintorDB.sqlite")));
        QVERIFY(error.contains(dir.path()));
        QVERIFY(!QFile::exists(missing));
        QVERIFY(!QSqlDatabase::contains(QStringLiteral("c1")));

        const QString junk = dir.filePath(QStringLiteral("junk.sqlite"));
        QFile f(junk);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, 'x'));
        f.close();
        error = kv::openDatabase(junk, QStringLiteral("c2"));
        QVERIFY(!error.isEmpty());
        QVERIFY(error.contains(QStringLiteral("junk.sqlite")));
        QCOMPARE(QFileInfo(junk).size(), 4096);

        const QString readOnly = dir.filePath(QStringLiteral("ro.sqlite"));
        QCOMPARE(kv::createDatabaseFile(readOnly), QString());
        QFile::setPermissions(readOnly, QFileDevice::ReadOwner);
        if (QFileInfo(readOnly).isWritable())
            QSKIP("running as a user who may write any file");
        QVERIFY(kv::openDatabase(readOnly, QStringLiteral("c3")).contains(QStringLiteral("ro.sqlite")));
    }

    // A database the programs did not make, or one switched to another
    // journal mode (a copy on a network share), opens and is put back in WAL.
    void opensFileInAnotherJournalMode()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("KvintorDB.sqlite"));
        QCOMPARE(kv::createDatabaseFile(path), QString());
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("j0"));
            db.setDatabaseName(path);
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec(QStringLiteral("PRAGMA journal_mode = DELETE")));
            QVERIFY(q.next());
            QCOMPARE(q.value(0).toString(), QStringLiteral("delete"));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("j0"));
        QCOMPARE(kv::openDatabase(path, QStringLiteral("j1")), QString());
        {
            QSqlQuery q(QSqlDatabase::database(QStringLiteral("j1")));
            QVERIFY(q.exec(QStringLiteral("PRAGMA journal_mode")));
            QVERIFY(q.next());
            QCOMPARE(q.value(0).toString(), QStringLiteral("wal"));
        }
        QSqlDatabase::database(QStringLiteral("j1")).close();
        QSqlDatabase::removeDatabase(QStringLiteral("j1"));
    }

    // A file that is not ours, damaged, incomplete or newer is refused with
    // a text that names it and says what is wrong, and not one byte of it
    // changes: no journal mode switch, no version mark, no upgrade.
    void refusesWithoutWriting_data()
    {
        QTest::addColumn<QString>("damage");  // what is done to a fresh database first
        QTest::addColumn<QString>("expected");
        QTest::newRow("empty file") << QStringLiteral("empty") << QStringLiteral("пуст");
        QTest::newRow("another program's database") << QStringLiteral("foreign") << QStringLiteral("не является базой данных Kvintor");
        QTest::newRow("missing column") << QStringLiteral("ALTER TABLE TResult DROP COLUMN PMeasureMax")
                                        << QStringLiteral("нет поля TResult.PMeasureMax");
        QTest::newRow("missing table") << QStringLiteral("DROP TABLE TTestBuf") << QStringLiteral("нет таблицы TTestBuf");
        QTest::newRow("newer version mark") << QStringLiteral("PRAGMA user_version = 2") << QStringLiteral("более новой версией");
        QTest::newRow("required column of a newer version")
            << QStringLiteral("ALTER TABLE TResult ADD COLUMN PUnit INTEGER CHECK (PUnit IS NOT NULL)")
            << QStringLiteral("TResult.PUnit обязательно");
        QTest::newRow("damaged pages") << QStringLiteral("pages") << QStringLiteral("повреждена");
    }

    void refusesWithoutWriting()
    {
        QFETCH(QString, damage);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        const QString path = dir.filePath(kv::kDatabaseFileName);
        if (damage == QLatin1String("empty")) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
        } else if (damage == QLatin1String("foreign")) {
            QVERIFY(kv::createEmptyDatabaseFile(path).isEmpty());
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("other"));
            db.setDatabaseName(path);
            QVERIFY(db.open());
            execOrFail(db, QStringLiteral("CREATE TABLE Invoices (Id INTEGER PRIMARY KEY, Amount REAL)"));
            db.close();
        } else {
            QCOMPARE(kv::createDatabaseFile(path), QString());
            fillAndDamage(path, damage == QLatin1String("pages") ? QString() : damage);
        }
        QSqlDatabase::removeDatabase(QStringLiteral("other"));
        const QByteArray before = bytesOf(path);

        const QString error = kv::openDatabase(path, QStringLiteral("refused"));
        QVERIFY2(error.contains(expected), qPrintable(error));
        QVERIFY2(error.contains(kv::kDatabaseFileName) && error.contains(dir.path()), qPrintable(error));
        QVERIFY(!QSqlDatabase::contains(QStringLiteral("refused")));
        QCOMPARE(bytesOf(path), before);
        QVERIFY(!QFile::exists(path + QStringLiteral("-wal")));

        // The tool reports the same and says so by its exit code.
        QProcess p;
        p.start(tool(), {QStringLiteral("check"), path});
        QVERIFY(p.waitForFinished(60000));
        QVERIFY(p.exitCode() != 0);
        const QString report = QString::fromUtf8(p.readAllStandardError());
        QVERIFY2(report.contains(expected), qPrintable(report));
        QCOMPARE(bytesOf(path), before);

        // What is readable of a damaged archive is saved into a new file that passes the check.
        if (damage == QLatin1String("pages")) {
            const QString saved = dir.filePath(QStringLiteral("saved.sqlite"));
            p.start(tool(), {QStringLiteral("recover"), path, saved});
            QVERIFY(p.waitForFinished(120000));
            QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
            const QString said = QString::fromUtf8(p.readAllStandardOutput());
            QVERIFY2(said.contains(QStringLiteral("часть строк не читается")), qPrintable(said));
            p.start(tool(), {QStringLiteral("check"), saved});
            QVERIFY(p.waitForFinished(60000));
            QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
            QVERIFY(kv::openDatabase(saved, QStringLiteral("saved")).isEmpty());
            const int rows = scalar(QSqlDatabase::database(QStringLiteral("saved")), QStringLiteral("SELECT count(*) FROM TTest")).toInt();
            QVERIFY2(rows < 20000, qPrintable(QString::number(rows)));
            QSqlDatabase::database(QStringLiteral("saved")).close();
            QSqlDatabase::removeDatabase(QStringLiteral("saved"));
        }
    }

    // A large archive is checked beside the start; its first write waits for
    // the verdict and is refused when the archive is damaged.
    void deferredCheckHoldsTheFirstWrite_data()
    {
        QTest::addColumn<bool>("damaged");
        QTest::newRow("whole archive") << false;
        QTest::newRow("damaged archive") << true;
    }

    void deferredCheckHoldsTheFirstWrite()
    {
        QFETCH(bool, damaged);
        QTemporaryDir dir;
        const QString path = dir.filePath(kv::kDatabaseFileName);
        QCOMPARE(kv::createDatabaseFile(path), QString());
        fillAndDamage(path, damaged ? QString() : QStringLiteral("SELECT 1"));
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("large"));
            db.setDatabaseName(path);
            QVERIFY(db.open());
            kv::startDeferredCheck(path);
            kv::Transaction tx(db);
            QCOMPARE(tx.begin(), !damaged);
            if (damaged) {
                QVERIFY2(tx.errorText().contains(QStringLiteral("повреждена")), qPrintable(tx.errorText()));
                QVERIFY(tx.errorText().contains(QStringLiteral("kvintor-db check")));
            }
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("large"));
    }

    // An older file is upgraded in one transaction after a copy is kept; a
    // step that fails leaves the file as it was.
    void upgradeKeepsCopyAndIsWhole()
    {
        TempDatabase t(QStringLiteral("old"), true);
        QSqlDatabase db = t.db();
        execOrFail(db, QStringLiteral("PRAGMA user_version = 0"));  // made before versions were marked
        const std::vector<kv::SchemaUpgrade> broken{
            {2, {QStringLiteral("ALTER TABLE TTip ADD COLUMN PNote TEXT"), QStringLiteral("ALTER TABLE TNone ADD COLUMN X")}}};
        QString copy;
        QVERIFY(!kv::upgradeDatabase(db, t.path(), 1, broken, &copy).isEmpty());
        QCOMPARE(scalar(db, QStringLiteral("PRAGMA user_version")).toInt(), 0);
        QCOMPARE(kv::checkSchema(db), QStringList());
        QVERIFY(!db.record(QStringLiteral("TTip")).contains(QStringLiteral("PNote")));

        const int types = scalar(db, QStringLiteral("SELECT count(*) FROM TTip")).toInt();
        const std::vector<kv::SchemaUpgrade> steps{{2, {QStringLiteral("ALTER TABLE TTip ADD COLUMN PNote TEXT")}},
                                                   {3, {QStringLiteral("UPDATE TTip SET PNote = 'x'")}}};
        copy.clear();
        QCOMPARE(kv::upgradeDatabase(db, t.path(), 1, steps, &copy), QString());
        QCOMPARE(scalar(db, QStringLiteral("PRAGMA user_version")).toInt(), 3);
        QCOMPARE(scalar(db, QStringLiteral("SELECT count(*) FROM TTip WHERE PNote = 'x'")).toInt(), types);

        QVERIFY(copy.startsWith(t.path()));
        QVERIFY(kv::openDatabase(copy, QStringLiteral("copy")).isEmpty());
        {
            QSqlDatabase kept = QSqlDatabase::database(QStringLiteral("copy"));
            QCOMPARE(scalar(kept, QStringLiteral("SELECT count(*) FROM TTip")).toInt(), types);
            QVERIFY(!kept.record(QStringLiteral("TTip")).contains(QStringLiteral("PNote")));
            kept.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("copy"));
    }

    // A full disk reaches the operator in Russian with the file's folder, and
    // the same save goes through once there is room again.
    void fullDiskIsSaidWithTheFolder()
    {
        FullFolder folder;
        if (!folder.onTmpfs())
            QSKIP("needs a file system it may fill (mounting a tmpfs)");
        const QString path = folder.filePath(kv::kDatabaseFileName);
        QCOMPARE(kv::createDatabaseFile(path), QString());
        QCOMPARE(kv::openDatabase(path, QStringLiteral("full")), QString());
        QSqlDatabase db = QSqlDatabase::database(QStringLiteral("full"));
        auto save = [&] {
            kv::Transaction tx(db);
            if (!tx.begin())
                return tx.errorText();
            QSqlQuery q(db);
            if (!q.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2000) "
                                       "INSERT INTO TTest (PNameTable, PDescription) SELECT 'T' || i, hex(randomblob(20)) FROM n")))
                return kv::engineErrorText(q.lastError(), db);
            return tx.commit() ? QString() : tx.errorText();
        };
        folder.fill();
        const QString error = save();
        folder.release();
        QVERIFY2(error.startsWith(QStringLiteral("Нет места на диске")), qPrintable(error));
        QVERIFY2(error.contains(folder.path()), qPrintable(error));
        QCOMPARE(scalar(db, QStringLiteral("SELECT count(*) FROM TTest")).toInt(), 0);
        QCOMPARE(save(), QString());
        QCOMPARE(scalar(db, QStringLiteral("SELECT count(*) FROM TTest")).toInt(), 2000);
        db.close();
        QSqlDatabase::removeDatabase(QStringLiteral("full"));
    }

    void createRefusesExistingFile()
    {
        TempDatabase t;
        QVERIFY(!kv::createDatabaseFile(t.path()).isEmpty());
        QSqlDatabase db = t.db();
        QCOMPARE(kv::checkSchema(db), QStringList());
    }

    // One connection writes inside a transaction while the other reads and then
    // deletes: the reader sees the last committed state, the deletion waits for
    // the writer instead of failing with "database is locked".
    void twoConnectionsAtOnce()
    {
        TempDatabase t(QStringLiteral("reader"), true);
        execOrFail(t.db(), QStringLiteral("INSERT INTO TMeasure (PDate, PPointerTip, PPointerTest) VALUES ('2026-01-01 08:00:00', 1, 1)"));

        std::atomic<bool> begun{false};
        QString writerError;
        QThread *writer = QThread::create([&] {
            {
                if (!kv::openDatabase(t.path(), QStringLiteral("writer")).isEmpty()) {
                    writerError = QStringLiteral("open");
                    begun = true;
                    return;
                }
                QSqlDatabase w = QSqlDatabase::database(QStringLiteral("writer"));
                kv::Transaction tx(w);
                if (!tx.begin())
                    writerError = tx.errorText();
                begun = true;
                QSqlQuery q(w);
                for (int i = 0; i < 200; ++i)
                    if (!q.exec(QStringLiteral("INSERT INTO TMeasure (PDate, PPointerTip, PPointerTest) VALUES ('2026-02-01 08:00:00', 1, 1)")))
                        writerError = q.lastError().text();
                QThread::msleep(300);
                if (!tx.commit())
                    writerError = tx.errorText();
                w.close();
            }
            QSqlDatabase::removeDatabase(QStringLiteral("writer"));
        });
        writer->start();
        while (!begun)
            QThread::msleep(1);

        QSqlDatabase r = t.db();
        QCOMPARE(scalar(r, QStringLiteral("SELECT count(*) FROM TMeasure")).toInt(), 1);
        kv::Transaction tx(r);
        QVERIFY2(tx.begin(), qPrintable(tx.errorText()));
        QSqlQuery del(r);
        QVERIFY2(del.exec(QStringLiteral("DELETE FROM TMeasure WHERE PDate < '2026-01-02'")), qPrintable(del.lastError().text()));
        QVERIFY2(tx.commit(), qPrintable(tx.errorText()));
        writer->wait();
        delete writer;
        QCOMPARE(writerError, QString());
        QCOMPARE(scalar(r, QStringLiteral("SELECT count(*) FROM TMeasure")).toInt(), 200);
    }

    void toolCreateAndCheck()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("x.sqlite"));
        QProcess p;
        p.start(tool(), {QStringLiteral("create"), QStringLiteral("--demo"), path});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 0);
        p.start(tool(), {QStringLiteral("check"), path});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 0);

        // Refuses to overwrite.
        p.start(tool(), {QStringLiteral("create"), path});
        QVERIFY(p.waitForFinished(60000));
        QVERIFY(p.exitCode() != 0);

        // A file missing a table and a column: each named, non-zero exit.
        {
            QVERIFY(kv::openDatabase(path, QStringLiteral("damage")).isEmpty());
            QSqlDatabase db = QSqlDatabase::database(QStringLiteral("damage"));
            // The backup is taken while the connection is open, as a lab would while the programs run.
            QCOMPARE(kv::backupDatabase(db, dir.filePath(QStringLiteral("copy.sqlite"))), QString());
            QVERIFY(!kv::backupDatabase(db, dir.filePath(QStringLiteral("copy.sqlite"))).isEmpty());
            execOrFail(db, QStringLiteral("DROP TABLE TResult"));
            execOrFail(db, QStringLiteral("ALTER TABLE TTestBuf DROP COLUMN PMode"));
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("damage"));
        p.start(tool(), {QStringLiteral("check"), dir.filePath(QStringLiteral("copy.sqlite"))});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 0);
        p.start(tool(), {QStringLiteral("check"), path});
        QVERIFY(p.waitForFinished(60000));
        QVERIFY(p.exitCode() != 0);
        const QString report = QString::fromUtf8(p.readAllStandardError());
        QVERIFY2(report.contains(QStringLiteral("нет таблицы TResult")), qPrintable(report));
        QVERIFY2(report.contains(QStringLiteral("нет поля TTestBuf.PMode")), qPrintable(report));

        // Not a database at all.
        const QString junk = dir.filePath(QStringLiteral("junk.sqlite"));
        QFile f(junk);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("not a database");
        f.close();
        p.start(tool(), {QStringLiteral("check"), junk});
        QVERIFY(p.waitForFinished(60000));
        QVERIFY(p.exitCode() != 0);
    }

    void toolSyntheticArchive()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("a.sqlite"));
        QProcess p;
        p.start(tool(), {QStringLiteral("create"), QStringLiteral("--demo"), QStringLiteral("--archive-years"),
                         QStringLiteral("1"), path});
        QVERIFY(p.waitForFinished(120000));
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(kv::openDatabase(path, QStringLiteral("arch")).isEmpty());
        {
            QSqlDatabase db = QSqlDatabase::database(QStringLiteral("arch"));
            QCOMPARE(scalar(db, QStringLiteral("SELECT count(*) FROM TMeasure")).toInt(), 5000);
            const int meters = scalar(db, QStringLiteral("SELECT count(*) FROM TPositionCH")).toInt();
            QVERIFY2(meters > 25000 && meters < 35000, qPrintable(QString::number(meters)));
            const int errors = scalar(db, QStringLiteral("SELECT count(*) FROM TResult")).toInt();
            QVERIFY2(errors > 450000 && errors < 700000, qPrintable(QString::number(errors)));
            // Verdicts agree with the errors stored.
            QCOMPARE(scalar(db, QStringLiteral("SELECT count(*) FROM TPositionCH p WHERE p.PTotal = 1 AND EXISTS (SELECT 1 FROM TResult r "
                                               "WHERE r.PSecIndex = p.PIndex AND abs(r.PMeasure) > abs(r.PMeasureMax))")).toInt(), 0);
            QVERIFY(scalar(db, QStringLiteral("SELECT count(*) FROM TPositionCH WHERE PTotal = 2")).toInt() > 0);
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("arch"));
    }
};

QTEST_GUILESS_MAIN(TestConnection)
#include "test_connection.moc"
