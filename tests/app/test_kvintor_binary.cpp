// The built Kvintor executable, started as the operator starts it, offscreen.
// Its message boxes go to a log file (KVINTOR_UI_LOG) so nothing waits for a click.

#include "stand_server.h"
#include "support/test_env.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using namespace kvtest;

namespace {

struct Run {
    bool finished = false;
    int exitCode = -1;
    bool ready = false;
    QStringList boxes;  // "icon<TAB>caption<TAB>text"
};

// Starts Kvintor in `folder` with `arguments`. Waits until it ends or its
// window answers; a program that is still running then is ended here.
Run runKvintor(const QString &folder, const QStringList &arguments, const QString &settingsFolder)
{
    const QString log = folder + QStringLiteral("/ui.log");
    const QString ready = folder + QStringLiteral("/ready");
    QFile::remove(log);
    QFile::remove(ready);
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("KVINTOR_UI_LOG"), log);
    env.insert(QStringLiteral("KVINTOR_READY_FILE"), ready);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), settingsFolder);
    env.remove(QStringLiteral("KVINTOR_DATABASE"));
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(folder);
    p.start(qEnvironmentVariable("KVINTOR_BIN_DIR") + QStringLiteral("/Kvintor"), arguments);
    Run r;
    if (!p.waitForStarted(10000))
        return r;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 30000) {
        if (p.waitForFinished(20)) {
            r.finished = true;
            r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
            break;
        }
        if (QFile::exists(ready)) {
            r.ready = true;
            break;
        }
    }
    if (p.state() != QProcess::NotRunning) {
        p.kill();
        p.waitForFinished(5000);
    }
    QFile f(log);
    if (f.open(QIODevice::ReadOnly))
        r.boxes = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return r;
}

// A database file in `folder` under the name the program looks for, with the schema.
QString makeDatabase(const QString &folder, const QStringList &drop = {})
{
    const QString path = folder + QStringLiteral("/KvintorDB.sqlite");
    TempDatabase made(QStringLiteral("made"), true);
    for (const QString &table : drop)
        execOrFail(made.db(), QStringLiteral("DROP TABLE ") + table);
    made.close();
    QFile::copy(made.path(), path);
    return path;
}

}  // namespace

class TestKvintorBinary : public QObject
{
    Q_OBJECT
    TempSettings settings;
    kvstands::StandServer stands;

    QStringList onStands() { return {QStringLiteral("--port"), stands.SlavePath()}; }

private Q_SLOTS:
    void initTestCase() { QCOMPARE(stands.OpenPty(), QString()); }

    void aDatabaseThatCannotBeOpenedEndsTheProgramWithItsMessage()
    {
        QTemporaryDir dir;
        // No file at all.
        Run r = runKvintor(dir.path(), {}, settings.folder());
        QVERIFY(r.finished);
        QVERIFY(r.exitCode != 0);
        QCOMPARE(r.boxes.size(), 1);
        QVERIFY2(r.boxes.first().startsWith(QStringLiteral("error\tKvintor\t")), qPrintable(r.boxes.first()));
        QVERIFY(r.boxes.first().contains(QStringLiteral("KvintorDB.sqlite")));

        // A file that is no database, named by --database.
        const QString junk = dir.filePath(QStringLiteral("junk.sqlite"));
        QFile f(junk);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, 'x'));
        f.close();
        r = runKvintor(dir.path(), {QStringLiteral("--database"), junk}, settings.folder());
        QVERIFY(r.finished);
        QVERIFY(r.exitCode != 0);
        QCOMPARE(r.boxes.size(), 1);
        QVERIFY(r.boxes.first().startsWith(QStringLiteral("error\tKvintor\t")));
    }

    // The start's check names every missing table, the running test's too:
    // the file is refused before the program writes to it.
    void aMissingTableEndsTheProgramWithItsName()
    {
        QTemporaryDir dir;
        makeDatabase(dir.path(), {QStringLiteral("TResult"), QStringLiteral("TPositionCH"), QStringLiteral("TMeasure")});
        Run r = runKvintor(dir.path(), onStands(), settings.folder());
        QVERIFY(r.finished);
        QVERIFY(r.exitCode != 0);
        QCOMPARE(r.boxes.size(), 1);
        QVERIFY2(r.boxes.first().startsWith(QStringLiteral("error\tKvintor\t")), qPrintable(r.boxes.first()));
        for (const char *table : {"TMeasure", "TPositionCH", "TResult"})
            QVERIFY2(r.boxes.first().contains(QStringLiteral("нет таблицы ") + QLatin1String(table)), qPrintable(r.boxes.first()));

        QTemporaryDir other;
        makeDatabase(other.path(), {QStringLiteral("TTestBuf")});
        r = runKvintor(other.path(), onStands(), settings.folder());
        QVERIFY(r.finished);
        QCOMPARE(r.boxes.size(), 1);
        QVERIFY2(r.boxes.first().contains(QStringLiteral("нет таблицы TTestBuf")), qPrintable(r.boxes.first()));
    }

    void aPortThatDoesNotExistIsReportedAndTheProgramGoesOn()
    {
        QTemporaryDir dir;
        makeDatabase(dir.path());
        Run r = runKvintor(dir.path(), {QStringLiteral("--port"), dir.filePath(QStringLiteral("ttyUSB9"))},
                           settings.folder());
        QVERIFY(r.ready);
        // The log writes a box's line breaks as spaces: the device and its reason follow.
        QCOMPARE(r.boxes.size(), 1);
        QVERIFY2(r.boxes.first().startsWith(QStringLiteral("warning\tKvintor\tCOM порт не доступен. Выберите другой порт")),
                 qPrintable(r.boxes.first()));
        QVERIFY2(r.boxes.first().contains(dir.filePath(QStringLiteral("ttyUSB9"))), qPrintable(r.boxes.first()));
        QVERIFY2(r.boxes.first().contains(QStringLiteral("устройство не найдено")), qPrintable(r.boxes.first()));
    }
};

QTEST_GUILESS_MAIN(TestKvintorBinary)
#include "test_kvintor_binary.moc"
