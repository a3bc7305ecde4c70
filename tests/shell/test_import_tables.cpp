// Import of test and meter type tables: what lands in the database from each
// layout, what a failure leaves (nothing), and how bad files end.

#include "import_fixture.h"

#include "core/ui.h"
#include "reference/data_module.h"
#include "reference/record_rules.h"
#include "shell/import_tables.h"
#include "support/test_env.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSqlQuery>
#include <QSqlRecord>

using namespace basekvintor;
using namespace importtest;
using kvtest::scalar;

Q_DECLARE_METATYPE(importtest::Point)

namespace {

// Records what an import reports and can give up at a chosen point.
class RecordingProgress : public ImportProgress
{
public:
    bool step(ImportStage stage, qint64 done, qint64 total) override
    {
        steps << Step{stage, done, total};
        if (stopAt && stage == stopStage && done >= stopAt)
            return false;
        return true;
    }
    struct Step {
        ImportStage stage;
        qint64 done, total;
    };
    QList<Step> steps;
    ImportStage stopStage = ImportStage::Transfer;
    qint64 stopAt = 0;

    int count(ImportStage stage) const
    {
        return int(std::count_if(steps.begin(), steps.end(), [stage](const Step &s) { return s.stage == stage; }));
    }
};

struct Counts {
    int tips, tests, points;
    bool operator==(const Counts &o) const { return tips == o.tips && tests == o.tests && points == o.points; }
};

}  // namespace

class TestImportTables : public QObject
{
    Q_OBJECT

    std::unique_ptr<kvtest::TempDatabase> m_db;
    std::unique_ptr<TDM> m_dm;
    QTemporaryDir m_files;
    int m_fileNumber = 0;

    QSqlDatabase db() { return m_db->db(); }
    int count(const QString &sql) { return scalar(db(), sql).toInt(); }
    Counts counts()
    {
        return {count(QStringLiteral("SELECT count(*) FROM TTip")), count(QStringLiteral("SELECT count(*) FROM TTest")),
                count(QStringLiteral("SELECT count(*) FROM TTestPoint"))};
    }
    QSqlRecord row(const QString &sql)
    {
        QSqlQuery q(db());
        if (!q.exec(sql) || !q.next())
            return {};
        return q.record();
    }

    // The boxes an import showed, as "caption|text|icon".
    static QStringList boxes(kv::ScopedRecordingUi &ui)
    {
        QStringList out;
        for (const auto &b : ui->boxes())
            out << QStringLiteral("%1|%2|%3").arg(b.caption, b.text).arg(int(b.icon));
        return out;
    }
    static QString errorBox(const QString &text) { return QStringLiteral("Ошибка |%1|%2").arg(text).arg(int(kv::Icon::Error)); }

private Q_SLOTS:
    void initTestCase() { QVERIFY2(!kv::paradoxReaderPath().isEmpty(), "kvintor-pxread is not built"); }

    void init()
    {
        m_db = std::make_unique<kvtest::TempDatabase>(QStringLiteral("import"), true);
        m_dm = std::make_unique<TDM>();
        m_dm->useConnection(QStringLiteral("import"));
        QCOMPARE(m_dm->openDataSets(), QString());
    }
    void cleanup()
    {
        m_dm.reset();
        m_db.reset();
    }

