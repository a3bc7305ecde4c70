#include "desktop/desktop_start_dialog.h"

#include "database/connection.h"
#include "desktop/desktop_start.h"
#include "widgets/file_dialogs.h"
#include "core/ui.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QPushButton>
#include <QTextStream>
#include <QVBoxLayout>

namespace kv {

FirstStartDialog::FirstStartDialog(const QString &folder, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FirstStartDialog"));
    setWindowTitle(QCoreApplication::applicationName() + QStringLiteral(" — первый запуск"));
    auto *layout = new QVBoxLayout(this);
    Text = new QLabel(QStringLiteral("В рабочей папке «") + QDir::toNativeSeparators(folder) +
                          QStringLiteral("» нет базы данных.\nС чего начать?"),
                      this);
    Text->setWordWrap(true);
    layout->addWidget(Text);
    const struct {
        const char *name;
        QString text;
        DesktopStart::Choice choice;
    } buttons[] = {
        {"BEmpty", QStringLiteral("Создать пустую базу данных"), DesktopStart::Choice::EmptyDatabase},
        {"BDemo", QStringLiteral("Создать базу с демонстрационными типами счётчиков и тестами"),
         DesktopStart::Choice::DemoDatabase},
        {"BExisting", QStringLiteral("Выбрать существующий файл базы данных…"), DesktopStart::Choice::ExistingFile},
    };
    for (const auto &b : buttons) {
        auto *button = new QPushButton(b.text, this);
        button->setObjectName(QLatin1String(b.name));
        const int code = int(b.choice);
        connect(button, &QPushButton::clicked, this, [this, code] { done(code); });
        layout->addWidget(button);
    }
    auto *leave = new QPushButton(QStringLiteral("Выход"), this);
    leave->setObjectName(QStringLiteral("BLeave"));
    connect(leave, &QPushButton::clicked, this, [this] { done(0); });
    layout->addWidget(leave);
}

namespace {

// The file the operator picks, or "" when the choice was cancelled.
QString chooseDatabaseFile(const QString &folder)
{
    QFileDialog *dialog = makeFileDialog(nullptr, QStringLiteral("OpenDatabaseDialog"),
                                         QStringLiteral("Файл базы данных"), false);
    dialog->setDirectory(folder);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setNameFilters({QStringLiteral("База данных Kvintor (*.sqlite)"), QStringLiteral("Все файлы (*)")});
    QString file;
    if (execFileDialog(dialog) == QDialog::Accepted && !dialog->selectedFiles().isEmpty())
        file = dialog->selectedFiles().first();
    delete dialog;
    return file;
}

}  // namespace

std::optional<QStringList> prepareDesktopStart(const QStringList &arguments)
{
    if (!isDesktopStart(arguments))
        return arguments;
    const QString caption = QCoreApplication::applicationName();
    DesktopStart start(workFolder());
    if (const QString error = start.enterFolder(); !error.isEmpty()) {
        ui().error(nullptr, caption, error);
        return std::nullopt;
    }
    const QStringList result = start.programArguments(arguments);
    // A database given on the command line, in the environment or found in
    // the folder: nothing to ask.
    if (databasePath(result) != kDatabaseFileName)
        return result;
    for (;;) {
        FirstStartDialog dialog(start.folder());
        const int code = ui().execDialog(&dialog);
        if (code <= 0 || code > int(DesktopStart::Choice::ExistingFile))
            return std::nullopt;
        const auto choice = DesktopStart::Choice(code);
        QString file;
        if (choice == DesktopStart::Choice::ExistingFile) {
            file = chooseDatabaseFile(start.folder());
            if (file.isEmpty())
                continue;
        }
        const QString error = start.apply(choice, file);
        if (error.isEmpty())
            return start.programArguments(arguments);
        ui().error(nullptr, caption, error);
    }
}

void addWorkFolderAction(QMainWindow *window, const QString &menuTitle, bool showFolder)
{
    QMenu *menu = nullptr;
    for (QAction *a : window->menuBar()->actions())
        if (a->menu() && a->text() == menuTitle)
            menu = a->menu();
    if (!menu)
        return;
    QAction *action = menu->addAction(QStringLiteral("Рабочая папка…"));
    action->setObjectName(QStringLiteral("AWorkFolder"));
    QObject::connect(action, &QAction::triggered, window, [window] {
        QFileDialog *dialog =
            makeFileDialog(window, QStringLiteral("WorkFolderDialog"), QStringLiteral("Рабочая папка"), false);
        dialog->setFileMode(QFileDialog::Directory);
        dialog->setOption(QFileDialog::ShowDirsOnly);
        dialog->setDirectory(workFolder());
        QString folder;
        if (execFileDialog(dialog) == QDialog::Accepted && !dialog->selectedFiles().isEmpty())
            folder = dialog->selectedFiles().first();
        delete dialog;
        if (folder.isEmpty() || !setWorkFolder(folder))
            return;
        ui().information(window, QCoreApplication::applicationName(),
                  QStringLiteral("Рабочая папка для запуска из меню: «") + QDir::toNativeSeparators(workFolder()) +
                      QStringLiteral("».\nОна будет открыта при следующем запуске программы из меню."));
    });
    if (showFolder)
        window->statusBar()->showMessage(QStringLiteral("Рабочая папка: ") + QDir::toNativeSeparators(QDir::currentPath()));
}

bool printHelpIfAsked(int argc, char **argv, const QString &usage)
{
    for (int i = 1; i < argc; ++i)
        if (qstrcmp(argv[i], "--help") == 0 || qstrcmp(argv[i], "-h") == 0) {
            QTextStream(stdout) << usage;
            return true;
        }
    return false;
}

}  // namespace kv
