// How long one stand's group protocol takes: the GReport template filled with
// a 25-row table and written to disk, no spreadsheet program opened.

#include "core/ui.h"
#include "files/report.h"
#include "files/workbook_writer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

void addSources(kv::Report &report, int rows)
{
    const QStringList header{"Nz1", "Nz2", "Nz3", "Nz4", "Nz5", "Nz6", "NumProt", "NumUst", "Stend", "PPover", "MakerPov"};
    report.addSource(std::make_shared<kv::CallbackSource>(QStringLiteral("TNumber"), header, [](const QString &f) -> QVariant {
        if (f.startsWith(QLatin1String("Nz")))
            return QStringLiteral("0123456%1").arg(f.right(1));
        if (f == QLatin1String("NumProt"))
            return QStringLiteral("ГРУППОВОЙ  ПРОТОКОЛ  ПОВЕРКИ  № 42  ОТ  05.03.2003");
        if (f == QLatin1String("Stend"))
            return QStringLiteral("Стенд №3");
        return QStringLiteral("текст поля ") + f;
    }));
    report.addSource(std::make_shared<kv::RecordSource>(
        QStringLiteral("ADOTip"), QStringList{"PTip", "PIdentificator", "PMaker", "PClassT", "PUnom", "PInom", "PImax", "PReductRate"},
        QList<QVariantList>{{"СО-И449", "01", "Завод", 2.0, 220.0, 5.0, 50.0, 1600.0}}));
    auto rx = std::make_shared<kv::RecordSource>(
        QStringLiteral("RxMD"), QStringList{"N", "Mode", "U", "I", "KM", "CountRotation", "N1", "N2", "N3", "N4", "N5", "N6"});
    for (int i = 1; i <= rows; ++i)
        rx->appendRecord({QString::number(i), "п", "100", "10", "0.5/L", "5", "0.12", "-0.31", "0.05", "1.2", "-0.9", "0.4"});
    report.addSource(rx);
    report.setRangeSource(QStringLiteral("RxMD"));
}

double medianMs(QList<double> v)
{
    std::sort(v.begin(), v.end());
    return v.at(v.size() / 2);
}

}  // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    kv::setUi(std::make_unique<kv::RecordingUi>());
    QTemporaryDir dir;
    const QString templatePath = kv::Report::findTemplate(QStringLiteral("GReport.xlsx"));
    if (templatePath.isEmpty()) {
        std::fprintf(stderr, "GReport.xlsx not found\n");
        return 1;
    }
    kv::Report report(templatePath);
    addSources(report, 25);
    const int runs = 50;
    QList<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        if (!report.makeReportTo(dir.filePath(QStringLiteral("p%1.xlsx").arg(i)))) {
            std::fprintf(stderr, "report failed\n");
            return 1;
        }
        times << t.nsecsElapsed() / 1e6;
    }
    std::printf("group protocol, 25 table rows, filled and written: median %.2f ms, min %.2f ms over %d runs\n",
                medianMs(times), *std::min_element(times.begin(), times.end()), runs);
    std::printf("summary: group protocol workbook (GReport, 25 rows) filled and written: median %.2f ms, min %.2f, "
                "max %.2f (n=%d)\n",
                medianMs(times), *std::min_element(times.begin(), times.end()),
                *std::max_element(times.begin(), times.end()), runs);

    // A table of a big archive query written as a new workbook.
    kv::WorkbookTable table;
    table.sheetName = QStringLiteral("Архив");
    table.titles = {"PIndex", "PDate", "PTip", "PNumber", "PMeasure"};
    for (int i = 0; i < 10000; ++i)
        table.rows.append({i, QDate(2024, 1, 1).addDays(i % 365), QStringLiteral("СО-%1").arg(i % 7), QString::number(100000 + i), 0.01 * (i % 50)});
    QElapsedTimer t;
    t.start();
    const QString error = kv::writeWorkbook(dir.filePath(QStringLiteral("table.xlsx")), table);
    std::printf("table of 10000 rows x 5 columns written as a new workbook: %.1f ms%s\n", t.nsecsElapsed() / 1e6,
                error.isEmpty() ? "" : " (failed)");
    return 0;
}