    // The same file twice gives two tests of the file's name, each with its
    // points numbered from 1 in source order, converted as the layout says.
    void testTableTwice()
    {
        kv::ScopedRecordingUi ui;
        const QString path = write(m_files, QStringLiteral("Поверка 1ф.db"), testTable(samplePoints()), 866);
        const Counts before = counts();
        TableImport import(m_dm.get());
        const ImportOutcome first = import.importTest(path);
        QVERIFY2(first.ok(), qPrintable(first.reason));
        const ImportOutcome second = import.importTest(path);
        QVERIFY2(second.ok(), qPrintable(second.reason));
        QVERIFY(ui->boxes().isEmpty());
        QCOMPARE(first.stored, 3);
        QVERIFY(second.testKey > first.testKey);
        QCOMPARE(counts(), (Counts{before.tips, before.tests + 2, before.points + 6}));

        for (qint64 key : {first.testKey, second.testKey}) {
            const QSqlRecord test = row(QStringLiteral("SELECT * FROM TTest WHERE PIndex=%1").arg(key));
            QCOMPARE(test.value("PNameTable").toString(), QStringLiteral("Поверка 1ф"));
            QCOMPARE(test.value("PDescription").toString(), QString());
            QCOMPARE(test.value("PSensitivityCB").toInt(), 0);
            QSqlQuery q(db());
            QVERIFY(q.exec(QStringLiteral("SELECT PNumPoint1, PNumPoint, PPersentU, PPhaseUA, PPhaseUB, PPhaseUC, "
                                          "PPersentI, PPhaseIA, PPhaseIB, PPhaseIC, PKM, PLC, PCountRotation, "
                                          "PMeasureMax FROM TTestPoint WHERE PSecIndex=%1 ORDER BY PNumPoint1")
                               .arg(key)));
            QStringList got;
            while (q.next()) {
                QStringList cells;
                for (int c = 0; c < 14; ++c)
                    cells << q.value(c).toString();
                got << cells.join(QLatin1Char(' '));
            }
            // 101 → A and C; 111 → all; 1x1 → A and C; 0.5/C → 0.5 and C;
            // 1 → 1 and none; 0.5 → 0.5, then L by the point rule.
            QCOMPARE(got, (QStringList{QStringLiteral("1 1 100 1 0 1 5 1 1 1 0.5 2 10 1.5"),
                                       QStringLiteral("2 2 100 1 1 1 100 1 0 1 1 0 20 1"),
                                       QStringLiteral("3 3 80 1 0 1 50 0 1 0 0.5 1 5 2.5")}));
        }
        // The second test is current, with its points in the detail set.
        QCOMPARE(m_dm->currentTestKey(), second.testKey);
        QCOMPARE(m_dm->ADOTestPoint->rowCount(), 3);
        QVERIFY(m_dm->ADOTest->rowOfKey(second.testKey) >= 0);
    }

    // Types: Cyrillic in either code page, both layouts read alike, a stored
    // type and identifier pair (in other letter case) skipped with its values kept.
    void tipTables_data()
    {
        QTest::addColumn<bool>("withCounter");
        QTest::addColumn<int>("codePage");
        QTest::newRow("thirteen columns, cp866") << true << 866;
        QTest::newRow("twelve columns, cp1251") << false << 1251;
    }
    void tipTables()
    {
        QFETCH(bool, withCounter);
        QFETCH(int, codePage);
        kv::ScopedRecordingUi ui;
        Tip stored = sampleTip(QStringLiteral("СА4-И678"), QStringLiteral("ип-1"));
        stored.maker = QStringLiteral("Старый завод");
        stored.imax = 10;
        TableImport import(m_dm.get());
        QVERIFY(import.transferTip(tipTable({stored}), 1).ok());
        const Counts before = counts();

        Tip single = sampleTip(QStringLiteral("СО-505"), QStringLiteral("А1"));
        single.phase = QStringLiteral("1ф. 2пр.");
        single.energy = QStringLiteral("Реактивная");
        single.unit = QStringLiteral("Вт(Вар)*сек/оборот");
        Tip again = sampleTip(QStringLiteral("са4-и678"), QStringLiteral("ИП-1"));
        again.maker = QStringLiteral("Новый завод");
        const QString path = write(m_files, QStringLiteral("types%1.db").arg(codePage),
                                   tipTable({sampleTip(QStringLiteral("ЦЭ6803В"), QStringLiteral("Э-1")), again, single},
                                            withCounter),
                                   codePage);
        const ImportOutcome out = import.importTip(path);
        QVERIFY2(out.ok(), qPrintable(out.reason));
        QVERIFY(ui->boxes().isEmpty());
        QCOMPARE(out.stored, 2);
        QCOMPARE(out.skipped, 1);
        // The operator is told which stored type was skipped, named as in the file.
        QCOMPARE(importedTipsText(out),
                 QStringLiteral("Типов добавлено: 2, пропущено (уже есть в базе): 1: са4-и678 (ИП-1)."));
        QCOMPARE(counts(), (Counts{before.tips + 2, before.tests, before.points}));

        const QSqlRecord three = row(QStringLiteral("SELECT * FROM TTip WHERE PTip='ЦЭ6803В'"));
        QCOMPARE(three.value("PIdentificator").toString(), QStringLiteral("Э-1"));
        QCOMPARE(three.value("PMaker").toString(), QStringLiteral("Завод \"Энергомера\""));
        QCOMPARE(three.value("PPhase").toInt(), 3);
        QCOMPARE(three.value("PEnergy").toInt(), 1);
        QCOMPARE(three.value("PIdentReductRate").toInt(), 1);
        QCOMPARE(three.value("PClassT").toDouble(), 1.0);
        QCOMPARE(three.value("PUnom").toDouble(), 220.0);
        QCOMPARE(three.value("PInom").toDouble(), 5.0);
        QCOMPARE(three.value("PReductRate").toDouble(), 1600.0);
        QCOMPARE(three.value("PCenaDel").toDouble(), 0.1);
        QCOMPARE(three.value("PImax").toDouble(), 60.0);
        const QSqlRecord one = row(QStringLiteral("SELECT * FROM TTip WHERE PTip='СО-505'"));
        QCOMPARE(one.value("PPhase").toInt(), 1);
        QCOMPARE(one.value("PEnergy").toInt(), 2);
        QCOMPARE(one.value("PIdentReductRate").toInt(), 3);
        const QSqlRecord kept = row(QStringLiteral("SELECT * FROM TTip WHERE PTip='СА4-И678'"));
        QCOMPARE(kept.value("PMaker").toString(), QStringLiteral("Старый завод"));
        QCOMPARE(kept.value("PImax").toDouble(), 10.0);
        // The types data set shows them at once.
        QCOMPARE(m_dm->ADOTip->rowCount(), before.tips + 2);
    }

