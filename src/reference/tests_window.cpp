#include "reference/tests_window.h"

#include "core/error_report.h"
#include "database/codes.h"
#include "reference/data_module.h"
#include "reference/tests_editor.h"
#include "widgets/data_grid.h"
#include "widgets/field_mapper.h"
#include "widgets/focus_watch.h"
#include "widgets/grid_columns.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSplitter>
#include <QToolBar>
#include <QVBoxLayout>

#include <climits>

namespace basekvintor {

namespace {
// The special tests' fields in panel order, and what each accepts.
const std::array<const char *, 5> kFieldSuffix = {"T", "TSec", "U", "I", "N"};
const std::array<kv::NumberRange, 5> kFieldRange = {kv::NumberRange::whole(0, 300), kv::NumberRange::whole(0, 60),
                                                    kv::NumberRange::whole(0, 120),
                                                    kv::NumberRange::real(0, 1000, 3),
                                                    kv::NumberRange::whole(0, 120)};
const kv::NumberRange kWholeNumber = kv::NumberRange::whole(0, INT_MAX);
}  // namespace

TFTest::TFTest(TDM *dm, QWidget *parent)
    : TChildForm(QStringLiteral("FTest"), QStringLiteral("Тесты"), 5 /* help topic */, kTestActions, false, parent), m_dm(dm),
      m_editor(new TestsEditor(dm, this)), m_fieldFocus(new kv::FocusWatch(this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    ToolBar = new QToolBar(this);
    ToolBar->setObjectName(QStringLiteral("ToolBar"));
    layout->addWidget(ToolBar);
    actions = RecordActions::create(this, ToolBar);

    auto *split = new QSplitter(Qt::Vertical, this);
    layout->addWidget(split, 1);

    DBTest = new kv::DataGrid(split);
    DBTest->setObjectName(QStringLiteral("DBTest"));
    DBTest->setModel(dm->ADOTest);
    const int name = dm->ADOTest->fieldIndex(QStringLiteral("PNameTable"));
    const int description = dm->ADOTest->fieldIndex(QStringLiteral("PDescription"));
    DBTest->showColumns({name, description}, {QStringLiteral("Имя теста"), QStringLiteral("Описание теста")});
    DBTest->setColumn(name, kv::GridColumn::text(20));
    DBTest->setColumn(description, kv::GridColumn::text(50));
    DBTest->resizeColumnsToContents();
    DBTest->setTitleButtons(true);
    DBTest->setSortOnTitleClick(true);
    // Sorting re-reads the tests: what is pending is written first.
    DBTest->setSortHandler([this](int column, kv::SortMark mark) {
        RecordCursor &tests = m_editor->tests();
        if (!takeTypedValues() || !tests.moveTo(tests.row()))
            return false;
        m_dm->ADOTest->sort(column, mark == kv::SortMark::Descending ? Qt::DescendingOrder : Qt::AscendingOrder);
        return true;
    });
    split->addWidget(DBTest);

    PDopTest = new QWidget(split);
    PDopTest->setObjectName(QStringLiteral("PDopTest"));
    auto *special = new QHBoxLayout(PDopTest);
    special->setContentsMargins(0, 0, 0, 0);
    Fields = new kv::FieldMapper(this);
    Fields->setModel(dm->ADOTest);
    Sensitivity = makeGroup(QStringLiteral("Чувствительность"), QStringLiteral("PSensitivity"));
    Samochod = makeGroup(QStringLiteral("Самоход"), QStringLiteral("PSamochod"));
    CountDevice = makeGroup(QStringLiteral("Счетное устройство"), QStringLiteral("PCountDevice"));
    DBCBSensitivity = Sensitivity.box;
    DBCBSamochod = Samochod.box;
    DBCBCountDevice = CountDevice.box;
    DBCBSensitivity->setObjectName(QStringLiteral("DBCBSensitivity"));
    DBCBSamochod->setObjectName(QStringLiteral("DBCBSamochod"));
    DBCBCountDevice->setObjectName(QStringLiteral("DBCBCountDevice"));
    for (SpecialGroup *g : groups())
        special->addWidget(g->group);
    split->addWidget(PDopTest);

    buildPointsGrid();
    split->addWidget(DBTestPoint);
    split->setStretchFactor(0, 2);
    split->setStretchFactor(2, 3);

    registerGrid(DBTest);
    registerGrid(DBTestPoint);
    for (SpecialGroup *g : groups()) {
        for (kv::NumberEdit *f : g->fields) {
            registerRecordEditor(f);
            m_fieldFocus->watch(f);
        }
        m_fieldFocus->watch(g->box);
    }

    // Record actions on the list worked in last.
    auto act = [this](QAction *a, std::function<void()> f) {
        connect(a, &QAction::triggered, this, [this, f] { runAction(f); });
    };
    act(actions.DataSetFirst1, [this] { m_editor->DataSetFirst1Execute(); });
    act(actions.DataSetPrior1, [this] { m_editor->DataSetPrior1Execute(); });
    act(actions.DataSetNext1, [this] { m_editor->DataSetNext1Execute(); });
    act(actions.DataSetLast1, [this] { m_editor->DataSetLast1Execute(); });
    act(actions.DataSetInsert1, [this] { m_editor->DataSetInsert1Execute(); });
    act(actions.DataSetPost1, [this] { m_editor->DataSetPost1Execute(); });
    connect(actions.DataSetCancel1, &QAction::triggered, this, [this] {
        m_editor->DataSetCancel1Execute();
        updateActions();
    });
    connect(actions.DataSetDelete1, &QAction::triggered, this, &TFTest::DataSetDelete1Execute);

    // Entering and leaving.
    connect(DBTest, &kv::DataGrid::entered, this, [this] { DBTestEnter(DBTest); });
    connect(DBTestPoint, &kv::DataGrid::entered, this, [this] { DBTestEnter(DBTestPoint); });
    connect(DBTest, &kv::DataGrid::left, this, &TFTest::DBNumberEditEh1Exit);
    connect(DBTestPoint, &kv::DataGrid::left, this, &TFTest::DBTestPointExit);
    connect(m_fieldFocus, &kv::FocusWatch::entered, this, &TFTest::DBNumberEditEh1Enter);
    connect(m_fieldFocus, &kv::FocusWatch::left, this, [this](QWidget *area) {
        if (qobject_cast<kv::NumberEdit *>(area))
            DBNumberEditEh1Exit();
    });

    // The grids, the panel and the cursors show the same records.
    RecordCursor *tests = &m_editor->tests();
    RecordCursor *points = &m_editor->points();
    connect(tests, &RecordCursor::rowChanged, this, &TFTest::showTest);
    connect(points, &RecordCursor::rowChanged, this, &TFTest::showPoint);
    connect(DBTest, &kv::DataGrid::currentRowChanged, this, [this, tests](int row) {
        if (row >= 0 && row != tests->row() && !tests->moveTo(row))
            DBTest->setCurrentRow(tests->row());
    });
    connect(DBTestPoint, &kv::DataGrid::currentRowChanged, this, [this, points](int row) {
        if (row >= 0 && row != points->row() && !points->moveTo(row))
            DBTestPoint->setCurrentRow(points->row());
    });
    // After a re-read the grids forget their rows only once they hear of it,
    // which is after the cursors did: show the rows again then.
    connect(dm->ADOTest, &QAbstractItemModel::modelReset, this, [this, tests] { showTest(tests->row()); });
    connect(dm->ADOTestPoint, &QAbstractItemModel::modelReset, this, [this, points] { showPoint(points->row()); });
    connect(m_editor, &TestsEditor::targetChanged, this, &TFTest::updateActions);
    for (QAbstractItemModel *model : {static_cast<QAbstractItemModel *>(dm->ADOTest),
                                      static_cast<QAbstractItemModel *>(dm->ADOTestPoint)}) {
        connect(model, &QAbstractItemModel::dataChanged, this, &TFTest::updateActions);
        connect(model, &QAbstractItemModel::modelReset, this, &TFTest::updateActions);
        connect(model, &QAbstractItemModel::rowsInserted, this, &TFTest::updateActions);
    }
    connect(dm->ADOTest, &QAbstractItemModel::dataChanged, this, &TFTest::DBCBSensitivityClick);
    FormCreate();
}

TFTest::SpecialGroup TFTest::makeGroup(const QString &title, const QString &prefix)
{
    SpecialGroup g;
    g.group = new QGroupBox(PDopTest);
    auto *grid = new QGridLayout(g.group);
    g.box = new QCheckBox(title, g.group);
    grid->addWidget(g.box, 0, 0, 1, 4);
    Fields->addField(g.box, m_dm->ADOTest->fieldIndex(prefix + QStringLiteral("CB")));
    for (int i = 0; i < 5; ++i) {
        auto *edit = new kv::NumberEdit(kFieldRange[i], g.group);
        edit->setObjectName(QStringLiteral("DB") + prefix.mid(1) + QLatin1String(kFieldSuffix[i]));
        Fields->addField(edit, m_dm->ADOTest->fieldIndex(prefix + QLatin1String(kFieldSuffix[i])));
        g.fields[i] = edit;
    }
    grid->addWidget(new QLabel(QStringLiteral("Время теста "), g.group), 1, 0);
    grid->addWidget(g.fields[0], 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("мин"), g.group), 1, 2);
    grid->addWidget(g.fields[1], 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("сек"), g.group), 1, 4);
    grid->addWidget(new QLabel(QStringLiteral("Напряжение(%)"), g.group), 2, 0);
    grid->addWidget(g.fields[2], 2, 1);
    grid->addWidget(new QLabel(QStringLiteral("Ток(%)"), g.group), 3, 0);
    grid->addWidget(g.fields[3], 3, 1);
    grid->addWidget(new QLabel(QStringLiteral("Номер точки"), g.group), 4, 0);
    grid->addWidget(g.fields[4], 4, 1);
    // The mapper takes the tick first; then the fields follow and the test is written.
    connect(g.box, &QCheckBox::clicked, this, &TFTest::DBCBSensitivityClick);
    connect(g.box, &QCheckBox::clicked, this, &TFTest::DBCBSensitivityMouseUp);
    return g;
}

