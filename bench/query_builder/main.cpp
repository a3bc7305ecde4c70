// bench_query_builder: two questions a lab asks of years of archive, composed
// by the query builder exactly as the operator would tick them, run the way
// the result window runs them (Jet text -> kv::toEngineSql -> the paged list
// ADOSQL), and the same translated statements through raw prepared SQLite in
// the same run.
//
//   bench_query_builder [--database PATH] [--runs N]
//
// The archive is built by bench_archive_scale (build/bench_cache/archive_10y.sqlite).

#include "database/connection.h"
#include "database/engine_sql.h"
#include "reference/data_module.h"
#include "shell/query_builder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <sqlite3.h>

#include "../raw_sqlite.h"
#include "../timing.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace basekvintor;

namespace {

using kvbench::Timing;

Timing measure(int runs, const std::function<qint64()> &work) { return kvbench::measureRows(runs, work); }

void print(const char *label, const Timing &t) { kvbench::printRows(label, t, 50); }

using kvbench::rawRows;

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

void compare(const char *title, const QueryBuilder &builder, QSqlDatabase qdb, sqlite3 *raw, int runs)
{
    const ComposedQuery q = builder.compose();
    if (q.outcome != ComposedQuery::Outcome::Ready) {
        std::fprintf(stderr, "%s: the builder stopped\n", title);
        return;
    }
    const QByteArray sql = kv::toEngineSql(q.statement).toUtf8();
    std::printf("\n%s\n  Jet:    %s\n  engine: %s\n", title, qPrintable(q.statement), sql.constData());
    printPlan(raw, sql);

    const Timing compose = measure(runs, [&] { return qint64(builder.compose().statement.size() > 0); });
    // What the operator waits for after "Выполнить запрос": the list counts its
    // rows and reads its first page.
    TQueryDataSet list(qdb);
    const Timing open = measure(runs, [&] {
        if (!list.open(q.statement).isEmpty())
            return qint64(-1);
        return qint64(list.rowCount());
    });
    // Scrolling the whole result through the grid's model.
    const Timing scroll = measure(runs, [&] {
        TQueryDataSet all(qdb);
        all.open(q.statement);
        qint64 rows = 0;
        for (int r = 0; r < all.rowCount(); ++r, ++rows)
            for (int c = 0; c < all.columnCount(); ++c)
                (void)all.data(all.index(r, c));
        return rows;
    });
    const QByteArray countSql = "SELECT count(*) FROM (" + sql + ")";
    const Timing rawOpen = measure(runs, [&] {
        sqlite3_stmt *st = nullptr;
        sqlite3_prepare_v2(raw, countSql.constData(), -1, &st, nullptr);
        qint64 rows = sqlite3_step(st) == SQLITE_ROW ? sqlite3_column_int64(st, 0) : -1;
        sqlite3_finalize(st);
        rawRows(raw, sql, {}, TQueryDataSet::kPageRows);
        return rows;
    });
    const Timing rawAll = measure(runs, [&] { return rawRows(raw, sql); });
    print("builder: compose the statement", compose);
    print("program: ADOSQL open (count + first page)", open);
    print("raw sqlite3: count + first page", rawOpen);
    print("program: ADOSQL read to the last row", scroll);
    print("raw sqlite3: every row", rawAll);
    std::printf("  %-50s %.2fx\n", "ratio open / raw", rawOpen.medianMs > 0 ? open.medianMs / rawOpen.medianMs : 0.0);
    std::printf("  %-50s %.2fx\n", "ratio read to the end / raw",
                rawAll.medianMs > 0 ? scroll.medianMs / rawAll.medianMs : 0.0);
    std::printf("summary: query builder, %s (%lld rows): shown %.2f ms (raw SQLite %.2f), read to the end %.2f ms "
                "(raw %.2f), medians\n",
                title, open.rows, open.medianMs, rawOpen.medianMs, scroll.medianMs, rawAll.medianMs);
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int runs = 9;
    QString path = QStringLiteral(KV_BENCH_CACHE_DIR "/archive_10y.sqlite");
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--runs") && i + 1 < args.size())
            runs = std::max(1, args.at(++i).toInt());
        else if (args.at(i) == QLatin1String("--database") && i + 1 < args.size())
            path = args.at(++i);
        else {
            std::fprintf(stderr, "usage: bench_query_builder [--database PATH] [--runs N]\n");
            return 2;
        }
    }
    if (!QFileInfo::exists(path)) {
        std::fprintf(stderr, "%s is missing: run bench_archive_scale first, or give --database\n", qPrintable(path));
        return 1;
    }
    std::printf("file: %s, %.1f MB, sqlite %s, runs per figure: %d\n", qPrintable(path),
                double(QFileInfo(path).size()) / 1048576.0, sqlite3_libversion(), runs);

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

    QString number;
    QDate first;
    {
        QSqlQuery q(qdb);
        // A meter verified more than once, from the middle of the archive.
        if (q.exec(QStringLiteral("SELECT PNumber FROM TPositionCH WHERE PIndex > (SELECT max(PIndex) / 2 FROM "
                                  "TPositionCH) GROUP BY PNumber HAVING count(*) > 1 LIMIT 1")) &&
            q.next())
            number = q.value(0).toString();
        if (number.isEmpty() && q.exec(QStringLiteral("SELECT PNumber FROM TPositionCH LIMIT 1")) && q.next())
            number = q.value(0).toString();
        if (q.exec(QStringLiteral("SELECT min(PDate), max(PDate) FROM TMeasure")) && q.next())
            first = QDate::fromString(q.value(0).toString().left(10), QStringLiteral("yyyy-MM-dd"));
    }

    // "All errors of one meter number": date, number, point and error, on the number.
    QueryBuilder byNumber;
    for (QueryColumn c : {QueryColumn::CBDate, QueryColumn::CBNumPoint, QueryColumn::CBMeasure})
        byNumber.setTicked(c, true);
    byNumber.setCondition(QueryCondition::Number, true);
    byNumber.number = number;
    compare(qPrintable(QStringLiteral("all errors of meter %1").arg(number)), byNumber, qdb, raw, runs);

    // The same with the meter and point columns only (no verification record joined).
    QueryBuilder byNumberShort;
    byNumberShort.setTicked(QueryColumn::CBMeasure, true);
    byNumberShort.setCondition(QueryCondition::Number, true);
    byNumberShort.number = number;
    compare(qPrintable(QStringLiteral("all errors of meter %1, number and error only").arg(number)), byNumberShort,
            qdb, raw, runs);

    // "All unfit meters in a date range": one year in the middle of the archive.
    const QDate from(first.year() + 5, 1, 1);
    QueryBuilder unfit;
    unfit.setTicked(QueryColumn::CBTip, true);
    unfit.setCondition(QueryCondition::Date, true);
    unfit.dateChoice = RangeChoice::FromTo;
    unfit.DTPFBFrom = from;
    unfit.DTPFBBefore = QDate(from.year(), 12, 31);
    unfit.setCondition(QueryCondition::Number, false);
    unfit.setTicked(QueryColumn::CBNumber, true);
    unfit.setCondition(QueryCondition::Verdict, true);
    unfit.verdict = 2;
    compare(qPrintable(QStringLiteral("unfit meters verified in %1 (date, type, number, verdict)").arg(from.year())),
            unfit, qdb, raw, runs);

    // The same over a month.
    QueryBuilder unfitMonth = unfit;
    unfitMonth.DTPFBBefore = from.addMonths(1).addDays(-1);
    compare("unfit meters of one month", unfitMonth, qdb, raw, runs);

    sqlite3_close(raw);
    qdb.close();
    return 0;
}
