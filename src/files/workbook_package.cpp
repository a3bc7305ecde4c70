#include "files/workbook_package.h"

#include "core/error_report.h"
#include "core/whole_file.h"

#include <QBuffer>
#include <QDir>
#include <QFile>

#include <quazip/quazip.h>
#include <quazip/quazipfile.h>
#include <quazip/quazipfileinfo.h>
#include <quazip/quazipnewinfo.h>

namespace kv {

namespace {

QString megabytes(qint64 bytes)
{
    return QString::number(bytes / (1024 * 1024)) + QStringLiteral(" МБ");
}

}  // namespace

WorkbookPackage WorkbookPackage::load(const QString &path)
{
    QFile file(path);
    if (!file.exists())
        throw Error(QStringLiteral("Файл «%1» не найден.").arg(QDir::toNativeSeparators(path)));
    if (!file.open(QIODevice::ReadOnly))
        throw Error(QStringLiteral("Не удалось открыть файл «%1»: %2").arg(QDir::toNativeSeparators(path), file.errorString()));
    return fromBytes(file.readAll(), path);
}

WorkbookPackage WorkbookPackage::fromBytes(const QByteArray &bytes, const QString &name)
{
    const QString broken = QStringLiteral("Файл «%1» не является книгой Excel (.xlsx) или повреждён.")
                               .arg(QDir::toNativeSeparators(name));
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    QuaZip zip(&buffer);
    if (!zip.open(QuaZip::mdUnzip))
        throw Error(broken);
    // A damaged or hostile package can declare parts that expand to
    // gigabytes; each part is weighed by its header before a byte of it is
    // unpacked, and reading stops at the bound whatever the header said.
    const auto tooLarge = [&](const QString &entry, const QString &why) {
        return Error(broken + QStringLiteral("\nЧасть «") + entry + QStringLiteral("» ") + why + QLatin1Char('.'));
    };
    WorkbookPackage package;
    qint64 total = 0;
    for (bool more = zip.goToFirstFile(); more; more = zip.goToNextFile()) {
        const QString entry = zip.getCurrentFileName();
        if (entry.endsWith(QLatin1Char('/')))
            continue;
        QuaZipFileInfo64 info;
        if (!zip.getCurrentFileInfo(&info))
            throw Error(broken);
        const qint64 expanded = qint64(info.uncompressedSize);
        const qint64 packed = std::max<qint64>(1, qint64(info.compressedSize));
        if (expanded > kMaxPartBytes)
            throw tooLarge(entry, QStringLiteral("занимает ") + megabytes(expanded) + QStringLiteral(", больше ") +
                                      megabytes(kMaxPartBytes));
        if (expanded > kRatioCheckedFrom && expanded / packed > kMaxCompressionRatio)
            throw tooLarge(entry, QStringLiteral("сжата в ") + QString::number(expanded / packed) +
                                      QStringLiteral(" раз: так сжимаются только повреждённые или подложные данные"));
        total += expanded;
        if (total > kMaxPackageBytes)
            throw tooLarge(entry, QStringLiteral("превышает общий предел книги ") + megabytes(kMaxPackageBytes));
        QuaZipFile part(&zip);
        if (!part.open(QIODevice::ReadOnly))
            throw Error(broken);
        const QByteArray data = part.read(expanded + 1);
        const bool ok = part.getZipError() == UNZ_OK && data.size() == expanded;
        part.close();
        if (!ok || part.getZipError() != UNZ_OK)
            throw Error(broken);
        package.m_parts.append({entry, data});
    }
    if (zip.getZipError() != UNZ_OK || !package.contains(QStringLiteral("[Content_Types].xml")))
        throw Error(broken);
    return package;
}

bool WorkbookPackage::contains(const QString &name) const
{
    for (const auto &p : m_parts)
        if (p.first == name)
            return true;
    return false;
}

QByteArray WorkbookPackage::part(const QString &name) const
{
    for (const auto &p : m_parts)
        if (p.first == name)
            return p.second;
    return QByteArray();
}

void WorkbookPackage::setPart(const QString &name, const QByteArray &data)
{
    for (auto &p : m_parts)
        if (p.first == name) {
            p.second = data;
            return;
        }
    m_parts.append({name, data});
}

void WorkbookPackage::removePart(const QString &name)
{
    for (int i = m_parts.size() - 1; i >= 0; --i)
        if (m_parts.at(i).first == name)
            m_parts.removeAt(i);
}

QStringList WorkbookPackage::partNames() const
{
    QStringList names;
    for (const auto &p : m_parts)
        names << p.first;
    return names;
}

QByteArray WorkbookPackage::toBytes(const QDateTime &stamp) const
{
    const QDateTime time = stamp.isValid() ? stamp : QDateTime::currentDateTime();
    QByteArray out;
    {
        QBuffer buffer(&out);
        QuaZip zip(&buffer);
        if (!zip.open(QuaZip::mdCreate))
            throw Error(QStringLiteral("Не удалось создать книгу: ошибка упаковки %1.").arg(zip.getZipError()));
        for (const auto &p : m_parts) {
            QuaZipFile file(&zip);
            QuaZipNewInfo info(p.first);
            info.dateTime = time;
            if (!file.open(QIODevice::WriteOnly, info) || file.write(p.second) != p.second.size()) {
                throw Error(QStringLiteral("Не удалось создать книгу: ошибка упаковки %1.").arg(file.getZipError()));
            }
            file.close();
            if (file.getZipError() != ZIP_OK)
                throw Error(QStringLiteral("Не удалось создать книгу: ошибка упаковки %1.").arg(file.getZipError()));
        }
        zip.close();
        if (zip.getZipError() != ZIP_OK)
            throw Error(QStringLiteral("Не удалось создать книгу: ошибка упаковки %1.").arg(zip.getZipError()));
    }
    return out;
}

void WorkbookPackage::save(const QString &path, const QDateTime &stamp) const
{
    saveFileAtomically(path, toBytes(stamp));
}

void saveFileAtomically(const QString &path, const QByteArray &bytes)
{
    const QString error = writeWholeFile(path, bytes);
    if (!error.isEmpty())
        throw Error(error);
}

QString resolvePartTarget(const QString &fromPart, const QString &target)
{
    if (target.startsWith(QLatin1Char('/')))
        return target.mid(1);
    const int slash = fromPart.lastIndexOf(QLatin1Char('/'));
    const QString folder = slash < 0 ? QString() : fromPart.left(slash + 1);
    QString joined = QDir::cleanPath(folder + target);
    if (joined.startsWith(QLatin1String("./")))
        joined = joined.mid(2);
    return joined;
}

}  // namespace kv
