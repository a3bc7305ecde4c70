#pragma once
// A small element tree over QXmlStreamReader/Writer for the parts of a
// workbook package. Names are kept qualified ("x:row") and namespace
// declarations as ordinary attributes, so a part is written back exactly as
// its producer spelled it.

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <vector>

namespace kv {

struct XmlNode {
    bool isText = false;
    QString name;  // qualified element name; empty for text
    QList<QPair<QString, QString>> attributes;
    QString text;  // text nodes only
    std::vector<XmlNode> children;

    static XmlNode element(const QString &name) { XmlNode n; n.name = name; return n; }
    static XmlNode textNode(const QString &text) { XmlNode n; n.isText = true; n.text = text; return n; }

    // The name without its prefix ("row" for "x:row").
    QString localName() const;
    // The prefix with its colon ("x:"), empty when unprefixed.
    QString prefix() const;

    QString attribute(const QString &name, const QString &fallback = QString()) const;
    bool hasAttribute(const QString &name) const;
    void setAttribute(const QString &name, const QString &value);
    void removeAttribute(const QString &name);

    // First child element with this local name, or nullptr.
    XmlNode *child(const QString &localName);
    const XmlNode *child(const QString &localName) const;
    // All text below this node, in document order.
    QString innerText() const;
    XmlNode &append(XmlNode node);
};

// Parses a whole part; throws kv::Error with the reader's message on bad XML
// or on elements nested more than 256 deep.
XmlNode parseXml(const QByteArray &data, const QString &partName);
// Writes a part with an XML declaration (standalone="yes").
QByteArray writeXml(const XmlNode &root);

// Removes characters XML 1.0 cannot carry (control characters other than tab
// and line breaks, lone surrogates, U+FFFE/U+FFFF), so any value can be written.
QString xmlSafe(const QString &text);

}  // namespace kv
