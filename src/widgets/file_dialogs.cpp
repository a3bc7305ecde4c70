#include "widgets/file_dialogs.h"

#include "core/ui.h"
#include "widgets/database_guard.h"

#include <QAbstractFileIconProvider>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QStyle>
#include <QTreeView>

namespace kv {

namespace {

// Icons and type names from the entry's kind and name alone.
class NameOnlyIconProvider : public QAbstractFileIconProvider
{
public:
    QIcon icon(IconType type) const override
    {
        switch (type) {
        case Folder: return style(QStyle::SP_DirIcon);
        case Drive: return style(QStyle::SP_DriveHDIcon);
        case Computer: return style(QStyle::SP_ComputerIcon);
        case Network: return style(QStyle::SP_DriveNetIcon);
        case Trashcan: return style(QStyle::SP_TrashIcon);
        default: return style(QStyle::SP_FileIcon);
        }
    }
    QIcon icon(const QFileInfo &info) const override
    {
        return info.isDir() ? style(QStyle::SP_DirIcon) : style(QStyle::SP_FileIcon);
    }
    QString type(const QFileInfo &info) const override
    {
        if (info.isDir())
            return QStringLiteral("Папка");
        const QString suffix = info.suffix();
        return suffix.isEmpty() ? QStringLiteral("Файл") : QStringLiteral("Файл ") + suffix.toUpper();
    }

private:
    static QIcon style(QStyle::StandardPixmap pixmap) { return QApplication::style()->standardIcon(pixmap); }
};

QAbstractFileIconProvider *nameOnlyIcons()
{
    static NameOnlyIconProvider provider;
    return &provider;
}

}  // namespace

QFileDialog *makeFileDialog(QWidget *owner, const QString &objectName, const QString &caption, bool acceptSave)
{
    // Made on the root folder, whose entries are folders: the model starts
    // reading its folder while it is constructed, before the provider below
    // replaces the one that sniffs. It moves to the working folder after.
    auto *d = new QFileDialog(owner, caption, QDir::rootPath());
    d->setObjectName(objectName);
    d->setWindowTitle(caption);
    d->setOption(QFileDialog::DontUseNativeDialog, true);
    d->setOption(QFileDialog::DontUseCustomDirectoryIcons, true);
    d->setIconProvider(nameOnlyIcons());
    d->setAcceptMode(acceptSave ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    d->setFileMode(acceptSave ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    d->setLabelText(QFileDialog::LookIn, QStringLiteral("Папка:"));
    d->setLabelText(QFileDialog::FileName, QStringLiteral("Имя файла:"));
    d->setLabelText(QFileDialog::FileType, QStringLiteral("Тип файла:"));
    d->setLabelText(QFileDialog::Accept, acceptSave ? QStringLiteral("Сохранить") : QStringLiteral("Открыть"));
    d->setLabelText(QFileDialog::Reject, QStringLiteral("Отмена"));
    d->setDirectory(QDir::currentPath());
    // Wide enough for the size, type and date columns not to be cut.
    d->resize(860, 460);
    if (auto *details = d->findChild<QTreeView *>())
        for (const auto &[column, width] : {std::pair{0, 300}, std::pair{1, 100}, std::pair{2, 120}, std::pair{3, 150}})
            details->header()->resizeSection(column, width);
    return d;
}

void useNameOnlyIcons(QObject *dialog)
{
    const QList<QFileSystemModel *> models = dialog->findChildren<QFileSystemModel *>();
    for (QFileSystemModel *model : models)
        model->setIconProvider(nameOnlyIcons());
}

int execFileDialog(QDialog *dialog)
{
    const int result = ui().execDialog(dialog);
    checkDatabaseProtection();
    return result;
}

}  // namespace kv
