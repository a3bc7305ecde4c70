#include "files/workbook_template.h"

#include "core/error_report.h"
#include "core/number_text.h"
#include "files/workbook_refs.h"
#include "files/xml_tree.h"

#include <QDate>
#include <QDateTime>
#include <QRegularExpression>

#include <cmath>
#include <limits>

namespace kv {

namespace {

// The rows a sheet holds, and a bound on shared formula numbers. Larger
// numbers come only from a damaged template; taken as they are they would
// overflow the row and formula arithmetic below.
constexpr int kSheetRows = 1048576;
constexpr qint64 kMaxSharedFormula = 1 << 24;

// The tags a template's sheet or string table may hold. A protocol template
// has a few thousand; every element becomes a node of a few hundred bytes,
// so a damaged sheet of a million rows would take gigabytes. Counted on the
// bytes before anything is parsed.
constexpr qsizetype kMaxTemplateTags = 400000;

XmlNode parseTemplatePart(const QByteArray &bytes, const QString &partName)
{
    const qsizetype tags = bytes.count('<');
    if (tags > kMaxTemplateTags)
        throw Error(partName + QStringLiteral(": слишком много элементов для шаблона (") + QString::number(tags) +
                    QStringLiteral(", допустимо ") + QString::number(kMaxTemplateTags) + QStringLiteral(")"));
    return parseXml(bytes, partName);
}

const QString kRelNs = QStringLiteral("http://schemas.openxmlformats.org/officeDocument/2006/relationships");
const QString kRelOffice = kRelNs + QStringLiteral("/officeDocument");

bool isNumber(const QVariant &v)
{
    switch (v.typeId()) {
    case QMetaType::Int: case QMetaType::UInt: case QMetaType::LongLong: case QMetaType::ULongLong:
    case QMetaType::Double: case QMetaType::Float: case QMetaType::Short: case QMetaType::UShort:
    case QMetaType::Long: case QMetaType::ULong: case QMetaType::UChar: case QMetaType::SChar:
        return std::isfinite(v.toDouble());
    default:
        return false;
    }
}

const QRegularExpression &placeholder()
{
    static const QRegularExpression re(QStringLiteral("\\{\\{\\s*([^{}.\\s]+)\\s*\\.\\s*([^{}]*?)\\s*\\}\\}"));
    return re;
}

void setPrefix(XmlNode &n, const QString &prefix)
{
    if (n.isText)
        return;
    n.name = prefix + n.localName();
    for (auto &c : n.children)
        setPrefix(c, prefix);
}

void removeChildren(XmlNode &n, const QString &local)
{
    for (size_t i = n.children.size(); i-- > 0;)
        if (!n.children[i].isText && n.children[i].localName() == local)
            n.children.erase(n.children.begin() + i);
}

int elementCount(const XmlNode &n, const QString &local)
{
    int c = 0;
    for (const auto &ch : n.children)
        c += (!ch.isText && ch.localName() == local) ? 1 : 0;
    return c;
}

// The repeated block and how rows move around it.
struct Shift {
    bool active = false;
    int r1 = 0, r2 = 0, h = 0, n = 0;
    int delta() const { return (n - 1) * h; }
    bool inBlock(int row) const { return active && row >= r1 && row <= r2; }

    // A row referred to from outside the copies (copy < 0) or from copy `copy`.
    int map(int row, RefPart part, int copy = -1) const
    {
        if (!active || row < r1)
            return row;
        if (row > r2)
            return row + delta();
        if (copy >= 0)
            return row + copy * h;
        switch (part) {
        case RefPart::Single: return n > 0 ? row : 0;
        case RefPart::Start: return n > 0 ? row : r1;
        case RefPart::End: return n > 0 ? row + delta() : r1 - 1;
        }
        return row;
    }
    // An area's rows; false when the area vanishes with the block.
    bool mapArea(Area &a) const
    {
        if (!active || a.row1 == 0)
            return true;
        const int top = map(a.row1, RefPart::Start);
        const int bottom = map(a.row2, RefPart::End);
        if (top > bottom)
            return false;
        a.row1 = top;
        a.row2 = bottom;
        return true;
    }
};

class Filler
{
public:
    Filler(WorkbookPackage &pkg, TemplateFill &fill) : m_pkg(pkg), m_fill(fill) {}
    void run();

private:
    struct SheetRef {
        QString name;
        QString part;
    };
    // Replaces the placeholders of a cell; `record` as in TemplateFill::lookup.
    void fillCell(XmlNode &cell, const QString &prefix, int record);
    void fillSheet(int index, const SheetRef &sheet);
    QString shiftFormula(const QString &text, const QString &sheet, bool unqualifiedIsSheet, int copy) const;
    QString shiftAreaList(const QString &sqref) const;

