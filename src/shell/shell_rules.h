#pragma once
// The main window's rules without widgets: which of the five main actions a
// maximized child window allows, which grid the table actions work on, and
// which child the start-up maximizes.

#include "widgets/main_actions.h"

#include <QObject>
#include <QPointer>

namespace basekvintor {

// The state the main window shows: the five actions, the "Таблица" menu and
// the current grid (never owned: it belongs to its child window).
class ShellState : public QObject
{
    Q_OBJECT
public:
    // Everything is available at start, before any child reports.
    MainActionSet actions() const { return m_actions; }
    bool tableEnabled() const { return m_tableEnabled; }
    QObject *currentGrid() const { return m_currentGrid; }

    // A child window moved, was resized, changed state or was activated. Only
    // a maximized one decides; `focusedGrid` is its focused control when that
    // is a data grid, else null (the current grid then stays as it was).
    void childPositionChanged(bool maximized, MainActionSet allowed, QObject *focusedGrid);
    // The focus rule of the grids.
    void gridFocusIn(QObject *grid);
    void gridFocusOut();

Q_SIGNALS:
    void changed();

private:
    MainActionSet m_actions = MainActionSet::all();
    bool m_tableEnabled = true;
    QPointer<QObject> m_currentGrid;
};

// Start-up: the first of types, tests and archive whose restored state is
// maximized is maximized again once the later windows exist.
enum class StartChild { FTip, FTest, FArchiv, None };
StartChild startupMaximized(bool tipMaximized, bool testMaximized, bool archivMaximized);

}  // namespace basekvintor
