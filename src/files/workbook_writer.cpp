#include "files/workbook_writer.h"

#include "core/error_report.h"
#include "database/text_length.h"
#include "files/workbook_refs.h"
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

namespace {

const QString kMainNs = QStringLiteral("http://schemas.openxmlformats.org/spreadsheetml/2006/main");
const QString kRelNs = QStringLiteral("http://schemas.openxmlformats.org/officeDocument/2006/relationships");
const QString kPkgRelNs = QStringLiteral("http://schemas.openxmlformats.org/package/2006/relationships");
const QString kRelWorksheet = kRelNs + QStringLiteral("/worksheet");
const QString kRelStyles = kRelNs + QStringLiteral("/styles");
const QString kRelStrings = kRelNs + QStringLiteral("/sharedStrings");
const QString kRelOffice = kRelNs + QStringLiteral("/officeDocument");
const QString kCtSheet = QStringLiteral("application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml");
const QString kCtStyles = QStringLiteral("application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml");
const QString kCtStrings = QStringLiteral("application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml");
const QString kCtWorkbook = QStringLiteral("application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml");
const QString kDateFormat = QStringLiteral("dd.mm.yyyy");
const QString kDateTimeFormat = QStringLiteral("dd.mm.yyyy hh:mm:ss");

QString number(double v) { return QString::number(v, 'g', QLocale::FloatingPointShortest); }

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

XmlNode el(const QString &name, std::initializer_list<QPair<QString, QString>> attrs = {})
{
    XmlNode n = XmlNode::element(name);
    for (const auto &a : attrs)
        n.attributes.append(a);
    return n;
}

// The parts of a style table as nodes, with indices local to this table.
struct StyleNodes {
    std::vector<XmlNode> numFmts, fonts, fills, borders, xfs;
    QList<int> numFmtIds;  // local custom ids, from 164
};

StyleNodes buildStyleNodes(const QList<CellStyle> &styles)
{
    StyleNodes out;
    QStringList formats;
    QList<CellStyle> fontKeys, fillKeys, borderKeys;
    auto fontIndex = [&](const CellStyle &s) {
        for (int i = 0; i < fontKeys.size(); ++i) {
            const CellStyle &k = fontKeys.at(i);
            if (k.fontName == s.fontName && k.fontSize == s.fontSize && k.bold == s.bold && k.italic == s.italic
                && k.underline == s.underline)
                return i;
        }
        fontKeys.append(s);
        XmlNode f = el(QStringLiteral("font"));
        if (s.bold)
            f.append(el(QStringLiteral("b")));
        if (s.italic)
            f.append(el(QStringLiteral("i")));
        if (s.underline)
            f.append(el(QStringLiteral("u")));
        f.append(el(QStringLiteral("sz"), {{QStringLiteral("val"), number(s.fontSize)}}));
        f.append(el(QStringLiteral("name"), {{QStringLiteral("val"), s.fontName}}));
        f.append(el(QStringLiteral("family"), {{QStringLiteral("val"), QStringLiteral("1")}}));
        f.append(el(QStringLiteral("charset"), {{QStringLiteral("val"), QStringLiteral("204")}}));
        out.fonts.push_back(f);
        return int(out.fonts.size()) - 1;
    };
    auto patternFill = [](const QString &type) {
        XmlNode f = el(QStringLiteral("fill"));
        f.append(el(QStringLiteral("patternFill"), {{QStringLiteral("patternType"), type}}));
        return f;
    };
    out.fills.push_back(patternFill(QStringLiteral("none")));
    out.fills.push_back(patternFill(QStringLiteral("gray125")));
    auto fillIndex = [&](const CellStyle &s) {
        if (!s.fill.isValid())
            return 0;
        for (int i = 0; i < fillKeys.size(); ++i)
            if (fillKeys.at(i).fill == s.fill)
                return i + 2;
        fillKeys.append(s);
        XmlNode f = patternFill(QStringLiteral("solid"));
        const QString rgb = QStringLiteral("FF%1").arg(s.fill.rgb() & 0xFFFFFF, 6, 16, QLatin1Char('0')).toUpper();
        f.children.back().append(el(QStringLiteral("fgColor"), {{QStringLiteral("rgb"), rgb}}));
        f.children.back().append(el(QStringLiteral("bgColor"), {{QStringLiteral("indexed"), QStringLiteral("64")}}));
        out.fills.push_back(f);
        return int(out.fills.size()) - 1;
    };
    auto borderNode = [](CellStyle::Border b) {
        XmlNode n = el(QStringLiteral("border"));
        for (const char *side : {"left", "right", "top", "bottom"}) {
            XmlNode s = el(QString::fromLatin1(side));
            const bool on = b == CellStyle::Border::Thin || (b == CellStyle::Border::Bottom && qstrcmp(side, "bottom") == 0);
            if (on) {
                s.setAttribute(QStringLiteral("style"), QStringLiteral("thin"));
                s.append(el(QStringLiteral("color"), {{QStringLiteral("auto"), QStringLiteral("1")}}));
            }
            n.append(s);
        }
        n.append(el(QStringLiteral("diagonal")));
        return n;
    };
    out.borders.push_back(borderNode(CellStyle::Border::None));
    auto borderIndex = [&](const CellStyle &s) {
        if (s.border == CellStyle::Border::None)
            return 0;
        for (int i = 0; i < borderKeys.size(); ++i)
            if (borderKeys.at(i).border == s.border)
                return i + 1;
        borderKeys.append(s);
        out.borders.push_back(borderNode(s.border));
        return int(out.borders.size()) - 1;
    };
    auto formatId = [&](const QString &code) {
        if (code.isEmpty())
            return 0;
        int i = formats.indexOf(code);
        if (i < 0) {
            formats.append(code);
            i = formats.size() - 1;
            out.numFmtIds.append(164 + i);
            out.numFmts.push_back(el(QStringLiteral("numFmt"), {{QStringLiteral("numFmtId"), QString::number(164 + i)},
                                                                 {QStringLiteral("formatCode"), code}}));
        }
        return 164 + i;
    };
    for (const CellStyle &s : styles) {
        XmlNode xf = el(QStringLiteral("xf"));
        xf.setAttribute(QStringLiteral("numFmtId"), QString::number(formatId(s.numberFormat)));
        xf.setAttribute(QStringLiteral("fontId"), QString::number(fontIndex(s)));
        xf.setAttribute(QStringLiteral("fillId"), QString::number(fillIndex(s)));
        xf.setAttribute(QStringLiteral("borderId"), QString::number(borderIndex(s)));
        xf.setAttribute(QStringLiteral("xfId"), QStringLiteral("0"));
        xf.setAttribute(QStringLiteral("applyNumberFormat"), QStringLiteral("1"));
        xf.setAttribute(QStringLiteral("applyFont"), QStringLiteral("1"));
        xf.setAttribute(QStringLiteral("applyFill"), QStringLiteral("1"));
        xf.setAttribute(QStringLiteral("applyBorder"), QStringLiteral("1"));
        xf.setAttribute(QStringLiteral("applyAlignment"), QStringLiteral("1"));
        XmlNode align = el(QStringLiteral("alignment"));
        static const char *h[] = {nullptr, "left", "center", "right"};
        static const char *v[] = {nullptr, "center", "top"};
        if (h[int(s.hAlign)])
            align.setAttribute(QStringLiteral("horizontal"), QString::fromLatin1(h[int(s.hAlign)]));
        if (v[int(s.vAlign)])
            align.setAttribute(QStringLiteral("vertical"), QString::fromLatin1(v[int(s.vAlign)]));
        if (s.wrap)
            align.setAttribute(QStringLiteral("wrapText"), QStringLiteral("1"));
        if (!align.attributes.isEmpty())
            xf.append(align);
        out.xfs.push_back(xf);
    }
    return out;
}

XmlNode listNode(const QString &name, const std::vector<XmlNode> &items)
{
    XmlNode n = el(name, {{QStringLiteral("count"), QString::number(items.size())}});
    for (const auto &i : items)
        n.append(i);
    return n;
}

}  // namespace

