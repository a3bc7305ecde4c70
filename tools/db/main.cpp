// kvintor-db: creates a database file with the schema (optionally with demo
// data and a synthetic archive) and checks an existing one.

#include "demo_data.h"

#include "database/connection.h"
#include "database/database_check.h"
#include "database/database_copy.h"
#include "database/engine.h"
#include "database/schema.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QTextStream>

#include <cstdio>

namespace {

QTextStream &out()
{
    static QTextStream s(stdout);
    return s;
}

QTextStream &err()
{
    static QTextStream s(stderr);
    return s;
}

// The usage text: on standard error after wrong arguments (exit code 2), on
// standard output when asked for with --help (exit code 0).
int usage(QTextStream &to = err(), int code = 2)
{
    to << "Использование:\n"
             "  kvintor-db create [--demo] [--archive-years N] [PATH]\n"
             "  kvintor-db check [PATH]\n"
             "  kvintor-db backup [PATH] COPY\n"
             "  kvintor-db recover [PATH] NEW\n"
             "  kvintor-db copy FROM TO\n"
             "PATH по умолчанию: " << kv::kDatabaseFileName << " в рабочей папке.\n"
             "Вместо файла можно указать базу на сервере PostgreSQL: postgresql://пользователь@сервер:порт/база\n"
             "(пароль берётся из ~/.pgpass или PGPASSWORD).\n";
    return code;
}

int create(const QStringList &args)
{
    bool demo = false;
    int years = 0;
    QString path;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args.at(i);
        if (a == QLatin1String("--demo")) {
            demo = true;
        } else if (a == QLatin1String("--archive-years") && i + 1 < args.size()) {
            bool ok = false;
            years = args.at(++i).toInt(&ok);
            if (!ok || years < 0 || years > 50) {
                err() << "Число лет архива должно быть от 0 до 50.\n";
                return 2;
            }
        } else if (a.startsWith(QLatin1String("--"))) {
            return usage();
        } else if (path.isEmpty()) {
            path = a;
        } else {
            return usage();
        }
    }
    if (years > 0 && !demo) {
        err() << "--archive-years требует --demo (архиву нужны типы и тесты).\n";
        return 2;
    }
    if (path.isEmpty())
        path = kv::kDatabaseFileName;

    QString error = kv::createDatabaseFile(path);
    if (!error.isEmpty()) {
        err() << error << '\n';
        return 1;
    }
    if (demo) {
        const QString connection = QStringLiteral("kvintor-db");
        error = kv::openDatabase(path, connection);
        if (error.isEmpty()) {
            QSqlDatabase db = QSqlDatabase::database(connection);
            error = kv::demo::addReferenceData(db);
            if (error.isEmpty() && years > 0) {
                QElapsedTimer timer;
                timer.start();
                kv::demo::ArchiveStats stats;
                int lastShown = -1;
                error = kv::demo::addSyntheticArchive(db, years, &stats, 20261209, [&](double done) {
                    const int pct = int(done * 100);
                    if (pct / 10 != lastShown) {
                        lastShown = pct / 10;
                        err() << "архив: " << pct << " %\n";
                        err().flush();
                    }
                });
                if (error.isEmpty())
                    out() << "Архив: " << stats.records << " поверок, " << stats.meters << " счетчиков, " << stats.errors
                          << " погрешностей за " << timer.elapsed() / 1000.0 << " с\n";
            }
            db.close();
        }
        QSqlDatabase::removeDatabase(connection);
        if (!error.isEmpty()) {
            err() << error << '\n';
            if (kv::isServerLocation(path))
                return 1;
            QFile::remove(path);
            QFile::remove(path + QStringLiteral("-wal"));
            QFile::remove(path + QStringLiteral("-shm"));
            return 1;
        }
    }
    if (kv::isServerLocation(path))
        out() << "Созданы таблицы в базе данных " << kv::describeDatabase(path) << '\n';
    else
        out() << "Создан файл " << path << '\n';
    return 0;
}

// A connection that only reads until told otherwise: check and backup must
// work on a file the programs refuse.
class PlainConnection : public kv::ScopedConnection
{
public:
    explicit PlainConnection(const QString &path) : kv::ScopedConnection(QStringLiteral("kvintor-db-plain"))
    {
        if (kv::isServerLocation(path)) {
            setError(kv::openServerConnection(path, name()));
            return;
        }
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name());
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
        if (!db.open())
            setError(db.lastError().text());
    }
};

// Missing, not a regular file, or empty: said before any connection is made
// (the engine would write to an empty file).
QString fileProblem(const QString &path)
{
    if (kv::isServerLocation(path))
        return kv::parseServerAddress(path).error;
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("Не найден файл ") + path;
    if (!info.isFile())
        return path + QStringLiteral(" не является файлом");
    if (info.size() == 0)
        return path + QStringLiteral(": файл пуст, в нём нет таблиц Kvintor");
    return {};
}

