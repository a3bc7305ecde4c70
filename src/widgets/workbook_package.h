#pragma once
// The zip package of an .xlsx workbook held in memory: its parts by name, in
// their original order, read and written with QuaZip.

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

namespace kv {

class WorkbookPackage
{
public:
    // Reads every part; throws kv::Error when the file is missing or is not a zip package.
    static WorkbookPackage load(const QString &path);
    static WorkbookPackage fromBytes(const QByteArray &bytes, const QString &nameForMessages);

    bool contains(const QString &part) const;
    QByteArray part(const QString &part) const;
    // Replaces a part, or appends it when new.
    void setPart(const QString &part, const QByteArray &data);
    void removePart(const QString &part);
    QStringList partNames() const;

    // The package as zip bytes. Parts carry `stamp` as their time (a fixed stamp
    // gives byte-identical output for identical content). Throws kv::Error.
    QByteArray toBytes(const QDateTime &stamp = QDateTime()) const;
    // Writes the whole file or nothing: a failed write leaves any earlier file
    // as it was. Throws kv::Error with the operator's text.
    void save(const QString &path, const QDateTime &stamp = QDateTime()) const;

private:
    QList<QPair<QString, QByteArray>> m_parts;
};

// writeWholeFile that throws kv::Error with the operator's text on failure.
void saveFileAtomically(const QString &path, const QByteArray &bytes);

// Joins a relationship target to the folder of the part that refers to it
// ("xl/workbook.xml" + "worksheets/sheet1.xml" -> "xl/worksheets/sheet1.xml").
QString resolvePartTarget(const QString &fromPart, const QString &target);

}  // namespace kv
