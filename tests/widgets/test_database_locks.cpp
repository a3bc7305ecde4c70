// The database's SQLite locks survive everything the programs do beside
// SQLite, and losing them is seen at once: a file dialog on the database's
// folder, the refusal of the database as a file to write or read, and the
// guard that tells the operator.

#include "core/ui.h"
#include "database/file_locks.h"
#include "file_dialog_browse.h"
#include "support/test_env.h"
#include "widgets/database_guard.h"
#include "widgets/file_dialogs.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QSqlQuery>
#include <QTest>

#include <unistd.h>

using namespace kvtest;


class TestDatabaseLocks : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void openConnectionHoldsLocks()
    {
        TempDatabase db;
        QCOMPARE(kv::fileLocksOfThisProcess(db.path()), kv::FileLocks::Held);
        QCOMPARE(kv::fileLocksOfThisProcess(db.path() + QStringLiteral("-shm")), kv::FileLocks::Held);
        QCOMPARE(kv::databaseLocksOfThisProcess(db.path()), kv::FileLocks::Held);
        QCOMPARE(kv::databaseLocksOfProcess(db.path(), qint64(getppid())), kv::FileLocks::Lost);
        QCOMPARE(kv::fileLocksOfThisProcess(db.folder() + QStringLiteral("/absent")), kv::FileLocks::Unknown);
    }

    // The kernel drops a file's locks when any descriptor of it closes, each
    // file's on its own; the guard says so once, in Russian, naming the file.
    void guardSeesClosedDescriptor_data()
    {
        QTest::addColumn<QString>("suffix");
        QTest::newRow("the database file") << QString();
        QTest::newRow("its shared memory") << QStringLiteral("-shm");
    }

    void guardSeesClosedDescriptor()
    {
        QFETCH(QString, suffix);
        TempDatabase db;
        kv::ScopedRecordingUi ui;
        kv::DatabaseGuard guard(db.path());
        QVERIFY(guard.check());
        QVERIFY(ui->boxes().isEmpty());

        QFile file(db.path() + suffix);
        QVERIFY(file.open(QIODevice::ReadOnly));
        file.close();

        QCOMPARE(kv::databaseLocksOfThisProcess(db.path()), kv::FileLocks::Lost);
        QVERIFY(!guard.check());
        guard.OnCheckTimer();
        QCOMPARE(ui->boxes().size(), 1);
        QCOMPARE(ui->boxes().first().text, kv::DatabaseGuard::lostText(db.path()));
        QVERIFY(ui->boxes().first().text.contains(QStringLiteral("KvintorDB.sqlite")));
    }

    void guardIgnoresClosedConnection()
    {
        TempDatabase db;
        kv::ScopedRecordingUi ui;
        bool connected = true;
        kv::DatabaseGuard guard(db.path(), [&connected] { return connected; });
        db.close();
        connected = false;
        QVERIFY(guard.check());
        QVERIFY(ui->boxes().isEmpty());
    }

    // The folder holds the database with its -wal and -shm, whose names the
    // MIME database does not know: a dialog that asked it would open them.
    void fileDialogLeavesLocks()
    {
        TempDatabase db;
        QSqlQuery q(db.db());
        QVERIFY(q.exec(QStringLiteral("SELECT count(*) FROM TTip")));
        QVERIFY(QFile::exists(db.path() + QStringLiteral("-wal")));
        QVERIFY(QFile::exists(db.path() + QStringLiteral("-shm")));
        {
            QFile other(db.folder() + QStringLiteral("/notes"));
            QVERIFY(other.open(QIODevice::WriteOnly));
            other.write("no known extension\n");
        }
        for (bool save : {true, false}) {
            std::unique_ptr<QFileDialog> dialog(kv::makeFileDialog(nullptr, QStringLiteral("d"), QStringLiteral("d"), save));
            QVERIFY(dialog->testOption(QFileDialog::DontUseNativeDialog));
            QVERIFY(soak::browseFolder(dialog.get(), db.folder(), 4, 10000));
            QCOMPARE(kv::databaseLocksOfThisProcess(db.path()), kv::FileLocks::Held);
        }
    }

    void databaseRefusedAsFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("refused");
        QTest::newRow("the database") << "KvintorDB.sqlite" << true;
        QTest::newRow("its write-ahead log") << "KvintorDB.sqlite-wal" << true;
        QTest::newRow("its shared memory") << "KvintorDB.sqlite-shm" << true;
        QTest::newRow("its rollback journal") << "KvintorDB.sqlite-journal" << true;
        QTest::newRow("through another spelling of the folder") << "./sub/../KvintorDB.sqlite" << true;
        QTest::newRow("a link to it") << "link.sqlite" << true;
        QTest::newRow("an export beside it") << "KvintorDB.sqlite.csv" << false;
        QTest::newRow("another database") << "Other.sqlite" << false;
    }

    void databaseRefusedAsFile()
    {
        QFETCH(QString, name);
        QFETCH(bool, refused);
        TempDatabase db;
        QVERIFY(QDir(db.folder()).mkpath(QStringLiteral("sub")));
        QVERIFY(QFile::link(db.path(), db.folder() + QStringLiteral("/link.sqlite")));
        const QString path = db.folder() + QLatin1Char('/') + name;
        QCOMPARE(kv::isDatabaseFile(path), refused);
        QVERIFY(kv::databaseFileRefusal(path).startsWith(QStringLiteral("Файл «")));
    }
};

QTEST_MAIN(TestDatabaseLocks)
#include "test_database_locks.moc"
