#pragma once
// The programs' file dialogs opened on a folder as an operator would open
// them: shown until their list has read every entry of the folder, then
// closed. Used by the soak's browsing side and the lock tests.

#include "widgets/file_dialogs.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileDialog>
#include <QFileSystemModel>

#include <memory>

namespace soak {

// Shows the dialog on `folder` until its list holds at least `entries`
// entries, each with its kind read (when a type look-up would have opened the
// files), then hides it. False when that took longer than `ms`.
inline bool browseFolder(QFileDialog *dialog, const QString &folder, int entries = 1, int ms = 3000)
{
    dialog->setDirectory(folder);
    dialog->show();
    auto *model = dialog->findChild<QFileSystemModel *>();
    QDeadlineTimer deadline(ms);
    auto listed = [&] {
        const QModelIndex root = model->index(folder);
        if (model->rowCount(root) < entries)
            return false;
        for (int row = 0; row < model->rowCount(root); ++row) {
            const QModelIndex i = model->index(row, 0, root);
            model->data(i, Qt::DecorationRole);
            if (model->type(i).isEmpty())
                return false;
        }
        return true;
    };
    bool done = false;
    while (model && !(done = listed()) && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    dialog->hide();
    return done;
}

// Opens a save and an open dialog on `folder`; returns how many were shown.
inline int browseFileDialogs(const QString &folder)
{
    int shown = 0;
    for (bool save : {true, false}) {
        std::unique_ptr<QFileDialog> dialog(
            kv::makeFileDialog(nullptr, QStringLiteral("SoakDialog"), QStringLiteral("Сохранить как"), save));
        browseFolder(dialog.get(), folder);
        ++shown;
    }
    return shown;
}

}  // namespace soak
