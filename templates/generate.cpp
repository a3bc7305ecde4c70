// Writes the two protocol templates, Report.xlsx (one meter) and GReport.xlsx
// (one stand, six positions), into the folder given as the argument.
//
// A template names its data as {{Source.Field}}: "TNumber" (header texts),
// "ADOTip" (the meter type), "ADOPosition" (the meter, single protocol only)
// and "RxMD" (the protocol table), whose one row sits in the defined name
// RangeTable and is repeated once per table row.

#include "files/workbook_writer.h"

#include <QDateTime>
#include <QDir>
#include <QString>

#include <cstdio>

namespace {

using kv::CellStyle;

struct Layout {
    kv::WorkbookBuilder book;
    int sheet = 0;
    int columns = 0;

    CellStyle base() const
    {
        CellStyle s;
        s.fontName = QStringLiteral("Times New Roman");
        s.fontSize = 11;
        s.vAlign = CellStyle::VAlign::Center;
        return s;
    }
    // A line across the whole width.
    void line(int row, const QString &text, CellStyle style, double height = 0)
    {
        book.setCell(sheet, row, 1, text, style);
        for (int c = 2; c <= columns; ++c)
            book.setCell(sheet, row, c, QVariant(), style);
        book.merge(sheet, row, 1, row, columns);
        if (height > 0)
            book.setRowHeight(sheet, row, height);
    }
    // Text over columns first..last of one row.
    void span(int row, int first, int last, const QVariant &value, const CellStyle &style)
    {
        book.setCell(sheet, row, first, value, style);
        for (int c = first + 1; c <= last; ++c)
            book.setCell(sheet, row, c, QVariant(), style);
        if (last > first)
            book.merge(sheet, row, first, row, last);
    }
    void block(int row1, int col1, int row2, int col2, const QVariant &value, const CellStyle &style)
    {
        for (int r = row1; r <= row2; ++r)
            for (int c = col1; c <= col2; ++c)
                book.setCell(sheet, r, c, r == row1 && c == col1 ? value : QVariant(), style);
        book.merge(sheet, row1, col1, row2, col2);
    }
};

QString field(const char *source, const char *name)
{
    return QStringLiteral("{{%1.%2}}").arg(QLatin1String(source), QLatin1String(name));
}

// The heading, the meter type block; returns the next free row.
int header(Layout &l, bool group)
{
    CellStyle title = l.base();
    title.bold = true;
    title.fontSize = 13;
    title.hAlign = CellStyle::HAlign::Center;
    CellStyle centred = l.base();
    centred.hAlign = CellStyle::HAlign::Center;
    centred.wrap = true;
    CellStyle stand = centred;
    stand.bold = true;
    l.line(1, field("TNumber", "NumProt"), title, 22);
    l.line(2, field("TNumber", "NumUst"), centred, 30);
    l.line(3, field("TNumber", "PPover"), centred, 18);
    l.line(4, field("TNumber", "Stend"), stand, 18);

    CellStyle label = l.base();
    label.hAlign = CellStyle::HAlign::Left;
    CellStyle value = l.base();
    value.bold = true;
    value.hAlign = CellStyle::HAlign::Left;
    value.border = CellStyle::Border::Bottom;
    // Label and value halves of the width, two pairs per line.
    const int half = l.columns / 2;
    const int labelWidth = group ? 3 : 2;
    auto pair = [&](int row, int from, int to, const QString &text, const QString &data) {
        l.span(row, from, from + labelWidth - 1, text, label);
        l.span(row, from + labelWidth, to, data, value);
    };
    int row = 6;
    pair(row, 1, half, QStringLiteral("Тип счётчика:"), field("ADOTip", "PTip"));
    pair(row++, half + 1, l.columns, QStringLiteral("Исполнение:"), field("ADOTip", "PIdentificator"));
    l.span(row, 1, labelWidth, QStringLiteral("Изготовитель:"), label);
    l.span(row++, labelWidth + 1, l.columns, field("ADOTip", "PMaker"), value);
    pair(row, 1, half, QStringLiteral("Класс точности:"), field("ADOTip", "PClassT"));
    pair(row++, half + 1, l.columns, QStringLiteral("Постоянная:"), field("ADOTip", "PReductRate"));
    pair(row, 1, half, QStringLiteral("Uном, В:"), field("ADOTip", "PUnom"));
    pair(row++, half + 1, l.columns, QStringLiteral("Iном (Iмакс), А:"),
         field("ADOTip", "PInom") + QStringLiteral(" (") + field("ADOTip", "PImax") + QStringLiteral(")"));
    if (!group) {
        pair(row, 1, half, QStringLiteral("Заводской №:"), field("ADOPosition", "PNumber"));
        pair(row++, half + 1, l.columns, QStringLiteral("Место:"), field("ADOPosition", "PPosition"));
    }
    return row + 1;
}

// The signature lines from `row` on; returns the last row used.
int signatures(Layout &l, int row)
{
    CellStyle note = l.base();
    note.italic = true;
    note.fontSize = 9;
    note.hAlign = CellStyle::HAlign::Left;
    note.wrap = true;
    l.line(row++, QStringLiteral("Режимы: п — определение погрешности, ч — чувствительность, с — самоход, "
                                 "с/у — счётное устройство."),
           note, 26);
    ++row;
    CellStyle text = l.base();
    text.hAlign = CellStyle::HAlign::Left;
    CellStyle lineStyle = l.base();
    lineStyle.border = CellStyle::Border::Bottom;
    CellStyle caption = l.base();
    caption.fontSize = 8;
    caption.hAlign = CellStyle::HAlign::Center;
    caption.vAlign = CellStyle::VAlign::Top;
    const int split = l.columns - 2;
    l.span(row, 1, split - 1, field("TNumber", "MakerPov"), text);
    l.span(row, split, l.columns, QVariant(), lineStyle);
    l.book.setRowHeight(l.sheet, row, 24);
    ++row;
    l.span(row, split, l.columns, QStringLiteral("(подпись)"), caption);
    row += 2;
    l.span(row, 1, split - 1, QStringLiteral("Дата поверки:"), text);
    CellStyle date = lineStyle;
    date.hAlign = CellStyle::HAlign::Center;
    l.span(row, split, l.columns, field("TNumber", "DatePov"), date);
    return row;
}

void finish(Layout &l, int lastRow, const QString &path)
{
    kv::PageSetup page;
    page.portrait = true;
    page.paperSize = 9;
    page.fitToWidth = true;
    l.book.setPageSetup(l.sheet, page);
    l.book.setPrintArea(l.sheet, 1, 1, lastRow, l.columns);
    // A fixed stamp makes the files byte-for-byte reproducible.
    l.book.package().save(path, QDateTime(QDate(2024, 1, 1), QTime(0, 0)));
}

CellStyle tableTitle(const Layout &l)
{
    CellStyle s = l.base();
    s.fontSize = 9;
    s.bold = true;
    s.wrap = true;
    s.hAlign = CellStyle::HAlign::Center;
    s.border = CellStyle::Border::Thin;
    return s;
}

CellStyle tableCell(const Layout &l)
{
    CellStyle s = l.base();
    s.fontSize = 10;
    s.hAlign = CellStyle::HAlign::Center;
    s.border = CellStyle::Border::Thin;
    return s;
}

const char *kPointColumns[] = {"N", "Mode", "U", "I", "KM", "CountRotation"};
const char *kPointTitles[] = {"№ п/п", "Режим", "U, % Uном", "I, % Iном", "cos φ (sin φ)", "Число оборотов (время, мин,с)"};
const double kPointWidths[] = {6, 7, 9, 9, 10, 13};

void groupProtocol(const QString &path)
{
    Layout l;
    l.sheet = l.book.addSheet(QStringLiteral("Протокол"));
    l.columns = 12;
    int row = header(l, true);
    const CellStyle title = tableTitle(l);
    const int top = row;
    for (int c = 0; c < 6; ++c)
        l.block(top, c + 1, top + 2, c + 1, QString::fromUtf8(kPointTitles[c]), title);
    l.span(top, 7, 12, QStringLiteral("Погрешность, %, счётчиков на местах"), title);
    CellStyle numbers = title;
    numbers.bold = false;
    for (int p = 1; p <= 6; ++p) {
        l.book.setCell(l.sheet, top + 1, 6 + p, p, title);
        l.book.setCell(l.sheet, top + 2, 6 + p, QStringLiteral("{{TNumber.Nz%1}}").arg(p), numbers);
    }
    l.book.setRowHeight(l.sheet, top, 18);
    l.book.setRowHeight(l.sheet, top + 2, 30);
    row = top + 3;
    const CellStyle cell = tableCell(l);
    for (int c = 0; c < 6; ++c)
        l.book.setCell(l.sheet, row, c + 1, field("RxMD", kPointColumns[c]), cell);
    for (int p = 1; p <= 6; ++p)
        l.book.setCell(l.sheet, row, 6 + p, QStringLiteral("{{RxMD.N%1}}").arg(p), cell);
    l.book.defineName(QStringLiteral("RangeTable"),
                      QStringLiteral("'Протокол'!$A$%1:$L$%1").arg(row));
    for (int c = 0; c < 6; ++c)
        l.book.setColumnWidth(l.sheet, c + 1, kPointWidths[c]);
    for (int p = 1; p <= 6; ++p)
        l.book.setColumnWidth(l.sheet, 6 + p, 10);
    const int last = signatures(l, row + 2);
    // Where the control program puts each meter's error curves, below the signatures.
    l.book.defineName(QStringLiteral("KvCurves"), QStringLiteral("'Протокол'!$A$%1").arg(last + 2));
    finish(l, last, path);
}

void singleProtocol(const QString &path)
{
    Layout l;
    l.sheet = l.book.addSheet(QStringLiteral("Протокол"));
    l.columns = 8;
    int row = header(l, false);
    const CellStyle title = tableTitle(l);
    for (int c = 0; c < 6; ++c)
        l.book.setCell(l.sheet, row, c + 1, QString::fromUtf8(kPointTitles[c]), title);
    l.span(row, 7, 8, QStringLiteral("Погрешность, %"), title);
    l.book.setRowHeight(l.sheet, row, 42);
    ++row;
    const CellStyle cell = tableCell(l);
    for (int c = 0; c < 6; ++c)
        l.book.setCell(l.sheet, row, c + 1, field("RxMD", kPointColumns[c]), cell);
    l.span(row, 7, 8, field("RxMD", "N1"), cell);
    l.book.defineName(QStringLiteral("RangeTable"), QStringLiteral("'Протокол'!$A$%1:$H$%1").arg(row));
    for (int c = 0; c < 6; ++c)
        l.book.setColumnWidth(l.sheet, c + 1, kPointWidths[c] + 3);
    l.book.setColumnWidth(l.sheet, 7, 10);
    l.book.setColumnWidth(l.sheet, 8, 10);
    row += 2;
    CellStyle verdict = l.base();
    verdict.bold = true;
    verdict.fontSize = 12;
    verdict.hAlign = CellStyle::HAlign::Left;
    l.line(row, field("TNumber", "Result"), verdict, 20);
    const int last = signatures(l, row + 2);
    finish(l, last, path);
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: kvintor-templates OUTPUT_FOLDER\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    try {
        singleProtocol(out.filePath(QStringLiteral("Report.xlsx")));
        groupProtocol(out.filePath(QStringLiteral("GReport.xlsx")));
    } catch (const std::exception &e) {
        std::fprintf(stderr, "kvintor-templates: %s\n", e.what());
        return 1;
    }
    return 0;
}
