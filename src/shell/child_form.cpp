#include "shell/child_form.h"

#include "widgets/data_grid.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QFocusEvent>

namespace basekvintor {

TChildForm::TChildForm(const QString &name, const QString &caption, int helpContext, MainActionSet allowed,
                       bool initiallyMaximized, QWidget *parent)
    : QWidget(parent), m_helpContext(helpContext), m_allowed(allowed), m_initiallyMaximized(initiallyMaximized)
{
    setObjectName(name);
    setWindowTitle(caption);
    connect(qApp, &QApplication::focusChanged, this, &TChildForm::focusChanged);
}

void TChildForm::registerGrid(QAbstractItemView *grid, bool followsFocus)
{
    m_grids.append(grid);
    if (!followsFocus)
        return;
    if (auto *dataGrid = qobject_cast<kv::DataGrid *>(grid)) {
        // The toolkit's grid already tells entering from leaving (its in-place
        // editor, menus and boxes are part of it).
        connect(dataGrid, &kv::DataGrid::entered, this, [this, grid] { Q_EMIT gridEntered(grid); });
        connect(dataGrid, &kv::DataGrid::left, this, [this] { Q_EMIT gridLeft(); });
        return;
    }
    m_focusGrids.append(grid);
    grid->installEventFilter(this);
}

void TChildForm::registerRecordEditor(QWidget *editor)
{
    m_editors.append(editor);
    editor->installEventFilter(this);
}

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

bool TChildForm::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::FocusIn && m_focusGrids.contains(watched)) {
        const auto reason = static_cast<QFocusEvent *>(event)->reason();
        // Coming back from a pop-up menu or another window is no entering.
        if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason)
            Q_EMIT gridEntered(static_cast<QAbstractItemView *>(watched));
    } else if (event->type() == QEvent::FocusOut &&
               (m_focusGrids.contains(watched) || m_editors.contains(watched))) {
        const auto reason = static_cast<QFocusEvent *>(event)->reason();
        QWidget *next = QApplication::focusWidget();
        auto *watchedWidget = static_cast<QWidget *>(watched);
        // A pop-up menu, another window, or the grid's own in-place editor
        // taking the focus is no leaving.
        const bool leaves = reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason &&
                            !(next && watchedWidget->isAncestorOf(next));
        if (leaves)
            Q_EMIT gridLeft();
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace basekvintor
