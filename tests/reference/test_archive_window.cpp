// The archive window: what its grids show, highlighting of errors beyond
// their tolerance, following the selected record and meter, record actions
// and deletions.

#include "archive_fixture.h"
#include "database/engine_sql.h"

#include "core/settings.h"
#include "core/ui.h"
#include "reference/archive_view.h"
#include "reference/archive_window.h"
#include "shell/main_window.h"
#include "shell/protocol_panel.h"
#include "shell/start_up.h"
#include "widgets/data_grid.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QImage>
#include <QLocale>
#include <QToolBar>
#include <QTest>

using namespace basekvintor;

namespace {

// The shown texts of a grid's column, by title.
QStringList shown(const kv::DataGrid *grid, const QString &title)
{
    int column = -1;
    for (int c : grid->shownColumns())
        if (grid->model()->headerData(c, Qt::Horizontal).toString() == title)
            column = c;
    QStringList values;
    for (int r = 0; column >= 0 && r < grid->model()->rowCount(); ++r)
        values << grid->cellText(r, column);
    return values;
}

QStringList titles(const kv::DataGrid *grid)
{
    QStringList list;
    for (int c : grid->shownColumns())
        list << grid->model()->headerData(c, Qt::Horizontal).toString();
    return list;
}

// Replaces the errors of the first meter of record 1 (position 21).
void setErrors(QSqlDatabase db, const QList<QPair<QVariant, QVariant>> &errors)
{
    kvtest::execOrFail(db, QStringLiteral("DELETE FROM TResult WHERE PSecIndex = 1"));
    int point = 1;
    for (const auto &e : errors) {
        QSqlQuery q(db);
        q.prepare(kv::engineSql(q.driver(), QStringLiteral("INSERT INTO TResult (PSecIndex, PPointNumber, PMeasure, PMeasureMax) VALUES (1, ?, ?, ?)")));
        q.addBindValue(point++);
        q.addBindValue(e.first);
        q.addBindValue(e.second);
        QVERIFY(q.exec());
    }
}

}  // namespace

class TestArchiveWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia)); }

    void gridsShowTheirFieldsAsTheOperatorReadsThem()
    {
        archtest::Data d(QStringLiteral("shows"));
        TFArchiv w(&d.dm);
        QCOMPARE(w.windowTitle(), QStringLiteral("Архив"));
        QCOMPARE(titles(w.DBTest), (QStringList{"Дата", "Тип", "Обозначение", "Тест"}));
        QCOMPARE(titles(w.DBPosition), (QStringList{"Позиция", "Номер счетчика", "Чувствительность", "Самоход",
                                                    "Счетное устройство", "Заключение"}));
        QCOMPARE(titles(w.DBResult), (QStringList{"№ Точки", "Погрешность, %", "Допуск, %"}));
        QCOMPARE(shown(w.DBTest, QStringLiteral("Дата")).first(), QStringLiteral("01.03.2026 10:00:00"));
        QCOMPARE(shown(w.DBTest, QStringLiteral("Тест")),
                 (QStringList{"Поверка", "Поверка", "Выборочная"}));
        QCOMPARE(shown(w.DBPosition, QStringLiteral("Позиция")), (QStringList{"21", "22", "25", "41", "42"}));
        QCOMPARE(shown(w.DBPosition, QStringLiteral("Чувствительность")),
                 (QStringList{"есть", "нет", "не проводился", "есть", "есть"}));
        QCOMPARE(shown(w.DBPosition, QStringLiteral("Счетное устройство")).at(0), QStringLiteral("норма"));
        QCOMPARE(shown(w.DBPosition, QStringLiteral("Заключение")),
                 (QStringList{"Годен", "Не годен", "Нет данных", "Годен", "Не годен"}));
        QCOMPARE(shown(w.DBResult, QStringLiteral("№ Точки")).size(), 9);
        // Nothing is edited here.
        for (kv::DataGrid *g : {w.DBTest, w.DBPosition, w.DBResult}) {
            QVERIFY(g->isReadOnly());
            QVERIFY(!(g->model()->flags(g->model()->index(0, 1)) & Qt::ItemIsEditable));
        }
        // The record actions first; after them only the curves.
        QCOMPARE(w.ToolBar->actions().mid(0, 5),
                 (QList<QAction *>{w.DataSetFirst1, w.DataSetPrior1, w.DataSetNext1, w.DataSetLast1, w.DataSetDelete1}));
        QCOMPARE(w.ToolBar->actions().mid(6), (QList<QAction *>{w.ACurves, w.ACurvesMeter}));
        QCOMPARE(w.DataSetDelete1->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Delete));
    }

    void anotherRecordReplacesMetersAndErrors()
    {
        archtest::Data d(QStringLiteral("follow"));
        TFArchiv w(&d.dm);
        QCOMPARE(w.DBPosition->model()->rowCount(), 5);
        QCOMPARE(w.DBPosition->currentRow(), 0);

        w.DBTest->setCurrentRow(2);  // the gapped test's record: one meter at 11
        QCOMPARE(shown(w.DBPosition, QStringLiteral("Позиция")), QStringList{"11"});
        QCOMPARE(shown(w.DBResult, QStringLiteral("№ Точки")), (QStringList{"3", "7"}));
        QCOMPARE(w.DBPosition->currentRow(), 0);
        // Columns stay as they were set up after the lists are read again.
        QCOMPARE(titles(w.DBResult), (QStringList{"№ Точки", "Погрешность, %", "Допуск, %"}));

        w.DBTest->setCurrentRow(1);  // no meters: nothing below
        QCOMPARE(w.DBPosition->model()->rowCount(), 0);
        QCOMPARE(w.DBResult->model()->rowCount(), 0);

        w.DBTest->setCurrentRow(0);
        w.DBPosition->setCurrentRow(4);  // position 42
        QCOMPARE(d.dm.currentPositionKey(), qint64(5));
        QCOMPARE(shown(w.DBResult, QStringLiteral("Погрешность, %")).at(1), QStringLiteral("-0,0000123456789012345"));
    }

    void recordActionsFollowTheGridEnteredLast()
    {
        archtest::Data d(QStringLiteral("actions"));
        TFArchiv w(&d.dm);
        QCOMPARE(w.actionGrid(), w.DBTest);
        QVERIFY(!w.DataSetPrior1->isEnabled());
        w.DataSetLast1Execute();
        QCOMPARE(w.DBTest->currentRow(), 2);
        QVERIFY(!w.DataSetNext1->isEnabled());
        w.DataSetFirst1Execute();
        QCOMPARE(w.DBTest->currentRow(), 0);

        w.DBTestEnter(w.DBPosition);
        w.DataSetNext1Execute();
        w.DataSetNext1Execute();
        QCOMPARE(w.DBPosition->currentRow(), 2);
        QCOMPARE(d.dm.currentPositionKey(), qint64(3));  // position 25: point 3 has no error
        QCOMPARE(shown(w.DBResult, QStringLiteral("№ Точки")), (QStringList{"1", "2", "4", "5", "6", "7", "8", "9"}));
        w.DataSetPrior1Execute();
        QCOMPARE(d.dm.currentPositionKey(), qint64(2));
        QCOMPARE(w.DBTest->currentRow(), 0);  // the archive list did not move
    }

    void errorsBeyondToleranceAreHighlighted()
    {
        archtest::Data d(QStringLiteral("highlight"));
        setErrors(d.db.db(), {{-0.8, 0.5}, {0.6, -0.5}, {0.5, 0.5}, {-0.5, -0.5}, {0.2, 1.0}, {QVariant(), 0.5}});
        d.dm.refreshArchive();
        TFArchiv w(&d.dm);
        QAbstractItemModel *results = w.DBResult->model();
        QCOMPARE(results->rowCount(), 6);
        QList<bool> lit;
        for (int r = 0; r < results->rowCount(); ++r) {
            // All three shown cells of a row alike.
            for (int c : w.DBResult->shownColumns())
                QCOMPARE(results->index(r, c).data(ArchiveListView::HighlightRole).toBool(),
                         results->index(r, w.DBResult->shownColumns().first())
                             .data(ArchiveListView::HighlightRole)
                             .toBool());
            lit << results->index(r, 0).data(ArchiveListView::HighlightRole).toBool();
        }
        QCOMPARE(lit, (QList<bool>{true, true, false, false, false, false}));

        // Drawn on the fail colour: a corner of each cell of the first row, not of the third.
        w.resize(600, 700);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.DBResult->setCurrentRow(5);  // keep the current-row tint off the rows looked at
        const QImage image = w.DBResult->viewport()->grab().toImage();
        for (int c : w.DBResult->shownColumns()) {
            const QRect first = w.DBResult->visualRect(results->index(0, c));
            const QRect third = w.DBResult->visualRect(results->index(2, c));
            QCOMPARE(QColor(image.pixel(first.topLeft() + QPoint(1, 1))), kFailColour);
            QVERIFY(QColor(image.pixel(third.topLeft() + QPoint(1, 1))) != kFailColour);
        }
    }

    void highlightGeometry()
    {
        QVERIFY(resultExceedsTolerance(-0.8, 0.5));
        QVERIFY(resultExceedsTolerance(0.6, -0.5));
        QVERIFY(!resultExceedsTolerance(0.5, 0.5));
        QVERIFY(!resultExceedsTolerance(QVariant(), 0.5));
        // Centre of left 0..right 10 is 5; half the text's 5 is 2.5, to the even 2.
        QCOMPARE(centredTextOrigin(QRect(0, 0, 10, 10), QSize(5, 4)), QPoint(3, 3));
        // (0 + 5) / 2 = 2.5 -> 2; (20 + 35) / 2 - 7 = 20.5 -> 20.
        QCOMPARE(centredTextOrigin(QRect(0, 20, 5, 15), QSize(2, 14)), QPoint(1, 20));
        QCOMPARE(roundHalfEven(3.5), 4);
        QCOMPARE(roundHalfEven(-2.5), -2);
    }

    void deletingAllMetersOfTheRecord()
    {
        archtest::Data d(QStringLiteral("delall"));
        kv::ScopedRecordingUi ui;
        TFArchiv w(&d.dm);
        w.DBPosition->selectAll();
        ui->queueAnswer(QMessageBox::No);
        w.deleteIn(w.DBPosition);
        QCOMPARE(ui->boxes().size(), 1);
        QCOMPARE(ui->boxes().at(0).caption, QStringLiteral("Удаление данных"));
        QCOMPARE(ui->boxes().at(0).text, QStringLiteral("Удалить все выделенные записи ?"));
        QCOMPARE(ui->boxes().at(0).icon, kv::Icon::Question);
        QCOMPARE(d.scalar(QStringLiteral("SELECT count(*) FROM TPositionCH")).toInt(), 6);

        w.DBPosition->selectAll();
        ui->queueAnswer(QMessageBox::Yes);
        w.deleteIn(w.DBPosition);
        QCOMPARE(d.scalar(QStringLiteral("SELECT count(*) FROM TPositionCH WHERE PSecIndex = 1")).toInt(), 0);
        // Their errors went with them; the other record keeps its meter and errors.
        QCOMPARE(d.scalar(QStringLiteral("SELECT count(*) FROM TPositionCH")).toInt(), 1);
        QCOMPARE(d.scalar(QStringLiteral("SELECT count(*) FROM TResult")).toInt(), 2);
        QCOMPARE(w.DBPosition->model()->rowCount(), 0);
        QCOMPARE(w.DBResult->model()->rowCount(), 0);
        QCOMPARE(d.scalar(QStringLiteral("SELECT count(*) FROM TMeasure")).toInt(), 3);
    }

    void deletingMarkedErrorsAndTheCurrentRecord()
    {
        archtest::Data d(QStringLiteral("delsome"));
        kv::ScopedRecordingUi ui;
        TFArchiv w(&d.dm);
        // Marked rows of the errors grid: points 2 and 5 of position 21.
        w.DBResult->markRow(1);
        w.DBResult->markRow(4);
        w.deleteIn(w.DBResult);
        QCOMPARE(shown(w.DBResult, QStringLiteral("№ Точки")), (QStringList{"1", "3", "4", "6", "7", "8", "9"}));
        QCOMPARE(d.scalar(QStringLiteral("SELECT count(*) FROM TResult WHERE PSecIndex = 1")).toInt(), 7);

        // The current record, unmarked: the record and everything under it.
        w.deleteIn(w.DBTest);
        QCOMPARE(d.scalar(QStringLiteral("SELECT count(*) FROM TMeasure WHERE PIndex = 1")).toInt(), 0);
        QCOMPARE(d.scalar(QStringLiteral("SELECT count(*) FROM TPositionCH WHERE PSecIndex = 1")).toInt(), 0);
        QCOMPARE(d.scalar(QStringLiteral("SELECT count(*) FROM TResult")).toInt(), 2);
        // The list moves on to the first remaining record and shows what is under it.
        QCOMPARE(w.DBTest->model()->rowCount(), 2);
        QCOMPARE(w.DBTest->currentRow(), 0);
        QCOMPARE(d.dm.currentMeasureKey(), qint64(2));
        QCOMPARE(w.DBPosition->model()->rowCount(), 0);
        QCOMPARE(ui->boxes().size(), 2);  // one question each, no other message

        // Without a focused grid the delete action does nothing.
        w.DataSetDelete1Execute();
        QCOMPARE(ui->boxes().size(), 2);
    }

    void protocolActionsOfTheProgram()
    {
        kvtest::TempSettings settings;
        kv::setSettingText(kv::kProtocolDataGroup, QStringLiteral("eautoInc"), QStringLiteral("1"));
        kv::setSettingText(kv::kProtocolDataGroup, QStringLiteral("enumProt"), QStringLiteral("7"));
        kvtest::TempDatabase db(QStringLiteral("program"));
        archtest::fill(db.db());
        QTemporaryDir work;
        const QString previous = QDir::currentPath();
        QDir::setCurrent(work.path());
        kv::ScopedRecordingUi ui;
        {
            BaseProgram p = startBaseKvintor({QStringLiteral("BaseKvintor"), QStringLiteral("--database"), db.path()});
            QVERIFY(p.FExpert);
            p.FExpert->maximizeChild(p.FArchiv);
            QVERIFY(p.FExpert->AGReportXL->isEnabled());
            QVERIFY(p.FExpert->AReportXl->isEnabled());

            // Group protocol of the first record: stands 2 and 4.
            p.FExpert->AGReportXL->trigger();
            QCOMPARE(QDir(QStringLiteral("Протоколы")).entryList(QDir::Files).size(), 2);
            QCOMPARE(p.FExpert->SFDataProt()->ENumProt->text(), QStringLiteral("9"));
            QCOMPARE(QApplication::overrideCursor(), nullptr);

            // The meter selected in the window is the one printed.
            p.FArchiv->DBPosition->setCurrentRow(4);
            p.FExpert->AReportXl->trigger();
            const QStringList files = QDir(QStringLiteral("Протоколы")).entryList(QDir::Files);
            QCOMPARE(files.size(), 3);
            QVERIFY(files.filter(QStringLiteral("стенд 4")).size() == 2);

            // A record without meters: the single protocol does nothing.
            p.FArchiv->DBTest->setCurrentRow(1);
            p.FExpert->AReportXl->trigger();
            QCOMPARE(QDir(QStringLiteral("Протоколы")).entryList(QDir::Files).size(), 3);
            QVERIFY2(ui->boxes().isEmpty(), qPrintable(ui->texts().join(u'\n')));
        }
        QCOMPARE(kv::settingText(kv::kProtocolDataGroup, QStringLiteral("enumProt")), QStringLiteral("10"));
        QDir::setCurrent(previous);
    }
};

QTEST_MAIN(TestArchiveWindow)
#include "test_archive_window.moc"