void TFTest::buildPointsGrid()
{
    TDataSet *set = m_dm->ADOTestPoint;
    DBTestPoint = new kv::DataGrid(this);
    DBTestPoint->setObjectName(QStringLiteral("DBTestPoint"));
    DBTestPoint->setModel(set);
    struct Column {
        const char *field;
        const char *title;
        kv::GridColumn spec;
    };
    const QList<Column> columns = {
        {"PNumPoint1", "№ Точки", kv::GridColumn::number(kWholeNumber).centred()},
        {"PPersentU", "U%", kv::GridColumn::number(kWholeNumber).centred()},
        {"PPhaseUA", "UA", kv::GridColumn::check()},
        {"PPhaseUB", "UB", kv::GridColumn::check()},
        {"PPhaseUC", "UC", kv::GridColumn::check()},
        {"PPersentI", "I%", kv::GridColumn::number(kWholeNumber).centred()},
        {"PPhaseIA", "IA", kv::GridColumn::check()},
        {"PPhaseIB", "IB", kv::GridColumn::check()},
        {"PPhaseIC", "IC", kv::GridColumn::check()},
        {"PKM", "KM", kv::GridColumn::number(kv::NumberRange::real(0, 1, 3)).centred()},
        {"PLC", "L/C", kv::GridColumn::pickList(kv::codeList(kv::loadCharacterText, 0, 2)).centred()},
        {"PCountRotation", "Число оборотов", kv::GridColumn::number(kWholeNumber).centred()},
        {"PMeasureMax", "Допуск, %", kv::GridColumn::number(kv::NumberRange{0, 0, 3, true}).centred()},
    };
    QList<int> shown;
    QStringList titles;
    for (const Column &c : columns) {
        const int index = set->fieldIndex(QLatin1String(c.field));
        shown << index;
        titles << QString::fromUtf8(c.title);
        DBTestPoint->setColumn(index, c.spec);
    }
    DBTestPoint->showColumns(shown, titles);
    DBTestPoint->resizeColumnsToContents();
}

