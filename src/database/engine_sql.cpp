#include "database/engine_sql.h"

#include "core/clock.h"
#include "database/schema.h"

#include <QHash>

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

// Plain SQL (engineSql) reads a double-quoted text as a name, as the engines do.
QList<Token> tokenize(const QString &s, bool jet = true)
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
            if (c == QLatin1Char('"') && !jet)
                out.append({TokKind::Bracket, value});
            else
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

// Our tables' and columns' names in their written case, by lower case.
const QHash<QString, QString> &schemaNames()
{
    static const QHash<QString, QString> names = [] {
        QHash<QString, QString> n;
        for (const TableDef &t : schemaTables()) {
            n.insert(QString::fromLatin1(t.name).toLower(), QString::fromLatin1(t.name));
            for (const ColumnDef &c : t.columns)
                n.insert(QString::fromLatin1(c.name).toLower(), QString::fromLatin1(c.name));
        }
        return n;
    }();
    return names;
}

QString quotedName(const QString &name)
{
    return QLatin1Char('"') + QString(name).replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
}

// PostgreSQL folds unquoted names to lower case, and then every field of a
// result would come back as "ptip". The tables are made with quoted names in
// their written case, and every name of ours in a statement is quoted here in
// that case, so a statement's names read case-insensitively as in Jet and the
// fields come back as the programs name them. An alias keeps the case it is
// written in for the same reason.
bool serverWord(const QList<Token> &toks, int i, int depth, QString *out)
{
    const Token &t = toks.at(i);
    const auto known = schemaNames().constFind(t.text.toLower());
    if (known != schemaNames().constEnd()) {
        *out += quotedName(known.value());
        return true;
    }
    // The temporary schema is named pg_temp there.
    const int next = nextSolid(toks, i + 1);
    if (isWord(t, "temp") && next == i + 1 && toks.at(next).text == QLatin1String(".")) {
        *out += QStringLiteral("pg_temp");
        return true;
    }
    // SQLite's REAL holds eight bytes; the server's REAL only four.
    if (isWord(t, "real")) {
        *out += QStringLiteral("DOUBLE PRECISION");
        return true;
    }
    // Jet's LIKE ignores case, as SQLite's does.
    if (isWord(t, "like")) {
        *out += QStringLiteral("ILIKE");
        return true;
    }
    int before = i - 1;
    while (before >= 0 && toks.at(before).kind == TokKind::Space)
        --before;
    if (depth == 0 && before >= 0 && isWord(toks.at(before), "as") && !isWord(t, "select")) {
        *out += quotedName(t.text);
        return true;
    }
    return false;
}

QString rewrite(const QList<Token> &toks, Engine engine = Engine::SQLite)
{
    QString out;
    const bool server = engine == Engine::PostgreSQL;
    int depth = 0;
    for (int i = 0; i < toks.size(); ++i) {
        const Token &t = toks.at(i);
        if (t.kind == TokKind::Symbol && t.text == QLatin1String("("))
            ++depth;
        else if (t.kind == TokKind::Symbol && t.text == QLatin1String(")"))
            --depth;
        switch (t.kind) {
        case TokKind::Space:
            out += t.text;
            break;
        case TokKind::JetString:
        case TokKind::SqlString:
            out += sqlQuoted(t.text);
            break;
        case TokKind::Bracket:
            out += quotedName(server ? schemaNames().value(t.text.toLower(), t.text) : t.text);
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
                        if (server) {
                            const QList<Token> named = tokenize(toks.at(target).text + QStringLiteral(" (") +
                                                                names.join(QStringLiteral(", ")) + QStringLiteral(") "));
                            out += QStringLiteral("INSERT INTO ") + rewrite(named, engine);
                        } else {
                            out += QStringLiteral("INSERT INTO %1 (%2) ").arg(toks.at(target).text, names.join(QStringLiteral(", ")));
                        }
                        i = select - 1;
                        break;
                    }
                }
                out += t.text;
                break;
            }
            if (server && serverWord(toks, i, depth, &out))
                break;
            out += t.text;
            break;
        }
        }
    }
    return out;
}

}  // namespace

QString toEngineSql(const QString &jetText) { return rewrite(tokenize(jetText)); }

QString toEngineSql(const QString &jetText, Engine engine) { return rewrite(tokenize(jetText), engine); }

QString toEngineSql(const QString &jetText, const QSqlDatabase &db) { return toEngineSql(jetText, engineOf(db)); }

QString toEngineSql(const QString &jetText, const QSqlDriver *driver) { return toEngineSql(jetText, engineOf(driver)); }

QString engineTableName(const QSqlDatabase &db, const QString &table)
{
    if (engineOf(db) == Engine::SQLite)
        return table;
    return quotedName(schemaNames().value(table.toLower(), table));
}

QString storedListStatement(const QSqlDatabase &db, const QString &table, const QString &select)
{
    if (engineOf(db) == Engine::SQLite)
        return QStringLiteral("CREATE TEMP TABLE ") + table + QStringLiteral(" AS ") + select;
    // Numbered as the statement delivers its rows, under the name SQLite gives
    // its own numbering; last, so the statement's fields keep their places.
    return QStringLiteral("CREATE TEMP TABLE ") + table + QStringLiteral(" AS SELECT kv_list.*, row_number() OVER () AS rowid FROM (") +
           select + QStringLiteral(") AS kv_list");
}

QString storedRowsStatement(const QSqlDatabase &db, const QString &table, const QStringList &definitions)
{
    QString sql = QStringLiteral("CREATE TEMP TABLE ") + table + QLatin1Char('(') + definitions.join(QLatin1Char(','));
    if (engineOf(db) == Engine::PostgreSQL)
        sql += QStringLiteral(", rowid BIGSERIAL");
    return engineSql(db, sql + QLatin1Char(')'));
}

QString engineSql(const QSqlDatabase &db, const QString &sql) { return engineSql(db.driver(), sql); }

QString engineSql(const QSqlDriver *driver, const QString &sql)
{
    if (engineOf(driver) == Engine::SQLite)
        return sql;
    return rewrite(tokenize(sql, false), Engine::PostgreSQL);
}

QString jetQuoted(const QString &value)
{
    QString v = value;
    v.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + v + QLatin1Char('"');
}

}  // namespace kv