    // A row the rules refuse stops the transfer with their message, then the
    // transfer's own; the rows before it are not kept either.
    void refusedTypeRowStoresNothing()
    {
        kv::ScopedRecordingUi ui;
        Tip bad = sampleTip(QStringLiteral("СО-2"), QStringLiteral("2"));
        bad.phase = QStringLiteral("3 фазы");
        const QString path = write(m_files, QStringLiteral("badphase.db"),
                                   tipTable({sampleTip(QStringLiteral("СО-1"), QStringLiteral("1")), bad,
                                             sampleTip(QStringLiteral("СО-3"), QStringLiteral("3"))}));
        const Counts before = counts();
        const ImportOutcome out = TableImport(m_dm.get()).importTip(path);
        QCOMPARE(out.status, ImportOutcome::TransferFailed);
        // The rule's text, then the row of the file it is about.
        QCOMPARE(out.refusedRow, 2);
        QCOMPARE(boxes(ui), (QStringList{QStringLiteral("%1|%2|%3").arg(kProgramTitle, kFillAllFields + importRowText(2)).arg(int(kv::Icon::Information)),
                                         errorBox(kImportTransferFailed)}));
        QCOMPARE(counts(), before);
        QCOMPARE(m_dm->ADOTip->rowCount(), before.tips);
    }

    // Whatever stops a test transfer, no test and no point remain.
    void failedTestTransferStoresNothing_data()
    {
        QTest::addColumn<Point>("bad");
        QTest::addColumn<QString>("ruleText");
        QTest::newRow("phases text too short") << Point{qint64(100), QStringLiteral("11"), qint64(5), QStringLiteral("111"), QStringLiteral("1"), qint64(1), 1.0} << QString();
        QTest::newRow("empty current") << Point{qint64(100), QStringLiteral("111"), QVariant(), QStringLiteral("111"), QStringLiteral("1"), qint64(1), 1.0} << QString();
        QTest::newRow("empty limit") << Point{qint64(100), QStringLiteral("111"), qint64(5), QStringLiteral("111"), QStringLiteral("1"), qint64(1), QVariant()} << QString();
        QTest::newRow("power factor beyond 32 bits") << Point{qint64(100), QStringLiteral("111"), qint64(5), QStringLiteral("111"), QStringLiteral("99999999999/L"), qint64(1), 1.0} << QString();
        QTest::newRow("phases of current missing") << Point{qint64(100), QStringLiteral("111"), qint64(5), QVariant(), QStringLiteral("1"), qint64(1), 1.0} << QString();
    }
    void failedTestTransferStoresNothing()
    {
        QFETCH(Point, bad);
        kv::ScopedRecordingUi ui;
        QList<Point> points = samplePoints();
        points.insert(2, bad);
        const QString path = write(m_files, QStringLiteral("bad%1.db").arg(++m_fileNumber), testTable(points));
        const Counts before = counts();
        const qint64 current = m_dm->currentTestKey();
        const ImportOutcome out = TableImport(m_dm.get()).importTest(path);
        QCOMPARE(out.status, ImportOutcome::TransferFailed);
        QVERIFY(!out.reason.isEmpty());
        QCOMPARE(boxes(ui), QStringList{errorBox(kImportTransferFailed)});
        QCOMPARE(counts(), before);
        QCOMPARE(m_dm->currentTestKey(), current);
    }