bool CellStyle::operator==(const CellStyle &o) const
{
    return fontName == o.fontName && fontSize == o.fontSize && bold == o.bold && italic == o.italic
        && underline == o.underline && hAlign == o.hAlign && vAlign == o.vAlign && wrap == o.wrap
        && border == o.border && numberFormat == o.numberFormat && fill == o.fill;
}

StyleTable::StyleTable() { m_styles.append(CellStyle()); }

int StyleTable::indexOf(const CellStyle &style)
{
    const int i = m_styles.indexOf(style);
    if (i >= 0)
        return i;
    m_styles.append(style);
    return m_styles.size() - 1;
}

QByteArray StyleTable::stylesPart() const
{
    StyleNodes nodes = buildStyleNodes(m_styles);
    XmlNode root = el(QStringLiteral("styleSheet"), {{QStringLiteral("xmlns"), kMainNs}});
    if (!nodes.numFmts.empty())
        root.append(listNode(QStringLiteral("numFmts"), nodes.numFmts));
    root.append(listNode(QStringLiteral("fonts"), nodes.fonts));
    root.append(listNode(QStringLiteral("fills"), nodes.fills));
    root.append(listNode(QStringLiteral("borders"), nodes.borders));
    XmlNode styleXfs = el(QStringLiteral("cellStyleXfs"), {{QStringLiteral("count"), QStringLiteral("1")}});
    styleXfs.append(el(QStringLiteral("xf"), {{QStringLiteral("numFmtId"), QStringLiteral("0")},
                                              {QStringLiteral("fontId"), QStringLiteral("0")},
                                              {QStringLiteral("fillId"), QStringLiteral("0")},
                                              {QStringLiteral("borderId"), QStringLiteral("0")}}));
    root.append(styleXfs);
    root.append(listNode(QStringLiteral("cellXfs"), nodes.xfs));
    XmlNode cellStyles = el(QStringLiteral("cellStyles"), {{QStringLiteral("count"), QStringLiteral("1")}});
    cellStyles.append(el(QStringLiteral("cellStyle"), {{QStringLiteral("name"), QStringLiteral("Normal")},
                                                       {QStringLiteral("xfId"), QStringLiteral("0")},
                                                       {QStringLiteral("builtinId"), QStringLiteral("0")}}));
    root.append(cellStyles);
    return writeXml(root);
}

