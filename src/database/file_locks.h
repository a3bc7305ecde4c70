#pragma once
// Whether this process still holds SQLite's locks on the database file.
//
// On Linux a process's POSIX locks on a file all go the moment it closes any
// descriptor of that file, even one opened by something else in the process
// (a file dialog sniffing types, an icon look-up, a QFile check). SQLite then
// believes it protects its write-ahead log while another program may
// checkpoint and delete it underneath: writes vanish without an error. The
// programs never touch the database's files except through SQLite; this probe
// is the guard that makes a regression visible instead of silent.
//
// In WAL mode an open connection that has read once keeps a shared lock on the
// database file and one on its -shm file for as long as it is open, so "no
// lock of ours" on either means "lost". Each is lost on its own: closing a
// descriptor of the -shm file drops the locks on that file only.

#include <QString>

namespace kv {

enum class FileLocks {
    Held,     // at least one lock of this process on the file
    Lost,     // none
    Unknown,  // cannot be told here (no /proc/locks, file gone)
};

// Looks the file up in the kernel's lock table (/proc/locks) without opening it.
FileLocks fileLocksOfThisProcess(const QString &path);

// The same for another process, for tests and diagnostics.
FileLocks fileLocksOfProcess(const QString &path, qint64 pid);

// Both the database file's and its -shm file's (when there is one): Lost when
// either has none of the process's locks.
FileLocks databaseLocksOfProcess(const QString &databaseFile, qint64 pid);
FileLocks databaseLocksOfThisProcess(const QString &databaseFile);

// The database file the programs opened (absolute), or "" when none is open.
QString openedDatabaseFile();
void setOpenedDatabaseFile(const QString &absolutePath);

// True when `path` names the open database or one of SQLite's companion files
// (-wal, -shm, -journal): writing there, or even reading it outside SQLite,
// would unprotect or destroy the archive.
bool isDatabaseFile(const QString &path);

// The operator's text refusing such a path as a file to write or read.
QString databaseFileRefusal(const QString &path);

}  // namespace kv
