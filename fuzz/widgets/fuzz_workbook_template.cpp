// Workbooks the programs read: a protocol template filled, and a workbook an
// export adds a sheet to. The input is either a whole file (first byte 0xFF)
// or one part of a real template replaced — the first byte picks the
// template (bit 0), the part (bits 1–6) and whether an export adds a sheet to
// it too (bit 7) — so the zip stays readable and the XML inside gets the
// mutations.
//
// Properties: whatever the bytes, the only failure is kv::Error (the
// operator's message); a filled package writes and reads back, and every
// part the fill wrote is well-formed XML; a sheet added to a workbook is
// there afterwards.

#include "core/error_report.h"
#include "files/workbook_package.h"
#include "files/workbook_template.h"
#include "files/workbook_writer.h"
#include "files/xml_tree.h"

#include <QCoreApplication>
#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

QList<kv::WorkbookPackage> templates;
QTemporaryDir *folder = nullptr;

void fail(const char *what)
{
    fprintf(stderr, "fuzz_workbook_template: %s\n", what);
    abort();
}

// Every kind of value a report hands a template, chosen by the field's name.
bool lookup(const QString &source, const QString &field, int record, QVariant *value)
{
    const uint h = qHash(source + field) + uint(record + 1);
    switch (h % 8) {
    case 0: return false;
    case 1: *value = QVariant(); break;
    case 2: *value = double(h % 1000) / 7.0; break;
    case 3: *value = qlonglong(h) - 2000000000LL; break;
    case 4: *value = QStringLiteral("<&>\"' \x01\x1f текст {{Ещё.Поле}}"); break;
    case 5: *value = QDate(2026, 12, 9); break;
    case 6: *value = QDateTime(QDate(2026, 12, 9), QTime(10, 40)); break;
    default: *value = bool(h & 16); break;
    }
    return true;
}

void fill(kv::WorkbookPackage package, int records)
{
    const kv::WorkbookPackage before = package;
    kv::TemplateFill f;
    f.lookup = lookup;
    f.rangeRecords = records;
    try {
        kv::fillTemplate(package, f);
    } catch (const kv::Error &) {
        return;
    }
    for (const QString &part : package.partNames()) {
        const QByteArray bytes = package.part(part);
        if (bytes == before.part(part) || !(part.endsWith(QLatin1String(".xml")) || part.endsWith(QLatin1String(".rels"))))
            continue;
        try {
            kv::parseXml(bytes, part);
        } catch (const kv::Error &) {
            fail("the fill wrote a part that is not XML");
        }
    }
    try {
        const QByteArray zip = package.toBytes(QDateTime(QDate(2026, 12, 9), QTime(0, 0)));
        const kv::WorkbookPackage again = kv::WorkbookPackage::fromBytes(zip, QStringLiteral("filled.xlsx"));
        if (again.partNames() != package.partNames())
            fail("a filled workbook reads back with other parts");
    } catch (const kv::Error &) {
        fail("a filled workbook does not read back");
    }
}

void addSheet(const QByteArray &zip)
{
    const QString path = folder->filePath(QStringLiteral("export.xlsx"));
    QFile::remove(path);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(zip) != zip.size())
        fail("no scratch file");
    f.close();
    QString error;
    const QStringList names = kv::sheetNames(path, &error);
    kv::WorkbookTable table;
    table.sheetName = QStringLiteral("Экспорт");
    table.titles = {QStringLiteral("PIndex"), QStringLiteral("PNumber")};
    table.rows = {{1, QStringLiteral("N1")}, {2, 0.5}};
    if (kv::addSheet(path, table).isEmpty()) {
        QString again;
        if (!kv::sheetNames(path, &again).contains(table.sheetName))
            fail("an added sheet is not in the workbook");
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    new QCoreApplication(*argc, *argv);
    folder = new QTemporaryDir;
    for (const char *name : {"Report.xlsx", "GReport.xlsx"})
        templates << kv::WorkbookPackage::load(QStringLiteral(KVINTOR_TEMPLATES_DIR "/") + QLatin1String(name));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const QByteArray rest(reinterpret_cast<const char *>(data) + 1, int(size - 1));
    const int records = int(size % 4);
    kv::WorkbookPackage package;
    if (data[0] == 0xFF) {
        try {
            package = kv::WorkbookPackage::fromBytes(rest, QStringLiteral("fuzz.xlsx"));
        } catch (const kv::Error &) {
            return 0;
        }
        addSheet(rest);
    } else {
        package = templates.at(data[0] & 1);
        const QStringList parts = package.partNames();
        package.setPart(parts.at(((data[0] >> 1) & 0x3F) % parts.size()), rest);
        if (data[0] & 0x80)
            addSheet(package.toBytes(QDateTime(QDate(2026, 12, 9), QTime(0, 0))));
    }
    fill(package, records);
    return 0;
}