QList<int> StyleTable::appendTo(QByteArray &part) const
{
    XmlNode root = parseXml(part, QStringLiteral("styles.xml"));
    const QString p = root.prefix();
    StyleNodes nodes = buildStyleNodes(m_styles);
    // The order of the style sheet's lists is fixed; a missing list is made in its place.
    static const QStringList order = {QStringLiteral("numFmts"), QStringLiteral("fonts"), QStringLiteral("fills"),
                                      QStringLiteral("borders"), QStringLiteral("cellStyleXfs"), QStringLiteral("cellXfs")};
    auto list = [&](const QString &local) -> XmlNode & {
        if (XmlNode *n = root.child(local))
            return *n;
        const int rank = order.indexOf(local);
        size_t at = 0;
        for (size_t i = 0; i < root.children.size(); ++i)
            if (!root.children[i].isText && order.indexOf(root.children[i].localName()) >= 0
                && order.indexOf(root.children[i].localName()) < rank)
                at = i + 1;
        root.children.insert(root.children.begin() + at, el(p + local, {{QStringLiteral("count"), QStringLiteral("0")}}));
        return root.children[at];
    };
    auto elementCount = [](const XmlNode &n) {
        int c = 0;
        for (const auto &ch : n.children)
            c += ch.isText ? 0 : 1;
        return c;
    };
    auto prefixAll = [&](XmlNode &n, auto &&self) -> void {
        if (n.isText)
            return;
        n.name = p + n.name;
        for (auto &c : n.children)
            self(c, self);
    };
    auto appendAll = [&](XmlNode &target, std::vector<XmlNode> &items) {
        for (auto &i : items) {
            prefixAll(i, prefixAll);
            target.append(i);
        }
        target.setAttribute(QStringLiteral("count"), QString::number(elementCount(target)));
    };
    // Custom number formats get ids above every id already used.
    int nextFmt = 164;
    if (XmlNode *fmts = root.child(QStringLiteral("numFmts")))
        for (const auto &f : fmts->children)
            if (!f.isText)
                nextFmt = std::max(nextFmt, f.attribute(QStringLiteral("numFmtId")).toInt() + 1);
    QHash<int, int> fmtMap;
    for (auto &f : nodes.numFmts) {
        const int local = f.attribute(QStringLiteral("numFmtId")).toInt();
        fmtMap.insert(local, nextFmt);
        f.setAttribute(QStringLiteral("numFmtId"), QString::number(nextFmt++));
    }
    const int fontBase = elementCount(list(QStringLiteral("fonts")));
    const int fillBase = elementCount(list(QStringLiteral("fills")));
    const int borderBase = elementCount(list(QStringLiteral("borders")));
    if (!nodes.numFmts.empty())
        appendAll(list(QStringLiteral("numFmts")), nodes.numFmts);
    appendAll(list(QStringLiteral("fonts")), nodes.fonts);
    appendAll(list(QStringLiteral("fills")), nodes.fills);
    appendAll(list(QStringLiteral("borders")), nodes.borders);
    XmlNode &xfs = list(QStringLiteral("cellXfs"));
    const int xfBase = elementCount(xfs);
    QList<int> map{0};
    std::vector<XmlNode> added;
    for (size_t i = 1; i < nodes.xfs.size(); ++i) {
        XmlNode xf = nodes.xfs[i];
        const int fmt = xf.attribute(QStringLiteral("numFmtId")).toInt();
        xf.setAttribute(QStringLiteral("numFmtId"), QString::number(fmtMap.value(fmt, fmt)));
        xf.setAttribute(QStringLiteral("fontId"), QString::number(fontBase + xf.attribute(QStringLiteral("fontId")).toInt()));
        xf.setAttribute(QStringLiteral("fillId"), QString::number(fillBase + xf.attribute(QStringLiteral("fillId")).toInt()));
        xf.setAttribute(QStringLiteral("borderId"),
                        QString::number(borderBase + xf.attribute(QStringLiteral("borderId")).toInt()));
        added.push_back(xf);
        map.append(xfBase + int(i) - 1);
    }
    appendAll(xfs, added);
    part = writeXml(root);
    return map;
}

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

