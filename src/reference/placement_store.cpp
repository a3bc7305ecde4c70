#include "reference/placement_store.h"

#include "core/settings.h"

#include <QStringList>

namespace basekvintor {

namespace {
const QString kColumnsSuffix = QStringLiteral(".Columns");

int intValue(const QString &group, const char *key, bool *ok)
{
    bool good = false;
    const int v = kv::settingText(group, QLatin1String(key)).toInt(&good);
    if (!good)
        *ok = false;
    return v;
}
}  // namespace

QList<int> Placement::columnsOf(const QString &grid) const
{
    for (const auto &c : columnWidths)
        if (c.first == grid)
            return c.second;
    return {};
}

std::optional<Placement> PlacementStore::load(const QString &windowName) const
{
    bool ok = true;
    Placement p;
    const int left = intValue(windowName, "Left", &ok);
    const int top = intValue(windowName, "Top", &ok);
    const int width = intValue(windowName, "Width", &ok);
    const int height = intValue(windowName, "Height", &ok);
    const int state = intValue(windowName, "WindowState", &ok);
    if (!ok || width <= 0 || height <= 0)
        return std::nullopt;
    p.geometry = QRect(left, top, width, height);
    p.state = state == 1 ? StoredState::Minimized : state == 2 ? StoredState::Maximized : StoredState::Normal;
    p.activeControl = kv::settingText(windowName, QStringLiteral("ActiveControl"));
    bool screenOk = true;
    const QSize screen(intValue(windowName, "ScreenWidth", &screenOk), intValue(windowName, "ScreenHeight", &screenOk));
    if (screenOk)
        p.screen = screen;

    QSettings &s = kv::settings();
    s.beginGroup(windowName);
    const QStringList keys = s.childKeys();
    s.endGroup();
    for (const QString &key : keys) {
        if (!key.endsWith(kColumnsSuffix))
            continue;
        QList<int> widths;
        for (const QString &w : kv::settingText(windowName, key).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            bool good = false;
            const int v = w.trimmed().toInt(&good);
            widths << (good ? v : -1);
        }
        p.columnWidths.append({key.chopped(kColumnsSuffix.size()), widths});
    }
    return p;
}

void PlacementStore::store(const QString &windowName, const Placement &p) const
{
    auto set = [&](const QString &key, int v) { kv::setSettingText(windowName, key, QString::number(v)); };
    set(QStringLiteral("Left"), p.geometry.left());
    set(QStringLiteral("Top"), p.geometry.top());
    set(QStringLiteral("Width"), p.geometry.width());
    set(QStringLiteral("Height"), p.geometry.height());
    set(QStringLiteral("WindowState"), int(p.state));
    kv::setSettingText(windowName, QStringLiteral("ActiveControl"), p.activeControl);
    set(QStringLiteral("ScreenWidth"), p.screen.width());
    set(QStringLiteral("ScreenHeight"), p.screen.height());
    for (const auto &c : p.columnWidths) {
        QStringList widths;
        for (int w : c.second)
            widths << QString::number(w);
        kv::setSettingText(windowName, c.first + kColumnsSuffix, widths.join(QLatin1Char(',')));
    }
    kv::saveSettings();
}

}  // namespace basekvintor
