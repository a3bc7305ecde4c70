#include "core/settings_file.h"

#include <QFileDevice>
#include <QIODevice>
#include <QMap>

#include <cerrno>
#include <cstring>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

namespace kv {

namespace {

QString g_lastFailure;
int g_writes = 0;
qint64 g_lastWritten = -1;

const char kHex[] = "0123456789ABCDEF";

// Keys: letters, digits, '_', '-', '.' as they are; '/' as '\'; other
// Latin-1 characters as %XX, the rest as %UXXXX.
QByteArray escapedKey(const QString &key)
{
    QByteArray out;
    for (const QChar qc : key) {
        const char16_t ch = qc.unicode();
        if (ch == u'/') {
            out += '\\';
        } else if ((ch >= u'a' && ch <= u'z') || (ch >= u'A' && ch <= u'Z') || (ch >= u'0' && ch <= u'9') || ch == u'_' ||
                   ch == u'-' || ch == u'.') {
            out += char(ch);
        } else if (ch <= 0xFF) {
            out += '%';
            out += kHex[ch / 16];
            out += kHex[ch % 16];
        } else {
            out += "%U";
            for (int shift = 12; shift >= 0; shift -= 4)
                out += kHex[(ch >> shift) & 0xF];
        }
    }
    return out;
}

QString unescapedKey(const QByteArray &key)
{
    QString out;
    for (qsizetype i = 0; i < key.size(); ++i) {
        const char c = key.at(i);
        if (c == '\\') {
            out += QLatin1Char('/');
        } else if (c == '%' && i + 5 < key.size() && key.at(i + 1) == 'U') {
            bool ok = false;
            const uint code = key.mid(i + 2, 4).toUInt(&ok, 16);
            if (ok) {
                out += QChar(char16_t(code));
                i += 5;
            } else {
                out += QLatin1Char(c);
            }
        } else if (c == '%' && i + 2 < key.size()) {
            bool ok = false;
            const uint code = key.mid(i + 1, 2).toUInt(&ok, 16);
            if (ok) {
                out += QChar(char16_t(code));
                i += 2;
            } else {
                out += QLatin1Char(c);
            }
        } else {
            out += QChar::fromLatin1(c);
        }
    }
    return out;
}

bool isHexDigit(char16_t ch)
{
    return (ch >= u'0' && ch <= u'9') || (ch >= u'a' && ch <= u'f') || (ch >= u'A' && ch <= u'F');
}

// Values: text in UTF-8 with C escapes; quoted when it holds ';', ',' or '='
// or starts or ends with a space; a leading '@' doubled (it marks typed values).
QByteArray escapedValue(const QVariant &value)
{
    if (!value.isValid())
        return "@Invalid()";
    QString text = value.toString();
    if (text.startsWith(QLatin1Char('@')))
        text.prepend(QLatin1Char('@'));
    QString out;
    bool quotes = false;
    bool escapeNextIfHex = false;
    for (const QChar qc : text) {
        const char16_t ch = qc.unicode();
        if (ch == u';' || ch == u',' || ch == u'=')
            quotes = true;
        if (escapeNextIfHex && isHexDigit(ch)) {
            out += QStringLiteral("\\x") + QString::number(uint(ch), 16);
            continue;
        }
        escapeNextIfHex = false;
        switch (ch) {
        case u'\0': out += QStringLiteral("\\0"); escapeNextIfHex = true; break;
        case u'\a': out += QStringLiteral("\\a"); break;
        case u'\b': out += QStringLiteral("\\b"); break;
        case u'\f': out += QStringLiteral("\\f"); break;
        case u'\n': out += QStringLiteral("\\n"); break;
        case u'\r': out += QStringLiteral("\\r"); break;
        case u'\t': out += QStringLiteral("\\t"); break;
        case u'\v': out += QStringLiteral("\\v"); break;
        case u'"':
        case u'\\':
            out += QLatin1Char('\\');
            out += qc;
            break;
        default:
            if (ch <= 0x1F) {
                out += QStringLiteral("\\x") + QString::number(uint(ch), 16);
                escapeNextIfHex = true;
            } else {
                out += qc;
            }
        }
    }
    if (quotes || out.startsWith(QLatin1Char(' ')) || out.endsWith(QLatin1Char(' ')))
        out = QLatin1Char('"') + out + QLatin1Char('"');
    return out.toUtf8();
}

// One value: quoted parts kept as they are, escapes undone, spaces outside
// quotes trimmed, a comma outside quotes makes a list, ';' starts a comment.
QVariant unescapedValue(const QByteArray &raw)
{
    QStringList items;
    QByteArray current;
    bool inQuotes = false;
    bool started = false;
    qsizetype kept = 0;  // `current` up to here came from quotes or escapes: never trimmed
    auto finish = [&] {
        while (current.size() > kept && (current.endsWith(' ') || current.endsWith('\t')))
            current.chop(1);
        items << QString::fromUtf8(current);
        current.clear();
        kept = 0;
        started = false;
    };
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const char c = raw.at(i);
        if (c == '"') {
            inQuotes = !inQuotes;
            started = true;
            kept = current.size();
            continue;
        }
        if (!inQuotes && c == ';')
            break;
        if (!inQuotes && c == ',') {
            finish();
            continue;
        }
        if (!inQuotes && !started && (c == ' ' || c == '\t'))
            continue;
        started = true;
        if (c == '\\' && i + 1 < raw.size()) {
            const char e = raw.at(++i);
            switch (e) {
            case 'a': current += '\a'; break;
            case 'b': current += '\b'; break;
            case 'f': current += '\f'; break;
            case 'n': current += '\n'; break;
            case 'r': current += '\r'; break;
            case 't': current += '\t'; break;
            case 'v': current += '\v'; break;
            case '0': current += '\0'; break;
            case 'x': {
                qsizetype j = i + 1;
                while (j < raw.size() && isHexDigit(char16_t(raw.at(j))))
                    ++j;
                const uint code = raw.mid(i + 1, j - i - 1).toUInt(nullptr, 16);
                current += QString(QChar(char16_t(code))).toUtf8();
                i = j - 1;
                break;
            }
            default: current += e; break;
            }
            kept = current.size();
            continue;
        }
        current += c;
        if (inQuotes)
            kept = current.size();
    }
    finish();
    if (items.size() > 1)
        return items;
    QString text = items.value(0);
    if (text.startsWith(QLatin1String("@@")))
        text.remove(0, 1);
    else if (text == QLatin1String("@Invalid()"))
        return {};
    return text;
}

bool writeSettings(QIODevice &device, const QSettings::SettingsMap &map)
{
    g_lastFailure.clear();
    ++g_writes;
    g_lastWritten = -1;
    const QByteArray text = settingsText(map);
    auto *file = qobject_cast<QFileDevice *>(&device);
    bool ok = device.write(text) == text.size();
    if (ok && file)
        ok = file->flush();
#ifndef Q_OS_WIN
    if (ok && file && file->handle() >= 0 && ::fsync(file->handle()) != 0 && errno != EINVAL && errno != EROFS) {
        g_lastFailure = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
#endif
    if (!ok)
        g_lastFailure = device.errorString();
    else
        g_lastWritten = text.size();
    return ok;
}

}  // namespace

QByteArray settingsText(const QSettings::SettingsMap &map)
{
    // Sections in key order, "General" for keys outside any group.
    QMap<QString, QList<QPair<QString, QVariant>>> sections;
    for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
        const qsizetype slash = it.key().indexOf(QLatin1Char('/'));
        const QString section = slash < 0 ? QString() : it.key().left(slash);
        sections[section].append({slash < 0 ? it.key() : it.key().mid(slash + 1), it.value()});
    }
    QByteArray out;
    for (auto s = sections.constBegin(); s != sections.constEnd(); ++s) {
        if (!out.isEmpty())
            out += '\n';
        QByteArray name = s.key().isEmpty() ? QByteArray("General") : escapedKey(s.key());
        if (!s.key().isEmpty() && s.key().compare(QLatin1String("general"), Qt::CaseInsensitive) == 0)
            name = '%' + name;
        out += '[' + name + "]\n";
        for (const auto &kv : s.value())
            out += escapedKey(kv.first) + '=' + escapedValue(kv.second) + '\n';
    }
    return out;
}

