#pragma once
// A verification in progress holds on to the meter types and the test it will
// be saved under, so that the database program does not delete them while the
// run is not yet in the archive: the save would then fail on the missing
// reference row and the run could not be saved at all.
//
// The claim is a lock the operating system drops when the program ends,
// however it ends, so a crashed run never keeps a type undeletable. How it is
// held depends on the engine:
// - SQLite: shared POSIX byte-range locks on a file of its own beside the
//   database ("<database>.runs"), one byte per key. Never on the database or
//   its -wal/-shm/-journal files: opening and closing those outside SQLite
//   would drop SQLite's own locks.
// - PostgreSQL: shared session advisory locks on a connection of the claims'
//   own, which the server drops when the program's connection ends.
// A claim made in this process is seen by this process too (the kernel does
// not report a process's own locks to it).

#include <QList>
#include <QSqlDatabase>
#include <QString>

#include <memory>

namespace kv {

enum class ClaimKind { Tip, Test };

class RunClaim
{
public:
    RunClaim();
    ~RunClaim();  // releases
    RunClaim(const RunClaim &) = delete;
    RunClaim &operator=(const RunClaim &) = delete;

    // Claims these type keys and this test key on db's database, in place of
    // what this object held before. Returns "" or why the claim could not be
    // made (the run goes on unprotected then).
    QString claim(const QSqlDatabase &db, const QList<qint64> &tips, qint64 test);
    void release();
    bool held() const;

    class Store;

private:
    std::shared_ptr<Store> m_store;
    QList<qint64> m_tips;
    qint64 m_test = 0;
};

// Whether a run in progress (in any program on this database) claims the key.
bool runClaims(const QSqlDatabase &db, ClaimKind kind, qint64 key);

}  // namespace kv
