#pragma once
// The record actions of the reference windows' toolbars (first, prior, next,
// last, insert, delete, post, cancel) with their captions, hints and keys,
// and the place on the toolbar for the main window's import action.

#include <QList>
#include <QString>

class QAction;
class QToolBar;
class QWidget;

namespace basekvintor {

class RecordCursor;

struct RecordActions {
    QAction *DataSetFirst1 = nullptr;
    QAction *DataSetPrior1 = nullptr;
    QAction *DataSetNext1 = nullptr;
    QAction *DataSetLast1 = nullptr;
    QAction *DataSetInsert1 = nullptr;
    QAction *DataSetDelete1 = nullptr;
    QAction *DataSetPost1 = nullptr;
    QAction *DataSetCancel1 = nullptr;

    QList<QAction *> all() const;
    // Creates the actions (owned by `owner`, shortcuts within its window) and
    // puts them on the toolbar.
    static RecordActions create(QWidget *owner, QToolBar *toolBar);
    // Availability as the record editor offers it: moving where there is
    // somewhere to go, writing and cancelling while something is pending.
    void update(const RecordCursor &cursor) const;
};

// Gives every button of the toolbar its action's Russian hint as accessible name.
void nameToolButtons(QToolBar *toolBar);

// Puts the main window's action of this name on the toolbar once the window
// lives inside the main window; true when it was found.
bool attachMainAction(QWidget *child, QToolBar *toolBar, const QString &actionName);

}  // namespace basekvintor