    // A test name longer than its field is refused by the field check, with
    // its message first.
    void longFileName()
    {
        kv::ScopedRecordingUi ui;
        const QString path = write(m_files, QStringLiteral("Поверка трехфазных счетчиков.db"), testTable(samplePoints()));
        const Counts before = counts();
        QCOMPARE(TableImport(m_dm.get()).importTest(path).status, ImportOutcome::TransferFailed);
        QCOMPARE(ui->texts().size(), 2);
        QVERIFY(ui->texts().first().startsWith(QStringLiteral("Текст поля \"Тест\" длиннее")));
        QCOMPARE(ui->texts().last(), kImportTransferFailed);
        QCOMPARE(counts(), before);
    }

    // Wrong layouts are refused before anything is written.
    void wrongLayouts()
    {
        kv::ScopedRecordingUi ui;
        const Counts before = counts();
        TableImport import(m_dm.get());

        TableData nine = testTable(samplePoints());
        nine.columns << TableColumn{QStringLiteral("Лишний"), FieldType::Text, 5};
        for (TableRow &r : nine.rows)
            r << QStringLiteral("x");
        TableData floatColumn = testTable(samplePoints());
        floatColumn.columns[1].type = FieldType::Float;
        TableData longColumn = testTable(samplePoints());
        longColumn.columns[6].width = 4;
        longColumn.rows[0][6] = qint64(70000);  // no longer fits a short field
        TableData counterMissing = tipTable({sampleTip(QStringLiteral("А"), QStringLiteral("1"))});
        counterMissing.columns[0].autoIncrement = false;

        const struct {
            const char *name;
            TableData table;
            bool tests;
            QString message;
        } cases[] = {
            {"nine.db", nine, true, kImportNotTestTable},
            {"float.db", floatColumn, true, kImportNotTestTable},
            {"long.db", longColumn, true, kImportNotTestTable},
            {"types-as-test.db", tipTable({sampleTip(QStringLiteral("А"), QStringLiteral("1"))}), true, kImportNotTestTable},
            {"test-as-types.db", testTable(samplePoints()), false, kImportNotTipTable},
            {"counter-missing.db", counterMissing, false, kImportNotTipTable},
        };
        for (const auto &c : cases) {
            ui->clear();
            const QString path = write(m_files, QLatin1String(c.name), c.table);
            const ImportOutcome out = c.tests ? import.importTest(path) : import.importTip(path);
            QCOMPARE(out.status, ImportOutcome::WrongLayout);
            QCOMPARE(boxes(ui), QStringList{errorBox(c.message)});
            QCOMPARE(counts(), before);
        }

        // The layout checks on their own.
        kv::ParadoxTable t;
        using PT = kv::ParadoxType;
        t.types = {PT::AutoInc, PT::Short, PT::Alpha, PT::Short, PT::Alpha, PT::Alpha, PT::Short, PT::Number};
        QVERIFY(isTestTable(t));
        t.types[7] = PT::Currency;
        QVERIFY(!isTestTable(t));
        t.types = {PT::Alpha, PT::Alpha, PT::Alpha, PT::Number, PT::Number, PT::Number,
                   PT::Alpha, PT::Alpha, PT::Alpha, PT::Number, PT::Number, PT::Number};
        QCOMPARE(tipTableOffset(t), 0);
        t.types.prepend(PT::AutoInc);
        QCOMPARE(tipTableOffset(t), 1);
        t.types[0] = PT::Long;
        QCOMPARE(tipTableOffset(t), -1);
        t.types.removeFirst();
        t.types[5] = PT::Short;
        QCOMPARE(tipTableOffset(t), -1);
    }

