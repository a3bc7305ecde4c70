// kvintor-db: creates a database file with the schema (optionally with demo
// data and a synthetic archive) and checks an existing one.

#include "demo_data.h"

#include "database/connection.h"
#include "database/schema.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlDatabase>
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

int usage()
{
    err() << "Использование:\n"
             "  kvintor-db create [--demo] [--archive-years N] [PATH]\n"
             "  kvintor-db check [PATH]\n"
             "PATH по умолчанию: " << kv::kDatabaseFileName << " в рабочей папке.\n";
    return 2;
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
            QFile::remove(path);
            QFile::remove(path + QStringLiteral("-wal"));
            QFile::remove(path + QStringLiteral("-shm"));
            return 1;
        }
    }
    out() << "Создан файл " << path << '\n';
    return 0;
}

int check(const QStringList &args)
{
    if (args.size() > 1)
        return usage();
    const QString path = args.isEmpty() ? kv::kDatabaseFileName : args.first();
    const QString connection = QStringLiteral("kvintor-db-check");
    const QString error = kv::openDatabase(path, connection);
    if (!error.isEmpty()) {
        err() << error << '\n';
        return 1;
    }
    QStringList problems;
    {
        QSqlDatabase db = QSqlDatabase::database(connection);
        problems = kv::checkSchema(db);
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    for (const QString &p : problems)
        err() << p << '\n';
    if (!problems.isEmpty())
        return 1;
    out() << path << ": все таблицы и поля на месте\n";
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
    if (command == QLatin1String("create"))
        return create(args);
    if (command == QLatin1String("check"))
        return check(args);
    return usage();
}
