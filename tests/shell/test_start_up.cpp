// The database program's start-up and its main window: which child comes up
// maximized, which actions that leaves available, the current grid, closing
// and placement of the children, help, and failures at start.

#include "core/settings.h"
#include "core/ui.h"
#include "database/connection.h"
#include "reference/data_module.h"
#include "shell/child_windows.h"
#include "shell/help_window.h"
#include "shell/main_window.h"
#include "shell/start_up.h"
#include "support/test_env.h"
#include "widgets/data_grid.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSqlQuery>
#include <QHeaderView>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QTableView>
#include <QToolBar>
#include <QToolButton>
#include <QTest>
#include <QTextBrowser>

using namespace basekvintor;

namespace {

QList<bool> actionStates(const TFExpert &f)
{
    QList<bool> states;
    for (QAction *a : {f.AImportTest, f.AImportTip, f.ASelect, f.AGReportXL, f.AReportXl})
        states << a->isEnabled();
    return states;
}

// AImportTest, AImportTip, ASelect, AGReportXL, AReportXl
const QList<bool> kTip{false, true, false, false, false};
const QList<bool> kTest{true, false, false, false, false};
const QList<bool> kArchiv{false, false, false, true, true};
const QList<bool> kSQL{false, false, true, false, false};

QStringList menuTexts(const QMenu *menu)
{
    QStringList texts;
    for (QAction *a : menu->actions())
        texts << a->text();
    return texts;
}

void chooseInWindowMenu(TFExpert &f, const QString &caption)
{
    Q_EMIT f.windowMenu()->aboutToShow();
    for (QAction *a : f.windowMenu()->actions())
        if (a->text() == caption) {
            a->trigger();
            return;
        }
    QFAIL(qPrintable(QStringLiteral("no window %1 in the menu").arg(caption)));
}

}  // namespace

class TestStartUp : public QObject
{
    Q_OBJECT

    std::unique_ptr<kvtest::TempSettings> m_settings;
    std::unique_ptr<kvtest::TempDatabase> m_db;

    BaseProgram start()
    {
        BaseProgram p = startBaseKvintor({QStringLiteral("BaseKvintor"), QStringLiteral("--database"), m_db->path()});
        if (p.FExpert)
            QCoreApplication::processEvents();
        return p;
    }

private Q_SLOTS:
    void init()
    {
        m_settings = std::make_unique<kvtest::TempSettings>();
        m_db = std::make_unique<kvtest::TempDatabase>(QStringLiteral("fixture"), true);
        m_db->close();  // the program opens the file itself
    }
    void cleanup()
    {
        m_db.reset();
        m_settings.reset();
    }

    void missingDatabaseEndsTheStart()
    {
        kv::ScopedRecordingUi ui;
        BaseProgram p = startBaseKvintor({QStringLiteral("BaseKvintor"), QStringLiteral("--database"),
                                          m_db->folder() + QStringLiteral("/nothing.sqlite")});
        QVERIFY(!p.FExpert);
        QCOMPARE(ui->boxes().size(), 1);
        QVERIFY(ui->texts().first().contains(QStringLiteral("nothing.sqlite")));
        QCOMPARE(FExpert, nullptr);
        QCOMPARE(DM, nullptr);

        // The program as a whole ends with a non-zero code.
        qputenv("KVINTOR_DATABASE", QFile::encodeName(m_db->folder() + QStringLiteral("/nothing.sqlite")));
        ui->clear();
        QCOMPARE(runBaseKvintor(*qApp), 1);
        qunsetenv("KVINTOR_DATABASE");
        QCOMPARE(ui->boxes().size(), 1);
    }

    // A file that lacks a table: the start's check names it and says what
    // to do, and the program ends.
    void brokenDatabaseEndsTheStart()
    {
        QVERIFY(kv::openDatabase(m_db->path(), QStringLiteral("breaker")).isEmpty());
        {
            QSqlQuery q(QSqlDatabase::database(QStringLiteral("breaker")));
            QVERIFY(q.exec(QStringLiteral("DROP TABLE TResult")));
        }
        QSqlDatabase::database(QStringLiteral("breaker")).close();
        QSqlDatabase::removeDatabase(QStringLiteral("breaker"));
        kv::ScopedRecordingUi ui;
        BaseProgram p = start();
        QVERIFY(!p.FExpert);
        QCOMPARE(ui->boxes().size(), 1);
        QVERIFY2(ui->texts().first().contains(QStringLiteral("нет таблицы TResult")), qPrintable(ui->texts().first()));
        QVERIFY(ui->texts().first().contains(QStringLiteral("kvintor-db check")));
    }

