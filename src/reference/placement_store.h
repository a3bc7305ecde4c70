#pragma once
// Where the child windows keep their placement between runs: one group per
// window under the program's settings ("SoftWare\Kvintor v2.0"), every value text.
//
//   [FTip]
//   Left=10, Top=10, Width=640, Height=420   normal-state geometry
//   WindowState=0|1|2                         normal, minimized, maximized
//   ActiveControl=DBTip                       object name of the focused control
//   ScreenWidth=1920, ScreenHeight=1080       screen the placement was stored on
//   DBTip.Columns=120,80                      column widths of a grid

#include <QList>
#include <QRect>
#include <QSize>
#include <QString>

#include <optional>

namespace basekvintor {

enum class StoredState { Normal = 0, Minimized = 1, Maximized = 2 };

struct Placement {
    QRect geometry;  // in the normal state
    StoredState state = StoredState::Normal;
    QString activeControl;
    QSize screen;
    QList<QPair<QString, QList<int>>> columnWidths;  // grid name -> widths

    QList<int> columnsOf(const QString &grid) const;
};

class PlacementStore
{
public:
    // The window's stored placement, or nothing when none was stored.
    std::optional<Placement> load(const QString &windowName) const;
    void store(const QString &windowName, const Placement &placement) const;
};

}  // namespace basekvintor
