// The data module's start-up failures, its master-detail links, and archive
// deletions, also while the control program writes the same file.

#include "core/error_report.h"
#include "core/ui.h"
#include "database/connection.h"
#include "database/engine_sql.h"
#include "reference/archive_view.h"
#include "reference/data_module.h"
#include "support/test_env.h"

#include <QSemaphore>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

#include <thread>

using namespace basekvintor;
using kvtest::execOrFail;
using kvtest::scalar;

namespace {

// Two types, one test, and `records` archive records of two meters with two
// errors each (points 2 and 1, stored in that order).
void fillArchive(QSqlDatabase db, int records)
{
    execOrFail(db, QStringLiteral("INSERT INTO TTip (PTip, PIdentificator) VALUES ('A', '1'), ('B', '2')"));
    execOrFail(db, QStringLiteral("INSERT INTO TTest (PNameTable) VALUES ('T')"));
    QVERIFY(db.transaction());
    QSqlQuery m(db), p(db), r(db);
    m.prepare(kv::engineSql(m.driver(), QStringLiteral("INSERT INTO TMeasure (PDate, PPointerTip, PPointerTest) VALUES (?, ?, 1)")));
    p.prepare(kv::engineSql(p.driver(), QStringLiteral("INSERT INTO TPositionCH (PSecIndex, PPosition, PNumber, PTotal) VALUES (?, ?, ?, 1)")));
    r.prepare(kv::engineSql(r.driver(), QStringLiteral("INSERT INTO TResult (PSecIndex, PPointNumber, PMeasure, PMeasureMax) VALUES (?, ?, 0.1, 1)")));
    for (int i = 0; i < records; ++i) {
        // Dates run backwards, so the list's date order differs from the key order.
        m.addBindValue(QDateTime(QDate(2026, 1, 1), QTime(0, 0)).addSecs(-60 * i).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
        m.addBindValue(1 + i % 2);
        QVERIFY(m.exec());
        const qint64 measure = m.lastInsertId().toLongLong();
        for (int pos : {12, 11}) {
            p.addBindValue(measure);
            p.addBindValue(pos);
            p.addBindValue(QStringLiteral("N%1-%2").arg(i).arg(pos));
            QVERIFY(p.exec());
            const qint64 position = p.lastInsertId().toLongLong();
            for (int point : {2, 1}) {
                r.addBindValue(position);
                r.addBindValue(point);
                QVERIFY(r.exec());
            }
        }
    }
    QVERIFY(db.commit());
}

// The other program: its own connection holding the write lock for a while.
class OtherWriter
{
public:
    OtherWriter(const QString &path, int holdMs) : m_path(path), m_hold(holdMs) {}
    void start()
    {
        m_thread = std::thread([this] {
            const QString name = QStringLiteral("other-writer");
            {
                kv::openDatabase(m_path, name);
                QSqlDatabase db = QSqlDatabase::database(name);
                QSqlQuery q(db);
                kv::Transaction write(db);
                write.begin();
                q.exec(kv::engineSql(q.driver(), QStringLiteral("INSERT INTO TMeasure (PDate, PPointerTip, PPointerTest) VALUES ('2026-06-01 10:00:00', 1, 1)")));
                m_locked.release();
                std::this_thread::sleep_for(std::chrono::milliseconds(m_hold));
                write.commit();
                db.close();
            }
            QSqlDatabase::removeDatabase(name);
        });
        m_locked.acquire();
    }
    ~OtherWriter()
    {
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    QString m_path;
    int m_hold;
    QSemaphore m_locked;
    std::thread m_thread;
};

// The control program's save on its own connection: one record dated `date`
// with two meters of two errors each. Returns the record's key.
qint64 otherProgramSaves(const QString &path, const QString &date, const QString &number = QStringLiteral("NEW"))
{
    const QString name = QStringLiteral("other-save");
    qint64 key = 0;
    {
        kv::openDatabase(path, name);
        QSqlDatabase db = QSqlDatabase::database(name);
        db.transaction();
        QSqlQuery q(db);
        q.prepare(kv::engineSql(q.driver(), QStringLiteral("INSERT INTO TMeasure (PDate, PPointerTip, PPointerTest) VALUES (?, 1, 1)")));
        q.addBindValue(date);
        q.exec();
        key = q.lastInsertId().toLongLong();
        for (int pos : {11, 12}) {
            q.prepare(kv::engineSql(q.driver(), QStringLiteral("INSERT INTO TPositionCH (PSecIndex, PPosition, PNumber, PTotal) VALUES (?, ?, ?, 1)")));
            q.addBindValue(key);
            q.addBindValue(pos);
            q.addBindValue(number + QString::number(pos));
            q.exec();
            const qint64 meter = q.lastInsertId().toLongLong();
            for (int point : {1, 2}) {
                q.prepare(kv::engineSql(q.driver(), QStringLiteral("INSERT INTO TResult (PSecIndex, PPointNumber, PMeasure, PMeasureMax) "
                                         "VALUES (?, ?, 0.2, 1)")));
                q.addBindValue(meter);
                q.addBindValue(point);
                q.exec();
            }
        }
        db.commit();
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return key;
}

}  // namespace

class TestDataModule : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void missingDatabaseIsReported()
    {
        kv::ScopedRecordingUi ui;
        TDM dm(QStringLiteral("missing"));
        QVERIFY(!dm.connectDatabase(QStringLiteral("/nonexistent/folder/KvintorDB.sqlite")));
        QCOMPARE(ui->boxes().size(), 1);
        QCOMPARE(ui->boxes().first().icon, kv::Icon::Error);
        QVERIFY(ui->texts().first().contains(QStringLiteral("KvintorDB.sqlite")));
        QVERIFY(!QSqlDatabase::contains(QStringLiteral("missing")));
    }

    void failingDataSetIsLostData()
    {
        kvtest::TempDatabase db(QStringLiteral("broken"));
        execOrFail(db.db(), QStringLiteral("DROP TABLE TResult"));
        kv::ScopedRecordingUi ui;
        TDM dm;
        dm.useConnection(QStringLiteral("broken"));
        QVERIFY(!dm.DataModuleCreate());
        QCOMPARE(ui->boxes().size(), 1);
        QVERIFY(ui->texts().first().startsWith(QStringLiteral("You have lost data due to ")));
        QVERIFY(ui->texts().first().size() > QStringLiteral("You have lost data due to ").size());
        QCOMPARE(ui->boxes().first().icon, kv::Icon::Error);
    }

    void masterDetailAndOrders()
    {
        kvtest::TempDatabase db(QStringLiteral("md"));
        fillArchive(db.db(), 3);
        TDM dm;
        dm.useConnection(QStringLiteral("md"));
        QVERIFY(dm.DataModuleCreate());
        QCOMPARE(DM, &dm);
        QCOMPARE(dm.MeterNumbers.size(), 6);

        // Oldest first: the last stored record (earliest date) leads.
        QCOMPARE(dm.ADOMeasure->rowCount(), 3);
        QCOMPARE(dm.ADOMeasure->keyAt(0), 3);
        QCOMPARE(dm.ADOMeasure->record(0).value(QStringLiteral("PTip")).toString(), QStringLiteral("A"));
        QCOMPARE(dm.ADOMeasure->record(0).value(QStringLiteral("PNameTable")).toString(), QStringLiteral("T"));
        QCOMPARE(dm.currentMeasureKey(), 3);
        QCOMPARE(dm.ADOPosition->rowCount(), 2);
        QCOMPARE(dm.ADOPosition->record(0).value(QStringLiteral("PPosition")).toInt(), 11);
        QCOMPARE(dm.ADOResult->rowCount(), 2);
        QCOMPARE(dm.ADOResult->record(0).value(QStringLiteral("PPointNumber")).toInt(), 1);

        dm.setCurrentMeasure(2);
        QCOMPARE(dm.currentMeasureKey(), 1);
        QCOMPARE(dm.ADOPosition->record(1).value(QStringLiteral("PNumber")).toString(), QStringLiteral("N0-12"));
        dm.setCurrentPosition(1);
        QCOMPARE(dm.ADOResult->record(0).value(QStringLiteral("PSecIndex")).toLongLong(), dm.currentPositionKey());

        QCOMPARE(dm.ADOTipDis->rowCount(), 2);
        QVERIFY(dm.ADOPositionDis->isEmpty());  // read when the query builder is shown
        QCOMPARE(dm.ADOPositionDis->refresh(), QString());
        QCOMPARE(dm.ADOPositionDis->rowCount(), 6);
    }

    // Deleting a record deletes its TMeasure row; its meters and errors go
    // with it, the type and test stay.
    void deletingArchiveRecords()
    {
        kvtest::TempDatabase db(QStringLiteral("del"));
        fillArchive(db.db(), 3);
        TDM dm;
        dm.useConnection(QStringLiteral("del"));
        QVERIFY(dm.DataModuleCreate());
        dm.setCurrentMeasure(dm.ADOMeasure->rowOfKey(2));
        kv::ScopedRecordingUi ui;
        QVERIFY(dm.deleteMeasures({2, 3}));
        QVERIFY(ui->texts().isEmpty());
        QCOMPARE(scalar(db.db(), QStringLiteral("SELECT count(*) FROM TMeasure")).toInt(), 1);
        QCOMPARE(scalar(db.db(), QStringLiteral("SELECT count(*) FROM TPositionCH")).toInt(), 2);
        QCOMPARE(scalar(db.db(), QStringLiteral("SELECT count(*) FROM TResult")).toInt(), 4);
        QCOMPARE(scalar(db.db(), QStringLiteral("SELECT count(*) FROM TTip")).toInt(), 2);
        QCOMPARE(dm.ADOMeasure->rowCount(), 1);
        QCOMPARE(dm.currentMeasureKey(), 1);
        QCOMPARE(dm.ADOPosition->rowCount(), 2);

        QVERIFY(dm.deletePositions({dm.ADOPosition->keyAt(0)}));
        QCOMPARE(dm.ADOPosition->rowCount(), 1);
        QCOMPARE(scalar(db.db(), QStringLiteral("SELECT count(*) FROM TResult")).toInt(), 2);
        QVERIFY(dm.deleteResults({dm.ADOResult->keyAt(0)}));
        QCOMPARE(dm.ADOResult->rowCount(), 1);
    }

    void archiveListIsReadLazily()
    {
        kvtest::TempDatabase db(QStringLiteral("lazy"));
        fillArchive(db.db(), 5000);
        TDM dm;
        dm.useConnection(QStringLiteral("lazy"));
        QVERIFY(dm.DataModuleCreate());
        // The list knows its length but holds only what was asked for.
        QVERIFY(dm.ADOMeasure->isStored());
        QCOMPARE(dm.ADOMeasure->rowCount(), 5000);
        QVERIFY(dm.ADOMeasure->rowsRead() <= TQueryDataSet::kPageRows);
        QCOMPARE(dm.ADOMeasure->keyAt(4999), 1);  // the oldest, far down
        QVERIFY(dm.ADOMeasure->rowsRead() <= 2 * TQueryDataSet::kPageRows);
        QCOMPARE(dm.ADOMeasure->rowOfKey(1), 4999);
        QCOMPARE(dm.ADOMeasure->rowOfKey(999999), -1);
        QCOMPARE(dm.ADOMeasure->value(700, QStringLiteral("PIndex")).toInt(), 4300);
        QCOMPARE(dm.ADOMeasure->record(700).value(QStringLiteral("PTip")).toString(), QStringLiteral("B"));
        // The details of one record are short: read whole.
        QVERIFY(!dm.ADOPosition->isStored());
        QCOMPARE(dm.ADOPosition->rowsRead(), 2);
    }

    // A list is the file as it was when the list was read: the control
    // program saving meanwhile neither shifts its rows (a save dated among
    // them would show a row twice and drop another) nor adds a record to
    // what "Выделить все" and delete remove.
    void listsAreWhatTheOperatorSaw_data()
    {
        QTest::addColumn<int>("records");
        QTest::newRow("short list, held whole") << 100;
        QTest::newRow("archive list, paged from its stored copy") << 5000;
    }
    void listsAreWhatTheOperatorSaw()
    {
        QFETCH(int, records);
        kvtest::TempDatabase db(QStringLiteral("seen"));
        fillArchive(db.db(), records);
        TDM dm;
        dm.useConnection(QStringLiteral("seen"));
        QVERIFY(dm.DataModuleCreate());
        TQueryDataSet *list = dm.ADOMeasure;
        QCOMPARE(list->rowCount(), records);
        const QString firstShown = list->value(0, QStringLiteral("PDate")).toString();

        // Saved in the middle of the list's date order, after the list was shown.
        const QDateTime middle = QDateTime(QDate(2026, 1, 1), QTime(0, 0)).addSecs(-60 * (records / 2) - 30);
        const qint64 saved = otherProgramSaves(db.path(), middle.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
        QVERIFY(saved > records);
        QCOMPARE(list->rowCount(), records);
        QSet<qint64> keys;
        for (int r = 0; r < list->rowCount(); ++r)
            keys.insert(list->keyAt(r));
        QCOMPARE(keys.size(), records);
        QVERIFY(!keys.contains(saved));
        QCOMPARE(list->value(0, QStringLiteral("PDate")).toString(), firstShown);
        QCOMPARE(list->rowOfKey(saved), -1);

        // Every row marked, then deleted: exactly the rows shown.
        kv::MarkedRows all;
        all.all = true;
        const QList<qint64> doomed = keysToDelete(list, all, 0);
        QCOMPARE(doomed.size(), records);
        QVERIFY(!doomed.contains(saved));
        kv::ScopedRecordingUi ui;
        QVERIFY(dm.deleteMeasures(doomed));
        QVERIFY(ui->texts().isEmpty());
        QCOMPARE(scalar(db.db(), QStringLiteral("SELECT count(*) FROM TMeasure")).toInt(), 1);
        QCOMPARE(scalar(db.db(), QStringLiteral("SELECT PIndex FROM TMeasure")).toLongLong(), saved);
        QCOMPARE(scalar(db.db(), QStringLiteral("SELECT count(*) FROM TPositionCH")).toInt(), 2);
        QCOMPARE(scalar(db.db(), QStringLiteral("SELECT count(*) FROM TResult")).toInt(), 4);
        // Read again, the list shows what is left.
        QCOMPARE(list->rowCount(), 1);
        QCOMPARE(list->keyAt(0), saved);
    }

    // The query result is one state of the file too: meter numbers saved
    // while it is paged through neither repeat nor push out the ones shown.
    void queryResultIsOneStateOfTheFile_data()
    {
        QTest::addColumn<int>("records");
        QTest::newRow("held whole") << 500;
        QTest::newRow("stored") << 3000;
    }
    void queryResultIsOneStateOfTheFile()
    {
        QFETCH(int, records);
        kvtest::TempDatabase db(QStringLiteral("query"));
        fillArchive(db.db(), records);
        TDM dm;
        dm.useConnection(QStringLiteral("query"));
        QVERIFY(dm.DataModuleCreate());
        TQueryDataSet *list = dm.ADOSQL;
        QCOMPARE(list->open(QStringLiteral(" Select  DISTINCT TPositionCH.PNumber  From TPositionCH ")), QString());
        const int meters = 2 * records;
        QCOMPARE(list->rowCount(), meters);
        list->value(0, QStringLiteral("PNumber"));  // the first page shown
        // Numbers that sort before every shown one.
        otherProgramSaves(db.path(), QStringLiteral("2026-02-01 10:00:00"), QStringLiteral("A"));
        QSet<QString> numbers;
        for (int r = 0; r < list->rowCount(); ++r)
            numbers.insert(list->value(r, QStringLiteral("PNumber")).toString());
        QCOMPARE(numbers.size(), meters);
        QVERIFY(!numbers.contains(QStringLiteral("A11")));
        const kv::TableData table = list->table({QStringLiteral("PNumber")});
        QCOMPARE(table.rows.size(), meters);
        QCOMPARE(table.rows.first().first().toString(), list->value(0, QStringLiteral("PNumber")).toString());
        QVERIFY_THROWS_EXCEPTION(kv::Error, list->table({QStringLiteral("PMissing")}));
    }

    // A list read only part of the way must not pin the connection to an old
    // state of the file: after the other program has written, this one still writes.
    void partlyReadListsDoNotBlockWrites()
    {
        kvtest::TempDatabase db(QStringLiteral("pinned"));
        fillArchive(db.db(), 1500);
        TDM dm;
        dm.useConnection(QStringLiteral("pinned"));
        QVERIFY(dm.DataModuleCreate());
        dm.ADOMeasure->keyAt(700);  // a view scrolled half-way
        {
            OtherWriter other(db.path(), 0);
            other.start();
        }
        kv::ScopedRecordingUi ui;
        QVERIFY(dm.deleteMeasures({dm.ADOMeasure->keyAt(0)}));
        QVERIFY(ui->texts().isEmpty());
        QCOMPARE(scalar(db.db(), QStringLiteral("SELECT count(*) FROM TMeasure")).toInt(), 1500);
        QCOMPARE(dm.ADOMeasure->rowOfKey(1501), 1499);  // the other program's record is listed
    }

    // While the other program holds the write lock, a deletion and a post wait
    // for it and then succeed; no lock error reaches the operator.
    void writesWaitForTheOtherProgram()
    {
        kvtest::TempDatabase db(QStringLiteral("shared"));
        fillArchive(db.db(), 3);
        TDM dm;
        dm.useConnection(QStringLiteral("shared"));
        QVERIFY(dm.DataModuleCreate());
        kv::ScopedRecordingUi ui;
        {
            OtherWriter other(db.path(), 400);
            other.start();
            QVERIFY(dm.deleteMeasures({1}));
        }
        QCOMPARE(scalar(db.db(), QStringLiteral("SELECT count(*) FROM TMeasure")).toInt(), 3);  // 3 - 1 + 1
        {
            OtherWriter other(db.path(), 400);
            other.start();
            const int row = dm.ADOTip->rowCount();
            dm.ADOTip->insertRow(row);
            const QList<QPair<const char *, QVariant>> fields{
                {"PTip", "C"},     {"PIdentificator", "3"}, {"PMaker", "M"},      {"PClassT", 1}, {"PUnom", 230},
                {"PInom", 5},      {"PReductRate", 1000},   {"PIdentReductRate", 1}, {"PPhase", 1}, {"PEnergy", 1},
                {"PCenaDel", 0.1}, {"PImax", 60}};
            for (const auto &f : fields)
                dm.ADOTip->setData(dm.ADOTip->index(row, dm.ADOTip->fieldIndex(QLatin1String(f.first))), f.second);
            QVERIFY(dm.ADOTip->post());
        }
        QVERIFY(ui->texts().isEmpty());
    }

    // When the other program holds the lock for longer than the wait, the
    // operator reads why in Russian and nothing is deleted.
    void busyTooLongIsAPlainRefusal()
    {
        kvtest::TempDatabase db(QStringLiteral("busy"));
        fillArchive(db.db(), 2);
        TDM dm;
        dm.useConnection(QStringLiteral("busy"));
        QVERIFY(dm.DataModuleCreate());
        execOrFail(db.db(), kvtest::onServer() ? QStringLiteral("SET lock_timeout = '100ms'")
                                               : QStringLiteral("PRAGMA busy_timeout = 100"));
        kv::ScopedRecordingUi ui;
        {
            OtherWriter other(db.path(), 1500);
            other.start();
            QVERIFY(!dm.deleteMeasures({1, 2}));
        }
        QCOMPARE(ui->boxes().size(), 1);
        QCOMPARE(ui->boxes().first().icon, kv::Icon::Warning);
        QVERIFY2(ui->texts().first().startsWith(QStringLiteral("База данных занята другой программой")),
                 qPrintable(ui->texts().first()));
        QVERIFY(!ui->texts().first().contains(QStringLiteral("locked")));
        QCOMPARE(scalar(db.db(), QStringLiteral("SELECT count(*) FROM TMeasure")).toInt(), 3);
    }
};

QTEST_MAIN(TestDataModule)
#include "test_data_module.moc"
