#pragma once
// File dialogs that never read a file: neither the database nor anything else.
//
// Qt's own dialog fills its list through a file-system model whose icon
// provider asks the MIME database for every entry, and the MIME database
// opens files whose names it does not know (KvintorDB.sqlite-wal, -shm) to
// sniff their first bytes. Closing that descriptor drops every SQLite lock the
// process holds on the database (see database/file_locks.h), so these dialogs
// use an icon provider that goes by name and kind only, are never the
// desktop's native dialog (which may sniff in-process as well), and are made
// when they are used rather than at start-up.

#include <QString>
#include <QStringList>

class QDialog;
class QFileDialog;
class QObject;
class QWidget;

namespace kv {

// A dialog to choose a file to save (acceptSave) or to open.
QFileDialog *makeFileDialog(QWidget *owner, const QString &objectName, const QString &caption, bool acceptSave);

// Runs the dialog through kv::ui() and then checks that the database is
// still protected (the check tells the operator if it is not). Returns the
// dialog's result. For the print dialog too: its output-file box completes
// names through a file-system model of its own.
int execFileDialog(QDialog *dialog);

// Gives every file-system model inside `dialog` the name-only icons.
void useNameOnlyIcons(QObject *dialog);

}  // namespace kv
