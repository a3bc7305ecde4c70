// The builder dialog and the result window inside the running database
// program: the main action shows the builder, its boxes follow the rule, its
// messages come as the operator sees them, a run fills the result grid, and a
// failed run leaves the builder open.

#include "core/ui.h"
#include "reference/archive_view.h"
#include "reference/data_module.h"
#include "shell/main_window.h"
#include "shell/query_window.h"
#include "shell/start_up.h"
#include "support/test_env.h"
#include "widgets/data_grid.h"

#include <QAction>
#include <QBrush>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTabWidget>
#include <QTest>
#include <QToolBar>

using namespace basekvintor;
using C = QueryColumn;
using Q = QueryCondition;

class TestQueryWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<kvtest::TempSettings> m_settings;
    std::unique_ptr<kvtest::TempDatabase> m_db;
    std::unique_ptr<BaseProgram> m_program;

    TFSQLShape *shape() { return m_program->FSQLShape; }
    QCheckBox *column(C c) { return shape()->columnBoxes[std::size_t(c)]; }
    QCheckBox *condition(Q c) { return shape()->conditionBoxes[std::size_t(c)]; }

    // Shows the builder through the main action; `script` plays the operator.
    [[nodiscard]] int runBuilder(kv::RecordingUi &rec, std::function<void(TFSQLShape *)> script)
    {
        rec.queueDialog([script](QDialog *d) {
            auto *s = qobject_cast<TFSQLShape *>(d);
            if (!s)
                return int(QDialog::Rejected);
            s->setResult(QDialog::Rejected);
            script(s);
            return s->result();
        });
        // The builder's action is available while the result window is the maximized child.
        m_program->FExpert->maximizeChild(m_program->FSQL);
        const int before = rec.dialogsShown();
        m_program->FExpert->ASelect->trigger();
        return rec.dialogsShown() - before;
    }

    void exec(const QString &sql)
    {
        QSqlQuery q(DM->database());
        QVERIFY2(q.exec(sql), qPrintable(sql));
    }

