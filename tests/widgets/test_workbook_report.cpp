#include "core/ui.h"
#include "files/report.h"
#include "files/workbook_package.h"
#include "files/workbook_refs.h"
#include "files/workbook_writer.h"
#include "support/hostile_texts.h"
#include "workbook_reader.h"

#include <QDir>
#include <QFile>
#include <QStandardItemModel>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using kvtest::has;
using kvtest::readWorkbook;
using kvtest::sheetOf;
using kvtest::text;
using kvtest::type;

namespace {

// A small template: a header, the repeated row 4 (RangeTable A4:E4, with a
// merge, a formula and a conditional format), a total below and a signature.
void makeTemplate(const QString &path, bool sharedStrings)
{
    kv::WorkbookBuilder b;
    b.setSharedStrings(sharedStrings);
    const int s = b.addSheet(QStringLiteral("Лист 1"));
    kv::CellStyle bold;
    bold.bold = true;
    b.setCell(s, 1, 1, QStringLiteral("{{Head.Title}}"), bold);
    b.merge(s, 1, 1, 1, 5);
    b.setCell(s, 2, 1, QStringLiteral("Стенд: {{Head.Stand}}"));
    b.setCell(s, 2, 2, QStringLiteral("{{Head.Count}}"));
    b.setCell(s, 2, 3, QStringLiteral("{{Head.Missing}}"));
    b.setCell(s, 2, 4, QStringLiteral("{{ head . Stand }}"));
    b.setCell(s, 3, 1, QStringLiteral("N"));
    b.setCell(s, 3, 2, QStringLiteral("Value"));
    b.setCell(s, 4, 1, QStringLiteral("{{T.N}}"));
    b.setCell(s, 4, 2, QStringLiteral("{{T.Value}}"));
    b.setFormula(s, 4, 3, QStringLiteral("B4*2"));
    b.setCell(s, 4, 4, QStringLiteral("{{T.Text}} / {{T.Nope}}"));
    b.merge(s, 4, 4, 4, 5);
    b.setRowHeight(s, 4, 20);
    b.setCell(s, 6, 1, QStringLiteral("Итого"));
    b.setFormula(s, 6, 2, QStringLiteral("SUM(B4:B4)"));
    b.setRowHeight(s, 6, 30);
    b.setCell(s, 7, 1, QStringLiteral("Подпись {{Head.Signer}}"));
    b.merge(s, 7, 1, 7, 5);
    b.defineName(QStringLiteral("RangeTable"), QStringLiteral("'Лист 1'!$A$4:$E$4"));
    b.defineName(QStringLiteral("Total"), QStringLiteral("'Лист 1'!$B$6"));
    b.setPrintArea(s, 1, 1, 7, 5);
    b.setPageSetup(s, kv::PageSetup());
    kv::WorkbookPackage pkg = b.package();
    // What a spreadsheet program adds: a cached result and a conditional format.
    QByteArray sheet = pkg.part(QStringLiteral("xl/worksheets/sheet1.xml"));
    sheet.replace("<f>SUM(B4:B4)</f>", "<f>SUM(B4:B4)</f><v>99</v>");
    sheet.replace("<printOptions",
                  "<conditionalFormatting sqref=\"B4\"><cfRule type=\"cellIs\" priority=\"1\" operator=\"greaterThan\">"
                  "<formula>1</formula></cfRule></conditionalFormatting><printOptions");
    pkg.setPart(QStringLiteral("xl/worksheets/sheet1.xml"), sheet);
    pkg.save(path);
}

struct Fixture {
    kv::Report report;
    std::shared_ptr<kv::RecordSource> table;

    explicit Fixture(const QString &templatePath, int records)
        : report(templatePath)
    {
        report.addSource(std::make_shared<kv::CallbackSource>(
            QStringLiteral("Head"), QStringList{QStringLiteral("Title"), QStringLiteral("Stand"), QStringLiteral("Count"),
                                                QStringLiteral("Signer")},
            [](const QString &field) -> QVariant {
                if (field == QLatin1String("Title"))
                    return QStringLiteral("ПРОТОКОЛ  № 7");
                if (field == QLatin1String("Stand"))
                    return QStringLiteral("Стенд №3");
                if (field == QLatin1String("Count"))
                    return 12.5;
                return QStringLiteral("Иванов");
            }));
        table = std::make_shared<kv::RecordSource>(QStringLiteral("T"),
                                                   QStringList{QStringLiteral("N"), QStringLiteral("Value"), QStringLiteral("Text")});
        for (int i = 0; i < records; ++i)
            table->appendRecord({i + 1, (i + 1) * 0.5, QStringLiteral("строка %1").arg(i + 1)});
        report.addSource(table);
        report.setRangeSource(QStringLiteral("T"));
    }
};

QString partText(const QString &path, const QString &part)
{
    return QString::fromUtf8(kv::WorkbookPackage::load(path).part(part));
}

}  // namespace

