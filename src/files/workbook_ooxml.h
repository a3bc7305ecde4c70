#pragma once
// What the workbook writer's parts share: the package's names and content
// types, numbers as the parts spell them, and element nodes. Only for the
// writer's own sources.

#include "files/xml_tree.h"

#include <QLocale>
#include <QString>

#include <initializer_list>

namespace kv::ooxml {

inline const QString kMainNs = QStringLiteral("http://schemas.openxmlformats.org/spreadsheetml/2006/main");
inline const QString kRelNs = QStringLiteral("http://schemas.openxmlformats.org/officeDocument/2006/relationships");
inline const QString kPkgRelNs = QStringLiteral("http://schemas.openxmlformats.org/package/2006/relationships");
inline const QString kRelWorksheet = kRelNs + QStringLiteral("/worksheet");
inline const QString kRelStyles = kRelNs + QStringLiteral("/styles");
inline const QString kRelStrings = kRelNs + QStringLiteral("/sharedStrings");
inline const QString kRelOffice = kRelNs + QStringLiteral("/officeDocument");
inline const QString kCtSheet = QStringLiteral("application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml");
inline const QString kCtStyles = QStringLiteral("application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml");
inline const QString kCtStrings = QStringLiteral("application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml");
inline const QString kCtWorkbook = QStringLiteral("application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml");
inline const QString kDateFormat = QStringLiteral("dd.mm.yyyy");
inline const QString kDateTimeFormat = QStringLiteral("dd.mm.yyyy hh:mm:ss");

inline QString number(double v) { return QString::number(v, 'g', QLocale::FloatingPointShortest); }

inline XmlNode el(const QString &name, std::initializer_list<QPair<QString, QString>> attrs = {})
{
    XmlNode n = XmlNode::element(name);
    for (const auto &a : attrs)
        n.attributes.append(a);
    return n;
}

}  // namespace kv::ooxml
