// Both programs on one database file at once, as a lab runs them: the built
// Kvintor and BaseKvintor open (offscreen, every message box logged), the
// control program's archive save running again and again in one process
// while the database program's data module browses the archive, deletes
// records and edits a test in another, and a second copy of each program
// starting up in the middle of it. Nobody may see a lock error or any other
// box, and every save must be in the archive whole unless it was deleted.

#include "demo_data.h"
#include "stand_server.h"
#include "database/file_locks.h"
#include "support/test_env.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace kvtest;

namespace {

QString bin(const QString &name) { return qEnvironmentVariable("KVINTOR_BIN_DIR") + QLatin1Char('/') + name; }

// Waits for `condition` while this process keeps serving its own events (the
// stands), running `eachTurn` between looks.
bool waitFor(const std::function<bool()> &condition, int ms, const std::function<void()> &eachTurn = {})
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > ms)
            return false;
        QTest::qWait(20);
        if (eachTurn)
            eachTurn();
    }
    return true;
}

// One of the built programs, started the way test_kvintor_binary does.
struct Program {
    QString name, log, ready;
    std::unique_ptr<QProcess> process = std::make_unique<QProcess>();

    Program(const QString &program, const QString &tag, const QString &folder, const QString &settings,
            const QStringList &arguments)
        : name(tag), log(folder + QLatin1Char('/') + tag + QStringLiteral(".log")),
          ready(folder + QLatin1Char('/') + tag + QStringLiteral(".ready"))
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("KVINTOR_UI_LOG"), log);
        env.insert(QStringLiteral("KVINTOR_READY_FILE"), ready);
        env.insert(QStringLiteral("KVINTOR_NO_OPEN"), QStringLiteral("1"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), settings);
        env.remove(QStringLiteral("KVINTOR_DATABASE"));
        process->setProcessEnvironment(env);
        process->setWorkingDirectory(folder);
        process->setProcessChannelMode(QProcess::MergedChannels);
        process->start(bin(program), arguments);
    }
    ~Program()
    {
        if (process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished(5000);
        }
    }
    bool isReady() const { return QFile::exists(ready); }
    // Why it did not come up: its boxes and what it printed.
    QString report() const
    {
        return name + QStringLiteral(" did not come up: ") + boxes().join(QLatin1Char('|')) + QLatin1Char(' ') +
               QString::fromLocal8Bit(process->readAll()) + process->errorString();
    }
    bool running() const { return process->state() != QProcess::NotRunning; }
    QStringList boxes() const
    {
        QFile f(log);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
};

// A soak driver's output and exit code.
struct Driver {
    std::unique_ptr<QProcess> process = std::make_unique<QProcess>();
    QString output;

    Driver(const QString &program, const QStringList &arguments)
    {
        process->setProcessChannelMode(QProcess::MergedChannels);
        process->start(bin(program), arguments);
    }
    ~Driver()
    {
        if (process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished(5000);
        }
    }
    bool finish(int ms)
    {
        const bool done = waitFor([this] { return process->state() == QProcess::NotRunning; }, ms);
        output += QString::fromUtf8(process->readAll());
        return done;
    }
    int exitCode() const
    {
        return process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1;
    }
    // The number after "key=" on the driver's summary line, -1 when absent.
    qint64 figure(const QString &key) const
    {
        const auto m = QRegularExpression(QStringLiteral("\\b%1=(\\d+)").arg(key)).match(output);
        return m.hasMatch() ? m.captured(1).toLongLong() : -1;
    }
};

}  // namespace

class TestConcurrentPrograms : public QObject
{
    Q_OBJECT
    TempSettings settings;
    // A line each: a port is held by one program at a time.
    kvstands::StandServer stands, otherStands;

private Q_SLOTS:
    void initTestCase()
    {
        QCOMPARE(stands.OpenPty(), QString());
        QCOMPARE(otherStands.OpenPty(), QString());
    }

