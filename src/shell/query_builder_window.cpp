// The query builder, TFSQLShape: the columns and conditions the operator
// ticks, turned into the statement the result window runs.

#include "shell/query_window.h"

#include "core/clock.h"
#include "core/error_report.h"
#include "core/ui.h"
#include "database/codes.h"
#include "reference/archive_curves_view.h"
#include "reference/archive_view.h"
#include "reference/data_module.h"
#include "shell/child_windows.h"
#include "shell/help_window.h"
#include "widgets/data_grid.h"

#include <QAction>
#include <QApplication>
#include <QBrush>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QScreen>
#include <QShortcut>
#include <QSqlRecord>
#include <QStyle>
#include <QTabWidget>
#include <QTableView>
#include <QToolBar>
#include <QVBoxLayout>

namespace basekvintor {

// --- TFSQLShape ------------------------------------------------------------

namespace {

QGroupBox *group(const QString &title, QWidget *parent)
{
    auto *g = new QGroupBox(title, parent);
    return g;
}

QDateEdit *datePicker(const char *name, QWidget *parent)
{
    auto *d = new QDateEdit(kv::now().date(), parent);
    d->setObjectName(QLatin1String(name));
    d->setCalendarPopup(true);
    // The form the condition is written in, not the program's C locale.
    d->setLocale(kv::dateLocale());
    return d;
}

QRadioButton *radio(const char *name, const QString &text, QWidget *parent)
{
    auto *r = new QRadioButton(text, parent);
    r->setObjectName(QLatin1String(name));
    return r;
}

}  // namespace

TFSQLShape *FSQLShape = nullptr;

TFSQLShape::TFSQLShape(TDM *dm, QWidget *parent) : QDialog(parent), m_dm(dm)
{
    FSQLShape = this;
    setObjectName(QStringLiteral("FSQLShape"));
    setWindowTitle(QStringLiteral("Выбор данных"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    // The builder's dates start at today, as its pickers do.
    const QDate today = kv::now().date();
    m_builder.DTPBefore = m_builder.DTPAfter = m_builder.DTPFBFrom = m_builder.DTPFBBefore = today;

    auto *layout = new QVBoxLayout(this);
    ToolBar = new QToolBar(this);
    ToolBar->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    AGenerateSQL = ToolBar->addAction(QStringLiteral("Выполнить запрос"));
    AGenerateSQL->setObjectName(QStringLiteral("AGenerateSQL"));
    auto *spacer = new QWidget(ToolBar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    ToolBar->addWidget(spacer);
    ASelect = ToolBar->addAction(QStringLiteral("Выделить все"));
    ASelect->setObjectName(QStringLiteral("ASelect"));
    ADeSelect = ToolBar->addAction(QStringLiteral("Снять выделение"));
    ADeSelect->setObjectName(QStringLiteral("ADeSelect"));
    layout->addWidget(ToolBar);

    PageControl = new QTabWidget(this);
    PageControl->setObjectName(QStringLiteral("PageControl1"));
    PageControl->setTabPosition(QTabWidget::South);
    PageControl->addTab(makeColumnsPage(), QStringLiteral("Параметры запроса"));
    PageControl->addTab(makeConditionsPage(), QStringLiteral("Условия выбора "));
    layout->addWidget(PageControl);

    connect(PageControl, &QTabWidget::currentChanged, this, &TFSQLShape::pageChanged);
    connect(AGenerateSQL, &QAction::triggered, this, [this] { kv::guarded([this] { GenerateSQL(); }); });
    connect(ASelect, &QAction::triggered, this, [this] {
        m_builder.selectAll();
        showState();
    });
    connect(ADeSelect, &QAction::triggered, this, [this] {
        m_builder.deselectAll();
        showState();
    });

    auto *help = new QShortcut(QKeySequence::HelpContents, this);
    connect(help, &QShortcut::activated, this, [] { showHelp(kHelpSQLShape); });

    showState();
    adjustSize();
    setFixedSize(sizeHint());
}

TFSQLShape::~TFSQLShape()
{
    if (FSQLShape == this)
        FSQLShape = nullptr;
}

QWidget *TFSQLShape::makeColumnsPage()
{
    auto *page = new QWidget(this);
    auto *layout = new QVBoxLayout(page);
    layout->addWidget(new QLabel(QStringLiteral("Отметьте поля для запроса из архива"), page));
    auto *groups = new QHBoxLayout;
    layout->addLayout(groups);
    const struct {
        const char *title;
        int first, last;
    } kGroups[] = {{"Тип счетчика", 0, 3}, {"Счетчики", 4, 9}, {"Результаты поверки", 10, 12}};
    for (const auto &g : kGroups) {
        QGroupBox *box = group(QString::fromUtf8(g.title), page);
        auto *boxLayout = new QVBoxLayout(box);
        for (int i = g.first; i <= g.last; ++i) {
            const QueryColumnInfo &info = queryColumnInfo(QueryColumn(i));
            auto *check = new QCheckBox(info.caption, box);
            check->setObjectName(QLatin1String(info.box));
            connect(check, &QCheckBox::clicked, this, [this, i](bool on) {
                m_builder.setTicked(QueryColumn(i), on);
                showState();
            });
            columnBoxes[std::size_t(i)] = check;
            boxLayout->addWidget(check);
        }
        boxLayout->addStretch();
        groups->addWidget(box, 0, Qt::AlignTop);
    }
    layout->addStretch();
    return page;
}

QLineEdit *TFSQLShape::makeErrorEdit(const char *name, QString *target)
{
    auto *e = new QLineEdit(*target, this);
    e->setObjectName(QLatin1String(name));
    e->setMaxLength(QueryBuilder::kErrorEditLength);
    e->installEventFilter(this);
    connect(e, &QLineEdit::textChanged, this, [target](const QString &t) { *target = t; });
    return e;
}

QWidget *TFSQLShape::makeConditionsPage()
{
    auto *page = new QWidget(this);
    auto *layout = new QVBoxLayout(page);
    const auto conditionBox = [this, page](QueryCondition c, const char *name, const QString &text) {
        auto *check = new QCheckBox(text, page);
        check->setObjectName(QLatin1String(name));
        connect(check, &QCheckBox::toggled, this, [this, c](bool on) {
            if (m_showing)
                return;
            m_builder.setCondition(c, on);
            showState();
        });
        conditionBoxes[std::size_t(c)] = check;
        return check;
    };

    // Date.
    layout->addWidget(conditionBox(QueryCondition::Date, "CheckBoxData", QStringLiteral("По дате поверки")));
    GBDate = group(QStringLiteral("Дата поверки"), page);
    {
        auto *g = new QGridLayout(GBDate);
        RBBefore = radio("RBBefore", QStringLiteral("до"), GBDate);
        RBAfter = radio("RBAfter", QStringLiteral("после"), GBDate);
        RBFromBefore = radio("RBFromBefore", QStringLiteral("от "), GBDate);
        DTPBefore = datePicker("DTPBefore", GBDate);
        DTPAfter = datePicker("DTPAfter", GBDate);
        DTPFBFrom = datePicker("DTPFBFrom", GBDate);
        DTPFBBefore = datePicker("DTPFBBefore", GBDate);
        g->addWidget(RBBefore, 0, 0);
        g->addWidget(DTPBefore, 0, 1);
        g->addWidget(RBAfter, 1, 0);
        g->addWidget(DTPAfter, 1, 1);
        g->addWidget(RBFromBefore, 2, 0);
        g->addWidget(DTPFBFrom, 2, 1);
        g->addWidget(new QLabel(QStringLiteral("до"), GBDate), 2, 2);
        g->addWidget(DTPFBBefore, 2, 3);
        auto *choices = new QButtonGroup(GBDate);
        choices->addButton(RBBefore, int(RangeChoice::Before));
        choices->addButton(RBAfter, int(RangeChoice::After));
        choices->addButton(RBFromBefore, int(RangeChoice::FromTo));
        connect(choices, &QButtonGroup::idClicked, this, [this](int id) {
            m_builder.dateChoice = RangeChoice(id);
            showState();
        });
        const auto bind = [this](QDateEdit *edit, QDate *target) {
            connect(edit, &QDateEdit::dateChanged, this, [target](QDate d) { *target = d; });
        };
        bind(DTPBefore, &m_builder.DTPBefore);
        bind(DTPAfter, &m_builder.DTPAfter);
        bind(DTPFBFrom, &m_builder.DTPFBFrom);
        bind(DTPFBBefore, &m_builder.DTPFBBefore);
    }
    layout->addWidget(GBDate);

    // Error.
    layout->addWidget(
        conditionBox(QueryCondition::Error, "CBMistakeCondition", QStringLiteral("По значению погрешности")));
    GBMistake = group(QStringLiteral("Значения погрешности"), page);
    {
        auto *g = new QGridLayout(GBMistake);
        RBMBefore = radio("RBMBefore", QStringLiteral("меньше"), GBMistake);
        RBMAfter = radio("RBMAfter", QStringLiteral("больше"), GBMistake);
        RBMFromBefore = radio("RBMFromBefore", QStringLiteral("от "), GBMistake);
        EBefore = makeErrorEdit("EBefore", &m_builder.EBefore);
        EAfter = makeErrorEdit("EAfter", &m_builder.EAfter);
        EFBFrom = makeErrorEdit("EFBFrom", &m_builder.EFBFrom);
        EFBBefore = makeErrorEdit("EFBBefore", &m_builder.EFBBefore);
        g->addWidget(RBMBefore, 0, 0);
        g->addWidget(EBefore, 0, 1);
        g->addWidget(RBMAfter, 1, 0);
        g->addWidget(EAfter, 1, 1);
        g->addWidget(RBMFromBefore, 2, 0);
        g->addWidget(EFBFrom, 2, 1);
        g->addWidget(new QLabel(QStringLiteral("до"), GBMistake), 2, 2);
        g->addWidget(EFBBefore, 2, 3);
        auto *choices = new QButtonGroup(GBMistake);
        choices->addButton(RBMBefore, int(RangeChoice::Before));
        choices->addButton(RBMAfter, int(RangeChoice::After));
        choices->addButton(RBMFromBefore, int(RangeChoice::FromTo));
        connect(choices, &QButtonGroup::idClicked, this, [this](int id) {
            m_builder.errorChoice = RangeChoice(id);
            showState();
        });
    }
    layout->addWidget(GBMistake);

    // Type and identifier.
    layout->addWidget(conditionBox(QueryCondition::Type, "CBTipIdentB", QStringLiteral("По типу и обозначению")));
    GBTip = group(QStringLiteral("Тип и обозначение счетчика "), page);
    {
        auto *g = new QHBoxLayout(GBTip);
        g->addWidget(new QLabel(QStringLiteral("Тип "), GBTip));
        DBLCTip = new QComboBox(GBTip);
        DBLCTip->setObjectName(QStringLiteral("DBLCTip"));
        auto *list = new QTableView(DBLCTip);
        list->setSelectionBehavior(QAbstractItemView::SelectRows);
        list->verticalHeader()->hide();
        list->horizontalHeader()->hide();
        list->horizontalHeader()->setStretchLastSection(true);
        list->setMinimumWidth(300);
        DBLCTip->setView(list);
        if (m_dm && m_dm->ADOTipDis) {
            DBLCTip->setModel(m_dm->ADOTipDis);
            DBLCTip->setModelColumn(1);  // PTip; the list shows PTip and PIdentificator
            list->hideColumn(0);
        }
        DBLCTip->setCurrentIndex(-1);
        connect(DBLCTip, &QComboBox::activated, this, &TFSQLShape::chooseType);
        g->addWidget(DBLCTip, 1);
        g->addWidget(new QLabel(QStringLiteral("Обозначение"), GBTip));
        EIdent = new QLineEdit(GBTip);
        EIdent->setObjectName(QStringLiteral("EIdent"));
        EIdent->setReadOnly(true);
        g->addWidget(EIdent, 1);
    }
    layout->addWidget(GBTip);

    // Meter number.
    {
        auto *row = new QHBoxLayout;
        row->addWidget(conditionBox(QueryCondition::Number, "CBNumberB", QStringLiteral("По номеру счетчика")));
        DBLCNumber = new QComboBox(page);
        DBLCNumber->setObjectName(QStringLiteral("DBLCNumber"));
        // Typing finds a number in a long list; the typed text is what is looked for.
        DBLCNumber->setEditable(true);
        DBLCNumber->setInsertPolicy(QComboBox::NoInsert);
        // Sized for the longest number the archive keeps, not from its items:
        // measuring hundreds of thousands of numbers read the whole list and
        // held up the program's start by seconds.
        DBLCNumber->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        DBLCNumber->setMinimumContentsLength(15);
        if (m_dm && m_dm->ADOPositionDis)
            DBLCNumber->setModel(m_dm->ADOPositionDis);
        DBLCNumber->setCurrentIndex(-1);
        DBLCNumber->setEditText(QString());
        connect(DBLCNumber, &QComboBox::currentTextChanged, this,
                [this](const QString &t) { m_builder.number = t.trimmed(); });
        row->addWidget(DBLCNumber, 1);
        layout->addLayout(row);
    }

    // Verdict.
    {
        auto *row = new QHBoxLayout;
        row->addWidget(conditionBox(QueryCondition::Verdict, "CBTotalB", QStringLiteral("По итогу поверки")));
        CBoxTotal = new QComboBox(page);
        CBoxTotal->setObjectName(QStringLiteral("CBoxTotal"));
        for (int code = 0; code <= 2; ++code)
            CBoxTotal->addItem(kv::verdictText(code));
        CBoxTotal->setCurrentIndex(0);
        connect(CBoxTotal, &QComboBox::currentIndexChanged, this,
                [this](int i) { m_builder.verdict = std::max(0, i); });
        row->addWidget(CBoxTotal, 1);
        layout->addLayout(row);
    }
    layout->addStretch();
    return page;
}

void TFSQLShape::chooseType(int row)
{
    if (!m_dm || !m_dm->ADOTipDis || row < 0 || row >= m_dm->ADOTipDis->rowCount()) {
        m_builder.typeIndex.reset();
        EIdent->clear();
        return;
    }
    const QSqlRecord r = m_dm->ADOTipDis->record(row);
    m_builder.typeIndex = r.value(0).toLongLong();
    EIdent->setText(r.value(2).toString());
    if (DBLCTip->currentIndex() != row)
        DBLCTip->setCurrentIndex(row);
}

bool TFSQLShape::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress &&
        (watched == EBefore || watched == EAfter || watched == EFBFrom || watched == EFBBefore)) {
        auto *key = static_cast<QKeyEvent *>(event);
        const QString text = key->text();
        // Only typed characters are filtered; moving and editing keys pass.
        if (text.size() == 1 && (text.at(0).isPrint() || text.at(0) == QChar(8))) {
            const std::optional<QChar> in = QueryBuilder::errorEditKey(text.at(0));
            if (!in)
                return true;
            if (*in != text.at(0)) {
                static_cast<QLineEdit *>(watched)->insert(QString(*in));
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TFSQLShape::showState()
{
    m_showing = true;
    for (int i = 0; i < kQueryColumnCount; ++i) {
        QCheckBox *box = columnBoxes[std::size_t(i)];
        box->setChecked(m_builder.ticked(QueryColumn(i)));
        box->setEnabled(m_builder.enabled(QueryColumn(i)));
    }
    for (int i = 0; i < kQueryConditionCount; ++i)
        conditionBoxes[std::size_t(i)]->setChecked(m_builder.condition(QueryCondition(i)));

    const bool date = m_builder.controlsEnabled(QueryCondition::Date);
    GBDate->setEnabled(date);
    RBBefore->setChecked(m_builder.dateChoice == RangeChoice::Before);
    RBAfter->setChecked(m_builder.dateChoice == RangeChoice::After);
    RBFromBefore->setChecked(m_builder.dateChoice == RangeChoice::FromTo);
    DTPBefore->setEnabled(m_builder.dateChoice == RangeChoice::Before);
    DTPAfter->setEnabled(m_builder.dateChoice == RangeChoice::After);
    DTPFBFrom->setEnabled(m_builder.dateChoice == RangeChoice::FromTo);
    DTPFBBefore->setEnabled(m_builder.dateChoice == RangeChoice::FromTo);
    DTPBefore->setDate(m_builder.DTPBefore);
    DTPAfter->setDate(m_builder.DTPAfter);
    DTPFBFrom->setDate(m_builder.DTPFBFrom);
    DTPFBBefore->setDate(m_builder.DTPFBBefore);

    GBMistake->setEnabled(m_builder.controlsEnabled(QueryCondition::Error));
    RBMBefore->setChecked(m_builder.errorChoice == RangeChoice::Before);
    RBMAfter->setChecked(m_builder.errorChoice == RangeChoice::After);
    RBMFromBefore->setChecked(m_builder.errorChoice == RangeChoice::FromTo);
    EBefore->setEnabled(m_builder.errorChoice == RangeChoice::Before);
    EAfter->setEnabled(m_builder.errorChoice == RangeChoice::After);
    EFBFrom->setEnabled(m_builder.errorChoice == RangeChoice::FromTo);
    EFBBefore->setEnabled(m_builder.errorChoice == RangeChoice::FromTo);
    const auto setText = [](QLineEdit *e, const QString &t) {
        if (e->text() != t)
            e->setText(t);
    };
    setText(EBefore, m_builder.EBefore);
    setText(EAfter, m_builder.EAfter);
    setText(EFBFrom, m_builder.EFBFrom);
    setText(EFBBefore, m_builder.EFBBefore);

    GBTip->setEnabled(m_builder.controlsEnabled(QueryCondition::Type));
    DBLCNumber->setEnabled(m_builder.controlsEnabled(QueryCondition::Number));
    CBoxTotal->setEnabled(m_builder.controlsEnabled(QueryCondition::Verdict));
    if (CBoxTotal->currentIndex() != m_builder.verdict)
        CBoxTotal->setCurrentIndex(m_builder.verdict);
    if (DBLCNumber->currentText() != m_builder.number)
        DBLCNumber->setEditText(m_builder.number);
    m_showing = false;
}

void TFSQLShape::pageChanged(int page)
{
    ASelect->setVisible(page == 0);
    ADeSelect->setVisible(page == 0);
}

void TFSQLShape::rereadNumbers()
{
    if (!m_dm || !m_dm->ADOPositionDis)
        return;
    const QString chosen = m_builder.number;
    m_dm->ADOPositionDis->refresh();
    // Looking for no number would page through every number of the archive.
    DBLCNumber->setCurrentIndex(chosen.isEmpty() ? -1 : DBLCNumber->findText(chosen));
    DBLCNumber->setEditText(chosen);
    m_builder.number = chosen;
}

int TFSQLShape::showModal()
{
    m_builder.applyConditionRule();
    rereadNumbers();
    pageChanged(PageControl->currentIndex());
    showState();
    if (const QScreen *s = screen() ? screen() : QApplication::primaryScreen())
        move(s->availableGeometry().center() - rect().center());
    return kv::ui().execDialog(this);
}

bool TFSQLShape::GenerateSQL()
{
    using O = ComposedQuery::Outcome;
    const ComposedQuery q = m_builder.compose();
    if (q.outcome == O::NoColumn) {
        kv::ui().error(this, kQueryCaption, kNoColumnText);
        return false;
    }
    // The grid shows the new choice of columns even when composing stops later.
    Q_EMIT fieldsChosen(q.visibleFields);
    switch (q.outcome) {
    case O::Ready: break;
    case O::NoColumn:
    case O::Silent: return false;
    case O::NotANumber: kv::ui().warning(this, kSelectCaption, notANumberText(q.badNumber)); return false;
    case O::NoType: kv::ui().warning(this, kSelectCaption, kNoTypeText); return false;
    case O::NoNumber: kv::ui().warning(this, kSelectCaption, kNoNumberText); return false;
    }
    m_builder.keepParts(q);
    QString error = m_dm && m_dm->ADOSQL ? m_dm->ADOSQL->open(q.statement) : QStringLiteral("no data module");
    if (!error.isEmpty()) {
        kv::ui().error(this, kQueryFailedCaption, kQueryFailedText);
        return false;
    }
    accept();
    return true;
}

}  // namespace basekvintor
