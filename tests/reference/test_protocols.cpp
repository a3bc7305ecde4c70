// The protocol table's rules and the database program's single and group
// protocols of archive records, read back from the workbooks with openpyxl.

#include "../widgets/workbook_reader.h"
#include "archive_fixture.h"

#include "core/clock.h"
#include "core/settings.h"
#include "core/ui.h"
#include "protocols/protocol_table.h"
#include "protocols/text_convert.h"
#include "reference/protocol_builders.h"

#include <QDir>
#include <QJsonObject>
#include <QLocale>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTest>

using namespace basekvintor;

namespace {

// The protocol data dialog as the builders see it.
struct Header {
    kv::ProtocolData data;
    Header()
    {
        data.autoIncrement = true;
        data.protocolNumber = QStringLiteral("41");
        data.organisation = QStringLiteral("ЦСМ");
        data.verifier = QStringLiteral("Иванов");
        data.installationNumber = QStringLiteral("7");
        data.certificateNumber = QStringLiteral("123");
        data.validFrom = QStringLiteral("01.01.2003");
        data.validTo = QStringLiteral("01.01.2004");
    }
    std::function<kv::ProtocolData()> read()
    {
        return [this] { return data; };
    }
    std::function<void()> advance()
    {
        return [this] { kv::advanceProtocolNumber(data); };
    }
};

// A protocol table as the workbook shows it: rows by N with the cells A..L.
struct SheetTable {
    QJsonObject sheet;
    QList<int> rows;  // sheet rows of the table, in order

    explicit SheetTable(const QJsonObject &s) : sheet(s)
    {
        for (int r = 1; r <= 200; ++r) {
            const QString mode = kvtest::text(sheet, QStringLiteral("B%1").arg(r));
            if (mode == QStringLiteral("п") || mode == QStringLiteral("ч") || mode == QStringLiteral("с") ||
                mode == QStringLiteral("с/у"))
                rows << r;
        }
    }
    QString address(int index, QChar column) const
    {
        return QString(column) + QString::number(rows.value(index));
    }
    // A number cell as the programs show the number (decimal comma, its own digits).
    QString cell(int index, QChar column) const
    {
        const QString at = address(index, column);
        if (kvtest::type(sheet, at) == QLatin1String("n"))
            return kv::NumberToText(kvtest::text(sheet, at).toDouble(), QLatin1Char(','));
        return kvtest::text(sheet, at);
    }
    QString type(int index, QChar column) const { return kvtest::type(sheet, address(index, column)); }
    QStringList column(QChar c) const
    {
        QStringList values;
        for (int i = 0; i < rows.size(); ++i)
            values << cell(i, c);
        return values;
    }
    // The row of item N.
    int of(int n) const
    {
        for (int i = 0; i < rows.size(); ++i)
            if (cell(i, u'A') == QString::number(n))
                return i;
        return -1;
    }
    // The cell holding a text that starts so, or "".
    QString find(const QString &start) const
    {
        const QJsonObject cells = sheet.value(QStringLiteral("cells")).toObject();
        for (auto it = cells.begin(); it != cells.end(); ++it) {
            const QString v = it.value().toArray().at(0).toVariant().toString();
            if (v.startsWith(start))
                return v;
        }
        return {};
    }
    bool contains(const QString &text) const { return find(text) == text; }
};

}  // namespace

class TestProtocols : public QObject
{
    Q_OBJECT

