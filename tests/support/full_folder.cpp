#include "support/full_folder.h"

#include <QDir>
#include <QFile>

#include <csignal>
#include <sys/mount.h>
#include <sys/resource.h>

namespace kvtest {

namespace {
const QString kFiller = QStringLiteral(".filler");
}

FullFolder::FullFolder()
{
    m_mounted = ::mount("tmpfs", QFile::encodeName(m_dir.path()).constData(), "tmpfs", 0, "size=2m") == 0;
}

FullFolder::~FullFolder()
{
    release();
    if (m_mounted)
        ::umount2(QFile::encodeName(m_dir.path()).constData(), MNT_DETACH);
}

void FullFolder::fill()
{
    if (m_full)
        return;
    m_full = true;
    if (m_mounted) {
        QFile filler(m_dir.filePath(kFiller));
        if (filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
            const QByteArray block(4096, 'f');
            while (filler.write(block) == block.size()) {
            }
            // A last partial block may still fit.
            while (filler.write(block.constData(), 1) == 1) {
            }
        }
        return;
    }
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    m_oldLimit = limit.rlim_cur;
    limit.rlim_cur = 0;
    setrlimit(RLIMIT_FSIZE, &limit);
}

void FullFolder::release()
{
    if (!m_full)
        return;
    m_full = false;
    if (m_mounted) {
        QFile::remove(m_dir.filePath(kFiller));
        return;
    }
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = m_oldLimit;
    setrlimit(RLIMIT_FSIZE, &limit);
}

QStringList FullFolder::entries() const
{
    QStringList names = QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    names.removeAll(kFiller);
    return names;
}

}  // namespace kvtest
