// bench_archive_window: the archive window and the group protocol after years of work.
//
// Uses (or builds once into the build folder) a synthetic archive of --years
// years (10 by default: about 50,000 records, 300,000 meters, 5.4 million
// errors) and prints:
//   - the time to open the data module and the archive window and paint it;
//   - the time to move to the next record, to the last record, and to another
//     meter, each with the lists below re-read and the window repainted;
//   - the time to build one group protocol of the record with the most stands;
//   - the errors query of one stand as built (one query per stand) against one
//     query per point, and against one query per point walked through the
//     point-number index, as the engine does on a file without statistics.
//
//   bench_archive_window [--years N] [--database PATH] [--runs N]

#include "../archive_file.h"
#include "../timing.h"
#include "demo_data.h"

#include "core/ui.h"
#include "database/connection.h"
#include "reference/archive_window.h"
#include "reference/data_module.h"
#include "reference/protocol_builders.h"
#include "widgets/data_grid.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

using kvbench::measure;
using kvbench::Timing;

void print(const char *label, const Timing &t)
{
    std::printf("  %-52s first %9.2f ms  median %9.2f ms  worst %9.2f ms\n", label, t.firstMs, t.medianMs, t.worstMs);
    std::fflush(stdout);
}

void summary(const char *label, const Timing &t)
{
    std::printf("summary: archive window, %s: median %.2f ms, worst %.2f ms\n", label, t.medianMs, t.worstMs);
}

