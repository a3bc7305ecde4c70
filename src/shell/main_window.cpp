#include "shell/main_window.h"

#include "core/error_report.h"
#include "core/program_icon.h"
#include "core/ui.h"
#include "reference/data_module.h"
#include "reference/placement_store.h"
#include "reference/record_rules.h"
#include "shell/help_window.h"
#include "shell/import_window.h"
#include "shell/protocol_panel.h"
#include "shell/table_dialogs.h"
#include "widgets/child_form.h"
#include "widgets/data_grid.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>
#include <QTableView>
#include <QVBoxLayout>

namespace basekvintor {

TFExpert *FExpert = nullptr;

namespace {
const char *kNormalGeometry = "kvNormalGeometry";

QAction *makeAction(QObject *owner, const char *name, const QString &text)
{
    auto *a = new QAction(text, owner);
    a->setObjectName(QLatin1String(name));
    return a;
}

bool isNormal(const QWidget *w) { return !(w->windowState() & (Qt::WindowMaximized | Qt::WindowMinimized)); }
}  // namespace

TFExpert::TFExpert(QWidget *parent) : QMainWindow(parent)
{
    FExpert = this;
    setObjectName(QStringLiteral("FExpert"));
    setWindowTitle(kProgramTitle);
    // The programs' own icon (the toolkit's logo otherwise shows where no icon is set).
    setWindowIcon(kv::programIcon());
    setHelpStartFolder(QDir::currentPath());

    m_mdi = new QMdiArea(this);
    m_mdi->setObjectName(QStringLiteral("MDIClient"));
    setCentralWidget(m_mdi);
    // A window activated while the active one is maximized is maximized in
    // its place, whether or not the toolkit would do it on its own.
    m_mdi->setOption(QMdiArea::DontMaximizeSubWindowOnActivation);
    connect(m_mdi, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow *frame) {
        QPointer<QMdiSubWindow> previous = m_lastActive;
        m_lastActive = frame;
        if (!frame)
            return;
        if (!m_switching && previous && previous != frame && previous->isMaximized() && !frame->isMaximized() &&
            !frame->isMinimized())
            maximizeFrame(frame);
        childPositionChanged(frame);
    });

    createActions();
    new TTableActions(this);  // the "Таблица" actions, SDTable, SaveDialog1 and SFTable
    new TImportActions(this);  // AImportTest, AImportTip and the open dialog ODTest
    createMenus();
    connect(&m_state, &ShellState::changed, this, &TFExpert::applyState);
    applyState();

    m_dataProt = new TSFDataProt(this);  // loads the protocol data now

    auto *help = new QShortcut(QKeySequence::HelpContents, this);
    help->setContext(Qt::WindowShortcut);
    connect(help, &QShortcut::activated, this, &TFExpert::showHelpOfActiveChild);
}

TFExpert::~TFExpert()
{
    m_ending = true;
    if (FExpert == this)
        FExpert = nullptr;
}

void TFExpert::createActions()
{
    AImportTip = makeAction(this, "AImportTip", QStringLiteral("Импорт таблицы типов"));
    AImportTest = makeAction(this, "AImportTest", QStringLiteral("Импорт таблицы тестов"));
    ASelect = makeAction(this, "ASelect", QStringLiteral("Выбор данных из архива"));
    AGReportXL = makeAction(this, "AGReportXL", QStringLiteral("Групповой протокол в Excel (xlsx)"));
    AReportXl = makeAction(this, "AReportXl", QStringLiteral("Протокол в Excel (xlsx)"));
    ASelectAll = makeAction(this, "ASelectAll", QStringLiteral("Выделить все"));
    AExport = makeAction(this, "AExport", QStringLiteral("Экспорт"));
    ASaveAS = makeAction(this, "ASaveAS", QStringLiteral("Сохранить как"));
    APrint = makeAction(this, "APrint", QStringLiteral("Печать"));
    APrintView = makeAction(this, "APrintView", QStringLiteral("Предварительный просмотр"));
    connect(AGReportXL, &QAction::triggered, this, &TFExpert::AGReportXLExecute);
    connect(AReportXl, &QAction::triggered, this, &TFExpert::AReportXlExecute);
}

