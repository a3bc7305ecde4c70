// bench_table_files: 100,000 query-result rows saved as text files and
// exported to the table formats, with the time each one takes.
//
//   bench_table_files [--rows N]

#include "../archive_file.h"
#include "demo_data.h"

#include "database/attach_export.h"
#include "database/connection.h"
#include "files/dbf_writer.h"
#include "files/paradox_file.h"
#include "files/table_data.h"
#include "files/text_table_writers.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <cstdio>

namespace {

void report(const char *what, qint64 ms, const QString &file = {})
{
    if (file.isEmpty())
        std::printf("  %-46s %7lld ms\n", what, ms);
    else
        std::printf("  %-46s %7lld ms  %8.1f MB\n", what, ms, double(QFileInfo(file).size()) / 1048576.0);
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int rows = 100000;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--rows") && i + 1 < args.size())
            rows = std::max(1, args.at(++i).toInt());
    }
    const QString archive = QStringLiteral(KV_BENCH_CACHE_DIR "/archive_1y.sqlite");
    if (const QString e = kvbench::ensureArchive(archive, 1); !e.isEmpty()) {
        std::fprintf(stderr, "archive: %s\n", qPrintable(e));
        return 1;
    }
    if (const QString e = kv::openDatabase(archive, QStringLiteral("bench")); !e.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(e));
        return 1;
    }
    QSqlDatabase db = QSqlDatabase::database(QStringLiteral("bench"));
    QTemporaryDir dir;
    dir.setAutoRemove(qEnvironmentVariableIsEmpty("KV_BENCH_KEEP"));

    // A query result as the builder makes one: date, meter, point, error, limit.
    const QString select = QStringLiteral(
                               "SELECT TMeasure.PDate, TPositionCH.PNumber, TPositionCH.PPosition, TResult.PPointNumber, "
                               "TResult.PMeasure, TResult.PMeasureMax, TPositionCH.PTotal FROM (TMeasure INNER JOIN "
                               "TPositionCH ON TMeasure.PIndex = TPositionCH.PSecIndex) INNER JOIN TResult ON "
                               "(TPositionCH.PIndex = TResult.PSecIndex) LIMIT %1")
                               .arg(rows);
    std::printf("%d query-result rows, 7 columns\n", rows);

    QElapsedTimer clock;
    clock.start();
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.exec(select)) {
        std::fprintf(stderr, "%s\n", qPrintable(q.lastError().text()));
        return 1;
    }
    const kv::TableData table = kv::tableFromQuery(q, QStringLiteral("result"));
    report("query to in-memory table", clock.elapsed());
    if (table.rows.size() != rows)
        std::fprintf(stderr, "only %lld rows\n", qint64(table.rows.size()));

    const struct {
        const char *what;
        kv::TextTableFormat format;
    } texts[] = {{"save as CSV", kv::TextTableFormat::Csv},
                 {"save as text", kv::TextTableFormat::Text},
                 {"save as HTML", kv::TextTableFormat::Html},
                 {"save as RTF", kv::TextTableFormat::Rtf}};
    for (const auto &t : texts) {
        const QString path = dir.filePath(QStringLiteral("result.") + kv::textTableExtension(t.format));
        clock.restart();
        const QString error = kv::writeTextTable(path, table, t.format);
        report(t.what, clock.elapsed(), path);
        if (!error.isEmpty())
            std::fprintf(stderr, "%s\n", qPrintable(error));
    }

    {
        const QString path = dir.filePath(QStringLiteral("export.sqlite"));
        clock.restart();
        QString error = kv::createEmptyDatabaseFile(path);
        if (error.isEmpty())
            error = kv::copySelectIntoFile(db, path, QStringLiteral("result"), select);
        report("export to a new SQLite file (ATTACH + CREATE AS)", clock.elapsed(), path);
        if (!error.isEmpty())
            std::fprintf(stderr, "%s\n", qPrintable(error));
    }
    {
        const QString path = dir.filePath(QStringLiteral("result.dbf"));
        clock.restart();
        const kv::DbfResult r = kv::writeDbf(path, table);
        report("export to dBASE (from the in-memory table)", clock.elapsed(), path);
        if (!r.error.isEmpty())
            std::fprintf(stderr, "%s\n", qPrintable(r.error));
    }
    {
        const QString path = dir.filePath(QStringLiteral("result.db"));
        clock.restart();
        const kv::ParadoxWriteResult r = kv::writeParadox(path, table);
        report("export to Paradox 7 (from the in-memory table)", clock.elapsed(), path);
        if (!r.error.isEmpty())
            std::fprintf(stderr, "%s\n", qPrintable(r.error));
        clock.restart();
        const kv::ParadoxTable back = kv::readParadoxTable(path, 10000);
        report("read it back through kvintor-pxread", clock.elapsed());
        if (!back.ok() || back.table.rows.size() != table.rows.size())
            std::fprintf(stderr, "read back: %s\n", qPrintable(back.error));
    }
    db.close();
    return 0;
}
