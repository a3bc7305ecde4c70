#pragma once
// The settings file's own reader and writer, registered as a QSettings
// format. The file is the INI text the settings always had (the same
// sections, key and value escapes), so files written before read the same.
// The writer exists for one reason: QSettings' own INI writer leaves a write
// error in Qt's buffer, and the short file then replaces the whole one; this
// one flushes and syncs the file and refuses, so the earlier settings stay.

#include <QSettings>
#include <QString>

class QIODevice;

namespace kv {

// The format, registered on first use ("ini" files).
QSettings::Format settingsFileFormat();

// Settings text <-> map, as the format reads and writes them.
bool readSettingsText(QIODevice &device, QSettings::SettingsMap &map);
QByteArray settingsText(const QSettings::SettingsMap &map);

// The last write of a settings file: how many writes were tried so far, the
// bytes written (-1 when it failed) and why it failed.
struct SettingsWrite {
    int count = 0;
    qint64 bytes = -1;
    QString failure;
};
SettingsWrite lastSettingsWrite();

}  // namespace kv