bool readSettingsText(QIODevice &device, QSettings::SettingsMap &map)
{
    const QByteArray data = device.readAll();
    QString section;
    for (QByteArray line : data.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        const QByteArray trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(';') || trimmed.startsWith('#'))
            continue;
        if (trimmed.startsWith('[')) {
            const qsizetype end = trimmed.indexOf(']');
            QByteArray name = trimmed.mid(1, end < 0 ? -1 : end - 1);
            if (name.compare("general", Qt::CaseInsensitive) == 0)
                section.clear();
            else
                section = unescapedKey(name.startsWith('%') && name.mid(1).compare("general", Qt::CaseInsensitive) == 0
                                           ? name.mid(1)
                                           : name);
            continue;
        }
        const qsizetype eq = line.indexOf('=');
        if (eq < 0)
            continue;
        const QString key = unescapedKey(line.left(eq).trimmed());
        map.insert(section.isEmpty() ? key : section + QLatin1Char('/') + key, unescapedValue(line.mid(eq + 1)));
    }
    return true;
}

QSettings::Format settingsFileFormat()
{
    static const QSettings::Format format =
        QSettings::registerFormat(QStringLiteral("ini"), readSettingsText, writeSettings, Qt::CaseSensitive);
    return format;
}

SettingsWrite lastSettingsWrite()
{
    return {g_writes, g_lastWritten, g_lastFailure};
}

}  // namespace kv