    WorkbookPackage &m_pkg;
    TemplateFill &m_fill;
    std::vector<XmlNode> m_shared;  // <si> items
    Shift m_shift;
    QString m_rangeSheet;
    QSet<QString> m_unknown;
};

QString Filler::shiftFormula(const QString &text, const QString &sheet, bool unqualifiedIsSheet, int copy) const
{
    if (!m_shift.active)
        return text;
    return shiftFormulaRows(text, sheet, unqualifiedIsSheet,
                            [&](int row, RefPart part) { return m_shift.map(row, part, copy); });
}

QString Filler::shiftAreaList(const QString &sqref) const
{
    QStringList out;
    for (const QString &piece : sqref.split(u' ', Qt::SkipEmptyParts)) {
        Area a;
        if (!parseArea(piece, &a)) {
            out << piece;
            continue;
        }
        if (m_shift.mapArea(a))
            out << a.text();
    }
    return out.join(u' ');
}

void Filler::fillCell(XmlNode &cell, const QString &prefix, int record)
{
    const QString type = cell.attribute(QStringLiteral("t"));
    if (cell.child(QStringLiteral("f"))) {
        removeChildren(cell, QStringLiteral("v"));  // recalculated when opened
        return;
    }
    XmlNode source;
    if (type == QLatin1String("s")) {
        const XmlNode *v = cell.child(QStringLiteral("v"));
        const int i = v ? v->innerText().trimmed().toInt() : -1;
        if (i < 0 || i >= int(m_shared.size()))
            return;
        source = m_shared[i];
    } else if (type == QLatin1String("inlineStr")) {
        const XmlNode *is = cell.child(QStringLiteral("is"));
        if (!is)
            return;
        source = *is;
    } else {
        return;
    }
    // The text runs: (run properties or none, text).
    struct Run {
        const XmlNode *props = nullptr;
        QString text;
    };
    QList<Run> runs;
    for (const auto &c : source.children) {
        if (c.isText)
            continue;
        if (c.localName() == QLatin1String("t"))
            runs.append({nullptr, c.innerText()});
        else if (c.localName() == QLatin1String("r")) {
            Run r;
            r.props = c.child(QStringLiteral("rPr"));
            if (const XmlNode *t = c.child(QStringLiteral("t")))
                r.text = t->innerText();
            runs.append(r);
        }
    }
    QString whole;
    QList<int> owner;  // the run of each character
    for (int i = 0; i < runs.size(); ++i) {
        whole += runs.at(i).text;
        for (int k = 0; k < runs.at(i).text.size(); ++k)
            owner.append(i);
    }
    if (!whole.contains(QLatin1String("{{")))
        return;
    auto it = placeholder().globalMatch(whole);
    if (!it.hasNext())
        return;

    auto valueOf = [&](const QRegularExpressionMatch &m, QVariant *value) {
        const QString src = m.captured(1);
        const QString field = m.captured(2);
        if (!m_fill.lookup || !m_fill.lookup(src, field, record, value)) {
            m_unknown.insert(src + QLatin1Char('.') + field);
            *value = QVariant();
        }
    };

    // A cell that is exactly one placeholder of a number becomes a number cell.
    const auto first = placeholder().match(whole);
    if (first.capturedStart(0) == 0 && first.capturedLength(0) == whole.size()) {
        QVariant value;
        valueOf(first, &value);
        if (isNumber(value)) {
            removeChildren(cell, QStringLiteral("v"));
            removeChildren(cell, QStringLiteral("is"));
            cell.removeAttribute(QStringLiteral("t"));
            XmlNode v = XmlNode::element(prefix + QStringLiteral("v"));
            v.append(XmlNode::textNode(QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest)));
            cell.append(v);
            return;
        }
        // Not a number: the general path below asks again, which is cheap and keeps one path.
    }

