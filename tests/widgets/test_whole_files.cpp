// Every writer on a disk that runs full: the earlier file stays byte for byte,
// nothing partial is left beside it, and the operator's text names the file
// and says why. Each row first writes once with room to spare, so a writer
// that fails for another reason cannot pass.

#include "support/full_folder.h"
#include "widgets/dbf_writer.h"
#include "widgets/paradox_file.h"
#include "widgets/table_data.h"
#include "widgets/text_table_writers.h"
#include "widgets/whole_file.h"
#include "widgets/workbook_writer.h"

#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <functional>

using namespace kvtest;

namespace {

using Writer = std::function<QString(const QString &path)>;

kv::TableData table()
{
    kv::TableData t;
    t.name = QStringLiteral("sample");
    t.columns = {{QStringLiteral("Номер"), kv::FieldType::Text, 15}, {QStringLiteral("Ошибка"), kv::FieldType::Float}};
    for (int r = 0; r < 40; ++r)
        t.rows << kv::TableRow{QStringLiteral("A%1").arg(r), r * 0.25};
    return t;
}

kv::WorkbookTable sheet(const QString &name)
{
    kv::WorkbookTable w;
    w.sheetName = name;
    w.titles = {QStringLiteral("Номер"), QStringLiteral("Ошибка")};
    for (int r = 0; r < 40; ++r)
        w.rows << QVariantList{QStringLiteral("A%1").arg(r), r * 0.25};
    return w;
}

Writer textWriter(kv::TextTableFormat format)
{
    return [format](const QString &path) { return kv::writeTextTable(path, table(), format); };
}

QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

}  // namespace

Q_DECLARE_METATYPE(Writer)

class TestWholeFiles : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void fullDiskKeepsEarlierFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<Writer>("write");
        QTest::addColumn<bool>("replaces");  // false: the writer refuses an existing file
        // A second sheet added to an existing workbook rewrites the file: the
        // case that turned a two-sheet workbook into an empty file.
        int sheetNumber = 0;
        QTest::newRow("workbook: new sheet into an existing book")
            << QStringLiteral("book.xlsx")
            << Writer([sheetNumber](const QString &path) mutable {
                   return kv::addSheet(path, sheet(QStringLiteral("Лист%1").arg(++sheetNumber)));
               }) << true;
        QTest::newRow("workbook: saved over an earlier one")
            << QStringLiteral("saved.xlsx") << Writer([](const QString &path) { return kv::writeWorkbook(path, sheet(QStringLiteral("Архив"))); }) << true;
        QTest::newRow("whole-file bytes (protocols)")
            << QStringLiteral("Протокол 7.xlsx") << Writer([](const QString &path) { return kv::writeWholeFile(path, QByteArray(900, 'p')); }) << true;
        QTest::newRow("text table: csv") << QStringLiteral("t.csv") << textWriter(kv::TextTableFormat::Csv) << true;
        QTest::newRow("text table: html") << QStringLiteral("t.html") << textWriter(kv::TextTableFormat::Html) << true;
        QTest::newRow("text table: rtf") << QStringLiteral("t.rtf") << textWriter(kv::TextTableFormat::Rtf) << true;
        QTest::newRow("text table: txt") << QStringLiteral("t.txt") << textWriter(kv::TextTableFormat::Text) << true;
        QTest::newRow("dBASE") << QStringLiteral("t.dbf") << Writer([](const QString &path) { return kv::writeDbf(path, table()).error; }) << false;
        QTest::newRow("Paradox") << QStringLiteral("t.db") << Writer([](const QString &path) { return kv::writeParadox(path, table()).error; }) << false;
    }

    void fullDiskKeepsEarlierFile()
    {
        QFETCH(QString, name);
        QFETCH(Writer, write);
        QFETCH(bool, replaces);
        FullFolder folder;
        const QString path = folder.filePath(name);
        const QString before = replaces ? path : folder.filePath(QStringLiteral("earlier-") + name);
        QCOMPARE(write(before), QString());
        const QByteArray earlier = contents(before);
        QVERIFY(!earlier.isEmpty());

        folder.fill();
        const QString error = write(path);
        folder.release();
        QVERIFY2(error.contains(name), qPrintable(error));
        QVERIFY2(error.contains(QStringLiteral("Не удалось записать файл")), qPrintable(error));
        QCOMPARE(contents(before), earlier);
        QCOMPARE(folder.entries(), QStringList{QFileInfo(before).fileName()});
    }

    // A new file (a protocol into a full folder) is not left behind empty.
    void fullDiskLeavesNoNewFile()
    {
        FullFolder folder;
        folder.fill();
        const QString path = folder.filePath(QStringLiteral("Протокол 7 (2).xlsx"));
        const QString error = kv::writeWorkbook(path, sheet(QStringLiteral("Протокол")));
        folder.release();
        QVERIFY(!error.isEmpty());
        QCOMPARE(folder.entries(), QStringList());
    }
};

QTEST_MAIN(TestWholeFiles)
#include "test_whole_files.moc"