private Q_SLOTS:
    void init()
    {
        m_settings = std::make_unique<kvtest::TempSettings>();
        m_db = std::make_unique<kvtest::TempDatabase>(QStringLiteral("fixture"), true);
        {
        QSqlDatabase db = m_db->db();
        kvtest::execOrFail(db, QStringLiteral("INSERT INTO TMeasure (PDate, PPointerTip, PPointerTest) SELECT "
                                              "'2026-05-04 10:00:00', min(PIndex), (SELECT min(PIndex) FROM TTest) "
                                              "FROM TTip"));
        kvtest::execOrFail(db, QStringLiteral("INSERT INTO TPositionCH (PSecIndex, PPosition, PNumber, PSensitivity, "
                                              "PSamochod, PCountDevice, PTotal) VALUES (1, 1, '501', 1, 2, 1, 1), "
                                              "(1, 2, '502', 1, 2, 2, 2)"));
        kvtest::execOrFail(db, QStringLiteral("INSERT INTO TResult (PSecIndex, PPointNumber, PMeasure, PMeasureMax) "
                                              "VALUES (1, 1, 0.3, 1), (2, 1, 1.7, 1)"));
        }
        m_db->close();
        m_program = std::make_unique<BaseProgram>(
            startBaseKvintor({QStringLiteral("BaseKvintor"), QStringLiteral("--database"), m_db->path()}));
        QVERIFY(m_program->FExpert && m_program->FSQLShape && m_program->FSQL);
    }
    void cleanup()
    {
        m_program.reset();
        m_db.reset();
        m_settings.reset();
    }

    void resultWindowBeforeAnyQuery()
    {
        TFSQL *w = m_program->FSQL;
        QCOMPARE(w->DSSQL->rowCount(), 0);
        QCOMPARE(w->DSSQL->columnCount(), kSQLFieldCount);
        for (int c = 0; c < kSQLFieldCount; ++c)
            QVERIFY(w->DBGridSQL->isColumnHidden(c));
        QVERIFY(w->ToolBar->actions().contains(m_program->FExpert->ASelect));
        QCOMPARE(w->DataSetLast->toolTip(), QStringLiteral("Последняя запись"));

        // Maximized, the result window allows only the builder among the five actions.
        m_program->FExpert->maximizeChild(w);
        TFExpert &f = *m_program->FExpert;
        QVERIFY(f.ASelect->isEnabled());
        for (QAction *a : {f.AImportTest, f.AImportTip, f.AGReportXL, f.AReportXl})
            QVERIFY(!a->isEnabled());
    }

    void runFillsTheResultGrid()
    {
        kv::ScopedRecordingUi rec;
        QCOMPARE(runBuilder(*rec, [this](TFSQLShape *s) {
            condition(Q::Verdict)->click();
            QVERIFY(column(C::CBTotal)->isChecked() && !column(C::CBTotal)->isEnabled());
            s->CBoxTotal->setCurrentIndex(2);
            column(C::CBNumber)->click();
            s->AGenerateSQL->trigger();
        }), 1);
        QCOMPARE(rec->dialogsShown(), 1);
        QVERIFY(rec->boxes().isEmpty());
        QCOMPARE(shape()->result(), int(QDialog::Accepted));
        // The export of the result grid reads the kept parts of this run.
        QCOMPARE(FSQLShape, shape());
        QCOMPARE(FSQLShape->columnPart() + FSQLShape->sourcePart(), DM->ADOSQL->statement());

        TFSQL *w = m_program->FSQL;
        QCOMPARE(w->DSSQL->rowCount(), 1);
        const int number = int(SQLField::PNumber), total = int(SQLField::PTotal);
        for (int c = 0; c < kSQLFieldCount; ++c)
            QCOMPARE(w->DBGridSQL->isColumnHidden(c), c != number && c != total);
        QCOMPARE(w->DBGridSQL->cellText(0, number), QStringLiteral("502"));
        QCOMPARE(w->DBGridSQL->cellText(0, total), QStringLiteral("Не годен"));
        QCOMPARE(w->DSSQL->headerData(total, Qt::Horizontal).toString(), QStringLiteral("Заключение"));
        QVERIFY(w->DBGridSQL->column(total).alignment & Qt::AlignHCenter);

        // The builder keeps its choices for the next showing.
        QCOMPARE(runBuilder(*rec, [this](TFSQLShape *) { QVERIFY(condition(Q::Verdict)->isChecked()); }), 1);
    }

    // Every column chosen in a window of ordinary width: each is still as wide
    // as its title (equal shares cut "Чувствительность" and the dates).
    void everyColumnKeepsItsTitle()
    {
        kv::ScopedRecordingUi rec;
        QCOMPARE(runBuilder(*rec, [](TFSQLShape *s) {
            s->ASelect->trigger();
            s->AGenerateSQL->trigger();
        }), 1);
        kv::DataGrid *grid = m_program->FSQL->DBGridSQL;
        grid->resize(1000, 400);
        const QFontMetrics title = grid->horizontalHeader()->fontMetrics();
        const QList<int> shown = grid->shownColumns();
        QVERIFY(shown.size() >= 10);
        for (int c : shown) {
            const QString text = m_program->FSQL->DSSQL->headerData(c, Qt::Horizontal).toString();
            QVERIFY2(grid->columnWidth(c) > title.horizontalAdvance(text), qPrintable(text));
        }
    }

    // The result window says how many rows were found and shades an error
    // beyond its tolerance as the archive window does; printing and saving
    // take the shade from the same place.
    void resultCountAndFailingErrors()
    {
        TFSQL *w = m_program->FSQL;
        QCOMPARE(w->LCount->text(), resultCountText(0));
        kv::ScopedRecordingUi rec;
        QCOMPARE(runBuilder(*rec, [this](TFSQLShape *s) {
            condition(Q::Error)->click();
            if (!column(C::CBMeasureMax)->isChecked())
                column(C::CBMeasureMax)->click();  // the shade needs the limit beside the error
            s->EBefore->setText(QStringLiteral("10"));
            s->AGenerateSQL->trigger();
        }), 1);
        QVERIFY2(rec->boxes().isEmpty(), qPrintable(rec->texts().join(u'\n')));
        QCOMPARE(w->DSSQL->rowCount(), 2);
        QCOMPARE(w->LCount->text(), QStringLiteral("Найдено строк: 2"));
        int shaded = 0;
        for (int r = 0; r < 2; ++r) {
            const QVariant shade = w->DSSQL->index(r, int(SQLField::PNumber)).data(Qt::BackgroundRole);
            const bool fails = w->DSSQL->index(r, int(SQLField::PMeasure)).data(Qt::EditRole).toDouble() > 1;
            QCOMPARE(shade.isValid(), fails);
            if (fails) {
                QCOMPARE(shade.value<QBrush>().color(), kFailColour);
                ++shaded;
            }
        }
        QCOMPARE(shaded, 1);
    }

    void selectionTouchesEnabledBoxesOnly()
    {
        kv::ScopedRecordingUi rec;
        QCOMPARE(runBuilder(*rec, [this](TFSQLShape *s) {
            QVERIFY(s->ASelect->isVisible() || !s->isVisible());
            s->PageControl->setCurrentIndex(1);
            QVERIFY(!s->ASelect->isVisible() && !s->ADeSelect->isVisible());
            condition(Q::Type)->click();
            s->PageControl->setCurrentIndex(0);
            QVERIFY(s->ASelect->isVisible() && s->ADeSelect->isVisible());
            s->ASelect->trigger();
            QVERIFY(column(C::CBMeasureMax)->isChecked());
            s->ADeSelect->trigger();
            for (int i = 0; i < kQueryColumnCount; ++i) {
                const bool held = QueryColumn(i) == C::CBTip || QueryColumn(i) == C::CBID;
                QCOMPARE(shape()->columnBoxes[std::size_t(i)]->isChecked(), held);
                QCOMPARE(shape()->columnBoxes[std::size_t(i)]->isEnabled(), !held);
            }
            QVERIFY(s->GBTip->isEnabled() && !s->GBDate->isEnabled());
        }), 1);
    }

    void errorEditsFilterKeys()
    {
        kv::ScopedRecordingUi rec;
        QCOMPARE(runBuilder(*rec, [this](TFSQLShape *s) {
            s->show();
            condition(Q::Error)->click();
            s->RBMAfter->click();
            QVERIFY(s->EAfter->isEnabled() && !s->EBefore->isEnabled());
            QCOMPARE(s->EAfter->text(), QStringLiteral("0"));
            s->EAfter->clear();
            QTest::keyClicks(s->EAfter, QStringLiteral("-1,5ab"));
            QCOMPARE(s->EAfter->text(), QStringLiteral("-1.5"));
            QTest::keyClick(s->EAfter, Qt::Key_Backspace);
            QCOMPARE(s->builder().EAfter, QStringLiteral("-1."));
            QTest::keyClicks(s->EAfter, QStringLiteral("23456789"));
            QCOMPARE(s->EAfter->text().size(), QueryBuilder::kErrorEditLength);
            s->hide();
        }), 1);
    }

    void messagesStopTheRun()
    {
        kv::ScopedRecordingUi rec;
        QCOMPARE(runBuilder(*rec, [this, &rec](TFSQLShape *s) {
            s->AGenerateSQL->trigger();
            QCOMPARE(rec->boxes().size(), 1);
            QCOMPARE(rec->boxes().at(0).caption, QStringLiteral("Запрос"));
            QCOMPARE(rec->boxes().at(0).text, QStringLiteral("Ни одно поле данных не выбранно"));
            QCOMPARE(rec->boxes().at(0).icon, kv::Icon::Error);

            condition(Q::Error)->click();
            condition(Q::Type)->click();
            condition(Q::Number)->click();
            s->EBefore->clear();
            rec->clear();
            s->AGenerateSQL->trigger();  // the empty edit stops first, silently
            QVERIFY(rec->boxes().isEmpty());

            s->EBefore->setText(QStringLiteral("1)or(1"));  // pasted
            s->AGenerateSQL->trigger();
            QCOMPARE(rec->boxes().size(), 1);
            QVERIFY(rec->boxes().at(0).text.contains(QStringLiteral("1)or(1")));

            s->EBefore->setText(QStringLiteral("2"));
            rec->clear();
            s->AGenerateSQL->trigger();
            s->chooseType(0);
            s->AGenerateSQL->trigger();
            QCOMPARE(rec->texts(), QStringList({QStringLiteral("Необходимо выбрать тип счетчика ?"),
                                                QStringLiteral("Необходимо выбрать номер счетчика ?")}));
            QCOMPARE(rec->boxes().at(0).caption, QStringLiteral("Выбор данных из архива"));
            QCOMPARE(rec->boxes().at(0).icon, kv::Icon::Warning);
            // The grid already follows the chosen columns.
            QVERIFY(!m_program->FSQL->DBGridSQL->isColumnHidden(int(SQLField::PMeasure)));
        }), 1);
        QVERIFY(shape()->result() != QDialog::Accepted);
        QCOMPARE(m_program->FSQL->DSSQL->rowCount(), 0);
    }

    void typeAndNumberChoices()
    {
        kv::ScopedRecordingUi rec;
        const QSqlRecord type = DM->ADOTipDis->record(0);
        QCOMPARE(runBuilder(*rec, [&](TFSQLShape *s) {
            condition(Q::Type)->click();
            s->chooseType(0);
            QCOMPARE(s->EIdent->text(), type.value(2).toString());
            s->AGenerateSQL->trigger();
        }), 1);
        QCOMPARE(m_program->FSQL->DSSQL->rowCount(), 1);
        QCOMPARE(m_program->FSQL->DBGridSQL->cellText(0, int(SQLField::PTip)), type.value(1).toString());
        QVERIFY(DM->ADOSQL->statement().contains(QStringLiteral("(TMeasure.PPointerTip = %1)").arg(type.value(0).toLongLong())));

        // Numbers stored since the last showing are in the list the next time.
        exec(QStringLiteral("INSERT INTO TPositionCH (PSecIndex, PPosition, PNumber, PSensitivity, PSamochod, "
                            "PCountDevice, PTotal) VALUES (1, 3, '503', 0, 0, 0, 0)"));
        QCOMPARE(runBuilder(*rec, [&](TFSQLShape *s) {
            QVERIFY(s->DBLCNumber->findText(QStringLiteral("503")) >= 0);
            condition(Q::Type)->click();
            condition(Q::Number)->click();
            s->DBLCNumber->setCurrentIndex(s->DBLCNumber->findText(QStringLiteral("503")));
            s->AGenerateSQL->trigger();
        }), 1);
        QVERIFY(rec->boxes().isEmpty());
        QCOMPARE(m_program->FSQL->DSSQL->rowCount(), 1);
        QCOMPARE(m_program->FSQL->DBGridSQL->cellText(0, int(SQLField::PNumber)), QStringLiteral("503"));
    }

    void aLongArchiveStartsWithoutReadingEveryMeterNumber()
    {
        // Years of archive hold hundreds of thousands of numbers; the number
        // box must not go through them to size itself when the program starts.
        m_program.reset();
        kvtest::TempDatabase many(QStringLiteral("many"), true);
        {
            QSqlDatabase db = many.db();
            kvtest::execOrFail(db, QStringLiteral("INSERT INTO TMeasure (PDate, PPointerTip, PPointerTest) SELECT "
                                                  "'2026-05-04 10:00:00', min(PIndex), (SELECT min(PIndex) FROM TTest) "
                                                  "FROM TTip"));
            kvtest::execOrFail(db, QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                                                  "WHERE i < 20000) INSERT INTO TPositionCH (PSecIndex, PPosition, "
                                                  "PNumber, PSensitivity, PSamochod, PCountDevice, PTotal) SELECT 1, "
                                                  "11, 'N' || i, 1, 2, 1, 1 FROM n"));
        }
        many.close();
        BaseProgram p = startBaseKvintor({QStringLiteral("BaseKvintor"), QStringLiteral("--database"), many.path()});
        QVERIFY(p.FExpert && p.FSQLShape);
        QCoreApplication::processEvents();
        (void)p.FSQLShape->sizeHint();
        TQueryDataSet *numbers = p.DM->ADOPositionDis;
        QCOMPARE(numbers->rowsRead(), 0);  // not read until the builder is shown
        p.FSQLShape->rereadNumbers();
        QCOMPARE(numbers->rowCount(), 20000);
        QVERIFY2(numbers->rowsRead() <= 8 * TQueryDataSet::kPageRows, qPrintable(QString::number(numbers->rowsRead())));
        // The box still offers the numbers.
        QCOMPARE(p.FSQLShape->DBLCNumber->count(), 20000);
        QCOMPARE(p.FSQLShape->DBLCNumber->itemText(19999).left(1), QStringLiteral("N"));
    }

    void failedRunLeavesTheBuilderOpen()
    {
        exec(QStringLiteral("DROP TABLE TResult"));
        kv::ScopedRecordingUi rec;
        QCOMPARE(runBuilder(*rec, [&](TFSQLShape *s) {
            column(C::CBNumPoint)->click();
            QVERIFY(!s->GenerateSQL());
        }), 1);
        QCOMPARE(rec->boxes().size(), 1);
        QCOMPARE(rec->boxes().at(0).caption, QStringLiteral("Ошибка"));
        QCOMPARE(rec->boxes().at(0).text, QStringLiteral("Ошибка запроса к базе данных !!!"));
        QCOMPARE(rec->boxes().at(0).icon, kv::Icon::Error);
        QVERIFY(shape()->result() != QDialog::Accepted);
        // The kept parts are those of the failed statement.
        QCOMPARE(shape()->columnPart(), QStringLiteral(" Select TResult.PPointNumber "));
        QCOMPARE(shape()->sourcePart(), QStringLiteral(" From TResult "));
    }
};

QTEST_MAIN(TestQueryWindow)
#include "test_query_window.moc"
