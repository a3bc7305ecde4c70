// The synthetic archive the demo database is made with: what BaseKvintor
// shows first must look like a real lab's archive.

#include "core/clock.h"
#include "demo_data.h"
#include "support/test_env.h"

#include <QTest>

using namespace kvtest;

class TestDemoArchive : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void cleanup() { kv::setNowForTests({}); }

    // In the morning, most of today's working hours are still to come; no
    // record may be dated later than the moment the archive was made.
    void endsNowAndSpansTheYears()
    {
        const QDateTime now(QDate(2026, 3, 4), QTime(8, 30, 0));
        kv::setNowForTests(now);
        TempDatabase base(QStringLiteral("archive"), true);
        kv::demo::ArchiveStats stats;
        QSqlDatabase db = base.db();
        QCOMPARE(kv::demo::addSyntheticArchive(db, 1, &stats, 7), QString());
        QCOMPARE(stats.records, qint64(5000));
        const QString last = scalar(base.db(), QStringLiteral("SELECT MAX(PDate) FROM TMeasure")).toString();
        const QString first = scalar(base.db(), QStringLiteral("SELECT MIN(PDate) FROM TMeasure")).toString();
        QVERIFY2(last <= now.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), qPrintable(last));
        QVERIFY2(last >= now.addDays(-3).toString(QStringLiteral("yyyy-MM-dd")), qPrintable(last));
        QVERIFY2(first >= now.addYears(-1).addDays(-1).toString(QStringLiteral("yyyy-MM-dd")), qPrintable(first));
        QVERIFY2(first <= now.addYears(-1).addDays(3).toString(QStringLiteral("yyyy-MM-dd")), qPrintable(first));
        // Every meter has its errors, every record its meters.
        QCOMPARE(scalar(base.db(), QStringLiteral("SELECT COUNT(*) FROM TMeasure m WHERE NOT EXISTS "
                                                  "(SELECT 1 FROM TPositionCH p WHERE p.PSecIndex = m.PIndex)"))
                     .toInt(),
                 0);
    }
};

QTEST_MAIN(TestDemoArchive)
#include "test_demo_archive.moc"