    // Files that are not readable tables give the opening message and change nothing.
    void unreadableFiles()
    {
        kv::ScopedRecordingUi ui;
        const QString valid = write(m_files, QStringLiteral("valid.db"), testTable(samplePoints()));
        const QByteArray good = fileBytes(valid);
        const struct {
            const char *name;
            QByteArray bytes;
        } cases[] = {
            {"empty.db", QByteArray()},
            {"text.db", QByteArray("U;I;cos\n100;5;0.5L\n")},
            {"noise.db", QByteArray(4096, '\x5A')},
            {"cut-header.db", good.left(80)},
            {"cut-data.db", good.left(good.size() - 1024)},
        };
        const Counts before = counts();
        TableImport import(m_dm.get());
        import.setReadLimitMs(3000);
        for (const auto &c : cases) {
            const QString path = m_files.filePath(QLatin1String(c.name));
            writeBytes(path, c.bytes);
            for (bool tests : {true, false}) {
                ui->clear();
                const ImportOutcome out = tests ? import.importTest(path) : import.importTip(path);
                QCOMPARE(out.status, ImportOutcome::CannotOpen);
                QCOMPARE(boxes(ui), QStringList{errorBox(kImportCannotOpen)});
            }
        }
        ui->clear();
        QCOMPARE(import.importTest(m_files.filePath(QStringLiteral("missing.db"))).status, ImportOutcome::CannotOpen);
        QCOMPARE(ui->texts(), QStringList{kImportCannotOpen});
        QCOMPARE(counts(), before);
    }

    // A reader that hangs is stopped at the limit; meanwhile the caller keeps
    // hearing from the import, so its window stays alive.
    void hangingReader()
    {
        kv::ScopedRecordingUi ui;
        QTemporaryDir dir;
        ScopedEnv env("KVINTOR_PXREAD", fakeReader(dir, "exec sleep 60").toLocal8Bit());
        const QString path = write(m_files, QStringLiteral("hang.db"), testTable(samplePoints()));
        RecordingProgress progress;
        TableImport import(m_dm.get());
        import.setProgress(&progress);
        import.setReadLimitMs(800);
        const Counts before = counts();
        QElapsedTimer clock;
        clock.start();
        const ImportOutcome out = import.importTest(path);
        const qint64 took = clock.elapsed();
        QCOMPARE(out.status, ImportOutcome::CannotOpen);
        QCOMPARE(ui->texts(), QStringList{kImportCannotOpen});
        QVERIFY2(took >= 800 && took < 4000, qPrintable(QString::number(took)));
        // Called every few tens of milliseconds while nothing arrived.
        QVERIFY2(progress.count(ImportStage::Reading) >= 10, qPrintable(QString::number(progress.count(ImportStage::Reading))));
        QCOMPARE(counts(), before);
    }

    // Pending edits in the target data set are written first, as moving on
    // from a record would; a refused one stops the import before it starts.
    void pendingEditsFirst()
    {
        kv::ScopedRecordingUi ui;
        TDataSet *tips = m_dm->ADOTip;
        const QString path = write(m_files, QStringLiteral("pending.db"),
                                   tipTable({sampleTip(QStringLiteral("НОВЫЙ"), QStringLiteral("1"))}));
        const int row = 0;
        const QString oldMaker = tips->data(tips->index(row, tips->fieldIndex(QStringLiteral("PMaker")))).toString();
        QVERIFY(tips->setData(tips->index(row, tips->fieldIndex(QStringLiteral("PMaker"))), QString()));
        const Counts before = counts();
        TableImport import(m_dm.get());
        QCOMPARE(import.importTip(path).status, ImportOutcome::TransferFailed);
        QCOMPARE(ui->texts(), (QStringList{kFillAllFields, kImportTransferFailed}));
        QCOMPARE(counts(), before);
        QVERIFY(tips->isDirty());  // still as typed

        ui->clear();
        QVERIFY(tips->setData(tips->index(row, tips->fieldIndex(QStringLiteral("PMaker"))), oldMaker + QStringLiteral("-2")));
        const qint64 key = tips->keyAt(row);
        QVERIFY(import.importTip(path).ok());
        QVERIFY(ui->boxes().isEmpty());
        QCOMPARE(scalar(db(), QStringLiteral("SELECT PMaker FROM TTip WHERE PIndex=%1").arg(key)).toString(),
                 oldMaker + QStringLiteral("-2"));
        QCOMPARE(counts().tips, before.tips + 1);
    }

