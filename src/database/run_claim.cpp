#include "database/run_claim.h"

#include "database/engine.h"

#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QFileInfo>
#include <QHash>
#include <QMap>
#include <QMutex>
#include <QMutexLocker>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace kv {

// Where the claims on one database are held, shared by every claim of the
// process on that database.
class RunClaim::Store
{
public:
    virtual ~Store() = default;
    // One more hold on the key; false (with error()) when it cannot be taken.
    virtual bool hold(ClaimKind kind, qint64 key) = 0;
    virtual void drop(ClaimKind kind, qint64 key) = 0;
    virtual bool claimed(ClaimKind kind, qint64 key) = 0;
    virtual QString error() const { return {}; }
};

namespace {

// Types on even bytes, tests on odd ones: the two key sequences never meet.
qint64 offsetOf(ClaimKind kind, qint64 key) { return key * 2 + (kind == ClaimKind::Test ? 1 : 0); }

// SQLite: byte-range locks on "<database>.runs". The file's descriptor stays
// open for the life of the process: closing any descriptor of a file drops
// every lock the process holds on it, so it is never closed under a claim.
class FileStore : public RunClaim::Store
{
public:
    explicit FileStore(const QString &path) : m_path(path) {}

    bool hold(ClaimKind kind, qint64 key) override
    {
        QMutexLocker lock(&m_mutex);
        if (key <= 0)
            return true;
        const qint64 at = offsetOf(kind, key);
        int &count = m_holds[at];
        if (count == 0 && !setLock(at, true)) {
            m_holds.remove(at);
            return false;
        }
        ++count;
        return true;
    }

    void drop(ClaimKind kind, qint64 key) override
    {
        QMutexLocker lock(&m_mutex);
        const qint64 at = offsetOf(kind, key);
        auto it = m_holds.find(at);
        if (it == m_holds.end())
            return;
        if (--it.value() > 0)
            return;
        m_holds.erase(it);
        setLock(at, false);
    }

    bool claimed(ClaimKind kind, qint64 key) override
    {
        QMutexLocker lock(&m_mutex);
        if (key <= 0)
            return false;
        const qint64 at = offsetOf(kind, key);
        if (m_holds.value(at) > 0)
            return true;
#ifdef Q_OS_UNIX
        if (!open(false))
            return false;
        struct flock probe {};
        probe.l_type = F_WRLCK;
        probe.l_whence = SEEK_SET;
        probe.l_start = off_t(at);
        probe.l_len = 1;
        if (::fcntl(m_fd, F_GETLK, &probe) != 0)
            return false;
        return probe.l_type != F_UNLCK;
#else
        return false;
#endif
    }

    QString error() const override
    {
        QMutexLocker lock(&m_mutex);
        return m_error;
    }

private:
    bool open(bool create)
    {
#ifdef Q_OS_UNIX
        if (m_fd >= 0)
            return true;
        const QByteArray name = QFile::encodeName(m_path);
        m_fd = ::open(name.constData(), O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0), 0666);
        if (m_fd < 0 && create)
            m_error = QStringLiteral("Не удалось открыть файл ") + m_path + QStringLiteral(": ") +
                      QString::fromLocal8Bit(std::strerror(errno));
        return m_fd >= 0;
#else
        Q_UNUSED(create);
        return false;
#endif
    }

    bool setLock(qint64 at, bool on)
    {
#ifdef Q_OS_UNIX
        if (!open(true))
            return !on;
        struct flock l {};
        l.l_type = on ? F_RDLCK : F_UNLCK;
        l.l_whence = SEEK_SET;
        l.l_start = off_t(at);
        l.l_len = 1;
        if (::fcntl(m_fd, F_SETLK, &l) == 0)
            return true;
        m_error = QStringLiteral("Не удалось отметить поверку в файле ") + m_path + QStringLiteral(": ") +
                  QString::fromLocal8Bit(std::strerror(errno));
        return false;
#else
        // Without byte-range locks only this process sees its claims.
        Q_UNUSED(at);
        Q_UNUSED(on);
        return true;
#endif
    }

    mutable QMutex m_mutex;
    const QString m_path;
    int m_fd = -1;
    QHash<qint64, int> m_holds;
    QString m_error;
};

// An engine without claims: every claim succeeds and none is ever seen.
class NoStore : public RunClaim::Store
{
public:
    bool hold(ClaimKind, qint64) override { return true; }
    void drop(ClaimKind, qint64) override {}
    bool claimed(ClaimKind, qint64) override { return false; }
};

// A server: shared session advisory locks on a connection of the claims' own,
// one key pair per type or test. The server drops them when the connection
// ends, however the program ends. Kept apart from the programs' connection
// so its transactions never meet the claims.
class ServerStore : public RunClaim::Store
{
public:
    explicit ServerStore(const QSqlDatabase &db)
        : m_name(QStringLiteral("kv-run-claims-") + QString::number(quintptr(this)))
    {
        QSqlDatabase own = QSqlDatabase::cloneDatabase(db, m_name);
        if (!own.open())
            m_error = QStringLiteral("Не удалось отметить поверку на сервере базы данных: ") + own.lastError().text();
    }
    ~ServerStore() override
    {
        QSqlDatabase::database(m_name, false).close();
        QSqlDatabase::removeDatabase(m_name);
    }