    void savesBrowsingAndDeletionsAtOnceNeverMeetALock()
    {
        // A year of archive, so the programs have something to read while others write.
        TempDatabase db(QStringLiteral("made"), true);
        {
            QSqlDatabase d = db.db();
            QCOMPARE(kv::demo::addSyntheticArchive(d, 1), QString());
        }
        db.close();
        const QString folder = db.folder();
        const QString path = db.path();
        const QStringList onFile{QStringLiteral("--database"), path};
        auto kvintorArguments = [&](const kvstands::StandServer &line) {
            return QStringList{QStringLiteral("--port"), line.SlavePath()} + onFile;
        };

        std::vector<std::unique_ptr<Program>> programs;
        programs.push_back(std::make_unique<Program>(QStringLiteral("BaseKvintor"), QStringLiteral("base1"), folder,
                                                     settings.folder(), onFile));
        programs.push_back(std::make_unique<Program>(QStringLiteral("Kvintor"), QStringLiteral("kvintor1"), folder,
                                                     settings.folder(), kvintorArguments(stands)));
        for (const auto &p : programs)
            QVERIFY2(waitFor([&] { return p->isReady() || !p->running(); }, 30000) && p->isReady(),
                     qPrintable(p->report()));

        // The control program's save, 300 times with a breath between them
        // (a lab saves minutes apart; scripts/soak runs them back to back),
        // while the database program browses, deletes every other round and
        // edits every third.
        const int saves = 300;
        const QString stop = folder + QStringLiteral("/stop");
        Driver saver(QStringLiteral("kvintor-soak-save"),
                     onFile + QStringList{QStringLiteral("--saves"), QString::number(saves), QStringLiteral("--pause-ms"),
                                          QStringLiteral("5")});
        Driver browser(QStringLiteral("kvintor-soak-browse"),
                       onFile + QStringList{QStringLiteral("--stop-file"), stop, QStringLiteral("--delete-every"),
                                            QStringLiteral("2"), QStringLiteral("--edit-every"), QStringLiteral("3")});
        // Each program opened a second time while the saves go on.
        QVERIFY(saver.process->waitForStarted(10000));
        QVERIFY(browser.process->waitForStarted(10000));
        programs.push_back(std::make_unique<Program>(QStringLiteral("BaseKvintor"), QStringLiteral("base2"), folder,
                                                     settings.folder(), onFile));
        programs.push_back(std::make_unique<Program>(QStringLiteral("Kvintor"), QStringLiteral("kvintor2"), folder,
                                                     settings.folder(), kvintorArguments(otherStands)));
        for (size_t i = 2; i < programs.size(); ++i) {
            const auto &p = programs[i];
            QVERIFY2(waitFor([&] { return p->isReady() || !p->running(); }, 30000) && p->isReady(),
                     qPrintable(p->report()));
        }
        const bool overlapped = saver.process->state() == QProcess::Running;

        QVERIFY2(saver.finish(90000), qPrintable(saver.output));
        QFile(stop).open(QIODevice::WriteOnly);
        QVERIFY2(browser.finish(30000), qPrintable(browser.output));
        qInfo().noquote() << saver.output.trimmed().split(QLatin1Char('\n')).last();
        qInfo().noquote() << browser.output.trimmed().split(QLatin1Char('\n')).last();
        if (!overlapped)
            qInfo("the saves ended before the second copies of the programs were up");

        // No box anywhere: neither in the drivers nor in the four programs.
        QVERIFY2(saver.exitCode() == 0, qPrintable(saver.output));
        QCOMPARE(saver.figure(QStringLiteral("saves")), qint64(saves));
        QVERIFY2(browser.exitCode() == 0, qPrintable(browser.output));
        QCOMPARE(browser.figure(QStringLiteral("boxes")), 0);
        QCOMPARE(browser.figure(QStringLiteral("half_written")), 0);
        QVERIFY(browser.figure(QStringLiteral("deleted")) > 0);
        QVERIFY(browser.figure(QStringLiteral("edits")) > 0);
        for (const auto &p : programs) {
            QVERIFY2(p->running(), qPrintable(p->name + QStringLiteral(" ended")));
            QVERIFY2(p->boxes().isEmpty(), qPrintable(p->name + QStringLiteral(": ") + p->boxes().join(QLatin1Char('|'))));
        }

        // Every save is in the archive whole, or was deleted whole.
        Driver check(QStringLiteral("kvintor-soak-save"),
                     onFile + QStringList{QStringLiteral("--check"), QStringLiteral("--expect-saves"),
                                          QString::number(saves), QStringLiteral("--deleted"),
                                          QString::number(browser.figure(QStringLiteral("deleted")))});
        QVERIFY(check.finish(30000));
        QVERIFY2(check.exitCode() == 0, qPrintable(check.output));
    }
    // The database program with every file dialog of it opened on the
    // working folder, the data module's side opening dialogs every round,
    // separate save processes that each end (and would checkpoint and delete
    // the write-ahead log if nobody else held the file), and a backup by the
    // engine's own tool in the middle: both sides keep their locks all along,
    // and every write of both is in the file at the end.
    void noWriteLostAcrossDialogsSavesAndBackup()
    {
        TempDatabase db(QStringLiteral("locks"), true);
        db.close();
        const QString folder = db.folder();
        const QString path = db.path();
        const QStringList onFile{QStringLiteral("--database"), path};

        const QString done = folder + QStringLiteral("/dialogs.done");
        qputenv("KVINTOR_UI_ACTIONS", "AImportTest,AImportTip,ASaveAS,AExport");
        qputenv("KVINTOR_UI_DIALOG_MS", "1000");
        qputenv("KVINTOR_UI_ACTIONS_DONE", done.toLocal8Bit());
        Program base(QStringLiteral("BaseKvintor"), QStringLiteral("base"), folder, settings.folder(), onFile);
        qunsetenv("KVINTOR_UI_ACTIONS");
        qunsetenv("KVINTOR_UI_DIALOG_MS");
        qunsetenv("KVINTOR_UI_ACTIONS_DONE");

        // Every poll of the kernel's lock table while the test runs: once a
        // process has opened the database, its locks never go.
        int polls = 0;
        QStringList lost;
        QSet<qint64> opened;
        auto poll = [&](const std::vector<const QProcess *> &holders) {
            for (const QProcess *p : holders) {
                if (p->state() != QProcess::Running)
                    continue;
                ++polls;
                const bool held = kv::databaseLocksOfProcess(path, p->processId()) == kv::FileLocks::Held;
                if (held)
                    opened.insert(p->processId());
                else if (opened.contains(p->processId()))
                    lost << p->program();
            }
        };
        auto waitPolling = [&](const std::function<bool()> &condition, int ms,
                               const std::vector<const QProcess *> &holders) {
            return waitFor(condition, ms, [&] { poll(holders); });
        };

        QVERIFY2(waitFor([&] { return base.isReady() || !base.running(); }, 30000) && base.isReady(),
                 qPrintable(base.report()));
        QVERIFY2(waitPolling([&] { return QFile::exists(done) || !base.running(); }, 60000, {base.process.get()}),
                 qPrintable(base.report()));
        // The import dialog (tests and types share it), save as and export.
        for (const QString &name : {QStringLiteral("ODTest"), QStringLiteral("SDTable"), QStringLiteral("SaveDialog1")})
            QVERIFY2(!base.boxes().filter(QStringLiteral("dialog\t") + name + QLatin1Char('\t')).isEmpty(),
                     qPrintable(base.boxes().join(QLatin1Char('|'))));

        const QString stop = folder + QStringLiteral("/stop");
        Driver browser(QStringLiteral("kvintor-soak-browse"),
                       onFile + QStringList{QStringLiteral("--stop-file"), stop, QStringLiteral("--delete-every"),
                                            QStringLiteral("1"), QStringLiteral("--edit-every"), QStringLiteral("1"),
                                            QStringLiteral("--dialogs")});
        QVERIFY(browser.process->waitForStarted(10000));
        const std::vector<const QProcess *> holders{base.process.get(), browser.process.get()};

        const int rounds = 4, savesEach = 3;
        for (int round = 0; round < rounds; ++round) {
            Driver saver(QStringLiteral("kvintor-soak-save"),
                         onFile + QStringList{QStringLiteral("--saves"), QString::number(savesEach)});
            QVERIFY2(waitPolling([&] { return saver.process->state() == QProcess::NotRunning; }, 60000, holders),
                     "a save process did not end");
            QVERIFY(saver.finish(1000));
            QVERIFY2(saver.exitCode() == 0, qPrintable(saver.output));
            if (round == 1) {
                QProcess backup;
                backup.start(QStringLiteral("sqlite3"),
                             {path, QStringLiteral(".backup '") + folder + QStringLiteral("/copy.sqlite'")});
                QVERIFY(backup.waitForFinished(30000));
                QCOMPARE(backup.exitCode(), 0);
            }
            // The other side writes after this save process has ended.
            waitPolling([] { return false; }, 1500, holders);
        }
        QFile(stop).open(QIODevice::WriteOnly);
        QVERIFY2(browser.finish(30000), qPrintable(browser.output));
        QVERIFY2(browser.exitCode() == 0, qPrintable(browser.output));
        QVERIFY2(lost.isEmpty(), qPrintable(QStringLiteral("locks missing at some poll: ") + lost.join(QLatin1Char(' '))));
        QVERIFY(polls > 100);
        QCOMPARE(opened.size(), 2);
        QVERIFY(browser.figure(QStringLiteral("dialogs")) > 0);
        QCOMPARE(browser.figure(QStringLiteral("locks_lost")), 0);
        QVERIFY2(base.boxes().filter(QRegularExpression(QStringLiteral("^(error|warning)"))).isEmpty(),
                 qPrintable(base.boxes().join(QLatin1Char('|'))));
        base.process->kill();
        base.process->waitForFinished(5000);

        auto lastLine = [&](const QString &prefix) {
            const QStringList lines = browser.output.split(QLatin1Char('\n')).filter(QRegularExpression(QLatin1Char('^') + prefix));
            return lines.isEmpty() ? QString() : lines.last().mid(prefix.size()).trimmed();
        };
        const QString testEdit = lastLine(QStringLiteral("last test edit:"));
        const QString typeEdit = lastLine(QStringLiteral("last type edit:"));
        QVERIFY(!testEdit.isEmpty() && !typeEdit.isEmpty());
        Driver check(QStringLiteral("kvintor-soak-save"),
                     onFile + QStringList{QStringLiteral("--check"), QStringLiteral("--expect-saves"),
                                          QString::number(rounds * savesEach), QStringLiteral("--deleted"),
                                          QString::number(browser.figure(QStringLiteral("deleted"))),
                                          QStringLiteral("--expect-edit"), QStringLiteral("TTest.PDescription=") + testEdit,
                                          QStringLiteral("--expect-edit"), QStringLiteral("TTip.PMaker=") + typeEdit});
        QVERIFY(check.finish(30000));
        QVERIFY2(check.exitCode() == 0, qPrintable(check.output));
        QVERIFY(browser.figure(QStringLiteral("deleted")) > 0);

        // The backup taken while both sides were open is a whole database.
        QProcess copy;
        copy.start(QStringLiteral("sqlite3"),
                   {folder + QStringLiteral("/copy.sqlite"), QStringLiteral("PRAGMA integrity_check; SELECT count(*) > 0 FROM TPositionCH WHERE PNumber LIKE 'SOAK%';")});
        QVERIFY(copy.waitForFinished(30000));
        QCOMPARE(QString::fromUtf8(copy.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts),
                 QStringList({QStringLiteral("ok"), QStringLiteral("1")}));
    }
};

QTEST_GUILESS_MAIN(TestConcurrentPrograms)
#include "test_concurrent_programs.moc"
