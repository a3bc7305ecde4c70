// Damaged protocol templates as a tester made them: the report template with
// its sheet replaced by one that unpacks to 1 GiB, by one of 1,048,576 rows,
// and by one of 3 GiB. Each is filled in a child process (as a protocol is
// made) and the time and the child's peak memory are printed with the
// operator's message.
// Usage: bench_damaged_templates [--keep DIR]; KV_BENCH_ONLY=N runs case N alone.
// A sheet just under the bound is filled too, for the memory a template may take.

#include "core/error_report.h"
#include "files/workbook_package.h"
#include "files/workbook_template.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <quazip/quazip.h>
#include <quazip/quazipfile.h>
#include <quazip/quazipnewinfo.h>

#include <cstdio>
#include <functional>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QString kSheet = QStringLiteral("xl/worksheets/sheet1.xml");

// Writes the template again with the sheet's bytes produced chunk by chunk,
// so a part of gigabytes never sits in this process's memory.
bool writeWithSheet(const QString &path, const std::function<bool(QByteArray *chunk)> &nextChunk)
{
    const kv::WorkbookPackage source =
        kv::WorkbookPackage::load(QStringLiteral(KV_SOURCE_DIR) + QStringLiteral("/templates/Report.xlsx"));
    QuaZip zip(path);
    if (!zip.open(QuaZip::mdCreate))
        return false;
    for (const QString &name : source.partNames()) {
        QuaZipFile file(&zip);
        QuaZipNewInfo info(name);
        if (!file.open(QIODevice::WriteOnly, info, nullptr, 0, Z_DEFLATED, Z_BEST_SPEED))
            return false;
        if (name == kSheet) {
            QByteArray chunk;
            while (nextChunk(&chunk))
                file.write(chunk);
        } else {
            file.write(source.part(name));
        }
        file.close();
    }
    zip.close();
    return zip.getZipError() == ZIP_OK;
}

// Rows of cells, repeated until `bytes` are written.
std::function<bool(QByteArray *)> paddedSheet(qint64 bytes)
{
    auto written = std::make_shared<qint64>(0);
    auto row = std::make_shared<int>(0);
    return [=](QByteArray *chunk) {
        if (*written >= bytes)
            return false;
        chunk->clear();
        if (*written == 0)
            *chunk += "<?xml version=\"1.0\" encoding=\"UTF-8\"?><worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>";
        while (chunk->size() < (1 << 20)) {
            ++*row;
            *chunk += "<row r=\"" + QByteArray::number(*row % 1048576 + 1) + "\"><c r=\"A1\" t=\"inlineStr\"><is><t>{{Protocol.Number}}</t></is></c></row>";
        }
        *written += chunk->size();
        if (*written >= bytes)
            *chunk += "</sheetData></worksheet>";
        return true;
    };
}

std::function<bool(QByteArray *)> rowsSheet(int rows)
{
    auto done = std::make_shared<int>(0);
    return [=](QByteArray *chunk) {
        if (*done > rows)
            return false;
        chunk->clear();
        if (*done == 0) {
            *chunk += "<?xml version=\"1.0\" encoding=\"UTF-8\"?><worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>";
            *done = 1;
        }
        while (chunk->size() < (1 << 20) && *done <= rows) {
            const QByteArray r = QByteArray::number(*done);
            *chunk += "<row r=\"" + r + "\"><c r=\"A" + r + "\"><v>1</v></c></row>";
            ++*done;
        }
        if (*done > rows) {
            *chunk += "</sheetData></worksheet>";
            ++*done;
        }
        return true;
    };
}

// In the child: what making a protocol from the template does.
int fill(const QString &path)
{
    try {
        kv::WorkbookPackage p = kv::WorkbookPackage::load(path);
        kv::TemplateFill f;
        f.lookup = [](const QString &, const QString &, int, QVariant *value) {
            *value = QStringLiteral("x");
            return true;
        };
        f.rangeRecords = 3;
        kv::fillTemplate(p, f);
        const QByteArray out = p.toBytes();
        std::printf("filled, %lld bytes\n", static_cast<long long>(out.size()));
    } catch (const std::exception &e) {
        std::printf("refused: %s\n", e.what());
    }
    return 0;
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 3 && args.at(1) == QLatin1String("--fill"))
        return fill(args.at(2));

    QTemporaryDir temp;
    const QString dir = args.size() == 3 && args.at(1) == QLatin1String("--keep") ? args.at(2) : temp.path();
    struct Case {
        const char *name;
        std::function<bool(QByteArray *)> sheet;
    };
    const Case cases[] = {{"sheet part of 1 GiB", paddedSheet(1LL << 30)},
                          {"sheet of 1,048,576 rows", rowsSheet(1048576)},
                          {"sheet part of 3 GiB", paddedSheet(3LL << 30)},
                          {"sheet of 60,000 rows (the largest a template may have)", rowsSheet(60000)}};
    const QString only = qEnvironmentVariable("KV_BENCH_ONLY");  // a case number, 1-based
    int number = 0;
    for (const Case &c : cases) {
        if (++number, !only.isEmpty() && only.toInt() != number)
            continue;
        const QString path = dir + QStringLiteral("/damaged.xlsx");
        QFile::remove(path);
        if (!writeWithSheet(path, c.sheet)) {
            std::printf("%s: could not write the template\n", c.name);
            continue;
        }
        std::fflush(stdout);
        QElapsedTimer timer;
        timer.start();
        const pid_t child = fork();
        if (child == 0) {
            std::printf("%s (%.1f MB on disk): ", c.name, double(QFile(path).size()) / 1e6);
            std::fflush(stdout);
            fill(path);
            std::fflush(stdout);
            _exit(0);
        }
        int status = 0;
        rusage usage{};
        wait4(child, &status, 0, &usage);
        std::printf("  %s: %.2f s, peak memory %.0f MB\n", c.name, timer.elapsed() / 1000.0, usage.ru_maxrss / 1024.0);
    }
    return 0;
}