// --- tables --------------------------------------------------------------

namespace {

void fillTable(WorkbookBuilder &b, int sheet, const WorkbookTable &table)
{
    CellStyle title;
    title.fontName = QStringLiteral("Arial");
    title.fontSize = 10;
    title.bold = true;
    title.hAlign = CellStyle::HAlign::Center;
    CellStyle plain;
    plain.fontName = QStringLiteral("Arial");
    plain.fontSize = 10;
    int columns = table.titles.size();
    for (const auto &row : table.rows)
        columns = std::max(columns, int(row.size()));
    QList<int> longest(columns, 0);
    for (int c = 0; c < table.titles.size(); ++c) {
        b.setCell(sheet, 1, c + 1, table.titles.at(c), title);
        longest[c] = table.titles.at(c).size();
    }
    const int first = table.titles.isEmpty() ? 1 : 2;
    for (int r = 0; r < table.rows.size(); ++r) {
        const QVariantList &row = table.rows.at(r);
        for (int c = 0; c < row.size(); ++c) {
            b.setCell(sheet, first + r, c + 1, row.at(c), plain);
            const QVariant &v = row.at(c);
            const int len = v.typeId() == QMetaType::QDate ? 10 : v.typeId() == QMetaType::QDateTime ? 19 : v.toString().size();
            longest[c] = std::max(longest[c], len);
        }
    }
    for (int c = 0; c < columns; ++c) {
        const double width = c < table.columnWidths.size() && table.columnWidths.at(c) > 0
            ? table.columnWidths.at(c)
            : std::clamp(longest[c] * 1.1 + 2, 8.0, 60.0);
        b.setColumnWidth(sheet, c + 1, width);
    }
}

struct WorkbookIndex {
    QString workbookPart;
    QString relsPart;
    XmlNode workbook;
    XmlNode rels;
};

WorkbookIndex readIndex(const WorkbookPackage &pkg)
{
    WorkbookIndex index;
    index.workbookPart = QStringLiteral("xl/workbook.xml");
    if (pkg.contains(QStringLiteral("_rels/.rels"))) {
        const XmlNode root = parseXml(pkg.part(QStringLiteral("_rels/.rels")), QStringLiteral("_rels/.rels"));
        for (const auto &r : root.children)
            if (!r.isText && r.attribute(QStringLiteral("Type")) == kRelOffice)
                index.workbookPart = resolvePartTarget(QString(), r.attribute(QStringLiteral("Target")));
    }
    if (!pkg.contains(index.workbookPart))
        throw Error(QStringLiteral("В книге нет части %1.").arg(index.workbookPart));
    index.workbook = parseXml(pkg.part(index.workbookPart), index.workbookPart);
    const int slash = index.workbookPart.lastIndexOf(u'/');
    index.relsPart = index.workbookPart.left(slash + 1) + QStringLiteral("_rels/")
        + index.workbookPart.mid(slash + 1) + QStringLiteral(".rels");
    index.rels = pkg.contains(index.relsPart) ? parseXml(pkg.part(index.relsPart), index.relsPart)
                                              : el(QStringLiteral("Relationships"), {{QStringLiteral("xmlns"), kPkgRelNs}});
    return index;
}

QStringList namesOf(const XmlNode &workbook)
{
    QStringList names;
    if (const XmlNode *sheets = workbook.child(QStringLiteral("sheets")))
        for (const auto &s : sheets->children)
            if (!s.isText)
                names << s.attribute(QStringLiteral("name"));
    return names;
}

}  // namespace

