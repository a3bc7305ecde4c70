#pragma once
// What every child window of the main window offers the frame: its name (the
// settings group of its placement), caption, help topic, the main actions it
// allows while maximized, its grids, and its focused control. A window
// registers its grids and record editors; the frame does the rest.

#include "widgets/main_actions.h"

#include <QList>
#include <QPointer>
#include <QWidget>

class QAbstractItemView;
namespace kv {
class FocusWatch;
}

namespace basekvintor {

class TChildForm : public QWidget
{
    Q_OBJECT
public:
    TChildForm(const QString &name, const QString &caption, int helpContext, MainActionSet allowed,
               bool initiallyMaximized, QWidget *parent = nullptr);

    QString formName() const { return objectName(); }
    int helpContext() const { return m_helpContext; }
    MainActionSet allowedActions() const { return m_allowed; }
    // The state the window takes when no placement was stored.
    bool initiallyMaximized() const { return m_initiallyMaximized; }

    // The grids whose column widths are kept, in the window's order.
    QList<QAbstractItemView *> grids() const { return m_grids; }
    // The control that last had the input focus inside the window (kept while
    // another window is active), or null.
    QWidget *activeControl() const { return m_activeControl; }
    // The grid the focused control belongs to (the grid or its in-place editor), or null.
    QAbstractItemView *focusedGrid() const;
    // Gives the input focus to the named control (a restored placement).
    void restoreActiveControl(const QString &objectName);

Q_SIGNALS:
    // The focus rule: a grid gained the focus; a grid or record editor lost it
    // to another control of the window.
    void gridEntered(QAbstractItemView *grid);
    void gridLeft();

protected:
    // `followsFocus`: the grid becomes the current grid when it gains the focus
    // (the query result grid does not; it becomes current only by activation).
    void registerGrid(QAbstractItemView *grid, bool followsFocus = true);
    // A field editor of the record shown in a grid: leaving it clears the current grid.
    void registerRecordEditor(QWidget *editor);

private:
    void focusChanged(QWidget *old, QWidget *now);
    void leaveUnlessInGrid();

    int m_helpContext;
    MainActionSet m_allowed;
    bool m_initiallyMaximized;
    QList<QAbstractItemView *> m_grids;
    QList<QObject *> m_focusGrids;
    QList<QObject *> m_followedGrids;  // every grid that becomes current by the focus
    kv::FocusWatch *m_focusWatch;
    QPointer<QWidget> m_activeControl;
};

}  // namespace basekvintor
