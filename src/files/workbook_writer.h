#pragma once
// Writes new .xlsx workbooks: a general builder (cells, styles, merges,
// widths, heights, page set-up, defined names) used by the protocol template
// generator, and the table writer behind "Сохранить как" and the export to a
// workbook (a new file, or one more sheet in an existing one).

#include "files/workbook_package.h"

#include <QAbstractItemModel>
#include <QColor>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>

namespace kv {

struct CellStyle {
    enum class HAlign { General, Left, Center, Right };
    enum class VAlign { Bottom, Center, Top };
    enum class Border { None, Thin, Bottom };

    QString fontName = QStringLiteral("Times New Roman");
    double fontSize = 11;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    HAlign hAlign = HAlign::General;
    VAlign vAlign = VAlign::Bottom;
    bool wrap = false;
    Border border = Border::None;
    QString numberFormat;  // empty: General
    QColor fill;           // invalid: none

    bool operator==(const CellStyle &o) const;
};

// The workbook's style table; index 0 is the default style.
class StyleTable
{
public:
    StyleTable();
    int indexOf(const CellStyle &style);
    // A whole styles part.
    QByteArray stylesPart() const;
    // Appends these styles to an existing styles part; returns the index there
    // of each of this table's styles (the default style maps to 0).
    QList<int> appendTo(QByteArray &stylesPart) const;

private:
    QList<CellStyle> m_styles;
};

struct PageSetup {
    bool portrait = true;
    int paperSize = 9;  // A4
    bool fitToWidth = true;
    // Margins in inches, as the file keeps them.
    double left = 0.6, right = 0.4, top = 0.6, bottom = 0.6, header = 0.3, footer = 0.3;
    bool centerHorizontally = true;
};

class WorkbookBuilder
{
public:
    WorkbookBuilder();
    ~WorkbookBuilder();
    WorkbookBuilder(const WorkbookBuilder &) = delete;
    WorkbookBuilder &operator=(const WorkbookBuilder &) = delete;

    // Strings go to the shared string table (as spreadsheet programs write
    // them) or inline in each cell.
    void setSharedStrings(bool shared) { m_sharedStrings = shared; }

    // Returns the sheet's index. Names are cut to 31 characters and stripped
    // of the characters a sheet name cannot have.
    int addSheet(const QString &name);
    QString sheetName(int sheet) const;

    // Rows and columns count from 1. A QString becomes a string cell, a number
    // a number cell, a bool a boolean, a QDate/QDateTime a date number with a
    // date format; an invalid or null QVariant leaves only the style.
    void setCell(int sheet, int row, int column, const QVariant &value, const CellStyle &style = CellStyle());
    void setFormula(int sheet, int row, int column, const QString &formula, const CellStyle &style = CellStyle());
    void merge(int sheet, int row1, int column1, int row2, int column2);
    void setColumnWidth(int sheet, int column, double width);
    void setRowHeight(int sheet, int row, double points);
    void setPageSetup(int sheet, const PageSetup &setup);
    void setPrintArea(int sheet, int row1, int column1, int row2, int column2);
    // A workbook-wide name (localSheet < 0) or one local to a sheet.
    void defineName(const QString &name, const QString &formula, int localSheet = -1);

    WorkbookPackage package() const;
    // The text of a sheet part; `styleIndex` maps this builder's styles to the
    // target workbook's (empty: the same), `sharedStrings` collects strings when they are shared.
    QByteArray sheetPart(int sheet, const QList<int> &styleIndex, QStringList *sharedStrings) const;
    StyleTable &styles() { return m_styleTable; }

private:
    struct Sheet;
    std::vector<std::unique_ptr<Sheet>> m_sheets;
    StyleTable m_styleTable;
    QList<std::tuple<QString, QString, int>> m_names;
    bool m_sharedStrings = true;
};

// A table of typed values, as a grid or a query shows it.
struct WorkbookTable {
    QString sheetName;
    QStringList titles;
    QList<QVariantList> rows;
    QList<double> columnWidths;  // in characters; missing ones are fitted to the text
};

// A table from a model: the header titles and the values (Qt::EditRole, so
// numbers and dates keep their type) of the given rows and columns, all of
// them when a list is empty.
WorkbookTable tableFromModel(const QAbstractItemModel &model, const QString &sheetName, const QList<int> &rows = {},
                             const QList<int> &columns = {});

// Writes a new workbook holding the table on one sheet. Returns "" or the
// operator's error text; an earlier file stays as it was on failure.
QString writeWorkbook(const QString &path, const WorkbookTable &table);
// Adds the table as a new sheet to an existing workbook (or writes a new one
// when the file does not exist). A sheet of the same name is an error.
QString addSheet(const QString &path, const WorkbookTable &table);
// The names of the sheets of a workbook, in order; an error text in *error.
QStringList sheetNames(const QString &path, QString *error = nullptr);

// A sheet name as a workbook can hold it.
QString cleanSheetName(const QString &name);

}  // namespace kv
