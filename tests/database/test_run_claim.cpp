// The claim a verification in progress holds on its meter types and test:
// seen by this process and by another one, gone when the run lets go or its
// program dies, and never touching the database's own files.

#include "database/connection.h"
#include "database/run_claim.h"
#include "support/test_env.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QSqlQuery>
#include <QThread>
#include <QTest>

#include <iostream>

using kv::ClaimKind;

namespace {

// The child: claims types 3 and 7 and test 5 on the database named in the
// environment, says so, and holds the claim until it is killed.
int holdClaimAsChild(const QString &path)
{
    {
        const QString opened = kv::openDatabase(path, QStringLiteral("child"));
        if (!opened.isEmpty()) {
            std::cout << qPrintable(opened) << std::endl;
            return 1;
        }
        QSqlDatabase db = QSqlDatabase::database(QStringLiteral("child"));
        kv::RunClaim claim;
        const QString error = claim.claim(db, {3, 7}, 5);
        std::cout << (error.isEmpty() ? "claimed" : qPrintable(error)) << std::endl;
        for (;;)
            QThread::sleep(1);
    }
}

}  // namespace

class TestRunClaim : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void aClaimIsSeenUntilReleased()
    {
        kvtest::TempDatabase database;
        QSqlDatabase db = database.db();
        {
            kv::RunClaim claim;
            QCOMPARE(claim.claim(db, {3, 7, 3}, 5), QString());
            QVERIFY(claim.held());
            // Types and tests are counted apart: test 3 and type 5 are free.
            const struct {
                ClaimKind kind;
                qint64 key;
                bool claimed;
            } cases[] = {{ClaimKind::Tip, 3, true},  {ClaimKind::Tip, 7, true},   {ClaimKind::Test, 5, true},
                         {ClaimKind::Tip, 5, false}, {ClaimKind::Test, 3, false}, {ClaimKind::Tip, 4, false}};
            for (const auto &c : cases)
                QCOMPARE(kv::runClaims(db, c.kind, c.key), c.claimed);

            // A second claim of the same process on a shared key: the key
            // stays claimed until both let go.
            kv::RunClaim other;
            QCOMPARE(other.claim(db, {7}, 9), QString());
            claim.release();
            QVERIFY(!kv::runClaims(db, ClaimKind::Tip, 3));
            QVERIFY(kv::runClaims(db, ClaimKind::Tip, 7));
            // A new claim replaces the old one.
            QCOMPARE(other.claim(db, {8}, 9), QString());
            QVERIFY(!kv::runClaims(db, ClaimKind::Tip, 7));
            QVERIFY(kv::runClaims(db, ClaimKind::Tip, 8));
        }
        // Gone with its owner.
        QVERIFY(!kv::runClaims(db, ClaimKind::Tip, 8));
        QVERIFY(!kv::runClaims(db, ClaimKind::Test, 9));
        // The claims live in a file of their own; the database still takes writes.
        QVERIFY(kvtest::onServer() || QFile::exists(database.path() + QStringLiteral(".runs")));
        kvtest::execOrFail(db, QStringLiteral("INSERT INTO TTip (PTip) VALUES ('после')"));
    }

    void anotherProgramsClaimIsSeenAndDiesWithIt()
    {
        kvtest::TempDatabase database;
        QSqlDatabase db = database.db();
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("KV_CLAIM_CHILD"), database.path());
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForStarted());
        QVERIFY(child.waitForReadyRead(10000));
        QCOMPARE(child.readLine().trimmed(), QByteArray("claimed"));
        QVERIFY(kv::runClaims(db, ClaimKind::Tip, 3));
        QVERIFY(kv::runClaims(db, ClaimKind::Tip, 7));
        QVERIFY(kv::runClaims(db, ClaimKind::Test, 5));
        QVERIFY(!kv::runClaims(db, ClaimKind::Test, 7));
        // Checking did not take the child's claim away, and a claim of our
        // own on the same key does not conflict with it.
        {
            kv::RunClaim mine;
            QCOMPARE(mine.claim(db, {3}, 5), QString());
        }
        QVERIFY(kv::runClaims(db, ClaimKind::Tip, 3));
        // A crash frees what it held (a server notices the lost connection a moment later).
        child.kill();
        QVERIFY(child.waitForFinished(5000));
        QVERIFY(kvtest::spinUntil([&] { return !kv::runClaims(db, ClaimKind::Tip, 3); }, 5000));
        QVERIFY(!kv::runClaims(db, ClaimKind::Test, 5));
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString child = qEnvironmentVariable("KV_CLAIM_CHILD");
    if (!child.isEmpty())
        return holdClaimAsChild(child);
    TestRunClaim test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_run_claim.moc"