void settle()
{
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

qint64 count(QSqlDatabase db, const QString &sql)
{
    QSqlQuery q(db);
    return q.exec(sql) && q.next() ? q.value(0).toLongLong() : -1;
}

}  // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("KVINTOR_NO_OPEN", "1");
    QApplication app(argc, argv);
    int years = 10;
    int runs = 20;
    QString path;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--years"))
            years = args.at(++i).toInt();
        else if (args.at(i) == QLatin1String("--runs"))
            runs = std::max(1, args.at(++i).toInt());
        else if (args.at(i) == QLatin1String("--database"))
            path = args.at(++i);
    }
    if (path.isEmpty())
        path = QStringLiteral(KV_BENCH_CACHE_DIR "/archive_%1y.sqlite").arg(years);
    path = QFileInfo(path).absoluteFilePath();
    if (!QFileInfo::exists(path)) {
        const QString error = kvbench::ensureArchive(path, years);
        if (!error.isEmpty()) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
    }
    // Protocols go to the working folder; no box may wait for an answer.
    QTemporaryDir work;
    QDir::setCurrent(work.path());
    kv::ScopedRecordingUi ui;

    {
        const QString c = QStringLiteral("stats");
        kv::openDatabase(path, c);
        QSqlDatabase db = QSqlDatabase::database(c);
        const qint64 records = count(db, QStringLiteral("SELECT count(*) FROM TMeasure"));
        const qint64 meters = count(db, QStringLiteral("SELECT count(*) FROM TPositionCH"));
        const qint64 errors = count(db, QStringLiteral("SELECT count(*) FROM TResult"));
        std::printf("archive %s: %lld records, %lld meters, %lld errors\n", qPrintable(path), records, meters, errors);
        std::printf("summary: the %d-year synthetic archive: %lld records, %lld meters, %lld errors, %.0f MB\n", years,
                    records, meters, errors, QFileInfo(path).size() / 1048576.0);
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("stats"));

    // Opening: the data module with its data sets, the window, its first paint.
    int connections = 0;
    const Timing open = measure(std::max(3, runs / 4), [&](int) {
        basekvintor::TDM dm(QStringLiteral("open-%1").arg(++connections));
        if (!dm.connectDatabase(path) || !dm.DataModuleCreate())
            std::exit(1);
        basekvintor::TFArchiv w(&dm);
        w.resize(1200, 900);
        w.show();
        settle();
    });
    std::printf("\nopening\n");
    print("data module + archive window, painted", open);
    summary("data module + window opened and painted", open);

    basekvintor::TDM dm(QStringLiteral("bench"));
    if (!dm.connectDatabase(path) || !dm.DataModuleCreate())
        return 1;
    basekvintor::TFArchiv w(&dm);
    w.resize(1200, 900);
    w.show();
    settle();
    const int listRows = w.DBTest->model()->rowCount();

    std::printf("\nmoving (each with meters and errors re-read and the window repainted)\n");
    const Timing nextRecord = measure(runs, [&](int) {
        w.DBTestEnter(w.DBTest);
        w.DataSetNext1Execute();
        settle();
    });
    print("next record", nextRecord);
    summary("next record (its meters and errors re-read, repainted)", nextRecord);
    const Timing nextMeter = measure(runs, [&](int run) {
        w.DBTestEnter(w.DBPosition);
        const int meters = w.DBPosition->model()->rowCount();
        if (meters > 0)
            w.DBPosition->setCurrentRow((run + 1) % meters);
        settle();
    });
    print("next meter of the record", nextMeter);
    summary("next meter (its errors re-read, repainted)", nextMeter);
    print("last record", measure(3, [&](int) {
              w.DBTestEnter(w.DBTest);
              w.DataSetFirst1Execute();
              settle();
              w.DataSetLast1Execute();
              settle();
          }));
    std::printf("  list rows known to the grid at first: %d; current row after \"last\": %d\n", listRows,
                w.DBTest->currentRow());
    print("record far down the list, then its third meter", measure(runs, [&](int run) {
              const int rows = w.DBTest->model()->rowCount();
              w.DBTest->setCurrentRow(int(qint64(rows - 1) * (run + 1) / runs));
              if (w.DBPosition->model()->rowCount() > 2)
                  w.DBPosition->setCurrentRow(2);
              settle();
          }));

    // The record with meters on the most stands.
    QSqlDatabase db = dm.database();
    QSqlQuery best(db);
    best.exec(QStringLiteral("SELECT PSecIndex, count(DISTINCT PPosition / 10) AS stands, count(*) FROM TPositionCH "
                             "GROUP BY PSecIndex ORDER BY stands DESC, 3 DESC LIMIT 1"));
    best.next();
    const qint64 recordKey = best.value(0).toLongLong();
    const int row = dm.ADOMeasure->rowOfKey(recordKey);
    w.DBTest->setCurrentRow(row);
    settle();
    kv::ProtocolData header;
    header.autoIncrement = true;
    header.protocolNumber = QStringLiteral("1");
    basekvintor::TProtocolBuilders builders(&dm, [&] { return header; }, [&] { kv::advanceProtocolNumber(header); });
    int workbooks = 0;
    int tableRows = 0;
    builders.afterReport = [&](const QString &) { tableRows = builders.table().size(); };
    const Timing group = measure(std::max(3, runs / 4), [&](int) {
        builders.BuildGroupProtocol();
        workbooks = int(builders.lastProtocols().size());
    });
    std::printf("\ngroup protocol of record %lld (%d stands, %lld meters, %d table rows per stand)\n", recordKey,
                best.value(1).toInt(), best.value(2).toLongLong(), tableRows);
    print("BuildGroupProtocol, all stands", group);
    std::printf("summary: database program's group protocol, %d stands (%lld meters): median %.1f ms, worst %.1f "
                "ms, workbooks filled and written\n",
                best.value(1).toInt(), best.value(2).toLongLong(), group.medianMs, group.worstMs);
    std::printf("  per stand %.2f ms (median); %d workbooks each time; boxes shown: %d\n",
                workbooks ? group.medianMs / workbooks : 0.0, workbooks, int(ui->boxes().size()));

    // The errors of one stand: as built, and one query per point.
    std::printf("\nerrors of one stand of that record (%d points)\n", 20);
    auto perStand = [&](int) {
        QSqlQuery q(db);
        q.prepare(QStringLiteral("SELECT TPositionCH.PPosition, TResult.PPointNumber, TResult.PMeasure FROM TPositionCH "
                                 "INNER JOIN TResult ON TPositionCH.PIndex = TResult.PSecIndex WHERE "
                                 "TPositionCH.PSecIndex = ? AND TPositionCH.PPosition > 10 AND "
                                 "TPositionCH.PPosition < 60 ORDER BY TResult.PIndex"));
        q.addBindValue(recordKey);
        q.exec();
        while (q.next()) {
        }
    };
    auto perPoint = [&](const QString &indexHint) {
        return [&, indexHint](int) {
            QSqlQuery q(db);
            q.prepare(QStringLiteral("SELECT TPositionCH.PPosition, TResult.PMeasure FROM TPositionCH INNER JOIN "
                                     "TResult %1 ON TPositionCH.PIndex = TResult.PSecIndex WHERE TPositionCH.PSecIndex = ? "
                                     "AND TPositionCH.PPosition > 10 AND TPositionCH.PPosition < 60 AND "
                                     "TResult.PPointNumber = ?")
                          .arg(indexHint));
            for (int point = 1; point <= 20; ++point) {
                q.addBindValue(recordKey);
                q.addBindValue(point);
                q.exec();
                while (q.next()) {
                }
            }
        };
    };
    print("one query for the stand (as built)", measure(runs, perStand));
    print("one query per point, planner's choice", measure(runs, perPoint(QString())));
    print("one query per point, by the point-number index", measure(3, perPoint(QStringLiteral(
                                                                         "INDEXED BY IX_TResult_PPointNumber"))));
    return 0;
}