void TFTest::FormCreate()
{
    showTest(m_editor->tests().row());
    showPoint(m_editor->points().row());
    DBCBSensitivityClick();
}

void TFTest::DBCBSensitivityClick()
{
    const bool any = Fields->currentIndex() >= 0;
    for (SpecialGroup *g : groups())
        for (kv::NumberEdit *f : g->fields)
            f->setEnabled(any && g->box->isChecked());
    for (SpecialGroup *g : groups())
        g->box->setEnabled(any);
}

void TFTest::DBCBSensitivityMouseUp()
{
    kv::guarded([this] { m_editor->specialTestClicked(); });
    updateActions();
}

void TFTest::DBTestEnter(kv::DataGrid *grid)
{
    m_editor->setTarget(grid == DBTestPoint ? TestsEditor::Target::Points : TestsEditor::Target::Tests);
}

void TFTest::DBNumberEditEh1Enter() { m_editor->setTarget(TestsEditor::Target::Tests); }

void TFTest::DBNumberEditEh1Exit()
{
    kv::guarded([this] { m_editor->specialTestClicked(); });
    updateActions();
}

void TFTest::DBTestPointExit()
{
    kv::guarded([this] { m_editor->pointsLeft(); });
    updateActions();
}

void TFTest::showTest(int row)
{
    if (DBTest->currentRow() != row)
        DBTest->setCurrentRow(row);
    if (row < 0)
        Fields->clearEditors();
    else
        Fields->setCurrentIndex(row);
    DBCBSensitivityClick();
    updateActions();
}

