#pragma once
// What every test needs: a private settings folder, a fresh database file made
// with the programs' own schema code, and the recording message seam.

#include <QSqlDatabase>
#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <memory>

namespace kvtest {

// Points XDG_CONFIG_HOME at a temporary folder for the lifetime of the object
// and makes kv::settings() read from there.
class TempSettings
{
public:
    TempSettings();
    ~TempSettings();
    QString folder() const { return m_dir.path(); }
    // Forgets the settings object, as a restart of the program would.
    void restart();

private:
    QTemporaryDir m_dir;
    QByteArray m_previous;
};

// A new database file in a temporary folder, opened as `connection`. When
// KVINTOR_TEST_PG names a server (scripts/pg-cluster start prints one; the
// test driver sets it for the tests registered on both engines), a new
// database on that server instead, dropped again at the end: path() is then
// its connection text, and folder() still a temporary folder.
class TempDatabase
{
public:
    explicit TempDatabase(const QString &connection = QStringLiteral("test"), bool demoData = false);
    ~TempDatabase();
    QString path() const { return m_path; }
    QString folder() const { return m_dir.path(); }
    QSqlDatabase db() const { return QSqlDatabase::database(m_connection); }
    QString connectionName() const { return m_connection; }
    // Closes the connection (the file stays until the object dies).
    void close();
    bool onServer() const { return !m_server.isEmpty(); }

private:
    QTemporaryDir m_dir;
    QString m_path;
    QString m_connection;
    QString m_server;  // the server connection the database was made through
};

// The server named by KVINTOR_TEST_PG, or "" when the tests run on files.
QString testServer();
// Whether this test process runs on the server (QSKIP what only a file has).
inline bool onServer() { return !testServer().isEmpty(); }
// The test server's connection naming the database `name`, and dropping one.
QString serverDatabase(const QString &name);
void dropServerDatabase(const QString &location);

// Runs a statement (written in the SQL both engines share, kv::engineSql)
// and fails the test with the engine's text when it fails.
void execOrFail(QSqlDatabase db, const QString &sql);
// The first column of the first row of a query (invalid when there is none).
QVariant scalar(QSqlDatabase db, const QString &sql);

// Runs the event loop until done() holds; false when timeoutMs passed first.
// QTest::qWait, and so QTRY_*, sleeps 10 ms between turns of the loop, which
// would stretch every paced gap on the line.
bool spinUntil(const std::function<bool()> &done, int timeoutMs);

}  // namespace kvtest
