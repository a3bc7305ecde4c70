#pragma once
// Entering and leaving a control the way the operator sees it: a grid with its
// in-place editor, or a field, is one area. Focus moving to a message box,
// a drop-down list or a pop-up menu (another window) is no leaving; focus moving
// to another control of the same window is.

#include <QList>
#include <QObject>
#include <QPointer>
#include <QWidget>

namespace kv {

class FocusWatch : public QObject
{
    Q_OBJECT
public:
    explicit FocusWatch(QObject *parent = nullptr);

    // Watches an area (the widget and everything inside it).
    void watch(QWidget *area);
    // The watched area holding w, or null.
    QWidget *areaOf(const QWidget *w) const;

Q_SIGNALS:
    void entered(QWidget *area);
    void left(QWidget *area);

private:
    void focusChanged(QWidget *old, QWidget *now);

    QList<QPointer<QWidget>> m_areas;
};

}  // namespace kv
