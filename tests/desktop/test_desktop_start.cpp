// The menu start: which database a --desktop start opens, what each
// first-start choice leaves in the folder, and the dialog's loop as the
// operator sees it (through the recording seam).

#include "database/connection.h"
#include "desktop/desktop_start.h"
#include "desktop/desktop_start_dialog.h"
#include "support/test_env.h"
#include "core/settings.h"
#include "core/ui.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMainWindow>
#include <QMenuBar>
#include <QStatusBar>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

using kv::DesktopStart;

namespace {

// Rows of a table of a closed database file, read on a connection of its own.
int rowCount(const QString &path, const QString &table)
{
    int n = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("count"));
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery q(db);
            if (q.exec(QStringLiteral("SELECT COUNT(*) FROM ") + table) && q.next())
                n = q.value(0).toInt();
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("count"));
    return n;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

}  // namespace

class TestDesktopStart : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_cwd = QDir::currentPath();
        m_settings = std::make_unique<kvtest::TempSettings>();
        m_home = std::make_unique<QTemporaryDir>();
        QVERIFY(m_home->isValid());
        m_folder = QDir(m_home->path()).filePath(QStringLiteral("Kvintor/стенд 1"));
        kv::setSettingText(kv::kDesktopGroup, kv::kWorkFolderKey, m_folder);
    }
    void cleanup()
    {
        QDir::setCurrent(m_cwd);
        m_settings.reset();
    }

    void enterFolder()
    {
        DesktopStart start(kv::workFolder());
        QCOMPARE(start.enterFolder(), QString());
        QVERIFY(QFileInfo(m_folder).isDir());
        QCOMPARE(QDir::currentPath(), QDir(m_folder).absolutePath());

        // A file where the folder should be: said, not overwritten.
        const QString blocked = QDir(m_home->path()).filePath(QStringLiteral("файл"));
        writeFile(blocked, "keep");
        const QString error = DesktopStart(blocked).enterFolder();
        QVERIFY2(error.startsWith(QStringLiteral("Рабочая папка")), qPrintable(error));
        QCOMPARE(QFileInfo(blocked).size(), 4);
    }

    void createdDatabase_data()
    {
        QTest::addColumn<int>("choice");
        QTest::addColumn<bool>("withTypes");
        QTest::newRow("empty database has the tables and no types") << int(DesktopStart::Choice::EmptyDatabase) << false;
        QTest::newRow("demo database has types and tests") << int(DesktopStart::Choice::DemoDatabase) << true;
    }
    void createdDatabase()
    {
        QFETCH(int, choice);
        QFETCH(bool, withTypes);
        DesktopStart start(m_folder);
        QCOMPARE(start.enterFolder(), QString());
        QCOMPARE(start.database(), QString());
        QCOMPARE(start.apply(DesktopStart::Choice(choice)), QString());

        const QString file = QDir(m_folder).filePath(kv::kDatabaseFileName);
        QCOMPARE(start.database(), file);
        QCOMPARE(rowCount(file, QStringLiteral("TTip")) > 0, withTypes);
        QCOMPARE(rowCount(file, QStringLiteral("TTest")) > 0, withTypes);
        // Only the database itself is left: no partial file under another name.
        QCOMPARE(QDir(m_folder).entryList(QDir::Files), QStringList{kv::kDatabaseFileName});

        // A second creation never replaces the operator's file.
        const QString again = start.apply(DesktopStart::Choice::EmptyDatabase);
        QVERIFY2(again.contains(QStringLiteral("не заменяется")), qPrintable(again));
        QCOMPARE(rowCount(file, QStringLiteral("TTip")) > 0, withTypes);
    }

    void existingFile_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("our database is remembered") << QByteArray() << true;
        QTest::newRow("a text file is refused") << QByteArray("не база данных\n") << false;
        QTest::newRow("an empty file is refused") << QByteArray("") << false;
    }
    void existingFile()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, accepted);
        QTemporaryDir elsewhere;
        const QString file = elsewhere.filePath(QStringLiteral("архив.sqlite"));
        if (accepted)
            QCOMPARE(kv::createDatabaseFile(file), QString());
        else
            writeFile(file, content);

        DesktopStart start(m_folder);
        QCOMPARE(start.enterFolder(), QString());
        const QString error = start.apply(DesktopStart::Choice::ExistingFile, file);
        QCOMPARE(error.isEmpty(), accepted);
        QCOMPARE(start.database(), accepted ? file : QString());
        // A later start of the same folder opens the remembered file.
        m_settings->restart();
        kv::setSettingText(kv::kDesktopGroup, kv::kWorkFolderKey, m_folder);
        QCOMPARE(DesktopStart(m_folder).database(), accepted ? file : QString());
        if (accepted) {
            // Gone since: the operator is asked again.
            QVERIFY(QFile::remove(file));
            QCOMPARE(DesktopStart(m_folder).database(), QString());
        }
    }

    void programArguments_data()
    {
        QTest::addColumn<QStringList>("given");
        QTest::addColumn<bool>("folderDatabase");
        QTest::addColumn<QStringList>("expected");
        const QString own = QStringLiteral("<own>");
        QTest::newRow("the folder's database, absolute")
            << QStringList{"Kvintor", "--desktop", "--port", "/dev/ttyUSB0"} << true
            << QStringList{"Kvintor", "--port", "/dev/ttyUSB0", "--database", own};
        QTest::newRow("a given database wins")
            << QStringList{"Kvintor", "--desktop", "--database=/srv/a.sqlite"} << true
            << QStringList{"Kvintor", "--database=/srv/a.sqlite"};
        QTest::newRow("no database yet: nothing added") << QStringList{"BaseKvintor", "--desktop"} << false
                                                        << QStringList{"BaseKvintor"};
    }
    void programArguments()
    {
        QFETCH(QStringList, given);
        QFETCH(bool, folderDatabase);
        QFETCH(QStringList, expected);
        DesktopStart start(m_folder);
        QCOMPARE(start.enterFolder(), QString());
        if (folderDatabase)
            QCOMPARE(start.apply(DesktopStart::Choice::EmptyDatabase), QString());
        expected.replaceInStrings(QStringLiteral("<own>"), QDir(m_folder).filePath(kv::kDatabaseFileName));
        QCOMPARE(start.programArguments(given), expected);
    }

    // The dialog's loop: a refused file is said and the operator chooses again;
    // leaving ends the start; a terminal start asks nothing.
    void firstStartDialog()
    {
        QTemporaryDir elsewhere;
        const QString foreign = elsewhere.filePath(QStringLiteral("чужой.sqlite"));
        writeFile(foreign, "не база данных\n");

        kv::ScopedRecordingUi ui;
        ui->queueDialog([](QDialog *d) {
            [&] { QCOMPARE(d->objectName(), QStringLiteral("FirstStartDialog")); }();
            return int(DesktopStart::Choice::ExistingFile);
        });
        ui->queueDialog([foreign](QDialog *d) {
            static_cast<QFileDialog *>(d)->selectFile(foreign);
            return int(QDialog::Accepted);
        });
        ui->queueDialog([](QDialog *) { return int(DesktopStart::Choice::DemoDatabase); });
        const std::optional<QStringList> args = kv::prepareDesktopStart({QStringLiteral("Kvintor"), kv::kDesktopOption});
        QVERIFY(args);
        const QString own = QDir(m_folder).filePath(kv::kDatabaseFileName);
        QCOMPARE(*args, (QStringList{QStringLiteral("Kvintor"), QStringLiteral("--database"), own}));
        QCOMPARE(ui->boxes().size(), 1);  // the refusal of the foreign file
        QVERIFY(ui->boxes().first().text.contains(QStringLiteral("чужой.sqlite")));
        QVERIFY(rowCount(own, QStringLiteral("TTip")) > 0);
        QCOMPARE(ui->dialogsShown(), 3);

        // The database is there now: the next menu start asks nothing.
        QCOMPARE(kv::prepareDesktopStart({QStringLiteral("BaseKvintor"), kv::kDesktopOption}),
                 (QStringList{QStringLiteral("BaseKvintor"), QStringLiteral("--database"), own}));
        QCOMPARE(ui->dialogsShown(), 3);

        // Elsewhere, leaving the dialog ends the start with nothing created.
        const QString other = QDir(m_home->path()).filePath(QStringLiteral("другая"));
        kv::setSettingText(kv::kDesktopGroup, kv::kWorkFolderKey, other);
        QVERIFY(!kv::prepareDesktopStart({QStringLiteral("Kvintor"), kv::kDesktopOption}));
        QCOMPARE(QDir(other).entryList(QDir::Files), QStringList());

        // From a terminal: the folder and the arguments stay as they are.
        QDir::setCurrent(elsewhere.path());
        const QStringList terminal{QStringLiteral("Kvintor"), QStringLiteral("--port"), QStringLiteral("/dev/ttyS1")};
        QCOMPARE(kv::prepareDesktopStart(terminal), terminal);
        QCOMPARE(QDir::currentPath(), QDir(elsewhere.path()).absolutePath());
        QCOMPARE(ui->dialogsShown(), 4);
    }

    // The menu item that moves the next menu start to another folder.
    void workFolderAction()
    {
        QMainWindow window;
        window.menuBar()->addMenu(QStringLiteral("Настройки"));
        kv::addWorkFolderAction(&window, QStringLiteral("Настройки"), true);
        QVERIFY(window.statusBar()->currentMessage().startsWith(QStringLiteral("Рабочая папка: ")));
        auto *action = window.findChild<QAction *>(QStringLiteral("AWorkFolder"));
        QVERIFY(action);

        const QString chosen = QDir(m_home->path()).filePath(QStringLiteral("лаборатория"));
        QVERIFY(QDir().mkpath(chosen));
        kv::ScopedRecordingUi ui;
        ui->queueDialog([](QDialog *) { return int(QDialog::Rejected); });  // cancelled: nothing changes
        action->trigger();
        QCOMPARE(kv::workFolder(), m_folder);
        QCOMPARE(ui->boxes().size(), 0);
        ui->queueDialog([chosen](QDialog *d) {
            static_cast<QFileDialog *>(d)->selectFile(chosen);
            return int(QDialog::Accepted);
        });
        action->trigger();
        QCOMPARE(ui->boxes().size(), 1);
        QVERIFY(ui->boxes().first().text.contains(chosen));
        // Kept for the next start of either program.
        m_settings->restart();
        QCOMPARE(kv::workFolder(), chosen);
    }

private:
    QString m_cwd;
    std::unique_ptr<QTemporaryDir> m_home;
    QString m_folder;
    std::unique_ptr<kvtest::TempSettings> m_settings;
};

QTEST_MAIN(TestDesktopStart)
#include "test_desktop_start.moc"
