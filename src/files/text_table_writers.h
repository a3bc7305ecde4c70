#pragma once
// "Сохранить как" of a grid: the shown columns and rows written as a text,
// CSV, HTML or RTF file. Every format carries Cyrillic so that the usual
// programs show it: text and CSV as UTF-8 with a byte order mark, HTML as
// UTF-8 declared in the page, RTF with \u escapes.

#include "files/table_data.h"

#include <QByteArray>
#include <QString>

namespace kv {

enum class TextTableFormat { Text, Csv, Html, Rtf };

// "txt", "csv", "htm", "rtf".
QString textTableExtension(TextTableFormat format);

// The file name to write: `fileName` when it already ends in "." + `extension`
// (any letter case), else with "." + `extension` appended (report -> report.txt,
// data.csv saved as text -> data.csv.txt).
QString withExtension(const QString &fileName, const QString &extension);

// The file's content: a title line of column names, then one line a row, each
// cell as cellText() shows it.
QByteArray textTableBytes(const TableData &table, TextTableFormat format);

// Writes the whole file or nothing (the earlier file stays byte for byte if writing
// fails). Returns "" on success, else the text to report.
QString writeTextTable(const QString &path, const TableData &table, TextTableFormat format);

}  // namespace kv
