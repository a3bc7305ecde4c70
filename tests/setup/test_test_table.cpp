#include "setup_fixture.h"

#include "core/ui.h"
#include "setup/test_table.h"

using kvintor::FillRegulationTable;
using kvintor::FillVerificationTable;
using setuptest::Special;

namespace {

// One column of the running test in row order.
QVariantList column(kvintor::TDM &dm, const char *field)
{
    QVariantList values;
    for (int r = 0; r < dm.ADOTestBuf->count(); ++r)
        values << dm.ADOTestBuf->valueAt(r, QLatin1String(field));
    return values;
}

QVariantList ints(std::initializer_list<int> list)
{
    QVariantList v;
    for (int i : list)
        v << qlonglong(i);
    return v;
}

QVariantList texts(std::initializer_list<const char *> list)
{
    QVariantList v;
    for (const char *t : list)
        v << QString::fromUtf8(t);
    return v;
}

}  // namespace

class TestTestTable : public QObject
{
    Q_OBJECT

    static void choose(setuptest::Fixture &f, qlonglong test)
    {
        QCOMPARE(f.dm->openConnection(), QString());
        QCOMPARE(f.dm->ADOTest1->refresh(), QString());
        QVERIFY(f.dm->ADOTest1->locate(QStringLiteral("PIndex"), test));
    }

private Q_SLOTS:
    void sensitivityTakesItsPlaceAmongThePoints()
    {
        setuptest::Fixture f;
        kv::ScopedRecordingUi ui;
        choose(f, setuptest::addTest(f.db.db(), QStringLiteral("T1"), {5, 1, 4, 2}, Special{true, 3, 100, 0.4, 10, 30}));
        const kvintor::TestTableFill fill = FillVerificationTable(*f.dm, 1);
        QVERIFY(fill.ok && fill.selectPointVisible);
        QCOMPARE(fill.rows, 5);
        QVERIFY(ui->boxes().isEmpty());
        QCOMPARE(column(*f.dm, "PNumPoint1"), ints({1, 2, 3, 4, 5}));
        QCOMPARE(column(*f.dm, "PNumPointBuf"), ints({1, 2, 3, 4, 5}));
        QCOMPARE(column(*f.dm, "PMode"), texts({"п", "п", "ч", "п", "п"}));
        // Results indexes of the error points in point order; the special row has none.
        QCOMPARE(column(*f.dm, "PNumPoint"), ints({1, 2, 0, 3, 4}));
        QCOMPARE(f.dm->ADOTestBuf->recNo(), 0);

        kvintor::TestBufGridModel grid(f.dm->ADOTestBuf);
        QCOMPARE(grid.columnCount(), 14);
        QCOMPARE(grid.headerData(12, Qt::Horizontal).toString(), QStringLiteral("Допуск,% (время, сек)"));
        const auto cell = [&](int row, const char *field) {
            for (int c = 0; c < grid.columnCount(); ++c)
                if (kvintor::TestBufGridModel::fieldOf(c) == QLatin1String(field))
                    return grid.data(grid.index(row, c)).toString();
            return QStringLiteral("?");
        };
        QCOMPARE(cell(2, "PCountRotation"), QStringLiteral("10"));
        QCOMPARE(cell(2, "PMeasureMax"), QStringLiteral("30"));
        QCOMPARE(cell(2, "PPersentI"), QStringLiteral("0.4"));
        QCOMPARE(cell(2, "PPhaseIC"), QStringLiteral("+"));
        QCOMPARE(cell(2, "PKM"), QStringLiteral("1"));
        QCOMPARE(cell(0, "PLC"), QStringLiteral("L"));
        QCOMPARE(cell(0, "PKM"), QStringLiteral("0.5"));
        QCOMPARE(cell(0, "PMeasureMax"), QStringLiteral("1.5"));

        // Automatic protocol entry: the run always starts at the first row.
        QVERIFY(!FillVerificationTable(*f.dm, 0).selectPointVisible);
    }

