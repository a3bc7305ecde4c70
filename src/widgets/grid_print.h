#pragma once
// Printing a grid's table: the whole table (not only the rows on screen),
// scaled to the page width, in colour, every row as tall as its text needs,
// page margins of 2 mm, a page header "Страница. N" over a double rule, the
// product name before the table and the date after it. Rows are laid out and
// painted directly, so a long archive paginates in seconds.

#include <QColor>
#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class QPrinter;

namespace kv {

struct GridPrintJob {
    QString productName = QStringLiteral("Kvintor");
    QString title;  // one title line before the table; none when empty
    QDate date;     // printed after the table in the locale's short format
    QStringList titles;
    QList<int> widths;  // screen widths of the columns; their ratio is kept
    QList<Qt::Alignment> alignments;
    QList<QStringList> rows;
    QList<QColor> rowColours;  // background per row (invalid or missing: none)
};

// Called while rows are measured and pages painted; `done` of `total` steps.
// Returning false stops the job.
using PrintProgress = std::function<bool(int done, int total)>;

struct PrintOutcome {
    int pages = 0;
    bool cancelled = false;
    QString error;  // Russian text for the operator; empty on success
};

// Prints the job on `printer` (its page layout gets the 2 mm margins and colour).
PrintOutcome printGrid(QPrinter &printer, const GridPrintJob &job, const PrintProgress &progress = {});

// The page header text of page `page` (from 1).
QString pageHeaderText(int page);
// Arial where installed, else a sans family with Arial's metrics, else the default sans.
QString printFontFamily();

}  // namespace kv
