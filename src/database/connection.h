#pragma once
// Finding and opening the shared database file. Everything that depends on the
// engine (pragmas, transaction start) stays in this folder.

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>

namespace kv {

inline const QString kDatabaseFileName = QStringLiteral("KvintorDB.sqlite");

// The database: the --database PATH (or --database=PATH) argument, else
// KVINTOR_DATABASE, else the settings' [DB] Database, else the bare file name
// in the working folder. Any of them may name a server
// ("postgresql://user@host:port/dbname", engine.h).
QString databasePath(const QStringList &arguments = {});

// Opens an existing database (a file, or a database on a server) as the
// named connection; on a server the same checks of the tables apply. Never creates a
// file, and writes nothing to a file it refuses: an empty file, one that is
// not ours, damaged (the engine's quick check), missing a table or column, or
// made by a newer version (see database_check.h). An older version is
// upgraded after a copy is kept. On failure returns the text to show the
// operator (it names the file and its folder and what to do) and leaves no
// connection behind; on success returns "".
QString openDatabase(const QString &path, const QString &connectionName);

// Creates a new database file with the full schema. Refuses an existing file.
// On a server: creates the database when it is missing (and the account may),
// then the tables; refuses a database that already holds ours.
// Returns "" on success, else the reason.
QString createDatabaseFile(const QString &path);

// Sets the pragmas every connection needs (WAL, busy timeout, foreign keys).
// Returns "" on success, else the engine's error text.
QString applyConnectionSettings(QSqlDatabase &db);

// The counter key the insert just run on `db` gave its row: Qt's lastInsertId
// on SQLite; on the server the identity's last value in this session (the
// driver reports a row's object id there, which our tables do not have).
QVariant insertedKey(const QSqlQuery &insert, const QSqlDatabase &db);

// One logical write. begin() takes the write lock at once, so a transaction
// that reads before it writes cannot fail half-way with "database is locked"
// while the other program writes; the destructor rolls back what was not committed.
// A named connection that is closed and removed with this object: for a tool
// or a copy that works on a database beside the program's own. How it is
// opened is the owner's business; `setError` records why it could not be.
class ScopedConnection
{
public:
    explicit ScopedConnection(const QString &name) : m_name(name) {}
    ~ScopedConnection();
    ScopedConnection(const ScopedConnection &) = delete;
    ScopedConnection &operator=(const ScopedConnection &) = delete;

    QSqlDatabase db() const { return QSqlDatabase::database(m_name, false); }
    QString error() const { return m_error; }
    QString name() const { return m_name; }

protected:
    void setError(const QString &error) { m_error = error; }

private:
    QString m_name;
    QString m_error;
};

class Transaction
{
public:
    explicit Transaction(QSqlDatabase db);
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

    bool begin();
    bool commit();
    void rollback();
    bool active() const { return m_active; }
    QString errorText() const { return m_error; }

private:
    QSqlDatabase m_db;
    bool m_active = false;
    QString m_error;
};

}  // namespace kv
