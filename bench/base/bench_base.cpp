// Prints how the database program's data module behaves over a long archive:
// opening every data set, reading the archive list as far as a view scrolls,
// choosing a record (its meters and errors), and deleting records, against
// the same statements run on the engine directly.
//
//   bench_base [--years N]   a fresh file with N years of synthetic archive (default 10)
//   bench_base PATH          an existing database file (copied, the original is not touched)
//   bench_base postgresql://…  a database on a server, used in place (records are deleted from it)

#include "core/ui.h"
#include "database/connection.h"
#include "database/engine_sql.h"
#include "demo_data.h"
#include "reference/data_module.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <cstdio>

namespace {

double ms(QElapsedTimer &t)
{
    const double v = double(t.nsecsElapsed()) / 1e6;
    t.restart();
    return v;
}

}  // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    kv::setUi(std::make_unique<kv::RecordingUi>());
    const QStringList args = app.arguments();
    int years = 10;
    QString source;
    for (int i = 1; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--years") && i + 1 < args.size())
            years = args.at(++i).toInt();
        else
            source = args.at(i);
    }

    QTemporaryDir dir;
    const QString path = kv::isServerLocation(source) ? source : dir.filePath(kv::kDatabaseFileName);
    QString error;
    QElapsedTimer t;
    t.start();
    if (kv::isServerLocation(source)) {
    } else if (!source.isEmpty()) {
        if (!QFile::copy(source, path))
            error = QStringLiteral("cannot copy %1").arg(source);
    } else {
        error = kv::createDatabaseFile(path);
        if (error.isEmpty())
            error = kv::openDatabase(path, QStringLiteral("fill"));
        if (error.isEmpty()) {
            QSqlDatabase db = QSqlDatabase::database(QStringLiteral("fill"));
            error = kv::demo::addReferenceData(db);
            if (error.isEmpty())
                error = kv::demo::addSyntheticArchive(db, years);
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("fill"));
    }
    if (!error.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    std::printf("database prepared in %.0f ms\n", ms(t));

    basekvintor::TDM dm;
    if (!dm.connectDatabase(path))
        return 1;
    QSqlDatabase db = dm.database();
    QSqlQuery count(db);
    count.exec(kv::engineSql(db, QStringLiteral("SELECT (SELECT count(*) FROM TMeasure), (SELECT count(*) FROM TPositionCH), "
                                                "(SELECT count(*) FROM TResult)")));
    count.next();
    std::printf("archive: %lld records, %lld meters, %lld errors\n", count.value(0).toLongLong(),
                count.value(1).toLongLong(), count.value(2).toLongLong());

    ms(t);
    if (!dm.DataModuleCreate())
        return 1;
    std::printf("all data sets opened: %.1f ms (archive list: %d rows, %d read)\n", ms(t), dm.ADOMeasure->rowCount(),
                dm.ADOMeasure->rowsRead());

    // A view jumping to the end of the list, and one scrolling through all of it.
    dm.ADOMeasure->keyAt(dm.ADOMeasure->rowCount() - 1);
    std::printf("jump to the last row: %.1f ms\n", ms(t));
    for (int row = 0; row < dm.ADOMeasure->rowCount(); row += basekvintor::TQueryDataSet::kPageRows)
        dm.ADOMeasure->keyAt(row);
    const double modelAll = ms(t);
    QSqlQuery raw(db);
    raw.setForwardOnly(true);
    raw.exec(kv::toEngineSql(basekvintor::archiveListStatement(), db));
    int rawRows = 0;
    while (raw.next())
        ++rawRows;
    const double rawAll = ms(t);
    std::printf("archive list read page by page to the end: %.1f ms through the data set, %.1f ms raw in one pass (%d rows)\n",
                modelAll, rawAll, rawRows);
    ms(t);
    dm.ADOMeasure->rowOfKey(dm.ADOMeasure->keyAt(rawRows - 1));
    std::printf("finding the row of a key at the end: %.1f ms\n", ms(t));

    // Choosing records across the list: meters and their errors follow.
    // The rows' pages are read first, so only the details are timed.
    const int rows = dm.ADOMeasure->rowCount();
    const int picks = 40;
    for (int i = 0; i < picks; ++i)
        dm.ADOMeasure->keyAt(int(qint64(i) * rows / picks));
    ms(t);
    for (int i = 0; i < picks; ++i) {
        dm.setCurrentMeasure(int(qint64(i) * rows / picks));
        dm.setCurrentPosition(dm.ADOPosition->rowCount() / 2);
    }
    std::printf("choosing a record and a meter (details re-read): %.2f ms each (%d picks)\n", ms(t) / picks, picks);

    // The query builder's search by meter number: the records and errors of one meter.
    QSqlQuery number(db);
    number.exec(kv::engineSql(db, QStringLiteral("SELECT PNumber FROM TPositionCH WHERE PIndex = (SELECT max(PIndex) / 2 FROM TPositionCH)")));
    number.next();
    const QString meter = number.value(0).toString();
    ms(t);
    const int searches = 20;
    int found = 0;
    for (int i = 0; i < searches; ++i) {
        dm.ADOSQL->open(QStringLiteral(" Select  TMeasure.PDate, TPositionCH.PNumber, TResult.PPointNumber, TResult.PMeasure "
                                       "From (TMeasure INNER JOIN TPositionCH ON TMeasure.PIndex = TPositionCH.PSecIndex)INNER "
                                       "JOIN TResult ON (TPositionCH.PIndex = TResult.PSecIndex) Where (TPositionCh.PNumber = ") +
                        kv::jetQuoted(meter) + QLatin1Char(')'));
        found = dm.ADOSQL->rowCount();
    }
    std::printf("query by meter number (record, meter, errors; %d rows): %.2f ms each\n", found, ms(t) / searches);

    // Deleting: one record, then a hundred at once; each re-reads the list.
    dm.refreshArchive();
    ms(t);
    dm.deleteMeasures({dm.ADOMeasure->keyAt(10)});
    std::printf("deleting one record (meters and errors cascade) and re-reading: %.1f ms\n", ms(t));
    QList<qint64> keys;
    for (int i = 0; i < 100; ++i)
        keys << dm.ADOMeasure->keyAt(20 + i);
    ms(t);
    dm.deleteMeasures(keys);
    std::printf("deleting 100 records in one transaction and re-reading: %.1f ms\n", ms(t));
    QSqlQuery check(db);
    check.exec(kv::engineSql(db, QStringLiteral("SELECT count(*) FROM TPositionCH WHERE PSecIndex NOT IN (SELECT PIndex FROM TMeasure)")));
    check.next();
    std::printf("meters left without their record: %lld\n", check.value(0).toLongLong());
    return 0;
}