    bool hold(ClaimKind kind, qint64 key) override
    {
        QMutexLocker lock(&m_mutex);
        if (key <= 0)
            return true;
        int &count = m_holds[offsetOf(kind, key)];
        if (count == 0 && !run(QStringLiteral("SELECT pg_advisory_lock_shared(?, ?)"), kind, key)) {
            m_holds.remove(offsetOf(kind, key));
            return false;
        }
        ++count;
        return true;
    }

    void drop(ClaimKind kind, qint64 key) override
    {
        QMutexLocker lock(&m_mutex);
        auto it = m_holds.find(offsetOf(kind, key));
        if (it == m_holds.end() || --it.value() > 0)
            return;
        m_holds.erase(it);
        run(QStringLiteral("SELECT pg_advisory_unlock_shared(?, ?)"), kind, key);
    }

    bool claimed(ClaimKind kind, qint64 key) override
    {
        QMutexLocker lock(&m_mutex);
        if (key <= 0)
            return false;
        if (m_holds.value(offsetOf(kind, key)) > 0)
            return true;
        // Any session's hold on the key, in this database.
        QSqlQuery q(QSqlDatabase::database(m_name, false));
        q.prepare(QStringLiteral("SELECT count(*) FROM pg_locks WHERE locktype = 'advisory' AND granted "
                                 "AND database = (SELECT oid FROM pg_database WHERE datname = current_database()) "
                                 "AND classid = ? AND objid = ? AND objsubid = 2"));
        q.addBindValue(space(kind));
        q.addBindValue(qint64(quint32(qint32(key))));
        return q.exec() && q.next() && q.value(0).toLongLong() > 0;
    }

    QString error() const override
    {
        QMutexLocker lock(&m_mutex);
        return m_error;
    }

private:
    static int space(ClaimKind kind) { return kind == ClaimKind::Tip ? 0x4b57 : 0x4b58; }

    bool run(const QString &sql, ClaimKind kind, qint64 key)
    {
        QSqlQuery q(QSqlDatabase::database(m_name, false));
        q.prepare(sql);
        q.addBindValue(space(kind));
        q.addBindValue(qint32(key));
        if (q.exec())
            return true;
        m_error = QStringLiteral("Не удалось отметить поверку на сервере базы данных: ") + q.lastError().text();
        return false;
    }

    mutable QMutex m_mutex;
    const QString m_name;
    QHash<qint64, int> m_holds;
    QString m_error;
};

std::shared_ptr<RunClaim::Store> storeFor(const QSqlDatabase &db)
{
    static QMutex mutex;
    static QMap<QString, std::shared_ptr<RunClaim::Store>> stores;
    if (engineOf(db) == Engine::PostgreSQL) {
        const QString location = databaseLocation(db);
        QMutexLocker lock(&mutex);
        std::shared_ptr<RunClaim::Store> &store = stores[location];
        if (!store)
            store = std::make_shared<ServerStore>(db);
        return store;
    }
    if (db.driverName() != QLatin1String("QSQLITE") || db.databaseName().isEmpty())
        return std::make_shared<NoStore>();
    const QFileInfo info(db.databaseName());
    QString path = info.canonicalFilePath();
    if (path.isEmpty())
        path = info.absoluteFilePath();
    path += QStringLiteral(".runs");
    QMutexLocker lock(&mutex);
    std::shared_ptr<RunClaim::Store> &store = stores[path];
    if (!store)
        store = std::make_shared<FileStore>(path);
    return store;
}

}  // namespace

RunClaim::RunClaim() = default;

RunClaim::~RunClaim() { release(); }

QString RunClaim::claim(const QSqlDatabase &db, const QList<qint64> &tips, qint64 test)
{
    // The new claim is taken before the old one goes, so keys in both stay claimed throughout.
    std::shared_ptr<Store> store = storeFor(db);
    QList<qint64> held;
    QString error;
    for (qint64 tip : tips) {
        if (held.contains(tip))
            continue;
        if (!store->hold(ClaimKind::Tip, tip)) {
            error = store->error();
            break;
        }
        held << tip;
    }
    if (error.isEmpty() && !store->hold(ClaimKind::Test, test))
        error = store->error();
    if (!error.isEmpty()) {
        for (qint64 tip : held)
            store->drop(ClaimKind::Tip, tip);
        release();
        return error;
    }
    release();
    m_store = std::move(store);
    m_tips = held;
    m_test = test;
    return {};
}

void RunClaim::release()
{
    if (!m_store)
        return;
    for (qint64 tip : m_tips)
        m_store->drop(ClaimKind::Tip, tip);
    m_store->drop(ClaimKind::Test, m_test);
    m_store.reset();
    m_tips.clear();
    m_test = 0;
}

bool RunClaim::held() const { return m_store != nullptr; }

bool runClaims(const QSqlDatabase &db, ClaimKind kind, qint64 key) { return storeFor(db)->claimed(kind, key); }

}  // namespace kv
