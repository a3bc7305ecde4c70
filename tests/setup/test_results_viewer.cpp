// The results viewer over a finished run on stands 1 and 3, and the group
// protocol made from it, read back with an independent workbook reader.

#include "core/clock.h"
#include "run/run_fixture.h"
#include "setup/protocol_data_window.h"
#include "setup/result_tables.h"
#include "setup/results_window.h"
#include "widgets/workbook_reader.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QScrollBar>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>

using namespace kvintor;

namespace {

const QString kError = QStringLiteral("п");
const QString kCreep = QStringLiteral("с");
const QString kRegister = QStringLiteral("с/у");

// Stand 1: positions 1, 2 ticked; stand 3: positions 1, 2, 3. A test with
// points 1 (cos 1), 2 (0.5 L), 3 (measured nowhere), creep (5 min 30 s) and
// the register test; the run numbers them 1..5 in that order, while the rows
// carry the test's own numbers 1, 2, 3, 10 and 11.
struct ViewerRun {
    runtest::Rig r;
    RunState &run = *r.run;

    ViewerRun()
    {
        const qlonglong type = r.addType({});
        const qlonglong test = r.addTest({{1, 100, 100, 1, 0, 5, 1}, {2, 100, 50, 0.5, 1, 10, 1.5}, {3}}, {},
                                         {true, 10, 115, 0, 5, 30}, {true, 11, 100, 5, 2, 0});
        r.choose(ModeVerification, {{1, {1, 2}}, {3, {1, 2, 3}}}, type, test);
        r.start(ModeVerification);
        run.SetSetup(&r.setup);
        run.SizeResults(r.f.dm->ADOTestBuf->count() + 1);
        for (int s : {1, 3})
            for (int i = 1; i < run.StandResults[s].Limits.size(); ++i)
                run.StandResults[s].Limits[i] = 1;
    }

    // The results index of the running test's point with item number n.
    int index(int n)
    {
        Dataset *buf = r.f.dm->ADOTestBuf;
        for (int row = 0; row < buf->count(); ++row)
            if (buf->valueAt(row, QStringLiteral("PNumPoint1")).toInt() == n)
                return buf->valueAt(row, QStringLiteral("PNumPoint")).toInt();
        qFatal("no point %d", n);
        return 0;
    }

    void measure(int stand, int position, int n, long double error)
    {
        const int i = index(n);
        run.StandResults[stand].Errors[position][i] = error;
        run.StandResults[stand].Measured[position][i] = true;
    }

    // Stand 3 has the shown results; stand 1 passes everything.
    void fillPassing()
    {
        for (int s : {1, 3})
            for (int p = 1; p <= 3; ++p) {
                measure(s, p, 1, 0.25L * p);
                measure(s, p, 2, -0.1L * p);
                run.StandResults[s].CreepVerdict[p] = 2;
                run.StandResults[s].RegisterVerdict[p] = 1;
            }
    }

    TDM &dm() { return *r.f.dm; }

    // The visible RMResult row with item number n.
    int resultRow(int n)
    {
        for (int row = 0; row < dm().RMResult->count(); ++row)
            if (dm().RMResult->valueAt(row, QStringLiteral("N")).toInt() == n)
                return row;
        return -1;
    }
    QString cell(int n, const QString &field) { return dm().RMResult->valueAt(resultRow(n), field).toString(); }

    void select(const QString &stand)
    {
        QVERIFY(dm().RMStend->locate(QStringLiteral("PStend"), stand));
    }
};

}  // namespace