void TFExpert::createMenus()
{
    QMenuBar *bar = menuBar();
    m_windowMenu = bar->addMenu(QStringLiteral("Окно"));
    m_windowMenu->setObjectName(QStringLiteral("TBWindow"));
    connect(m_windowMenu, &QMenu::aboutToShow, this, &TFExpert::rebuildWindowMenu);

    QMenu *data = bar->addMenu(QStringLiteral("Даные"));
    data->setObjectName(QStringLiteral("TBData"));
    data->addActions({AImportTip, AImportTest, ASelect, AGReportXL, AReportXl});

    m_tableMenu = bar->addMenu(QStringLiteral("Таблица"));
    m_tableMenu->setObjectName(QStringLiteral("TBActionsTable"));
    m_tableMenu->addActions({ASelectAll, AExport, ASaveAS, APrint, APrintView});

    QMenu *options = bar->addMenu(QStringLiteral("Настройки"));
    options->setObjectName(QStringLiteral("TBOptions"));
    QAction *dataProt = options->addAction(QStringLiteral("Данные для протокола"));
    dataProt->setObjectName(QStringLiteral("TBItem14"));
    connect(dataProt, &QAction::triggered, this, &TFExpert::TBItem14Click);

    QAction *about = bar->addAction(QStringLiteral("О программе"));
    about->setObjectName(QStringLiteral("TBItem6"));
    connect(about, &QAction::triggered, this, &TFExpert::TBItem6Click);

    m_popup = new QMenu(this);
    m_popup->setObjectName(QStringLiteral("TBPopupMenu1"));
    m_popup->addActions({ASelectAll, AExport, ASaveAS, APrint, APrintView});
}

QAction *TFExpert::action(MainAction a) const
{
    switch (a) {
    case MainAction::AImportTest: return AImportTest;
    case MainAction::AImportTip: return AImportTip;
    case MainAction::ASelect: return ASelect;
    case MainAction::AGReportXL: return AGReportXL;
    case MainAction::AReportXl: return AReportXl;
    }
    return nullptr;
}

void TFExpert::applyState()
{
    for (int i = 0; i < kMainActionCount; ++i)
        action(MainAction(i))->setEnabled(m_state.actions().contains(MainAction(i)));
    m_tableMenu->menuAction()->setEnabled(m_state.tableEnabled());
}

QAbstractItemView *TFExpert::currentGrid() const { return qobject_cast<QAbstractItemView *>(m_state.currentGrid()); }

void TFExpert::attachTablePopup(QAbstractItemView *grid)
{
    // The pop-up's table actions work on the grid it was opened over, whichever
    // grid was current before (the query result, say, is not made current by
    // the focus).
    if (auto *dataGrid = qobject_cast<kv::DataGrid *>(grid)) {
        dataGrid->setPopupMenu(m_popup);
        connect(dataGrid, &kv::DataGrid::popupRequested, this, [this, grid] { m_state.gridFocusIn(grid); });
        return;
    }
    grid->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(grid, &QWidget::customContextMenuRequested, this, [this, grid](const QPoint &pos) {
        m_state.gridFocusIn(grid);
        m_popup->popup(grid->viewport()->mapToGlobal(pos));
    });
}

