#include "database/database_copy.h"

#include "database/connection.h"
#include "database/database_check.h"
#include "database/engine.h"
#include "database/engine_sql.h"
#include "database/schema.h"

#include <QFile>
#include <QSqlError>
#include <QSqlQuery>

namespace kv {

namespace {

// Rows per insert statement: one statement per row would make a server copy
// a round trip per row; the engine's bound-value limit stays far away.
constexpr int kRowsPerInsert = 200;

class Opened : public ScopedConnection
{
public:
    Opened(const QString &location, const QString &name) : ScopedConnection(name)
    {
        setError(openDatabase(location, name));
    }
};

qint64 count(QSqlDatabase db, const TableDef &t)
{
    QSqlQuery q(db);
    if (!q.exec(engineSql(db, QStringLiteral("SELECT count(*) FROM ") + QLatin1String(t.name))) || !q.next())
        return -1;
    return q.value(0).toLongLong();
}

// The last key the table's counter gave out: at least its largest key.
qint64 lastKey(QSqlDatabase db, const TableDef &t)
{
    QSqlQuery q(db);
    qint64 last = 0;
    if (q.exec(engineSql(db, QStringLiteral("SELECT max(PIndex) FROM ") + QLatin1String(t.name))) && q.next())
        last = q.value(0).toLongLong();
    if (engineOf(db) == Engine::SQLite) {
        q.prepare(QStringLiteral("SELECT seq FROM sqlite_sequence WHERE name = ?"));
        q.addBindValue(QLatin1String(t.name));
        if (q.exec() && q.next())
            last = qMax(last, q.value(0).toLongLong());
    } else {
        q.prepare(QStringLiteral("SELECT pg_sequence_last_value(pg_get_serial_sequence(?, 'PIndex')::regclass)"));
        q.addBindValue(QLatin1Char('"') + QLatin1String(t.name) + QLatin1Char('"'));
        if (q.exec() && q.next() && !q.value(0).isNull())
            last = qMax(last, q.value(0).toLongLong());
    }
    return last;
}

QString setLastKey(QSqlDatabase db, const TableDef &t, qint64 last)
{
    if (last <= 0)
        return {};
    QSqlQuery q(db);
    if (engineOf(db) == Engine::SQLite) {
        q.prepare(QStringLiteral("DELETE FROM sqlite_sequence WHERE name = ?"));
        q.addBindValue(QLatin1String(t.name));
        if (!q.exec())
            return q.lastError().text();
        q.prepare(QStringLiteral("INSERT INTO sqlite_sequence (name, seq) VALUES (?, ?)"));
        q.addBindValue(QLatin1String(t.name));
    } else {
        q.prepare(QStringLiteral("SELECT setval(pg_get_serial_sequence(?, 'PIndex'), ?)"));
        q.addBindValue(QLatin1Char('"') + QLatin1String(t.name) + QLatin1Char('"'));
    }
    q.addBindValue(last);
    return q.exec() ? QString() : q.lastError().text();
}

QString copyTable(QSqlDatabase from, QSqlDatabase to, const TableDef &t, const CopyProgress &progress)
{
    const QStringList columns = t.columnNames();
    const qint64 total = count(from, t);
    QSqlQuery read(from);
    read.setForwardOnly(true);
    if (!read.exec(engineSql(from, QStringLiteral("SELECT ") + columns.join(QStringLiteral(", ")) + QStringLiteral(" FROM ") +
                                       QLatin1String(t.name) + QStringLiteral(" ORDER BY PIndex"))))
        return read.lastError().text();
    QString marks = QStringLiteral("(") + QStringList(columns.size(), QStringLiteral("?")).join(QLatin1Char(',')) + QLatin1Char(')');
    const QString head = QStringLiteral("INSERT INTO ") + QLatin1String(t.name) + QStringLiteral(" (") +
                         columns.join(QStringLiteral(", ")) + QStringLiteral(") VALUES ");
    QSqlQuery full(to);
    if (!full.prepare(engineSql(to, head + QStringList(kRowsPerInsert, marks).join(QLatin1Char(',')))))
        return full.lastError().text();
    QVariantList pending;
    pending.reserve(kRowsPerInsert * columns.size());
    qint64 done = 0;
    const auto flush = [&](QSqlQuery &q) {
        for (int i = 0; i < pending.size(); ++i)
            q.bindValue(i, pending.at(i));
        const bool ok = q.exec();
        pending.clear();
        return ok;
    };
    while (read.next()) {
        for (int c = 0; c < columns.size(); ++c)
            pending << read.value(c);
        if (pending.size() == kRowsPerInsert * columns.size()) {
            if (!flush(full))
                return full.lastError().text();
            done += kRowsPerInsert;
            if (progress && !progress(QLatin1String(t.name), done, total))
                return QStringLiteral("копирование прервано");
        }
    }
    if (read.lastError().isValid())
        return read.lastError().text();
    if (!pending.isEmpty()) {
        const int rows = int(pending.size() / columns.size());
        QSqlQuery last(to);
        if (!last.prepare(engineSql(to, head + QStringList(rows, marks).join(QLatin1Char(',')))) || !flush(last))
            return last.lastError().text();
        done += rows;
    }
    if (progress)
        progress(QLatin1String(t.name), done, total);
    return setLastKey(to, t, lastKey(from, t));
}

// Takes our tables off a server database again after a failed copy.
void dropServerTables(QSqlDatabase db)
{
    QSqlQuery q(db);
    for (auto t = schemaTables().rbegin(); t != schemaTables().rend(); ++t)
        q.exec(QStringLiteral("DROP TABLE IF EXISTS \"") + QLatin1String(t->name) + QStringLiteral("\" CASCADE"));
    q.exec(QStringLiteral("DROP TABLE IF EXISTS kv_schema_version"));
}

}  // namespace

QString copyDatabase(const QString &from, const QString &to, CopyReport *report, const CopyProgress &progress)
{
    *report = {};
    const Opened source(from, QStringLiteral("kv-copy-from"));
    if (!source.error().isEmpty())
        return source.error();
    if (QString error = createDatabaseFile(to); !error.isEmpty())
        return error;
    QString error;
    {
        const Opened target(to, QStringLiteral("kv-copy-to"));
        error = target.error();
        if (error.isEmpty()) {
            QSqlDatabase in = source.db();
            QSqlDatabase out = target.db();
            QSqlQuery q(out);
            if (engineOf(out) == Engine::SQLite)
                q.exec(QStringLiteral("PRAGMA foreign_keys = OFF"));
            // The source is read as one state, while the programs may write to it.
            QSqlQuery snapshot(in);
            snapshot.exec(engineOf(in) == Engine::SQLite ? QStringLiteral("BEGIN")
                                                         : QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"));
            Transaction tx(out);
            if (!tx.begin())
                error = tx.errorText();
            for (const TableDef &t : schemaTables()) {
                if (!error.isEmpty())
                    break;
                const QString failed = copyTable(in, out, t, progress);
                if (!failed.isEmpty())
                    error = QLatin1String(t.name) + QStringLiteral(": ") + failed;
            }
            if (error.isEmpty() && !tx.commit())
                error = tx.errorText();
            tx.rollback();
            if (engineOf(out) == Engine::SQLite)
                q.exec(QStringLiteral("PRAGMA foreign_keys = ON"));
            if (error.isEmpty()) {
                const DatabaseReport checked = inspectDatabase(out, CheckDepth::Full);
                error = refusalText(to, checked);
            }
            if (error.isEmpty()) {
                for (const TableDef &t : schemaTables()) {
                    const qint64 a = count(in, t), b = count(out, t);
                    report->countsMatch = report->countsMatch && a == b && a >= 0;
                    report->tables << QLatin1String(t.name) + QStringLiteral(": ") + QString::number(a) +
                                          (a == b ? QStringLiteral(" = ") : QStringLiteral(" ≠ ")) + QString::number(b);
                }
                if (!report->countsMatch)
                    error = QStringLiteral("число строк копии не совпадает с исходной базой");
            }
            snapshot.exec(QStringLiteral("COMMIT"));
            if (!error.isEmpty() && engineOf(out) == Engine::PostgreSQL)
                dropServerTables(out);
        }
    }
    if (!error.isEmpty() && !isServerLocation(to)) {
        QFile::remove(to);
        QFile::remove(to + QStringLiteral("-wal"));
        QFile::remove(to + QStringLiteral("-shm"));
    }
    return error;
}

}  // namespace kv
