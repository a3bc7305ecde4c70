#include "reference/record_toolbar.h"

#include "reference/data_set.h"
#include "reference/record_cursor.h"

#include <QAction>
#include <QStyle>
#include <QToolBar>
#include <QWidget>

namespace basekvintor {

QList<QAction *> RecordActions::all() const
{
    return {DataSetFirst1, DataSetPrior1, DataSetNext1, DataSetLast1,
            DataSetInsert1, DataSetDelete1, DataSetPost1, DataSetCancel1};
}

RecordActions RecordActions::create(QWidget *owner, QToolBar *toolBar)
{
    auto make = [owner](const char *name, const QString &caption, const QString &hint, QStyle::StandardPixmap icon,
                        const QKeySequence &key = {}) {
        auto *a = new QAction(owner->style()->standardIcon(icon), caption, owner);
        a->setObjectName(QLatin1String(name));
        a->setToolTip(hint);
        a->setStatusTip(hint);
        if (!key.isEmpty()) {
            a->setShortcut(key);
            a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        }
        owner->addAction(a);
        return a;
    };
    RecordActions r;
    r.DataSetFirst1 = make("DataSetFirst1", QStringLiteral("&First"), QStringLiteral("Первая запись"),
                           QStyle::SP_MediaSkipBackward);
    r.DataSetPrior1 = make("DataSetPrior1", QStringLiteral("&Prior"), QStringLiteral("Предыдущая запись"),
                           QStyle::SP_MediaSeekBackward);
    r.DataSetNext1 = make("DataSetNext1", QStringLiteral("&Next"), QStringLiteral("Следующая запись"),
                          QStyle::SP_MediaSeekForward);
    r.DataSetLast1 = make("DataSetLast1", QStringLiteral("&Last"), QStringLiteral("Последняя запись"),
                          QStyle::SP_MediaSkipForward);
    r.DataSetInsert1 = make("DataSetInsert1", QStringLiteral("&Insert"), QStringLiteral("Добавить запись"),
                            QStyle::SP_FileDialogNewFolder, QKeySequence(Qt::Key_Insert));
    r.DataSetDelete1 = make("DataSetDelete1", QStringLiteral("Удалить запись"), QStringLiteral("Удалить запись"),
                            QStyle::SP_TrashIcon, QKeySequence(Qt::CTRL | Qt::Key_Delete));
    r.DataSetPost1 = make("DataSetPost1", QStringLiteral("Сохранить изменения"), QStringLiteral("Сохранить изменения"),
                          QStyle::SP_DialogApplyButton);
    r.DataSetCancel1 = make("DataSetCancel1", QStringLiteral("&Cancel"), QStringLiteral("Отмена"),
                            QStyle::SP_DialogCancelButton);
    toolBar->addActions(r.all());
    nameToolButtons(toolBar);
    return r;
}

void nameToolButtons(QToolBar *toolBar)
{
    // A screen reader reads a button by its accessible name, which the toolkit
    // takes from the caption; the captions of the record actions are the data
    // set's English words, their hints Russian.
    // The button also takes the action's name ("TB" in front), so an
    // unattended run can press this window's button where another window has
    // an action of the same name.
    for (QAction *a : toolBar->actions()) {
        QWidget *button = toolBar->widgetForAction(a);
        if (!button)
            continue;
        if (!a->toolTip().isEmpty())
            button->setAccessibleName(a->toolTip());
        if (!a->objectName().isEmpty())
            button->setObjectName(QStringLiteral("TB") + a->objectName());
    }
}

void RecordActions::update(const RecordCursor &cursor) const
{
    const TDataSet *set = cursor.dataSet();
    const int rows = set ? set->rowCount() : 0;
    const int row = cursor.row();
    const bool more = set && (row + 1 < rows || const_cast<TDataSet *>(set)->canFetchMore());
    DataSetFirst1->setEnabled(row > 0);
    DataSetPrior1->setEnabled(row > 0);
    DataSetNext1->setEnabled(more);
    DataSetLast1->setEnabled(more);
    DataSetInsert1->setEnabled(set != nullptr);
    DataSetDelete1->setEnabled(rows > 0);
    DataSetPost1->setEnabled(cursor.isModified());
    DataSetCancel1->setEnabled(cursor.isModified());
}

bool attachMainAction(QWidget *child, QToolBar *toolBar, const QString &actionName)
{
    QWidget *top = child->window();
    if (!top || top == child)
        return false;
    auto *action = top->findChild<QAction *>(actionName);
    if (!action)
        return false;
    if (!toolBar->actions().contains(action)) {
        toolBar->addSeparator();
        toolBar->addAction(action);
    }
    return true;
}

}  // namespace basekvintor