WorkbookTable tableFromModel(const QAbstractItemModel &model, const QString &sheetName, const QList<int> &rows,
                             const QList<int> &columns)
{
    WorkbookTable table;
    table.sheetName = sheetName;
    QList<int> cols = columns;
    if (cols.isEmpty())
        for (int c = 0; c < model.columnCount(); ++c)
            cols.append(c);
    QList<int> rowList = rows;
    if (rowList.isEmpty())
        for (int r = 0; r < model.rowCount(); ++r)
            rowList.append(r);
    for (int c : cols)
        table.titles << model.headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
    for (int r : rowList) {
        QVariantList values;
        for (int c : cols)
            values << model.data(model.index(r, c), Qt::EditRole);
        table.rows << values;
    }
    return table;
}

QString writeWorkbook(const QString &path, const WorkbookTable &table)
{
    try {
        WorkbookBuilder b;
        const int sheet = b.addSheet(table.sheetName);
        fillTable(b, sheet, table);
        b.package().save(path);
        return QString();
    } catch (const std::exception &e) {
        return QString::fromUtf8(e.what());
    }
}

QStringList sheetNames(const QString &path, QString *error)
{
    try {
        const WorkbookPackage pkg = WorkbookPackage::load(path);
        if (error)
            error->clear();
        return namesOf(readIndex(pkg).workbook);
    } catch (const std::exception &e) {
        if (error)
            *error = QString::fromUtf8(e.what());
        return {};
    }
}

