#include "files/workbook_pictures.h"

#include "core/error_report.h"
#include "files/workbook_refs.h"
#include "files/xml_tree.h"

#include <cmath>

namespace kv {

namespace {

const QString kRelNs = QStringLiteral("http://schemas.openxmlformats.org/officeDocument/2006/relationships");
const QString kPackageRelNs = QStringLiteral("http://schemas.openxmlformats.org/package/2006/relationships");
const QString kDrawingRel = kRelNs + QStringLiteral("/drawing");
const QString kImageRel = kRelNs + QStringLiteral("/image");
const QString kDrawingType = QStringLiteral("application/vnd.openxmlformats-officedocument.drawing+xml");
// English Metric Units per pixel at 96 dpi.
constexpr qint64 kEmuPerPixel = 9525;
// A row of the default height is 20 pixels; pictures are spaced by whole rows.
constexpr int kRowPixels = 20;

// "xl/worksheets/sheet1.xml" -> "xl/worksheets/_rels/sheet1.xml.rels".
QString relsPartOf(const QString &part)
{
    const int slash = part.lastIndexOf(u'/');
    return part.left(slash + 1) + QStringLiteral("_rels/") + part.mid(slash + 1) + QStringLiteral(".rels");
}

// A target relative to `from`'s folder for a part path ("../media/image1.png").
QString relativeTarget(const QString &from, const QString &to)
{
    const QStringList a = from.split(u'/').mid(0, from.count(u'/'));
    const QStringList b = to.split(u'/');
    int same = 0;
    while (same < a.size() && same < b.size() - 1 && a[same] == b[same])
        ++same;
    QString target;
    for (int i = same; i < a.size(); ++i)
        target += QStringLiteral("../");
    return target + b.mid(same).join(u'/');
}

XmlNode relsOf(const WorkbookPackage &package, const QString &part)
{
    const QString rels = relsPartOf(part);
    if (package.contains(rels))
        return parseXml(package.part(rels), rels);
    XmlNode root = XmlNode::element(QStringLiteral("Relationships"));
    root.setAttribute(QStringLiteral("xmlns"), kPackageRelNs);
    return root;
}

// The target part of relationship `id`, or "".
QString targetOf(const XmlNode &rels, const QString &fromPart, const QString &id)
{
    for (const XmlNode &r : rels.children)
        if (!r.isText && r.attribute(QStringLiteral("Id")) == id)
            return resolvePartTarget(fromPart, r.attribute(QStringLiteral("Target")));
    return {};
}

QString addRelationship(XmlNode &rels, const QString &type, const QString &target)
{
    QStringList ids;
    for (const XmlNode &r : rels.children)
        if (!r.isText)
            ids << r.attribute(QStringLiteral("Id"));
    QString id;
    for (int n = 1; ids.contains(id = QStringLiteral("rIdKv%1").arg(n)); ++n) {
    }
    XmlNode r = XmlNode::element(QStringLiteral("Relationship"));
    r.setAttribute(QStringLiteral("Id"), id);
    r.setAttribute(QStringLiteral("Type"), type);
    r.setAttribute(QStringLiteral("Target"), target);
    rels.append(std::move(r));
    return id;
}

QString freePart(const WorkbookPackage &package, const QString &pattern)
{
    for (int n = 1;; ++n) {
        const QString part = pattern.arg(n);
        if (!package.contains(part))
            return part;
    }
}

// The sheet's print area reaches down to `lastRow` (1-based) at least, so the
// pictures print with the protocol.
void extendPrintArea(WorkbookPackage &package, int sheetIndex, int lastRow)
{
    const QString book = QStringLiteral("xl/workbook.xml");
    XmlNode workbook = parseXml(package.part(book), book);
    XmlNode *names = workbook.child(QStringLiteral("definedNames"));
    if (!names)
        return;
    for (XmlNode &d : names->children) {
        if (d.isText || d.attribute(QStringLiteral("name")).compare(QLatin1String("_xlnm.Print_Area"), Qt::CaseInsensitive) != 0
            || d.attribute(QStringLiteral("localSheetId")).toInt() != sheetIndex || !d.hasAttribute(QStringLiteral("localSheetId")))
            continue;
        const QString text = d.innerText().trimmed();
        const int bang = text.lastIndexOf(u'!');
        Area a;
        // A print area of several ranges is the lab's own: left as it is.
        if (bang < 0 || text.contains(u',') || !parseArea(text.mid(bang + 1), &a) || a.row2 >= lastRow || a.row2 == 0)
            return;
        const QString area = QStringLiteral("$") + columnName(a.column1) + QStringLiteral("$") + QString::number(a.row1)
                             + QStringLiteral(":$") + columnName(a.column2) + QStringLiteral("$") + QString::number(lastRow);
        d.children.clear();
        d.append(XmlNode::textNode(text.left(bang + 1) + area));
        package.setPart(book, writeXml(workbook));
        return;
    }
}

// Sheet name -> its part, from the workbook and its relationships; `index`
// gets the sheet's position.
QString sheetPart(const WorkbookPackage &package, const QString &sheetName, int *index)
{
    const QString book = QStringLiteral("xl/workbook.xml");
    const XmlNode workbook = parseXml(package.part(book), book);
    const XmlNode rels = relsOf(package, book);
    const XmlNode *sheets = workbook.child(QStringLiteral("sheets"));
    if (!sheets)
        return {};
    *index = -1;
    for (const XmlNode &s : sheets->children) {
        if (s.isText)
            continue;
        ++*index;
        if (s.attribute(QStringLiteral("name")) != sheetName)
            continue;
        for (const auto &a : s.attributes)
            if (a.first.endsWith(QLatin1String(":id")))
                return targetOf(rels, book, a.second);
    }
    return {};
}

XmlNode textElement(const QString &name, const QString &text)
{
    XmlNode n = XmlNode::element(name);
    n.append(XmlNode::textNode(text));
    return n;
}

XmlNode anchor(const CellPlace &at, int rowOffset, const WorkbookPicture &picture, int id, const QString &embed)
{
    const QString cx = QString::number(qint64(picture.pixels.width()) * kEmuPerPixel);
    const QString cy = QString::number(qint64(picture.pixels.height()) * kEmuPerPixel);
    XmlNode a = XmlNode::element(QStringLiteral("xdr:oneCellAnchor"));
    XmlNode from = XmlNode::element(QStringLiteral("xdr:from"));
    from.append(textElement(QStringLiteral("xdr:col"), QString::number(at.column)));
    from.append(textElement(QStringLiteral("xdr:colOff"), QStringLiteral("0")));
    from.append(textElement(QStringLiteral("xdr:row"), QString::number(at.row + rowOffset)));
    from.append(textElement(QStringLiteral("xdr:rowOff"), QStringLiteral("0")));
    a.append(std::move(from));
    XmlNode ext = XmlNode::element(QStringLiteral("xdr:ext"));
    ext.setAttribute(QStringLiteral("cx"), cx);
    ext.setAttribute(QStringLiteral("cy"), cy);
    a.append(std::move(ext));

    XmlNode pic = XmlNode::element(QStringLiteral("xdr:pic"));
    XmlNode nv = XmlNode::element(QStringLiteral("xdr:nvPicPr"));
    XmlNode c = XmlNode::element(QStringLiteral("xdr:cNvPr"));
    c.setAttribute(QStringLiteral("id"), QString::number(id));
    c.setAttribute(QStringLiteral("name"), xmlSafe(picture.name));
    nv.append(std::move(c));
    XmlNode cpic = XmlNode::element(QStringLiteral("xdr:cNvPicPr"));
    XmlNode locks = XmlNode::element(QStringLiteral("a:picLocks"));
    locks.setAttribute(QStringLiteral("noChangeAspect"), QStringLiteral("1"));
    cpic.append(std::move(locks));
    nv.append(std::move(cpic));
    pic.append(std::move(nv));

    XmlNode fill = XmlNode::element(QStringLiteral("xdr:blipFill"));
    XmlNode blip = XmlNode::element(QStringLiteral("a:blip"));
    blip.setAttribute(QStringLiteral("xmlns:r"), kRelNs);
    blip.setAttribute(QStringLiteral("r:embed"), embed);
    fill.append(std::move(blip));
    XmlNode stretch = XmlNode::element(QStringLiteral("a:stretch"));
    stretch.append(XmlNode::element(QStringLiteral("a:fillRect")));
    fill.append(std::move(stretch));
    pic.append(std::move(fill));

    XmlNode sp = XmlNode::element(QStringLiteral("xdr:spPr"));
    XmlNode xfrm = XmlNode::element(QStringLiteral("a:xfrm"));
    XmlNode off = XmlNode::element(QStringLiteral("a:off"));
    off.setAttribute(QStringLiteral("x"), QStringLiteral("0"));
    off.setAttribute(QStringLiteral("y"), QStringLiteral("0"));
    xfrm.append(std::move(off));
    XmlNode size = XmlNode::element(QStringLiteral("a:ext"));
    size.setAttribute(QStringLiteral("cx"), cx);
    size.setAttribute(QStringLiteral("cy"), cy);
    xfrm.append(std::move(size));
    sp.append(std::move(xfrm));
    XmlNode geometry = XmlNode::element(QStringLiteral("a:prstGeom"));
    geometry.setAttribute(QStringLiteral("prst"), QStringLiteral("rect"));
    geometry.append(XmlNode::element(QStringLiteral("a:avLst")));
    sp.append(std::move(geometry));
    pic.append(std::move(sp));
    a.append(std::move(pic));
    a.append(XmlNode::element(QStringLiteral("xdr:clientData")));
    return a;
}

void declareContentTypes(WorkbookPackage &package, const QString &drawingPart)
{
    const QString part = QStringLiteral("[Content_Types].xml");
    XmlNode types = parseXml(package.part(part), part);
    bool png = false, drawing = drawingPart.isEmpty();
    for (const XmlNode &t : types.children) {
        if (t.isText)
            continue;
        if (t.localName() == QLatin1String("Default")
            && t.attribute(QStringLiteral("Extension")).compare(QLatin1String("png"), Qt::CaseInsensitive) == 0)
            png = true;
        if (t.localName() == QLatin1String("Override") && t.attribute(QStringLiteral("PartName")) == u'/' + drawingPart)
            drawing = true;
    }
    if (!png) {
        XmlNode d = XmlNode::element(types.prefix() + QStringLiteral("Default"));
        d.setAttribute(QStringLiteral("Extension"), QStringLiteral("png"));
        d.setAttribute(QStringLiteral("ContentType"), QStringLiteral("image/png"));
        // Defaults come before overrides.
        size_t at = 0;
        while (at < types.children.size()
               && (types.children[at].isText || types.children[at].localName() == QLatin1String("Default")))
            ++at;
        types.children.insert(types.children.begin() + at, std::move(d));
    }
    if (!drawing) {
        XmlNode o = XmlNode::element(types.prefix() + QStringLiteral("Override"));
        o.setAttribute(QStringLiteral("PartName"), u'/' + drawingPart);
        o.setAttribute(QStringLiteral("ContentType"), kDrawingType);
        types.append(std::move(o));
    }
    package.setPart(part, writeXml(types));
}

}  // namespace

bool definedNamePlace(const WorkbookPackage &package, const QString &name, CellPlace *place)
{
    const QString book = QStringLiteral("xl/workbook.xml");
    if (!package.contains(book))
        return false;
    const XmlNode workbook = parseXml(package.part(book), book);
    const XmlNode *names = workbook.child(QStringLiteral("definedNames"));
    if (!names)
        return false;
    for (const XmlNode &d : names->children) {
        if (d.isText || d.attribute(QStringLiteral("name")).compare(name, Qt::CaseInsensitive) != 0)
            continue;
        QString text = d.innerText().trimmed();
        if (text.startsWith(u'='))
            text.remove(0, 1);
        const int bang = text.lastIndexOf(u'!');
        if (bang <= 0)
            return false;
        QString sheet = text.left(bang);
        if (sheet.startsWith(u'\''))
            sheet = sheet.mid(1, sheet.size() - 2).replace(QStringLiteral("''"), QStringLiteral("'"));
        Area a;
        if (!parseArea(text.mid(bang + 1), &a) || a.row1 < 1 || a.column1 < 1)
            return false;
        place->sheet = sheet;
        place->row = a.row1 - 1;
        place->column = a.column1 - 1;
        return true;
    }
    return false;
}

bool placePictures(WorkbookPackage &package, const QString &definedName, const QList<WorkbookPicture> &pictures)
{
    CellPlace at;
    if (pictures.isEmpty() || !definedNamePlace(package, definedName, &at))
        return false;
    int sheetIndex = -1;
    const QString sheet = sheetPart(package, at.sheet, &sheetIndex);
    if (sheet.isEmpty() || !package.contains(sheet))
        throw Error(QStringLiteral("Лист «") + at.sheet + QStringLiteral("», на который указывает имя ") + definedName
                    + QStringLiteral(", не найден в книге."));

    XmlNode worksheet = parseXml(package.part(sheet), sheet);
    XmlNode sheetRels = relsOf(package, sheet);
    // The sheet's own drawing when it has one; the pictures join it.
    QString drawingPart;
    if (const XmlNode *d = worksheet.child(QStringLiteral("drawing")))
        for (const auto &a : d->attributes)
            if (a.first.endsWith(QLatin1String(":id")))
                drawingPart = targetOf(sheetRels, sheet, a.second);
    const bool newDrawing = drawingPart.isEmpty() || !package.contains(drawingPart);
    XmlNode drawing;
    if (newDrawing) {
        drawingPart = freePart(package, QStringLiteral("xl/drawings/drawing%1.xml"));
        drawing = XmlNode::element(QStringLiteral("xdr:wsDr"));
        drawing.setAttribute(QStringLiteral("xmlns:xdr"),
                             QStringLiteral("http://schemas.openxmlformats.org/drawingml/2006/spreadsheetDrawing"));
        drawing.setAttribute(QStringLiteral("xmlns:a"), QStringLiteral("http://schemas.openxmlformats.org/drawingml/2006/main"));
    } else {
        drawing = parseXml(package.part(drawingPart), drawingPart);
    }
    XmlNode drawingRels = relsOf(package, drawingPart);

    int id = 1000;  // apart from the ids the drawing's own shapes use
    int rowOffset = 0;
    for (const WorkbookPicture &p : pictures) {
        const QString media = freePart(package, QStringLiteral("xl/media/kvimage%1.png"));
        package.setPart(media, p.png);
        const QString embed = addRelationship(drawingRels, kImageRel, relativeTarget(drawingPart, media));
        drawing.append(anchor(at, rowOffset, p, ++id, embed));
        rowOffset += int(std::ceil(double(p.pixels.height()) / kRowPixels)) + 1;
    }
    package.setPart(drawingPart, writeXml(drawing));
    package.setPart(relsPartOf(drawingPart), writeXml(drawingRels));

    if (newDrawing) {
        const QString rid = addRelationship(sheetRels, kDrawingRel, relativeTarget(sheet, drawingPart));
        package.setPart(relsPartOf(sheet), writeXml(sheetRels));
        XmlNode ref = XmlNode::element(worksheet.prefix() + QStringLiteral("drawing"));
        ref.setAttribute(QStringLiteral("xmlns:r"), kRelNs);
        ref.setAttribute(QStringLiteral("r:id"), rid);
        // The drawing goes before the parts of the sheet that follow it in the schema's order.
        static const QStringList after = {
            QStringLiteral("legacyDrawing"), QStringLiteral("legacyDrawingHF"), QStringLiteral("drawingHF"),
            QStringLiteral("picture"),       QStringLiteral("oleObjects"),      QStringLiteral("controls"),
            QStringLiteral("webPublishItems"), QStringLiteral("tableParts"),    QStringLiteral("extLst")};
        size_t at = worksheet.children.size();
        for (size_t i = 0; i < worksheet.children.size(); ++i)
            if (!worksheet.children[i].isText && after.contains(worksheet.children[i].localName())) {
                at = i;
                break;
            }
        worksheet.children.insert(worksheet.children.begin() + at, std::move(ref));
        package.setPart(sheet, writeXml(worksheet));
    }
    declareContentTypes(package, newDrawing ? drawingPart : QString());
    extendPrintArea(package, sheetIndex, at.row + rowOffset);
    return true;
}

}  // namespace kv
