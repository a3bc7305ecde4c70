#pragma once
// The per-user settings "SoftWare\Kvintor v2.0": an INI file under
// $XDG_CONFIG_HOME/SoftWare/ (the registry on Windows). Values are text,
// booleans "1"/"0"; sub-keys ("confUst", "CH", "DB", window placement) are groups.
// The file is read and written by settings_file.h.

#include <QSettings>
#include <QString>

namespace kv {

// One settings object per program.
QSettings &settings();

// Writes what changed to the file now. The file is replaced only when the
// new one is complete; otherwise the operator reads why, the earlier file
// stays as it was and false is returned.
bool saveSettings();

// Re-reads the location (after XDG_CONFIG_HOME changed, in tests) and drops
// unsaved values.
void resetSettings();

// Text access with a default, and "1"/"0" booleans.
QString settingText(const QString &group, const QString &key, const QString &defaultValue = {});
void setSettingText(const QString &group, const QString &key, const QString &value);
bool settingFlag(const QString &group, const QString &key, bool defaultValue);
void setSettingFlag(const QString &group, const QString &key, bool value);

}  // namespace kv
