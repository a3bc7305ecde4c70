#include "setup_fixture.h"

#include "core/ui.h"
#include "database/connection.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>

using kvintor::TDM;

class TestDataModule : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void startFailures()
    {
        kvtest::TempSettings settings;
        QTemporaryDir dir;
        {
            // No file: the connection's own text, and no file is made.
            TDM dm;
            const QString missing = dir.filePath(QStringLiteral("KvintorDB.sqlite"));
            const QString error = dm.DataModuleCreate(missing);
            QVERIFY(!error.isEmpty());
            QVERIFY(!error.startsWith(QStringLiteral("You have lost data due to ")));
            QVERIFY(!QFile::exists(missing));
            QVERIFY(!dm.connected());
        }
        {
            // Not a database at all.
            const QString junk = dir.filePath(QStringLiteral("junk.sqlite"));
            QFile f(junk);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(4096, 'x'));
            f.close();
            TDM dm;
            QVERIFY(!dm.DataModuleCreate(junk).isEmpty());
        }
        {
            // A table is missing: refused by the start's check, which names it.
            kvtest::TempDatabase db(QStringLiteral("lacking"), true);
            kvtest::execOrFail(db.db(), kvtest::onServer() ? QStringLiteral("DROP TABLE TMeasure CASCADE")
                                                                  : QStringLiteral("DROP TABLE TMeasure"));
            TDM dm;
            const QString error = dm.DataModuleCreate(db.path());
            QVERIFY2(error.contains(QStringLiteral("нет таблицы TMeasure")), qPrintable(error));
            QVERIFY(dm.ADOTipStend(5) == dm.ADOTipStend5);  // the stand array is there all the same
        }
    }

    void runningTestTableOpensOnlyForARun()
    {
        kvtest::TempSettings settings;
        kvtest::TempDatabase db(QStringLiteral("nobuf"), true);
        TDM dm;
        QCOMPARE(dm.DataModuleCreate(db.path()), QString());
        QVERIFY(dm.ADOTipStend1->active() && dm.ADOMeasure->active());
        QVERIFY(!dm.ADOTestBuf->active());
        QCOMPARE(dm.openConnection(), QString());
        QVERIFY(dm.ADOTestBuf->active());
    }

    void typeDatasetsPerStand()
    {
        setuptest::Fixture f;
        QCOMPARE(f.startError, QString());
        QVERIFY(f.dm->ADOTipStend(0) == nullptr && f.dm->ADOTipStend(6) == nullptr);
        for (int s = 1; s <= 5; ++s) {
            kvintor::Dataset *d = f.dm->ADOTipStend(s);
            QVERIFY(d->count() > 5);
            for (int r = 1; r < d->count(); ++r)
                QVERIFY(QString::compare(d->valueAt(r - 1, QStringLiteral("PTip")).toString(),
                                         d->valueAt(r, QStringLiteral("PTip")).toString(), Qt::CaseInsensitive) <= 0);
        }
        // Each stand keeps its own current row.
        f.dm->ADOTipStend(2)->setCurrent(3);
        QCOMPARE(f.dm->ADOTipStend(1)->recNo(), 0);
        QCOMPARE(f.dm->ADOTipStend(2)->recNo(), 3);
    }

    void reopenSeesEditedReferenceData()
    {
        setuptest::Fixture f;
        f.dm->closeConnection();
        QVERIFY(!f.dm->connected());
        QVERIFY(!f.dm->ADOTipStend1->active() && !f.dm->ADOTest1->active() && !f.dm->ADOResult->active());
        // Meanwhile the database program adds a type.
        kvtest::execOrFail(f.db.db(), QStringLiteral("INSERT INTO TTip (PTip, PIdentificator, PUnom, PInom, PPhase) "
                                                      "VALUES ('ААА-новый', 'N', 230, 5, 1)"));
        QCOMPARE(f.dm->openConnection(), QString());
        QVERIFY(f.dm->ADOTestBuf->active() && f.dm->ADOQuery1->active());
        // Still listed alphabetically, so the new type comes first.
        QCOMPARE(f.dm->ADOTipStend3->valueAt(0, QStringLiteral("PTip")).toString(), QStringLiteral("ААА-новый"));
        // Opening again keeps the current rows.
        f.dm->ADOTipStend3->setCurrent(2);
        const QVariant current = f.dm->ADOTipStend3->value(QStringLiteral("PIndex"));
        QCOMPARE(f.dm->openConnection(), QString());
        QCOMPARE(f.dm->ADOTipStend3->recNo(), 2);

        // A connection kept open (a run was open when the database program
        // started) still reads the types and tests edited there.
        kvtest::execOrFail(f.db.db(), QStringLiteral("INSERT INTO TTip (PTip, PIdentificator, PUnom, PInom, PPhase) "
                                                      "VALUES ('ААА-второй', 'N', 230, 5, 1)"));
        kvtest::execOrFail(f.db.db(), QStringLiteral("INSERT INTO TTest (PNameTable) VALUES ('Новый тест')"));
        const int tests = f.dm->ADOTest1->count();
        QCOMPARE(f.dm->openConnection(), QString());
        QCOMPARE(f.dm->ADOTipStend3->valueAt(0, QStringLiteral("PTip")).toString(), QStringLiteral("ААА-второй"));
        QCOMPARE(f.dm->ADOTipStend3->value(QStringLiteral("PIndex")), current);
        QCOMPARE(f.dm->ADOTest1->count(), tests + 1);
    }

    void archiveMasterDetailKeys()
    {
        setuptest::Fixture f;
        TDM &dm = *f.dm;
        const qlonglong tip = kvtest::scalar(f.db.db(), QStringLiteral("SELECT min(PIndex) FROM TTip")).toLongLong();
        const qlonglong test = kvtest::scalar(f.db.db(), QStringLiteral("SELECT min(PIndex) FROM TTest")).toLongLong();

        dm.ADOMeasure->append();
        // A date and time goes in as the archive's text, whatever the driver would make of it.
        dm.ADOMeasure->setValue(QStringLiteral("PDate"), QDateTime(QDate(2026, 12, 9), QTime(10, 0, 5, 250)));
        dm.ADOMeasure->setValue(QStringLiteral("PPointerTip"), tip);
        dm.ADOMeasure->setValue(QStringLiteral("PPointerTest"), test);
        QCOMPARE(dm.ADOMeasure->post(), QString());
        const qlonglong measure = dm.ADOMeasure->value(QStringLiteral("PIndex")).toLongLong();
        QVERIFY(measure > 0);
        QCOMPARE(kvtest::scalar(f.db.db(), QStringLiteral("SELECT PDate FROM TMeasure WHERE PIndex = %1").arg(measure))
                     .toString(),
                 QStringLiteral("2026-12-09 10:00:05"));

        qlonglong meters[2] = {};
        for (int m = 0; m < 2; ++m) {
            dm.ADOPositionCH->append();
            QCOMPARE(dm.ADOPositionCH->value(QStringLiteral("PSecIndex")).toLongLong(), measure);
            dm.ADOPositionCH->setValue(QStringLiteral("PPosition"), 11 + m);
            dm.ADOPositionCH->setValue(QStringLiteral("PNumber"), QStringLiteral("N%1").arg(m));
            QCOMPARE(dm.ADOPositionCH->post(), QString());
            meters[m] = dm.ADOPositionCH->value(QStringLiteral("PIndex")).toLongLong();
            QVERIFY(meters[m] > 0);
            for (int point = 1; point <= 3; ++point) {
                dm.ADOResult->append();
                QCOMPARE(dm.ADOResult->value(QStringLiteral("PSecIndex")).toLongLong(), meters[m]);
                dm.ADOResult->setValue(QStringLiteral("PPointNumber"), point);
                dm.ADOResult->setValue(QStringLiteral("PMeasure"), 0.1 * point);
                QCOMPARE(dm.ADOResult->post(), QString());
            }
        }
        QVERIFY(meters[0] != meters[1]);
        QCOMPARE(kvtest::scalar(f.db.db(), QStringLiteral("SELECT count(*) FROM TPositionCH WHERE PSecIndex = %1")
                                               .arg(measure)).toInt(), 2);
        QCOMPARE(kvtest::scalar(f.db.db(), QStringLiteral("SELECT count(*) FROM TResult WHERE PSecIndex = %1")
                                               .arg(meters[1])).toInt(), 3);
        // The details follow the master's current row.
        QCOMPARE(dm.ADOPositionCH->count(), 2);
        dm.ADOPositionCH->first();
        QCOMPARE(dm.ADOResult->count(), 3);
        dm.ADOMeasure->append();  // a new master has no details yet
        QCOMPARE(dm.ADOPositionCH->count(), 0);
        dm.ADOMeasure->cancel();
        QCOMPARE(dm.ADOMeasure->value(QStringLiteral("PIndex")).toLongLong(), measure);
        QCOMPARE(dm.ADOPositionCH->count(), 2);
    }

    void refusedEditIsReportedNotKept()
    {
        setuptest::Fixture f;
        kv::ScopedRecordingUi ui;
        kvintor::Dataset *types = f.dm->ADOTipStend1;
        types->first();
        const QVariant phase = types->value(QStringLiteral("PPhase"));
        types->setValue(QStringLiteral("PPhase"), 300);  // outside the column's range
        types->next();
        QCOMPARE(ui->boxes().size(), 1);
        QCOMPARE(ui->boxes().at(0).icon, kv::Icon::Error);
        QVERIFY(!types->editing());
        QCOMPARE(types->valueAt(0, QStringLiteral("PPhase")), phase);
        QCOMPARE(types->recNo(), 1);
        // A good edit is written through and read back.
        types->setValue(QStringLiteral("PImax"), 77.5);
        QCOMPARE(types->post(), QString());
        QCOMPARE(kvtest::scalar(f.db.db(), QStringLiteral("SELECT PImax FROM TTip WHERE PIndex = %1")
                                               .arg(types->value(QStringLiteral("PIndex")).toLongLong())).toDouble(), 77.5);
    }

    void rmResultShowsOnlyTheChosenStand()
    {
        kvtest::TempSettings settings;
        TDM dm;
        dm.RMStend->open();
        dm.RMResult->open();
        for (int s = 1; s <= 11; ++s)
            dm.appendStandRow(s);
        auto addResult = [&](qlonglong stand, int n) {
            dm.RMResult->append();
            dm.RMResult->setValue(QStringLiteral("PSecIndex"), stand);
            dm.RMResult->setValue(QStringLiteral("N"), n);
            QCOMPARE(dm.RMResult->post(), QString());
        };
        addResult(1, 1);
        addResult(1, 2);
        for (int n = 1; n <= 3; ++n)
            addResult(11, n);
        QVERIFY(dm.RMStend->locate(QStringLiteral("PIndex"), 1));
        QCOMPARE(dm.RMResultFilterText(), QStringLiteral("1"));
        QCOMPARE(dm.RMResult->count(), 2);
        QVERIFY(dm.RMStend->locate(QStringLiteral("PIndex"), 11));
        QCOMPARE(dm.RMResult->count(), 3);
        QCOMPARE(dm.RMStend->value(QStringLiteral("PStend")).toString(), QStringLiteral("Стенд №11"));
        QVERIFY(dm.RMStend->locate(QStringLiteral("PIndex"), 5));
        QCOMPARE(dm.RMResult->count(), 0);
    }
};

QTEST_MAIN(TestDataModule)
#include "test_data_module.moc"
