#pragma once
// What both programs check before they use a database file, and what
// kvintor-db check reports: damage the engine finds, tables and columns of
// ours that are missing, and signs that a newer version made the file. Also
// the version mark (PRAGMA user_version), the upgrade of an older file and a
// copy made through the engine itself: nothing but SQLite may open the file
// while a connection to it is open in this process, or closing that other
// descriptor would drop the engine's locks.

#include <QSqlDatabase>
#include <QSqlError>
#include <QString>
#include <QStringList>

#include <vector>

namespace kv {

// The version of the tables this program writes. Files made before versions
// were marked carry 0 and hold version 1.
constexpr int kSchemaVersion = 1;

enum class CheckDepth {
    Catalogue,  // tables, columns and version only: the engine's check runs apart (startDeferredCheck)
    Quick,  // the engine's quick check: page structure, at every start
    Full    // the full integrity check, indexes against tables too (kvintor-db check)
};

struct DatabaseReport {
    int version = 0;       // as marked in the file (0: unmarked, version 1)
    QString unreadable;    // the engine could not read the file at all
    QStringList damage;    // what the engine's check found
    QStringList missing;   // "нет таблицы TResult", "нет поля TResult.PMeasureMax"
    QStringList newer;     // what shows that a newer version made the file
    bool foreign = false;  // none of our tables: some other database

    int effectiveVersion() const { return version == 0 ? 1 : version; }
    bool sound() const { return unreadable.isEmpty() && damage.isEmpty() && missing.isEmpty() && newer.isEmpty() && !foreign; }
};

// Reads the file through `db` only; writes nothing.
DatabaseReport inspectDatabase(QSqlDatabase &db, CheckDepth depth);

// Reading a whole archive for its quick check takes about a second per
// 300 MB. A file larger than this is checked beside the program's start
// instead: startDeferredCheck runs the check on its own connection, and the
// first write waits for its verdict (awaitDeferredCheck, from
// Transaction::begin) and is refused when the file is damaged.
constexpr qint64 kCheckedAtOpenBytes = 64LL * 1024 * 1024;
void startDeferredCheck(const QString &path);
// What the deferred check of `path` found (waiting for it when it still
// runs); empty when it found nothing or none was started.
QStringList awaitDeferredCheck(const QString &path);

// The operator's text refusing the file `path` for what `report` found: a
// Russian sentence naming the file and its folder and what to do, then the
// details. Empty when the report is sound.
QString refusalText(const QString &path, const DatabaseReport &report);

// One step from the version before `toVersion` to it.
struct SchemaUpgrade {
    int toVersion;
    QStringList statements;
};

// The steps this program knows, in order.
const std::vector<SchemaUpgrade> &schemaUpgrades();

// Brings a file of an older version up to the last step's version: a copy of
// the file is kept first beside it (made by the engine), then every step and
// the new version mark go in one transaction. Returns "" (and the copy's path
// in *copyPath) or the reason, with the file as it was.
QString upgradeDatabase(QSqlDatabase &db, const QString &path, int fromVersion, const std::vector<SchemaUpgrade> &steps,
                        QString *copyPath = nullptr);

// Copies what the engine can read of the database behind `db` into a new
// file `target` through the engine's backup, page by page; refuses an
// existing target. Returns "" or the reason.
QString backupDatabase(QSqlDatabase &db, const QString &target);

// What recoverDatabase saved.
struct RecoveryReport {
    QStringList saved;  // "TResult: 5431000 of 5431805" per table
    qint64 lost = 0;    // rows that could not be read
};

// Saves what can still be read of a damaged database into a new file
// `target` with the full schema: every table row by row in key order, a
// damaged stretch skipped row by row. Rows whose parent was lost are kept
// (the relations are not enforced while copying); kvintor-db check on the
// result names what is missing. Returns "" or the reason.
QString recoverDatabase(const QString &source, const QString &target, RecoveryReport *report);

// Turns an engine error on the database file `path` into the operator's
// text: a full disk and a damaged or read-only file get a Russian sentence
// naming the file's folder; the engine's words follow.
QString engineErrorText(const QString &engineText, const QString &nativeCode, const QString &path);
// The same for an error of a statement run on `db`. On a server a lock wait
// that ran out, a conflict or a deadlock reads as the busy database ("занята
// другой программой"), a lost connection as such.
QString engineErrorText(const QSqlError &error, const QSqlDatabase &db);

// Whether a server's SQLSTATE means another writer was in the way.
bool isServerBusyCode(const QString &sqlState);
// Whether an engine's text (or ours from engineErrorText) says the database was busy.
bool isBusyText(const QString &engineText);

}  // namespace kv
