#include "files/text_table_writers.h"

#include "core/whole_file.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace kv {

namespace {

const QByteArray kBom("\xEF\xBB\xBF");

QString cell(const TableRow &row, int c)
{
    return c < row.size() ? cellText(row.at(c)) : QString();
}

QString oneLine(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String(" "));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    text.replace(QLatin1Char('\t'), QLatin1Char(' '));
    return text;
}

QByteArray textBytes(const TableData &table)
{
    QString out;
    QStringList names;
    for (const TableColumn &c : table.columns)
        names << oneLine(c.name);
    out += names.join(QLatin1Char('\t')) + QLatin1String("\r\n");
    for (const TableRow &row : table.rows) {
        QStringList cells;
        for (int c = 0; c < table.columns.size(); ++c)
            cells << oneLine(cell(row, c));
        out += cells.join(QLatin1Char('\t')) + QLatin1String("\r\n");
    }
    return kBom + out.toUtf8();
}

QString csvField(const QString &text)
{
    const bool quote = text.contains(QLatin1Char(',')) || text.contains(QLatin1Char('"')) ||
                       text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r')) ||
                       text.contains(QLatin1Char(';')) || text.startsWith(QLatin1Char(' ')) ||
                       text.endsWith(QLatin1Char(' '));
    if (!quote)
        return text;
    QString t = text;
    t.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + t + QLatin1Char('"');
}

QByteArray csvBytes(const TableData &table)
{
    QString out;
    QStringList names;
    for (const TableColumn &c : table.columns)
        names << csvField(c.name);
    out += names.join(QLatin1Char(',')) + QLatin1String("\r\n");
    for (const TableRow &row : table.rows) {
        QStringList cells;
        for (int c = 0; c < table.columns.size(); ++c)
            cells << csvField(cell(row, c));
        out += cells.join(QLatin1Char(',')) + QLatin1String("\r\n");
    }
    return kBom + out.toUtf8();
}

QByteArray htmlBytes(const TableData &table)
{
    QString out = QStringLiteral("<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title>%1</title>\n"
                                 "</head>\n<body>\n<table border=\"1\" cellspacing=\"0\" cellpadding=\"3\">\n")
                      .arg(table.name.toHtmlEscaped());
    out += QLatin1String("<tr>");
    for (const TableColumn &c : table.columns)
        out += QLatin1String("<th>") + c.name.toHtmlEscaped() + QLatin1String("</th>");
    out += QLatin1String("</tr>\n");
    for (const TableRow &row : table.rows) {
        out += QLatin1String("<tr>");
        for (int c = 0; c < table.columns.size(); ++c) {
            const QString text = cell(row, c);
            out += QLatin1String("<td>") + (text.isEmpty() ? QStringLiteral("&nbsp;") : text.toHtmlEscaped()) +
                   QLatin1String("</td>");
        }
        out += QLatin1String("</tr>\n");
    }
    out += QLatin1String("</table>\n</body>\n</html>\n");
    return out.toUtf8();
}

QByteArray rtfText(const QString &text)
{
    QByteArray out;
    for (QChar ch : text) {
        const char16_t u = ch.unicode();
        if (u == '\\' || u == '{' || u == '}') {
            out += '\\';
            out += char(u);
        } else if (u == '\n') {
            out += "\\line ";
        } else if (u == '\r') {
            continue;
        } else if (u == '\t') {
            out += "\\tab ";
        } else if (u < 0x80) {
            out += char(u);
        } else {
            // \uN takes a signed 16-bit number; '?' is what readers without
            // Unicode show instead.
            out += "\\u" + QByteArray::number(int(qint16(u))) + '?';
        }
    }
    return out;
}

QByteArray rtfBytes(const TableData &table)
{
    const int n = int(table.columns.size());
    // Column widths after the longest text (capped), about 140 twips a character.
    QByteArray rowDef = "\\trowd\\trgaph60\\trleft0";
    int edge = 0;
    for (int c = 0; c < n; ++c) {
        int chars = int(table.columns.at(c).name.size());
        for (const TableRow &row : table.rows)
            chars = std::max(chars, int(cell(row, c).size()));
        edge += std::clamp(chars * 140 + 200, 500, 6000);
        rowDef += "\\clbrdrt\\brdrs\\brdrw10\\clbrdrl\\brdrs\\brdrw10\\clbrdrb\\brdrs\\brdrw10\\clbrdrr\\brdrs\\brdrw10"
                  "\\cellx" + QByteArray::number(edge);
    }
    rowDef += '\n';

    QByteArray out = "{\\rtf1\\ansi\\ansicpg1251\\deff0\\uc1{\\fonttbl{\\f0\\fswiss\\fcharset204 Arial;}}\n"
                     "\\paperw16838\\paperh11906\\landscape\\margl1134\\margr1134\\margt1134\\margb1134\n"
                     "\\f0\\fs18\n";
    out += rowDef;
    for (int c = 0; c < n; ++c)
        out += "\\pard\\intbl\\b " + rtfText(table.columns.at(c).name) + "\\b0\\cell\n";
    out += "\\row\n";
    for (const TableRow &row : table.rows) {
        out += rowDef;
        for (int c = 0; c < n; ++c)
            out += "\\pard\\intbl " + rtfText(cell(row, c)) + "\\cell\n";
        out += "\\row\n";
    }
    out += "\\pard\\par\n}\n";
    return out;
}

}  // namespace

QString textTableExtension(TextTableFormat format)
{
    switch (format) {
    case TextTableFormat::Text:
        return QStringLiteral("txt");
    case TextTableFormat::Csv:
        return QStringLiteral("csv");
    case TextTableFormat::Html:
        return QStringLiteral("htm");
    case TextTableFormat::Rtf:
        return QStringLiteral("rtf");
    }
    return {};
}

QString withExtension(const QString &fileName, const QString &extension)
{
    if (fileName.endsWith(QLatin1Char('.') + extension, Qt::CaseInsensitive))
        return fileName;
    return fileName + QLatin1Char('.') + extension;
}

QByteArray textTableBytes(const TableData &table, TextTableFormat format)
{
    switch (format) {
    case TextTableFormat::Text:
        return textBytes(table);
    case TextTableFormat::Csv:
        return csvBytes(table);
    case TextTableFormat::Html:
        return htmlBytes(table);
    case TextTableFormat::Rtf:
        return rtfBytes(table);
    }
    return {};
}

QString writeTextTable(const QString &path, const TableData &table, TextTableFormat format)
{
    return writeWholeFile(path, textTableBytes(table, format));
}

}  // namespace kv