void TFTest::showPoint(int row)
{
    if (DBTestPoint->currentRow() != row)
        DBTestPoint->setCurrentRow(row);
    updateActions();
}

void TFTest::updateActions() { actions.update(m_editor->targetCursor()); }

bool TFTest::takeTypedValues()
{
    const bool tests = DBTest->commitEdit();
    const bool points = DBTestPoint->commitEdit();
    return Fields->commitAll() && tests && points;
}

void TFTest::runAction(const std::function<void()> &action)
{
    if (!takeTypedValues())
        return;
    kv::guarded(action);
    updateActions();
}

void TFTest::DataSetDelete1Execute()
{
    QWidget *focus = QApplication::focusWidget();
    kv::DataGrid *grid = nullptr;
    for (kv::DataGrid *g : {DBTest, DBTestPoint})
        if (focus && (focus == g || g->isAncestorOf(focus)))
            grid = g;
    if (!grid)
        return;
    DBTestEnter(grid);
    if (!takeTypedValues())
        return;
    const QList<int> rows = rowsToDelete(grid->markedRows(), grid->currentRow());
    grid->setUpdatesEnabled(false);
    kv::guarded([&] { m_editor->DataSetDelete1Execute(rows, this); });
    grid->setUpdatesEnabled(true);
    grid->clearMarks();
    showTest(m_editor->tests().row());
    showPoint(m_editor->points().row());
}

bool TFTest::event(QEvent *event)
{
    if (event->type() == QEvent::ParentChange && !m_mainActionAttached)
        m_mainActionAttached = attachMainAction(this, ToolBar, QStringLiteral("AImportTest"));
    return TChildForm::event(event);
}

}  // namespace basekvintor