class TestWorkbookReport : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString m_previousCwd;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QProcess probe;
        probe.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QStringLiteral("import openpyxl")});
        if (!probe.waitForFinished(30000) || probe.exitCode() != 0)
            QSKIP("python3-openpyxl is not installed (scripts/deps installs it)");
        m_previousCwd = QDir::currentPath();
        QDir::setCurrent(m_dir.path());
    }
    void cleanupTestCase() { QDir::setCurrent(m_previousCwd); }

    // Texts, a number cell, an unknown field, with both kinds of string storage.
    void placeholdersAreReplaced_data()
    {
        QTest::addColumn<bool>("shared");
        QTest::newRow("shared strings") << true;
        QTest::newRow("inline strings") << false;
    }
    void placeholdersAreReplaced()
    {
        QFETCH(bool, shared);
        const QString tpl = m_dir.filePath(QStringLiteral("t%1.xlsx").arg(shared));
        makeTemplate(tpl, shared);
        Fixture f(tpl, 2);
        kv::ScopedRecordingUi rec;
        const QString out = m_dir.filePath(QStringLiteral("out%1.xlsx").arg(shared));
        QVERIFY(f.report.makeReportTo(out));
        const QJsonObject s = sheetOf(readWorkbook(out));
        QCOMPARE(text(s, "A1"), QStringLiteral("ПРОТОКОЛ  № 7"));
        QCOMPARE(text(s, "A2"), QStringLiteral("Стенд: Стенд №3"));
        QCOMPARE(text(s, "D2"), QStringLiteral("Стенд №3"));  // blanks and letter case in the braces
        QCOMPARE(type(s, "B2"), QStringLiteral("n"));
        QCOMPARE(text(s, "B2").toDouble(), 12.5);
        QVERIFY(!has(s, "C2"));  // no source has it: left empty
        QCOMPARE(text(s, "A4"), QStringLiteral("1"));
        QCOMPARE(type(s, "A4"), QStringLiteral("n"));
        QCOMPARE(text(s, "D5"), QStringLiteral("строка 2 / "));
        QCOMPARE(text(s, "A8"), QStringLiteral("Подпись Иванов"));
        QVERIFY(sheetOf(readWorkbook(out)).value("cells").toObject().value("A1").toArray().at(2).toBool());  // style kept
        // One warning for the whole report, naming each unknown field once.
        QCOMPARE(rec->boxes().size(), 1);
        QCOMPARE(rec->boxes().at(0).icon, kv::Icon::Warning);
        QVERIFY(rec->boxes().at(0).text.contains(QStringLiteral("Head.Missing")));
        QVERIFY(rec->boxes().at(0).text.contains(QStringLiteral("T.Nope")));
        QCOMPARE(rec->boxes().at(0).text.count(QStringLiteral("T.Nope")), 1);
    }

    // The repeated range for 0, 1 and 20 records: what lies below moves with it.
    void rangeTableRepeats_data()
    {
        QTest::addColumn<int>("records");
        QTest::newRow("none") << 0;
        QTest::newRow("one") << 1;
        QTest::newRow("twenty") << 20;
    }
    void rangeTableRepeats()
    {
        QFETCH(int, records);
        const QString tpl = m_dir.filePath(QStringLiteral("range.xlsx"));
        makeTemplate(tpl, true);
        Fixture f(tpl, records);
        kv::ScopedRecordingUi rec;
        const QString out = m_dir.filePath(QStringLiteral("range%1.xlsx").arg(records));
        QVERIFY(f.report.makeReportTo(out));
        const QJsonObject book = readWorkbook(out);
        const QJsonObject s = sheetOf(book);
        const int delta = records - 1;
        for (int k = 0; k < records; ++k) {
            const QString row = QString::number(4 + k);
            QCOMPARE(text(s, "A" + row).toInt(), k + 1);
            QCOMPARE(text(s, "B" + row).toDouble(), (k + 1) * 0.5);
            QCOMPARE(text(s, "C" + row), "=B" + row + "*2");
            QCOMPARE(text(s, "D" + row), QStringLiteral("строка %1 / ").arg(k + 1));
            QCOMPARE(s.value("heights").toObject().value(row).toDouble(), 20.0);
        }
        const QString total = QString::number(6 + delta);
        const QString sign = QString::number(7 + delta);
        QCOMPARE(text(s, "A" + total), QStringLiteral("Итого"));
        QCOMPARE(s.value("heights").toObject().value(total).toDouble(), 30.0);
        QCOMPARE(text(s, "A" + sign), QStringLiteral("Подпись Иванов"));
        QCOMPARE(s.value("maxRow").toInt(), 7 + delta);
        QStringList merges;
        merges << QStringLiteral("A1:E1") << "A" + sign + ":E" + sign;
        for (int k = 0; k < records; ++k)
            merges << QStringLiteral("D%1:E%1").arg(4 + k);
        merges.sort();
        QStringList got;
        for (const auto &m : s.value("merges").toArray())
            got << m.toString();
        got.sort();
        QCOMPARE(got, merges);
        const QJsonObject names = book.value("names").toObject();
        QCOMPARE(names.value("Total").toString(), "'Лист 1'!$B$" + total);
        QVERIFY2(s.value("printArea").toString().endsWith("$A$1:$E$" + sign), qPrintable(s.value("printArea").toString()));
        if (records > 0) {
            QCOMPARE(text(s, "B" + total), QStringLiteral("=SUM(B4:B%1)").arg(3 + records));
            QCOMPARE(names.value("RangeTable").toString(), QStringLiteral("'Лист 1'!$A$4:$E$%1").arg(3 + records));
            QCOMPARE(s.value("cf").toArray().at(0).toString(),
                     records == 1 ? QStringLiteral("B4") : QStringLiteral("B4:B%1").arg(3 + records));
        } else {
            QCOMPARE(text(s, "B" + total), QStringLiteral("=SUM(#REF!)"));
            QVERIFY(!names.contains("RangeTable"));
            QVERIFY(s.value("cf").toArray().isEmpty());
            QVERIFY(!has(s, "A4") || text(s, "A4") == QStringLiteral("Итого"));
        }
        // Cached results are gone and the workbook recalculates when opened.
        QVERIFY(book.value("fullCalcOnLoad").toBool());
        QVERIFY(!partText(out, "xl/worksheets/sheet1.xml").contains(QStringLiteral("<v>99</v>")));
    }

    // A placeholder split over formatted runs, in a shared and an inline string.
    void placeholderSplitAcrossRuns()
    {
        const QString tpl = m_dir.filePath(QStringLiteral("runs.xlsx"));
        makeTemplate(tpl, true);
        kv::WorkbookPackage pkg = kv::WorkbookPackage::load(tpl);
        QByteArray sst = pkg.part(QStringLiteral("xl/sharedStrings.xml"));
        const QByteArray title = "<si><t xml:space=\"preserve\">{{Head.Title}}</t></si>";
        QVERIFY(sst.contains(title));
        sst.replace(title, "<si><r><t>Итог: {{He</t></r><r><rPr><b/><sz val=\"11\"/></rPr><t>ad.Ti</t></r>"
                           "<r><rPr><i/></rPr><t>tle}} конец</t></r><rPh sb=\"0\" eb=\"1\"><t>x</t></rPh></si>");
        pkg.setPart(QStringLiteral("xl/sharedStrings.xml"), sst);
        QByteArray sheet = pkg.part(QStringLiteral("xl/worksheets/sheet1.xml"));
        sheet.replace("<row r=\"3\">",
                      "<row r=\"3\"><c r=\"F3\" t=\"inlineStr\"><is><r><t>{{Head.</t></r><r><rPr><b/></rPr><t>Stand}}</t></r></is></c>");
        pkg.setPart(QStringLiteral("xl/worksheets/sheet1.xml"), sheet);
        pkg.save(tpl);

        Fixture f(tpl, 1);
        kv::ScopedRecordingUi rec;
        const QString out = m_dir.filePath(QStringLiteral("runs-out.xlsx"));
        QVERIFY(f.report.makeReportTo(out));
        const QJsonObject s = sheetOf(readWorkbook(out));
        QCOMPARE(text(s, "A1"), QStringLiteral("Итог: ПРОТОКОЛ  № 7 конец"));
        QCOMPARE(text(s, "F3"), QStringLiteral("Стенд №3"));
        // The value takes the format of the run where its placeholder began; later runs keep theirs.
        const QString xml = partText(out, "xl/worksheets/sheet1.xml");
        QVERIFY(xml.contains(QStringLiteral("<r><t xml:space=\"preserve\">Итог: ПРОТОКОЛ  № 7</t></r>")));
        QVERIFY(xml.contains(QStringLiteral("<r><rPr><i/></rPr><t xml:space=\"preserve\"> конец</t></r>")));
        QVERIFY(xml.contains(QStringLiteral("<r><t xml:space=\"preserve\">Стенд №3</t></r>")));
    }

    // Meter numbers and texts with characters XML reserves give a valid workbook.
    void xmlSpecialCharacters()
    {
        const QString tpl = m_dir.filePath(QStringLiteral("xml.xlsx"));
        makeTemplate(tpl, false);
        Fixture f(tpl, 1);
        const QString nasty = QStringLiteral("<a href=\"x\">&amp; 'q' ]]> \u0001\u0008 №5 \U0001F600</a>{{Head.Title}}");
        f.table->setRecords({{1, 2, nasty}});
        kv::ScopedRecordingUi rec;
        const QString out = m_dir.filePath(QStringLiteral("xml-out.xlsx"));
        QVERIFY(f.report.makeReportTo(out));
        const QJsonObject s = sheetOf(readWorkbook(out));
        // A value is never searched for placeholders itself.
        QCOMPARE(text(s, "D4"), QStringLiteral("<a href=\"x\">&amp; 'q' ]]>  №5 \U0001F600</a>{{Head.Title}} / "));

        kv::WorkbookTable table;
        table.sheetName = QStringLiteral("a/b:c*?[d]");
        table.titles = {QStringLiteral("<N>")};
        table.rows = {{nasty}};
        const QString written = m_dir.filePath(QStringLiteral("xml-table.xlsx"));
        QCOMPARE(kv::writeWorkbook(written, table), QString());
        const QJsonObject t = sheetOf(readWorkbook(written));
        QCOMPARE(t.value("name").toString(), QStringLiteral("a_b_c___d_"));
        QCOMPARE(text(t, "A1"), QStringLiteral("<N>"));
        QCOMPARE(text(t, "A2"), QStringLiteral("<a href=\"x\">&amp; 'q' ]]>  №5 \U0001F600</a>{{Head.Title}}"));
    }

    // Failures are shown in an error box and reach the caller only as a false result.
    void failuresAreReportedNotThrown()
    {
        kv::ScopedRecordingUi rec;
        const QString out = m_dir.filePath(QStringLiteral("fail.xlsx"));
        QFile::remove(out);

        kv::Report missing(QStringLiteral("НетТакого.xlsx"));
        QVERIFY(!missing.makeReportTo(out));
        QCOMPARE(rec->boxes().size(), 1);
        QCOMPARE(rec->boxes().at(0).icon, kv::Icon::Error);
        QVERIFY(rec->boxes().at(0).text.startsWith(QStringLiteral("Не найден шаблон протокола «НетТакого.xlsx».")));
        QCOMPARE(missing.makeReportWithoutPreview(), QString());
        QVERIFY(!QFile::exists(out));

        // Not a zip; a zip whose sheet is not XML.
        const QString garbage = m_dir.filePath(QStringLiteral("garbage.xlsx"));
        QFile g(garbage);
        QVERIFY(g.open(QIODevice::WriteOnly));
        g.write("PK\x03\x04 this is not a workbook");
        g.close();
        const QString badXml = m_dir.filePath(QStringLiteral("badxml.xlsx"));
        makeTemplate(badXml, true);
        kv::WorkbookPackage pkg = kv::WorkbookPackage::load(badXml);
        pkg.setPart(QStringLiteral("xl/worksheets/sheet1.xml"), "<worksheet><sheetData><row></sheetData>");
        pkg.save(badXml);
        for (const QString &broken : {garbage, badXml}) {
            rec->clear();
            kv::Report r(broken);
            QVERIFY(!r.makeReportTo(out));
            QCOMPARE(rec->boxes().size(), 1);
            QCOMPARE(rec->boxes().at(0).icon, kv::Icon::Error);
            QVERIFY2(rec->boxes().at(0).text.startsWith(QStringLiteral("Шаблон протокола")), qPrintable(rec->boxes().at(0).text));
            QVERIFY(!QFile::exists(out));
        }

        // An output that cannot be written leaves the earlier file as it was.
        const QString tpl = m_dir.filePath(QStringLiteral("ok.xlsx"));
        makeTemplate(tpl, true);
        Fixture f(tpl, 1);
        rec->clear();
        QVERIFY(!f.report.makeReportTo(m_dir.filePath(QStringLiteral("no/such/folder/x.xlsx"))));
        QCOMPARE(rec->boxes().size(), 2);  // the unknown fields, then the error
        QCOMPARE(rec->boxes().at(1).icon, kv::Icon::Error);
        QVERIFY(rec->boxes().at(1).text.startsWith(QStringLiteral("Не удалось записать файл")));

        // The protocols folder cannot be made (a file has its name).
        QTemporaryDir other;
        QDir::setCurrent(other.path());
        QFile blocker(QStringLiteral("Протоколы"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        rec->clear();
        QCOMPARE(f.report.makeReportWithoutPreview(), QString());
        QCOMPARE(rec->boxes().size(), 1);
        QVERIFY(rec->boxes().at(0).text.startsWith(QStringLiteral("Не удалось создать папку")));
        QDir::setCurrent(m_dir.path());
    }

    // Each protocol gets its own file; an earlier protocol is never overwritten.
    void protocolFilesNeverOverwrite()
    {
        QTemporaryDir work;
        QDir::setCurrent(work.path());
        const QString tpl = m_dir.filePath(QStringLiteral("names.xlsx"));
        makeTemplate(tpl, true);
        Fixture f(tpl, 1);
        f.report.setProtocolName({QStringLiteral("42/1"), QDate(2003, 3, 5), QStringLiteral("3")});
        kv::ScopedRecordingUi rec;
        const QString first = f.report.makeReportWithoutPreview();
        QCOMPARE(QFileInfo(first).fileName(), QStringLiteral("Протокол 42_1 от 2003-03-05 стенд 3.xlsx"));
        QCOMPARE(QFileInfo(first).absolutePath(), QDir(work.path()).absoluteFilePath(QStringLiteral("Протоколы")));
        const QByteArray before = [&] { QFile x(first); x.open(QIODevice::ReadOnly); return x.readAll(); }();
        f.table->setRecords({{9, 9, QStringLiteral("другой")}});
        const QString second = f.report.makeReportWithoutPreview();
        const QString third = f.report.makeReportWithoutPreview();
        QCOMPARE(QFileInfo(second).fileName(), QStringLiteral("Протокол 42_1 от 2003-03-05 стенд 3 (2).xlsx"));
        QCOMPARE(QFileInfo(third).fileName(), QStringLiteral("Протокол 42_1 от 2003-03-05 стенд 3 (3).xlsx"));
        const QByteArray after = [&] { QFile x(first); x.open(QIODevice::ReadOnly); return x.readAll(); }();
        QCOMPARE(after, before);
        QCOMPARE(text(sheetOf(readWorkbook(second)), "A4"), QStringLiteral("9"));
        QDir::setCurrent(m_dir.path());
    }

    // The protocol number and the stand are typed by the operator: each is
    // kept in the file name as typed (characters a file name cannot hold
    // become "_"), also in the numbered name of a second protocol.
    void protocolNamesKeepTypedTexts_data()
    {
        QTest::addColumn<QString>("typed");
        for (const QString &t : kvtest::hostileTexts())
            QTest::newRow(qPrintable(t)) << t;
    }
    void protocolNamesKeepTypedTexts()
    {
        QFETCH(QString, typed);
        QTemporaryDir folder;
        QString kept = typed;
        for (QChar bad : QStringLiteral("\\/:*?\"<>|"))
            kept.replace(bad, QLatin1Char('_'));
        const QString base = QStringLiteral("Протокол ") + kept + QStringLiteral(" от 2003-03-05 стенд ") + kept;
        const kv::ProtocolName name{typed, QDate(2003, 3, 5), typed};
        const QString first = kv::Report::protocolFilePath(folder.path(), name);
        QCOMPARE(QFileInfo(first).fileName(), base + QStringLiteral(".xlsx"));
        QFile made(first);
        QVERIFY(made.open(QIODevice::WriteOnly));
        made.close();
        const QString second = kv::Report::protocolFilePath(folder.path(), name);
        QCOMPARE(QFileInfo(second).fileName(), base + QStringLiteral(" (2).xlsx"));
        QCOMPARE(QFileInfo(second).absolutePath(), QFileInfo(first).absolutePath());
    }

    // A model whose header titles name the fields, and the index-based callbacks.
    void modelAndCallbackSources()
    {
        QStandardItemModel model(3, 2);
        model.setHorizontalHeaderLabels({QStringLiteral("PTip"), QStringLiteral("PClassT")});
        for (int r = 0; r < 3; ++r) {
            model.setItem(r, 0, new QStandardItem(QStringLiteral("СО-%1").arg(r)));
            auto *cls = new QStandardItem;
            cls->setData(0.5 + r, Qt::DisplayRole);
            model.setItem(r, 1, cls);
        }
        int current = 2;
        kv::ModelSource tip(QStringLiteral("ADOTip"), &model, [&] { return current; });
        QCOMPARE(tip.fields(), (QStringList{QStringLiteral("PTip"), QStringLiteral("PClassT")}));
        QCOMPARE(tip.fieldIndex(QStringLiteral("pclasst")), 1);
        QCOMPARE(tip.value(tip.currentRecord(), 0).toString(), QStringLiteral("СО-2"));
        QCOMPARE(tip.value(7, 0), QVariant());

        int infoCalls = 0;
        kv::CallbackSource number(
            QStringLiteral("x"),
            [&](kv::CallbackSource::DataInfo &info) {
                ++infoCalls;
                info.name = QStringLiteral("TNumber");
                info.recordCount = 1;
                info.fields = {QStringLiteral("Nz1"), QStringLiteral("Nz2"), QStringLiteral("NumProt")};
            },
            [](int index) { return index == 2 ? QVariant(QStringLiteral("№ 5")) : QVariant(); });
        number.prepare();
        QCOMPARE(number.name(), QStringLiteral("TNumber"));
        QCOMPARE(infoCalls, 1);
        QCOMPARE(number.value(0, number.fieldIndex(QStringLiteral("NumProt"))).toString(), QStringLiteral("№ 5"));
        QCOMPARE(number.value(0, 0), QVariant());
        QCOMPARE(number.value(0, 9), QVariant());

        // A source of the same name rebinds in its place.
        kv::Report report;
        report.addSource(std::make_shared<kv::RecordSource>(QStringLiteral("A"), QStringList{}));
        report.addSource(std::make_shared<kv::ModelSource>(QStringLiteral("ADOTip"), &model));
        report.addSource(std::make_shared<kv::RecordSource>(QStringLiteral("RxMD"), QStringList{}));
        QStandardItemModel other(1, 1);
        report.addSource(std::make_shared<kv::ModelSource>(QStringLiteral("adotip"), &other));
        QCOMPARE(report.sources().size(), size_t(3));
        QCOMPARE(report.sources().at(1)->recordCount(), 1);
    }

    // New workbooks from a table, and a sheet added to an existing one.
    void tableWriterAndAddedSheets()
    {
        kv::WorkbookTable t;
        t.sheetName = QStringLiteral("Типы");
        t.titles = {QStringLiteral("Тип"), QStringLiteral("Класс"), QStringLiteral("Дата"), QStringLiteral("Есть"),
                    QStringLiteral("Пусто")};
        t.rows = {{QStringLiteral("СО-505"), 1.0, QDate(2003, 3, 5), true, QVariant()},
                  {QStringLiteral("  пробелы  "), -0.25, QDateTime(QDate(2024, 1, 2), QTime(3, 4, 5)), false, 7}};
        t.columnWidths = {25};
        const QString path = m_dir.filePath(QStringLiteral("table.xlsx"));
        QCOMPARE(kv::writeWorkbook(path, t), QString());
        QJsonObject s = sheetOf(readWorkbook(path));
        QCOMPARE(s.value("name").toString(), QStringLiteral("Типы"));
        QCOMPARE(text(s, "A1"), QStringLiteral("Тип"));
        QVERIFY(s.value("cells").toObject().value("A1").toArray().at(2).toBool());
        QCOMPARE(text(s, "A3"), QStringLiteral("  пробелы  "));
        QCOMPARE(type(s, "B2"), QStringLiteral("n"));
        QCOMPARE(text(s, "B3").toDouble(), -0.25);
        QCOMPARE(text(s, "C2"), QStringLiteral("2003-03-05T00:00:00"));
        QCOMPARE(text(s, "C3"), QStringLiteral("2024-01-02T03:04:05"));
        QCOMPARE(type(s, "D2"), QStringLiteral("b"));
        QVERIFY(!has(s, "E2"));
        QCOMPARE(s.value("widths").toObject().value("A").toDouble(), 25.0);

        // Add to our own workbook, then to one openpyxl made.
        kv::WorkbookTable second;
        second.sheetName = QStringLiteral("Тесты");
        second.titles = {QStringLiteral("N")};
        second.rows = {{1}, {2}};
        QCOMPARE(kv::addSheet(path, second), QString());
        QCOMPARE(kv::sheetNames(path), (QStringList{QStringLiteral("Типы"), QStringLiteral("Тесты")}));
        QCOMPARE(text(sheetOf(readWorkbook(path), 1), "A3"), QStringLiteral("2"));
        QCOMPARE(text(sheetOf(readWorkbook(path), 0), "A2"), QStringLiteral("СО-505"));
        second.sheetName = QStringLiteral("ТЕСТЫ");
        QVERIFY(kv::addSheet(path, second).contains(QStringLiteral("уже есть")));

        const QString foreign = m_dir.filePath(QStringLiteral("foreign.xlsx"));
        QProcess py;
        py.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral("-c"), QStringLiteral("import openpyxl,sys\nwb=openpyxl.Workbook()\nws=wb.active\nws.title='Data'\n"
                                                       "ws['A1']='keep'\nws['A1'].font=openpyxl.styles.Font(italic=True)\nwb.save(sys.argv[1])"),
                  foreign});
        QVERIFY(py.waitForFinished(30000) && py.exitCode() == 0);
        second.sheetName = QStringLiteral("Добавлен");
        QCOMPARE(kv::addSheet(foreign, second), QString());
        const QJsonObject book = readWorkbook(foreign);
        QCOMPARE(kv::sheetNames(foreign), (QStringList{QStringLiteral("Data"), QStringLiteral("Добавлен")}));
        QCOMPARE(text(sheetOf(book, 0), "A1"), QStringLiteral("keep"));
        QCOMPARE(text(sheetOf(book, 1), "A1"), QStringLiteral("N"));
        QVERIFY(sheetOf(book, 1).value("cells").toObject().value("A1").toArray().at(2).toBool());

        // A grid's model: its titles, chosen rows and columns, typed values.
        QStandardItemModel model(3, 3);
        model.setHorizontalHeaderLabels({QStringLiteral("PTip"), QStringLiteral("PClassT"), QStringLiteral("Скрыт")});
        for (int r = 0; r < 3; ++r) {
            model.setItem(r, 0, new QStandardItem(QStringLiteral("Т%1").arg(r)));
            auto *cls = new QStandardItem;
            cls->setData(0.5 * (r + 1), Qt::EditRole);
            model.setItem(r, 1, cls);
        }
        const kv::WorkbookTable marked = kv::tableFromModel(model, QStringLiteral("Отмеченные"), {2, 0}, {0, 1});
        QCOMPARE(marked.titles, (QStringList{QStringLiteral("PTip"), QStringLiteral("PClassT")}));
        QCOMPARE(kv::addSheet(path, marked), QString());
        const QJsonObject m = sheetOf(readWorkbook(path), 2);
        QCOMPARE(text(m, "A2"), QStringLiteral("Т2"));
        QCOMPARE(text(m, "A3"), QStringLiteral("Т0"));
        QCOMPARE(type(m, "B2"), QStringLiteral("n"));
        QVERIFY(!has(m, "C1"));

        // A new file when none exists; an unreadable one is an error, not a crash.
        const QString fresh = m_dir.filePath(QStringLiteral("fresh.xlsx"));
        QCOMPARE(kv::addSheet(fresh, second), QString());
        QCOMPARE(kv::sheetNames(fresh), QStringList{QStringLiteral("Добавлен")});
        QString error;
        QVERIFY(kv::sheetNames(m_dir.filePath(QStringLiteral("nothing.xlsx")), &error).isEmpty());
        QVERIFY(!error.isEmpty());
        QVERIFY(!kv::writeWorkbook(m_dir.filePath(QStringLiteral("no/dir/x.xlsx")), t).isEmpty());
    }

    // A template as another program writes it: a two-row repeated range with a
    // merge down both rows, a second sheet referring to the moved rows.
    void templateFromAnotherProgram()
    {
        const QString tpl = m_dir.filePath(QStringLiteral("foreign-template.xlsx"));
        QProcess py;
        py.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QStringLiteral(R"(
import sys, openpyxl
from openpyxl.workbook.defined_name import DefinedName
from openpyxl.formatting.rule import CellIsRule
from openpyxl.styles import PatternFill
wb = openpyxl.Workbook()
ws = wb.active
ws.title = 'Протокол'
ws['A1'] = '{{Head.Title}}'
ws['A5'] = '{{T.N}}'
ws['B5'] = '{{T.Value}}'
ws['B6'] = 'Примечание: {{T.Text}}'
ws.merge_cells('A5:A6')
ws.row_dimensions[6].height = 25
ws['A8'] = 'Конец'
ws['B8'] = '=COUNT(B5:B6)'
ws.conditional_formatting.add('B5:B6', CellIsRule(operator='greaterThan', formula=['1'], fill=PatternFill('solid', fgColor='FFD7D7')))
wb.defined_names.append(DefinedName('RangeTable', attr_text="'Протокол'!$A$5:$C$6"))
ws.print_area = 'A1:C8'
other = wb.create_sheet('Сводка')
other['A1'] = "='Протокол'!B8"
wb.save(sys.argv[1])
)"), tpl});
        QVERIFY(py.waitForFinished(30000) && py.exitCode() == 0);
        Fixture f(tpl, 3);
        kv::ScopedRecordingUi rec;
        const QString out = m_dir.filePath(QStringLiteral("foreign-filled.xlsx"));
        QVERIFY(f.report.makeReportTo(out));
        QVERIFY(rec->boxes().isEmpty());
        const QJsonObject book = readWorkbook(out);
        const QJsonObject s = sheetOf(book);
        for (int k = 0; k < 3; ++k) {
            QCOMPARE(text(s, QStringLiteral("A%1").arg(5 + 2 * k)).toInt(), k + 1);
            QCOMPARE(text(s, QStringLiteral("B%1").arg(6 + 2 * k)), QStringLiteral("Примечание: строка %1").arg(k + 1));
            QCOMPARE(s.value("heights").toObject().value(QString::number(6 + 2 * k)).toDouble(), 25.0);
        }
        QCOMPARE(text(s, "A12"), QStringLiteral("Конец"));
        QCOMPARE(text(s, "B12"), QStringLiteral("=COUNT(B5:B10)"));
        QStringList merges;
        for (const auto &m : s.value("merges").toArray())
            merges << m.toString();
        merges.sort();
        QCOMPARE(merges, (QStringList{"A5:A6", "A7:A8", "A9:A10"}));
        QCOMPARE(s.value("cf").toArray().at(0).toString(), QStringLiteral("B5:B10"));
        QVERIFY(s.value("printArea").toString().endsWith(QStringLiteral("$A$1:$C$12")));
        QCOMPARE(book.value("names").toObject().value("RangeTable").toString(), QStringLiteral("'Протокол'!$A$5:$C$10"));
        QCOMPARE(text(sheetOf(book, 1), "A1"), QStringLiteral("='Протокол'!B12"));
    }

    // References move only where they point at moved rows of the filled sheet.
    void formulaReferencesShift()
    {
        auto down = [](int row, kv::RefPart) { return row >= 5 ? row + 10 : row; };
        QCOMPARE(kv::shiftFormulaRows(QStringLiteral("SUM(A1:B7)+C5*$D$6-LOG10(E5)"), QStringLiteral("S"), true, down),
                 QStringLiteral("SUM(A1:B17)+C15*$D$16-LOG10(E15)"));
        QCOMPARE(kv::shiftFormulaRows(QStringLiteral("Other!A5+'Лист 1'!A5+\"A5\"+S!$5:$6"), QStringLiteral("Лист 1"), false, down),
                 QStringLiteral("Other!A5+'Лист 1'!A15+\"A5\"+S!$5:$6"));
        QCOMPARE(kv::shiftFormulaRows(QStringLiteral("A5"), QStringLiteral("S"), true, [](int, kv::RefPart) { return 0; }),
                 QStringLiteral("#REF!"));
    }

    // The two protocol templates of the repository fill as a lab expects.
    void protocolTemplates()
    {
        for (const QString &name : {QStringLiteral("GReport.xlsx"), QStringLiteral("Report.xls")}) {
            const bool group = name.startsWith(u'G');
            kv::Report report(name);
            QVERIFY2(!kv::Report::findTemplate(name).isEmpty(), qPrintable(name));
            QStringList headerFields = group ? QStringList{"Nz1", "Nz2", "Nz3", "Nz4", "Nz5", "Nz6", "NumProt", "NumUst", "Stend", "PPover", "MakerPov", "DatePov"}
                                             : QStringList{"NumProt", "NumUst", "Stend", "PPover", "MakerPov", "Result", "DatePov"};
            report.addSource(std::make_shared<kv::CallbackSource>(
                QStringLiteral("TNumber"), headerFields, [](const QString &f) -> QVariant {
                    if (f == QLatin1String("NumProt"))
                        return QStringLiteral("ГРУППОВОЙ  ПРОТОКОЛ  ПОВЕРКИ  № 42  ОТ  05.03.2003");
                    if (f == QLatin1String("Nz3"))
                        return QString();
                    return QStringLiteral("<%1>").arg(f);
                }));
            report.addSource(std::make_shared<kv::RecordSource>(
                QStringLiteral("ADOTip"),
                QStringList{"PTip", "PIdentificator", "PMaker", "PClassT", "PUnom", "PInom", "PImax", "PReductRate"},
                QList<QVariantList>{{"СО-И449", "01", "Завод & Ко", 2.0, 220.0, 5.0, 50.0, 1600.0}}));
            report.addSource(std::make_shared<kv::RecordSource>(
                QStringLiteral("ADOPosition"), QStringList{"PPosition", "PNumber"}, QList<QVariantList>{{42, "123456"}}));
            auto rx = std::make_shared<kv::RecordSource>(
                QStringLiteral("RxMD"), QStringList{"N", "Mode", "U", "I", "KM", "CountRotation", "N1", "N2", "N3", "N4", "N5", "N6"});
            for (int i = 1; i <= 25; ++i)
                rx->appendRecord({QString::number(i), "п", "100", "10", "0.5/L", "5", "0.12", "-0.3", "", "1", "2", "3"});
            report.addSource(rx);
            report.setRangeSource(QStringLiteral("RxMD"));
            kv::ScopedRecordingUi rec;
            const QString out = m_dir.filePath(QStringLiteral("protocol-%1.xlsx").arg(group));
            QVERIFY(report.makeReportTo(out));
            QVERIFY2(rec->boxes().isEmpty(), qPrintable(rec->texts().join(u'\n')));
            const QJsonObject s = sheetOf(readWorkbook(out));
            QCOMPARE(text(s, "A1"), QStringLiteral("ГРУППОВОЙ  ПРОТОКОЛ  ПОВЕРКИ  № 42  ОТ  05.03.2003"));
            QCOMPARE(text(s, "A4"), QStringLiteral("<Stend>"));
            QCOMPARE(s.value("orientation").toString(), QStringLiteral("portrait"));
            QCOMPARE(s.value("paperSize").toInt(), 9);
            // The table: 25 rows with the point columns and results.
            int first = 0;
            for (int r = 1; r < 60 && !first; ++r)
                if (text(s, QStringLiteral("B%1").arg(r)) == QStringLiteral("п"))
                    first = r;
            QVERIFY(first > 0);
            for (int i = 0; i < 25; ++i)
                QCOMPARE(text(s, QStringLiteral("A%1").arg(first + i)), QString::number(i + 1));
            QCOMPARE(text(s, QStringLiteral("B%1").arg(first + 25)), QString());
            QCOMPARE(text(s, QStringLiteral("G%1").arg(first)), QStringLiteral("0.12"));
            if (group) {
                QCOMPARE(text(s, QStringLiteral("H%1").arg(first)), QStringLiteral("-0.3"));
                QCOMPARE(text(s, QStringLiteral("G%1").arg(first - 1)), QStringLiteral("<Nz1>"));
                QVERIFY(!has(s, QStringLiteral("I%1").arg(first - 1)));
            }
            bool signature = false, maker = false, typeShown = false;
            for (const QString &key : s.value("cells").toObject().keys()) {
                signature |= text(s, key) == QStringLiteral("(подпись)");
                maker |= text(s, key) == QStringLiteral("<MakerPov>");
                typeShown |= text(s, key) == QStringLiteral("СО-И449");
            }
            QVERIFY(signature && maker && typeShown);
        }
        // A lab's own copy in the working folder comes first.
        QTemporaryDir lab;
        QDir::setCurrent(lab.path());
        makeTemplate(QDir(lab.path()).filePath(QStringLiteral("GReport.xlsx")), true);
        QCOMPARE(kv::Report::findTemplate(QStringLiteral("GReport.xlsx")), QDir(lab.path()).filePath(QStringLiteral("GReport.xlsx")));
        QDir::setCurrent(m_dir.path());
    }

    // Where installed, LibreOffice opens a generated protocol.
    void opensInLibreOffice()
    {
        const QString office = QStandardPaths::findExecutable(QStringLiteral("libreoffice"));
        if (office.isEmpty())
            QSKIP("libreoffice is not installed");
        const QString tpl = m_dir.filePath(QStringLiteral("lo.xlsx"));
        makeTemplate(tpl, true);
        Fixture f(tpl, 3);
        kv::ScopedRecordingUi rec;
        const QString out = m_dir.filePath(QStringLiteral("lo-out.xlsx"));
        QVERIFY(f.report.makeReportTo(out));
        QProcess lo;
        lo.setWorkingDirectory(m_dir.path());
        lo.start(office, {QStringLiteral("--headless"), QStringLiteral("-env:UserInstallation=file://") + m_dir.filePath("lo-profile"),
                          QStringLiteral("--convert-to"), QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76,1"),
                          QStringLiteral("--outdir"), m_dir.path(), out});
        QVERIFY(lo.waitForFinished(120000));
        QFile csv(m_dir.filePath(QStringLiteral("lo-out.csv")));
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QString content = QString::fromUtf8(csv.readAll());
        QVERIFY(content.contains(QStringLiteral("ПРОТОКОЛ  № 7")));
        QVERIFY(content.contains(QStringLiteral("строка 3")));
    }
};

QTEST_MAIN(TestWorkbookReport)
#include "test_workbook_report.moc"
