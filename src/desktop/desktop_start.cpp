#include "desktop/desktop_start.h"

#include "database/connection.h"
#include "demo_data.h"
#include "core/settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>

namespace kv {

namespace {

// The folder's own name for a database on the way: never taken by a start.
const QString kPartialSuffix = QStringLiteral(".new");

void removeDatabaseFiles(const QString &path)
{
    for (const QString &suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")})
        QFile::remove(path + suffix);
}

// Opens `path` the way the programs do and closes it again: the same refusals
// (not ours, damaged, newer) the program would give at its start.
QString checkDatabase(const QString &path)
{
    const QString connection = QStringLiteral("kvintor-desktop-check");
    QString error = openDatabase(path, connection);
    if (error.isEmpty())
        QSqlDatabase::database(connection).close();
    QSqlDatabase::removeDatabase(connection);
    return error;
}

}  // namespace

bool isDesktopStart(const QStringList &arguments) { return arguments.mid(1).contains(kDesktopOption); }

QString defaultWorkFolder() { return QDir::home().filePath(QStringLiteral("Kvintor")); }

QString workFolder()
{
    const QString stored = settingText(kDesktopGroup, kWorkFolderKey).trimmed();
    return stored.isEmpty() ? defaultWorkFolder() : QDir::cleanPath(stored);
}

bool setWorkFolder(const QString &folder)
{
    setSettingText(kDesktopGroup, kWorkFolderKey, QDir::cleanPath(folder));
    return saveSettings();
}

DesktopStart::DesktopStart(const QString &folder) : m_folder(QDir::cleanPath(QDir(folder).absolutePath())) {}

QString DesktopStart::enterFolder()
{
    const QFileInfo info(m_folder);
    if (info.exists() && !info.isDir())
        return QStringLiteral("Рабочая папка «%1» не создана: так называется файл.").arg(QDir::toNativeSeparators(m_folder));
    if (!QDir().mkpath(m_folder))
        return QStringLiteral("Не удалось создать рабочую папку «%1». Проверьте права на запись в родительскую папку.")
            .arg(QDir::toNativeSeparators(m_folder));
    if (!QDir::setCurrent(m_folder))
        return QStringLiteral("Не удалось перейти в рабочую папку «%1».").arg(QDir::toNativeSeparators(m_folder));
    return {};
}

QString DesktopStart::database() const
{
    const QString own = QDir(m_folder).filePath(kDatabaseFileName);
    if (QFileInfo::exists(own))
        return own;
    const QString chosen = settingText(kDesktopGroup, kChosenDatabaseKey);
    if (!chosen.isEmpty() && QFileInfo(chosen).isFile())
        return chosen;
    return {};
}

QString DesktopStart::createInFolder(bool demo)
{
    const QString target = QDir(m_folder).filePath(kDatabaseFileName);
    if (QFileInfo::exists(target))
        return QStringLiteral("В папке «%1» уже есть файл %2: он не заменяется.")
            .arg(QDir::toNativeSeparators(m_folder), kDatabaseFileName);
    const QString partial = target + kPartialSuffix;
    removeDatabaseFiles(partial);
    QString error = createDatabaseFile(partial);
    if (error.isEmpty() && demo) {
        const QString connection = QStringLiteral("kvintor-desktop-demo");
        error = openDatabase(partial, connection);
        if (error.isEmpty()) {
            QSqlDatabase db = QSqlDatabase::database(connection);
            error = demo::addReferenceData(db);
            db.close();
        }
        QSqlDatabase::removeDatabase(connection);
    }
    if (error.isEmpty() && !QFile::rename(partial, target))
        error = QStringLiteral("не удалось переименовать %1 в %2").arg(partial, kDatabaseFileName);
    if (!error.isEmpty()) {
        removeDatabaseFiles(partial);
        return QStringLiteral("Не удалось создать базу данных в папке «%1».\n\n%2")
            .arg(QDir::toNativeSeparators(m_folder), error);
    }
    return {};
}

QString DesktopStart::apply(Choice choice, const QString &file)
{
    switch (choice) {
    case Choice::EmptyDatabase:
        return createInFolder(false);
    case Choice::DemoDatabase:
        return createInFolder(true);
    case Choice::ExistingFile: {
        const QString path = QFileInfo(file).absoluteFilePath();
        if (file.isEmpty() || !QFileInfo(path).isFile())
            return QStringLiteral("Файл базы данных не выбран.");
        if (const QString error = checkDatabase(path); !error.isEmpty())
            return error;
        setSettingText(kDesktopGroup, kChosenDatabaseKey, path);
        if (!saveSettings())
            return QStringLiteral("Выбор файла базы данных не сохранён в настройках.");
        return {};
    }
    }
    return {};
}

QStringList DesktopStart::programArguments(const QStringList &arguments) const
{
    QStringList result;
    for (int i = 0; i < arguments.size(); ++i)
        if (i == 0 || arguments.at(i) != kDesktopOption)
            result << arguments.at(i);
    const bool given = databasePath(result) != kDatabaseFileName;
    const QString path = database();
    if (!given && !path.isEmpty())
        result << QStringLiteral("--database") << path;
    return result;
}

}  // namespace kv
