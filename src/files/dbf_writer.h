#pragma once
// dBASE III / IV tables. Without memo fields the two versions share one file
// layout, so one writer serves both.

#include "files/table_data.h"

#include <QString>

namespace kv {

struct DbfResult {
    QString error;            // empty on success
    QStringList fieldNames;   // as written: cut to 10 characters, unique
};

// Writes `table` to a new dBASE file at `path`, text in Windows 1251 with the
// code page marked in the header, so other programs decode Cyrillic. Numbers
// stay numbers, booleans become logical fields, text widths follow the source
// (measured from the values where the source gives none). A date-time column
// is a date field ('D'), as dBASE readers expect: the format has no time of
// day, so the time is not written.
// Refuses an existing file. The file appears only when it is complete.
DbfResult writeDbf(const QString &path, const TableData &table);

}  // namespace kv
