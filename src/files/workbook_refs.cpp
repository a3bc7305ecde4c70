#include "files/workbook_refs.h"

#include <QRegularExpression>

namespace kv {

QString columnName(int column)
{
    QString name;
    while (column > 0) {
        const int rem = (column - 1) % 26;
        name.prepend(QChar(u'A' + rem));
        column = (column - 1) / 26;
    }
    return name;
}

QString cellName(int row, int column) { return columnName(column) + QString::number(row); }

static int columnNumber(QStringView letters)
{
    int n = 0;
    for (QChar c : letters)
        n = n * 26 + (c.toUpper().unicode() - u'A' + 1);
    return n;
}

bool parseCell(const QString &ref, int *row, int *column)
{
    static const QRegularExpression re(QStringLiteral("^\\$?([A-Za-z]{1,3})\\$?([0-9]{1,7})$"));
    const auto m = re.match(ref);
    if (!m.hasMatch())
        return false;
    *column = columnNumber(m.capturedView(1));
    *row = m.captured(2).toInt();
    return *row > 0;
}

QString Area::text() const
{
    auto one = [](int r, int c) {
        return (c > 0 ? columnName(c) : QString()) + (r > 0 ? QString::number(r) : QString());
    };
    const QString first = one(row1, column1);
    const QString second = one(row2, column2);
    return first == second ? first : first + QLatin1Char(':') + second;
}

bool parseArea(const QString &ref, Area *area)
{
    static const QRegularExpression re(QStringLiteral(
        "^\\$?([A-Za-z]{0,3})\\$?([0-9]{0,7})(?::\\$?([A-Za-z]{0,3})\\$?([0-9]{0,7}))?$"));
    const auto m = re.match(ref.trimmed());
    if (!m.hasMatch() || (m.capturedLength(1) == 0 && m.capturedLength(2) == 0))
        return false;
    area->column1 = columnNumber(m.capturedView(1));
    area->row1 = m.captured(2).toInt();
    if (m.capturedLength(3) + m.capturedLength(4) > 0) {
        area->column2 = columnNumber(m.capturedView(3));
        area->row2 = m.captured(4).toInt();
    } else {
        area->column2 = area->column1;
        area->row2 = area->row1;
    }
    return true;
}

QString quotedSheetName(const QString &name)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z_][A-Za-z0-9_.]*$"));
    static const QRegularExpression looksLikeCell(QStringLiteral("^[A-Za-z]{1,3}[0-9]+$"));
    if (plain.match(name).hasMatch() && !looksLikeCell.match(name).hasMatch())
        return name;
    QString q = name;
    q.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QLatin1Char('\'') + q + QLatin1Char('\'');
}

namespace {

bool isNameChar(QChar c) { return c.isLetterOrNumber() || c == u'_' || c == u'.' || c == u'\\'; }


}  // namespace

QString shiftFormulaRows(const QString &formula, const QString &sheet, bool unqualifiedIsSheet,
                         const std::function<int(int, RefPart)> &rowMap)
{
    // An optional sheet ('quoted'! or plain!) then A1, A1:B2 or 1:3 (row area).
    static const QRegularExpression ref(QStringLiteral(
        "(?:('(?:[^']|'')+'|[^\\s'!,;()=+\\-*/&<>^\"{}:]+)!)?"
        "(?:(\\$?)([A-Za-z]{1,3})(\\$?)([0-9]{1,7})(?::(\\$?)([A-Za-z]{1,3})(\\$?)([0-9]{1,7}))?"
        "|(\\$?)([0-9]{1,7}):(\\$?)([0-9]{1,7}))"));
    QString out;
    int pos = 0;
    const int n = formula.size();
    while (pos < n) {
        const QChar c = formula.at(pos);
        if (c == u'"') {  // a text literal, with "" inside
            int end = pos + 1;
            while (end < n) {
                if (formula.at(end) == u'"') {
                    if (end + 1 < n && formula.at(end + 1) == u'"') {
                        end += 2;
                        continue;
                    }
                    break;
                }
                ++end;
            }
            out += formula.mid(pos, end - pos + 1);
            pos = end + 1;
            continue;
        }
        const bool boundary = pos == 0 || !isNameChar(formula.at(pos - 1));
        const auto m = boundary ? ref.match(formula, pos, QRegularExpression::NormalMatch,
                                            QRegularExpression::AnchorAtOffsetMatchOption)
                                : QRegularExpressionMatch();
        const int end = m.hasMatch() ? m.capturedEnd(0) : pos;
        const bool endOk = m.hasMatch() && m.capturedLength(0) > 0
            && (end >= n || (!isNameChar(formula.at(end)) && formula.at(end) != u'(' && formula.at(end) != u'!'));
        if (!endOk) {
            // Skip a whole name so that the digits inside LOG10 or Лист1 are not taken for a row.
            int skip = pos + 1;
            if (isNameChar(c))
                while (skip < n && isNameChar(formula.at(skip)))
                    ++skip;
            out += formula.mid(pos, skip - pos);
            pos = skip;
            continue;
        }
        QString sheetPart = m.captured(1);
        QString sheetName = sheetPart;
        if (sheetName.startsWith(u'\''))
            sheetName = sheetName.mid(1, sheetName.size() - 2).replace(QStringLiteral("''"), QStringLiteral("'"));
        const bool ours = sheetPart.isEmpty() ? unqualifiedIsSheet : sheetName == sheet;
        if (!ours) {
            out += m.captured(0);
            pos = end;
            continue;
        }
        const QString prefix = sheetPart.isEmpty() ? QString() : sheetPart + QLatin1Char('!');
        auto mapped = [&](const QString &digits, RefPart part) -> QString {
            const int r = rowMap(digits.toInt(), part);
            return r > 0 ? QString::number(r) : QString();
        };
        QString replacement;
        bool broken = false;
        if (m.capturedLength(3) > 0) {
            const bool area = m.capturedLength(9) > 0;
            const QString r1 = mapped(m.captured(5), area ? RefPart::Start : RefPart::Single);
            const QString r2 = area ? mapped(m.captured(9), RefPart::End) : QString();
            // An area whose rows all went away is no area at all.
            broken = r1.isEmpty() || (area && (r2.isEmpty() || r2.toInt() < r1.toInt()));
            replacement = prefix + m.captured(2) + m.captured(3) + m.captured(4) + r1;
            if (area)
                replacement += QLatin1Char(':') + m.captured(6) + m.captured(7) + m.captured(8) + r2;
        } else {
            const QString r1 = mapped(m.captured(11), RefPart::Start);
            const QString r2 = mapped(m.captured(13), RefPart::End);
            broken = r1.isEmpty() || r2.isEmpty() || r2.toInt() < r1.toInt();
            replacement = prefix + m.captured(10) + r1 + QLatin1Char(':') + m.captured(12) + r2;
        }
        out += broken ? QStringLiteral("#REF!") : replacement;
        pos = end;
    }
    return out;
}

}  // namespace kv
