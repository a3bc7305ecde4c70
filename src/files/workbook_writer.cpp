#include "files/workbook_writer.h"

#include "core/error_report.h"
#include "database/text_length.h"
#include "files/workbook_refs.h"
#include "files/workbook_ooxml.h"
#include "files/xml_tree.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QXmlStreamWriter>

#include <cmath>
namespace kv {

using namespace ooxml;

namespace {

bool isNumberType(const QVariant &v)
{
    switch (v.typeId()) {
    case QMetaType::Int: case QMetaType::UInt: case QMetaType::LongLong: case QMetaType::ULongLong:
    case QMetaType::Double: case QMetaType::Float: case QMetaType::Short: case QMetaType::UShort:
    case QMetaType::Long: case QMetaType::ULong: case QMetaType::UChar: case QMetaType::SChar:
        return true;
    default:
        return false;
    }
}

double dateSerial(const QDateTime &dt)
{
    const qint64 days = QDate(1899, 12, 30).daysTo(dt.date());
    return double(days) + dt.time().msecsSinceStartOfDay() / 86400000.0;
}

}  // namespace

struct WorkbookBuilder::Sheet {
    struct Cell {
        QVariant value;
        QString formula;
        int style = 0;
    };
    QString name;
    QMap<int, QMap<int, Cell>> rows;
    QMap<int, double> widths;
    QMap<int, double> heights;
    QList<Area> merges;
    PageSetup page;
    bool hasPage = false;
};

WorkbookBuilder::WorkbookBuilder() = default;
WorkbookBuilder::~WorkbookBuilder() = default;

QString cleanSheetName(const QString &name)
{
    QString clean;
    for (QChar c : name)
        clean += QStringLiteral("[]:*?/\\").contains(c) ? QChar(u'_') : c;
    clean = leftUnits(xmlSafe(clean), 31);
    while (clean.startsWith(u'\''))
        clean.remove(0, 1);
    while (clean.endsWith(u'\''))
        clean.chop(1);
    return clean.trimmed().isEmpty() ? QStringLiteral("Лист1") : clean;
}

int WorkbookBuilder::addSheet(const QString &name)
{
    auto sheet = std::make_unique<Sheet>();
    sheet->name = cleanSheetName(name);
    m_sheets.push_back(std::move(sheet));
    return int(m_sheets.size()) - 1;
}

QString WorkbookBuilder::sheetName(int sheet) const { return m_sheets.at(sheet)->name; }

void WorkbookBuilder::setCell(int sheet, int row, int column, const QVariant &value, const CellStyle &style)
{
    CellStyle s = style;
    if (s.numberFormat.isEmpty() && value.typeId() == QMetaType::QDate)
        s.numberFormat = kDateFormat;
    if (s.numberFormat.isEmpty() && value.typeId() == QMetaType::QDateTime)
        s.numberFormat = kDateTimeFormat;
    auto &cell = m_sheets.at(sheet)->rows[row][column];
    cell.value = value;
    cell.formula.clear();
    cell.style = m_styleTable.indexOf(s);
}

void WorkbookBuilder::setFormula(int sheet, int row, int column, const QString &formula, const CellStyle &style)
{
    auto &cell = m_sheets.at(sheet)->rows[row][column];
    cell.value = QVariant();
    cell.formula = formula;
    cell.style = m_styleTable.indexOf(style);
}

void WorkbookBuilder::merge(int sheet, int row1, int column1, int row2, int column2)
{
    m_sheets.at(sheet)->merges.append(Area{row1, column1, row2, column2});
}

void WorkbookBuilder::setColumnWidth(int sheet, int column, double width) { m_sheets.at(sheet)->widths[column] = width; }
void WorkbookBuilder::setRowHeight(int sheet, int row, double points) { m_sheets.at(sheet)->heights[row] = points; }

void WorkbookBuilder::setPageSetup(int sheet, const PageSetup &setup)
{
    m_sheets.at(sheet)->page = setup;
    m_sheets.at(sheet)->hasPage = true;
}

void WorkbookBuilder::setPrintArea(int sheet, int row1, int column1, int row2, int column2)
{
    const QString ref = QStringLiteral("%1!$%2$%3:$%4$%5")
                            .arg(quotedSheetName(sheetName(sheet)), columnName(column1), QString::number(row1),
                                 columnName(column2), QString::number(row2));
    defineName(QStringLiteral("_xlnm.Print_Area"), ref, sheet);
}

void WorkbookBuilder::defineName(const QString &name, const QString &formula, int localSheet)
{
    m_names.append({name, formula, localSheet});
}

QByteArray WorkbookBuilder::sheetPart(int index, const QList<int> &styleIndex, QStringList *sharedStrings) const
{
    const Sheet &sheet = *m_sheets.at(index);
    QHash<QString, int> stringIndex;
    if (sharedStrings)
        for (int i = 0; i < sharedStrings->size(); ++i)
            stringIndex.insert(sharedStrings->at(i), i);
    QByteArray out;
    QXmlStreamWriter w(&out);
    w.writeStartDocument(QStringLiteral("1.0"), true);
    w.writeStartElement(QStringLiteral("worksheet"));
    w.writeAttribute(QStringLiteral("xmlns"), kMainNs);
    w.writeAttribute(QStringLiteral("xmlns:r"), kRelNs);
    if (sheet.hasPage && sheet.page.fitToWidth) {
        w.writeStartElement(QStringLiteral("sheetPr"));
        w.writeEmptyElement(QStringLiteral("pageSetUpPr"));
        w.writeAttribute(QStringLiteral("fitToPage"), QStringLiteral("1"));
        w.writeEndElement();
    }
    int maxRow = 1, maxCol = 1;
    for (auto r = sheet.rows.cbegin(); r != sheet.rows.cend(); ++r) {
        maxRow = std::max(maxRow, r.key());
        if (!r.value().isEmpty())
            maxCol = std::max(maxCol, r.value().lastKey());
    }
    w.writeEmptyElement(QStringLiteral("dimension"));
    w.writeAttribute(QStringLiteral("ref"), QStringLiteral("A1:") + cellName(maxRow, maxCol));
    w.writeStartElement(QStringLiteral("sheetViews"));
    w.writeEmptyElement(QStringLiteral("sheetView"));
    if (index == 0)
        w.writeAttribute(QStringLiteral("tabSelected"), QStringLiteral("1"));
    w.writeAttribute(QStringLiteral("workbookViewId"), QStringLiteral("0"));
    w.writeEndElement();
    w.writeEmptyElement(QStringLiteral("sheetFormatPr"));
    w.writeAttribute(QStringLiteral("defaultRowHeight"), QStringLiteral("15"));
    if (!sheet.widths.isEmpty()) {
        w.writeStartElement(QStringLiteral("cols"));
        for (auto c = sheet.widths.cbegin(); c != sheet.widths.cend(); ++c) {
            w.writeEmptyElement(QStringLiteral("col"));
            w.writeAttribute(QStringLiteral("min"), QString::number(c.key()));
            w.writeAttribute(QStringLiteral("max"), QString::number(c.key()));
            w.writeAttribute(QStringLiteral("width"), number(c.value()));
            w.writeAttribute(QStringLiteral("customWidth"), QStringLiteral("1"));
        }
        w.writeEndElement();
    }
    w.writeStartElement(QStringLiteral("sheetData"));
    QSet<int> rowNumbers;
    for (auto r = sheet.rows.cbegin(); r != sheet.rows.cend(); ++r)
        rowNumbers.insert(r.key());
    for (auto h = sheet.heights.cbegin(); h != sheet.heights.cend(); ++h)
        rowNumbers.insert(h.key());
    QList<int> ordered(rowNumbers.begin(), rowNumbers.end());
    std::sort(ordered.begin(), ordered.end());
    for (int r : ordered) {
        w.writeStartElement(QStringLiteral("row"));
        w.writeAttribute(QStringLiteral("r"), QString::number(r));
        if (sheet.heights.contains(r)) {
            w.writeAttribute(QStringLiteral("ht"), number(sheet.heights.value(r)));
            w.writeAttribute(QStringLiteral("customHeight"), QStringLiteral("1"));
        }
        const auto cells = sheet.rows.value(r);
        for (auto c = cells.cbegin(); c != cells.cend(); ++c) {
            const Sheet::Cell &cell = c.value();
            w.writeStartElement(QStringLiteral("c"));
            w.writeAttribute(QStringLiteral("r"), cellName(r, c.key()));
            const int style = styleIndex.isEmpty() ? cell.style : styleIndex.value(cell.style, 0);
            if (style != 0)
                w.writeAttribute(QStringLiteral("s"), QString::number(style));
            const QVariant &v = cell.value;
            if (!cell.formula.isEmpty()) {
                w.writeTextElement(QStringLiteral("f"), xmlSafe(cell.formula));
            } else if (v.typeId() == QMetaType::Bool) {
                w.writeAttribute(QStringLiteral("t"), QStringLiteral("b"));
                w.writeTextElement(QStringLiteral("v"), v.toBool() ? QStringLiteral("1") : QStringLiteral("0"));
            } else if (isNumberType(v) && std::isfinite(v.toDouble())) {
                w.writeTextElement(QStringLiteral("v"), number(v.toDouble()));
            } else if (v.typeId() == QMetaType::QDate && v.toDate().isValid()) {
                w.writeTextElement(QStringLiteral("v"), number(dateSerial(v.toDate().startOfDay())));
            } else if (v.typeId() == QMetaType::QDateTime && v.toDateTime().isValid()) {
                w.writeTextElement(QStringLiteral("v"), number(dateSerial(v.toDateTime())));
            } else if (v.isValid() && !v.isNull()) {
                const QString text = xmlSafe(v.toString());
                if (sharedStrings) {
                    auto it = stringIndex.find(text);
                    if (it == stringIndex.end()) {
                        it = stringIndex.insert(text, sharedStrings->size());
                        sharedStrings->append(text);
                    }
                    w.writeAttribute(QStringLiteral("t"), QStringLiteral("s"));
                    w.writeTextElement(QStringLiteral("v"), QString::number(it.value()));
                } else {
                    w.writeAttribute(QStringLiteral("t"), QStringLiteral("inlineStr"));
                    w.writeStartElement(QStringLiteral("is"));
                    w.writeStartElement(QStringLiteral("t"));
                    w.writeAttribute(QStringLiteral("xml:space"), QStringLiteral("preserve"));
                    w.writeCharacters(text);
                    w.writeEndElement();
                    w.writeEndElement();
                }
            }
            w.writeEndElement();
        }
        w.writeEndElement();
    }
    w.writeEndElement();  // sheetData
    if (!sheet.merges.isEmpty()) {
        w.writeStartElement(QStringLiteral("mergeCells"));
        w.writeAttribute(QStringLiteral("count"), QString::number(sheet.merges.size()));
        for (const Area &a : sheet.merges) {
            w.writeEmptyElement(QStringLiteral("mergeCell"));
            w.writeAttribute(QStringLiteral("ref"), a.text());
        }
        w.writeEndElement();
    }
    if (sheet.hasPage) {
        const PageSetup &p = sheet.page;
        if (p.centerHorizontally) {
            w.writeEmptyElement(QStringLiteral("printOptions"));
            w.writeAttribute(QStringLiteral("horizontalCentered"), QStringLiteral("1"));
        }
        w.writeEmptyElement(QStringLiteral("pageMargins"));
        w.writeAttribute(QStringLiteral("left"), number(p.left));
        w.writeAttribute(QStringLiteral("right"), number(p.right));
        w.writeAttribute(QStringLiteral("top"), number(p.top));
        w.writeAttribute(QStringLiteral("bottom"), number(p.bottom));
        w.writeAttribute(QStringLiteral("header"), number(p.header));
        w.writeAttribute(QStringLiteral("footer"), number(p.footer));
        w.writeEmptyElement(QStringLiteral("pageSetup"));
        w.writeAttribute(QStringLiteral("paperSize"), QString::number(p.paperSize));
        w.writeAttribute(QStringLiteral("orientation"), p.portrait ? QStringLiteral("portrait") : QStringLiteral("landscape"));
        if (p.fitToWidth) {
            w.writeAttribute(QStringLiteral("fitToWidth"), QStringLiteral("1"));
            w.writeAttribute(QStringLiteral("fitToHeight"), QStringLiteral("0"));
        }
    }
    w.writeEndElement();  // worksheet
    w.writeEndDocument();
    return out;
}

WorkbookPackage WorkbookBuilder::package() const
{
    WorkbookPackage pkg;
    const int n = int(m_sheets.size());
    {
        XmlNode t = el(QStringLiteral("Types"), {{QStringLiteral("xmlns"), QStringLiteral("http://schemas.openxmlformats.org/package/2006/content-types")}});
        t.append(el(QStringLiteral("Default"), {{QStringLiteral("Extension"), QStringLiteral("rels")},
                                                {QStringLiteral("ContentType"), QStringLiteral("application/vnd.openxmlformats-package.relationships+xml")}}));
        t.append(el(QStringLiteral("Default"), {{QStringLiteral("Extension"), QStringLiteral("xml")},
                                                {QStringLiteral("ContentType"), QStringLiteral("application/xml")}}));
        t.append(el(QStringLiteral("Override"), {{QStringLiteral("PartName"), QStringLiteral("/xl/workbook.xml")},
                                                 {QStringLiteral("ContentType"), kCtWorkbook}}));
        for (int i = 0; i < n; ++i)
            t.append(el(QStringLiteral("Override"), {{QStringLiteral("PartName"), QStringLiteral("/xl/worksheets/sheet%1.xml").arg(i + 1)},
                                                     {QStringLiteral("ContentType"), kCtSheet}}));
        t.append(el(QStringLiteral("Override"), {{QStringLiteral("PartName"), QStringLiteral("/xl/styles.xml")},
                                                 {QStringLiteral("ContentType"), kCtStyles}}));
        if (m_sharedStrings)
            t.append(el(QStringLiteral("Override"), {{QStringLiteral("PartName"), QStringLiteral("/xl/sharedStrings.xml")},
                                                     {QStringLiteral("ContentType"), kCtStrings}}));
        pkg.setPart(QStringLiteral("[Content_Types].xml"), writeXml(t));
    }
    {
        XmlNode r = el(QStringLiteral("Relationships"), {{QStringLiteral("xmlns"), kPkgRelNs}});
        r.append(el(QStringLiteral("Relationship"), {{QStringLiteral("Id"), QStringLiteral("rId1")},
                                                     {QStringLiteral("Type"), kRelOffice},
                                                     {QStringLiteral("Target"), QStringLiteral("xl/workbook.xml")}}));
        pkg.setPart(QStringLiteral("_rels/.rels"), writeXml(r));
    }
    {
        XmlNode wb = el(QStringLiteral("workbook"), {{QStringLiteral("xmlns"), kMainNs}, {QStringLiteral("xmlns:r"), kRelNs}});
        XmlNode &views = wb.append(el(QStringLiteral("bookViews")));
        views.append(el(QStringLiteral("workbookView")));
        XmlNode &sheets = wb.append(el(QStringLiteral("sheets")));
        for (int i = 0; i < n; ++i)
            sheets.append(el(QStringLiteral("sheet"), {{QStringLiteral("name"), m_sheets[i]->name},
                                                       {QStringLiteral("sheetId"), QString::number(i + 1)},
                                                       {QStringLiteral("r:id"), QStringLiteral("rId%1").arg(i + 1)}}));
        if (!m_names.isEmpty()) {
            XmlNode &names = wb.append(el(QStringLiteral("definedNames")));
            for (const auto &[name, formula, local] : m_names) {
                XmlNode d = el(QStringLiteral("definedName"), {{QStringLiteral("name"), name}});
                if (local >= 0)
                    d.setAttribute(QStringLiteral("localSheetId"), QString::number(local));
                d.append(XmlNode::textNode(formula));
                names.append(d);
            }
        }
        wb.append(el(QStringLiteral("calcPr"), {{QStringLiteral("calcId"), QStringLiteral("0")},
                                                {QStringLiteral("fullCalcOnLoad"), QStringLiteral("1")}}));
        pkg.setPart(QStringLiteral("xl/workbook.xml"), writeXml(wb));

        XmlNode r = el(QStringLiteral("Relationships"), {{QStringLiteral("xmlns"), kPkgRelNs}});
        for (int i = 0; i < n; ++i)
            r.append(el(QStringLiteral("Relationship"), {{QStringLiteral("Id"), QStringLiteral("rId%1").arg(i + 1)},
                                                         {QStringLiteral("Type"), kRelWorksheet},
                                                         {QStringLiteral("Target"), QStringLiteral("worksheets/sheet%1.xml").arg(i + 1)}}));
        r.append(el(QStringLiteral("Relationship"), {{QStringLiteral("Id"), QStringLiteral("rId%1").arg(n + 1)},
                                                     {QStringLiteral("Type"), kRelStyles},
                                                     {QStringLiteral("Target"), QStringLiteral("styles.xml")}}));
        if (m_sharedStrings)
            r.append(el(QStringLiteral("Relationship"), {{QStringLiteral("Id"), QStringLiteral("rId%1").arg(n + 2)},
                                                         {QStringLiteral("Type"), kRelStrings},
                                                         {QStringLiteral("Target"), QStringLiteral("sharedStrings.xml")}}));
        pkg.setPart(QStringLiteral("xl/_rels/workbook.xml.rels"), writeXml(r));
    }
    QStringList strings;
    for (int i = 0; i < n; ++i)
        pkg.setPart(QStringLiteral("xl/worksheets/sheet%1.xml").arg(i + 1),
                    sheetPart(i, {}, m_sharedStrings ? &strings : nullptr));
    pkg.setPart(QStringLiteral("xl/styles.xml"), m_styleTable.stylesPart());
    if (m_sharedStrings) {
        XmlNode sst = el(QStringLiteral("sst"), {{QStringLiteral("xmlns"), kMainNs},
                                                 {QStringLiteral("uniqueCount"), QString::number(strings.size())}});
        for (const QString &s : strings) {
            XmlNode &si = sst.append(el(QStringLiteral("si")));
            XmlNode &t = si.append(el(QStringLiteral("t"), {{QStringLiteral("xml:space"), QStringLiteral("preserve")}}));
            t.append(XmlNode::textNode(s));
        }
        pkg.setPart(QStringLiteral("xl/sharedStrings.xml"), writeXml(sst));
    }
    return pkg;
}

}  // namespace kv
