#include "core/whole_file.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace kv {

namespace {

// A file system that cannot sync (a pipe, some network shares) does not make
// the data less written; only a real I/O or space failure counts.
bool syncFailed(int handle, QString *reason)
{
#ifdef Q_OS_WIN
    Q_UNUSED(handle);
    Q_UNUSED(reason);
    return false;
#else
    if (handle < 0 || ::fsync(handle) == 0)
        return false;
    if (errno == EINVAL || errno == EROFS || errno == ENOTSUP)
        return false;
    *reason = QString::fromLocal8Bit(std::strerror(errno));
    return true;
#endif
}

}  // namespace

bool commitWhole(QSaveFile &file, QString *reason)
{
    if (!file.flush() || file.error() != QFileDevice::NoError) {
        *reason = file.errorString();
        file.cancelWriting();
        file.commit();  // discards the temporary file
        return false;
    }
    if (syncFailed(file.handle(), reason)) {
        file.cancelWriting();
        file.commit();
        return false;
    }
    if (!file.commit()) {
        *reason = file.errorString();
        return false;
    }
    return true;
}

QString writeWholeFile(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    QString reason;
    if (!file.open(QIODevice::WriteOnly))
        return fileWriteFailedText(path, file.errorString());
    if (file.write(bytes) != bytes.size()) {
        reason = file.errorString();
        file.cancelWriting();
        file.commit();
        return fileWriteFailedText(path, reason);
    }
    if (!commitWhole(file, &reason))
        return fileWriteFailedText(path, reason);
    return {};
}

QString replaceFile(const QString &finished, const QString &path)
{
#ifdef Q_OS_WIN
    if (MoveFileExW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(finished).utf16()),
                    reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(path).utf16()),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return {};
    return QStringLiteral("ошибка %1").arg(GetLastError());
#else
    if (std::rename(QFile::encodeName(finished).constData(), QFile::encodeName(path).constData()) == 0)
        return {};
    return QString::fromLocal8Bit(std::strerror(errno));
#endif
}

QString fileWriteFailedText(const QString &path, const QString &reason)
{
    const QFileInfo info(path);
    QString text = QStringLiteral("Не удалось записать файл «") + info.fileName() + QStringLiteral("» в папке «") +
                   QDir::toNativeSeparators(info.absolutePath()) + QStringLiteral("»");
    if (!reason.isEmpty())
        text += QStringLiteral(": ") + reason;
    return text + QLatin1Char('.');
}

}  // namespace kv
