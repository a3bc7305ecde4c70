#pragma once
// The ten-year archive the benchmarks read: built once (it takes a minute or
// more), kept in the build folder and reused by every benchmark after.

#include "demo_data.h"

#include "database/connection.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <cstdio>

// The archive of `years` years at `path`, built there when missing. Returns
// "" or the error's text.
inline QString ensureArchive(const QString &path, int years)
{
    if (QFileInfo::exists(path)) {
        std::printf("archive: reusing %s\n", qPrintable(path));
        return {};
    }
    QDir().mkpath(QFileInfo(path).absolutePath());
    // Built under another name and renamed at the end, so an interrupted build
    // is never taken for a finished archive.
    const QString partial = path + QStringLiteral(".partial");
    QFile::remove(partial);
    QFile::remove(partial + QStringLiteral("-wal"));
    QFile::remove(partial + QStringLiteral("-shm"));
    std::printf("archive: building %d years in %s ...\n", years, qPrintable(path));
    std::fflush(stdout);
    QElapsedTimer clock;
    clock.start();
    QString error = kv::createDatabaseFile(partial);
    if (!error.isEmpty())
        return error;
    {
        const QString connection = QStringLiteral("build");
        error = kv::openDatabase(partial, connection);
        if (!error.isEmpty())
            return error;
        QSqlDatabase db = QSqlDatabase::database(connection);
        error = kv::demo::addReferenceData(db);
        kv::demo::ArchiveStats stats;
        int lastTenth = -1;
        if (error.isEmpty())
            error = kv::demo::addSyntheticArchive(db, years, &stats, 20261209, [&](double share) {
                const int tenth = int(share * 10);
                if (tenth != lastTenth) {
                    lastTenth = tenth;
                    std::printf("  %d%%\n", tenth * 10);
                    std::fflush(stdout);
                }
            });
        if (error.isEmpty()) {
            QSqlQuery q(db);
            // Leaves the file whole (no WAL beside it) and gives the planner statistics.
            if (!q.exec(QStringLiteral("ANALYZE")) || !q.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)")))
                error = q.lastError().text();
        }
        db.close();
        std::printf("archive: %lld records, %lld meters, %lld errors in %.1f s\n", stats.records, stats.meters,
                    stats.errors, double(clock.elapsed()) / 1000.0);
    }
    QSqlDatabase::removeDatabase(QStringLiteral("build"));
    if (!error.isEmpty())
        return error;
    if (!QFile::rename(partial, path))
        return QStringLiteral("cannot rename %1").arg(partial);
    QFile::remove(partial + QStringLiteral("-wal"));
    QFile::remove(partial + QStringLiteral("-shm"));
    return {};
}