    QTemporaryDir m_work;
    QString m_previousCwd;

private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
        kv::setDateLocaleForTests(QLocale(QLocale::Russian, QLocale::Russia));
        kv::setNowForTests(QDateTime(QDate(2003, 3, 5), QTime(9, 0)));
        m_previousCwd = QDir::currentPath();
        QDir::setCurrent(m_work.path());
    }
    void cleanupTestCase()
    {
        QDir::setCurrent(m_previousCwd);
        kv::setNowForTests({});
    }

    void tableRulesForItemsAndNumbers()
    {
        // Special tests: "1" as power factor, minutes "," seconds, results by code.
        const kv::ProtocolRow sensitivity = kv::specialTestRow(kv::SpecialTest::Sensitivity, 10, 100, 0.4, 5, 30);
        QCOMPARE(sensitivity.Mode, QStringLiteral("ч"));
        QCOMPARE(sensitivity.KM, QStringLiteral("1"));
        QCOMPARE(sensitivity.CountRotation, QStringLiteral("5,30"));
        QCOMPARE(sensitivity.I, QStringLiteral("0,4"));
        const kv::ProtocolRow register_ = kv::specialTestRow(kv::SpecialTest::Register, 12, 100, 100, 1, 5);
        QCOMPARE(register_.Mode, QStringLiteral("с/у"));
        // Seconds in two digits: 1 min 5 s is never read as 1 min 50 s.
        QCOMPARE(register_.CountRotation, QStringLiteral("1,05"));
        QCOMPARE(kv::specialTestResult(kv::SpecialTest::Register, 1), QStringLiteral("Норма"));
        QCOMPARE(kv::specialTestResult(kv::SpecialTest::Sensitivity, 1), QStringLiteral("Есть"));
        QCOMPARE(kv::specialTestResult(kv::SpecialTest::Creep, 2), QStringLiteral("Нет"));
        QCOMPARE(kv::specialTestResult(kv::SpecialTest::Creep, 0), QStringLiteral("Не проводился"));
        QCOMPARE(kv::specialTestResult(kv::SpecialTest::Creep, 7), QString());

        // Points: the load kind after the power factor, in the locale's separator.
        QCOMPARE(kv::testPointRow(3, 100, 10, 0.5, 2, 8).KM, QStringLiteral("0,5/C"));
        QCOMPARE(kv::testPointRow(3, 100, 10, 0.8, 1, 8).KM, QStringLiteral("0,8/L"));
        QCOMPARE(kv::testPointRow(1, 100, 100, 1, 0, 6).KM, QStringLiteral("1"));

        // Every text is cut to 20 characters.
        kv::ProtocolRow row;
        row.setResult(1, kv::protocolNumber(-1.23456789012345e-05));
        QCOMPARE(row.result(1), QStringLiteral("-0,00001234567890123"));
        row.setResult(7, QStringLiteral("x"));
        QCOMPARE(row.values().size(), kv::protocolTableFields().size());

        // Sorting by N puts the special tests where their numbers belong.
        kv::ProtocolTable table;
        table.append(kv::specialTestRow(kv::SpecialTest::Creep, 11, 115, 0, 10, 0));
        table.append(sensitivity);
        for (int n = 9; n >= 1; --n)
            table.append(kv::testPointRow(n, 100, 10, 1, 0, 5));
        table.sort();
        QStringList order;
        for (const kv::ProtocolRow &r : table.rows())
            order << QStringLiteral("%1%2").arg(r.N).arg(r.Mode);
        QCOMPARE(order.join(u' '), QStringLiteral("1п 2п 3п 4п 5п 6п 7п 8п 9п 10ч 11с"));

        // What a workbook cell gets: numeric texts of U, I and N1..N6 as numbers.
        QCOMPARE(kv::protocolCellValue(QStringLiteral("N2"), QStringLiteral("-0,25")), QVariant(-0.25));
        QCOMPARE(kv::protocolCellValue(QStringLiteral("U"), QStringLiteral("100")), QVariant(100.0));
        QCOMPARE(kv::protocolCellValue(QStringLiteral("i"), QStringLiteral("0.4")), QVariant(0.4));
        QCOMPARE(kv::protocolCellValue(QStringLiteral("N1"), QStringLiteral("Есть")), QVariant(QStringLiteral("Есть")));
        QCOMPARE(kv::protocolCellValue(QStringLiteral("N1"), QString()), QVariant(QString()));
        QCOMPARE(kv::protocolCellValue(QStringLiteral("N1"), QStringLiteral("1e999")), QVariant(QStringLiteral("1e999")));
        QCOMPARE(kv::protocolCellValue(QStringLiteral("KM"), QStringLiteral("1")), QVariant(QStringLiteral("1")));
        QCOMPARE(kv::protocolCellValue(QStringLiteral("CountRotation"), QStringLiteral("5,30")),
                 QVariant(QStringLiteral("5,30")));

        QStandardItemModel model;
        table.fill(&model);
        QCOMPARE(model.rowCount(), 11);
        QCOMPARE(model.headerData(6, Qt::Horizontal).toString(), QStringLiteral("N1"));
    }

    void headerTexts()
    {
        Header h;
        h.data.protocolNumber = QStringLiteral("42");
        kv::HeaderValues v{h.data, QStringLiteral("3"), {}, 2, QDate(2003, 3, 5), QDate(2003, 3, 4)};
        QCOMPARE(kv::headerValue(kv::ProtocolKind::Group, 6, v).toString(),
                 QStringLiteral("ГРУППОВОЙ  ПРОТОКОЛ  ПОВЕРКИ  № 42  ОТ  05.03.2003"));
        QCOMPARE(kv::headerValue(kv::ProtocolKind::Single, 0, v).toString(),
                 QStringLiteral("ПРОТОКОЛ  ПОВЕРКИ  № 42  ОТ  05.03.2003"));
        QCOMPARE(kv::headerValue(kv::ProtocolKind::Single, 1, v).toString(),
                 QStringLiteral("установка типа Kvintor, № 7 (свидетельство о поверке № 123 от 01.01.2003, "
                                "срок действия до 01.01.2004)."));
        QCOMPARE(kv::headerValue(kv::ProtocolKind::Group, 8, v).toString(), QStringLiteral("Стенд №3"));
        QCOMPARE(kv::headerValue(kv::ProtocolKind::Single, 5, v).toString(),
                 QStringLiteral("Результат поверки: Не годен"));
        v.data.verifier.clear();
        QCOMPARE(kv::headerValue(kv::ProtocolKind::Group, 10, v).toString(), QStringLiteral("Поверку произвел: "));
        v.verdict = 5;
        QVERIFY(!kv::headerValue(kv::ProtocolKind::Single, 5, v).isValid());
        // The verification's date ends both lists; none known, the line stays empty.
        QCOMPARE(kv::headerValue(kv::ProtocolKind::Group, 11, v).toString(), QStringLiteral("04.03.2003"));
        QCOMPARE(kv::headerValue(kv::ProtocolKind::Single, 6, v).toString(), QStringLiteral("04.03.2003"));
        v.verified = QDate();
        QVERIFY(!kv::headerValue(kv::ProtocolKind::Single, 6, v).isValid());
        QVERIFY(!kv::headerValue(kv::ProtocolKind::Group, 12, v).isValid());
        QVERIFY(!kv::headerValue(kv::ProtocolKind::Single, -1, v).isValid());
    }

    void groupProtocolOneWorkbookPerStandWithMeters()
    {
        archtest::Data d(QStringLiteral("group"));
        kvtest::TempSettings settings;
        kv::ScopedRecordingUi ui;
        Header h;
        TProtocolBuilders b(&d.dm, h.read(), h.advance());
        QList<QStringList> meterNumbers;
        QStringList stands;
        b.afterReport = [&](const QString &) {
            meterNumbers << d.dm.MeterNumbers;
            stands << d.dm.StandText;
        };
        d.dm.setCurrentMeasure(0);
        b.BuildGroupProtocol();
        QVERIFY2(ui->boxes().isEmpty(), qPrintable(ui->texts().join(u'\n')));

        // Stands 2 and 4 only, each under its own number; the number advanced twice.
        QCOMPARE(stands, (QStringList{"2", "4"}));
        QCOMPARE(b.lastProtocols().size(), 2);
        QCOMPARE(h.data.protocolNumber, QStringLiteral("43"));
        QCOMPARE(kv::settingText(kv::kProtocolDataGroup, QStringLiteral("enumProt")), QStringLiteral("43"));
        QCOMPARE(meterNumbers.at(0), (QStringList{"A21", "A22", "", "", "A25", ""}));
        QCOMPARE(meterNumbers.at(1), (QStringList{"A41", "A42", "", "", "", ""}));

        const QJsonObject book = kvtest::readWorkbook(b.lastProtocols().at(0));
        const SheetTable stand2(kvtest::sheetOf(book));
        QVERIFY(stand2.contains(QStringLiteral("ГРУППОВОЙ  ПРОТОКОЛ  ПОВЕРКИ  № 41  ОТ  05.03.2003")));
        QVERIFY(stand2.contains(QStringLiteral("Стенд №2")));
        QVERIFY(stand2.contains(QStringLiteral("Поверку произвел: Иванов")));
        QVERIFY(stand2.contains(QStringLiteral("СО-505")));  // the record's meter type

        // Items in number order whatever the order they were stored or appended in.
        QCOMPARE(stand2.column(u'A').join(u' '), QStringLiteral("1 2 3 4 5 6 7 8 9 10 11 12"));
        QCOMPARE(stand2.column(u'B').join(u' '), QStringLiteral("п п п п п п п п п ч с с/у"));
        QCOMPARE(stand2.cell(stand2.of(3), u'E'), QStringLiteral("0,5/C"));
        QCOMPARE(stand2.cell(stand2.of(1), u'E'), QStringLiteral("1"));
        QCOMPARE(stand2.cell(stand2.of(10), u'E'), QStringLiteral("1"));
        QCOMPARE(stand2.cell(stand2.of(10), u'F'), QStringLiteral("5,30"));
        QCOMPARE(stand2.cell(stand2.of(4), u'D'), QStringLiteral("40"));
        // Voltage, current and errors are number cells; the power factor and the
        // durations texts, the special tests' results too.
        for (QChar c : {u'C', u'D', u'G', u'H'})
            QCOMPARE(stand2.type(stand2.of(2), c), QStringLiteral("n"));
        for (QChar c : {u'E', u'F', u'G'})
            QCOMPARE(stand2.type(stand2.of(10), c), QStringLiteral("s"));
        // The verification's date is the record's, not the day the protocol is made.
        QVERIFY(stand2.contains(QStringLiteral("Дата поверки:")));
        QVERIFY(stand2.contains(QStringLiteral("01.03.2026")));

        // Places 1, 2 and 5 carry meters; 3, 4 and 6 stay empty, numbers included.
        const int first = stand2.rows.first();
        QCOMPARE(kvtest::text(stand2.sheet, QStringLiteral("G%1").arg(first - 1)), QStringLiteral("A21"));
        QCOMPARE(kvtest::text(stand2.sheet, QStringLiteral("K%1").arg(first - 1)), QStringLiteral("A25"));
        for (QChar c : {u'I', u'J', u'L'}) {
            QCOMPARE(kvtest::text(stand2.sheet, QStringLiteral("%1%2").arg(c).arg(first - 1)), QString());
            QCOMPARE(stand2.column(c).join(QString()), QString());
        }
        QCOMPARE(stand2.cell(stand2.of(2), u'G'), QStringLiteral("0,2"));
        QCOMPARE(stand2.cell(stand2.of(9), u'H'), QStringLiteral("-1,8"));
        QCOMPARE(stand2.cell(stand2.of(3), u'K'), QString());  // no error stored at point 3
        QCOMPARE(stand2.cell(stand2.of(4), u'K'), QStringLiteral("0,2"));
        // Special tests by each meter's code.
        QCOMPARE(stand2.cell(stand2.of(10), u'G'), QStringLiteral("Есть"));
        QCOMPARE(stand2.cell(stand2.of(10), u'H'), QStringLiteral("Нет"));
        QCOMPARE(stand2.cell(stand2.of(10), u'K'), QStringLiteral("Не проводился"));
        QCOMPARE(stand2.cell(stand2.of(11), u'H'), QStringLiteral("Есть"));
        QCOMPARE(stand2.cell(stand2.of(12), u'G'), QStringLiteral("Норма"));

        const SheetTable stand4(kvtest::sheetOf(kvtest::readWorkbook(b.lastProtocols().at(1))));
        QVERIFY(stand4.contains(QStringLiteral("ГРУППОВОЙ  ПРОТОКОЛ  ПОВЕРКИ  № 42  ОТ  05.03.2003")));
        QVERIFY(stand4.contains(QStringLiteral("Стенд №4")));
        // The long error is cut to the 20 characters shown, and the cell holds that number.
        QCOMPARE(stand4.cell(stand4.of(2), u'H'), QStringLiteral("-0,00001234567890123"));
    }

    void groupProtocolFindsResultsOfGappedNumbers()
    {
        archtest::Data d(QStringLiteral("gaps"));
        kvtest::TempSettings settings;
        kv::ScopedRecordingUi ui;
        Header h;
        h.data.autoIncrement = false;
        TProtocolBuilders b(&d.dm, h.read(), h.advance());
        d.dm.setCurrentMeasure(2);
        b.BuildGroupProtocol();
        QCOMPARE(b.lastProtocols().size(), 1);
        QCOMPARE(h.data.protocolNumber, QStringLiteral("41"));  // no auto-increment
        const SheetTable stand1(kvtest::sheetOf(kvtest::readWorkbook(b.lastProtocols().at(0))));
        QCOMPARE(stand1.column(u'A'), (QStringList{"3", "7"}));
        QCOMPARE(stand1.column(u'G'), (QStringList{"0,03", "0,07"}));
        QVERIFY(stand1.contains(QStringLiteral("Стенд №1")));
    }

    void singleProtocolOfTheSelectedMeter()
    {
        archtest::Data d(QStringLiteral("single"));
        kvtest::TempSettings settings;
        kv::ScopedRecordingUi ui;
        Header h;
        TProtocolBuilders b(&d.dm, h.read(), h.advance());
        d.dm.setCurrentMeasure(0);
        d.dm.setCurrentPosition(4);  // position 42
        b.BuildSingleProtocol();
        QVERIFY2(ui->boxes().isEmpty(), qPrintable(ui->texts().join(u'\n')));
        QCOMPARE(b.lastProtocols().size(), 1);
        QCOMPARE(d.dm.StandText, QStringLiteral("4"));
        QCOMPARE(h.data.protocolNumber, QStringLiteral("42"));

        const SheetTable sheet(kvtest::sheetOf(kvtest::readWorkbook(b.lastProtocols().at(0))));
        QVERIFY(sheet.contains(QStringLiteral("ПРОТОКОЛ  ПОВЕРКИ  № 41  ОТ  05.03.2003")));
        QVERIFY(sheet.contains(QStringLiteral("Стенд №4")));
        QVERIFY(sheet.contains(QStringLiteral("Результат поверки: Не годен")));
        QVERIFY(sheet.contains(QStringLiteral("A42")));  // the meter's number, from "ADOPosition"
        QCOMPARE(sheet.column(u'A').join(u' '), QStringLiteral("1 2 3 4 5 6 7 8 9 10 11 12"));
        QCOMPARE(sheet.cell(sheet.of(2), u'G'), QStringLiteral("-0,00001234567890123"));
        QCOMPARE(sheet.cell(sheet.of(5), u'G'), QStringLiteral("0,05"));
        QCOMPARE(sheet.cell(sheet.of(10), u'G'), QStringLiteral("Есть"));
        QCOMPARE(sheet.cell(sheet.of(11), u'G'), QStringLiteral("Нет"));
        QCOMPARE(sheet.cell(sheet.of(12), u'G'), QStringLiteral("Норма"));
        QCOMPARE(sheet.type(sheet.of(5), u'G'), QStringLiteral("n"));
        QVERIFY(sheet.contains(QStringLiteral("01.03.2026")));
    }

    void nothingToPrintDoesNothing()
    {
        kvtest::TempSettings settings;
        kv::ScopedRecordingUi ui;
        const QStringList before = QDir(QStringLiteral("Протоколы")).entryList(QDir::Files);
        {
            // No archive record at all.
            archtest::Data empty(QStringLiteral("empty"), false);
            Header h;
            TProtocolBuilders b(&empty.dm, h.read(), h.advance());
            b.BuildGroupProtocol();
            b.BuildSingleProtocol();
            QVERIFY(b.lastProtocols().isEmpty());
            QCOMPARE(h.data.protocolNumber, QStringLiteral("41"));
        }
        {
            // A record without meters.
            archtest::Data d(QStringLiteral("nometers"));
            Header h;
            TProtocolBuilders b(&d.dm, h.read(), h.advance());
            d.dm.setCurrentMeasure(1);
            QVERIFY(d.dm.ADOPosition->isEmpty());
            b.BuildSingleProtocol();
            b.BuildGroupProtocol();
            QVERIFY(b.lastProtocols().isEmpty());
            QCOMPARE(h.data.protocolNumber, QStringLiteral("41"));
        }
        QVERIFY(ui->boxes().isEmpty());
        QCOMPARE(QDir(QStringLiteral("Протоколы")).entryList(QDir::Files), before);
    }

    void engineFailureStillAdvancesAndPrintsTheNextStand()
    {
        archtest::Data d(QStringLiteral("notemplate"));
        kvtest::TempSettings settings;
        kv::ScopedRecordingUi ui;
        Header h;
        TProtocolBuilders b(&d.dm, h.read(), h.advance());
        b.xlReport.setTemplateName(QStringLiteral("NoSuchTemplate.xls"));
        d.dm.setCurrentMeasure(0);
        b.BuildGroupProtocol();
        // Each stand's failure is shown by the engine; both stands were tried.
        QCOMPARE(ui->boxes().size(), 2);
        QCOMPARE(b.lastProtocols(), (QStringList{QString(), QString()}));
        QCOMPARE(h.data.protocolNumber, QStringLiteral("43"));
    }
};

QTEST_MAIN(TestProtocols)
#include "test_protocols.moc"
