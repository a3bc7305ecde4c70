#include "database/file_locks.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

// The kernel's lock table is Linux's; elsewhere the probe answers Unknown and
// the guard stays quiet (Windows locks do not vanish with another handle).
#ifdef Q_OS_LINUX
#include <sys/stat.h>
#include <sys/sysmacros.h>
#endif

namespace kv {

namespace {

QString g_openedDatabase;

// A device and inode as /proc/locks writes them: "MAJ:MIN:INODE", the first
// two in hex.
QByteArray lockTableId(const QString &path)
{
#ifndef Q_OS_LINUX
    Q_UNUSED(path);
    return {};
#else
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    return QByteArray::number(major(st.st_dev), 16).rightJustified(2, '0') + ':' +
           QByteArray::number(minor(st.st_dev), 16).rightJustified(2, '0') + ':' + QByteArray::number(quint64(st.st_ino));
#endif
}

}  // namespace

FileLocks fileLocksOfProcess(const QString &path, qint64 pid)
{
    const QByteArray id = lockTableId(path);
    if (id.isEmpty())
        return FileLocks::Unknown;
    QFile table(QStringLiteral("/proc/locks"));
    if (!table.open(QIODevice::ReadOnly | QIODevice::Text))
        return FileLocks::Unknown;
    const QByteArray owner = QByteArray::number(pid);
    // "1: POSIX  ADVISORY  READ 4242 08:01:1234 1073741825 1073741825"; a
    // waiter's line has "->" after the number and holds nothing yet.
    const QList<QByteArray> lines = table.readAll().split('\n');
    for (const QByteArray &line : lines) {
        const QList<QByteArray> f = line.simplified().split(' ');
        if (f.size() < 6 || f.at(1) == "->")
            continue;
        if (f.at(4) == owner && f.at(5) == id)
            return FileLocks::Held;
    }
    return FileLocks::Lost;
}

FileLocks fileLocksOfThisProcess(const QString &path)
{
    return fileLocksOfProcess(path, QCoreApplication::applicationPid());
}

FileLocks databaseLocksOfProcess(const QString &databaseFile, qint64 pid)
{
    const FileLocks main = fileLocksOfProcess(databaseFile, pid);
    if (main != FileLocks::Held)
        return main;
    // No -shm file (no write-ahead log) reads as Unknown and leaves the answer to the main file.
    return fileLocksOfProcess(databaseFile + QStringLiteral("-shm"), pid) == FileLocks::Lost ? FileLocks::Lost
                                                                                             : FileLocks::Held;
}

FileLocks databaseLocksOfThisProcess(const QString &databaseFile)
{
    return databaseLocksOfProcess(databaseFile, QCoreApplication::applicationPid());
}

QString openedDatabaseFile() { return g_openedDatabase; }

void setOpenedDatabaseFile(const QString &absolutePath) { g_openedDatabase = absolutePath; }

bool isDatabaseFile(const QString &path)
{
    if (g_openedDatabase.isEmpty() || path.isEmpty())
        return false;
    // Compared by folder and name, so a link or another spelling of the same
    // folder is caught; canonicalPath resolves without opening anything.
    const QFileInfo target(path);
    const QFileInfo database(g_openedDatabase);
    const QString targetFolder = QFileInfo(target.absolutePath()).canonicalFilePath();
    const QString databaseFolder = QFileInfo(database.absolutePath()).canonicalFilePath();
    if (targetFolder.isEmpty() || targetFolder != databaseFolder)
        return false;
    const QString name = target.fileName();
    const QString base = database.fileName();
    for (const QString &suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm"), QStringLiteral("-journal")})
        if (name == base + suffix)
            return true;
    // A link to the database under another name.
    const QString resolved = target.canonicalFilePath();
    return !resolved.isEmpty() && resolved == database.canonicalFilePath();
}

QString databaseFileRefusal(const QString &path)
{
    const QFileInfo info(path);
    return QStringLiteral("Файл «") + info.fileName() + QStringLiteral("» в папке «") +
           QDir::toNativeSeparators(info.absolutePath()) +
           QStringLiteral("» — это база данных, с которой работают программы Kvintor и BaseKvintor. "
                          "Выберите другой файл.");
}

}  // namespace kv
