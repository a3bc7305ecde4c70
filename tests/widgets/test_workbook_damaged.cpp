// Damaged workbooks, as a template or as the target of an export: numbers
// beyond what a sheet holds and elements nested without end are refused with
// the operator's message instead of overflowing the row arithmetic or the
// stack. The inputs are the ones fuzzing turned up, on the real template.

#include "core/error_report.h"
#include "files/workbook_package.h"
#include "files/workbook_template.h"
#include "files/workbook_writer.h"
#include "files/xml_tree.h"

#include <QDateTime>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kSheet = QStringLiteral("xl/worksheets/sheet1.xml");

kv::WorkbookPackage reportTemplate()
{
    return kv::WorkbookPackage::load(qEnvironmentVariable("KVINTOR_SOURCE_DIR") + QStringLiteral("/templates/Report.xlsx"));
}

// The template's sheet with one text replaced; the text must be there.
kv::WorkbookPackage withSheetEdit(const QString &from, const QString &to)
{
    kv::WorkbookPackage p = reportTemplate();
    QString sheet = QString::fromUtf8(p.part(kSheet));
    if (!sheet.contains(from))
        qFatal("the template has no %s", qPrintable(from));
    sheet.replace(from, to);
    p.setPart(kSheet, sheet.toUtf8());
    return p;
}

// The fill's error text; empty when it went through.
QString fillError(kv::WorkbookPackage &p, int records)
{
    kv::TemplateFill fill;
    fill.lookup = [](const QString &, const QString &, int, QVariant *value) {
        *value = QStringLiteral("x");
        return true;
    };
    fill.rangeRecords = records;
    try {
        kv::fillTemplate(p, fill);
    } catch (const kv::Error &e) {
        return QString::fromUtf8(e.what());
    }
    return {};
}

QString deeplyNested(int depth)
{
    return QStringLiteral("<a>").repeated(depth) + QStringLiteral("</a>").repeated(depth);
}

}  // namespace

class TestWorkbookDamaged : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void rowNumbersBeyondTheSheetAreRefused()
    {
        // The last row (below the repeated range) numbered at the largest int.
        kv::WorkbookPackage p = withSheetEdit(QStringLiteral("<row r=\"22\""), QStringLiteral("<row r=\"2147483647\""));
        QVERIFY(fillError(p, 3).contains(QStringLiteral("за пределами листа")));
        p = withSheetEdit(QStringLiteral("<row r=\"22\""), QStringLiteral("<row r=\"1048577\""));
        QVERIFY(fillError(p, 3).contains(QStringLiteral("за пределами листа")));
        // A row on the sheet's last line cannot move down for the copies.
        p = withSheetEdit(QStringLiteral("<row r=\"22\""), QStringLiteral("<row r=\"1048576\""));
        QVERIFY(fillError(p, 3).contains(QStringLiteral("не помещается")));
        QCOMPARE(fillError(p, 1), QString());

        // More records than rows of a sheet.
        p = reportTemplate();
        QVERIFY(fillError(p, 2000000).contains(QStringLiteral("не помещается")));

        // A shared formula number no sheet has.
        p = withSheetEdit(QStringLiteral("</sheetData>"),
                          QStringLiteral("<row r=\"30\"><c r=\"A30\"><f t=\"shared\" si=\"2147483647\" ref=\"A30\">1+1</f>"
                                         "</c></row></sheetData>"));
        QVERIFY(fillError(p, 3).contains(QStringLiteral("общей формулы")));

        // A page break far below the sheet stays where it was.
        p = withSheetEdit(QStringLiteral("</worksheet>"),
                          QStringLiteral("<rowBreaks count=\"1\"><brk id=\"2147483647\" max=\"16383\"/></rowBreaks>"
                                         "</worksheet>"));
        QCOMPARE(fillError(p, 3), QString());
        QVERIFY(p.part(kSheet).contains("id=\"2147483647\""));
    }

    // Parts that would take the memory of the machine are refused by what
    // their header declares, before they are unpacked; a sheet too large for
    // a template is refused before it is parsed.
    void oversizedPartsAreRefused_data()
    {
        QTest::addColumn<QByteArray>("sheet");
        QTest::addColumn<QString>("expected");
        QTest::newRow("part beyond 64 MB") << QByteArray(kv::kMaxPartBytes + 1, ' ') << QStringLiteral("больше 64 МБ");
        QTest::newRow("packed beyond what a spreadsheet packs") << QByteArray(4 << 20, '\0') << QStringLiteral("сжата в");
        QByteArray rows = "<worksheet><sheetData>";
        for (int r = 1; r <= 70000; ++r)
            rows += "<row r=\"" + QByteArray::number(r) + "\"><c r=\"A" + QByteArray::number(r) + "\"><v>1</v></c></row>";
        rows += "</sheetData></worksheet>";
        QTest::newRow("sheet of 70,000 rows") << rows << QStringLiteral("слишком много элементов");
    }

    void oversizedPartsAreRefused()
    {
        QFETCH(QByteArray, sheet);
        QFETCH(QString, expected);
        kv::WorkbookPackage p = reportTemplate();
        p.setPart(kSheet, sheet);
        QString error;
        try {
            kv::WorkbookPackage read = kv::WorkbookPackage::fromBytes(p.toBytes(), QStringLiteral("Report.xlsx"));
            error = fillError(read, 3);
        } catch (const kv::Error &e) {
            error = e.text();
        }
        QVERIFY2(error.contains(expected), qPrintable(error));

        // The real templates are far inside every bound.
        for (const char *name : {"Report.xlsx", "GReport.xlsx"}) {
            kv::WorkbookPackage real = kv::WorkbookPackage::load(qEnvironmentVariable("KVINTOR_SOURCE_DIR") +
                                                                 QStringLiteral("/templates/") + QLatin1String(name));
            QCOMPARE(fillError(real, 3), QString());
        }
    }

    void elementsNestedWithoutEndAreRefused()
    {
        // Deep enough to exhaust the stack when the tree is written or freed.
        const QByteArray deep = deeplyNested(400000).toUtf8();
        QVERIFY_THROWS_EXCEPTION(kv::Error, kv::parseXml(deep, kSheet));
        QCOMPARE(kv::parseXml(deeplyNested(200).toUtf8(), kSheet).name, QStringLiteral("a"));

        // In a package, far deeper than the bound yet inside the size bounds.
        const QByteArray deepPart = deeplyNested(100000).toUtf8();
        kv::WorkbookPackage p = reportTemplate();
        p.setPart(kSheet, deepPart);
        QVERIFY(fillError(p, 3).contains(QStringLiteral("вложенность")));

        // The same as the workbook an export would add its sheet to.
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("target.xlsx"));
        kv::WorkbookPackage target = reportTemplate();
        target.setPart(QStringLiteral("xl/workbook.xml"), deepPart);
        target.save(path, QDateTime(QDate(2026, 12, 9), QTime(0, 0)));
        QString error;
        QVERIFY(kv::sheetNames(path, &error).isEmpty());
        QVERIFY(error.contains(QStringLiteral("вложенность")));
        kv::WorkbookTable table;
        table.sheetName = QStringLiteral("Экспорт");
        table.titles = {QStringLiteral("PIndex")};
        table.rows = {{1}};
        QVERIFY(kv::addSheet(path, table).contains(QStringLiteral("вложенность")));
    }
};

QTEST_GUILESS_MAIN(TestWorkbookDamaged)
#include "test_workbook_damaged.moc"
