// bench_table_actions: the query result grid's table actions on 100,000 rows,
// the way the operator runs them: "Сохранить как" (grid texts and values
// collected from the grid, then written) as CSV and xlsx, "Экспорт" of the
// builder's statement to SQLite and dBASE, and printing the whole grid to PDF.
//
//   bench_table_actions [--rows N] [--no-print]

#include "../archive_file.h"
#include "demo_data.h"

#include "database/connection.h"
#include "reference/data_module.h"
#include "shell/table_actions.h"
#include "widgets/data_grid.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPrinter>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <cstdio>
#include <ctime>

using namespace basekvintor;

namespace {

// Processor time of this process since the last report: on a loaded machine
// the wall-clock figure alone overstates the work.
std::clock_t g_cpuMark = std::clock();

void report(const char *what, qint64 ms, const QString &file = {}, const QString &error = {})
{
    const std::clock_t now = std::clock();
    const long long cpu = (long long)((now - g_cpuMark) * 1000 / CLOCKS_PER_SEC);
    g_cpuMark = now;
    if (file.isEmpty())
        std::printf("  %-46s %7lld ms wall %7lld ms cpu\n", what, ms, cpu);
    else
        std::printf("  %-46s %7lld ms wall %7lld ms cpu  %6.1f MB\n", what, ms, cpu,
                    double(QFileInfo(file).size()) / 1048576.0);
    if (!error.isEmpty())
        std::fprintf(stderr, "    %s\n", qPrintable(error));
}

}  // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int rows = 100000;
    bool print = true;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--rows") && i + 1 < args.size())
            rows = std::max(1, args.at(++i).toInt());
        else if (args.at(i) == QLatin1String("--no-print"))
            print = false;
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

    // The builder's parts for date, type, meter, point, error and limit.
    const ExportParts parts{
        QStringLiteral(" Select TMeasure.PDate, TTip.PTip, TPositionCH.PNumber, TResult.PPointNumber, "
                       "TResult.PMeasure, TResult.PMeasureMax "),
        QStringLiteral(" From TMeasure, TTip, TPositionCH, TResult Where TMeasure.PPointerTip=TTip.PIndex and "
                       "TPositionCH.PSecIndex=TMeasure.PIndex and TResult.PSecIndex=TPositionCH.PIndex and "
                       "TResult.PIndex <= (select min(PIndex) from TResult) + %1")
            .arg(rows - 1)};
    std::printf("%d query-result rows, 6 columns\n", rows);

    QElapsedTimer clock;
    clock.start();
    g_cpuMark = std::clock();
    TQueryDataSet result(db);
    if (const QString e = result.open(parts.statement()); !e.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(e));
        return 1;
    }
    kv::DataGrid grid;
    grid.setObjectName(QStringLiteral("DBGridSQL"));
    grid.setModel(&result);
    grid.setReadOnly(true);
    report("open the query result in the grid", clock.elapsed());
    std::printf("  (%d rows in the grid)\n", result.rowCount());

    grid.selectAll();
    for (SaveFormat f : {SaveFormat::Csv, SaveFormat::Excel}) {
        const QString path = dir.filePath(QStringLiteral("result.") + saveExtension(f));
        clock.restart();
        g_cpuMark = std::clock();
        const GridTable t = gridTable(grid, rowsToSave(grid));
        const qint64 collect = clock.elapsed();
        const QString error = writeGridTable(path, t, f);
        const qint64 all = clock.elapsed();
        report(f == SaveFormat::Csv ? "save as CSV (all marked)" : "save as xlsx (all marked)", all, path, error);
        std::printf("    of which collecting the grid's cells %lld ms\n", collect);
    }

    const struct {
        const char *what;
        ExportTarget target;
        const char *file;
    } targets[] = {{"export to a new SQLite file", ExportTarget::Sqlite, "export.sqlite"},
                   {"export to dBASE IV", ExportTarget::Dbase4, "result.dbf"},
                   {"export to Paradox 7", ExportTarget::Paradox7, "result.db"},
                   {"export to a new workbook sheet", ExportTarget::Excel, "result.xlsx"}};
    for (const auto &t : targets) {
        const QString chosen = dir.filePath(QStringLiteral("x-") + QString::fromLatin1(t.file));
        clock.restart();
        g_cpuMark = std::clock();
        ExportTargetInfo info = prepareExportTarget(t.target, chosen);
        if (info.tableName.isEmpty())
            info.tableName = QStringLiteral("result");
        const QString error = info.error.isEmpty() ? runExport(db, parts, info) : info.error;
        report(t.what, clock.elapsed(), info.path, error);
    }

    if (print) {
        const QString path = dir.filePath(QStringLiteral("result.pdf"));
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(path);
        clock.restart();
        g_cpuMark = std::clock();
        const kv::GridPrintJob job = printJob(grid, GridSource::DSSQL);
        const qint64 collect = clock.elapsed();
        const kv::PrintOutcome out = kv::printGrid(printer, job);
        report("print the whole grid to PDF", clock.elapsed(), path, out.error);
        std::printf("    %d pages; collecting the grid's cells %lld ms\n", out.pages, collect);
    }
    return 0;
}
