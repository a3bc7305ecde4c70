// Whole tables as workbooks: a grid's rows written as a sheet of a new
// workbook, or added to an existing one, and the sheet names of a file.

#include "files/workbook_writer.h"

#include "core/error_report.h"
#include "database/text_length.h"
#include "files/workbook_ooxml.h"
#include "files/xml_tree.h"

#include <QAbstractItemModel>
#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace kv {

using namespace ooxml;

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

