// Prints how long the control program's data module takes to open over a
// database with a year of archive, to reopen before a run, to fill the
// running test, and to append one verification (30 meters, 30 errors each)
// through the master-detail datasets, against raw inserts in the same file.

#include "database/connection.h"
#include "demo_data.h"
#include "setup/data_module.h"
#include "setup/test_table.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <cstdio>

namespace {

double ms(QElapsedTimer &t)
{
    const double v = t.nsecsElapsed() / 1e6;
    t.restart();
    return v;
}

}  // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = dir.filePath(kv::kDatabaseFileName);
    QString error = kv::createDatabaseFile(path);
    if (error.isEmpty())
        error = kv::openDatabase(path, QStringLiteral("fill"));
    kv::demo::ArchiveStats stats;
    {
        QSqlDatabase db = QSqlDatabase::database(QStringLiteral("fill"));
        if (error.isEmpty())
            error = kv::demo::addReferenceData(db);
        if (error.isEmpty())
            error = kv::demo::addSyntheticArchive(db, 1, &stats);
    }
    if (!error.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    std::printf("archive: %lld records, %lld meters, %lld errors\n", stats.records, stats.meters, stats.errors);

    kvintor::TDM dm;
    QElapsedTimer t;
    t.start();
    error = dm.DataModuleCreate(path);
    std::printf("data module created: %.1f ms %s\n", ms(t), qPrintable(error));
    dm.closeConnection();
    ms(t);
    error = dm.openConnection();
    std::printf("reopened before a run: %.1f ms %s\n", ms(t), qPrintable(error));

    dm.ADOTest1->first();
    const kvintor::TestTableFill fill = kvintor::FillVerificationTable(dm, 1);
    std::printf("running test filled (%d rows): %.1f ms\n", fill.rows, ms(t));

    const QVariant tip = dm.ADOTipStend1->valueAt(0, QStringLiteral("PIndex"));
    const QVariant test = dm.ADOTest1->value(QStringLiteral("PIndex"));
    {
        kv::Transaction tx(dm.database());
        tx.begin();
        dm.ADOMeasure->append();
        dm.ADOMeasure->setValue(QStringLiteral("PDate"), QStringLiteral("2026-12-09 10:00:00"));
        dm.ADOMeasure->setValue(QStringLiteral("PPointerTip"), tip);
        dm.ADOMeasure->setValue(QStringLiteral("PPointerTest"), test);
        dm.ADOMeasure->post();
        for (int m = 0; m < 30; ++m) {
            dm.ADOPositionCH->append();
            dm.ADOPositionCH->setValue(QStringLiteral("PPosition"), 11 + m);
            dm.ADOPositionCH->post();
            for (int p = 1; p <= 30; ++p) {
                dm.ADOResult->append();
                dm.ADOResult->setValue(QStringLiteral("PPointNumber"), p);
                dm.ADOResult->setValue(QStringLiteral("PMeasure"), 0.01 * p);
                dm.ADOResult->post();
            }
        }
        tx.commit();
    }
    std::printf("one verification through the datasets (1 + 30 + 900 rows): %.1f ms\n", ms(t));
    {
        QSqlDatabase db = dm.database();
        kv::Transaction tx(db);
        tx.begin();
        QSqlQuery q(db);
        q.prepare(QStringLiteral("INSERT INTO TMeasure (PDate, PPointerTip, PPointerTest) VALUES (?, ?, ?)"));
        q.addBindValue(QStringLiteral("2026-12-09 10:00:00"));
        q.addBindValue(tip);
        q.addBindValue(test);
        q.exec();
        const QVariant measure = q.lastInsertId();
        QSqlQuery meter(db), result(db);
        meter.prepare(QStringLiteral("INSERT INTO TPositionCH (PSecIndex, PPosition) VALUES (?, ?)"));
        result.prepare(QStringLiteral("INSERT INTO TResult (PSecIndex, PPointNumber, PMeasure) VALUES (?, ?, ?)"));
        for (int m = 0; m < 30; ++m) {
            meter.addBindValue(measure);
            meter.addBindValue(11 + m);
            meter.exec();
            const QVariant key = meter.lastInsertId();
            for (int p = 1; p <= 30; ++p) {
                result.addBindValue(key);
                result.addBindValue(p);
                result.addBindValue(0.01 * p);
                result.exec();
            }
        }
        tx.commit();
    }
    std::printf("the same with raw inserts: %.1f ms\n", ms(t));
    return 0;
}
