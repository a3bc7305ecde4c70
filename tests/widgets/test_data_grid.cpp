#include "core/ui.h"
#include "widgets/data_grid.h"

#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QStandardItemModel>
#include <QTest>
#include <QVBoxLayout>

namespace {

// A model like a points table: number, text, a yes/no field stored as 0/1, a
// load code, a power factor.
enum { ColNum, ColName, ColFlag, ColLC, ColKM, ColCount };

std::unique_ptr<QStandardItemModel> pointsModel()
{
    auto model = std::make_unique<QStandardItemModel>(0, ColCount);
    const QList<QList<QVariant>> rows = {
        {3, QStringLiteral("в"), 0, 0, 1.0},
        {1, QStringLiteral("а"), 1, 1, 0.5},
        {5, QStringLiteral("д"), 0, 2, 0.8},
        {2, QStringLiteral("б"), 1, 1, 0.5},
        {4, QStringLiteral("г"), 0, 7, 0.5},
    };
    for (const auto &values : rows) {
        QList<QStandardItem *> items;
        for (const QVariant &v : values) {
            auto *item = new QStandardItem;
            item->setData(v, Qt::EditRole);
            items.append(item);
        }
        model->appendRow(items);
    }
    return model;
}

kv::CodeList loadCodes() { return {{0, QStringLiteral("*")}, {1, QStringLiteral("L")}, {2, QStringLiteral("C")}}; }

// A window holding the grid and one more control to move the focus to.
struct Fixture {
    std::unique_ptr<QStandardItemModel> model = pointsModel();
    QWidget window;
    kv::DataGrid *grid = new kv::DataGrid(&window);
    QLineEdit *other = new QLineEdit(&window);

    Fixture()
    {
        auto *layout = new QVBoxLayout(&window);
        layout->addWidget(grid);
        layout->addWidget(other);
        grid->setModel(model.get());
        grid->setColumn(ColFlag, kv::GridColumn::check());
        grid->setColumn(ColLC, kv::GridColumn::pickList(loadCodes()).centred());
        grid->setColumn(ColKM, kv::GridColumn::number(kv::NumberRange::real(0, 1, 2)));
        window.resize(500, 300);
        window.show();
        window.activateWindow();
    }
    bool ready() { return QTest::qWaitForWindowActive(&window); }
    QPoint cell(int row, int column) const { return grid->visualRect(model->index(row, column)).center(); }
    void click(int row, Qt::KeyboardModifiers modifiers = {}, int column = ColName)
    {
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, modifiers, cell(row, column));
    }
    QList<int> column(int c) const
    {
        QList<int> values;
        for (int r = 0; r < model->rowCount(); ++r)
            values.append(model->index(r, c).data().toInt());
        return values;
    }
};

}  // namespace