class TestResultsViewer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { kv::setNowForTests(QDateTime(QDate(2003, 3, 5), QTime(10, 0))); }
    void cleanup() { kv::setNowForTests(QDateTime()); }

    void rowsOfTwoStandsAndSwitching()
    {
        ViewerRun v;
        v.fillPassing();
        v.measure(1, 4, 1, 9);  // position 4 of stand 1 is not ticked: never shown
        BuildResultTables(v.dm(), v.run);

        RecordTable *stands = v.dm().RMStend;
        QCOMPARE(stands->count(), 2);
        QCOMPARE(stands->valueAt(0, QStringLiteral("PStend")).toString(), QStringLiteral("Стенд №1"));
        QCOMPARE(stands->valueAt(1, QStringLiteral("PStend")).toString(), QStringLiteral("Стенд №3"));
        QCOMPARE(stands->recNo(), 1);

        // Stand 3's rows first: three points and two special rows.
        RecordTable *results = v.dm().RMResult;
        QCOMPARE(results->count(), 5);
        QCOMPARE(v.cell(1, QStringLiteral("Mode")), kError);
        QCOMPARE(v.cell(1, QStringLiteral("KM")), QStringLiteral("1"));
        QCOMPARE(v.cell(2, QStringLiteral("KM")), QStringLiteral("0.5/L"));
        QCOMPARE(v.cell(2, QStringLiteral("CountRotation")), QStringLiteral("10"));
        QCOMPARE(v.cell(1, QStringLiteral("N3")), QStringLiteral("0.75"));
        QCOMPARE(v.cell(1, QStringLiteral("PLimit")).toDouble(), 1.0);
        // Numbered as the test numbers them, as the archive's protocols are.
        QStringList numbers;
        for (int row = 0; row < results->count(); ++row)
            numbers << results->valueAt(row, QStringLiteral("N")).toString();
        QCOMPARE(numbers, (QStringList{"1", "2", "3", "10", "11"}));
        QCOMPARE(v.cell(10, QStringLiteral("Mode")), kCreep);
        QCOMPARE(v.cell(10, QStringLiteral("CountRotation")), QStringLiteral("5,30"));
        QCOMPARE(v.cell(10, QStringLiteral("N3")), QStringLiteral("Нет"));
        QCOMPARE(v.cell(11, QStringLiteral("N1")), QStringLiteral("Норма"));
        QCOMPARE(v.cell(11, QStringLiteral("U")).toInt(), 100);

        // Selecting stand 1 shows its rows only; unticked positions stay empty.
        v.select(QStringLiteral("Стенд №1"));
        QCOMPARE(results->count(), 5);
        for (int row = 0; row < results->count(); ++row) {
            QCOMPARE(results->valueAt(row, QStringLiteral("PSecIndex")), stands->value(QStringLiteral("PIndex")));
            for (int p = 3; p <= 6; ++p)
                QVERIFY(results->valueAt(row, QStringLiteral("N%1").arg(p)).toString().isEmpty());
        }
        QCOMPARE(v.cell(1, QStringLiteral("N2")), QStringLiteral("0.5"));
        QVERIFY(stands->value(QStringLiteral("PTotal")).toBool());

        // A point nobody measured: no results and no limit.
        QCOMPARE(v.cell(3, QStringLiteral("Mode")), kError);
        for (int p = 1; p <= 6; ++p)
            QVERIFY(v.cell(3, QStringLiteral("N%1").arg(p)).isEmpty());
        QVERIFY(results->valueAt(v.resultRow(3), QStringLiteral("PLimit")).isNull());

        // A second showing starts afresh.
        BuildResultTables(v.dm(), v.run);
        QCOMPARE(stands->count(), 2);
        QCOMPARE(results->count(), 5);
    }

    void failuresAreColoured()
    {
        ViewerRun v;
        v.fillPassing();
        v.measure(3, 2, 1, -1.0L);  // exactly at the limit: red here
        v.run.StandResults[3].CreepVerdict[1] = 1;  // crept
        v.run.StandResults[1].RegisterVerdict[2] = 2;
        BuildResultTables(v.dm(), v.run);
        ViewerGridModel stands(v.dm().RMStend, ViewerGridModel::Grid::Stands);
        ViewerGridModel results(v.dm().RMResult, ViewerGridModel::Grid::Results);

        QCOMPARE(stands.columnCount(), 1);
        QCOMPARE(stands.headerData(0, Qt::Horizontal).toString(), QStringLiteral("Стенд"));
        QStringList titles;
        for (int c = 0; c < results.columnCount(); ++c)
            titles << results.headerData(c, Qt::Horizontal).toString();
        // Each meter's verdict under its number, as the archive will store it:
        // a crept meter fails; one exactly at its limit passes (its cell is
        // red all the same); empty positions have none. The limit stands
        // beside the errors, the point's current and power factor after.
        QCOMPARE(titles, QStringList({"Режим", "Сч №1\nНе годен", "Сч №2\nГоден", "Сч №3\nГоден", "Сч №4", "Сч №5",
                                      "Сч №6", "%, Допуск", "Ток, %", "cos φ"}));
        QCOMPARE(results.data(results.index(v.resultRow(2), 9)).toString(), QStringLiteral("0.5/L"));
        QCOMPARE(results.data(results.index(v.resultRow(2), 8)).toInt(), 50);

        const auto colour = [&](int n, int p) {
            return results.data(results.index(v.resultRow(n), p), Qt::BackgroundRole).value<QColor>();
        };
        const QColor red = FailureColor();
        QCOMPARE(red, QColor(255, 215, 215));
        // Stand 3 (current): the error at its limit and the creep "Есть" are red.
        QCOMPARE(colour(1, 2), red);
        QCOMPARE(results.data(results.index(v.resultRow(1), 2), Qt::TextAlignmentRole).toInt(), int(Qt::AlignCenter));
        QCOMPARE(colour(1, 3), QColor(Qt::white));  // 0.75 inside 1
        QCOMPARE(colour(1, 0), QColor(Qt::white));  // the mode column
        QCOMPARE(v.cell(10, QStringLiteral("N1")), QStringLiteral("Есть"));
        QCOMPARE(colour(10, 1), red);
        QCOMPARE(colour(10, 2), QColor(Qt::white));  // "Нет" of creep
        QCOMPARE(colour(11, 1), QColor(Qt::white));  // "Норма"
        QCOMPARE(results.data(results.index(0, 1), Qt::ForegroundRole).value<QColor>(), QColor(Qt::black));
        QCOMPARE(stands.data(stands.index(1, 0), Qt::BackgroundRole).value<QColor>(), red);
        // Stand 1: a failed register test makes it red too.
        QCOMPARE(stands.data(stands.index(0, 0), Qt::BackgroundRole).value<QColor>(), red);
        v.select(QStringLiteral("Стенд №1"));
        QCOMPARE(colour(11, 2), red);
        // A failed register test alone fails the meter.
        QCOMPARE(results.headerData(1, Qt::Horizontal).toString(), QStringLiteral("Сч №1\nГоден"));
        QCOMPARE(results.headerData(2, Qt::Horizontal).toString(), QStringLiteral("Сч №2\nНе годен"));

        // The rule itself, beyond the table: |error| ≥ limit, words by mode.
        QVERIFY(ResultCellFails(kError, QStringLiteral("+1.2"), 1.0));
        QVERIFY(!ResultCellFails(kError, QStringLiteral("0.999"), 1.0));
        QVERIFY(!ResultCellFails(kError, QString(), 0.0));
        QVERIFY(ResultCellFails(QStringLiteral("ч"), QStringLiteral("Нет"), {}));
        QVERIFY(!ResultCellFails(QStringLiteral("ч"), QStringLiteral("Есть"), {}));
        QVERIFY(ResultCellFails(kRegister, QStringLiteral("Нет"), {}));
    }

    void passingStandStaysWhite()
    {
        ViewerRun v;
        v.fillPassing();
        BuildResultTables(v.dm(), v.run);
        ViewerGridModel stands(v.dm().RMStend, ViewerGridModel::Grid::Stands);
        for (int row = 0; row < 2; ++row)
            QCOMPARE(stands.data(stands.index(row, 0), Qt::BackgroundRole).value<QColor>(), QColor(Qt::white));
    }

    void groupProtocolOfTwoStands()
    {
        QTemporaryDir work;
        const QString before = QDir::currentPath();
        QDir::setCurrent(work.path());
        ViewerRun v;
        v.fillPassing();
        BuildResultTables(v.dm(), v.run);

        kv::ProtocolData data;
        data.autoIncrement = true;
        data.protocolNumber = QStringLiteral("41");
        data.verifier = QStringLiteral("Иванов");
        data.organisation = QStringLiteral("ЦСМ");
        auto numbers = [](int s, int p) { return p == 2 ? QString() : QStringLiteral("<%1&%2>").arg(s).arg(p); };
        StandProtocols protocols(v.dm(), {[&] { return data; }, numbers, [&] { kv::advanceProtocolNumber(data); }, {}});
        const QStringList files = protocols.BuildStandProtocols();
        QDir::setCurrent(before);

        QVERIFY2(v.r.ui->boxes().isEmpty(), qPrintable(v.r.ui->texts().join(QLatin1Char('\n'))));
        QCOMPARE(files.size(), 2);
        QCOMPARE(data.protocolNumber, QStringLiteral("43"));
        QCOMPARE(v.dm().RMStend->recNo(), 1);  // the operator's stand stays selected

        const QString date = kv::shortDateText(QDate(2003, 3, 5));
        const QList<QPair<QString, int>> expected = {{QStringLiteral("41"), 1}, {QStringLiteral("42"), 3}};
        for (int k = 0; k < 2; ++k) {
            QVERIFY(QFileInfo::exists(files[k]));
            const QJsonObject sheet = kvtest::sheetOf(kvtest::readWorkbook(files[k]));
            QStringList texts;
            int tableRows = 0, errorRowsChecked = 0;
            const QJsonObject cells = sheet.value(QStringLiteral("cells")).toObject();
            for (auto it = cells.begin(); it != cells.end(); ++it) {
                const QString value = it.value().toArray().at(0).toVariant().toString();
                texts << value;
                if (it.key().startsWith(QLatin1Char('B')) && QStringList({kError, kCreep, kRegister}).contains(value))
                    ++tableRows;
                // The same cell types as the database program's protocols:
                // voltage, current and errors are numbers.
                if (it.key().startsWith(QLatin1Char('B')) && value == kError) {
                    const QString row = it.key().mid(1);
                    for (const char *column : {"C", "D", "G", "H", "I", "J", "K", "L"})
                        if (kvtest::has(sheet, QLatin1String(column) + row))
                            QCOMPARE(kvtest::type(sheet, QLatin1String(column) + row), QStringLiteral("n"));
                    ++errorRowsChecked;
                }
            }
            QVERIFY(errorRowsChecked > 0);
            QVERIFY(texts.contains(date));  // "Дата поверки:" filled
            const int stand = expected[k].second;
            QVERIFY(texts.contains(QStringLiteral("ГРУППОВОЙ  ПРОТОКОЛ  ПОВЕРКИ  № ") + expected[k].first +
                                   QStringLiteral("  ОТ  ") + date));
            QVERIFY(texts.contains(QStringLiteral("Стенд №%1").arg(stand)));
            QVERIFY(texts.contains(QStringLiteral("Поверку произвел: Иванов")));
            QVERIFY(texts.contains(QStringLiteral("ЦСМ")));
            QVERIFY(texts.contains(QStringLiteral("установка типа Kvintor, № 0 (свидетельство о поверке № 0 от 0, "
                                                   "срок действия до 0).")));
            QVERIFY(texts.contains(QStringLiteral("<%1&1>").arg(stand)));
            QVERIFY(!texts.contains(QStringLiteral("<%1&2>").arg(stand)));
            QVERIFY(texts.contains(QStringLiteral("Т-1")));  // the stand's meter type
            QCOMPARE(tableRows, 5);
        }
    }

    void viewerWindow()
    {
        ViewerRun v;
        v.fillPassing();
        v.run.StandResults[1].RegisterVerdict[2] = 2;  // meter 1.2 fails, stand 3 passes
        int saves = 0;
        kv::ProtocolData data;
        v.run.SaveInBaseEnabled = true;
        TFView view(v.dm(), v.run, &v.r.windows->FNumber, {[&] { return data; }, {}, {}, {}}, {[&] {
                        ++saves;
                        v.run.SaveInBaseEnabled = false;
                        v.run.StatusText = RunControl::SavedText(5);
                        v.run.Changed();
                    },
                    {}});
        QCOMPARE(view.windowTitle(), QStringLiteral("Просмотр результатов поверки"));
        view.show();
        QCOMPARE(view.size(), TFView::DefaultSize);
        // Every meter column and the limit, current and power factor in view
        // without scrolling sideways.
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QCOMPARE(view.DBRMResult->horizontalScrollBar()->maximum(), 0);
        QCOMPARE(view.DBStend->model()->rowCount(), 2);
        QCOMPARE(view.DBStend->currentIndex().row(), 1);
        const int passWidth = view.DBRMResult->columnWidth(2);
        view.DBStend->setCurrentIndex(view.StandModel->index(0, 0));
        QCOMPARE(v.dm().RMStend->recNo(), 0);
        QCOMPARE(view.DBRMResult->model()->rowCount(), 5);
        // The wider verdict of the stand chosen is not cut.
        QCOMPARE(view.ResultModel->headerData(2, Qt::Horizontal).toString(), QStringLiteral("Сч №2\nНе годен"));
        const QFontMetrics header = view.DBRMResult->horizontalHeader()->fontMetrics();
        QVERIFY(view.DBRMResult->columnWidth(2) > passWidth);
        QVERIFY(view.DBRMResult->columnWidth(2) > header.horizontalAdvance(QStringLiteral("Не годен")));
        QCOMPARE(view.ResultModel->data(view.ResultModel->index(0, 1)).toString().isEmpty(), false);

        QVERIFY(view.Button1->isEnabled());
        QVERIFY(view.LStatus->text().isEmpty());
        view.Button1->click();
        QCOMPARE(saves, 1);
        // Saved: the count in the status line, no second save.
        QCOMPARE(view.LStatus->text(), QStringLiteral("Результаты поверки записаны в архив, счетчиков: 5"));
        QVERIFY(!view.Button1->isEnabled());
        view.FormShow();
        QVERIFY(!view.Button1->isEnabled());

        // The numbers window cancelled: nothing printed, the number stays.
        v.r.enterNumbers(false);
        QVERIFY(view.Button2Click().isEmpty());
        QCOMPARE(v.r.ui->dialogsShown(), 1);
        QVERIFY(v.r.ui->boxes().isEmpty());
    }

    // In the program: the run window's "Результат поверки" shows the viewer,
    // the protocol takes the dialogs' texts and the numbers window's edits.
    void attachedToTheRun()
    {
        QTemporaryDir work;
        const QString before = QDir::currentPath();
        QDir::setCurrent(work.path());
        ViewerRun v;
        v.fillPassing();
        TFdataReport dataReport;
        dataReport.CBAuto->setChecked(true);
        dataReport.ENumProt->setText(QStringLiteral("7"));
        TFNumber &numbers = v.r.windows->FNumber;
        auto view = AttachResultsViewer(v.dm(), *v.r.run, &numbers, &dataReport);
        QStringList files;
        QString status;
        int dataShown = 0;
        v.r.ui->queueDialog([&](QDialog *d) {
            auto *shown = qobject_cast<TFView *>(d);
            if (!shown)
                qFatal("expected the viewer");
            shown->FormShow();
            v.r.ui->queueDialog([](QDialog *n) {
                auto *dialog = qobject_cast<TFNumber *>(n);
                dialog->FormShow();
                for (int e = 1; e <= 30; ++e)
                    if (dialog->Edit[e]->isEnabled())
                        dialog->Edit[e]->setText(QStringLiteral("Z%1").arg(e));
                dialog->Button1Click();
                return dialog->result();
            });
            v.r.ui->queueDialog([&](QDialog *d) {
                dataShown += d == &dataReport;
                return int(QDialog::Accepted);
            });
            files = shown->Button2Click();
            status = shown->LStatus->text();
            return int(QDialog::Accepted);
        });
        // Nothing was ever filled in: asked once, "Да" opens the dialog before the protocols.
        v.r.ui->queueAnswer(QMessageBox::Yes);
        v.r.run->BTResult();
        QCOMPARE(v.r.ui->texts(), QStringList{TFView::ProtocolDataQuestion});
        QCOMPARE(dataShown, 1);
        QDir::setCurrent(before);
        QCOMPARE(files.size(), 2);
        QCOMPARE(dataReport.ENumProt->text(), QStringLiteral("9"));
        // Where they went, in full, in the status line.
        QVERIFY(status.startsWith(QStringLiteral("Протоколы записаны: ")));
        for (const QString &f : files)
            QVERIFY2(status.contains(QDir::toNativeSeparators(QFileInfo(f).absoluteFilePath())), qPrintable(status));
        const QJsonObject sheet = kvtest::sheetOf(kvtest::readWorkbook(files[1]));
        const QJsonObject cells = sheet.value(QStringLiteral("cells")).toObject();
        QStringList texts;
        for (auto it = cells.begin(); it != cells.end(); ++it)
            texts << it.value().toArray().at(0).toVariant().toString();
        QVERIFY(texts.contains(QStringLiteral("Z13")));  // stand 3, position 1
        QVERIFY(texts.contains(QStringLiteral("Z15")));
        QVERIFY(!texts.contains(QStringLiteral("Z1")));

        // Not asked again, although the dialog still stored nothing.
        QDir::setCurrent(work.path());
        v.r.ui->clear();
        v.r.enterNumbers();
        QCOMPARE(view->Button2Click().size(), 2);
        QDir::setCurrent(before);
        QVERIFY(v.r.ui->boxes().isEmpty());
    }
};

QTEST_MAIN(TestResultsViewer)
#include "test_results_viewer.moc"
