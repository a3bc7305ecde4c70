#include "widgets/focus_watch.h"

#include <QApplication>

namespace kv {

FocusWatch::FocusWatch(QObject *parent) : QObject(parent)
{
    connect(qApp, &QApplication::focusChanged, this, &FocusWatch::focusChanged);
}

void FocusWatch::watch(QWidget *area)
{
    if (area && !m_areas.contains(area))
        m_areas.append(area);
}

QWidget *FocusWatch::areaOf(const QWidget *w) const
{
    if (!w)
        return nullptr;
    for (const QPointer<QWidget> &area : m_areas)
        if (area && (area == w || area->isAncestorOf(w)))
            return area;
    return nullptr;
}

void FocusWatch::focusChanged(QWidget *old, QWidget *now)
{
    QWidget *from = areaOf(old);
    QWidget *to = areaOf(now);
    if (from == to)
        return;
    // Focus gone to another window (a box, a list, a menu) or to no window at all
    // comes back to the same control: that is no leaving.
    if (from && now && now->window() == from->window())
        Q_EMIT left(from);
    if (to)
        Q_EMIT entered(to);
}

}  // namespace kv