    void menusInOrder()
    {
        BaseProgram p = start();
        TFExpert &f = *p.FExpert;
        QVERIFY(f.windowTitle().startsWith(QStringLiteral("База данных Kvintor")));
        QStringList bar;
        for (QAction *a : f.menuBar()->actions())
            bar << a->text();
        QCOMPARE(bar, (QStringList{"Окно", "Даные", "Таблица", "Настройки", "О программе"}));
        const QStringList table{"Выделить все", "Экспорт", "Сохранить как", "Печать", "Предварительный просмотр"};
        QCOMPARE(menuTexts(f.TBActionsTable()), table);
        QCOMPARE(menuTexts(f.TBPopupMenu1()), table);
        QCOMPARE(menuTexts(f.AImportTip->associatedObjects().size() ? qobject_cast<QMenu *>(f.menuBar()->actions().at(1)->menu()) : nullptr),
                 (QStringList{"Импорт таблицы типов", "Импорт таблицы тестов", "Выбор данных из архива",
                              "Групповой протокол в Excel (xlsx)", "Протокол в Excel (xlsx)"}));
        Q_EMIT f.windowMenu()->aboutToShow();
        QCOMPARE(menuTexts(f.windowMenu()), (QStringList{"Типы счетчиков", "Тесты", "Архив", "Данные из архива"}));
        // Every grid of the children has the shared pop-up menu.
        for (kv::DataGrid *g : f.findChildren<kv::DataGrid *>())
            QCOMPARE(g->popupMenu(), f.TBPopupMenu1());
        QCOMPARE(f.findChildren<kv::DataGrid *>().size(), 7);
        // A screen reader reads every toolbar button in Russian.
        static const QRegularExpression russian(QStringLiteral("[А-Яа-яЁё]"));
        int buttons = 0;
        for (QToolButton *b : f.findChildren<QToolButton *>()) {
            if (!qobject_cast<QToolBar *>(b->parentWidget()) || !b->defaultAction())
                continue;
            ++buttons;
            QVERIFY2(russian.match(b->accessibleName().isEmpty() ? b->text() : b->accessibleName()).hasMatch(),
                     qPrintable(b->defaultAction()->objectName()));
        }
        QVERIFY(buttons > 10);
    }

    // First start: the types window is maximized and active, and only the
    // types import of the five actions is available.
    void firstStartMaximizesTypes()
    {
        BaseProgram p = start();
        TFExpert &f = *p.FExpert;
        QVERIFY(f.isMaximized() || f.windowState() & Qt::WindowMaximized);
        QCOMPARE(f.activeChild(), p.FTip);
        QVERIFY(f.frameOf(p.FTip)->isMaximized());
        QCOMPARE(actionStates(f), kTip);
        QCOMPARE(f.children().size(), 4);
    }

    // Stored placement with only the archive maximized: archive active, the
    // protocol actions on.
    void storedArchiveMaximized()
    {
        for (const char *w : {"FTip", "FTest", "FArchiv", "FSQL"}) {
            const QString g = QLatin1String(w);
            kv::setSettingText(g, QStringLiteral("Left"), QStringLiteral("5"));
            kv::setSettingText(g, QStringLiteral("Top"), QStringLiteral("6"));
            kv::setSettingText(g, QStringLiteral("Width"), QStringLiteral("500"));
            kv::setSettingText(g, QStringLiteral("Height"), QStringLiteral("300"));
            kv::setSettingText(g, QStringLiteral("WindowState"), g == QLatin1String("FArchiv") ? QStringLiteral("2") : QStringLiteral("0"));
        }
        m_settings->restart();
        BaseProgram p = start();
        TFExpert &f = *p.FExpert;
        QCOMPARE(f.activeChild(), p.FArchiv);
        QVERIFY(f.frameOf(p.FArchiv)->isMaximized());
        QCOMPARE(actionStates(f), kArchiv);
        QVERIFY(!f.frameOf(p.FTip)->isMaximized());
    }

    // All normal: nothing is maximized and every action stays available.
    void storedAllNormal()
    {
        for (const char *w : {"FTip", "FTest", "FArchiv", "FSQL"}) {
            const QString g = QLatin1String(w);
            kv::setSettingText(g, QStringLiteral("Left"), QStringLiteral("10"));
            kv::setSettingText(g, QStringLiteral("Top"), QStringLiteral("10"));
            kv::setSettingText(g, QStringLiteral("Width"), QStringLiteral("400"));
            kv::setSettingText(g, QStringLiteral("Height"), QStringLiteral("300"));
            kv::setSettingText(g, QStringLiteral("WindowState"), QStringLiteral("0"));
        }
        m_settings->restart();
        BaseProgram p = start();
        TFExpert &f = *p.FExpert;
        for (TChildForm *c : f.children())
            QVERIFY(!f.frameOf(c)->isMaximized());
        const QList<bool> all{true, true, true, true, true};
        QCOMPARE(actionStates(f), all);
        chooseInWindowMenu(f, QStringLiteral("Тесты"));
        QCOMPARE(f.activeChild(), p.FTest);
        QCOMPARE(actionStates(f), all);
        chooseInWindowMenu(f, QStringLiteral("Архив"));
        QCOMPARE(actionStates(f), all);
    }

    // Switching maximized children through "Окно" flips the five actions each time.
    void switchingMaximizedChildren()
    {
        BaseProgram p = start();
        TFExpert &f = *p.FExpert;
        chooseInWindowMenu(f, QStringLiteral("Тесты"));
        QVERIFY(f.frameOf(p.FTest)->isMaximized());
        QCOMPARE(actionStates(f), kTest);
        chooseInWindowMenu(f, QStringLiteral("Данные из архива"));
        QCOMPARE(actionStates(f), kSQL);
        chooseInWindowMenu(f, QStringLiteral("Архив"));
        QCOMPARE(actionStates(f), kArchiv);
        chooseInWindowMenu(f, QStringLiteral("Типы счетчиков"));
        QCOMPARE(actionStates(f), kTip);
    }
};

QTEST_MAIN(TestStartUp)
#include "test_start_up.moc"
