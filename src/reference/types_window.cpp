#include "reference/types_window.h"

#include "core/error_report.h"
#include "database/codes.h"
#include "reference/data_module.h"
#include "reference/types_editor.h"
#include "widgets/character_limit.h"
#include "widgets/data_grid.h"
#include "widgets/field_mapper.h"

#include <QAction>
#include <QApplication>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QToolBar>
#include <QVBoxLayout>

namespace basekvintor {

namespace {
// Type parameters hold positive values with up to six decimals.
const kv::NumberRange kParameter{0, 1e9, 6, true};
}  // namespace

TFTip::TFTip(TDM *dm, QWidget *parent)
    : TChildForm(QStringLiteral("FTip"), QStringLiteral("Типы счетчиков"), 4 /* help topic */, kTipActions, true, parent), m_dm(dm),
      m_editor(new TypesEditor(dm, this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    ToolBar = new QToolBar(this);
    ToolBar->setObjectName(QStringLiteral("ToolBar"));
    ToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    layout->addWidget(ToolBar);
    actions = RecordActions::create(this, ToolBar);

    auto *body = new QHBoxLayout;
    layout->addLayout(body, 1);
    DBTip = new kv::DataGrid(this);
    DBTip->setObjectName(QStringLiteral("DBTip"));
    DBTip->setModel(dm->ADOTip);
    const int tip = dm->ADOTip->fieldIndex(QStringLiteral("PTip"));
    const int ident = dm->ADOTip->fieldIndex(QStringLiteral("PIdentificator"));
    DBTip->showColumns({tip, ident}, {QStringLiteral("Тип счетчика"), QStringLiteral("Идентификатор")});
    DBTip->setColumn(tip, kv::GridColumn::text(20));
    DBTip->setColumn(ident, kv::GridColumn::text(20));
    DBTip->resizeColumnsToContents();
    DBTip->setTitleButtons(true);
    DBTip->setSortOnTitleClick(true);
    DBTip->setSortHandler([this](int column, kv::SortMark mark) {
        return m_editor->orderBy(m_dm->ADOTip->record().fieldName(column), mark);
    });
    body->addWidget(DBTip, 1);

    auto *panel = new QGroupBox(QStringLiteral("Параметры:"), this);
    panel->setObjectName(QStringLiteral("PParam"));
    buildPanel(panel);
    body->addWidget(panel, 1);

    registerGrid(DBTip);
    for (QWidget *w : std::initializer_list<QWidget *>{DBEditMaker, DBEditClassT, DBEditReductRate, DBIdentReductRate,
                                                        DBEditUnom, DBEditInom, DBEditImax, DBEditCenaDel, DBEnergy,
                                                        DBPhase})
        registerRecordEditor(w);

    RecordCursor *cursor = &m_editor->cursor();
    connect(actions.DataSetFirst1, &QAction::triggered, this, [this, cursor] { runAction([cursor] { cursor->first(); }); });
    connect(actions.DataSetPrior1, &QAction::triggered, this, [this, cursor] { runAction([cursor] { cursor->prior(); }); });
    connect(actions.DataSetNext1, &QAction::triggered, this, [this, cursor] { runAction([cursor] { cursor->next(); }); });
    connect(actions.DataSetLast1, &QAction::triggered, this, [this, cursor] { runAction([cursor] { cursor->last(); }); });
    connect(actions.DataSetInsert1, &QAction::triggered, this, [this, cursor] {
        runAction([this, cursor] {
            if (cursor->insert() >= 0)
                DBTip->setFocus();
        });
    });
    connect(actions.DataSetPost1, &QAction::triggered, this, [this, cursor] { runAction([cursor] { cursor->post(); }); });
    connect(actions.DataSetCancel1, &QAction::triggered, this, [cursor] { cursor->cancel(); });
    connect(actions.DataSetDelete1, &QAction::triggered, this, &TFTip::DataSetDelete1Execute);

    // The grid, the panel and the cursor show one record.
    connect(cursor, &RecordCursor::rowChanged, this, &TFTip::showRow);
    connect(DBTip, &kv::DataGrid::currentRowChanged, this, [this, cursor](int row) {
        if (row < 0 || row == cursor->row())
            return;
        if (!cursor->moveTo(row))
            DBTip->setCurrentRow(cursor->row());
    });
    // After a re-read the grid forgets its row only once it hears of it, which
    // is after the cursor did: show the row again then.
    connect(dm->ADOTip, &QAbstractItemModel::modelReset, this, [this, cursor] { showRow(cursor->row()); });
    connect(m_editor, &TypesEditor::unitLabelChanged, LCena, &QLabel::setText);
    connect(dm->ADOTip, &QAbstractItemModel::dataChanged, this, &TFTip::updateActions);
    connect(dm->ADOTip, &QAbstractItemModel::modelReset, this, &TFTip::updateActions);
    connect(dm->ADOTip, &QAbstractItemModel::rowsInserted, this, &TFTip::updateActions);
    FormCreate();
}

void TFTip::buildPanel(QWidget *panel)
{
    TDataSet *set = m_dm->ADOTip;
    auto *form = new QFormLayout(panel);
    Fields = new kv::FieldMapper(this);
    Fields->setModel(set);
    auto bind = [&](QWidget *editor, const char *name, const char *field) {
        editor->setObjectName(QLatin1String(name));
        Fields->addField(editor, set->fieldIndex(QLatin1String(field)));
    };
    DBEditMaker = new QLineEdit(panel);
    kv::limitCharacters(DBEditMaker, 50);
    bind(DBEditMaker, "DBEditMaker", "PMaker");
    DBEditClassT = new kv::NumberEdit(kParameter, panel);
    bind(DBEditClassT, "DBEditClassT", "PClassT");
    DBEditReductRate = new kv::NumberEdit(kParameter, panel);
    bind(DBEditReductRate, "DBEditReductRate", "PReductRate");
    LCena = new QLabel(m_editor->unitLabel(), panel);
    LCena->setObjectName(QStringLiteral("LCena"));
    DBIdentReductRate = new kv::CodeBox(kv::codeList(kv::constUnitText, 1, 3), panel);
    bind(DBIdentReductRate, "DBIdentReductRate", "PIdentReductRate");
    DBEditUnom = new kv::NumberEdit(kParameter, panel);
    bind(DBEditUnom, "DBEditUnom", "PUnom");
    DBEditInom = new kv::NumberEdit(kParameter, panel);
    bind(DBEditInom, "DBEditInom", "PInom");
    DBEditImax = new kv::NumberEdit(kParameter, panel);
    bind(DBEditImax, "DBEditImax", "PImax");
    DBEditCenaDel = new kv::NumberEdit(kParameter, panel);
    bind(DBEditCenaDel, "DBEditCenaDel", "PCenaDel");
    DBEnergy = new kv::CodeBox(kv::codeList(kv::energyText, 1, 2), panel);
    bind(DBEnergy, "DBEnergy", "PEnergy");
    DBPhase = new kv::CodeBox(kv::codeList(kv::schemeText, 1, 3), panel);
    bind(DBPhase, "DBPhase", "PPhase");

    auto *rate = new QHBoxLayout;
    rate->addWidget(DBEditReductRate, 1);
    rate->addWidget(LCena);
    form->addRow(QStringLiteral("Изготовитель "), DBEditMaker);
    form->addRow(QStringLiteral("Класс точности"), DBEditClassT);
    form->addRow(QStringLiteral("Постоянная счетчика"), rate);
    form->addRow(QStringLiteral("Единица измерения \nпостоянной счетчика"), DBIdentReductRate);
    form->addRow(QStringLiteral("Номинальное напряжение, В"), DBEditUnom);
    form->addRow(QStringLiteral("Номинальный ток, А"), DBEditInom);
    form->addRow(QStringLiteral("Максимальный ток, А"), DBEditImax);
    form->addRow(QStringLiteral("Цена деления отсчетного устройства"), DBEditCenaDel);
    form->addRow(QStringLiteral("Энергия"), DBEnergy);
    form->addRow(QStringLiteral("Схема включения"), DBPhase);
}

void TFTip::FormCreate()
{
    m_editor->FormCreate();
    DBTip->titles()->clearMarks();
    DBTip->setSortMark(m_dm->ADOTip->fieldIndex(QStringLiteral("PTip")), kv::SortMark::Ascending);
    showRow(m_editor->cursor().row());
}

void TFTip::DBTipTitleBtnClick(int column) { DBTip->clickTitle(column); }

void TFTip::DataSetFirst1Update()
{
    m_editor->updateUnitLabel();
    LCena->setText(m_editor->unitLabel());
}

void TFTip::showRow(int row)
{
    if (DBTip->currentRow() != row)
        DBTip->setCurrentRow(row);
    if (row < 0)
        Fields->clearEditors();
    else
        Fields->setCurrentIndex(row);
    DataSetFirst1Update();
    updateActions();
}

void TFTip::updateActions() { actions.update(m_editor->cursor()); }

bool TFTip::takeTypedValues()
{
    const bool cell = DBTip->commitEdit();
    return Fields->commitAll() && cell;
}

void TFTip::runAction(const std::function<void()> &action)
{
    if (!takeTypedValues())
        return;
    kv::guarded(action);
    updateActions();
}

void TFTip::DataSetDelete1Execute()
{
    // Deleting works on the grid's rows only.
    if (!DBTip->hasFocus() && !DBTip->isAncestorOf(QApplication::focusWidget()))
        return;
    if (!takeTypedValues())
        return;
    const QList<int> rows = rowsToDelete(DBTip->markedRows(), DBTip->currentRow());
    DBTip->setUpdatesEnabled(false);
    kv::guarded([&] { m_editor->DataSetDelete1Execute(rows, this); });
    DBTip->setUpdatesEnabled(true);
    DBTip->clearMarks();
    showRow(m_editor->cursor().row());
}

bool TFTip::event(QEvent *event)
{
    if (event->type() == QEvent::ParentChange && !m_mainActionAttached)
        m_mainActionAttached = attachMainAction(this, ToolBar, QStringLiteral("AImportTip"));
    return TChildForm::event(event);
}

}  // namespace basekvintor
