#include "widgets/settings.h"

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
        s = std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("SoftWare"),
                                        QStringLiteral("Kvintor v2.0"));
#endif
    }
    return *s;
}

void resetSettings() { instance().reset(); }

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