QString addSheet(const QString &path, const WorkbookTable &table)
{
    if (!QFileInfo::exists(path))
        return writeWorkbook(path, table);
    try {
        WorkbookPackage pkg = WorkbookPackage::load(path);
        WorkbookIndex index = readIndex(pkg);
        const QString name = cleanSheetName(table.sheetName);
        for (const QString &existing : namesOf(index.workbook))
            if (existing.compare(name, Qt::CaseInsensitive) == 0)
                return QStringLiteral("Лист «%1» уже есть в книге «%2».").arg(name, QFileInfo(path).fileName());

        WorkbookBuilder b;
        const int sheet = b.addSheet(name);
        fillTable(b, sheet, table);

        // Styles: append ours to the workbook's own, or give it ours.
        QString stylesPart;
        QSet<QString> ids;
        for (const auto &r : index.rels.children) {
            if (r.isText)
                continue;
            ids.insert(r.attribute(QStringLiteral("Id")));
            if (r.attribute(QStringLiteral("Type")) == kRelStyles)
                stylesPart = resolvePartTarget(index.workbookPart, r.attribute(QStringLiteral("Target")));
        }
        auto newId = [&] {
            int i = 1;
            while (ids.contains(QStringLiteral("rId%1").arg(i)))
                ++i;
            const QString id = QStringLiteral("rId%1").arg(i);
            ids.insert(id);
            return id;
        };
        XmlNode types = parseXml(pkg.part(QStringLiteral("[Content_Types].xml")), QStringLiteral("[Content_Types].xml"));
        const QString tp = types.prefix();
        const QString rp = index.rels.prefix();
        auto addOverride = [&](const QString &part, const QString &type) {
            types.append(el(tp + QStringLiteral("Override"), {{QStringLiteral("PartName"), QLatin1Char('/') + part},
                                                              {QStringLiteral("ContentType"), type}}));
        };
        auto addRel = [&](const QString &type, const QString &part) {
            const QString id = newId();
            const QString folder = index.workbookPart.left(index.workbookPart.lastIndexOf(u'/') + 1);
            const QString target = part.startsWith(folder) ? part.mid(folder.size()) : QLatin1Char('/') + part;
            index.rels.append(el(rp + QStringLiteral("Relationship"),
                                 {{QStringLiteral("Id"), id}, {QStringLiteral("Type"), type}, {QStringLiteral("Target"), target}}));
            return id;
        };
        QList<int> styleMap;
        if (stylesPart.isEmpty() || !pkg.contains(stylesPart)) {
            stylesPart = QStringLiteral("xl/styles.xml");
            pkg.setPart(stylesPart, b.styles().stylesPart());
            addRel(kRelStyles, stylesPart);
            addOverride(stylesPart, kCtStyles);
        } else {
            QByteArray styles = pkg.part(stylesPart);
            styleMap = b.styles().appendTo(styles);
            pkg.setPart(stylesPart, styles);
        }

        int k = 1;
        while (pkg.contains(QStringLiteral("xl/worksheets/sheet%1.xml").arg(k)))
            ++k;
        const QString sheetPart = QStringLiteral("xl/worksheets/sheet%1.xml").arg(k);
        pkg.setPart(sheetPart, b.sheetPart(sheet, styleMap, nullptr));
        const QString relId = addRel(kRelWorksheet, sheetPart);
        addOverride(sheetPart, kCtSheet);

        XmlNode *sheets = index.workbook.child(QStringLiteral("sheets"));
        if (!sheets)
            throw Error(QStringLiteral("В книге «%1» нет списка листов.").arg(QFileInfo(path).fileName()));
        int maxId = 0;
        for (const auto &s : sheets->children)
            if (!s.isText)
                maxId = std::max(maxId, s.attribute(QStringLiteral("sheetId")).toInt());
        // The relationship attribute uses whatever prefix the workbook bound to its namespace.
        QString relPrefix;
        for (const auto &a : index.workbook.attributes)
            if (a.second == kRelNs && a.first.startsWith(QLatin1String("xmlns:")))
                relPrefix = a.first.mid(6);
        XmlNode entry = el(index.workbook.prefix() + QStringLiteral("sheet"),
                           {{QStringLiteral("name"), name}, {QStringLiteral("sheetId"), QString::number(maxId + 1)}});
        if (relPrefix.isEmpty()) {
            entry.setAttribute(QStringLiteral("xmlns:r"), kRelNs);
            relPrefix = QStringLiteral("r");
        }
        entry.setAttribute(relPrefix + QStringLiteral(":id"), relId);
        sheets->append(entry);

        pkg.setPart(index.workbookPart, writeXml(index.workbook));
        pkg.setPart(index.relsPart, writeXml(index.rels));
        pkg.setPart(QStringLiteral("[Content_Types].xml"), writeXml(types));
        pkg.save(path);
        return QString();
    } catch (const std::exception &e) {
        return QString::fromUtf8(e.what());
    }
}

}  // namespace kv
