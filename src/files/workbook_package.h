#pragma once
// The zip package of an .xlsx workbook held in memory: its parts by name, in
// their original order, read and written with QuaZip.

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

namespace kv {

// What a workbook the programs read may hold. A protocol template is a few
// hundred kilobytes and a sheet of a million exported rows under 64 MB; a
// spreadsheet's XML packs at most a few hundred times, while a zip made to
// exhaust memory packs a thousand times.
constexpr qint64 kMaxPartBytes = 64LL * 1024 * 1024;
constexpr qint64 kMaxPackageBytes = 256LL * 1024 * 1024;
constexpr qint64 kMaxCompressionRatio = 500;
constexpr qint64 kRatioCheckedFrom = 1024 * 1024;  // small parts of repeated markup pack well and cost nothing

class WorkbookPackage
{
public:
    // Reads every part; throws kv::Error when the file is missing, is not a zip
    // package, or a part is beyond the bounds above (checked before it is unpacked).
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
