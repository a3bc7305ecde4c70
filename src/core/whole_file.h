#pragma once
// Writing a file whole or not at all. QSaveFile keeps small writes in Qt's
// buffer: a full disk shows only when the buffer is flushed, and commit()
// then renames the short file into place and reports success. Every writer
// of the programs goes through here, so the earlier file stays byte for byte
// until the new one is complete on disk.

#include <QByteArray>
#include <QString>

class QSaveFile;

namespace kv {

// Flushes the file, checks the flush and the sync to disk, then commits.
// On failure the temporary file is discarded and *reason holds the system's
// text. Returns true when the new file has replaced the earlier one.
bool commitWhole(QSaveFile &file, QString *reason);

// Writes `bytes` to `path` through commitWhole. Returns "" on success, else
// the operator's text naming the file, its folder and the reason.
QString writeWholeFile(const QString &path, const QByteArray &bytes);

// Moves a finished file over `path` in one step (the earlier file is either
// still there or replaced, never missing). Returns "" or the reason.
QString replaceFile(const QString &finished, const QString &path);

// The text for a file that could not be written: "Не удалось записать файл
// «name» в папке «folder»: reason".
QString fileWriteFailedText(const QString &path, const QString &reason);

}  // namespace kv
