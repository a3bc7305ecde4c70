// The record actions, orders and deletions of the meter types and tests
// windows, driven without their widgets.

#include "core/ui.h"
#include "reference/record_rules.h"
#include "reference/tests_editor.h"
#include "reference/types_editor.h"
#include "reference_fixture.h"

using namespace basekvintor;
using reftest::Data;

class TestReferenceEditors : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void typeOrderAndTitleCycle()
    {
        Data d(QStringLiteral("order"));
        TypesEditor types(&d.dm);
        types.FormCreate();
        QCOMPARE(types.order(), QStringLiteral("PTip ASC"));
        QCOMPARE(d.column(d.dm.ADOTip, QStringLiteral("PTip")),
                 (QStringList{QStringLiteral("Альфа"), QStringLiteral("Меркурий 230"), QStringLiteral("СО-505")}));
        QVERIFY(types.orderBy(QStringLiteral("PIdentificator"), kv::SortMark::Descending));
        QCOMPARE(types.order(), QStringLiteral("PIdentificator DESC"));
        QCOMPARE(d.column(d.dm.ADOTip, QStringLiteral("PIdentificator")),
                 (QStringList{QStringLiteral("И1"), QStringLiteral("ART-01"), QStringLiteral("A1800")}));

        // An edited type that its rule refuses keeps the order where it was.
        kv::ScopedRecordingUi rec;
        Data::set(d.dm.ADOTip, 0, QStringLiteral("PMaker"), QString());
        QVERIFY(!types.orderBy(QStringLiteral("PTip"), kv::SortMark::Ascending));
        QCOMPARE(types.order(), QStringLiteral("PIdentificator DESC"));
        QCOMPARE(rec->texts(), QStringList{kFillAllFields});
        QVERIFY(d.dm.ADOTip->isDirty());
    }

    // The label follows the unit list of the record being edited; nothing is written.
    void unitLabelFollowsTheEditedRecord()
    {
        QCOMPARE(unitLabelText(QVariant(), QStringLiteral("x")), QStringLiteral("(имп/кВт(кВар)*час)"));
        QCOMPARE(unitLabelText(7, QStringLiteral("(Вт(Вар)*сек/имп)")), QStringLiteral("(Вт(Вар)*сек/имп)"));

        Data d(QStringLiteral("unit"));
        TypesEditor types(&d.dm);
        types.FormCreate();
        QStringList shown;
        connect(&types, &TypesEditor::unitLabelChanged, [&](const QString &t) { shown << t; });
        QCOMPARE(types.unitLabel(), QStringLiteral("(имп/кВт(кВар)*час)"));
        types.cursor().moveTo(1);  // "Меркурий 230", unit 2
        QCOMPARE(types.unitLabel(), QStringLiteral("(кВт(кВар)*час/имп)"));
        types.cursor().moveTo(0);
        Data::set(d.dm.ADOTip, 0, QStringLiteral("PIdentReductRate"), 3);
        QCOMPARE(types.unitLabel(), QStringLiteral("(Вт(Вар)*сек/имп)"));
        QCOMPARE(d.scalar(QStringLiteral("SELECT PIdentReductRate FROM TTip WHERE PTip = 'Альфа'")).toInt(), 1);
        types.cursor().cancel();
        QCOMPARE(types.unitLabel(), QStringLiteral("(имп/кВт(кВар)*час)"));
        QCOMPARE(shown.size(), 4);
    }

    // Moving off an edited record writes it; a refusal keeps it current and
    // in edit. A new record is found again after its write; one left as it
    // was made is dropped.
    void recordActions()
    {
        kv::ScopedRecordingUi rec;
        Data d(QStringLiteral("actions"));
        TypesEditor types(&d.dm);
        types.FormCreate();
        RecordCursor &c = types.cursor();
        QCOMPARE(c.row(), 0);
        QVERIFY(c.last());
        QCOMPARE(c.row(), 2);
        QVERIFY(c.prior());
        QCOMPARE(c.row(), 1);

        Data::set(d.dm.ADOTip, 1, QStringLiteral("PMaker"), QStringLiteral("Инкотекс-СК"));
        QVERIFY(c.isEdited());
        QVERIFY(c.next());
        QCOMPARE(c.row(), 2);
        QCOMPARE(d.scalar(QStringLiteral("SELECT PMaker FROM TTip WHERE PIndex = 3")).toString(),
                 QStringLiteral("Инкотекс-СК"));

        Data::set(d.dm.ADOTip, 2, QStringLiteral("PCenaDel"), 0);
        QVERIFY(!c.first());
        QCOMPARE(c.row(), 2);
        QVERIFY(c.isEdited());
        QCOMPARE(rec->texts(), QStringList{kFillAllFields});
        c.cancel();
        QVERIFY(!c.isModified());
        QCOMPARE(c.row(), 2);

        // A new type: inserted before the current one, found after its write
        // in its sorted place.
        QCOMPARE(c.insert(), 2);
        QVERIFY(c.isInserted());
        const QList<std::pair<const char *, QVariant>> values = {
            {"PTip", QStringLiteral("Бета \"2\"")}, {"PIdentificator", QStringLiteral("B'2")},
            {"PMaker", QStringLiteral("Завод")}, {"PClassT", 1}, {"PUnom", 230}, {"PInom", 5},
            {"PReductRate", 800}, {"PIdentReductRate", 1}, {"PPhase", 1}, {"PEnergy", 1},
            {"PCenaDel", 0.1}, {"PImax", 40}};
        for (const auto &[field, value] : values)
            Data::set(d.dm.ADOTip, 2, QLatin1String(field), value);
        QVERIFY(c.post());
        QCOMPARE(Data::get(d.dm.ADOTip, c.row(), QStringLiteral("PTip")).toString(), QStringLiteral("Бета \"2\""));
        QCOMPARE(c.row(), 1);
        QVERIFY(c.key() > 3);

        // Inserted and left untouched: dropped without a message.
        rec->clear();
        c.insert();
        QVERIFY(c.first());
        QVERIFY(!c.isModified());
        QCOMPARE(d.dm.ADOTip->rowCount(), 4);
        QVERIFY(rec->boxes().isEmpty());
    }

    void deletingTypes()
    {
        kv::ScopedRecordingUi rec;
        Data d(QStringLiteral("deltypes"));
        TypesEditor types(&d.dm);
        types.FormCreate();
        const int used = d.dm.ADOTip->rowOfKey(1);  // "СО-505"

        rec->queueAnswer(QMessageBox::No);
        QCOMPARE(types.DataSetDelete1Execute({0}, nullptr).deleted, 0);
        QCOMPARE(rec->boxes().at(0).caption, kDeleteCaption);
        QCOMPARE(rec->boxes().at(0).text, kDeleteQuestion);
        QCOMPARE(rec->boxes().at(0).icon, kv::Icon::Question);
        QCOMPARE(d.dm.ADOTip->rowCount(), 3);

        rec->clear();
        types.cursor().moveTo(used);
        const DeleteResult kept = types.DataSetDelete1Execute({used}, nullptr);
        QCOMPARE(kept.deleted, 0);
        QCOMPARE(kept.kept, 1);
        QCOMPARE(rec->texts(), (QStringList{kDeleteQuestion, kTipUsed}));
        QCOMPARE(d.scalar(QStringLiteral("SELECT COUNT(*) FROM TTip")).toInt(), 3);

        rec->clear();
        const DeleteResult all = types.DataSetDelete1Execute({0, 1, 2}, nullptr);
        QCOMPARE(all.deleted, 2);
        QCOMPARE(rec->texts(), (QStringList{kDeleteQuestion, kTipUsed}));
        QCOMPARE(d.column(d.dm.ADOTip, QStringLiteral("PTip")), QStringList{QStringLiteral("СО-505")});
        QCOMPARE(types.cursor().row(), 0);
    }

    // Ticking creep with the sensitivity's number is refused, and the record
    // stays ticked and unsaved.
    void specialTestNumberClash()
    {
        kv::ScopedRecordingUi rec;
        Data d(QStringLiteral("clash"));
        TestsEditor tests(&d.dm);
        QCOMPARE(tests.tests().row(), 0);  // "Поверка 1ф", sensitivity at 5
        Data::set(d.dm.ADOTest, 0, QStringLiteral("PSamochodN"), 5);
        Data::set(d.dm.ADOTest, 0, QStringLiteral("PSamochodCB"), 1);
        QVERIFY(!tests.testLeft());
        QCOMPARE(rec->texts(), QStringList{kRepeatedPoint});
        QVERIFY(tests.tests().isEdited());
        QCOMPARE(Data::get(d.dm.ADOTest, 0, QStringLiteral("PSamochodCB")).toInt(), 1);
        QCOMPARE(d.scalar(QStringLiteral("SELECT PSamochodCB FROM TTest WHERE PIndex = 1")).toInt(), 0);

        Data::set(d.dm.ADOTest, 0, QStringLiteral("PSamochodN"), 8);
        QVERIFY(tests.testLeft());
        QCOMPARE(d.scalar(QStringLiteral("SELECT PSamochodN FROM TTest WHERE PIndex = 1")).toInt(), 8);
        QVERIFY(!tests.tests().isModified());

        // A new test is written by its special-test box at once, so the clash
        // shows while the box is in view, and then the corrected test is kept.
        rec->clear();
        const int row = tests.DataSetInsert1Execute();
        Data::set(d.dm.ADOTest, row, QStringLiteral("PNameTable"), QStringLiteral("Новый"));
        Data::set(d.dm.ADOTest, row, QStringLiteral("PSensitivityCB"), 1);
        Data::set(d.dm.ADOTest, row, QStringLiteral("PSensitivityN"), 3);
        Data::set(d.dm.ADOTest, row, QStringLiteral("PSamochodN"), 3);
        Data::set(d.dm.ADOTest, row, QStringLiteral("PSamochodCB"), 1);
        QVERIFY(!tests.specialTestClicked());
        QCOMPARE(rec->texts(), QStringList{kRepeatedPoint});
        QVERIFY(tests.tests().isInserted());
        QCOMPARE(d.scalar(QStringLiteral("SELECT COUNT(*) FROM TTest WHERE PNameTable = 'Новый'")).toInt(), 0);
        Data::set(d.dm.ADOTest, tests.tests().row(), QStringLiteral("PSamochodN"), 4);
        QVERIFY(tests.specialTestClicked());
        QCOMPARE(d.scalar(QStringLiteral("SELECT PSamochodN FROM TTest WHERE PNameTable = 'Новый'")).toInt(), 4);
        QVERIFY(!tests.tests().isModified());
        QVERIFY(tests.specialTestClicked());  // nothing to write
    }

    // Leaving writes an edited test or point, never a new test.
    void leavingWritesEditedRecordsOnly()
    {
        kv::ScopedRecordingUi rec;
        Data d(QStringLiteral("leave"));
        TestsEditor tests(&d.dm);
        QCOMPARE(d.dm.ADOTestPoint->rowCount(), 2);
        Data::set(d.dm.ADOTestPoint, 1, QStringLiteral("PMeasureMax"), 1.5);
        QVERIFY(tests.pointsLeft());
        QCOMPARE(d.scalar(QStringLiteral("SELECT PMeasureMax FROM TTestPoint WHERE PIndex = 2")).toDouble(), 1.5);

        tests.setTarget(TestsEditor::Target::Tests);
        const int row = tests.DataSetInsert1Execute();
        QCOMPARE(row, 0);
        Data::set(d.dm.ADOTest, row, QStringLiteral("PNameTable"), QStringLiteral("Новый"));
        QVERIFY(tests.testLeft());
        QVERIFY(tests.tests().isInserted());
        QCOMPARE(d.scalar(QStringLiteral("SELECT COUNT(*) FROM TTest")).toInt(), 3);
        QVERIFY(rec->boxes().isEmpty());

        // A point of the new test: the test is written first so the point has its key.
        tests.setTarget(TestsEditor::Target::Points);
        const int point = tests.DataSetInsert1Execute();
        QCOMPARE(point, 0);
        QCOMPARE(d.scalar(QStringLiteral("SELECT COUNT(*) FROM TTest")).toInt(), 4);
        QCOMPARE(Data::get(d.dm.ADOTestPoint, 0, QStringLiteral("PSecIndex")).toLongLong(), tests.tests().key());
        Data::set(d.dm.ADOTestPoint, 0, QStringLiteral("PNumPoint1"), 1);
        Data::set(d.dm.ADOTestPoint, 0, QStringLiteral("PKM"), 0.5);
        QVERIFY(tests.DataSetPost1Execute());
        QCOMPARE(Data::get(d.dm.ADOTestPoint, 0, QStringLiteral("PLC")).toInt(), 1);
        QCOMPARE(Data::get(d.dm.ADOTestPoint, 0, QStringLiteral("PNumPoint")).toInt(), 6);
        QVERIFY(rec->boxes().isEmpty());

        // A point being edited is written before another test becomes current.
        Data::set(d.dm.ADOTestPoint, 0, QStringLiteral("PCountRotation"), 25);
        tests.setTarget(TestsEditor::Target::Tests);
        QVERIFY(tests.DataSetLast1Execute());
        QCOMPARE(d.scalar(QStringLiteral("SELECT PCountRotation FROM TTestPoint WHERE PNumPoint = 6")).toInt(), 25);
        QCOMPARE(d.dm.currentTestKey(), tests.tests().key());
    }

    void deletingThreeMarkedTestsOneUsed()
    {
        kv::ScopedRecordingUi rec;
        Data d(QStringLiteral("delthree"));
        TestsEditor tests(&d.dm);
        const DeleteResult r = tests.DataSetDelete1Execute(rowsToDelete({false, {0, 1, 2}}, 1), nullptr);
        QCOMPARE(r.deleted, 2);
        QCOMPARE(r.kept, 1);
        QCOMPARE(rec->texts(), (QStringList{kDeleteQuestion, kTestUsed}));
        QCOMPARE(d.column(d.dm.ADOTest, QStringLiteral("PNameTable")), QStringList{QStringLiteral("Поверка 1ф")});
        // Their points went with them.
        QCOMPARE(d.scalar(QStringLiteral("SELECT COUNT(*) FROM TTestPoint")).toInt(), 2);
    }

    void selectAllDeleteWithUsedTests()
    {
        kv::ScopedRecordingUi rec;
        Data d(QStringLiteral("delall"));
        kvtest::execOrFail(d.db.db(), QStringLiteral(
            "INSERT INTO TMeasure (PDate, PPointerTip, PPointerTest) VALUES ('2026-03-02 10:00:00', 2, 3),"
            "('2026-03-03 10:00:00', 2, 3)"));
        TestsEditor tests(&d.dm);
        tests.tests().moveTo(2);
        QCOMPARE(rowsToDelete({true, {0, 1, 2}}, 2), (QList<int>{0, 1, 2}));
        const DeleteResult r = tests.DataSetDelete1Execute({0, 1, 2}, nullptr);
        QCOMPARE(r.deleted, 1);
        QCOMPARE(rec->texts(), (QStringList{kDeleteQuestion, kTestUsed, kTestUsed}));
        QCOMPARE(d.column(d.dm.ADOTest, QStringLiteral("PNameTable")),
                 (QStringList{QStringLiteral("Поверка 1ф"), QStringLiteral("Поверка 3ф")}));
        QCOMPARE(tests.tests().row(), 1);
    }

    // Deleting points renumbers the rest; points of a test the archive uses stay.
    void deletingPoints()
    {
        QCOMPARE(rowsToDelete({}, 3), QList<int>{3});
        QVERIFY(rowsToDelete({}, -1).isEmpty());

        kv::ScopedRecordingUi rec;
        Data d(QStringLiteral("delpoints"));
        TestsEditor tests(&d.dm);
        tests.setTarget(TestsEditor::Target::Points);
        DeleteResult r = tests.DataSetDelete1Execute({0}, nullptr);
        QCOMPARE(r.deleted, 0);
        QCOMPARE(rec->texts(), (QStringList{kDeleteQuestion, kPointsOfUsedTest}));
        QCOMPARE(d.dm.ADOTestPoint->rowCount(), 2);

        rec->clear();
        tests.setTarget(TestsEditor::Target::Tests);
        QVERIFY(tests.DataSetNext1Execute());  // "Регулировка": points 1, 2, 3
        tests.setTarget(TestsEditor::Target::Points);
        r = tests.DataSetDelete1Execute({1}, nullptr);
        QCOMPARE(r.deleted, 1);
        QCOMPARE(rec->texts(), QStringList{kDeleteQuestion});
        QCOMPARE(d.column(d.dm.ADOTestPoint, QStringLiteral("PNumPoint1")),
                 (QStringList{QStringLiteral("1"), QStringLiteral("3")}));
        QCOMPARE(d.column(d.dm.ADOTestPoint, QStringLiteral("PNumPoint")),
                 (QStringList{QStringLiteral("1"), QStringLiteral("2")}));
    }
};

QTEST_MAIN(TestReferenceEditors)
#include "test_reference_editors.moc"
