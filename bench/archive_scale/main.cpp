// bench_archive_scale: how the archive behaves after years of work.
//
// Builds (once, then reuses from the build folder) a synthetic archive of
// --years years (10 by default) and prints the time to open the database, to
// read one verification record's meters with their errors, and to run two of
// the query builder's joins, each through the programs' own path (Jet text ->
// kv::toEngineSql -> Qt SQL) and through raw prepared SQLite in the same run.
// The ratio of the two is the figure that matters: it shows what the Qt layer
// costs over the engine itself.
//
//   bench_archive_scale [--years N] [--database PATH] [--runs N]

#include "archive_cache.h"
#include "demo_data.h"

#include "database/connection.h"
#include "database/engine_sql.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlQueryModel>
#include <QSqlRecord>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

struct Timing {
    double firstMs = 0;
    double medianMs = 0;
    double bestMs = 0;
    qint64 rows = 0;
};

// Runs `work` `runs` times; `work` returns the rows it read, so each variant
// proves it read the same result.
Timing measure(int runs, const std::function<qint64()> &work)
{
    std::vector<double> times;
    Timing t;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer clock;
        clock.start();
        const qint64 rows = work();
        const double ms = double(clock.nsecsElapsed()) / 1e6;
        if (i == 0) {
            t.firstMs = ms;
            t.rows = rows;
        } else if (rows != t.rows) {
            std::fprintf(stderr, "run %d read %lld rows, the first read %lld\n", i, rows, t.rows);
        }
        times.push_back(ms);
    }
    std::sort(times.begin(), times.end());
    t.medianMs = times[times.size() / 2];
    t.bestMs = times.front();
    return t;
}

void print(const char *label, const Timing &t)
{
    std::printf("  %-44s first %9.3f ms  median %9.3f ms  best %9.3f ms  rows %lld\n", label, t.firstMs, t.medianMs,
                t.bestMs, t.rows);
}

void printRatio(const char *label, const Timing &ours, const Timing &raw)
{
    std::printf("  %-44s %.2fx (median %.3f / %.3f ms)\n", label, raw.medianMs > 0 ? ours.medianMs / raw.medianMs : 0.0,
                ours.medianMs, raw.medianMs);
}

// Raw SQLite: one statement prepared, stepped through to the end, every column read.
qint64 rawRows(sqlite3 *db, const QByteArray &sql, const std::function<void(sqlite3_stmt *)> &bind = {})
{
    sqlite3_stmt *st = nullptr;
    if (sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &st, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "prepare failed: %s\n", sqlite3_errmsg(db));
        return -1;
    }
    if (bind)
        bind(st);
    qint64 rows = 0;
    const int columns = sqlite3_column_count(st);
    while (sqlite3_step(st) == SQLITE_ROW) {
        for (int c = 0; c < columns; ++c)
            (void)sqlite3_column_text(st, c);
        ++rows;
    }
    sqlite3_finalize(st);
    return rows;
}

// The programs' path: a query, every row read with every value.
qint64 qtRows(QSqlDatabase db, const QString &sql, bool forwardOnly)
{
    QSqlQuery q(db);
    q.setForwardOnly(forwardOnly);
    if (!q.exec(sql)) {
        std::fprintf(stderr, "query failed: %s\n", qPrintable(q.lastError().text()));
        return -1;
    }
    qint64 rows = 0;
    const int columns = q.record().count();
    while (q.next()) {
        for (int c = 0; c < columns; ++c)
            (void)q.value(c);
        ++rows;
    }
    return rows;
}

// What a result grid does: a query model fetched to the end.
qint64 modelRows(QSqlDatabase db, const QString &sql)
{
    QSqlQueryModel model;
    model.setQuery(sql, db);
    if (model.lastError().isValid()) {
        std::fprintf(stderr, "model failed: %s\n", qPrintable(model.lastError().text()));
        return -1;
    }
    while (model.canFetchMore())
        model.fetchMore();
    qint64 rows = model.rowCount();
    const int columns = model.columnCount();
    for (int r = 0; r < model.rowCount(); ++r)
        for (int c = 0; c < columns; ++c)
            (void)model.index(r, c).data();
    return rows;
}

void printPlan(sqlite3 *db, const QByteArray &sql)
{
    sqlite3_stmt *st = nullptr;
    const QByteArray explain = "EXPLAIN QUERY PLAN " + sql;
    if (sqlite3_prepare_v2(db, explain.constData(), -1, &st, nullptr) != SQLITE_OK)
        return;
    while (sqlite3_step(st) == SQLITE_ROW)
        std::printf("    plan: %s\n", reinterpret_cast<const char *>(sqlite3_column_text(st, 3)));
    sqlite3_finalize(st);
}

struct QueryCase {
    const char *title;
    QString jet;
};

