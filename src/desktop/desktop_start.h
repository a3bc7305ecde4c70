#pragma once
// A start from the desktop menu. The menu starts a program in the home folder,
// where no database lies; with --desktop the program works in a per-user
// folder instead (~/Kvintor unless the settings name another) and, when that
// folder holds no database, the operator chooses how to get one. A start
// from a terminal without the option keeps the folder it was given.
//
// Widget-free: desktop_start_dialog.h asks the operator and calls this.

#include <QString>
#include <QStringList>

namespace kv {

inline const QString kDesktopOption = QStringLiteral("--desktop");
// Settings group and keys: the working folder, and a database file chosen
// outside it on an earlier first start.
inline const QString kDesktopGroup = QStringLiteral("Desktop");
inline const QString kWorkFolderKey = QStringLiteral("WorkFolder");
inline const QString kChosenDatabaseKey = QStringLiteral("Database");

bool isDesktopStart(const QStringList &arguments);

// ~/Kvintor.
QString defaultWorkFolder();
// The folder of the settings, else the default.
QString workFolder();
// Remembers `folder` for the next menu start. Returns false when the settings
// could not be written (the operator has been told why).
bool setWorkFolder(const QString &folder);

class DesktopStart
{
public:
    enum class Choice { EmptyDatabase = 1, DemoDatabase, ExistingFile };

    explicit DesktopStart(const QString &folder);

    const QString &folder() const { return m_folder; }

    // Creates the folder when missing and makes it the working folder.
    // Returns "" or the operator's text.
    QString enterFolder();

    // The database file this start opens: the folder's own KvintorDB.sqlite,
    // else a file chosen on an earlier start that is still there. Empty when
    // the operator must choose.
    QString database() const;

    // Carries out the operator's choice: a new database in the folder, empty
    // or with the demo meter types and tests, or `file` (ExistingFile) checked
    // and remembered. A new file is built under another name and renamed when
    // complete, so a failure leaves no half-made database that a later start
    // would take. Returns "" or the operator's text.
    QString apply(Choice choice, const QString &file = {});

    // The program's own arguments: those given without --desktop, and the
    // database as an absolute path (shown in the status line, handed on to
    // the other program) unless one was given.
    QStringList programArguments(const QStringList &arguments) const;

private:
    QString createInFolder(bool demo);

    QString m_folder;
};

}  // namespace kv
