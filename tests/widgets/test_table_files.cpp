// Table files written for export and save-as, read back by independent readers
// where one exists (Debian's dbfread for dBASE) and by plain parsing otherwise.

#include "files/code_pages.h"
#include "files/dbf_writer.h"
#include "files/table_data.h"
#include "files/text_table_writers.h"
#include "support/test_env.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlQueryModel>
#include <QTemporaryDir>
#include <QTest>

namespace {

// dbfread decodes text in the code page the file's header names, as other
// programs do; a file without the mark would come back as cp437 garbage.
QJsonObject readDbf(const QString &path)
{
    const char *script = R"(
import sys, json, dbfread
t = dbfread.DBF(sys.argv[1], load=True)
print(json.dumps({"encoding": t.encoding,
                  "fields": [[f.name, f.type, f.length, f.decimal_count] for f in t.fields],
                  "records": [list(r.values()) for r in t.records]}, default=str, ensure_ascii=True))
)";
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QString::fromLatin1(script), path});
    if (!p.waitForFinished(30000) || p.exitCode() != 0) {
        qWarning() << p.readAllStandardError();
        return {};
    }
    return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
}

QSqlQuery run(QSqlDatabase db, const QString &sql)
{
    QSqlQuery q(db);
    if (!q.exec(sql))
        qWarning() << sql << q.lastError().text();
    return q;
}

kv::TableData sample()
{
    kv::TableData t;
    t.name = QStringLiteral("sample");
    t.columns = {{QStringLiteral("Тип"), kv::FieldType::Text, 20},
                 {QStringLiteral("Ошибка, %"), kv::FieldType::Float},
                 {QStringLiteral("Годен"), kv::FieldType::Boolean}};
    t.rows = {{QStringLiteral("ЭТТ-3.57 \"Энергоучёт\""), 0.25, true},
              {QStringLiteral("a,b;c\nd"), -1.5, false},
              {QVariant(), QVariant(), QVariant()}};
    return t;
}

// The \uN escapes of an RTF text back to characters.
QString rtfPlain(const QByteArray &rtf)
{
    QString s = QString::fromLatin1(rtf);
    static const QRegularExpression esc(QStringLiteral("\\\\u(-?\\d+)\\?"));
    QString out;
    qsizetype last = 0;
    auto it = esc.globalMatch(s);
    while (it.hasNext()) {
        const auto m = it.next();
        out += s.mid(last, m.capturedStart() - last);
        out += QChar(char16_t(quint16(m.captured(1).toInt())));
        last = m.capturedEnd();
    }
    return out + s.mid(last);
}

}  // namespace

