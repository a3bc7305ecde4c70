#pragma once
// Finding and opening the shared database file. Everything that depends on the
// engine (pragmas, transaction start) stays in this folder.

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

namespace kv {

inline const QString kDatabaseFileName = QStringLiteral("KvintorDB.sqlite");

// The database file: the --database PATH (or --database=PATH) argument, else
// KVINTOR_DATABASE, else the bare name in the working folder.
QString databasePath(const QStringList &arguments = {});

// Opens an existing database file as the named connection. Never creates a
// file, and writes nothing to a file it refuses: an empty file, one that is
// not ours, damaged (the engine's quick check), missing a table or column, or
// made by a newer version (see database_check.h). An older version is
// upgraded after a copy is kept. On failure returns the text to show the
// operator (it names the file and its folder and what to do) and leaves no
// connection behind; on success returns "".
QString openDatabase(const QString &path, const QString &connectionName);

// Creates a new database file with the full schema. Refuses an existing file.
// Returns "" on success, else the reason.
QString createDatabaseFile(const QString &path);

// Sets the pragmas every connection needs (WAL, busy timeout, foreign keys).
// Returns "" on success, else the engine's error text.
QString applyConnectionSettings(QSqlDatabase &db);

// One logical write. begin() takes the write lock at once, so a transaction
// that reads before it writes cannot fail half-way with "database is locked"
// while the other program writes; the destructor rolls back what was not committed.
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
