#pragma once
// The benchmarks' yardstick: the same statement through SQLite's own
// interface, with nothing of ours or the toolkit's in between.

#include <QByteArray>

#include <sqlite3.h>

#include <cstdio>
#include <functional>

namespace kvbench {

// Prepared, bound by `bind` (may be empty), stepped through with every column
// read; `first` stops after that many rows (0: all). -1 when it cannot be prepared.
inline qint64 rawRows(sqlite3 *db, const QByteArray &sql, const std::function<void(sqlite3_stmt *)> &bind = {},
                      qint64 first = 0)
{
    sqlite3_stmt *st = nullptr;
    if (sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &st, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "prepare failed: %s\n", sqlite3_errmsg(db));
        return -1;
    }
    if (bind)
        bind(st);
    qint64 rows = 0;
    const int columns = sqlite3_column_count(st);
    while ((first == 0 || rows < first) && sqlite3_step(st) == SQLITE_ROW) {
        for (int c = 0; c < columns; ++c)
            (void)sqlite3_column_text(st, c);
        ++rows;
    }
    sqlite3_finalize(st);
    return rows;
}

}  // namespace kvbench
