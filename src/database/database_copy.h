#pragma once
// Moving a whole archive from one database to another, whatever their
// engines: a bench's file to the lab's server when the lab sets the server
// up, the server's archive to a file for a backup or a bench that works
// offline. Every row keeps its key, so records, meters and errors stay
// related; the counters continue after the last key the source gave out.

#include <QString>
#include <QStringList>

#include <functional>

namespace kv {

struct CopyReport {
    QStringList tables;  // "TResult: 5431805 = 5431805" per table, source rows = target rows
    bool countsMatch = true;
};

// (table, rows copied so far, rows of the table); false stops the copy.
using CopyProgress = std::function<bool(const QString &table, qint64 done, qint64 total)>;

// Copies the database at `from` (a file or a server connection, opened with
// the programs' own checks) into a new database at `to` made with the schema
// (a file that must not exist, or a server database without our tables). All
// rows go in one transaction; on any failure the target holds none of them
// (a new file is removed, new tables on a server are dropped). Afterwards
// the target is checked as kvintor-db check does and its rows counted per
// table against the source. Returns "" or the reason.
QString copyDatabase(const QString &from, const QString &to, CopyReport *report, const CopyProgress &progress = {});

}  // namespace kv
