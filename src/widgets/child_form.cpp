#include "widgets/child_form.h"

#include "widgets/data_grid.h"
#include "widgets/focus_watch.h"

#include <QAbstractItemView>
#include <QApplication>

namespace basekvintor {

TChildForm::TChildForm(const QString &name, const QString &caption, int helpContext, MainActionSet allowed,
                       bool initiallyMaximized, QWidget *parent)
    : QWidget(parent), m_helpContext(helpContext), m_allowed(allowed), m_initiallyMaximized(initiallyMaximized)
{
    setObjectName(name);
    setWindowTitle(caption);
    connect(qApp, &QApplication::focusChanged, this, &TChildForm::focusChanged);
    // A grid with its in-place editor, or a field editor, is one area: a
    // pop-up menu, a box or another window taking the focus is no leaving.
    m_focusWatch = new kv::FocusWatch(this);
    connect(m_focusWatch, &kv::FocusWatch::entered, this, [this](QWidget *area) {
        if (m_focusGrids.contains(area))
            Q_EMIT gridEntered(static_cast<QAbstractItemView *>(area));
    });
    connect(m_focusWatch, &kv::FocusWatch::left, this, [this] { leaveUnlessInGrid(); });
}

void TChildForm::leaveUnlessInGrid()
{
    // Each grid watches its own focus, so when the focus moves from one grid to
    // another the second may hear of its entering before the first of its
    // leaving: a leaving into a grid that follows the focus is no leaving.
    for (QWidget *w = QApplication::focusWidget(); w; w = w->parentWidget())
        if (m_followedGrids.contains(w))
            return;
    Q_EMIT gridLeft();
}

void TChildForm::registerGrid(QAbstractItemView *grid, bool followsFocus)
{
    m_grids.append(grid);
    if (!followsFocus)
        return;
    m_followedGrids.append(grid);
    if (auto *dataGrid = qobject_cast<kv::DataGrid *>(grid)) {
        // The toolkit's grid tells entering from leaving itself.
        connect(dataGrid, &kv::DataGrid::entered, this, [this, grid] { Q_EMIT gridEntered(grid); });
        connect(dataGrid, &kv::DataGrid::left, this, [this] { leaveUnlessInGrid(); });
        return;
    }
    m_focusGrids.append(grid);
    m_focusWatch->watch(grid);
}

void TChildForm::registerRecordEditor(QWidget *editor) { m_focusWatch->watch(editor); }

QAbstractItemView *TChildForm::focusedGrid() const
{
    for (QWidget *w = m_activeControl; w && w != this; w = w->parentWidget())
        if (auto *grid = qobject_cast<QAbstractItemView *>(w); grid && m_grids.contains(grid))
            return grid;
    return nullptr;
}

void TChildForm::restoreActiveControl(const QString &name)
{
    if (name.isEmpty())
        return;
    if (auto *w = findChild<QWidget *>(name); w && w->focusPolicy() != Qt::NoFocus) {
        m_activeControl = w;
        w->setFocus(Qt::OtherFocusReason);
    }
}

void TChildForm::focusChanged(QWidget *, QWidget *now)
{
    if (now && isAncestorOf(now))
        m_activeControl = now;
}

}  // namespace basekvintor
