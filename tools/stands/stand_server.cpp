#include "stand_server.h"

#include <QMetaObject>
#include <QTimer>

#include <cerrno>
#include <chrono>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <pty.h>
#include <sched.h>
#include <termios.h>
#include <unistd.h>

namespace kvstands {

namespace {

qint64 steadyNowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void makeRaw(int fd)
{
    termios t{};
    if (tcgetattr(fd, &t) != 0)
        return;
    cfmakeraw(&t);
    cfsetispeed(&t, B4800);
    cfsetospeed(&t, B4800);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cflag &= ~(CSTOPB | PARENB | CRTSCTS);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    tcsetattr(fd, TCSANOW, &t);
}

QString errnoText(const char *what) { return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno))); }

}  // namespace

StandServer::StandServer(ModelConfig config, QObject *parent) : QObject(parent), m_model(std::move(config)) {}

StandServer::~StandServer() { Close(); }

QString StandServer::OpenPty()
{
    Close();
    int master = -1, slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
        return errnoText("openpty");
    makeRaw(slave);
    m_fd = master;
    m_slaveFd = slave;
    m_slavePath = QString::fromLocal8Bit(name);
    StartReader();
    return {};
}

QString StandServer::OpenDevice(const QString &path)
{
    Close();
    const int fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    if (fd < 0)
        return errnoText(path.toLocal8Bit().constData());
    makeRaw(fd);
    m_fd = fd;
    m_slavePath = path;
    StartReader();
    return {};
}

void StandServer::StartReader()
{
    if (pipe(m_wake) != 0) {
        m_wake[0] = m_wake[1] = -1;
        return;
    }
    m_reader = std::thread([this] { ReaderLoop(); });
    // The reader only stamps bytes; running it ahead of busy processes keeps
    // the stamps close to the moment each byte arrived. Without the privilege
    // it runs at normal priority.
    sched_param param{};
    param.sched_priority = 10;
    pthread_setschedparam(m_reader.native_handle(), SCHED_FIFO, &param);
}

void StandServer::StartNoise(const NoiseConfig &config)
{
    if (m_fd >= 0)
        m_noise.Start(m_fd, config);
}

void StandServer::Close()
{
    // A noise write blocks while the line is full; with nobody reading the
    // pseudo-terminal any more, emptying it is what lets the write end.
    m_noise.RequestStop();
    while (m_noise.Running() && m_slaveFd >= 0) {
        tcflush(m_slaveFd, TCIFLUSH);
        ::poll(nullptr, 0, 1);
    }
    m_noise.Stop();
    if (m_reader.joinable()) {
        const char stop = 1;
        if (::write(m_wake[1], &stop, 1) < 0) {
        }
        m_reader.join();
    }
    for (int *fd : {&m_wake[0], &m_wake[1], &m_fd, &m_slaveFd}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
    m_slavePath.clear();
}

void StandServer::ReaderLoop()
{
    char buffer[64];
    for (;;) {
        pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
        const int n = ::poll(fds, 2, -1);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents)
            return;
        if (!fds[0].revents)
            continue;
        // Never spin: this thread may run ahead of everything else, so a line
        // in error ends the reading rather than waking it again at once.
        const bool failed = fds[0].revents & (POLLERR | POLLNVAL);
        const ssize_t got = failed ? -1 : ::read(m_fd, buffer, sizeof buffer);
        const qint64 now = steadyNowNs();
        if (!failed && got < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (got <= 0) {
            // The far side went away (a device unplugged); wait to be stopped.
            pollfd wake{m_wake[0], POLLIN, 0};
            ::poll(&wake, 1, -1);
            return;
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            for (ssize_t i = 0; i < got; ++i)
                m_pending.push_back({buffer[i], now});
        }
        if (!m_posted.exchange(true))
            QMetaObject::invokeMethod(this, &StandServer::ProcessReceived, Qt::QueuedConnection);
    }
}

void StandServer::ProcessReceived()
{
    m_posted = false;
    std::vector<StandModel::ReceivedByte> bytes;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        bytes.swap(m_pending);
    }
    for (const auto &b : bytes) {
        const int framesBefore = m_model.FramesReceived().size();
        const QByteArray reply = m_model.Receive(b.byte, b.ns);
        if (m_model.FramesReceived().size() > framesBefore)
            Q_EMIT FrameReceived(m_model.FramesReceived().back());
        if (reply.isEmpty())
            continue;
        const int delay = m_model.Config().replyDelayMs;
        if (delay > 0)
            QTimer::singleShot(delay, this, [this, reply] { WriteReply(reply); });
        else
            WriteReply(reply);
    }
}

void StandServer::WriteReply(const QByteArray &reply)
{
    if (m_fd < 0)
        return;
    const char *p = reply.constData();
    qsizetype left = reply.size();
    while (left > 0) {
        const ssize_t n = ::write(m_fd, p, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        p += n;
        left -= n;
    }
    Q_EMIT FrameSent(reply);
}

}  // namespace kvstands
