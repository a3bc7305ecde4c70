#include "core/settings.h"

#include "core/settings_file.h"
#include "core/ui.h"
#include "core/whole_file.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <memory>

namespace kv {

namespace {
std::unique_ptr<QSettings> &instance()
{
    static std::unique_ptr<QSettings> s;
    return s;
}

QString keyPath(const QString &group, const QString &key)
{
    return group.isEmpty() ? key : group + QLatin1Char('/') + key;
}
}  // namespace

QSettings &settings()
{
    auto &s = instance();
    if (!s) {
#ifdef Q_OS_WIN
        s = std::make_unique<QSettings>(QStringLiteral("HKEY_CURRENT_USER\\SoftWare\\Kvintor v2.0"),
                                        QSettings::NativeFormat);
#else
        s = std::make_unique<QSettings>(settingsFileFormat(), QSettings::UserScope, QStringLiteral("SoftWare"),
                                        QStringLiteral("Kvintor v2.0"));
#endif
    }
    return *s;
}

void resetSettings() { instance().reset(); }

bool saveSettings()
{
    QSettings &s = settings();
    // QSettings keeps the first error it met for the object's whole life, so
    // this sync is judged by what it did: the write it tried and the file it left.
    const QSettings::Status before = s.status();
    const int writes = lastSettingsWrite().count;
    s.sync();
    const SettingsWrite last = lastSettingsWrite();
    QString reason;
    if (last.count != writes) {
        if (last.bytes < 0)
            reason = last.failure.isEmpty() ? QStringLiteral("ошибка записи") : last.failure;
        else if (QFileInfo(s.fileName()).size() != last.bytes)
            reason = QStringLiteral("файл не удалось заменить");
    } else if (before == QSettings::NoError && s.status() != QSettings::NoError) {
        reason = QStringLiteral("нет доступа к файлу");
    }
    if (reason.isEmpty())
        return true;
    ui().error(nullptr, QCoreApplication::applicationName(),
               fileWriteFailedText(s.fileName(), reason) + QStringLiteral(" Прежние настройки сохранены без изменений."));
    return false;
}

QString settingText(const QString &group, const QString &key, const QString &defaultValue)
{
    return settings().value(keyPath(group, key), defaultValue).toString();
}

void setSettingText(const QString &group, const QString &key, const QString &value)
{
    settings().setValue(keyPath(group, key), value);
}

bool settingFlag(const QString &group, const QString &key, bool defaultValue)
{
    const QString v = settingText(group, key, defaultValue ? QStringLiteral("1") : QStringLiteral("0"));
    return v == QLatin1String("1") || v.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
}

void setSettingFlag(const QString &group, const QString &key, bool value)
{
    setSettingText(group, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

}  // namespace kv