    // 100,000 points: the reading and the transfer both report as they go,
    // and giving up during the transfer keeps nothing. (The whole import of
    // such tables is timed by bench/import.)
    void hugeTableGivenUp()
    {
        kv::ScopedRecordingUi ui;
        QList<Point> many;
        const QList<Point> sample = samplePoints();
        for (int i = 0; i < 100000; ++i)
            many << sample.at(i % 3);
        const QString path = write(m_files, QStringLiteral("huge.db"), testTable(many));
        const Counts before = counts();

        RecordingProgress progress;
        progress.stopAt = 2000;
        TableImport import(m_dm.get());
        import.setProgress(&progress);
        QCOMPARE(import.importTest(path).status, ImportOutcome::Cancelled);
        QVERIFY(ui->boxes().isEmpty());
        QCOMPARE(counts(), before);

        QVERIFY(progress.count(ImportStage::Reading) > 0);
        QVERIFY(progress.count(ImportStage::Transfer) >= 10);
        qint64 last = -1;
        ImportStage stage = ImportStage::Reading;
        for (const auto &s : progress.steps) {
            if (s.stage != stage) {
                QCOMPARE(s.stage, ImportStage::Transfer);  // reading first, then the transfer
                stage = s.stage;
                last = -1;
            }
            QVERIFY(s.done >= last);
            QVERIFY(s.total == 0 || s.total == 100000);
            last = s.done;
        }
        QCOMPARE(progress.steps.last().done, 2000);
    }

    // A few hundred damaged copies of a valid test table: each one ends within
    // the limit with a message or an import, and an import is always whole.
    void mutatedCopiesEnd()
    {
        kv::ScopedRecordingUi ui;
        QList<Point> points;
        for (int i = 0; i < 40; ++i)
            points << samplePoints().at(i % 3);
        const QString valid = write(m_files, QStringLiteral("mutation-source.db"), testTable(points));
        const QByteArray good = fileBytes(valid);
        QVERIFY(good.size() > 2048);

        QRandomGenerator rng(20261209);
        const int limitMs = 2000;
        TableImport import(m_dm.get());
        import.setReadLimitMs(limitMs);
        int imported = 0, refused = 0;
        QElapsedTimer total;
        total.start();
        for (int i = 0; i < 300; ++i) {
            QByteArray bytes = good;
            const int kind = i % 4;
            if (kind == 3) {
                bytes.truncate(int(rng.bounded(bytes.size())));
            } else {
                // Most damage goes into the header and field descriptions.
                const int span = kind == 0 ? std::min<int>(0x200, int(bytes.size())) : int(bytes.size());
                const int flips = 1 + int(rng.bounded(6));
                for (int f = 0; f < flips; ++f)
                    bytes[int(rng.bounded(span))] = char(rng.bounded(256));
            }
            const QString path = m_files.filePath(QStringLiteral("m%1.db").arg(i));
            writeBytes(path, bytes);
            ui->clear();
            const Counts before = counts();
            QElapsedTimer clock;
            clock.start();
            const ImportOutcome out = import.importTest(path);
            QVERIFY2(clock.elapsed() < limitMs + 3000, qPrintable(path));
            if (out.ok()) {
                ++imported;
                QVERIFY(ui->boxes().isEmpty());
                QCOMPARE(count(QStringLiteral("SELECT count(*) FROM TTestPoint WHERE PSecIndex=%1").arg(out.testKey)),
                         out.stored);
                QCOMPARE(counts(), (Counts{before.tips, before.tests + 1, before.points + out.stored}));
            } else {
                ++refused;
                QVERIFY2(!ui->boxes().isEmpty(), qPrintable(path));
                QCOMPARE(ui->boxes().last().caption, kImportCaption);
                QCOMPARE(ui->boxes().last().icon, kv::Icon::Error);
                QCOMPARE(counts(), before);
            }
            QFile::remove(path);
        }
        qInfo("mutations: %d imported, %d refused, %lld ms", imported, refused, total.elapsed());
        QCOMPARE(imported + refused, 300);
        QVERIFY(refused > 0);
    }
};

QTEST_MAIN(TestImportTables)
#include "test_import_tables.moc"
