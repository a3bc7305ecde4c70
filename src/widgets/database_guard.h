#pragma once
// Watches that the program still holds SQLite's locks on the open database,
// and tells the operator at once when it does not: without them a save by the
// other program's checkpoint can delete what this program writes, silently.
// Checked when the guard starts, after every file dialog and every half
// minute; the operator is told once per loss.

#include <QObject>
#include <QString>

#include <functional>

class QTimer;

namespace kv {

class DatabaseGuard : public QObject
{
public:
    // Watches `databaseFile` (absolute path) for this process while
    // `connected` says the program has it open (always when not given).
    DatabaseGuard(const QString &databaseFile, std::function<bool()> connected = {}, QObject *parent = nullptr);
    ~DatabaseGuard() override;

    // Returns false when the locks are gone (and says so once).
    bool check();
    // The periodic timer's expiry.
    void OnCheckTimer() { check(); }

    static constexpr int kCheckMs = 30000;

    // The operator's text for a lost protection.
    static QString lostText(const QString &databaseFile);

private:
    QString m_file;
    std::function<bool()> m_connected;
    QTimer *m_timer;
    bool m_reported = false;
};

// Runs the guard installed by the program, if any.
void checkDatabaseProtection();

}  // namespace kv
