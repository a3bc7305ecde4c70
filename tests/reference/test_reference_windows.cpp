// The meter types and tests windows as the operator uses them: grids,
// panels, toolbars and keys over a real database.

#include "core/ui.h"
#include "reference/record_rules.h"
#include "reference/tests_editor.h"
#include "reference/tests_window.h"
#include "reference/types_editor.h"
#include "reference/types_window.h"
#include "reference_fixture.h"
#include "widgets/code_box.h"
#include "widgets/data_grid.h"
#include "widgets/number_editors.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QToolBar>

using namespace basekvintor;
using reftest::Data;

namespace {

template <typename Window>
bool showAndActivate(Window &w)
{
    w.resize(900, 600);
    w.show();
    w.activateWindow();
    return QTest::qWaitForWindowActive(&w);
}

void clickTitle(kv::DataGrid *grid, int column)
{
    QHeaderView *header = grid->horizontalHeader();
    const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
}

void clickRow(kv::DataGrid *grid, int row, Qt::KeyboardModifiers modifiers = {})
{
    const int column = grid->shownColumns().first();
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, modifiers,
                      grid->visualRect(grid->model()->index(row, column)).center());
}

// Types in the window's order by their column.
QStringList shownColumn(kv::DataGrid *grid, int column)
{
    QStringList values;
    for (int r = 0; r < grid->model()->rowCount(); ++r)
        values << grid->model()->index(r, column).data().toString();
    return values;
}

}  // namespace

