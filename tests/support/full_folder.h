#pragma once
// A folder where the disk runs full, for checking that a failed write leaves
// the earlier file byte for byte and no partial file behind. A process that
// may mount gets a small tmpfs filled to the last block (the kernel then says
// "No space left on device" at the write or flush, as on a real full disk);
// otherwise a zero file size limit makes every growing write fail at the same
// places.

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace kvtest {

class FullFolder
{
public:
    FullFolder();
    ~FullFolder();
    FullFolder(const FullFolder &) = delete;
    FullFolder &operator=(const FullFolder &) = delete;

    QString path() const { return m_dir.path(); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }
    bool onTmpfs() const { return m_mounted; }

    // No more room from now on; release() gives it back.
    void fill();
    void release();
    // The names in the folder, the filler left out.
    QStringList entries() const;

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
    bool m_full = false;
    unsigned long long m_oldLimit = 0;
};

}  // namespace kvtest