    void pointNumbersBecomeASequence()
    {
        setuptest::Fixture f;
        choose(f, setuptest::addTest(f.db.db(), QStringLiteral("T2"), {30, 10, 20}));
        for (bool verification : {true, false}) {
            const kvintor::TestTableFill fill =
                verification ? FillVerificationTable(*f.dm, 1) : FillRegulationTable(*f.dm);
            QVERIFY(fill.ok && fill.selectPointVisible);
            QCOMPARE(column(*f.dm, "PNumPoint1"), ints({1, 2, 3}));
            QCOMPARE(column(*f.dm, "PNumPointBuf"), ints({10, 20, 30}));
            QCOMPARE(column(*f.dm, "PPersentI"), (QVariantList{100.0, 200.0, 300.0}));
            // Regulation keeps the test's own PNumPoint.
            QCOMPARE(column(*f.dm, "PNumPoint"), verification ? ints({1, 2, 3}) : ints({110, 120, 130}));
        }
        // The database holds exactly what the dataset shows.
        QCOMPARE(kvtest::scalar(f.db.db(), QStringLiteral("SELECT count(*) FROM TTestBuf")).toInt(), 3);
        QCOMPARE(kvtest::scalar(f.db.db(), QStringLiteral("SELECT PNumPointBuf FROM TTestBuf WHERE PNumPoint1 = 3"))
                     .toInt(), 30);
    }

    void specialTestsOnlyInVerification()
    {
        setuptest::Fixture f;
        const Special sens{true, 7, 100, 0.4, 10, 0}, creep{true, 3, 115, 0, 27, 15}, reg{true, 5, 100, 100, 5, 0};
        choose(f, setuptest::addTest(f.db.db(), QStringLiteral("T3"), {1, 2}, sens, creep, reg));
        QVERIFY(FillRegulationTable(*f.dm).ok);
        QCOMPARE(column(*f.dm, "PMode"), texts({"п", "п"}));

        // No points at all, three special tests: three rows in their point order.
        choose(f, setuptest::addTest(f.db.db(), QStringLiteral("T4"), {}, sens, creep, reg));
        QCOMPARE(FillVerificationTable(*f.dm, 1).rows, 3);
        QCOMPARE(column(*f.dm, "PNumPoint1"), ints({1, 2, 3}));
        QCOMPARE(column(*f.dm, "PMode"), texts({"с", "с/у", "ч"}));
        QCOMPARE(column(*f.dm, "PNumPoint"), ints({0, 0, 0}));
        QCOMPARE(column(*f.dm, "PPersentU"), ints({115, 100, 100}));
        QCOMPARE(column(*f.dm, "PCountRotation"), ints({27, 5, 10}));
        // Nothing to run at all.
        choose(f, setuptest::addTest(f.db.db(), QStringLiteral("T5"), {}));
        QCOMPARE(FillVerificationTable(*f.dm, 1).rows, 0);
    }

    void aFailedStatementWritesNothing()
    {
        setuptest::Fixture f;
        kv::ScopedRecordingUi ui;
        choose(f, setuptest::addTest(f.db.db(), QStringLiteral("T6"), {1, 2, 3}));
        QVERIFY(FillRegulationTable(*f.dm).ok);
        // The sensitivity row cannot be written: by then the points are in.
        kvtest::execOrFail(f.db.db(), QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON TTestBuf WHEN NEW.PMode = "
                                                     "'ч' BEGIN SELECT RAISE(ABORT, 'refused'); END"));
        choose(f, setuptest::addTest(f.db.db(), QStringLiteral("T7"), {1, 2, 3, 4, 5}, Special{true, 9, 100, 0.4, 10, 0}));
        const kvintor::TestTableFill fill = FillVerificationTable(*f.dm, 1);
        QVERIFY(!fill.ok);
        QCOMPARE(ui->boxes().size(), 1);
        QCOMPARE(ui->boxes().at(0).caption, QStringLiteral("Ошибка"));
        QCOMPARE(ui->boxes().at(0).text, QStringLiteral("Ошибка запроса к базе данных !!!"));
        QCOMPARE(ui->boxes().at(0).icon, kv::Icon::Error);
        // The previous running test is still whole, in the file and in the dataset.
        QCOMPARE(fill.rows, 3);
        QCOMPARE(kvtest::scalar(f.db.db(), QStringLiteral("SELECT count(*) FROM TTestBuf")).toInt(), 3);
        QCOMPARE(column(*f.dm, "PNumPoint"), ints({101, 102, 103}));

        // A statement the engine rejects outright.
        ui->clear();
        kvtest::execOrFail(f.db.db(), QStringLiteral("ALTER TABLE TTestPoint RENAME TO TTestPointGone"));
        QVERIFY(!FillRegulationTable(*f.dm).ok);
        QCOMPARE(ui->texts(), QStringList{QStringLiteral("Ошибка запроса к базе данных !!!")});
        QCOMPARE(kvtest::scalar(f.db.db(), QStringLiteral("SELECT count(*) FROM TTestBuf")).toInt(), 3);
    }
};

QTEST_MAIN(TestTestTable)
#include "test_test_table.moc"