class TestReferenceWindows : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void typesToolbarAndPanel()
    {
        Data d(QStringLiteral("wtoolbar"));
        TFTip tip(&d.dm);
        QCOMPARE(tip.windowTitle(), QStringLiteral("Типы счетчиков"));
        const QList<QAction *> a = tip.actions.all();
        QStringList captions, hints;
        for (QAction *action : a) {
            captions << action->text();
            hints << action->toolTip();
        }
        QCOMPARE(captions, (QStringList{"&First", "&Prior", "&Next", "&Last", "&Insert", "Удалить запись",
                                        "Сохранить изменения", "&Cancel"}));
        QCOMPARE(hints, (QStringList{"Первая запись", "Предыдущая запись", "Следующая запись", "Последняя запись",
                                     "Добавить запись", "Удалить запись", "Сохранить изменения", "Отмена"}));
        QCOMPARE(tip.actions.DataSetInsert1->shortcut(), QKeySequence(Qt::Key_Insert));
        QCOMPARE(tip.actions.DataSetDelete1->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Delete));
        QCOMPARE(tip.ToolBar->actions().size(), 8);
        QCOMPARE(tip.DBIdentReductRate->count(), 3);
        QCOMPARE(tip.DBIdentReductRate->itemText(1), QStringLiteral("кВт(кВар)*час/имп"));
        QCOMPARE(tip.DBPhase->itemText(2), QStringLiteral("3ф 4п"));
        QCOMPARE(tip.DBEnergy->itemText(1), QStringLiteral("Реактивная"));
        QCOMPARE(tip.grids(), QList<QAbstractItemView *>{tip.DBTip});
        QCOMPARE(tip.DBTip->model()->headerData(tip.DBTip->shownColumns().at(1), Qt::Horizontal).toString(),
                 QStringLiteral("Идентификатор"));

        // Inside the main window the import action joins the toolbar.
        QMainWindow main;
        auto *import = new QAction(QStringLiteral("Импорт таблицы типов"), &main);
        import->setObjectName(QStringLiteral("AImportTip"));
        auto *area = new QMdiArea(&main);
        main.setCentralWidget(area);
        TFTip *child = new TFTip(&d.dm);
        area->addSubWindow(child);
        QVERIFY(child->ToolBar->actions().contains(import));
        QCOMPARE(child->DBTip->model(), d.dm.ADOTip);
    }

    // Opening lists by type name with the ascending mark; clicking
    // "Идентификатор" orders ascending, descending, ascending again; the type
    // title keeps its mark.
    void typeOrderAndTitleClickCycle()
    {
        Data d(QStringLiteral("worder"));
        TFTip tip(&d.dm);
        QVERIFY(showAndActivate(tip));
        const int type = d.dm.ADOTip->fieldIndex(QStringLiteral("PTip"));
        const int ident = d.dm.ADOTip->fieldIndex(QStringLiteral("PIdentificator"));
        QCOMPARE(shownColumn(tip.DBTip, type),
                 (QStringList{QStringLiteral("Альфа"), QStringLiteral("Меркурий 230"), QStringLiteral("СО-505")}));
        QCOMPARE(tip.DBTip->sortMark(type), kv::SortMark::Ascending);
        QCOMPARE(tip.DBTip->sortMark(ident), kv::SortMark::None);

        const QStringList ascending{QStringLiteral("A1800"), QStringLiteral("ART-01"), QStringLiteral("И1")};
        const QStringList descending{QStringLiteral("И1"), QStringLiteral("ART-01"), QStringLiteral("A1800")};
        clickTitle(tip.DBTip, ident);
        QCOMPARE(d.dm.ADOTip->order(), QStringLiteral("PIdentificator ASC"));
        QCOMPARE(shownColumn(tip.DBTip, ident), ascending);
        QCOMPARE(tip.DBTip->sortMark(ident), kv::SortMark::Ascending);
        clickTitle(tip.DBTip, ident);
        QCOMPARE(d.dm.ADOTip->order(), QStringLiteral("PIdentificator DESC"));
        QCOMPARE(shownColumn(tip.DBTip, ident), descending);
        QCOMPARE(tip.DBTip->sortMark(ident), kv::SortMark::Descending);
        clickTitle(tip.DBTip, ident);
        QCOMPARE(shownColumn(tip.DBTip, ident), ascending);
        QCOMPARE(tip.DBTip->sortMark(ident), kv::SortMark::Ascending);
        QCOMPARE(tip.DBTip->sortMark(type), kv::SortMark::Ascending);

        // The panel shows the current type after the re-read.
        clickRow(tip.DBTip, 2);
        QCOMPARE(tip.DBEditMaker->text(), QStringLiteral("Завод"));
    }

    // Choosing a unit changes the label before anything is written.
    void unitLabelChangesWithoutPosting()
    {
        Data d(QStringLiteral("wunit"));
        TFTip tip(&d.dm);
        QVERIFY(showAndActivate(tip));
        QCOMPARE(tip.LCena->text(), QStringLiteral("(имп/кВт(кВар)*час)"));
        tip.DBIdentReductRate->setFocus();
        tip.DBIdentReductRate->setCurrentIndex(1);
        Q_EMIT tip.DBIdentReductRate->activated(1);
        QCOMPARE(tip.LCena->text(), QStringLiteral("(кВт(кВар)*час/имп)"));
        QVERIFY(tip.editor()->cursor().isEdited());
        QCOMPARE(d.scalar(QStringLiteral("SELECT PIdentReductRate FROM TTip WHERE PTip = 'Альфа'")).toInt(), 1);
        // Leaving the panel does not write either.
        tip.DBTip->setFocus();
        QCOMPARE(d.scalar(QStringLiteral("SELECT PIdentReductRate FROM TTip WHERE PTip = 'Альфа'")).toInt(), 1);
        tip.actions.DataSetCancel1->trigger();
        QCOMPARE(tip.LCena->text(), QStringLiteral("(имп/кВт(кВар)*час)"));
        QCOMPARE(tip.DBIdentReductRate->currentText(), QStringLiteral("имп/кВт(кВар)*час"));
    }

    void deletingAUsedTypeKeepsIt()
    {
        kv::ScopedRecordingUi rec;
        Data d(QStringLiteral("wdeltip"));
        TFTip tip(&d.dm);
        QVERIFY(showAndActivate(tip));
        clickRow(tip.DBTip, 2);  // "СО-505", named by the archive record
        QCOMPARE(tip.DBEditMaker->text(), QStringLiteral("Завод"));
        // Outside the grid the key deletes nothing.
        tip.DBEditMaker->setFocus();
        QTest::keyClick(tip.DBEditMaker, Qt::Key_Delete, Qt::ControlModifier);
        tip.actions.DataSetDelete1->trigger();
        QVERIFY(rec->boxes().isEmpty());

        tip.DBTip->setFocus();
        QTest::keyClick(tip.DBTip, Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(rec->texts(), (QStringList{kDeleteQuestion, kTipUsed}));
        QCOMPARE(d.scalar(QStringLiteral("SELECT COUNT(*) FROM TTip")).toInt(), 3);
        QCOMPARE(tip.DBTip->currentRow(), 2);
    }

    // Bad input in the panel: the editor's or the rule's message, the record
    // kept in edit, nothing written.
    void badTypeInput()
    {
        kv::ScopedRecordingUi rec;
        Data d(QStringLiteral("wbad"));
        TFTip tip(&d.dm);
        QVERIFY(showAndActivate(tip));
        tip.DBEditClassT->setFocus();
        tip.DBEditClassT->setText(QStringLiteral("-1"));
        tip.DBEditMaker->setFocus();
        QCOMPARE(rec->texts(), QStringList{kv::rangeMessage(QStringLiteral("-1"), {0, 1e9, 6, true})});
        // What was typed stays for correcting; the record keeps its value.
        QCOMPARE(tip.DBEditClassT->text(), QStringLiteral("-1"));
        QCOMPARE(tip.DBEditClassT->value().toDouble(), 0.5);
        tip.DBEditClassT->setText(QStringLiteral("0.5"));

        // A new type with a name in quotes, posted before it is complete.
        rec->clear();
        tip.actions.DataSetInsert1->trigger();
        QVERIFY(tip.editor()->cursor().isInserted());
        const int row = tip.editor()->cursor().row();
        Data::set(d.dm.ADOTip, row, QStringLiteral("PTip"), QStringLiteral("\"Нева\" 'М'"));
        Data::set(d.dm.ADOTip, row, QStringLiteral("PIdentificator"), QStringLiteral("1"));
        tip.DBEditMaker->setFocus();
        tip.DBEditMaker->setText(QStringLiteral("Тайпит"));
        tip.actions.DataSetPost1->trigger();
        QCOMPARE(rec->texts(), QStringList{kFillAllFields});
        QVERIFY(tip.editor()->cursor().isInserted());
        QCOMPARE(Data::get(d.dm.ADOTip, row, QStringLiteral("PMaker")).toString(), QStringLiteral("Тайпит"));
        QCOMPARE(d.scalar(QStringLiteral("SELECT COUNT(*) FROM TTip")).toInt(), 3);

        // Completed, it is written and stays current.
        for (kv::NumberEdit *e : {tip.DBEditClassT, tip.DBEditReductRate, tip.DBEditUnom, tip.DBEditInom,
                                  tip.DBEditImax, tip.DBEditCenaDel}) {
            e->setFocus();
            e->setText(QStringLiteral("1"));
        }
        for (kv::CodeBox *b : {tip.DBIdentReductRate, tip.DBEnergy, tip.DBPhase}) {
            b->setCurrentIndex(0);
            Q_EMIT b->activated(0);
        }
        tip.actions.DataSetPost1->trigger();
        QCOMPARE(rec->texts(), QStringList{kFillAllFields});
        QCOMPARE(d.scalar(QStringLiteral("SELECT COUNT(*) FROM TTip")).toInt(), 4);
        QCOMPARE(tip.DBTip->model()->index(tip.DBTip->currentRow(), 1).data().toString(),
                 QStringLiteral("\"Нева\" 'М'"));
    }

    // Ticking "Самоход" enables its fields and writes the test at once; with
    // the sensitivity's number the write is refused and the box stays ticked.
    void tickingCreepWithTheSensitivityNumber()
    {
        kv::ScopedRecordingUi rec;
        Data d(QStringLiteral("wcreep"));
        TFTest test(&d.dm);
        QVERIFY(showAndActivate(test));
        QCOMPARE(test.windowTitle(), QStringLiteral("Тесты"));
        // "Поверка 1ф": sensitivity on at point 5, creep off at 6.
        QVERIFY(test.Sensitivity.fields[4]->isEnabled());
        QVERIFY(!test.Samochod.fields[0]->isEnabled());
        QCOMPARE(test.Samochod.fields[4]->text(), QStringLiteral("6"));

        QTest::mouseClick(test.DBCBSamochod, Qt::LeftButton, {}, QPoint(6, test.DBCBSamochod->height() / 2));
        for (kv::NumberEdit *f : test.Samochod.fields)
            QVERIFY(f->isEnabled());
        QVERIFY(rec->boxes().isEmpty());
        QCOMPARE(d.scalar(QStringLiteral("SELECT PSamochodCB FROM TTest WHERE PIndex = 1")).toInt(), 1);
        QVERIFY(!test.editor()->tests().isModified());

        // Off again, number 5, then on: refused.
        QTest::mouseClick(test.DBCBSamochod, Qt::LeftButton, {}, QPoint(6, test.DBCBSamochod->height() / 2));
        test.Samochod.fields[4]->setEnabled(true);
        test.Samochod.fields[4]->setFocus();
        test.Samochod.fields[4]->setText(QStringLiteral("5"));
        QTest::mouseClick(test.DBCBSamochod, Qt::LeftButton, {}, QPoint(6, test.DBCBSamochod->height() / 2));
        QCOMPARE(rec->texts(), QStringList{kRepeatedPoint});
        QVERIFY(test.DBCBSamochod->isChecked());
        QVERIFY(test.editor()->tests().isEdited());
        QCOMPARE(Data::get(d.dm.ADOTest, 0, QStringLiteral("PSamochodCB")).toInt(), 1);
        QCOMPARE(Data::get(d.dm.ADOTest, 0, QStringLiteral("PSamochodN")).toInt(), 5);
        QCOMPARE(d.scalar(QStringLiteral("SELECT PSamochodCB FROM TTest WHERE PIndex = 1")).toInt(), 0);
    }

    void specialFieldRanges()
    {
        kv::ScopedRecordingUi rec;
        Data d(QStringLiteral("wranges"));
        TFTest test(&d.dm);
        QVERIFY(showAndActivate(test));
        const QStringList typed{"301", "61", "121", "1000.0005", "121"};
        for (int i = 0; i < 5; ++i) {
            kv::NumberEdit *f = test.Sensitivity.fields[i];
            f->setFocus();
            f->setText(typed[i]);
            test.DBTest->setFocus();
        }
        QCOMPARE(rec->boxes().size(), 5);
        QVERIFY(rec->texts().at(0).endsWith(QStringLiteral("от 0 до 300.")));
        QVERIFY(rec->texts().at(3).endsWith(QStringLiteral("от 0 до 1000.")));
        QVERIFY(!test.editor()->tests().isModified());
        QCOMPARE(d.scalar(QStringLiteral("SELECT PSensitivityT FROM TTest WHERE PIndex = 1")).toInt(), 10);
        // In range: written on leaving the field.
        test.Sensitivity.fields[3]->setFocus();
        test.Sensitivity.fields[3]->setText(QStringLiteral("999.999"));
        test.DBTest->setFocus();
        QCOMPARE(d.scalar(QStringLiteral("SELECT PSensitivityI FROM TTest WHERE PIndex = 1")).toDouble(), 999.999);
    }

    void deletingThreeMarkedTestsOfWhichOneIsUsed()
    {
        kv::ScopedRecordingUi rec;
        Data d(QStringLiteral("wdelthree"));
        TFTest test(&d.dm);
        QVERIFY(showAndActivate(test));
        clickRow(test.DBTest, 0, Qt::ControlModifier);
        clickRow(test.DBTest, 1, Qt::ControlModifier);
        clickRow(test.DBTest, 2, Qt::ControlModifier);
        QCOMPARE(test.DBTest->markedRows().rows, (QList<int>{0, 1, 2}));
        QTest::keyClick(test.DBTest, Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(rec->texts(), (QStringList{kDeleteQuestion, kTestUsed}));
        QCOMPARE(d.scalar(QStringLiteral("SELECT COUNT(*) FROM TTest")).toInt(), 1);
        QCOMPARE(test.DBTest->model()->rowCount(), 1);
        QVERIFY(test.DBTest->markedRows().isEmpty());
        QCOMPARE(test.DBTestPoint->model()->rowCount(), 2);  // the kept test's points
    }

    void selectAllDeleteWithUsedTests()
    {
        kv::ScopedRecordingUi rec;
        Data d(QStringLiteral("wdelall"));
        kvtest::execOrFail(d.db.db(), QStringLiteral(
            "INSERT INTO TMeasure (PDate, PPointerTip, PPointerTest) VALUES ('2026-03-02 10:00:00', 2, 3)"));
        TFTest test(&d.dm);
        QVERIFY(showAndActivate(test));
        test.DBTest->setFocus();
        QTest::keyClick(test.DBTest, Qt::Key_A, Qt::ControlModifier);
        QVERIFY(test.DBTest->markedRows().all);
        test.actions.DataSetDelete1->trigger();
        QCOMPARE(rec->texts(), (QStringList{kDeleteQuestion, kTestUsed, kTestUsed}));
        QCOMPARE(d.scalar(QStringLiteral("SELECT COUNT(*) FROM TTest")).toInt(), 2);
        QCOMPARE(test.DBTest->model()->rowCount(), 2);

        // "No" deletes nothing.
        rec->clear();
        rec->queueAnswer(QMessageBox::No);
        test.DBTest->selectAll();
        test.actions.DataSetDelete1->trigger();
        QCOMPARE(rec->texts(), QStringList{kDeleteQuestion});
        QCOMPARE(test.DBTest->model()->rowCount(), 2);
    }

    // A power factor of 1.2 typed into the points grid is refused by the
    // cell; a valid edit is written when the grid loses the focus.
    void pointsGridEdits()
    {
        kv::ScopedRecordingUi rec;
        Data d(QStringLiteral("wpoints"));
        TFTest test(&d.dm);
        QVERIFY(showAndActivate(test));
        QStringList titles;
        for (int c : test.DBTestPoint->shownColumns())
            titles << d.dm.ADOTestPoint->headerData(c, Qt::Horizontal).toString();
        QCOMPARE(titles, (QStringList{"№ Точки", "U%", "UA", "UB", "UC", "I%", "IA", "IB", "IC", "KM", "L/C",
                                      "Число оборотов", "Допуск, %"}));
        const int km = d.dm.ADOTestPoint->fieldIndex(QStringLiteral("PKM"));
        const int lc = d.dm.ADOTestPoint->fieldIndex(QStringLiteral("PLC"));
        QCOMPARE(test.DBTestPoint->cellText(1, lc), QStringLiteral("L"));

        auto typeInto = [&](int row, int column, const QString &text) {
            const QModelIndex index = d.dm.ADOTestPoint->index(row, column);
            test.DBTestPoint->setFocus();
            test.DBTestPoint->setCurrentIndex(index);
            test.DBTestPoint->edit(index);
            auto *edit = qobject_cast<QLineEdit *>(QApplication::focusWidget());
            QVERIFY(edit);
            edit->selectAll();
            QTest::keyClicks(edit, text);
        };
        typeInto(1, km, QStringLiteral("1.2"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCoreApplication::processEvents();
        QCOMPARE(rec->texts(), QStringList{QStringLiteral("Значение 1.2 вне допустимого диапазона: от 0 до 1.")});
        QCOMPARE(Data::get(d.dm.ADOTestPoint, 1, QStringLiteral("PKM")).toDouble(), 0.5);
        QVERIFY(!test.editor()->points().isModified());

        rec->clear();
        typeInto(1, km, QStringLiteral("0.8"));
        test.DBTest->setFocus();  // leaving the points grid writes the point
        QVERIFY(rec->boxes().isEmpty());
        QCOMPARE(d.scalar(QStringLiteral("SELECT PKM FROM TTestPoint WHERE PIndex = 2")).toDouble(), 0.8);
        QVERIFY(!test.editor()->points().isModified());

        // A check cell ticked in place is written on leaving as well.
        const int ub = d.dm.ADOTestPoint->fieldIndex(QStringLiteral("PPhaseUB"));
        test.DBTestPoint->setFocus();
        test.DBTestPoint->setCurrentIndex(d.dm.ADOTestPoint->index(0, ub));
        QTest::keyClick(test.DBTestPoint, Qt::Key_Space);
        test.Sensitivity.fields[0]->setFocus();
        QCOMPARE(d.scalar(QStringLiteral("SELECT PPhaseUB FROM TTestPoint WHERE PIndex = 1")).toInt(), 1);
    }

    // The record actions act on the list entered last; entering a special
    // field points them back at the tests.
    void recordActionsFollowTheFocus()
    {
        kv::ScopedRecordingUi rec;
        Data d(QStringLiteral("wfocus"));
        TFTest test(&d.dm);
        QVERIFY(showAndActivate(test));
        QCOMPARE(test.editor()->target(), TestsEditor::Target::Tests);
        test.actions.DataSetNext1->trigger();
        QCOMPARE(test.DBTest->currentRow(), 1);
        QCOMPARE(test.DBTestPoint->model()->rowCount(), 3);

        test.DBTestPoint->setFocus();
        QCOMPARE(test.editor()->target(), TestsEditor::Target::Points);
        test.actions.DataSetLast1->trigger();
        QCOMPARE(test.DBTestPoint->currentRow(), 2);
        QCOMPARE(test.DBTest->currentRow(), 1);

        // A new point: written by the post action with its sequence number.
        test.actions.DataSetInsert1->trigger();
        QCOMPARE(test.DBTestPoint->model()->rowCount(), 4);
        const int row = test.editor()->points().row();
        Data::set(d.dm.ADOTestPoint, row, QStringLiteral("PNumPoint1"), 4);
        test.actions.DataSetPost1->trigger();
        QVERIFY(rec->boxes().isEmpty());
        QCOMPARE(d.scalar(QStringLiteral("SELECT COUNT(*) FROM TTestPoint WHERE PSecIndex = 2")).toInt(), 4);

        test.Samochod.box->setFocus();
        QCOMPARE(test.editor()->target(), TestsEditor::Target::Tests);
        test.actions.DataSetFirst1->trigger();
        QCOMPARE(test.DBTest->currentRow(), 0);
        QCOMPARE(test.DBTestPoint->model()->rowCount(), 2);
        QCOMPARE(test.grids(), (QList<QAbstractItemView *>{test.DBTest, test.DBTestPoint}));
    }
};

QTEST_MAIN(TestReferenceWindows)
#include "test_reference_windows.moc"
