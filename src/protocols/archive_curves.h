#pragma once
// Error curves of archived verifications, read straight from the archive
// tables: the record's meter type and test, the test's points, the meters and
// their stored errors. The run stored each error under the test's own point
// number, so a reading finds its point by (test, PNumPoint1).

#include "protocols/error_curves.h"

#include <QSqlDatabase>
#include <QVector>

namespace kv {

// A meter of the archive: its verification record and its own row.
struct ArchiveMeterRef {
    qint64 measure = 0;   // TMeasure.PIndex
    qint64 position = 0;  // TPositionCH.PIndex
};

// The curves of record `measure`: every meter of it when `positions` is
// empty, else only those meters (rows of TPositionCH under the record).
// Returns false with a Russian sentence and the engine's text in `error` when
// the archive cannot be read; a record that is gone is such an error too.
bool ReadArchiveCurves(const QSqlDatabase &db, qint64 measure, const QVector<qint64> &positions, CurveSet *out,
                       QString *error);

// The archived meters with these serial numbers, oldest record first; at most
// `limit` of them (`total`, when given, gets how many there are).
bool FindArchiveMeters(const QSqlDatabase &db, const QStringList &numbers, int limit, QVector<ArchiveMeterRef> *out,
                       int *total, QString *error);

// Reads every meter of `meters` and groups them into one set per record, in
// the order the records first appear.
bool ReadArchiveCurves(const QSqlDatabase &db, const QVector<ArchiveMeterRef> &meters, QVector<CurveSet> *out,
                       QString *error);

}  // namespace kv
