// bench_import: test tables of 100 to 100,000 points and type tables of 100
// to 10,000 types imported into a fresh database, with the time the reading
// and the transfer each take.
//
//   bench_import [--points N] [--types N]   (largest sizes; default 100000, 10000)

#include "demo_data.h"

#include "core/ui.h"
#include "database/connection.h"
#include "files/paradox_file.h"
#include "reference/data_module.h"
#include "shell/import_tables.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>

using namespace basekvintor;

namespace {

kv::TableData testTable(int rows)
{
    kv::TableData t;
    t.columns = {{QStringLiteral("N"), kv::FieldType::Integer, 2},
                 {QStringLiteral("U"), kv::FieldType::Integer, 2},
                 {QStringLiteral("PhU"), kv::FieldType::Text, 3},
                 {QStringLiteral("I"), kv::FieldType::Integer, 2},
                 {QStringLiteral("PhI"), kv::FieldType::Text, 3},
                 {QStringLiteral("cos"), kv::FieldType::Text, 10},
                 {QStringLiteral("Turns"), kv::FieldType::Integer, 2},
                 {QStringLiteral("Limit"), kv::FieldType::Float}};
    const char *factors[] = {"1", "0.5/L", "0.8/C"};
    for (int i = 0; i < rows; ++i)
        t.rows << kv::TableRow{qint64(i % 30000), qint64(100), QStringLiteral("111"), qint64(5 + i % 100),
                               QStringLiteral("1x1"), QString::fromLatin1(factors[i % 3]), qint64(10), 1.0};
    return t;
}

kv::TableData tipTable(int rows)
{
    kv::TableData t;
    t.columns << kv::TableColumn{QStringLiteral("N"), kv::FieldType::Integer, 4, true};
    for (const char *name : {"Ident", "Tip", "Maker"})
        t.columns << kv::TableColumn{QLatin1String(name), kv::FieldType::Text, 20};
    for (const char *name : {"ClassT", "Unom", "Inom"})
        t.columns << kv::TableColumn{QLatin1String(name), kv::FieldType::Float};
    for (const char *name : {"Phase", "Energy", "Unit"})
        t.columns << kv::TableColumn{QLatin1String(name), kv::FieldType::Text, 25};
    for (const char *name : {"Rate", "Cena", "Imax"})
        t.columns << kv::TableColumn{QLatin1String(name), kv::FieldType::Float};
    for (int i = 0; i < rows; ++i)
        t.rows << kv::TableRow{qint64(i + 1), QStringLiteral("И-%1").arg(i), QStringLiteral("ТИП-%1").arg(i),
                               QStringLiteral("Завод"), 1.0, 220.0, 5.0, QStringLiteral("3ф. 4пр."),
                               QStringLiteral("Активная"), QStringLiteral("оборот/кВт(кВар)*час"), 1600.0, 0.1, 60.0};
    return t;
}

struct Figures {
    qint64 readMs = 0, transferMs = 0;
    int stored = 0;
    bool ok = false;
};

Figures run(TDM &dm, const QString &path, bool tests)
{
    TableImport import(&dm);
    Figures f;
    QElapsedTimer clock;
    clock.start();
    const kv::ParadoxTable source = import.readSource(path);
    f.readMs = clock.elapsed();
    if (!source.ok()) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(path), qPrintable(source.error));
        return f;
    }
    clock.restart();
    const ImportOutcome out = tests ? import.transferTest(QStringLiteral("bench"), source.table)
                                    : import.transferTip(source.table, tipTableOffset(source));
    f.transferMs = clock.elapsed();
    f.ok = out.ok();
    f.stored = out.stored;
    if (!f.ok)
        std::fprintf(stderr, "%s: %s\n", qPrintable(path), qPrintable(out.reason));
    return f;
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int maxPoints = 100000, maxTypes = 10000;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--points"))
            maxPoints = args.at(i + 1).toInt();
        else if (args.at(i) == QLatin1String("--types"))
            maxTypes = args.at(i + 1).toInt();
    }
    kv::setUi(std::make_unique<kv::RecordingUi>());

    QTemporaryDir dir;
    const QString dbPath = dir.filePath(QStringLiteral("bench.sqlite"));
    QString error = kv::createDatabaseFile(dbPath);
    if (error.isEmpty())
        error = kv::openDatabase(dbPath, QStringLiteral("bench"));
    if (error.isEmpty()) {
        QSqlDatabase db = QSqlDatabase::database(QStringLiteral("bench"));
        error = kv::demo::addReferenceData(db);
    }
    if (!error.isEmpty()) {
        std::fprintf(stderr, "database: %s\n", qPrintable(error));
        return 1;
    }
    TDM dm;
    dm.useConnection(QStringLiteral("bench"));
    if (const QString e = dm.openDataSets(); !e.isEmpty()) {
        std::fprintf(stderr, "data sets: %s\n", qPrintable(e));
        return 1;
    }

    std::printf("%-7s %8s %10s %12s %14s\n", "table", "rows", "read ms", "transfer ms", "rows/s (xfer)");
    for (int rows = 100; rows <= maxPoints; rows *= 10) {
        const QString path = dir.filePath(QStringLiteral("t%1.db").arg(rows));
        kv::writeParadox(path, testTable(rows));
        const Figures f = run(dm, path, true);
        std::printf("%-7s %8d %10lld %12lld %14.0f%s\n", "tests", rows, f.readMs, f.transferMs,
                    f.transferMs ? f.stored * 1000.0 / f.transferMs : 0.0, f.ok ? "" : "  FAILED");
    }
    for (int rows = 100; rows <= maxTypes; rows *= 10) {
        const QString path = dir.filePath(QStringLiteral("k%1.db").arg(rows));
        kv::writeParadox(path, tipTable(rows));
        // Each size adds new types beside the ones of the smaller sizes.
        QSqlQuery(dm.database()).exec(QStringLiteral("DELETE FROM TTip WHERE PMaker = 'Завод'"));
        const Figures f = run(dm, path, false);
        std::printf("%-7s %8d %10lld %12lld %14.0f%s\n", "types", rows, f.readMs, f.transferMs,
                    f.transferMs ? f.stored * 1000.0 / f.transferMs : 0.0, f.ok ? "" : "  FAILED");
    }
    return 0;
}