void compareQuery(QSqlDatabase qdb, sqlite3 *raw, const QueryCase &c, int runs)
{
    const QString sql = kv::toEngineSql(c.jet);
    const QByteArray rawSql = sql.toUtf8();
    std::printf("\n%s\n  Jet:    %s\n  engine: %s\n", c.title, qPrintable(c.jet.trimmed()), rawSql.constData());
    printPlan(raw, rawSql);
    const Timing translate = measure(runs, [&] { return qint64(kv::toEngineSql(c.jet).size() > 0); });
    const Timing qtScroll = measure(runs, [&] { return qtRows(qdb, kv::toEngineSql(c.jet), false); });
    const Timing qtForward = measure(runs, [&] { return qtRows(qdb, kv::toEngineSql(c.jet), true); });
    const Timing model = measure(runs, [&] { return modelRows(qdb, kv::toEngineSql(c.jet)); });
    const Timing rawT = measure(runs, [&] { return rawRows(raw, rawSql); });
    print("toEngineSql alone", translate);
    print("Qt SQL, QSqlQuery (scrollable)", qtScroll);
    print("Qt SQL, QSqlQuery forward-only", qtForward);
    print("Qt SQL, QSqlQueryModel fetched to the end", model);
    print("raw sqlite3 prepared", rawT);
    printRatio("ratio scrollable query / raw", qtScroll, rawT);
    printRatio("ratio forward-only query / raw", qtForward, rawT);
    printRatio("ratio query model / raw", model, rawT);
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int years = 10;
    int runs = 15;
    QString path;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--years") && i + 1 < args.size())
            years = std::max(1, args.at(++i).toInt());
        else if (args.at(i) == QLatin1String("--runs") && i + 1 < args.size())
            runs = std::max(1, args.at(++i).toInt());
        else if (args.at(i) == QLatin1String("--database") && i + 1 < args.size())
            path = args.at(++i);
        else {
            std::fprintf(stderr, "usage: bench_archive_scale [--years N] [--runs N] [--database PATH]\n");
            return 2;
        }
    }
    if (path.isEmpty())
        path = QStringLiteral(KV_BENCH_CACHE_DIR "/archive_%1y.sqlite").arg(years);

    const QString error = ensureArchive(path, years);
    if (!error.isEmpty()) {
        std::fprintf(stderr, "archive: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("file: %.1f MB, sqlite %s, runs per figure: %d\n", double(QFileInfo(path).size()) / 1048576.0,
                sqlite3_libversion(), runs);

    // Opening: the programs' own open (pragmas included), and the engine's open
    // with the first statement that reads the schema.
    int opened = 0;
    std::printf("\nopen the database\n");
    const Timing openQt = measure(runs, [&] {
        const QString name = QStringLiteral("open%1").arg(opened++);
        qint64 ok = 0;
        {
            ok = kv::openDatabase(path, name).isEmpty() ? 1 : 0;
            QSqlDatabase db = QSqlDatabase::database(name, false);
            QSqlQuery q(db);
            ok &= q.exec(QStringLiteral("SELECT count(*) FROM TTip")) && q.next();
            q.finish();
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
        return ok;
    });
    const Timing openRaw = measure(runs, [&] {
        sqlite3 *db = nullptr;
        qint64 ok = sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK;
        ok &= rawRows(db, "SELECT count(*) FROM TTip") == 1;
        sqlite3_close(db);
        return ok;
    });
    print("kv::openDatabase + first query", openQt);
    print("sqlite3_open_v2 + first query", openRaw);

    const QString connection = QStringLiteral("bench");
    if (const QString e = kv::openDatabase(path, connection); !e.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(e));
        return 1;
    }
    QSqlDatabase qdb = QSqlDatabase::database(connection);
    sqlite3 *raw = nullptr;
    if (sqlite3_open_v2(path.toUtf8().constData(), &raw, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "sqlite3_open_v2: %s\n", sqlite3_errmsg(raw));
        return 1;
    }

    // One record from the middle of the archive, read as the archive window
    // reads it: its meters, then each meter's errors.
    qint64 record = 0;
    QString twiceVerified;
    {
        QSqlQuery q(qdb);
        if (q.exec(QStringLiteral("SELECT max(PIndex) FROM TMeasure")) && q.next())
            record = q.value(0).toLongLong() / 2;
        // A meter verified more than once, taken from the middle of the numbers.
        if (q.exec(QStringLiteral("SELECT PNumber FROM TPositionCH WHERE PIndex > (SELECT max(PIndex) / 2 FROM "
                                  "TPositionCH) GROUP BY PNumber HAVING count(*) > 1 LIMIT 1")) &&
            q.next())
            twiceVerified = q.value(0).toString();
    }
    std::printf("\nread record %lld: its meters and their errors\n", record);
    const Timing recordQt = measure(runs, [&] {
        QSqlQuery meters(qdb), errors(qdb);
        meters.setForwardOnly(true);
        errors.setForwardOnly(true);
        meters.prepare(QStringLiteral("SELECT * FROM TPositionCH WHERE PSecIndex = ? ORDER BY PIndex"));
        errors.prepare(QStringLiteral("SELECT * FROM TResult WHERE PSecIndex = ? ORDER BY PIndex"));
        meters.addBindValue(record);
        meters.exec();
        qint64 rows = 0;
        while (meters.next()) {
            ++rows;
            for (int c = 0; c < 8; ++c)
                (void)meters.value(c);
            errors.bindValue(0, meters.value(0));
            errors.exec();
            while (errors.next()) {
                for (int c = 0; c < 5; ++c)
                    (void)errors.value(c);
                ++rows;
            }
        }
        return rows;
    });
    const Timing recordRaw = measure(runs, [&] {
        sqlite3_stmt *meters = nullptr, *errors = nullptr;
        sqlite3_prepare_v2(raw, "SELECT * FROM TPositionCH WHERE PSecIndex = ? ORDER BY PIndex", -1, &meters, nullptr);
        sqlite3_prepare_v2(raw, "SELECT * FROM TResult WHERE PSecIndex = ? ORDER BY PIndex", -1, &errors, nullptr);
        sqlite3_bind_int64(meters, 1, record);
        qint64 rows = 0;
        while (sqlite3_step(meters) == SQLITE_ROW) {
            ++rows;
            for (int c = 0; c < 8; ++c)
                (void)sqlite3_column_text(meters, c);
            sqlite3_reset(errors);
            sqlite3_bind_int64(errors, 1, sqlite3_column_int64(meters, 0));
            while (sqlite3_step(errors) == SQLITE_ROW) {
                for (int c = 0; c < 5; ++c)
                    (void)sqlite3_column_text(errors, c);
                ++rows;
            }
        }
        sqlite3_finalize(meters);
        sqlite3_finalize(errors);
        return rows;
    });
    print("Qt SQL, prepared", recordQt);
    print("raw sqlite3 prepared", recordRaw);
    printRatio("ratio Qt / raw", recordQt, recordRaw);
    std::printf("summary: one record's meters and errors (%lld rows) on the ten-year file: Qt SQL %.3f ms, raw SQLite "
                "%.3f ms, medians\n",
                recordQt.rows, recordQt.medianMs, recordRaw.medianMs);

    // The query builder's statements, as it composes them.
    const auto byNumber = [](const QString &number) {
        return QStringLiteral(" Select TPositionCH.PNumber ,TResult.PMeasure  From (TPositionCH INNER JOIN TResult ON "
                              "TPositionCH.PIndex = TResult.PSecIndex) Where (TPositionCh.PNumber = %1)")
            .arg(kv::jetQuoted(number));
    };
    compareQuery(qdb, raw, {"all errors of meter 000123456", byNumber(QStringLiteral("000123456"))}, runs);
    if (!twiceVerified.isEmpty())
        compareQuery(qdb, raw,
                     {qPrintable(QStringLiteral("all errors of meter %1 (verified more than once)").arg(twiceVerified)),
                      byNumber(twiceVerified)},
                     runs);

    // Unfit meters of one year in the middle of the archive ("от ... до ..." with "Не годен").
    QDate from;
    {
        QSqlQuery q(qdb);
        if (q.exec(QStringLiteral("SELECT min(PDate) FROM TMeasure")) && q.next())
            from = QDate::fromString(q.value(0).toString().left(10), QStringLiteral("yyyy-MM-dd"));
    }
    from = QDate(from.year() + years / 2, 1, 1);
    const QDate to = QDate(from.year(), 12, 31);
    const QString range = QStringLiteral("((TMeasure.PDate >= DateValue(%1)) and (TMeasure.PDate <= DateValue(%2)))")
                              .arg(kv::jetQuoted(from.toString(QStringLiteral("dd.MM.yyyy"))),
                                   kv::jetQuoted(to.toString(QStringLiteral("dd.MM.yyyy"))));
    compareQuery(qdb, raw,
                 {"unfit meters verified in one year (date and number and verdict)",
                  QStringLiteral(" Select  DISTINCT TMeasure.PDate ,TPositionCH.PNumber ,TPositionCH.PTotal  From "
                                 "(TMeasure INNER JOIN TPositionCH ON TMeasure.PIndex = TPositionCH.PSecIndex) Where ") +
                      range + QStringLiteral(" and (TPositionCh.PTotal =2)")},
                 runs);
    compareQuery(qdb, raw,
                 {"unfit meters of one year with their errors",
                  QStringLiteral(" Select TMeasure.PDate ,TPositionCH.PNumber ,TResult.PMeasure  From (TMeasure INNER "
                                 "JOIN TPositionCH ON TMeasure.PIndex = TPositionCH.PSecIndex)INNER JOIN TResult ON "
                                 "(TPositionCH.PIndex = TResult.PSecIndex) Where ") +
                      range + QStringLiteral(" and (TPositionCh.PTotal =2)")},
                 runs);
    compareQuery(qdb, raw,
                 {"unfit meters over the whole archive (verdict only)",
                  QStringLiteral(" Select  DISTINCT TPositionCH.PNumber ,TPositionCH.PTotal  From TPositionCH Where "
                                 "(TPositionCh.PTotal =2)")},
                 std::max(1, runs / 3));

    sqlite3_close(raw);
    qdb.close();
    return 0;
}