int check(const QStringList &args)
{
    if (args.size() > 1)
        return usage();
    const QString path = args.isEmpty() ? kv::kDatabaseFileName : args.first();
    if (const QString problem = fileProblem(path); !problem.isEmpty()) {
        err() << problem << '\n';
        return 1;
    }
    PlainConnection c(path);
    if (!c.error().isEmpty()) {
        err() << path << ": " << c.error() << '\n';
        return 1;
    }
    QSqlDatabase db = c.db();
    const kv::DatabaseReport report = kv::inspectDatabase(db, kv::CheckDepth::Full);
    if (!report.sound()) {
        err() << kv::refusalText(path, report) << '\n';
        if (!report.damage.isEmpty())
            err() << "Проверка целостности нашла ошибок: " << report.damage.size() << '\n';
        return 1;
    }
    out() << path << ": все таблицы и поля на месте, проверка целостности ошибок не нашла (версия таблиц "
          << report.effectiveVersion() << ")\n";
    return 0;
}

// "[PATH] NEW" of backup and recover: 0 when the source is there and not
// empty, else the exit code (the reason already said).
int sourceAndTarget(const QStringList &args, QString *path, QString *target)
{
    if (args.isEmpty() || args.size() > 2)
        return usage();
    *path = args.size() == 2 ? args.first() : kv::kDatabaseFileName;
    *target = args.last();
    if (const QString problem = fileProblem(*path); !problem.isEmpty()) {
        err() << problem << '\n';
        return 1;
    }
    return 0;
}

// A copy made by the engine page by page: consistent while the programs work
// on the file, and the way to save what is still readable of a damaged one.
int backup(const QStringList &args)
{
    QString path, target;
    if (const int refused = sourceAndTarget(args, &path, &target))
        return refused;
    if (kv::isServerLocation(path) || kv::isServerLocation(target)) {
        err() << "Копию базы данных на сервере делает команда «kvintor-db copy FROM TO».\n";
        return 2;
    }
    PlainConnection c(path);
    if (!c.error().isEmpty()) {
        err() << path << ": " << c.error() << '\n';
        return 1;
    }
    QSqlDatabase db = c.db();
    const QString error = kv::backupDatabase(db, target);
    if (!error.isEmpty()) {
        err() << "Копия не сохранена: " << error << '\n';
        return 1;
    }
    out() << "Копия сохранена в " << target << "; проверьте её командой «kvintor-db check " << target << "»\n";
    return 0;
}

// What is still readable of a damaged file, row by row into a new one.
int recover(const QStringList &args)
{
    QString path, target;
    if (const int refused = sourceAndTarget(args, &path, &target))
        return refused;
    kv::RecoveryReport report;
    const QString error = kv::recoverDatabase(path, target, &report);
    if (!error.isEmpty()) {
        err() << "Данные не сохранены: " << error << '\n';
        return 1;
    }
    for (const QString &line : report.saved)
        out() << line << '\n';
    out() << "Прочитанное сохранено в " << target << (report.lost ? "; часть строк не читается" : "")
          << ". Проверьте файл командой «kvintor-db check " << target << "»\n";
    return 0;
}

// A whole archive into a new database, between files and servers either way.
int copy(const QStringList &args)
{
    if (args.size() != 2)
        return usage();
    QElapsedTimer timer;
    timer.start();
    QString shownTable;
    int shownPercent = -1;
    kv::CopyReport report;
    const QString error = kv::copyDatabase(args.at(0), args.at(1), &report, [&](const QString &table, qint64 done, qint64 total) {
        const int percent = total > 0 ? int(done * 100 / total) : 100;
        if (table != shownTable || percent / 5 != shownPercent / 5) {
            shownTable = table;
            shownPercent = percent;
            err() << table << ": " << done << " из " << total << " строк (" << percent << " %)\n";
            err().flush();
        }
        return true;
    });
    if (!error.isEmpty()) {
        err() << "База данных не скопирована: " << error << '\n';
        return 1;
    }
    for (const QString &line : report.tables)
        out() << line << '\n';
    out() << "Скопировано за " << timer.elapsed() / 1000.0 << " с; копия проверена, число строк совпадает.\n";
    return 0;
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty())
        return usage();
    const QString command = args.takeFirst();
    if (command == QLatin1String("--help") || command == QLatin1String("-h"))
        return usage(out(), 0);
    if (command == QLatin1String("create"))
        return create(args);
    if (command == QLatin1String("check"))
        return check(args);
    if (command == QLatin1String("backup"))
        return backup(args);
    if (command == QLatin1String("recover"))
        return recover(args);
    if (command == QLatin1String("copy"))
        return copy(args);
    return usage();
}