QMdiSubWindow *TFExpert::addChild(TChildForm *child)
{
    QMdiSubWindow *frame = m_mdi->addSubWindow(child);
    frame->setObjectName(child->formName() + QStringLiteral("Frame"));
    frame->setWindowTitle(child->windowTitle());
    // The maximized child shows its icon in the menu bar: ours, not the toolkit's logo.
    frame->setWindowIcon(kv::programIcon());
    m_frames.append(frame);
    for (QAbstractItemView *grid : child->grids())
        attachTablePopup(grid);
    connect(child, &TChildForm::gridEntered, this, [this](QAbstractItemView *grid) { m_state.gridFocusIn(grid); });
    connect(child, &TChildForm::gridLeft, this, [this] { m_state.gridFocusOut(); });

    const std::optional<Placement> placement = DM ? DM->RegPropStorageManEh1().load(child->formName())
                                                  : PlacementStore().load(child->formName());
    if (placement) {
        QRect geometry = placement->geometry;
        // Stored on a larger screen: a window out of sight is brought back to the corner.
        const QRect area = m_mdi->viewport()->rect();
        if (!area.isEmpty() && !area.intersects(geometry))
            geometry.moveTopLeft(QPoint(0, 0));
        frame->setGeometry(geometry);
        frame->setProperty(kNormalGeometry, geometry);
        const QList<QAbstractItemView *> grids = child->grids();
        for (QAbstractItemView *g : grids) {
            const QList<int> widths = placement->columnsOf(g->objectName());
            if (auto *dataGrid = qobject_cast<kv::DataGrid *>(g)) {
                dataGrid->setColumnWidths(widths);
                continue;
            }
            auto *table = qobject_cast<QTableView *>(g);
            if (!table)
                continue;
            for (int c = 0; c < widths.size(); ++c)
                if (widths.at(c) > 0)
                    table->horizontalHeader()->resizeSection(c, widths.at(c));
        }
    } else {
        const int n = int(m_frames.size()) - 1;
        const QRect r(24 * n, 24 * n, 720, 460);
        frame->setGeometry(r);
        frame->setProperty(kNormalGeometry, r);
    }
    frame->installEventFilter(this);

    const StoredState state = placement ? placement->state
                                        : (child->initiallyMaximized() ? StoredState::Maximized : StoredState::Normal);
    switch (state) {
    case StoredState::Maximized: frame->showMaximized(); break;
    case StoredState::Minimized: frame->showMinimized(); break;
    case StoredState::Normal: frame->showNormal(); break;
    }
    if (placement)
        child->restoreActiveControl(placement->activeControl);
    return frame;
}

QList<TChildForm *> TFExpert::children() const
{
    QList<TChildForm *> list;
    for (QMdiSubWindow *f : m_frames)
        if (auto *c = qobject_cast<TChildForm *>(f->widget()))
            list << c;
    return list;
}

TChildForm *TFExpert::child(const QString &formName) const
{
    for (TChildForm *c : children())
        if (c->formName() == formName)
            return c;
    return nullptr;
}

QMdiSubWindow *TFExpert::frameOf(const TChildForm *child) const
{
    for (QMdiSubWindow *f : m_frames)
        if (f->widget() == child)
            return f;
    return nullptr;
}

TChildForm *TFExpert::activeChild() const
{
    QMdiSubWindow *f = m_mdi->activeSubWindow();
    return f ? qobject_cast<TChildForm *>(f->widget()) : nullptr;
}

void TFExpert::maximizeChild(TChildForm *child)
{
    QMdiSubWindow *frame = frameOf(child);
    if (!frame)
        return;
    maximizeFrame(frame);
    childPositionChanged(frame);
}

void TFExpert::maximizeFrame(QMdiSubWindow *frame)
{
    m_switching = true;
    frame->showMaximized();
    restoreOthers(frame);
    m_mdi->setActiveSubWindow(frame);
    m_switching = false;
}

void TFExpert::restoreOthers(QMdiSubWindow *maximized)
{
    // One maximized child at a time, as the frame shows only one.
    for (QMdiSubWindow *f : m_frames)
        if (f != maximized && f->isMaximized())
            f->showNormal();
}

void TFExpert::childPositionChanged(QMdiSubWindow *frame)
{
    auto *child = qobject_cast<TChildForm *>(frame->widget());
    if (!child || m_ending)
        return;
    m_state.childPositionChanged(frame->isMaximized(), child->allowedActions(), child->focusedGrid());
}

