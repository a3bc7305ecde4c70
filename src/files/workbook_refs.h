#pragma once
// A1-style cell references: names, parsing, and moving the row numbers of
// references inside formulas, areas and defined names when rows are inserted
// or removed.

#include <QString>

#include <functional>

namespace kv {

QString columnName(int column);  // 1 -> "A", 27 -> "AA"
QString cellName(int row, int column);
// "B12" -> row 12, column 2; false when the text is not a plain reference.
bool parseCell(const QString &ref, int *row, int *column);
// "A1:C4" or a single cell; rows 0 and columns 0 mean a whole column / row.
struct Area {
    int row1 = 0, column1 = 0, row2 = 0, column2 = 0;
    QString text() const;
};
bool parseArea(const QString &ref, Area *area);

// Quotes a sheet name for a formula when needed ('Лист 1'!A1).
QString quotedSheetName(const QString &name);

// Which row of a reference a row number is.
enum class RefPart { Single, Start, End };

// Rewrites every row number in a formula's references. `rowMap(row, part)`
// gives the new row, or 0 to turn the reference into #REF!. Only references
// without a sheet (when `unqualifiedIsSheet`), or with `sheet` as their sheet,
// are touched; texts in quotes are left alone.
QString shiftFormulaRows(const QString &formula, const QString &sheet, bool unqualifiedIsSheet,
                         const std::function<int(int row, RefPart part)> &rowMap);

}  // namespace kv