class TestTableFiles : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void codePagesRoundTrip()
    {
        const QString text = QStringLiteral("АБВ абв Ёё №1 3ф. 4пр. Активная");
        for (int cp : {866, 1251}) {
            const QByteArray bytes = kv::encodeCodePage(text, cp);
            QCOMPARE(bytes.size(), text.size());
            QCOMPARE(kv::decodeCodePage(bytes, cp), text);
        }
        QCOMPARE(kv::encodeCodePage(QStringLiteral("А"), 866), QByteArray("\x80"));
        QCOMPARE(kv::encodeCodePage(QStringLiteral("А"), 1251), QByteArray("\xC0"));
        QCOMPARE(kv::encodeCodePage(QStringLiteral("€ 中"), 866), QByteArray("? ?"));
        QCOMPARE(kv::cyrillicCodePageFor(437), 866);
        QCOMPARE(kv::cyrillicCodePageFor(1252), 1251);
    }

    // The builder takes types and text widths from the schema, even through a
    // join whose columns the engine does not name by table.
    void tableFromQueryUsesSchemaTypes()
    {
        kvtest::TempDatabase tdb(QStringLiteral("q"), true);
        kvtest::execOrFail(tdb.db(), QStringLiteral("INSERT INTO TMeasure (PDate, PPointerTip, PPointerTest) VALUES "
                                                    "('2026-03-04 10:11:12', 1, 1)"));
        QSqlQuery q = run(tdb.db(), QStringLiteral("select TMeasure.PDate, TTip.PTip, TTip.PClassT, TTest.PNameTable, "
                                                   "TTest.PSensitivityCB, TTest.PSensitivityU, length(TTip.PMaker) AS n "
                                                   "from TTip, TTest, TMeasure where (TMeasure.PPointerTip = TTip.PIndex) "
                                                   "and (TMeasure.PPointerTest = TTest.PIndex)"));
        const kv::TableData t = kv::tableFromQuery(q, QStringLiteral("archive"));
        QCOMPARE(t.columns.size(), 7);
        QCOMPARE(t.columns[0].type, kv::FieldType::DateTime);
        QCOMPARE(t.columns[1].type, kv::FieldType::Text);
        QCOMPARE(t.columns[1].width, 20);
        QCOMPARE(t.columns[2].type, kv::FieldType::Float);
        QCOMPARE(t.columns[3].width, 20);
        QCOMPARE(t.columns[4].type, kv::FieldType::Boolean);
        QCOMPARE(t.columns[5].type, kv::FieldType::Integer);
        QCOMPARE(t.columns[5].width, 2);
        QCOMPARE(t.columns[6].type, kv::FieldType::Integer);  // computed: judged by its values
        QCOMPARE(t.rows.size(), 1);
        QCOMPARE(t.rows[0][0].toDateTime(), QDateTime(QDate(2026, 3, 4), QTime(10, 11, 12)));
        QCOMPARE(t.rows[0][4].metaType().id(), int(QMetaType::Bool));

        QSqlQueryModel model;
        model.setQuery(QStringLiteral("Select PTip, PMaker from TTip"), tdb.db());
        const kv::TableData m = kv::tableFromModel(model);
        QVERIFY(m.rows.size() > 5);
        QCOMPARE(m.columns[1].width, 50);
    }

    void fieldNamesCutAndUnique()
    {
        const QStringList names = kv::uniqueFieldNames(
            {QStringLiteral("PSensitivityCB"), QStringLiteral("PSensitivityT"), QStringLiteral("PSensitivityTSec"),
             QStringLiteral("psensitivi"), QStringLiteral("PTip"), QString()},
            10);
        QCOMPARE(names, QStringList({QStringLiteral("PSensitivi"), QStringLiteral("PSensitiv1"),
                                     QStringLiteral("PSensitiv2"), QStringLiteral("psensitiv3"), QStringLiteral("PTip"),
                                     QStringLiteral("F")}));
    }

    // The export of the meter types and tests grids, as another program sees it.
    void dbaseRoundTripThroughIndependentReader()
    {
        kvtest::TempDatabase tdb(QStringLiteral("d"), true);
        QTemporaryDir dir;
        QSqlQuery types = run(tdb.db(), QStringLiteral("Select PTip,PIdentificator,PMaker,PClassT,PReductRate,PUnom,"
                                                       "PInom,PPhase,PEnergy,PImax,PCenaDel  from TTip "));
        const kv::TableData t = kv::tableFromQuery(types, QStringLiteral("types"));
        const QString path = dir.filePath(QStringLiteral("types.dbf"));
        const kv::DbfResult r = kv::writeDbf(path, t);
        QVERIFY2(r.error.isEmpty(), qPrintable(r.error));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("types.dbf")});

        const QJsonObject back = readDbf(path);
        QCOMPARE(back.value(QStringLiteral("encoding")).toString(), QStringLiteral("cp1251"));
        const QJsonArray fields = back.value(QStringLiteral("fields")).toArray();
        QCOMPARE(fields.size(), 11);
        QCOMPARE(fields[0].toArray()[0].toString(), QStringLiteral("PTip"));
        QCOMPARE(fields[0].toArray()[1].toString(), QStringLiteral("C"));
        QCOMPARE(fields[0].toArray()[2].toInt(), 20);  // the schema's width, not the longest value
        QCOMPARE(fields[2].toArray()[2].toInt(), 50);
        QCOMPARE(fields[1].toArray()[0].toString(), QStringLiteral("PIdentific"));
        QCOMPARE(fields[3].toArray()[1].toString(), QStringLiteral("N"));
        QVERIFY(fields[3].toArray()[3].toInt() > 0);  // PClassT stays a real number
        QCOMPARE(fields[7].toArray()[1].toString(), QStringLiteral("N"));
        QCOMPARE(fields[7].toArray()[3].toInt(), 0);  // PPhase a whole number

        const QJsonArray records = back.value(QStringLiteral("records")).toArray();
        QCOMPARE(records.size(), t.rows.size());
        bool sawYo = false;
        for (int i = 0; i < records.size(); ++i) {
            const QJsonArray rec = records[i].toArray();
            QCOMPARE(rec[0].toString(), t.rows[i][0].toString());
            QCOMPARE(rec[2].toString(), t.rows[i][2].toString());
            QCOMPARE(rec[3].toDouble(), t.rows[i][3].toDouble());
            QCOMPARE(rec[7].toInt(), t.rows[i][7].toInt());
            sawYo = sawYo || rec[2].toString().contains(QStringLiteral("ё"));
        }
        QVERIFY(sawYo);

        // Tests: booleans as logical fields, long names cut and kept apart.
        QSqlQuery tests = run(tdb.db(), QStringLiteral("Select PNameTable,PDescription,PSensitivityCB,PSensitivityT,"
                                                       "PSensitivityTSec,PSensitivityU,PSensitivityI from TTest "));
        const kv::TableData tt = kv::tableFromQuery(tests, QStringLiteral("tests"));
        const QString testsPath = dir.filePath(QStringLiteral("tests.dbf"));
        const kv::DbfResult tr = kv::writeDbf(testsPath, tt);
        QVERIFY2(tr.error.isEmpty(), qPrintable(tr.error));
        const QJsonObject tb = readDbf(testsPath);
        const QJsonArray tf = tb.value(QStringLiteral("fields")).toArray();
        QCOMPARE(tf[2].toArray()[1].toString(), QStringLiteral("L"));
        QStringList names;
        for (const auto &f : tf)
            names << f.toArray()[0].toString();
        QCOMPARE(names.mid(2, 3), QStringList({QStringLiteral("PSensitivi"), QStringLiteral("PSensitiv1"),
                                              QStringLiteral("PSensitiv2")}));
        const QJsonArray trec = tb.value(QStringLiteral("records")).toArray();
        QCOMPARE(trec.size(), tt.rows.size());
        for (int i = 0; i < trec.size(); ++i)
            QCOMPARE(trec[i].toArray()[2].toBool(), tt.rows[i][2].toBool());

        // An existing table is never overwritten.
        QVERIFY(!kv::writeDbf(path, t).error.isEmpty());
    }

    // Every date column is a dBASE date field, as readers expect; the time of
    // day has no place there and never moves a date to another day. Nulls
    // stay empty; a table without rows still has its fields.
    void dbaseDatesNullsAndEmptyTables()
    {
        QTemporaryDir dir;
        kv::TableData t;
        t.columns = {{QStringLiteral("PDate"), kv::FieldType::DateTime},
                     {QStringLiteral("PDay"), kv::FieldType::DateTime},
                     {QStringLiteral("PNumber"), kv::FieldType::Text, 15},
                     {QStringLiteral("PMeasure"), kv::FieldType::Float}};
        t.rows = {{QDateTime(QDate(2026, 1, 2), QTime(8, 30, 5)), QDateTime(QDate(2026, 1, 2), QTime(0, 0)),
                   QStringLiteral("000123456"), 12345.6789},
                  {QVariant(), QVariant(), QVariant(), QVariant()},
                  {QDateTime(QDate(2025, 12, 31), QTime(23, 59, 59)), QVariant(), QVariant(), QVariant()}};
        const QString path = dir.filePath(QStringLiteral("dates.dbf"));
        QVERIFY(kv::writeDbf(path, t).error.isEmpty());
        const QJsonObject back = readDbf(path);
        const QJsonArray fields = back.value(QStringLiteral("fields")).toArray();
        QCOMPARE(fields[0].toArray()[1].toString(), QStringLiteral("D"));
        QCOMPARE(fields[1].toArray()[1].toString(), QStringLiteral("D"));
        const QJsonArray records = back.value(QStringLiteral("records")).toArray();
        QCOMPARE(records[0].toArray()[0].toString(), QStringLiteral("2026-01-02"));
        QCOMPARE(records[2].toArray()[0].toString(), QStringLiteral("2025-12-31"));
        QVERIFY(records[1].toArray()[0].isNull());
        QCOMPARE(records[0].toArray()[1].toString(), QStringLiteral("2026-01-02"));
        QCOMPARE(records[0].toArray()[2].toString(), QStringLiteral("000123456"));  // leading zeros kept
        QCOMPARE(records[0].toArray()[3].toDouble(), 12345.6789);
        QVERIFY(records[1].toArray()[3].isNull());

        kv::TableData empty = t;
        empty.rows.clear();
        const QString emptyPath = dir.filePath(QStringLiteral("empty.dbf"));
        QVERIFY(kv::writeDbf(emptyPath, empty).error.isEmpty());
        const QJsonObject e = readDbf(emptyPath);
        QCOMPARE(e.value(QStringLiteral("fields")).toArray().size(), 4);
        QCOMPARE(e.value(QStringLiteral("records")).toArray().size(), 0);
    }

    void extensionRule()
    {
        QCOMPARE(kv::withExtension(QStringLiteral("report"), QStringLiteral("txt")), QStringLiteral("report.txt"));
        QCOMPARE(kv::withExtension(QStringLiteral("data.csv"), QStringLiteral("txt")), QStringLiteral("data.csv.txt"));
        QCOMPARE(kv::withExtension(QStringLiteral("DATA.CSV"), QStringLiteral("csv")), QStringLiteral("DATA.CSV"));
        // Ending in the letters is not having the extension.
        QCOMPARE(kv::withExtension(QStringLiteral("datacsv"), QStringLiteral("csv")), QStringLiteral("datacsv.csv"));
    }

    // Every save-as format read back with Cyrillic, quotes and separators intact.
    void saveAsFormatsReadBack()
    {
        QTemporaryDir dir;
        const kv::TableData t = sample();
        for (auto format : {kv::TextTableFormat::Text, kv::TextTableFormat::Csv, kv::TextTableFormat::Html,
                            kv::TextTableFormat::Rtf}) {
            const QString path = dir.filePath(QStringLiteral("out.") + kv::textTableExtension(format));
            QVERIFY(kv::writeTextTable(path, t, format).isEmpty());
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QByteArray bytes = f.readAll();
            switch (format) {
            case kv::TextTableFormat::Text: {
                QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
                const QStringList lines = QString::fromUtf8(bytes.mid(3)).split(QStringLiteral("\r\n"));
                QCOMPARE(lines.size(), 5);  // title, three rows, the empty rest after the last line end
                QCOMPARE(lines[0], QStringLiteral("Тип\tОшибка, %\tГоден"));
                QCOMPARE(lines[1], QStringLiteral("ЭТТ-3.57 \"Энергоучёт\"\t0.25\t1"));
                QCOMPARE(lines[2], QStringLiteral("a,b;c d\t-1.5\t0"));
                QCOMPARE(lines[3], QStringLiteral("\t\t"));
                break;
            }
            case kv::TextTableFormat::Csv: {
                QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
                const QString text = QString::fromUtf8(bytes.mid(3));
                QVERIFY(text.startsWith(QStringLiteral("Тип,\"Ошибка, %\",Годен\r\n")));
                QVERIFY(text.contains(QStringLiteral("\"ЭТТ-3.57 \"\"Энергоучёт\"\"\",0.25,1\r\n")));
                QVERIFY(text.contains(QStringLiteral("\"a,b;c\nd\",-1.5,0\r\n")));
                QVERIFY(text.endsWith(QStringLiteral(",,\r\n")));
                break;
            }
            case kv::TextTableFormat::Html: {
                const QString text = QString::fromUtf8(bytes);
                QVERIFY(text.contains(QStringLiteral("<meta charset=\"utf-8\">")));
                QVERIFY(text.contains(QStringLiteral("<th>Тип</th>")));
                QVERIFY(text.contains(QStringLiteral("<td>ЭТТ-3.57 &quot;Энергоучёт&quot;</td>")));
                QCOMPARE(text.count(QStringLiteral("<tr>")), 4);
                break;
            }
            case kv::TextTableFormat::Rtf: {
                for (char c : bytes)
                    QVERIFY(static_cast<unsigned char>(c) < 0x80);  // plain ASCII, whatever the reader's code page
                const QString text = rtfPlain(bytes);
                QVERIFY(text.startsWith(QStringLiteral("{\\rtf1")));
                QVERIFY(text.contains(QStringLiteral("ЭТТ-3.57 \"Энергоучёт\"")));
                QVERIFY(text.contains(QStringLiteral("Ошибка, %")));
                QCOMPARE(text.count(QStringLiteral("\\row")), 4);
                QCOMPARE(bytes.count('{'), bytes.count('}'));
                break;
            }
            }
        }
        // A grid with nothing marked: a file with the titles only.
        kv::TableData none = t;
        none.rows.clear();
        const QString path = dir.filePath(QStringLiteral("none.csv"));
        QVERIFY(kv::writeTextTable(path, none, kv::TextTableFormat::Csv).isEmpty());
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(f.readAll().mid(3)), QStringLiteral("Тип,\"Ошибка, %\",Годен\r\n"));
    }

    void unwritableTargetIsReported()
    {
        const QString error = kv::writeTextTable(QStringLiteral("/nonexistent-folder/x.csv"), sample(),
                                                 kv::TextTableFormat::Csv);
        QVERIFY(error.contains(QStringLiteral("x.csv")));
        QVERIFY(!kv::writeDbf(QStringLiteral("/nonexistent-folder/x.dbf"), sample()).error.isEmpty());
    }
};

QTEST_MAIN(TestTableFiles)
#include "test_table_files.moc"
