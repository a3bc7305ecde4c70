#pragma once
// Paradox tables: writing (version 7, the only version the Paradox library
// writes) and reading foreign files safely.
//
// Reading runs the helper kvintor-pxread in a child process: the Paradox
// library can hang forever or crash on a damaged file, and the program must
// survive that. The helper is the file KVINTOR_PXREAD names, else it is looked
// for beside the running executable, then in KVINTOR_BIN_DIR, then in the
// build's bin folder.

#include "files/table_data.h"

#include <QString>
#include <QVector>

#include <functional>

namespace kv {

// Field types as a Paradox header stores them.
enum class ParadoxType {
    Alpha = 0x01,
    Date = 0x02,
    Short = 0x03,
    Long = 0x04,
    Currency = 0x05,
    Number = 0x06,
    Logical = 0x09,
    MemoBlob = 0x0C,
    Blob = 0x0D,
    FmtMemoBlob = 0x0E,
    Ole = 0x0F,
    Graphic = 0x10,
    Time = 0x14,
    Timestamp = 0x15,
    AutoInc = 0x16,
    BCD = 0x17,
    Bytes = 0x18,
};

struct ParadoxWriteResult {
    QString error;            // empty on success
    int version = 0;          // file version written, 70 for Paradox 7
    QStringList fieldNames;   // as written: at most 25 characters, unique
};

// Writes `table` to a new Paradox 7 file: text converted to `codePage` (866 or
// 1251) and the code page set in the header; integers as short (a 2-byte
// source column whose values fit) or long, counters as autoincrement, numbers
// as number, booleans as logical, date-times as timestamp. Refuses an existing
// file; the file appears only when complete.
ParadoxWriteResult writeParadox(const QString &path, const TableData &table, int codePage = 1251);

enum class ParadoxReadError { None, CannotOpen, NotParadox, Damaged, TimedOut, Cancelled, NoReader };

struct ParadoxTable {
    TableData table;                // names and texts converted to Unicode
    QVector<ParadoxType> types;     // as the file stores each field
    QVector<int> sizes;             // bytes of each field
    int version = 0;                // 30 .. 70
    int codePage = 0;               // as the header says (0 when it says nothing)
    int textCodePage = 0;           // the page the text was read in (866 or 1251)
    ParadoxReadError errorKind = ParadoxReadError::None;
    QString error;                  // Russian text for the operator's report

    bool ok() const { return errorKind == ParadoxReadError::None; }
};

// Called now and then while rows arrive; returning false stops the reading
// (errorKind Cancelled).
using ReadProgress = std::function<bool(qint64 rowsRead, qint64 rowsTotal)>;

// Reads a Paradox table. `timeoutMs` is how long the reader may go without
// progress (no header, no next rows) before it is stopped, so a file on which
// the library hangs ends with TimedOut instead of freezing the program.
ParadoxTable readParadoxTable(const QString &path, int timeoutMs = 10000, const ReadProgress &progress = {});

// The helper executable, or "" when it cannot be found.
QString paradoxReaderPath();

}  // namespace kv
