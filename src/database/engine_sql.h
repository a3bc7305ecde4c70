#pragma once
// The programs compose their statements as Jet text (string literals in double
// quotes, DateValue("…"), "Delete * from", [bracketed] names, append queries
// without a column list). toEngineSql turns such a text into the engine's SQL.

#include <QString>

namespace kv {

// Double-quoted literals become single-quoted with quotes doubled, so a value
// can never be read as a column name or end the literal early.
// DateValue("date") becomes the text literal of that day's midnight in the
// archive's "YYYY-MM-DD HH:MM:SS" form; a date that cannot be read is left as a
// call the engine rejects, so the caller reports a failed statement.
QString toEngineSql(const QString &jetText);

// A text as a Jet double-quoted literal (embedded quotes doubled).
QString jetQuoted(const QString &value);

}  // namespace kv
