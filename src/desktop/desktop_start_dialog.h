#pragma once
// The menu start's questions: the first-start dialog shown when the working
// folder holds no database, and the whole --desktop preparation the two
// programs' main() run before they open their database.

#include <QDialog>
#include <QStringList>

#include <optional>

class QLabel;
class QMainWindow;

namespace kv {

// "Create an empty database, one with the demo meter types and tests, or
// choose an existing file": closes with a DesktopStart::Choice, or 0 (Выход).
class FirstStartDialog : public QDialog
{
    Q_OBJECT
public:
    explicit FirstStartDialog(const QString &folder, QWidget *parent = nullptr);

    QLabel *Text = nullptr;
};

// With --desktop: enters the working folder and, when it holds no database,
// asks until the operator has one or leaves. Returns the arguments the program
// starts with, or nothing when the operator left or the folder is unusable
// (already said). Without --desktop returns `arguments` as they are.
std::optional<QStringList> prepareDesktopStart(const QStringList &arguments);

// Adds "Рабочая папка…" to the menu of `window` titled `menuTitle`: the
// operator picks the folder the next menu start works in. With `showFolder`
// the status line also names the working folder (for a window whose status
// line has no permanent text of its own).
void addWorkFolderAction(QMainWindow *window, const QString &menuTitle, bool showFolder);

// Prints `usage` and returns true when --help or -h was given. Reads argv
// itself, so it runs before any application object (and without a screen).
bool printHelpIfAsked(int argc, char **argv, const QString &usage);

}  // namespace kv