bool TFExpert::eventFilter(QObject *watched, QEvent *event)
{
    auto *frame = qobject_cast<QMdiSubWindow *>(watched);
    if (frame && m_frames.contains(frame)) {
        switch (event->type()) {
        case QEvent::Close:
            if (!m_ending) {
                // A child window is never destroyed while the program runs.
                event->ignore();
                frame->showMinimized();
                return true;
            }
            break;
        case QEvent::Move:
        case QEvent::Resize:
            if (isNormal(frame) && frame->isVisible())
                frame->setProperty(kNormalGeometry, frame->geometry());
            childPositionChanged(frame);
            break;
        case QEvent::WindowStateChange:
        case QEvent::Show:
            childPositionChanged(frame);
            break;
        default:
            break;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TFExpert::storePlacements() const
{
    const QScreen *screen = this->screen();
    for (QMdiSubWindow *frame : m_frames) {
        auto *child = qobject_cast<TChildForm *>(frame->widget());
        if (!child)
            continue;
        Placement p;
        const QRect normal = frame->property(kNormalGeometry).toRect();
        p.geometry = normal.isValid() ? normal : frame->geometry();
        p.state = frame->isMinimized()   ? StoredState::Minimized
                  : frame->isMaximized() ? StoredState::Maximized
                                         : StoredState::Normal;
        if (QWidget *c = child->activeControl())
            p.activeControl = c->objectName();
        if (screen)
            p.screen = screen->size();
        for (QAbstractItemView *g : child->grids()) {
            if (g->objectName().isEmpty())
                continue;
            if (auto *dataGrid = qobject_cast<kv::DataGrid *>(g)) {
                p.columnWidths.append({g->objectName(), dataGrid->columnWidths()});
                continue;
            }
            auto *table = qobject_cast<QTableView *>(g);
            if (!table)
                continue;
            QList<int> widths;
            for (int c = 0; c < table->horizontalHeader()->count(); ++c)
                widths << table->horizontalHeader()->sectionSize(c);
            p.columnWidths.append({g->objectName(), widths});
        }
        (DM ? DM->RegPropStorageManEh1() : PlacementStore()).store(child->formName(), p);
    }
}

void TFExpert::closeEvent(QCloseEvent *event)
{
    storePlacements();
    m_ending = true;
    QMainWindow::closeEvent(event);
}

void TFExpert::rebuildWindowMenu()
{
    m_windowMenu->clear();
    QMdiSubWindow *active = m_mdi->activeSubWindow();
    for (QMdiSubWindow *frame : m_mdi->subWindowList(QMdiArea::CreationOrder)) {
        QAction *a = m_windowMenu->addAction(frame->windowTitle());
        a->setCheckable(true);
        a->setChecked(frame == active);
        connect(a, &QAction::triggered, this, [this, frame] {
            if (frame->isMinimized())
                frame->showNormal();
            m_mdi->setActiveSubWindow(frame);
            childPositionChanged(frame);
        });
    }
}

void TFExpert::runBuilder(const ProtocolBuilder &builder)
{
    if (!builder)
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    repaint();
    kv::guarded(builder);
    QApplication::restoreOverrideCursor();
}

void TFExpert::AGReportXLExecute()
{
    if (DM && DM->ADOMeasure && !DM->ADOMeasure->isEmpty())
        runBuilder(m_groupBuilder);
}

void TFExpert::AReportXlExecute()
{
    if (DM && DM->ADOMeasure && !DM->ADOMeasure->isEmpty() && DM->ADOPosition && !DM->ADOPosition->isEmpty())
        runBuilder(m_singleBuilder);
}

void TFExpert::showStatus(const QString &text) { statusBar()->showMessage(text); }

QString TFExpert::statusText() const { return statusBar()->currentMessage(); }

void TFExpert::TBItem14Click()
{
    if (m_dataProt->isVisible())
        return;
    kv::ui().execDialog(m_dataProt);
}

void TFExpert::TBItem6Click()
{
    QDialog about(this);
    about.setObjectName(QStringLiteral("SFAbout"));
    about.setWindowTitle(QStringLiteral("О программе"));
    auto *layout = new QVBoxLayout(&about);
    auto *name = new QLabel(QStringLiteral("База данных Kvintor v1.0"), &about);
    QFont f = name->font();
    f.setBold(true);
    name->setFont(f);
    layout->addWidget(name);
    layout->addWidget(new QLabel(
        QStringLiteral("Типы счетчиков, тесты и архив поверок установки для поверки счетчиков электроэнергии."),
        &about));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &about);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    connect(buttons, &QDialogButtonBox::accepted, &about, &QDialog::accept);
    layout->addWidget(buttons);
    kv::ui().execDialog(&about);
}

void TFExpert::showHelpOfActiveChild()
{
    if (TChildForm *c = activeChild())
        showHelp(c->helpContext());
}

}  // namespace basekvintor
