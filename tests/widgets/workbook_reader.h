#pragma once
// Reads a workbook back through openpyxl (Debian's python3-openpyxl), so the
// tests judge our files with a reader that shares no code with the writer.

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QTest>

namespace kvtest {

inline QString readerScript()
{
    const QString source = qEnvironmentVariable("KVINTOR_SOURCE_DIR");
#ifdef QT_TESTCASE_SOURCEDIR
    if (source.isEmpty())
        return QStringLiteral(QT_TESTCASE_SOURCEDIR "/read_workbook.py");
#endif
    return source + QStringLiteral("/tests/widgets/read_workbook.py");
}

// Empty object (with a test failure) when the reader fails.
inline QJsonObject readWorkbook(const QString &path)
{
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"), {readerScript(), path});
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        qWarning("openpyxl could not read %s: %s", qPrintable(path), p.readAllStandardError().constData());
        return QJsonObject();
    }
    return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
}

inline QJsonObject sheetOf(const QJsonObject &book, int index = 0)
{
    return book.value(QStringLiteral("sheets")).toArray().at(index).toObject();
}

// The value of a cell ("" when empty) and its openpyxl type letter.
inline QString text(const QJsonObject &sheet, const QString &cell)
{
    return sheet.value(QStringLiteral("cells")).toObject().value(cell).toArray().at(0).toVariant().toString();
}
inline QString type(const QJsonObject &sheet, const QString &cell)
{
    return sheet.value(QStringLiteral("cells")).toObject().value(cell).toArray().at(1).toString();
}
inline bool has(const QJsonObject &sheet, const QString &cell)
{
    return sheet.value(QStringLiteral("cells")).toObject().contains(cell);
}

}  // namespace kvtest
