// Every writer on a disk that runs full: the earlier file stays byte for byte,
// nothing partial is left beside it, and the operator's text names the file
// and says why. Each row first writes once with room to spare, so a writer
// that fails for another reason cannot pass.

#include "core/settings.h"
#include "core/settings_file.h"
#include "core/ui.h"
#include "core/whole_file.h"
#include "files/dbf_writer.h"
#include "files/paradox_file.h"
#include "files/sqlite_export.h"
#include "files/table_data.h"
#include "files/text_table_writers.h"
#include "files/workbook_writer.h"
#include "support/full_folder.h"
#include "support/test_env.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QFileInfo>
#include <QTest>

#include <functional>
#include <memory>

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
    // Made before any disk is full: where the file size limit stands in for
    // a full disk, it holds for every file of the process.
    std::unique_ptr<TempDatabase> m_source;

private Q_SLOTS:
    void initTestCase() { m_source = std::make_unique<TempDatabase>(QStringLiteral("export-source"), true); }
    void cleanupTestCase() { m_source.reset(); }

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
        // The engine writes the other database file itself: a new table in
        // it is all there or not at all, and the message says where.
        int tableNumber = 0;
        QTest::newRow("SQLite export: new table into an existing file")
            << QStringLiteral("export.sqlite")
            << Writer([this, tableNumber](const QString &path) mutable {
                   if (!QFileInfo::exists(path))
                       if (const QString e = kv::prepareSqliteTarget(path).error; !e.isEmpty())
                           return e;
                   return kv::exportToSqlite(m_source->db(), kv::SqliteTarget{path, false, {}, QString()},
                                             QStringLiteral("Типы%1").arg(++tableNumber),
                                             QStringLiteral("SELECT * FROM TTip, TTestPoint"));
               }) << true;
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
        QVERIFY2(error.contains(name) || error.contains(folder.path()), qPrintable(error));
        QVERIFY2(error.contains(QStringLiteral("Не удалось записать файл")) || error.contains(QStringLiteral("Нет места на диске")),
                 qPrintable(error));
        QCOMPARE(contents(before), earlier);
        QCOMPARE(folder.entries(), QStringList{QFileInfo(before).fileName()});
    }

    // The settings file reads as it always did: a file Qt's own INI writer
    // made gives the same values, and ours gives Qt's reader the same values.
    void settingsTextAsBefore()
    {
        QTemporaryDir dir;
        const QMap<QString, QString> values{
            {QStringLiteral("TFTip/Left"), QStringLiteral("12")},
            {QStringLiteral("TFTip/Grid_Columns"), QStringLiteral("120,80,64")},
            {QStringLiteral("ОТК/Поверитель"), QStringLiteral("Иванов И. И.")},
            {QStringLiteral("confUst/edo"), QStringLiteral("  spaces around  ")},
            {QStringLiteral("confUst/PPover"), QStringLiteral("ООО \"Ромашка\"; цех = 2\\3")},
            {QStringLiteral("confUst/note"), QStringLiteral("line 1\nline 2\t\x01end")},
            {QStringLiteral("confUst/at"), QStringLiteral("@Variant(not a variant)")},
            {QStringLiteral("confUst/empty"), QString()},
            {QStringLiteral("General/odd"), QStringLiteral("group named General")},
            {QStringLiteral("top"), QStringLiteral("no group")},
            {QStringLiteral("DB/emoji"), QStringLiteral("счётчик \U0001F50C")},
        };
        const QString qtFile = dir.filePath(QStringLiteral("qt.ini"));
        {
            QSettings qt(qtFile, QSettings::IniFormat);
            for (auto it = values.constBegin(); it != values.constEnd(); ++it)
                qt.setValue(it.key(), it.value());
        }
        const QString ourFile = dir.filePath(QStringLiteral("ours.ini"));
        {
            QSettings ours(ourFile, kv::settingsFileFormat());
            QSettings qt(qtFile, QSettings::IniFormat);
            QSettings fromQt(qtFile, kv::settingsFileFormat());
            for (auto it = values.constBegin(); it != values.constEnd(); ++it) {
                QCOMPARE(fromQt.value(it.key()).toString(), it.value());
                ours.setValue(it.key(), it.value());
            }
        }
        QSettings back(ourFile, QSettings::IniFormat);
        for (auto it = values.constBegin(); it != values.constEnd(); ++it)
            QCOMPARE(back.value(it.key()).toString(), it.value());
        QCOMPARE(back.allKeys().size(), values.size());
    }

    // On a full disk the settings file stays as it was and the operator reads why.
    void settingsOnAFullDisk()
    {
        FullFolder folder;
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder.path());
        kv::resetSettings();
        kv::ScopedRecordingUi ui;
        kv::setSettingText(QStringLiteral("confUst"), QStringLiteral("enumProt"), QStringLiteral("41"));
        QVERIFY(kv::saveSettings());
        const QString file = kv::settings().fileName();
        QVERIFY(file.startsWith(folder.path()));
        const QByteArray earlier = contents(file);
        QVERIFY(earlier.contains("41"));

        folder.fill();
        kv::setSettingText(QStringLiteral("confUst"), QStringLiteral("enumProt"), QStringLiteral("42"));
        const bool saved = kv::saveSettings();
        folder.release();
        QVERIFY(!saved);
        QCOMPARE(contents(file), earlier);
        QCOMPARE(ui->boxes().size(), 1);
        QVERIFY2(ui->texts().first().contains(QStringLiteral("Kvintor v2.0.ini")), qPrintable(ui->texts().first()));
        QCOMPARE(QDir(QFileInfo(file).path()).entryList(QDir::Files | QDir::Hidden), QStringList{QFileInfo(file).fileName()});
        QVERIFY(kv::saveSettings());
        QVERIFY(contents(file).contains("42"));
        kv::resetSettings();
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
