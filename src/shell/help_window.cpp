#include "shell/help_window.h"

#include "core/ui.h"
#include "reference/record_rules.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QTextBrowser>
#include <QUrl>

namespace basekvintor {

namespace {
QPointer<QTextBrowser> &window()
{
    static QPointer<QTextBrowser> w;
    return w;
}

QString &startFolder()
{
    static QString folder = QDir::currentPath();
    return folder;
}
}  // namespace

void setHelpStartFolder(const QString &folder) { startFolder() = folder; }

QStringList helpFolders()
{
    const QString app = QCoreApplication::applicationDirPath();
    return {QDir(startFolder()).filePath(QStringLiteral("help")), QDir(app).filePath(QStringLiteral("help")),
            QDir(app).filePath(QStringLiteral("../share/kvintor/help"))};
}

QString helpPage(int topic)
{
    const QString name = QStringLiteral("topic-%1.html").arg(topic);
    for (const QString &folder : helpFolders()) {
        const QFileInfo f(QDir(folder).filePath(name));
        if (f.isFile())
            return f.absoluteFilePath();
    }
    return {};
}

QTextBrowser *helpWindow() { return window(); }

QTextBrowser *showHelp(int topic)
{
    const QString page = helpPage(topic);
    if (page.isEmpty()) {
        kv::ui().warning(nullptr, kProgramTitle,
                         QStringLiteral("Не найдена страница справки «help/topic-%1.html» в папке «%2».")
                             .arg(QString::number(topic), QDir::toNativeSeparators(startFolder())));
        return nullptr;
    }
    QPointer<QTextBrowser> &w = window();
    if (!w) {
        w = new QTextBrowser;
        w->setObjectName(QStringLiteral("HelpWindow"));
        w->setAttribute(Qt::WA_DeleteOnClose);
        w->setAttribute(Qt::WA_QuitOnClose, false);  // closing the main window ends the program
        w->setOpenLinks(true);
        w->resize(640, 520);
    }
    w->setSource(QUrl::fromLocalFile(page));
    w->setWindowTitle(QStringLiteral("Справка — ") + w->documentTitle());
    w->show();
    w->raise();
    w->activateWindow();
    return w;
}

}  // namespace basekvintor
