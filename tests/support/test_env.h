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

// A new database file in a temporary folder, opened as `connection`.
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

private:
    QTemporaryDir m_dir;
    QString m_path;
    QString m_connection;
};

// Runs a statement and fails the test with the engine's text when it fails.
void execOrFail(QSqlDatabase db, const QString &sql);
// The first column of the first row of a query (invalid when there is none).
QVariant scalar(QSqlDatabase db, const QString &sql);

// Runs the event loop until done() holds; false when timeoutMs passed first.
// QTest::qWait, and so QTRY_*, sleeps 10 ms between turns of the loop, which
// would stretch every paced gap on the line.
bool spinUntil(const std::function<bool()> &done, int timeoutMs);

}  // namespace kvtest
