#include "database/database_check.h"

#include "database/connection.h"
#include "database/engine.h"
#include "database/schema.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>

#include <QCoreApplication>
#include <QScopeGuard>
#include <QThreadPool>

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>

#include <sqlite3.h>

#ifdef Q_OS_LINUX
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace kv {

namespace {

// The engine's own result codes that name the file's state.
constexpr int kEngineCorrupt = SQLITE_CORRUPT;
constexpr int kEngineFull = SQLITE_FULL;
constexpr int kEngineNotADatabase = SQLITE_NOTADB;
constexpr int kEngineReadOnly = SQLITE_READONLY;
constexpr int kEngineIoError = SQLITE_IOERR;

// The check reports one line per fault; a damaged archive can have thousands.
constexpr int kShownFaults = 10;

QString fileAndFolder(const QString &path) { return describeDatabase(path); }

// "Файл «…» в папке «…»", or for a server "База данных «…» на сервере «…»".
QString fileSubject(const QString &path)
{
    return (isServerLocation(path) ? QStringLiteral("База данных ") : QStringLiteral("Файл ")) + describeDatabase(path);
}

int primaryCode(const QString &nativeCode)
{
    return nativeCode.toInt() & 0xff;
}

// Does a CHECK constraint of the table's statement name the column? A column
// we do not know that a constraint requires makes every save of ours fail.
bool checkNamesColumn(const QString &createSql, const QString &column)
{
    static const QRegularExpression check(QStringLiteral("\\bCHECK\\s*\\("), QRegularExpression::CaseInsensitiveOption);
    const QRegularExpression word(QStringLiteral("\\b") + QRegularExpression::escape(column) + QStringLiteral("\\b"),
                                  QRegularExpression::CaseInsensitiveOption);
    for (auto it = check.globalMatch(createSql); it.hasNext();) {
        const auto m = it.next();
        int depth = 1;
        qsizetype end = m.capturedEnd();
        while (end < createSql.size() && depth > 0) {
            if (createSql.at(end) == QLatin1Char('('))
                ++depth;
            else if (createSql.at(end) == QLatin1Char(')'))
                --depth;
            ++end;
        }
        if (word.match(createSql.mid(m.capturedEnd(), end - m.capturedEnd())).hasMatch())
            return true;
    }
    return false;
}

void checkColumns(QSqlDatabase &db, const TableDef &table, const QString &actualName, const QString &createSql,
                  DatabaseReport &report)
{
    QSqlQuery q(db);
    if (engineOf(db) == Engine::PostgreSQL)
        q.prepare(QStringLiteral("SELECT column_name, CASE WHEN is_nullable = 'NO' THEN 1 ELSE 0 END, column_default "
                                 "FROM information_schema.columns WHERE table_schema = current_schema() AND table_name = ? "
                                 "ORDER BY ordinal_position"));
    else
        q.prepare(QStringLiteral("SELECT name, \"notnull\", dflt_value FROM pragma_table_info(?)"));
    q.addBindValue(actualName);
    if (!q.exec()) {
        report.unreadable = q.lastError().text();
        return;
    }
    QStringList present;
    while (q.next()) {
        const QString name = q.value(0).toString();
        present << name;
        if (table.column(name))
            continue;
        const bool required = (q.value(1).toInt() != 0 && q.value(2).isNull()) || checkNamesColumn(createSql, name);
        if (required)
            report.newer << QStringLiteral("поле ") + QLatin1String(table.name) + QLatin1Char('.') + name +
                                QStringLiteral(" обязательно, но этой версии программы неизвестно");
    }
    for (const ColumnDef &c : table.columns) {
        bool found = false;
        for (const QString &name : present)
            found = found || name.compare(QLatin1String(c.name), Qt::CaseInsensitive) == 0;
        if (!found)
            report.missing << QStringLiteral("нет поля ") + QLatin1String(table.name) + QLatin1Char('.') + QLatin1String(c.name);
    }
}

using Catalogue = QHash<QString, QPair<QString, QString>>;  // lower-case name -> actual name, statement

void checkTables(QSqlDatabase &db, const Catalogue &tables, DatabaseReport &report)
{
    int ours = 0;
    for (const TableDef &t : schemaTables()) {
        const auto found = tables.constFind(QString::fromLatin1(t.name).toLower());
        if (found == tables.constEnd()) {
            report.missing << QStringLiteral("нет таблицы ") + QLatin1String(t.name);
            continue;
        }
        ++ours;
        checkColumns(db, t, found->first, found->second, report);
    }
    report.foreign = ours == 0;
}

bool readCatalogue(QSqlDatabase &db, Catalogue &tables, DatabaseReport &report)
{
    QSqlQuery q(db);
    if (engineOf(db) == Engine::PostgreSQL) {
        // A table's CHECK constraints stand in for its statement.
        if (!q.exec(QStringLiteral(
                "SELECT 'table', c.relname, coalesce((SELECT string_agg(pg_get_constraintdef(k.oid), ' ') FROM pg_constraint k "
                "WHERE k.conrelid = c.oid AND k.contype = 'c'), '') FROM pg_class c "
                "WHERE c.relnamespace = current_schema()::regnamespace AND c.relkind IN ('r', 'p')"))) {
            report.unreadable = q.lastError().text();
            return false;
        }
    } else
    // Reading the catalogue is what tells a database from another file.
    if (!q.exec(QStringLiteral("SELECT type, name, sql FROM sqlite_master"))) {
        report.unreadable = q.lastError().text();
        if (primaryCode(q.lastError().nativeErrorCode()) == kEngineCorrupt)
            report.damage << report.unreadable;
        return false;
    }
    while (q.next())
        if (q.value(0).toString() == QLatin1String("table"))
            tables.insert(q.value(1).toString().toLower(), {q.value(1).toString(), q.value(2).toString()});
    return true;
}

// The engine's own check: what it found, nothing when the file is whole.
QStringList engineCheck(QSqlDatabase &db, bool full)
{
    QStringList damage;
    // The server keeps its own files whole; what it finds it reports on each statement.
    if (engineOf(db) == Engine::PostgreSQL)
        return damage;
    QSqlQuery q(db);
    // A whole archive is read from the page cache or the disk once; mapping it
    // spares copying every page.
    q.exec(QStringLiteral("PRAGMA mmap_size = 1073741824"));
    q.finish();
    if (!q.exec(full ? QStringLiteral("PRAGMA integrity_check(%1)").arg(kShownFaults + 1)
                     : QStringLiteral("PRAGMA quick_check(%1)").arg(kShownFaults + 1))) {
        damage << q.lastError().text();
    } else {
        while (q.next()) {
            const QString line = q.value(0).toString();
            if (line != QLatin1String("ok"))
                damage << line;
        }
        if (damage.size() > kShownFaults) {
            damage = damage.mid(0, kShownFaults);
            damage << QStringLiteral("…");
        }
    }
    q.finish();
    q.exec(QStringLiteral("PRAGMA mmap_size = 0"));
    return damage;
}

// The quick check of a large archive, run beside the program's start: its
// verdict is awaited by the first write (Transaction::begin).
struct Watch {
    std::mutex mutex;
    std::condition_variable changed;
    bool done = false;
    QStringList damage;
    sqlite3 *handle = nullptr;  // while the check runs, for stopping it at exit
    bool stopped = false;
};

std::mutex g_watchesMutex;
std::map<QString, std::shared_ptr<Watch>> g_watches;

QString watchKey(const QString &path)
{
    return QFileInfo(path).absoluteFilePath();
}

void stopWatches()
{
    std::lock_guard<std::mutex> lock(g_watchesMutex);
    for (auto &w : g_watches) {
        std::lock_guard<std::mutex> l(w.second->mutex);
        if (w.second->handle) {
            w.second->stopped = true;
            sqlite3_interrupt(w.second->handle);
        }
    }
}

void runWatch(const std::shared_ptr<Watch> &watch, const QString &path)
{
#ifdef Q_OS_LINUX
    // The start of the program comes first; the check takes what is left of
    // the machine (the pool's thread gets its priority back at the end).
    const int niceBefore = getpriority(PRIO_PROCESS, pid_t(syscall(SYS_gettid)));
    setpriority(PRIO_PROCESS, pid_t(syscall(SYS_gettid)), 10);
    const auto restore = qScopeGuard([niceBefore] { setpriority(PRIO_PROCESS, pid_t(syscall(SYS_gettid)), niceBefore); });
#endif
    const QString name = QStringLiteral("kv-integrity-") + QString::number(quintptr(watch.get()));
    QStringList damage;
    bool interrupted = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
        if (db.open()) {
            const QVariant handle = db.driver()->handle();
            if (qstrcmp(handle.typeName(), "sqlite3*") == 0) {
                std::lock_guard<std::mutex> l(watch->mutex);
                watch->handle = *static_cast<sqlite3 *const *>(handle.data());
            }
            damage = engineCheck(db, false);
            {
                std::lock_guard<std::mutex> l(watch->mutex);
                interrupted = watch->stopped;
                watch->handle = nullptr;
            }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    std::lock_guard<std::mutex> l(watch->mutex);
    watch->done = true;
    if (!interrupted)
        watch->damage = damage;
    watch->changed.notify_all();
}

bool exec(QSqlQuery &q, const QString &sql, QString *error)
{
    if (q.exec(sql))
        return true;
    *error = q.lastError().text();
    return false;
}

}  // namespace

DatabaseReport inspectDatabase(QSqlDatabase &db, CheckDepth depth)
{
    DatabaseReport report;
    Catalogue tables;
    if (!readCatalogue(db, tables, report))
        return report;
    QSqlQuery q(db);

    if (engineOf(db) == Engine::PostgreSQL) {
        if (tables.contains(QStringLiteral("kv_schema_version")) &&
            q.exec(QStringLiteral("SELECT max(version) FROM kv_schema_version")) && q.next())
            report.version = q.value(0).toInt();
    } else if (q.exec(QStringLiteral("PRAGMA user_version")) && q.next()) {
        report.version = q.value(0).toInt();
    }
    q.finish();
    if (report.version > kSchemaVersion)
        report.newer << QStringLiteral("версия таблиц %1, эта программа знает версии до %2").arg(QString::number(report.version), QString::number(kSchemaVersion));

    if (depth != CheckDepth::Catalogue)
        report.damage << engineCheck(db, depth == CheckDepth::Full);
    checkTables(db, tables, report);
    return report;
}

void startDeferredCheck(const QString &path)
{
    static const bool stopAtExit = [] {
        qAddPostRoutine(stopWatches);
        return true;
    }();
    Q_UNUSED(stopAtExit);
    auto watch = std::make_shared<Watch>();
    {
        std::lock_guard<std::mutex> lock(g_watchesMutex);
        g_watches[watchKey(path)] = watch;
    }
    QThreadPool::globalInstance()->start([watch, path] { runWatch(watch, path); });
}

QStringList awaitDeferredCheck(const QString &path)
{
    std::shared_ptr<Watch> watch;
    {
        std::lock_guard<std::mutex> lock(g_watchesMutex);
        const auto it = g_watches.find(watchKey(path));
        if (it == g_watches.end())
            return {};
        watch = it->second;
    }
    std::unique_lock<std::mutex> l(watch->mutex);
    watch->changed.wait(l, [&] { return watch->done; });
    return watch->damage;
}

QStringList checkSchema(QSqlDatabase &db)
{
    DatabaseReport report;
    Catalogue tables;
    if (!readCatalogue(db, tables, report))
        return {report.unreadable};
    checkTables(db, tables, report);
    return report.missing + report.newer;
}

QString refusalText(const QString &path, const DatabaseReport &r)
{
    if (r.sound())
        return {};
    const QString file = fileAndFolder(path);
    const QString restore = QStringLiteral("Восстановите копию базы данных или проверьте файл командой «kvintor-db check»");
    if (!r.damage.isEmpty())
        return QStringLiteral("База данных ") + file + QStringLiteral(" повреждена. ") + restore +
               QStringLiteral("; команда «kvintor-db backup» сохранит то, что ещё читается.\n") + r.damage.join(QLatin1Char('\n'));
    if (!r.unreadable.isEmpty())
        return fileSubject(path) + QStringLiteral(" не является базой данных Kvintor или повреждён. ") + restore +
               QStringLiteral(".\n") + r.unreadable;
    if (r.foreign)
        return fileSubject(path) + QStringLiteral(" не является базой данных Kvintor: в нём нет её таблиц. ") +
               QStringLiteral("Укажите файл базы данных Kvintor или создайте новый командой «kvintor-db create».");
    if (!r.newer.isEmpty())
        return QStringLiteral("База данных ") + file +
               QStringLiteral(" создана более новой версией Kvintor; эта версия не может в неё записывать. Обновите программу.\n") +
               r.newer.join(QLatin1Char('\n'));
    return QStringLiteral("В базе данных ") + file + QStringLiteral(" не хватает таблиц или полей. ") + restore +
           QStringLiteral(".\n") + r.missing.join(QLatin1Char('\n'));
}

const std::vector<SchemaUpgrade> &schemaUpgrades()
{
    static const std::vector<SchemaUpgrade> steps;
    return steps;
}

QString upgradeDatabase(QSqlDatabase &db, const QString &path, int fromVersion, const std::vector<SchemaUpgrade> &steps,
                        QString *copyPath)
{
    int target = fromVersion;
    for (const SchemaUpgrade &s : steps)
        target = std::max(target, s.toVersion);
    if (target <= fromVersion)
        return {};

    const QFileInfo info(path);
    const QString stem = info.absoluteFilePath() + QStringLiteral(".v") + QString::number(fromVersion) + QLatin1Char('-') +
                         QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString copy = stem + QStringLiteral(".bak");
    for (int n = 2; QFileInfo::exists(copy); ++n)
        copy = stem + QLatin1Char('-') + QString::number(n) + QStringLiteral(".bak");
    const QString copyError = backupDatabase(db, copy);
    if (!copyError.isEmpty())
        return QStringLiteral("Не удалось сохранить копию базы данных перед обновлением: ") + copyError;

    QSqlQuery q(db);
    QString error;
    if (!exec(q, QStringLiteral("BEGIN IMMEDIATE"), &error))
        return error;
    for (const SchemaUpgrade &s : steps) {
        if (s.toVersion <= fromVersion)
            continue;
        for (const QString &statement : s.statements)
            if (!exec(q, statement, &error))
                break;
        if (!error.isEmpty())
            break;
    }
    if (error.isEmpty())
        exec(q, QStringLiteral("PRAGMA user_version = %1").arg(target), &error);
    if (error.isEmpty() && exec(q, QStringLiteral("COMMIT"), &error)) {
        if (copyPath)
            *copyPath = copy;
        return {};
    }
    QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
    return error;
}

QString backupDatabase(QSqlDatabase &db, const QString &target)
{
    if (QFileInfo::exists(target))
        return QStringLiteral("файл ") + fileAndFolder(target) + QStringLiteral(" уже существует");
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return QStringLiteral("соединение не даёт доступа к файлу базы данных");
    sqlite3 *source = *static_cast<sqlite3 *const *>(handle.data());
    sqlite3 *copy = nullptr;
    const QByteArray name = QFile::encodeName(target);
    int rc = sqlite3_open_v2(name.constData(), &copy, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    QString error;
    if (rc == SQLITE_OK) {
        sqlite3_backup *b = sqlite3_backup_init(copy, "main", source, "main");
        if (b) {
            // Pages in steps, so a writer of the other program waits a moment, never the whole copy.
            do {
                rc = sqlite3_backup_step(b, 4096);
                if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED)
                    sqlite3_sleep(20);
            } while (rc == SQLITE_OK || rc == SQLITE_BUSY || rc == SQLITE_LOCKED);
            sqlite3_backup_finish(b);
            if (rc != SQLITE_DONE)
                error = QString::fromUtf8(sqlite3_errstr(rc));
        } else {
            error = QString::fromUtf8(sqlite3_errmsg(copy));
        }
    } else {
        error = QString::fromUtf8(sqlite3_errstr(rc));
    }
    if (sqlite3_close(copy) != SQLITE_OK && error.isEmpty())
        error = QStringLiteral("ошибка закрытия копии");
    if (!error.isEmpty()) {
        QFile::remove(target);
        QFile::remove(target + QStringLiteral("-journal"));
        return engineErrorText(error, QString::number(rc), target);
    }
    return {};
}

QString recoverDatabase(const QString &source, const QString &target, RecoveryReport *report)
{
    *report = {};
    if (QFileInfo::exists(target))
        return QStringLiteral("файл ") + fileAndFolder(target) + QStringLiteral(" уже существует");
    if (QString error = createDatabaseFile(target); !error.isEmpty())
        return error;
    const QString name = QStringLiteral("kv-recover-") + QString::number(quintptr(report));
    QString error;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(target);
        if (!db.open())
            error = db.lastError().text();
        QSqlQuery q(db);
        if (error.isEmpty()) {
            q.exec(QStringLiteral("PRAGMA foreign_keys = OFF"));
            q.prepare(QStringLiteral("ATTACH DATABASE ? AS damaged"));
            q.addBindValue(QFileInfo(source).absoluteFilePath());
            if (!q.exec())
                error = q.lastError().text();
        }
        for (const TableDef &t : schemaTables()) {
            if (!error.isEmpty())
                break;
            // The columns both files have, so a file missing one still gives the rest.
            QStringList columns;
            QSqlQuery info(db);
            info.prepare(QStringLiteral("SELECT name FROM pragma_table_info(?, 'damaged')"));
            info.addBindValue(QLatin1String(t.name));
            if (info.exec())
                while (info.next())
                    if (t.column(info.value(0).toString()))
                        columns << info.value(0).toString();
            if (columns.isEmpty()) {
                report->saved << QLatin1String(t.name) + QStringLiteral(": таблица не читается");
                continue;
            }
            const QString list = columns.join(QStringLiteral(", "));
            const QString copy = QStringLiteral("INSERT OR IGNORE INTO main.") + QLatin1String(t.name) + QStringLiteral(" (") + list +
                                 QStringLiteral(") SELECT ") + list + QStringLiteral(" FROM damaged.") + QLatin1String(t.name) +
                                 QStringLiteral(" WHERE PIndex BETWEEN ? AND ?");
            // The last key: from the table, else from the counter the engine keeps beside it.
            qint64 last = 0;
            QSqlQuery top(db);
            if (top.exec(QStringLiteral("SELECT max(PIndex) FROM damaged.") + QLatin1String(t.name)) && top.next()) {
                last = top.value(0).toLongLong();
            } else {
                top.prepare(QStringLiteral("SELECT seq FROM damaged.sqlite_sequence WHERE name = ?"));
                top.addBindValue(QLatin1String(t.name));
                if (top.exec() && top.next())
                    last = top.value(0).toLongLong();
            }
            top.finish();
            q.exec(QStringLiteral("BEGIN"));
            qint64 saved = 0, lost = 0;
            constexpr qint64 kStretch = 1000;
            for (qint64 from = 1; from <= last; from += kStretch) {
                const auto run = [&](qint64 a, qint64 b) {
                    QSqlQuery c(db);
                    c.prepare(copy);
                    c.addBindValue(a);
                    c.addBindValue(b);
                    if (!c.exec())
                        return false;
                    saved += c.numRowsAffected();
                    return true;
                };
                if (run(from, from + kStretch - 1))
                    continue;
                for (qint64 key = from; key < from + kStretch && key <= last; ++key)
                    if (!run(key, key))
                        ++lost;
            }
            q.exec(QStringLiteral("COMMIT"));
            report->lost += lost;
            report->saved << QLatin1String(t.name) + QStringLiteral(": строк ") + QString::number(saved) +
                                 (lost ? QStringLiteral(", не прочитано ключей ") + QString::number(lost) : QString());
        }
        q.exec(QStringLiteral("DETACH DATABASE damaged"));
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    if (!error.isEmpty()) {
        QFile::remove(target);
        return error;
    }
    return {};
}

QString engineErrorText(const QString &engineText, const QString &nativeCode, const QString &path)
{
    const QString folder = QDir::toNativeSeparators(QFileInfo(path).absolutePath());
    QString text;
    switch (primaryCode(nativeCode)) {
    case kEngineFull:
        text = QStringLiteral("Нет места на диске для базы данных «") + QFileInfo(path).fileName() +
               QStringLiteral("» (папка «") + folder + QStringLiteral("»). Освободите место на диске и повторите.");
        break;
    case kEngineCorrupt:
    case kEngineNotADatabase:
        text = QStringLiteral("База данных ") + fileAndFolder(path) +
               QStringLiteral(" повреждена. Восстановите копию базы данных или проверьте файл командой «kvintor-db check».");
        break;
    case kEngineIoError:
        text = QStringLiteral("Не удалось записать файл базы данных ") + fileAndFolder(path) +
               QStringLiteral(": ошибка чтения или записи на диске.");
        break;
    case kEngineReadOnly:
        text = QStringLiteral("База данных ") + fileAndFolder(path) + QStringLiteral(" доступна только для чтения.");
        break;
    default:
        return engineText;
    }
    return text + QLatin1Char('\n') + engineText;
}

QString serverErrorText(const QSqlError &error, const QSqlDatabase &db)
{
    const QString code = error.nativeErrorCode();
    const QString where = describeDatabase(databaseLocation(db));
    QString text;
    if (isServerBusyCode(code))
        text = QStringLiteral("База данных ") + where + QStringLiteral(" занята другой программой: запись не дождалась своей очереди.");
    else if (code == QLatin1String("53100"))
        text = QStringLiteral("Нет места на диске сервера для базы данных ") + where + QStringLiteral(". Освободите место и повторите.");
    else if (code.startsWith(QLatin1String("08")) || code == QLatin1String("57P01") || !db.isOpen())
        text = QStringLiteral("Нет связи с сервером базы данных ") + where + QStringLiteral(". Проверьте сеть и сервер и повторите.");
    else if (code == QLatin1String("25006"))
        text = QStringLiteral("База данных ") + where + QStringLiteral(" доступна только для чтения.");
    else
        return error.text();
    return text + QLatin1Char('\n') + error.text();
}

QString engineErrorText(const QSqlError &error, const QSqlDatabase &db)
{
    if (engineOf(db) == Engine::PostgreSQL)
        return serverErrorText(error, db);
    return engineErrorText(error.text(), error.nativeErrorCode(), db.databaseName());
}

bool isServerBusyCode(const QString &sqlState)
{
    // Lock wait ran out, serialization failure, deadlock, statement cancelled by its time limit.
    return sqlState == QLatin1String("55P03") || sqlState == QLatin1String("40001") || sqlState == QLatin1String("40P01") ||
           sqlState == QLatin1String("57014");
}

bool isBusyText(const QString &engineText)
{
    return engineText.contains(QLatin1String("database is locked"), Qt::CaseInsensitive) ||
           engineText.contains(QLatin1String("database is busy"), Qt::CaseInsensitive) ||
           engineText.contains(QLatin1String("database table is locked"), Qt::CaseInsensitive) ||
           engineText.contains(QStringLiteral("занята другой программой"));
}

}  // namespace kv
