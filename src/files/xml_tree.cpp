#include "files/xml_tree.h"

#include "core/error_report.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace kv {

QString XmlNode::localName() const
{
    const int colon = name.indexOf(QLatin1Char(':'));
    return colon < 0 ? name : name.mid(colon + 1);
}

QString XmlNode::prefix() const
{
    const int colon = name.indexOf(QLatin1Char(':'));
    return colon < 0 ? QString() : name.left(colon + 1);
}

QString XmlNode::attribute(const QString &key, const QString &fallback) const
{
    for (const auto &a : attributes)
        if (a.first == key)
            return a.second;
    return fallback;
}

bool XmlNode::hasAttribute(const QString &key) const
{
    for (const auto &a : attributes)
        if (a.first == key)
            return true;
    return false;
}

void XmlNode::setAttribute(const QString &key, const QString &value)
{
    for (auto &a : attributes)
        if (a.first == key) {
            a.second = value;
            return;
        }
    attributes.append({key, value});
}

void XmlNode::removeAttribute(const QString &key)
{
    for (int i = attributes.size() - 1; i >= 0; --i)
        if (attributes.at(i).first == key)
            attributes.removeAt(i);
}

XmlNode *XmlNode::child(const QString &local)
{
    for (auto &c : children)
        if (!c.isText && c.localName() == local)
            return &c;
    return nullptr;
}

const XmlNode *XmlNode::child(const QString &local) const
{
    return const_cast<XmlNode *>(this)->child(local);
}

QString XmlNode::innerText() const
{
    if (isText)
        return text;
    QString out;
    for (const auto &c : children)
        out += c.innerText();
    return out;
}

XmlNode &XmlNode::append(XmlNode node)
{
    children.push_back(std::move(node));
    return children.back();
}

// Parts of a workbook nest a dozen levels; far deeper nesting is a damaged
// or hostile file, and would exhaust the stack when the tree is written,
// copied or freed.
constexpr size_t kMaxDepth = 256;

XmlNode parseXml(const QByteArray &data, const QString &partName)
{
    QXmlStreamReader reader(data);
    reader.setNamespaceProcessing(false);
    XmlNode root;
    std::vector<XmlNode *> stack;
    bool haveRoot = false;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement: {
            XmlNode node = XmlNode::element(reader.qualifiedName().toString());
            for (const auto &a : reader.attributes())
                node.attributes.append({a.qualifiedName().toString(), a.value().toString()});
            // Without namespace processing the declarations come as attributes; keep each once.
            for (const auto &d : reader.namespaceDeclarations()) {
                const QString key = d.prefix().isEmpty() ? QStringLiteral("xmlns")
                                                         : QStringLiteral("xmlns:") + d.prefix().toString();
                if (!node.hasAttribute(key))
                    node.attributes.append({key, d.namespaceUri().toString()});
            }
            if (stack.size() >= kMaxDepth)
                throw Error(QStringLiteral("%1: слишком глубокая вложенность элементов").arg(partName));
            if (stack.empty()) {
                if (haveRoot)
                    throw Error(QStringLiteral("%1: более одного корневого элемента").arg(partName));
                root = std::move(node);
                haveRoot = true;
                stack.push_back(&root);
            } else {
                stack.push_back(&stack.back()->append(std::move(node)));
            }
            break;
        }
        case QXmlStreamReader::EndElement:
            stack.pop_back();
            break;
        case QXmlStreamReader::Characters:
            if (!stack.empty())
                stack.back()->append(XmlNode::textNode(reader.text().toString()));
            break;
        default:
            break;
        }
    }
    if (reader.hasError() || !haveRoot)
        throw Error(QStringLiteral("%1: %2").arg(partName, reader.hasError() ? reader.errorString()
                                                                              : QStringLiteral("пустая часть")));
    return root;
}

static void writeNode(QXmlStreamWriter &w, const XmlNode &n)
{
    if (n.isText) {
        w.writeCharacters(n.text);
        return;
    }
    w.writeStartElement(n.name);
    for (const auto &a : n.attributes)
        w.writeAttribute(a.first, a.second);
    for (const auto &c : n.children)
        writeNode(w, c);
    w.writeEndElement();
}

QByteArray writeXml(const XmlNode &root)
{
    QByteArray out;
    QXmlStreamWriter w(&out);
    w.setAutoFormatting(false);
    w.writeStartDocument(QStringLiteral("1.0"), true);
    writeNode(w, root);
    w.writeEndDocument();
    return out;
}

QString xmlSafe(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const ushort u = c.unicode();
        if (c.isHighSurrogate()) {
            if (i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
                out += c;
                out += text.at(++i);
            }
            continue;
        }
        if (c.isLowSurrogate())
            continue;
        if ((u < 0x20 && u != 0x09 && u != 0x0A && u != 0x0D) || u == 0xFFFE || u == 0xFFFF)
            continue;
        out += c;
    }
    return out;
}

}  // namespace kv