    QList<QString> texts(runs.size());
    int pos = 0;
    while (it.hasNext()) {
        const auto m = it.next();
        for (; pos < m.capturedStart(0); ++pos)
            texts[owner.at(pos)] += whole.at(pos);
        QVariant value;
        valueOf(m, &value);
        texts[owner.at(m.capturedStart(0))] += xmlSafe(reportText(value));
        pos = m.capturedEnd(0);
    }
    for (; pos < whole.size(); ++pos)
        texts[owner.at(pos)] += whole.at(pos);

    removeChildren(cell, QStringLiteral("v"));
    removeChildren(cell, QStringLiteral("is"));
    QString all;
    for (const auto &t : texts)
        all += t;
    if (all.isEmpty()) {
        cell.removeAttribute(QStringLiteral("t"));
        return;
    }
    cell.setAttribute(QStringLiteral("t"), QStringLiteral("inlineStr"));
    XmlNode is = XmlNode::element(prefix + QStringLiteral("is"));
    auto textNode = [&](const QString &text) {
        XmlNode t = XmlNode::element(prefix + QStringLiteral("t"));
        t.setAttribute(QStringLiteral("xml:space"), QStringLiteral("preserve"));
        t.append(XmlNode::textNode(text));
        return t;
    };
    const bool rich = std::any_of(runs.begin(), runs.end(), [](const Run &r) { return r.props != nullptr; });
    if (!rich) {
        is.append(textNode(all));
    } else {
        for (int i = 0; i < runs.size(); ++i) {
            if (texts.at(i).isEmpty())
                continue;
            XmlNode r = XmlNode::element(prefix + QStringLiteral("r"));
            if (runs.at(i).props) {
                XmlNode props = *runs.at(i).props;
                setPrefix(props, prefix);
                r.append(props);
            }
            r.append(textNode(texts.at(i)));
            is.append(r);
        }
    }
    cell.append(is);
}

void Filler::fillSheet(int index, const SheetRef &sheet)
{
    Q_UNUSED(index);
    XmlNode root = parseTemplatePart(m_pkg.part(sheet.part), sheet.part);
    const QString prefix = root.prefix();
    const bool isRangeSheet = m_shift.active && sheet.name == m_rangeSheet;
    const Shift none;
    const Shift &shift = isRangeSheet ? m_shift : none;

    auto fixFormula = [&](XmlNode &cell, int copy, int copyOffsetSi) {
        XmlNode *f = cell.child(QStringLiteral("f"));
        if (!f)
            return;
        QString text = f->innerText();
        if (m_shift.active) {
            text = isRangeSheet ? shiftFormula(text, sheet.name, true, copy)
                                : shiftFormula(text, m_rangeSheet, false, -1);
        }
        if (f->hasAttribute(QStringLiteral("ref")) && isRangeSheet) {
            Area a;
            if (parseArea(f->attribute(QStringLiteral("ref")), &a)) {
                if (copy >= 0) {
                    a.row1 = shift.map(a.row1, RefPart::Start, copy);
                    a.row2 = shift.map(a.row2, RefPart::End, copy);
                } else {
                    shift.mapArea(a);
                }
                f->setAttribute(QStringLiteral("ref"), a.text());
            }
        }
        if (copyOffsetSi > 0 && f->hasAttribute(QStringLiteral("si")))
            f->setAttribute(QStringLiteral("si"), QString::number(f->attribute(QStringLiteral("si")).toInt() + copyOffsetSi));
        f->children.clear();
        if (!text.isEmpty())
            f->append(XmlNode::textNode(text));
    };

    // Row numbers and cell references of a row moved to `newRow`.
    auto renumber = [&](XmlNode &row, int newRow) {
        row.setAttribute(QStringLiteral("r"), QString::number(newRow));
        int column = 0;
        for (auto &c : row.children) {
            if (c.isText || c.localName() != QLatin1String("c"))
                continue;
            int r = 0, col = 0;
            if (parseCell(c.attribute(QStringLiteral("r")), &r, &col))
                column = col;
            else
                ++column;
            c.setAttribute(QStringLiteral("r"), cellName(newRow, column));
        }
    };
    auto fillRow = [&](XmlNode &row, int record, int copy, int siOffset) {
        for (auto &c : row.children) {
            if (c.isText || c.localName() != QLatin1String("c"))
                continue;
            fixFormula(c, copy, siOffset);
            fillCell(c, prefix, record);
        }
    };

    int maxSi = 0;
    if (XmlNode *data = root.child(QStringLiteral("sheetData"))) {
        // Make every row's number explicit, as the moves below need it.
        int implicit = 0;
        for (auto &row : data->children) {
            if (row.isText || row.localName() != QLatin1String("row"))
                continue;
            const qint64 r = row.attribute(QStringLiteral("r")).toLongLong();
            implicit = r > 0 ? int(qMin<qint64>(r, kSheetRows + 1)) : implicit + 1;
            if (implicit > kSheetRows)
                throw Error(QStringLiteral("%1: строка %2 за пределами листа.").arg(sheet.part, QString::number(r > 0 ? r : implicit)));
            if (r <= 0)
                row.setAttribute(QStringLiteral("r"), QString::number(implicit));
            for (const auto &c : row.children)
                if (const XmlNode *f = c.isText ? nullptr : c.child(QStringLiteral("f"))) {
                    const qint64 si = f->attribute(QStringLiteral("si")).toLongLong();
                    if (si < 0 || si >= kMaxSharedFormula)
                        throw Error(QStringLiteral("%1: номер общей формулы %2 недопустим.").arg(sheet.part, QString::number(si)));
                    maxSi = std::max(maxSi, int(si) + 1);
                }
        }
        // The copies number their shared formulas after the original's.
        if (shift.active && qint64(shift.n) * maxSi > std::numeric_limits<int>::max())
            throw Error(QStringLiteral("%1: слишком много общих формул для %2 копий строк.").arg(sheet.part, QString::number(shift.n)));
        std::vector<XmlNode> rows;
        std::vector<XmlNode> block;
        for (auto &row : data->children) {
            if (row.isText || row.localName() != QLatin1String("row"))
                continue;
            const int r = row.attribute(QStringLiteral("r")).toInt();
            if (shift.inBlock(r)) {
                block.push_back(std::move(row));
                continue;
            }
            if (shift.active && r > shift.r2) {
                if (r + shift.delta() > kSheetRows)
                    throw Error(QStringLiteral("Таблица протокола из %1 записей не помещается на лист.").arg(shift.n));
                renumber(row, r + shift.delta());
            }
            fillRow(row, -1, -1, 0);
            rows.push_back(std::move(row));
        }
        if (shift.active) {
            // The copies sit where the block was: after every row above it.
            size_t blockAt = 0;
            for (size_t i = 0; i < rows.size(); ++i)
                if (rows[i].attribute(QStringLiteral("r")).toInt() < shift.r1)
                    blockAt = i + 1;
            std::vector<XmlNode> copies;
            for (int k = 0; k < shift.n; ++k) {
                for (const XmlNode &original : block) {
                    XmlNode row = original;
                    renumber(row, original.attribute(QStringLiteral("r")).toInt() + k * shift.h);
                    fillRow(row, k, k, k * maxSi);
                    copies.push_back(std::move(row));
                }
            }
            rows.insert(rows.begin() + blockAt, std::make_move_iterator(copies.begin()),
                        std::make_move_iterator(copies.end()));
        }
        data->children = std::move(rows);
    }

    if (isRangeSheet) {
        if (XmlNode *merges = root.child(QStringLiteral("mergeCells"))) {
            std::vector<XmlNode> kept;
            for (auto &m : merges->children) {
                if (m.isText)
                    continue;
                Area a;
                if (!parseArea(m.attribute(QStringLiteral("ref")), &a)) {
                    kept.push_back(m);
                    continue;
                }
                if (shift.inBlock(a.row1) && shift.inBlock(a.row2)) {
                    for (int k = 0; k < shift.n; ++k) {
                        Area c = a;
                        c.row1 += k * shift.h;
                        c.row2 += k * shift.h;
                        XmlNode copy = m;
                        copy.setAttribute(QStringLiteral("ref"), c.text());
                        kept.push_back(copy);
                    }
                } else if (shift.mapArea(a)) {
                    m.setAttribute(QStringLiteral("ref"), a.text());
                    kept.push_back(m);
                }
            }
            merges->children = std::move(kept);
            merges->setAttribute(QStringLiteral("count"), QString::number(merges->children.size()));
            if (merges->children.empty())
                removeChildren(root, QStringLiteral("mergeCells"));
        }
        if (XmlNode *dim = root.child(QStringLiteral("dimension"))) {
            Area a;
            if (parseArea(dim->attribute(QStringLiteral("ref")), &a)) {
                a.row2 = std::max(a.row2 + shift.delta(), a.row1);
                dim->setAttribute(QStringLiteral("ref"), a.text());
            }
        }
        for (size_t i = root.children.size(); i-- > 0;) {
            XmlNode &n = root.children[i];
            if (n.isText)
                continue;
            const QString local = n.localName();
            if (local == QLatin1String("conditionalFormatting") || local == QLatin1String("dataValidations")) {
                auto fixSqref = [&](XmlNode &x) {
                    const QString sq = shiftAreaList(x.attribute(QStringLiteral("sqref")));
                    x.setAttribute(QStringLiteral("sqref"), sq);
                    std::function<void(XmlNode &)> formulas = [&](XmlNode &y) {
                        for (auto &c : y.children) {
                            if (c.isText)
                                continue;
                            if (c.localName() == QLatin1String("formula") || c.localName() == QLatin1String("formula1")
                                || c.localName() == QLatin1String("formula2")) {
                                const QString t = shiftFormula(c.innerText(), sheet.name, true, -1);
                                c.children.clear();
                                c.append(XmlNode::textNode(t));
                            } else {
                                formulas(c);
                            }
                        }
                    };
                    formulas(x);
                    return !sq.isEmpty();
                };
                if (local == QLatin1String("conditionalFormatting")) {
                    if (!fixSqref(n))
                        root.children.erase(root.children.begin() + i);
                } else {
                    for (size_t j = n.children.size(); j-- > 0;)
                        if (!n.children[j].isText && !fixSqref(n.children[j]))
                            n.children.erase(n.children.begin() + j);
                    n.setAttribute(QStringLiteral("count"), QString::number(elementCount(n, QStringLiteral("dataValidation"))));
                    if (elementCount(n, QStringLiteral("dataValidation")) == 0)
                        root.children.erase(root.children.begin() + i);
                }
            } else if (local == QLatin1String("hyperlinks")) {
                for (auto &l : n.children)
                    if (!l.isText)
                        l.setAttribute(QStringLiteral("ref"), shiftAreaList(l.attribute(QStringLiteral("ref"))));
            } else if (local == QLatin1String("rowBreaks")) {
                for (auto &b : n.children)
                    if (!b.isText) {
                        const int id = b.attribute(QStringLiteral("id")).toInt();
                        if (id > 0 && id <= kSheetRows)
                            b.setAttribute(QStringLiteral("id"), QString::number(shift.map(id, RefPart::Start)));
                    }
            }
        }
    }
    m_pkg.setPart(sheet.part, writeXml(root));
}

void Filler::run()
{
    // The workbook part and its relationships.
    QString workbookPart = QStringLiteral("xl/workbook.xml");
    if (m_pkg.contains(QStringLiteral("_rels/.rels"))) {
        const XmlNode rels = parseXml(m_pkg.part(QStringLiteral("_rels/.rels")), QStringLiteral("_rels/.rels"));
        for (const auto &r : rels.children)
            if (!r.isText && r.attribute(QStringLiteral("Type")) == kRelOffice)
                workbookPart = resolvePartTarget(QString(), r.attribute(QStringLiteral("Target")));
    }
    if (!m_pkg.contains(workbookPart))
        throw Error(QStringLiteral("В книге нет части %1.").arg(workbookPart));
    XmlNode workbook = parseXml(m_pkg.part(workbookPart), workbookPart);
    const int slash = workbookPart.lastIndexOf(u'/');
    const QString relsPart = workbookPart.left(slash + 1) + QStringLiteral("_rels/") + workbookPart.mid(slash + 1)
        + QStringLiteral(".rels");
    XmlNode rels = parseXml(m_pkg.part(relsPart), relsPart);
    QHash<QString, QPair<QString, QString>> targets;  // id -> (type, part)
    for (const auto &r : rels.children)
        if (!r.isText)
            targets.insert(r.attribute(QStringLiteral("Id")),
                           {r.attribute(QStringLiteral("Type")),
                            resolvePartTarget(workbookPart, r.attribute(QStringLiteral("Target")))});

    QList<SheetRef> sheets;
    if (const XmlNode *list = workbook.child(QStringLiteral("sheets")))
        for (const auto &s : list->children) {
            if (s.isText)
                continue;
            QString id;
            for (const auto &a : s.attributes)
                if (a.first.endsWith(QLatin1String(":id")))
                    id = a.second;
            const auto t = targets.value(id);
            if (t.first.endsWith(QLatin1String("/worksheet")) && m_pkg.contains(t.second))
                sheets.append({s.attribute(QStringLiteral("name")), t.second});
        }
    if (sheets.isEmpty())
        throw Error(QStringLiteral("В книге нет ни одного листа."));

    // The repeated range.
    XmlNode *names = workbook.child(QStringLiteral("definedNames"));
    if (names && !m_fill.rangeName.isEmpty()) {
        for (auto &d : names->children) {
            if (d.isText || d.attribute(QStringLiteral("name")).compare(m_fill.rangeName, Qt::CaseInsensitive) != 0)
                continue;
            QString text = d.innerText().trimmed();
            if (text.startsWith(u'='))
                text.remove(0, 1);
            const int bang = text.lastIndexOf(u'!');
            QString sheet = bang < 0 ? QString() : text.left(bang);
            if (sheet.startsWith(u'\''))
                sheet = sheet.mid(1, sheet.size() - 2).replace(QStringLiteral("''"), QStringLiteral("'"));
            if (sheet.isEmpty() && d.hasAttribute(QStringLiteral("localSheetId")))
                sheet = sheets.value(d.attribute(QStringLiteral("localSheetId")).toInt()).name;
            if (sheet.isEmpty())
                sheet = sheets.first().name;
            Area a;
            if (parseArea(text.mid(bang + 1), &a) && a.row1 > 0 && a.row2 >= a.row1) {
                const qint64 records = std::max(0, m_fill.rangeRecords);
                if (a.row2 > kSheetRows)
                    throw Error(QStringLiteral("Диапазон %1 шаблона выходит за пределы листа.").arg(m_fill.rangeName));
                if (a.row2 + (records - 1) * (a.row2 - a.row1 + 1) > kSheetRows)
                    throw Error(QStringLiteral("Таблица протокола из %1 записей не помещается на лист.").arg(records));
                m_rangeSheet = sheet;
                m_shift.active = true;
                m_shift.r1 = a.row1;
                m_shift.r2 = a.row2;
                m_shift.h = a.row2 - a.row1 + 1;
                m_shift.n = std::max(0, m_fill.rangeRecords);
                m_fill.rangeFound = true;
            }
            break;
        }
    }

    // Shared strings.
    QString stringsPart;
    for (const auto &t : targets)
        if (t.first.endsWith(QLatin1String("/sharedStrings")))
            stringsPart = t.second;
    if (!stringsPart.isEmpty() && m_pkg.contains(stringsPart)) {
        XmlNode sst = parseTemplatePart(m_pkg.part(stringsPart), stringsPart);
        for (auto &si : sst.children)
            if (!si.isText && si.localName() == QLatin1String("si"))
                m_shared.push_back(std::move(si));
    }

    for (int i = 0; i < sheets.size(); ++i)
        fillSheet(i, sheets.at(i));

    // Defined names follow the moved rows; the range itself covers every copy.
    if (names) {
        for (size_t i = names->children.size(); i-- > 0;) {
            XmlNode &d = names->children[i];
            if (d.isText || !m_shift.active)
                continue;
            if (m_shift.n == 0 && d.attribute(QStringLiteral("name")).compare(m_fill.rangeName, Qt::CaseInsensitive) == 0) {
                names->children.erase(names->children.begin() + i);
                continue;
            }
            const QString text = shiftFormula(d.innerText(), m_rangeSheet, false, -1);
            d.children.clear();
            d.append(XmlNode::textNode(text));
        }
        if (elementCount(*names, QStringLiteral("definedName")) == 0)
            removeChildren(workbook, QStringLiteral("definedNames"));
    }

    // Full recalculation when opened; the old calculation chain would name moved cells.
    XmlNode *calc = workbook.child(QStringLiteral("calcPr"));
    if (!calc) {
        static const QStringList before = {QStringLiteral("fileVersion"), QStringLiteral("fileSharing"),
                                           QStringLiteral("workbookPr"), QStringLiteral("workbookProtection"),
                                           QStringLiteral("bookViews"), QStringLiteral("sheets"),
                                           QStringLiteral("functionGroups"), QStringLiteral("externalReferences"),
                                           QStringLiteral("definedNames")};
        size_t at = 0;
        for (size_t i = 0; i < workbook.children.size(); ++i)
            if (!workbook.children[i].isText && before.contains(workbook.children[i].localName()))
                at = i + 1;
        workbook.children.insert(workbook.children.begin() + at, XmlNode::element(workbook.prefix() + QStringLiteral("calcPr")));
        calc = &workbook.children[at];
    }
    calc->setAttribute(QStringLiteral("fullCalcOnLoad"), QStringLiteral("1"));
    m_pkg.setPart(workbookPart, writeXml(workbook));

    bool relsChanged = false;
    for (size_t i = rels.children.size(); i-- > 0;) {
        const XmlNode &r = rels.children[i];
        if (!r.isText && r.attribute(QStringLiteral("Type")).endsWith(QLatin1String("/calcChain"))) {
            m_pkg.removePart(resolvePartTarget(workbookPart, r.attribute(QStringLiteral("Target"))));
            rels.children.erase(rels.children.begin() + i);
            relsChanged = true;
        }
    }
    if (relsChanged) {
        m_pkg.setPart(relsPart, writeXml(rels));
        XmlNode types = parseXml(m_pkg.part(QStringLiteral("[Content_Types].xml")), QStringLiteral("[Content_Types].xml"));
        for (size_t i = types.children.size(); i-- > 0;)
            if (!types.children[i].isText
                && types.children[i].attribute(QStringLiteral("ContentType")).contains(QLatin1String("calcChain")))
                types.children.erase(types.children.begin() + i);
        m_pkg.setPart(QStringLiteral("[Content_Types].xml"), writeXml(types));
    }

    QStringList unknown(m_unknown.begin(), m_unknown.end());
    unknown.sort();
    m_fill.unknownFields = unknown;
}

}  // namespace

QString reportText(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return QString();
    switch (value.typeId()) {
    case QMetaType::QDate:
        return value.toDate().toString(QStringLiteral("dd.MM.yyyy"));
    case QMetaType::QDateTime:
        return value.toDateTime().toString(QStringLiteral("dd.MM.yyyy hh:mm"));
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("Да") : QStringLiteral("Нет");
    default:
        break;
    }
    if (isNumber(value))
        return NumberToText(value.toDouble());
    return value.toString();
}

void fillTemplate(WorkbookPackage &package, TemplateFill &fill)
{
    Filler(package, fill).run();
}

}  // namespace kv
