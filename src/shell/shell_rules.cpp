#include "shell/shell_rules.h"

namespace basekvintor {

void ShellState::childPositionChanged(bool maximized, MainActionSet allowed, QObject *focusedGrid)
{
    if (!maximized)
        return;
    m_actions = allowed;
    if (focusedGrid) {
        m_currentGrid = focusedGrid;
        m_tableEnabled = true;
    }
    Q_EMIT changed();
}

void ShellState::gridFocusIn(QObject *grid)
{
    m_currentGrid = grid;
    m_tableEnabled = true;
    Q_EMIT changed();
}

void ShellState::gridFocusOut()
{
    m_currentGrid = nullptr;
    m_tableEnabled = false;
    Q_EMIT changed();
}

StartChild startupMaximized(bool tipMaximized, bool testMaximized, bool archivMaximized)
{
    if (tipMaximized)
        return StartChild::FTip;
    if (testMaximized)
        return StartChild::FTest;
    if (archivMaximized)
        return StartChild::FArchiv;
    return StartChild::None;
}

}  // namespace basekvintor
