#include "database/engine_sql.h"

#include "core/clock.h"

#include <QDate>
#include <QLocale>
#include <QStringList>

namespace kv {

namespace {

enum class TokKind { Word, Number, JetString, SqlString, Bracket, Symbol, Space };

struct Token {
    TokKind kind;
    QString text;   // as written (for strings: the value without quotes)
};

bool isWordChar(QChar c) { return c.isLetterOrNumber() || c == QLatin1Char('_'); }

QList<Token> tokenize(const QString &s)
{
    QList<Token> out;
    int i = 0;
    const int n = s.size();
    while (i < n) {
        const QChar c = s.at(i);
        if (c.isSpace()) {
            int j = i;
            while (j < n && s.at(j).isSpace())
                ++j;
            out.append({TokKind::Space, s.mid(i, j - i)});
            i = j;
        } else if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            QString value;
            int j = i + 1;
            while (j < n) {
                if (s.at(j) == c) {
                    if (j + 1 < n && s.at(j + 1) == c) {
                        value += c;
                        j += 2;
                        continue;
                    }
                    break;
                }
                value += s.at(j++);
            }
            out.append({c == QLatin1Char('"') ? TokKind::JetString : TokKind::SqlString, value});
            i = qMin(j + 1, n);
        } else if (c == QLatin1Char('[')) {
            const int close = s.indexOf(QLatin1Char(']'), i + 1);
            const int j = close < 0 ? n : close;
            out.append({TokKind::Bracket, s.mid(i + 1, j - i - 1)});
            i = qMin(j + 1, n);
        } else if (isWordChar(c)) {
            int j = i;
            while (j < n && isWordChar(s.at(j)))
                ++j;
            const QString w = s.mid(i, j - i);
            out.append({w.at(0).isDigit() ? TokKind::Number : TokKind::Word, w});
            i = j;
        } else {
            out.append({TokKind::Symbol, QString(c)});
            ++i;
        }
    }
    return out;
}

QString sqlQuoted(const QString &value)
{
    QString v = value;
    v.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QLatin1Char('\'') + v + QLatin1Char('\'');
}

bool isWord(const Token &t, const char *word)
{
    return t.kind == TokKind::Word && t.text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
}

int nextSolid(const QList<Token> &toks, int from)
{
    for (int i = from; i < toks.size(); ++i)
        if (toks.at(i).kind != TokKind::Space)
            return i;
    return -1;
}

QDate parseDate(const QString &text)
{
    const QString t = text.trimmed();
    QDate d = kv::dateLocale().toDate(t, QLocale::ShortFormat);
    if (d.isValid())
        return d;
    for (const char *f : {"dd.MM.yyyy", "d.M.yyyy", "dd.MM.yy", "yyyy-MM-dd", "dd/MM/yyyy", "d/M/yyyy"}) {
        d = QDate::fromString(t, QLatin1String(f));
        if (d.isValid()) {
            if (qstrcmp(f, "dd.MM.yy") == 0 && d.year() < 1950)
                d = d.addYears(100);
            return d;
        }
    }
    return {};
}

// Jet's append query without a column list matches the selected columns to the
// target's by name; the engine matches by position, so name them explicitly.
QStringList selectedColumnNames(const QList<Token> &toks, int selectAt)
{
    QStringList names;
    int depth = 0;
    QString lastName;
    for (int i = selectAt + 1; i < toks.size(); ++i) {
        const Token &t = toks.at(i);
        if (t.kind == TokKind::Symbol) {
            if (t.text == QLatin1String("("))
                ++depth;
            else if (t.text == QLatin1String(")"))
                --depth;
            else if (t.text == QLatin1String(",") && depth == 0) {
                names << lastName;
                lastName.clear();
            }
            continue;
        }
        if (depth != 0)
            continue;
        if (isWord(t, "from")) {
            names << lastName;
            return names;
        }
        // The last name of an item is its column or its alias.
        if (isWord(t, "as") || isWord(t, "distinct") || isWord(t, "all"))
            continue;
        if (t.kind == TokKind::Word || t.kind == TokKind::Bracket)
            lastName = t.text;
    }
    return {};
}

QString rewrite(const QList<Token> &toks)
{
    QString out;
    for (int i = 0; i < toks.size(); ++i) {
        const Token &t = toks.at(i);
        switch (t.kind) {
        case TokKind::Space:
            out += t.text;
            break;
        case TokKind::JetString:
        case TokKind::SqlString:
            out += sqlQuoted(t.text);
            break;
        case TokKind::Bracket:
            out += QLatin1Char('"') + QString(t.text).replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
            break;
        case TokKind::Number:
        case TokKind::Symbol:
            out += t.text;
            break;
        case TokKind::Word: {
            if (isWord(t, "DateValue")) {
                const int open = nextSolid(toks, i + 1);
                const int arg = open < 0 ? -1 : nextSolid(toks, open + 1);
                const int close = arg < 0 ? -1 : nextSolid(toks, arg + 1);
                if (close >= 0 && toks.at(open).text == QLatin1String("(") &&
                    (toks.at(arg).kind == TokKind::JetString || toks.at(arg).kind == TokKind::SqlString) &&
                    toks.at(close).text == QLatin1String(")")) {
                    const QDate d = parseDate(toks.at(arg).text);
                    if (d.isValid()) {
                        out += sqlQuoted(d.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(" 00:00:00"));
                        i = close;
                        break;
                    }
                }
                out += t.text;
                break;
            }
            if (isWord(t, "delete")) {
                const int star = nextSolid(toks, i + 1);
                const int from = star < 0 ? -1 : nextSolid(toks, star + 1);
                if (from >= 0 && toks.at(star).text == QLatin1String("*") && isWord(toks.at(from), "from")) {
                    out += QStringLiteral("DELETE FROM");
                    i = from;
                    break;
                }
                out += t.text;
                break;
            }
            if (isWord(t, "insert")) {
                const int into = nextSolid(toks, i + 1);
                const int target = into < 0 ? -1 : nextSolid(toks, into + 1);
                const int select = target < 0 ? -1 : nextSolid(toks, target + 1);
                if (select >= 0 && isWord(toks.at(into), "into") && isWord(toks.at(select), "select")) {
                    const QStringList names = selectedColumnNames(toks, select);
                    if (!names.isEmpty() && !names.contains(QString())) {
                        out += QStringLiteral("INSERT INTO %1 (%2) ").arg(toks.at(target).text, names.join(QStringLiteral(", ")));
                        i = select - 1;
                        break;
                    }
                }
                out += t.text;
                break;
            }
            out += t.text;
            break;
        }
        }
    }
    return out;
}

}  // namespace

QString toEngineSql(const QString &jetText) { return rewrite(tokenize(jetText)); }

QString jetQuoted(const QString &value)
{
    QString v = value;
    v.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + v + QLatin1Char('"');
}

}  // namespace kv
