#pragma once
// Realistic reference data (meter types and tests after IEC 62053-21/-22/-23)
// and a synthetic verification archive, for the demo, tests and benchmarks.

#include <QSqlDatabase>
#include <QString>

#include <functional>

namespace kv::demo {

// Adds the demo meter types and tests to an empty database, in one transaction.
// Returns "" on success, else the reason.
QString addReferenceData(QSqlDatabase &db);

struct ArchiveStats {
    qint64 records = 0;
    qint64 meters = 0;
    qint64 errors = 0;
};

// Fills `years` years of archive (about 5,000 records, 30,000 meters and
// 600,000 errors a year) ending today, reproducibly from `seed`. Needs the
// reference data. `progress` (may be empty) gets the share done, 0..1.
// Returns "" on success, else the reason.
QString addSyntheticArchive(QSqlDatabase &db, int years, ArchiveStats *stats = nullptr, quint32 seed = 20261209,
                            const std::function<void(double)> &progress = {});

}  // namespace kv::demo