class TestDataGrid : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Numbers follow the regional settings; the expected texts are written with ".".
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    // A plain click moves the current row without marking it; Ctrl marks single
    // rows, Shift a range; "all" is reported as such until a plain click.
    void markingIsApartFromTheCurrentRow()
    {
        Fixture f;
        QVERIFY(f.ready());
        f.click(1);
        QCOMPARE(f.grid->currentRow(), 1);
        QVERIFY(f.grid->markedRows().isEmpty());

        f.click(2, Qt::ControlModifier);
        f.click(4, Qt::ControlModifier);
        QCOMPARE(f.grid->markedRows().rows, (QList<int>{2, 4}));
        QVERIFY(!f.grid->markedRows().all);
        f.click(2, Qt::ControlModifier);
        QCOMPARE(f.grid->markedRows().rows, (QList<int>{4}));
        f.click(1);
        f.click(3, Qt::ShiftModifier);
        QCOMPARE(f.grid->markedRows().rows, (QList<int>{1, 2, 3}));
        f.click(0, Qt::ControlModifier);
        QCOMPARE(f.grid->markedRows().rows, (QList<int>{0, 1, 2, 3}));

        // Keyboard movement keeps the marks.
        QTest::keyClick(f.grid, Qt::Key_Up);
        QCOMPARE(f.grid->markedRows().rows.size(), 4);

        QTest::keyClick(f.grid, Qt::Key_A, Qt::ControlModifier);
        QVERIFY(f.grid->allMarked());
        QCOMPARE(f.grid->markedRows().rows, (QList<int>{0, 1, 2, 3, 4}));
        QVERIFY(f.grid->markedRows().all);

        f.click(3);
        QVERIFY(f.grid->markedRows().isEmpty());
        QCOMPARE(f.grid->currentRow(), 3);

        f.grid->markRow(0);
        f.grid->markRow(3);
        QCOMPARE(f.grid->markedRows().rows, (QList<int>{0, 3}));
        f.grid->clearMarks();
        QVERIFY(f.grid->markedRows().isEmpty());

        // A refilled model drops the marks, "all" included.
        f.grid->selectAll();
        QVERIFY(f.grid->allMarked());
        f.model->removeRow(0);
        QVERIFY(!f.grid->allMarked());

        f.grid->setMarkingAllowed(false);
        f.grid->selectAll();
        f.click(1, Qt::ControlModifier);
        QVERIFY(f.grid->markedRows().isEmpty());
    }

    // Clicking a title: none or descending -> ascending -> descending ->
    // ascending; the other titles keep their marks.
    void titleClicksCycleTheOrder()
    {
        QCOMPARE(kv::nextSortMark(kv::SortMark::None), kv::SortMark::Ascending);
        QCOMPARE(kv::nextSortMark(kv::SortMark::Descending), kv::SortMark::Ascending);
        QCOMPARE(kv::nextSortMark(kv::SortMark::Ascending), kv::SortMark::Descending);
        QCOMPARE(kv::orderText(QStringLiteral("PTip"), kv::SortMark::Ascending), QStringLiteral("PTip ASC"));
        QCOMPARE(kv::orderText(QStringLiteral("PTip"), kv::SortMark::Descending), QStringLiteral("PTip DESC"));

        Fixture f;
        QVERIFY(f.ready());
        f.grid->setTitleButtons(true);
        f.grid->setSortOnTitleClick(true);
        f.grid->setSortMark(ColName, kv::SortMark::Ascending);
        QList<int> clicked;
        connect(f.grid, &kv::DataGrid::titleClicked, [&](int c) { clicked.append(c); });

        auto clickTitle = [&](int column) {
            auto *header = f.grid->horizontalHeader();
            const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                            header->height() / 2);
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
        };
        clickTitle(ColNum);
        QCOMPARE(f.grid->sortMark(ColNum), kv::SortMark::Ascending);
        QCOMPARE(f.column(ColNum), (QList<int>{1, 2, 3, 4, 5}));
        clickTitle(ColNum);
        QCOMPARE(f.grid->sortMark(ColNum), kv::SortMark::Descending);
        QCOMPARE(f.column(ColNum), (QList<int>{5, 4, 3, 2, 1}));
        clickTitle(ColNum);
        QCOMPARE(f.grid->sortMark(ColNum), kv::SortMark::Ascending);
        QCOMPARE(f.column(ColNum), (QList<int>{1, 2, 3, 4, 5}));
        QCOMPARE(f.grid->sortMark(ColName), kv::SortMark::Ascending);
        QCOMPARE(clicked, (QList<int>{ColNum, ColNum, ColNum}));

        // A handler that refuses (an edited record that cannot be posted) keeps
        // the order and the mark.
        bool refuse = true;
        QList<kv::SortMark> asked;
        f.grid->setSortHandler([&](int, kv::SortMark mark) {
            asked.append(mark);
            return !refuse;
        });
        clickTitle(ColNum);
        QCOMPARE(f.grid->sortMark(ColNum), kv::SortMark::Ascending);
        QCOMPARE(f.column(ColNum), (QList<int>{1, 2, 3, 4, 5}));
        refuse = false;
        clickTitle(ColNum);
        QCOMPARE(f.grid->sortMark(ColNum), kv::SortMark::Descending);
        QCOMPARE(asked, (QList<kv::SortMark>{kv::SortMark::Descending, kv::SortMark::Descending}));

        // Without title buttons a click does nothing.
        f.grid->setTitleButtons(false);
        clickTitle(ColLC);
        QCOMPARE(f.grid->sortMark(ColLC), kv::SortMark::None);
        QCOMPARE(clicked.size(), 5);
    }

    // Code fields show their texts and are edited by choosing a text; yes/no
    // fields are ticked in place and keep their stored kind.
    void pickListAndCheckBoxColumns()
    {
        Fixture f;
        QVERIFY(f.ready());
        QCOMPARE(f.grid->cellText(0, ColLC), QStringLiteral("*"));
        QCOMPARE(f.grid->cellText(2, ColLC), QStringLiteral("C"));
        QCOMPARE(f.grid->cellText(4, ColLC), QString());  // a code outside the list
        QCOMPARE(f.grid->cellText(1, ColFlag), QStringLiteral("Да"));
        QCOMPARE(f.grid->cellText(0, ColKM), QStringLiteral("1"));

        const QModelIndex lc = f.model->index(0, ColLC);
        f.grid->setCurrentIndex(lc);
        f.grid->edit(lc);
        auto *box = f.grid->viewport()->findChild<kv::CodeBox *>();
        QVERIFY(box);
        QCOMPARE(box->currentText(), QStringLiteral("*"));
        QCOMPARE(box->count(), 3);
        box->setCurrentIndex(2);
        Q_EMIT box->activated(2);  // the operator's choice
        QCOMPARE(lc.data(Qt::EditRole), QVariant(2));
        QCOMPARE(f.grid->cellText(0, ColLC), QStringLiteral("C"));
        QTest::keyClick(box, Qt::Key_Escape);

        // Space and a click on the box tick; the stored 0/1 stays a number.
        const QModelIndex flag = f.model->index(0, ColFlag);
        f.grid->setFocus();
        f.grid->setCurrentIndex(flag);
        QTest::keyClick(f.grid, Qt::Key_Space);
        QCOMPARE(flag.data(Qt::EditRole), QVariant(1));
        QTest::mouseClick(f.grid->viewport(), Qt::LeftButton, {}, f.cell(0, ColFlag));
        QCOMPARE(flag.data(Qt::EditRole), QVariant(0));
        // A bool stays a bool.
        f.model->setData(flag, true);
        QTest::keyClick(f.grid, Qt::Key_Space);
        QCOMPARE(flag.data(Qt::EditRole), QVariant(false));

        // Read-only grids and columns are not ticked.
        f.grid->setReadOnly(true);
        QTest::keyClick(f.grid, Qt::Key_Space);
        QCOMPARE(flag.data(Qt::EditRole), QVariant(false));
        f.grid->setReadOnly(false);
        f.grid->setColumn(ColFlag, kv::GridColumn::check().noEdit());
        QTest::mouseClick(f.grid->viewport(), Qt::LeftButton, {}, f.cell(0, ColFlag));
        QCOMPARE(flag.data(Qt::EditRole), QVariant(false));
    }

    // Rows come only from the insert action: no key of the grid adds one, and
    // its own delete keys remove nothing.
    void noInsertFromTheKeyboard()
    {
        Fixture f;
        QVERIFY(f.ready());
        f.grid->setFocus();
        f.grid->setCurrentRow(4);
        for (auto key : {Qt::Key_Down, Qt::Key_PageDown, Qt::Key_Insert, Qt::Key_Tab, Qt::Key_Return})
            QTest::keyClick(f.grid, key);
        QTest::keyClick(f.grid, Qt::Key_Delete, Qt::ControlModifier);
        QTest::keyClick(f.grid, Qt::Key_Delete);
        QCOMPARE(f.model->rowCount(), 5);
        f.grid->setCurrentRow(4);
        QCOMPARE(f.grid->currentRow(), 4);
    }

    // A power factor of 1.2 is refused by the cell's own range check: the box
    // tells the range and the record keeps its value.
    void numberCellsRefuseValuesOutOfRange()
    {
        kv::ScopedRecordingUi rec;
        Fixture f;
        QVERIFY(f.ready());
        const QModelIndex km = f.model->index(1, ColKM);
        auto typeInto = [&](const QString &text) {
            f.grid->setFocus();
            f.grid->setCurrentIndex(km);
            f.grid->edit(km);
            auto *edit = qobject_cast<kv::NumberEdit *>(QApplication::focusWidget());
            QVERIFY(edit);
            edit->selectAll();
            QTest::keyClicks(edit, text);
            QTest::keyClick(edit, Qt::Key_Return);
            QCoreApplication::processEvents();  // the editor commits after the key
        };
        typeInto(QStringLiteral("1.2"));
        QCOMPARE(km.data(Qt::EditRole).toDouble(), 0.5);
        QCOMPARE(rec->texts(), QStringList{QStringLiteral("Значение 1.2 вне допустимого диапазона: от 0 до 1.")});
        QCOMPARE(rec->boxes().at(0).icon, kv::Icon::Error);

        typeInto(QStringLiteral("-0.1"));
        QCOMPARE(km.data(Qt::EditRole).toDouble(), 0.5);
        typeInto(QStringLiteral("0,866"));  // the other separator, rounded to the field's places
        QCOMPARE(km.data(Qt::EditRole).toDouble(), 0.87);
        QCOMPARE(rec->boxes().size(), 2);
    }

    void columnWidthsFollowTheShownColumns()
    {
        Fixture f;
        f.grid->showColumns({ColKM, ColNum, ColName},
                            {QStringLiteral("KM"), QStringLiteral("№ Точки"), QStringLiteral("Имя")});
        QCOMPARE(f.grid->shownColumns(), (QList<int>{ColKM, ColNum, ColName}));
        QCOMPARE(f.model->headerData(ColNum, Qt::Horizontal).toString(), QStringLiteral("№ Точки"));
        f.grid->setColumnWidthsText(QStringLiteral("40,71,x"));
        QCOMPARE(f.grid->columnWidth(ColKM), 40);
        QCOMPARE(f.grid->columnWidth(ColNum), 71);
        const int nameWidth = f.grid->columnWidth(ColName);
        QCOMPARE(f.grid->columnWidthsText(), QStringLiteral("40,71,%1").arg(nameWidth));
        f.grid->setColumnWidthsText(QString());  // nothing stored yet: widths stay
        QCOMPARE(f.grid->columnWidths(), (QList<int>{40, 71, nameWidth}));
    }

    // Before any width is stored a column shows its whole title and the
    // texts of its first rows ("Счетное устройство" was cut to "етное устройст").
    void shownColumnsFitTheirTitlesAndTexts()
    {
        Fixture f;
        const QString longText = QStringLiteral("09.12.2024 10:15:00 и ещё немного");
        f.model->setData(f.model->index(2, ColName), longText, Qt::EditRole);
        const QString longTitle = QStringLiteral("Счетное устройство");
        f.grid->showColumns({ColNum, ColName}, {QStringLiteral("№"), longTitle});
        const QFontMetrics metrics(f.grid->font());
        QVERIFY(f.grid->columnWidth(ColName) > metrics.horizontalAdvance(longText));
        QVERIFY(f.grid->columnWidth(ColName) >= f.grid->horizontalHeader()->sectionSizeHint(ColName));
        // A short column keeps the usual width.
        QCOMPARE(f.grid->columnWidth(ColNum), f.grid->horizontalHeader()->defaultSectionSize());
    }

    // Entering and leaving are the operator's moves between controls: the
    // grid's own editor and a box in front of the window are not leaving.
    void enteringAndLeavingTheGrid()
    {
        Fixture f;
        QVERIFY(f.ready());
        int entered = 0;
        int left = 0;
        connect(f.grid, &kv::DataGrid::entered, [&] { ++entered; });
        connect(f.grid, &kv::DataGrid::left, [&] { ++left; });
        f.other->setFocus();
        QCOMPARE(left, 1);
        left = 0;
        f.grid->setFocus();
        QCOMPARE(entered, 1);
        const QModelIndex name = f.model->index(0, ColName);
        f.grid->setCurrentIndex(name);
        f.grid->edit(name);
        auto *editor = f.grid->viewport()->findChild<QLineEdit *>();
        QVERIFY(editor && editor->hasFocus());
        QCOMPARE(left, 0);
        editor->selectAll();
        QTest::keyClicks(editor, QStringLiteral("zz"));
        f.other->setFocus();
        QCOMPARE(left, 1);
        // The typed text reached the record before the grid reported leaving.
        QCOMPARE(name.data().toString(), QStringLiteral("zz"));

        f.grid->setFocus();
        QWidget box;
        box.show();
        box.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&box));
        box.setFocus();
        QCOMPARE(left, 1);
    }

    void sharedPopupMenu()
    {
        Fixture f;
        QVERIFY(f.ready());
        QMenu menu;
        menu.addAction(QStringLiteral("Выделить все"));
        f.grid->setPopupMenu(&menu);
        QContextMenuEvent event(QContextMenuEvent::Mouse, f.cell(0, 0), f.grid->viewport()->mapToGlobal(f.cell(0, 0)));
        QApplication::sendEvent(f.grid->viewport(), &event);
        QVERIFY(menu.isVisible());
        menu.hide();
    }
};

QTEST_MAIN(TestDataGrid)
#include "test_data_grid.moc"
