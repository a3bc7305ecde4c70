#pragma once
// Help on F1: the topic of the window's help context number, a page
// help/topic-N.html, shown in one help window.

#include <QString>
#include <QStringList>

class QTextBrowser;
class QWidget;

namespace basekvintor {

// The folders looked in, in order: "help" below the working folder (where the
// program was started), then beside the executable, then the installed data folder.
QStringList helpFolders();
// The main window records the working folder when it is made.
void setHelpStartFolder(const QString &folder);
// The page of a topic, or "" when no folder has it.
QString helpPage(int topic);

// Shows the topic in the program's help window (made on first use). A missing
// page is reported in a box. Returns the window, or null when nothing was shown.
QTextBrowser *showHelp(int topic);
// The help window, when one was made.
QTextBrowser *helpWindow();

}  // namespace basekvintor
