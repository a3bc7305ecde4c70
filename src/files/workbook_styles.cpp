// The style table of the workbook writer: cell styles as the styles part's
// number formats, fonts, fills, borders and cell formats, shared by the sheets
// of one workbook and appended to a template's own styles.

#include "files/workbook_writer.h"

#include "files/workbook_ooxml.h"
#include "files/xml_tree.h"

#include <QXmlStreamWriter>

namespace kv {

using namespace ooxml;

namespace {

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

}  // namespace kv
