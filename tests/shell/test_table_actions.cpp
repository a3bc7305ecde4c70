// The "Таблица" actions inside the running database program: export of the
// grids into the four kinds of target, save-as in five formats, printing to
// PDF. What is written is read back by independent readers (Debian's dbfread
// and openpyxl, pdftotext) where they are installed.

#include "core/clock.h"
#include "core/ui.h"
#include "database/connection.h"
#include "files/paradox_file.h"
#include "reference/data_module.h"
#include "shell/child_windows.h"
#include "shell/main_window.h"
#include "shell/query_builder.h"
#include "shell/query_window.h"
#include "shell/start_up.h"
#include "shell/table_actions.h"
#include "shell/table_dialogs.h"
#include "support/test_env.h"
#include "widgets/data_grid.h"
#include "widgets/grid_print.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPrintPreviewDialog>
#include <QRegularExpression>
#include <QPrinter>
#include <QProcess>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace basekvintor;

namespace {

// Runs a Python snippet with Debian's interpreter; its JSON output, or an
// empty document when it failed.
QJsonDocument python(const char *script, const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"), QStringList{QStringLiteral("-c"), QString::fromUtf8(script)} + args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        qWarning() << p.readAllStandardError();
        return {};
    }
    return QJsonDocument::fromJson(p.readAllStandardOutput());
}

QJsonObject readDbf(const QString &path)
{
    return python(R"(
import sys, json, dbfread
t = dbfread.DBF(sys.argv[1], load=True)
print(json.dumps({"fields": [f.name for f in t.fields], "records": [list(r.values()) for r in t.records]},
                 default=str))
)",
                  {path})
        .object();
}

// Every sheet of a workbook: name -> rows of values.
QJsonObject readWorkbook(const QString &path)
{
    return python(R"(
import sys, json, openpyxl
wb = openpyxl.load_workbook(sys.argv[1])
print(json.dumps({ws.title: [list(r) for r in ws.iter_rows(values_only=True)] for ws in wb.worksheets}, default=str))
)",
                  {path})
        .object();
}

QString pdfText(const QString &path)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
    if (!p.waitForFinished(60000))
        return {};
    return QString::fromUtf8(p.readAllStandardOutput());
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A scripted file dialog: the file typed and the filter chosen, then "Сохранить".
kv::RecordingUi::DialogScript chooseFile(const QString &path, const QString &filter)
{
    return [path, filter](QDialog *d) {
        auto *fd = qobject_cast<QFileDialog *>(d);
        if (!fd)
            return int(QDialog::Rejected);
        fd->selectNameFilter(filter);
        fd->selectFile(path);
        return int(QDialog::Accepted);
    };
}

// A scripted table choice panel: what it showed is kept, `name` typed, OK.
struct PanelSeen {
    bool shown = false;
    QString caption, label, newLabel;
    QStringList tables;
};
kv::RecordingUi::DialogScript answerPanel(PanelSeen *seen, const QString &name, bool ok = true)
{
    return [seen, name, ok](QDialog *d) {
        auto *panel = qobject_cast<TSFTable *>(d);
        if (!panel)
            return int(QDialog::Rejected);
        seen->shown = true;
        seen->caption = panel->windowTitle();
        seen->label = panel->LTable->text();
        seen->newLabel = panel->LNewTable->text();
        for (int i = 0; i < panel->ListBoxTable->count(); ++i)
            seen->tables << panel->ListBoxTable->item(i)->text();
        panel->ETable->setText(name);
        return int(ok ? QDialog::Accepted : QDialog::Rejected);
    };
}

QStringList sqliteTables(const QString &path)
{
    QStringList names;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("probe"));
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery q(QStringLiteral("SELECT name FROM sqlite_master WHERE type='table' ORDER BY name"), db);
            while (q.next())
                names << q.value(0).toString();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("probe"));
    return names;
}

QVariant fileScalar(const QString &path, const QString &sql)
{
    QVariant v;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("probe"));
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery q(sql, db);
            if (q.next())
                v = q.value(0);
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("probe"));
    return v;
}

}  // namespace

class TestTableActions : public QObject
{
    Q_OBJECT

    std::unique_ptr<kvtest::TempSettings> m_settings;
    std::unique_ptr<kvtest::TempDatabase> m_db;
    std::unique_ptr<QTemporaryDir> m_out;

    BaseProgram start()
    {
        BaseProgram p = startBaseKvintor({QStringLiteral("BaseKvintor"), QStringLiteral("--database"), m_db->path()});
        if (p.FExpert) {
            QApplication::setActiveWindow(p.FExpert.get());
            QCoreApplication::processEvents();
        }
        return p;
    }
    static TTableActions *actions(TFExpert &f) { return f.findChild<TTableActions *>(); }
    // Makes a grid of a child window the current grid, as the operator's click would.
    static void makeCurrent(TFExpert &f, TChildForm *child, QAbstractItemView *grid)
    {
        f.maximizeChild(child);
        grid->setFocus(Qt::MouseFocusReason);
        QCoreApplication::processEvents();
        f.maximizeChild(child);  // the query result grid follows activation only
        QCoreApplication::processEvents();
    }
    QString out(const QString &name) const { return QDir(m_out->path()).filePath(name); }
    // "Печать" writes into the PDF file `*pdf` names at the time of printing.
    static void printToPdfFile(TFExpert &f, const QString *pdf)
    {
        actions(f)->setPrinterChooser([pdf](QPrinter &printer) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(*pdf);
            return true;
        });
    }
    QVariant db(const QString &sql) const
    {
        return kvtest::scalar(QSqlDatabase::database(QStringLiteral("basekvintor")), sql);
    }

private Q_SLOTS:
    void init()
    {
        m_settings = std::make_unique<kvtest::TempSettings>();
        m_db = std::make_unique<kvtest::TempDatabase>(QStringLiteral("fixture"), true);
        // One verification record with three meters: two with errors, one without.
        QSqlDatabase d = m_db->db();
        kvtest::execOrFail(d, QStringLiteral("INSERT INTO TMeasure (PIndex, PDate, PPointerTip, PPointerTest) "
                                             "VALUES (1, '2026-03-01 10:00:00', 1, 1)"));
        kvtest::execOrFail(d, QStringLiteral(
            "INSERT INTO TPositionCH (PIndex, PSecIndex, PPosition, PNumber, PSensitivity, PSamochod, PCountDevice, "
            "PTotal) VALUES (1, 1, 1, 'А-001', 1, 1, 1, 1), (2, 1, 2, 'Б-002', 1, 1, 1, 2), (3, 1, 3, 'В-003', 0, 0, 0, 0)"));
        kvtest::execOrFail(d, QStringLiteral(
            "INSERT INTO TResult (PSecIndex, PPointNumber, PMeasure, PMeasureMax) VALUES "
            "(1, 1, 0.12, 1), (1, 2, -0.3, 1), (1, 3, 0.5, 1.5), (2, 1, 0.01, 1), (2, 2, 1.7, 1)"));
        m_db->close();
        m_out = std::make_unique<QTemporaryDir>();
        kv::setNowForTests(QDateTime(QDate(2026, 12, 9), QTime(9, 30)));
    }
    void cleanup()
    {
        kv::setNowForTests({});
        m_out.reset();
        m_db.reset();
        m_settings.reset();
    }

    // The export entries in order, and where each target puts its table: a
    // dBASE or Paradox table is named after the file and gets the format's
    // extension whatever was typed; a workbook without extension becomes .xlsx.
    void exportEntriesAndTargets()
    {
        QCOMPARE(exportFilters(), (QStringList{QStringLiteral("База данных SQLite (*.sqlite)"),
                                               QStringLiteral("dBASE III (*.dbf)"), QStringLiteral("dBASE IV (*.dbf)"),
                                               QStringLiteral("Pradox 7.x (*.db)"),
                                               QStringLiteral("Книга Excel (*.xlsx)")}));
        QCOMPARE(exportTargetOf(QStringLiteral("dBASE III (*.dbf)")), ExportTarget::Dbase3);
        QCOMPARE(exportTargetOf(QStringLiteral("Pradox 3.x (*.db)")), std::nullopt);

        const ExportTargetInfo dbf = prepareExportTarget(ExportTarget::Dbase4, out(QStringLiteral("Типы.txt")));
        QCOMPARE(dbf.path, out(QStringLiteral("Типы.dbf")));
        QCOMPARE(dbf.tableName, QStringLiteral("Типы"));
        QVERIFY(!dbf.needsPanel && dbf.error.isEmpty());
        const ExportTargetInfo px = prepareExportTarget(ExportTarget::Paradox7, out(QStringLiteral("points")));
        QCOMPARE(px.path, out(QStringLiteral("points.db")));
        const ExportTargetInfo book = prepareExportTarget(ExportTarget::Excel, out(QStringLiteral("book")));
        QCOMPARE(book.path, out(QStringLiteral("book.xlsx")));
        QVERIFY(book.needsPanel && book.tables.isEmpty() && !QFileInfo::exists(book.path));

        // A file that is no workbook: listing it fails and is reported.
        QFile junk(out(QStringLiteral("junk.xlsx")));
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write("not a workbook");
        junk.close();
        QVERIFY(!prepareExportTarget(ExportTarget::Excel, junk.fileName()).error.isEmpty());
        // A folder that does not exist: the SQLite file cannot be made.
        QVERIFY(!prepareExportTarget(ExportTarget::Sqlite, out(QStringLiteral("no/such/x"))).error.isEmpty());
    }

    // A print job stopped from its progress ends cancelled without pages to spare.
    void printingCanBeStopped()
    {
        kv::GridPrintJob job;
        job.titles = {QStringLiteral("Номер")};
        for (int i = 0; i < 3000; ++i)
            job.rows << QStringList{QString::number(i)};
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(out(QStringLiteral("stopped.pdf")));
        int calls = 0;
        const kv::PrintOutcome stopped = kv::printGrid(printer, job, [&calls](int, int) { return ++calls < 3; });
        QVERIFY(stopped.cancelled);
        QVERIFY(stopped.error.isEmpty());

        QPrinter again(QPrinter::HighResolution);
        again.setOutputFormat(QPrinter::PdfFormat);
        again.setOutputFileName(out(QStringLiteral("whole.pdf")));
        int last = 0, total = 0;
        bool backwards = false;
        const kv::PrintOutcome whole = kv::printGrid(again, job, [&](int done, int all) -> bool {
            backwards = backwards || done < last;
            last = done;
            total = all;
            return true;
        });
        QVERIFY(!whole.cancelled && whole.pages > 1);
        QVERIFY(!backwards);
        QCOMPARE(last, total);
    }

    // With no current grid none of the five actions asks or writes anything.
    void noCurrentGridNoAction()
    {
        BaseProgram p = start();
        TFExpert &f = *p.FExpert;
        makeCurrent(f, p.FTip, p.FTip->DBTip);
        QCOMPARE(f.currentGrid(), p.FTip->DBTip);
        auto *other = new QLineEdit(p.FTip);
        other->show();
        other->setFocus(Qt::TabFocusReason);
        QCoreApplication::processEvents();
        QCOMPARE(f.currentGrid(), nullptr);

        kv::ScopedRecordingUi ui;
        actions(f)->setPrinterChooser([](QPrinter &) {
            qFatal("no printer is asked for without a current grid");
            return false;
        });
        for (QAction *a : {f.ASelectAll, f.AExport, f.ASaveAS, f.APrint, f.APrintView})
            a->trigger();
        QCOMPARE(ui->dialogsShown(), 0);
        QVERIFY(ui->boxes().isEmpty());
        QVERIFY(p.FTip->DBTip->markedRows().isEmpty());
    }

    // The types grid into a new dBASE IV file: the table is named after the
    // file, no panel is shown, the fields and Cyrillic texts come back through
    // an independent reader. The same file again is refused in the error box.
    void typesToDbase()
    {
        BaseProgram p = start();
        TFExpert &f = *p.FExpert;
        makeCurrent(f, p.FTip, p.FTip->DBTip);
        kv::ScopedRecordingUi ui;
        ui->queueDialog(chooseFile(out(QStringLiteral("types.dbf")), QStringLiteral("dBASE IV (*.dbf)")));
        f.AExport->trigger();
        QCOMPARE(ui->dialogsShown(), 1);  // only the file dialog
        QVERIFY2(ui->boxes().isEmpty(), qPrintable(ui->texts().join(u'\n')));

        const QJsonObject dbf = readDbf(out(QStringLiteral("types.dbf")));
        const QJsonArray fields = dbf.value(QStringLiteral("fields")).toArray();
        QCOMPARE(fields.size(), 11);
        QCOMPARE(fields.at(0).toString(), QStringLiteral("PTip"));
        QCOMPARE(fields.at(10).toString(), QStringLiteral("PCenaDel"));
        const QJsonArray records = dbf.value(QStringLiteral("records")).toArray();
        QCOMPARE(records.size(), db(QStringLiteral("SELECT count(*) FROM TTip")).toInt());
        QStringList names;
        for (const QJsonValue &r : records)
            names << r.toArray().at(0).toString();
        QVERIFY(names.contains(QStringLiteral("ЭС-1.05И")));
        QVERIFY(names.contains(QStringLiteral("ЭТТ-3.57")));
        QCOMPARE(f.statusText(), QStringLiteral("Экспортировано строк: ") + QString::number(records.size()) +
                                     QStringLiteral(". Файл: ") + QDir::toNativeSeparators(out(QStringLiteral("types.dbf"))));

        // A name typed without extension, as dBASE III, in the same folder.
        ui->queueDialog(chooseFile(out(QStringLiteral("types")), QStringLiteral("dBASE III (*.dbf)")));
        f.AExport->trigger();
        QCOMPARE(ui->boxes().size(), 1);
        QVERIFY(ui->boxes().first().text.contains(QStringLiteral("уже существует")));
        QCOMPARE(readDbf(out(QStringLiteral("types.dbf"))).value(QStringLiteral("records")).toArray().size(),
                 records.size());
    }

    // SQLite target: ".sqlite" appended, the new empty file stays when the
    // panel is cancelled, an existing file lists its tables and gains the new
    // one; a name that exists or an empty name reach the error box.
    void sqliteTarget()
    {
        BaseProgram p = start();
        TFExpert &f = *p.FExpert;
        makeCurrent(f, p.FTip, p.FTip->DBTip);
        kv::ScopedRecordingUi ui;
        const QString filter = QStringLiteral("База данных SQLite (*.sqlite)");

        PanelSeen first;
        ui->queueDialog(chooseFile(out(QStringLiteral("target")), filter));
        ui->queueDialog(answerPanel(&first, QStringLiteral("types"), false));
        f.AExport->trigger();
        QVERIFY(first.shown);
        QCOMPARE(first.caption, QStringLiteral("Сохранение таблицы"));
        QCOMPARE(first.label, QStringLiteral("Таблицы базы \"target.sqlite\""));
        QCOMPARE(first.newLabel, QStringLiteral("Новая таблица"));
        QVERIFY(first.tables.isEmpty());
        QVERIFY(QFileInfo::exists(out(QStringLiteral("target.sqlite"))));
        QVERIFY(sqliteTables(out(QStringLiteral("target.sqlite"))).isEmpty());
        QVERIFY(ui->boxes().isEmpty());

        PanelSeen second;
        ui->queueDialog(chooseFile(out(QStringLiteral("target.sqlite")), filter));
        ui->queueDialog(answerPanel(&second, QStringLiteral("types")));
        f.AExport->trigger();
        QVERIFY(second.tables.isEmpty());
        QVERIFY2(ui->boxes().isEmpty(), qPrintable(ui->texts().join(u'\n')));
        QCOMPARE(fileScalar(out(QStringLiteral("target.sqlite")), QStringLiteral("SELECT count(*) FROM types")).toInt(),
                 db(QStringLiteral("SELECT count(*) FROM TTip")).toInt());
        QCOMPARE(fileScalar(out(QStringLiteral("target.sqlite")),
                            QStringLiteral("SELECT PTip FROM types WHERE PIdentificator='0.5S'"))
                     .toString(),
                 QStringLiteral("ЭТТ-3.57"));
        // The rows copied are counted, though they never pass through the program.
        QVERIFY2(f.statusText().startsWith(QStringLiteral("Экспортировано строк: ") +
                                           db(QStringLiteral("SELECT count(*) FROM TTip")).toString() +
                                           QStringLiteral(". Таблица \"types\", файл: ")),
                 qPrintable(f.statusText()));

        // The tests grid into the same file: the panel lists "types".
        makeCurrent(f, p.FTest, p.FTest->DBTest);
        PanelSeen third;
        ui->queueDialog(chooseFile(out(QStringLiteral("target.sqlite")), filter));
        ui->queueDialog(answerPanel(&third, QStringLiteral("Тесты")));
        f.AExport->trigger();
        QCOMPARE(third.tables, QStringList{QStringLiteral("types")});
        QCOMPARE(sqliteTables(out(QStringLiteral("target.sqlite"))),
                 (QStringList{QStringLiteral("types"), QStringLiteral("Тесты")}));

        // An existing name, then an empty one: the error box, nothing changed.
        PanelSeen again, empty;
        ui->queueDialog(chooseFile(out(QStringLiteral("target.sqlite")), filter));
        ui->queueDialog(answerPanel(&again, QStringLiteral("types")));
        ui->queueDialog(chooseFile(out(QStringLiteral("target.sqlite")), filter));
        ui->queueDialog(answerPanel(&empty, QStringLiteral("  ")));
        f.AExport->trigger();
        f.AExport->trigger();
        QCOMPARE(ui->boxes().size(), 2);
        QCOMPARE(ui->boxes().at(0).icon, kv::Icon::Error);
        QVERIFY(ui->boxes().at(0).text.contains(QStringLiteral("уже существует")));
        QCOMPARE(ui->boxes().at(1).text, QStringLiteral("Не задано имя новой таблицы."));
        QCOMPARE(sqliteTables(out(QStringLiteral("target.sqlite"))).size(), 2);
    }

    // A workbook that does not exist is created with the table as its sheet;
    // an existing one lists its sheets and gains one more.
    void workbookTarget()
    {
        BaseProgram p = start();
        TFExpert &f = *p.FExpert;
        makeCurrent(f, p.FTip, p.FTip->DBTip);
        kv::ScopedRecordingUi ui;
        const QString filter = QStringLiteral("Книга Excel (*.xlsx)");
        PanelSeen first;
        ui->queueDialog(chooseFile(out(QStringLiteral("book.xlsx")), filter));
        ui->queueDialog(answerPanel(&first, QStringLiteral("Типы")));
        f.AExport->trigger();
        QVERIFY2(ui->boxes().isEmpty(), qPrintable(ui->texts().join(u'\n')));
        QCOMPARE(first.label, QStringLiteral("Таблицы книги \"book.xlsx\""));
        QVERIFY(first.tables.isEmpty());

        makeCurrent(f, p.FTest, p.FTest->DBTestPoint);
        PanelSeen second;
        ui->queueDialog(chooseFile(out(QStringLiteral("book.xlsx")), filter));
        ui->queueDialog(answerPanel(&second, QStringLiteral("Точки")));
        f.AExport->trigger();
        QVERIFY2(ui->boxes().isEmpty(), qPrintable(ui->texts().join(u'\n')));
        QCOMPARE(second.tables, QStringList{QStringLiteral("Типы")});
        QVERIFY2(f.statusText().contains(QStringLiteral(". Таблица \"Точки\", файл: ")), qPrintable(f.statusText()));

        const QJsonObject book = readWorkbook(out(QStringLiteral("book.xlsx")));
        QCOMPARE(book.keys().size(), 2);
        const QJsonArray types = book.value(QStringLiteral("Типы")).toArray();
        QCOMPARE(types.size(), 1 + db(QStringLiteral("SELECT count(*) FROM TTip")).toInt());
        QCOMPARE(types.at(0).toArray().at(0).toString(), QStringLiteral("PTip"));
        QCOMPARE(types.at(1).toArray().at(0).toString(),
                 db(QStringLiteral("SELECT PTip FROM TTip ORDER BY PIndex LIMIT 1")).toString());
        QVERIFY(types.at(1).toArray().at(5).isDouble());  // PUnom stays a number
        const QJsonArray points = book.value(QStringLiteral("Точки")).toArray();
        QCOMPARE(points.size(), 1 + db(QStringLiteral("SELECT count(*) FROM TTestPoint WHERE PSecIndex=%1")
                                           .arg(DM->currentTestKey()))
                                        .toInt());
        QVERIFY(points.size() > 1);
    }

    // The results grid exports every result of the current meter and only
    // those, whatever is marked; with no result shown the table is empty.
    void resultsFollowTheCurrentMeter()
    {
        BaseProgram p = start();
        TFExpert &f = *p.FExpert;
        f.maximizeChild(p.FArchiv);
        p.FArchiv->DBPosition->setCurrentRow(1);  // meter "Б-002"
        QCoreApplication::processEvents();
        QCOMPARE(DM->ADOResult->rowCount(), 2);
        makeCurrent(f, p.FArchiv, p.FArchiv->DBResult);
        p.FArchiv->DBResult->markRow(0);

        kv::ScopedRecordingUi ui;
        const QString filter = QStringLiteral("База данных SQLite (*.sqlite)");
        PanelSeen seen;
        ui->queueDialog(chooseFile(out(QStringLiteral("results.sqlite")), filter));
        ui->queueDialog(answerPanel(&seen, QStringLiteral("r2")));
        f.AExport->trigger();
        QVERIFY2(ui->boxes().isEmpty(), qPrintable(ui->texts().join(u'\n')));
        const QString file = out(QStringLiteral("results.sqlite"));
        QCOMPARE(fileScalar(file, QStringLiteral("SELECT count(*) FROM r2")).toInt(), 2);
        QCOMPARE(fileScalar(file, QStringLiteral("SELECT sum(PMeasure) FROM r2")).toDouble(), 1.71);

        // The meters grid: all meters of the record.
        makeCurrent(f, p.FArchiv, p.FArchiv->DBPosition);
        ui->queueDialog(chooseFile(file, filter));
        ui->queueDialog(answerPanel(&seen, QStringLiteral("meters")));
        f.AExport->trigger();
        QCOMPARE(fileScalar(file, QStringLiteral("SELECT group_concat(PNumber) FROM meters")).toString(),
                 QStringLiteral("А-001,Б-002,В-003"));

        // A meter without results.
        p.FArchiv->DBPosition->setCurrentRow(2);
        QCoreApplication::processEvents();
        QCOMPARE(DM->ADOResult->rowCount(), 0);
        makeCurrent(f, p.FArchiv, p.FArchiv->DBResult);
        ui->queueDialog(chooseFile(file, filter));
        ui->queueDialog(answerPanel(&seen, QStringLiteral("none")));
        f.AExport->trigger();
        QVERIFY2(ui->boxes().isEmpty(), qPrintable(ui->texts().join(u'\n')));
        QVERIFY(sqliteTables(file).contains(QStringLiteral("none")));
        QCOMPARE(fileScalar(file, QStringLiteral("SELECT count(*) FROM none")).toInt(), 0);
    }

    // The test points into a Paradox 7 table and back through the Paradox reader.
    void pointsToParadox()
    {
        BaseProgram p = start();
        TFExpert &f = *p.FExpert;
        makeCurrent(f, p.FTest, p.FTest->DBTestPoint);
        const int points = DM->ADOTestPoint->rowCount();
        QVERIFY(points > 0);
        kv::ScopedRecordingUi ui;
        ui->queueDialog(chooseFile(out(QStringLiteral("точки.db")), QStringLiteral("Pradox 7.x (*.db)")));
        f.AExport->trigger();
        QCOMPARE(ui->dialogsShown(), 1);
        QVERIFY2(ui->boxes().isEmpty(), qPrintable(ui->texts().join(u'\n')));
        const kv::ParadoxTable t = kv::readParadoxTable(out(QStringLiteral("точки.db")));
        QVERIFY2(t.ok(), qPrintable(t.error));
        QCOMPARE(t.version, 70);
        QCOMPARE(t.table.columns.size(), 11);
        QCOMPARE(t.table.columns.first().name, QStringLiteral("PPersentU"));
        QCOMPARE(t.table.rows.size(), points);
        QCOMPARE(t.types.at(1), kv::ParadoxType::Logical);  // PPhaseUA
        QCOMPARE(t.types.at(8), kv::ParadoxType::Number);   // PKM
    }

    // The query result: exported before any query, the error box and no
    // dialog; after a query, the builder's kept statement gives the rows.
    void queryResultUsesTheBuilderParts()
    {
        BaseProgram p = start();
        TFExpert &f = *p.FExpert;
        makeCurrent(f, p.FSQL, p.FSQL->DBGridSQL);
        QCOMPARE(f.currentGrid(), p.FSQL->DBGridSQL);
        kv::ScopedRecordingUi ui;
        f.AExport->trigger();
        QCOMPARE(ui->dialogsShown(), 0);
        QCOMPARE(ui->texts(), QStringList{kNoQueryText});

        ui->clear();
        QueryBuilder &b = p.FSQLShape->builder();
        b.setTicked(QueryColumn::CBTip, true);
        b.setTicked(QueryColumn::CBNumber, true);
        b.setCondition(QueryCondition::Verdict, true);
        b.verdict = 1;
        QVERIFY(p.FSQLShape->GenerateSQL());
        QCOMPARE(DM->ADOSQL->rowCount(), 1);
        ui->queueDialog(chooseFile(out(QStringLiteral("query.dbf")), QStringLiteral("dBASE IV (*.dbf)")));
        f.AExport->trigger();
        QVERIFY2(ui->boxes().isEmpty(), qPrintable(ui->texts().join(u'\n')));
        const QJsonObject dbf = readDbf(out(QStringLiteral("query.dbf")));
        const QJsonArray records = dbf.value(QStringLiteral("records")).toArray();
        QCOMPARE(records.size(), 1);
        const int number = dbf.value(QStringLiteral("fields")).toArray().toVariantList().indexOf(QStringLiteral("PNumber"));
        QVERIFY(number >= 0);
        QCOMPARE(records.at(0).toArray().at(number).toString(), QStringLiteral("А-001"));
    }

    // The query result, its export, save-as and printout are the file as the
    // query read it: a meter the control program saves afterwards is in none
    // of them. Dates read as the archive window shows them, and a dBASE file
    // keeps them as a date field.
    void queryResultWritesWhatIsShown()
    {
        BaseProgram p = start();
        TFExpert &f = *p.FExpert;
        QueryBuilder &b = p.FSQLShape->builder();
        b.setTicked(QueryColumn::CBDate, true);
        b.setTicked(QueryColumn::CBNumber, true);
        b.setCondition(QueryCondition::Verdict, true);
        b.verdict = 1;
        QVERIFY(p.FSQLShape->GenerateSQL());
        p.FSQL->showFields({QStringLiteral("PDate"), QStringLiteral("PNumber")});
        makeCurrent(f, p.FSQL, p.FSQL->DBGridSQL);
        QCOMPARE(DM->ADOSQL->rowCount(), 1);
        {
            QVERIFY(kv::openDatabase(m_db->path(), QStringLiteral("other")).isEmpty());
            kvtest::execOrFail(QSqlDatabase::database(QStringLiteral("other")),
                               QStringLiteral("INSERT INTO TPositionCH (PSecIndex, PPosition, PNumber, PTotal) "
                                              "VALUES (1, 4, 'Г-004', 1)"));
            QSqlDatabase::database(QStringLiteral("other")).close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("other"));
        QCOMPARE(db(QStringLiteral("SELECT count(*) FROM TPositionCH WHERE PTotal = 1")).toInt(), 2);

        kv::DataGrid *grid = p.FSQL->DBGridSQL;
        const QString shownDate = kv::shortDateText(QDate(2026, 3, 1)) + QStringLiteral(" 10:00:00");
        QCOMPARE(grid->cellText(0, int(SQLField::PDate)), shownDate);

        kv::ScopedRecordingUi ui;
        ui->queueDialog(chooseFile(out(QStringLiteral("shown.dbf")), QStringLiteral("dBASE IV (*.dbf)")));
        f.AExport->trigger();
        const QString sqliteFilter = QStringLiteral("База данных SQLite (*.sqlite)");
        PanelSeen panel;
        ui->queueDialog(chooseFile(out(QStringLiteral("shown.sqlite")), sqliteFilter));
        ui->queueDialog(answerPanel(&panel, QStringLiteral("shown")));
        f.AExport->trigger();
        f.ASelectAll->trigger();
        ui->queueDialog(chooseFile(out(QStringLiteral("shown")), actions(f)->SDTable()->nameFilters().at(1)));
        f.ASaveAS->trigger();
        QVERIFY2(ui->boxes().isEmpty(), qPrintable(ui->texts().join(u'\n')));

        const QJsonArray records = readDbf(out(QStringLiteral("shown.dbf"))).value(QStringLiteral("records")).toArray();
        QCOMPARE(records.size(), 1);
        QCOMPARE(records.at(0).toArray().at(0).toString(), QStringLiteral("2026-03-01"));
        QCOMPARE(fileScalar(out(QStringLiteral("shown.sqlite")), QStringLiteral("SELECT count(*) FROM shown")).toInt(), 1);
        QCOMPARE(fileScalar(out(QStringLiteral("shown.sqlite")), QStringLiteral("SELECT PNumber FROM shown")).toString(),
                 QStringLiteral("А-001"));
        const QString csv = QString::fromUtf8(fileBytes(out(QStringLiteral("shown.csv"))));
        QVERIFY2(csv.contains(shownDate), qPrintable(csv));
        QVERIFY(!csv.contains(QStringLiteral("2026-03-01 10:00:00")));
        QVERIFY(!csv.contains(QStringLiteral("Г-004")));
        QCOMPARE(printJob(*grid, GridSource::DSSQL).rows.size(), 1);
    }

    // "Сохранить как" in every format: nothing marked writes every row shown,
    // as does "Выделить все", and the status line says how many; the
    // extension rule; overwriting asks.
    void saveAsEveryFormat()
    {
        BaseProgram p = start();
        TFExpert &f = *p.FExpert;
        makeCurrent(f, p.FTip, p.FTip->DBTip);
        kv::DataGrid *grid = p.FTip->DBTip;
        grid->clearMarks();
        const int rows = grid->model()->rowCount();
        const QString firstTip = grid->cellText(0, grid->shownColumns().first());
        QVERIFY(!firstTip.isEmpty());
        kv::ScopedRecordingUi ui;
        const QStringList filters = actions(f)->SDTable()->nameFilters();
        QCOMPARE(filters.size(), 5);
        // The operator reads each entry in Russian.
        static const QRegularExpression russian(QStringLiteral("^[^(]*[А-Яа-яЁё][^(]*\\(\\*\\.[a-z]+\\)$"));
        for (const QString &filter : filters)
            QVERIFY2(russian.match(filter).hasMatch(), qPrintable(filter));
        const QStringList exts{QStringLiteral("txt"), QStringLiteral("csv"), QStringLiteral("htm"), QStringLiteral("rtf"),
                               QStringLiteral("xlsx")};

        for (bool all : {false, true}) {
            if (all)
                f.ASelectAll->trigger();
            QCOMPARE(grid->allMarked(), all);
            for (int i = 0; i < filters.size(); ++i) {
                const QString base = out(QStringLiteral("%1-%2").arg(all ? QStringLiteral("all") : QStringLiteral("none")).arg(i));
                ui->queueDialog(chooseFile(base, filters.at(i)));
                f.ASaveAS->trigger();
                const QString path = base + u'.' + exts.at(i);
                QVERIFY2(QFileInfo::exists(path), qPrintable(path));
                const QByteArray bytes = fileBytes(path);
                const int expected = rows;
                QCOMPARE(f.statusText(), savedRowsText(rows, path));
                switch (i) {
                case 0:
                case 1: {
                    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
                    const QStringList lines = QString::fromUtf8(bytes.mid(3)).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
                    QCOMPARE(lines.size(), 1 + expected);
                    QVERIFY(lines.first().contains(QStringLiteral("Тип")) || lines.first().contains(QStringLiteral("PTip")));
                    QVERIFY(lines.at(1).startsWith(firstTip));
                    break;
                }
                case 2:
                    QCOMPARE(QString::fromUtf8(bytes).count(QStringLiteral("<tr")), 1 + expected);
                    QVERIFY(QString::fromUtf8(bytes).contains(firstTip));
                    break;
                case 3: {
                    QString escaped;
                    for (QChar c : firstTip)
                        escaped += c.unicode() < 128 ? QString(c) : QStringLiteral("\\u%1?").arg(short(c.unicode()));
                    QVERIFY(QString::fromLatin1(bytes).contains(escaped));
                    break;
                }
                case 4: {
                    const QJsonObject book = readWorkbook(path);
                    QCOMPARE(book.size(), 1);
                    const QJsonArray sheet = book.begin().value().toArray();
                    QCOMPARE(sheet.size(), 1 + expected);
                    QCOMPARE(sheet.at(1).toArray().at(0).toString(), firstTip);
                    break;
                }
                }
            }
        }
        QVERIFY2(ui->boxes().isEmpty(), qPrintable(ui->texts().join(u'\n')));

        // data.csv saved as text becomes data.csv.txt.
        ui->queueDialog(chooseFile(out(QStringLiteral("data.csv")), filters.at(0)));
        f.ASaveAS->trigger();
        QVERIFY(QFileInfo::exists(out(QStringLiteral("data.csv.txt"))));
        QVERIFY(!QFileInfo::exists(out(QStringLiteral("data.csv"))));

        // Overwriting: "Нет" goes back to the dialog (cancelled here) and keeps
        // the file; "Да" replaces it.
        QFile::resize(out(QStringLiteral("data.csv.txt")), 3);
        ui->queueDialog(chooseFile(out(QStringLiteral("data.csv")), filters.at(0)));
        ui->queueAnswer(QMessageBox::No);
        f.ASaveAS->trigger();
        QCOMPARE(ui->boxes().size(), 1);
        QCOMPARE(ui->boxes().first().text, fileExistsText(out(QStringLiteral("data.csv.txt"))));
        QCOMPARE(QFileInfo(out(QStringLiteral("data.csv.txt"))).size(), 3);
        ui->queueDialog(chooseFile(out(QStringLiteral("data.csv")), filters.at(0)));
        ui->queueAnswer(QMessageBox::Yes);
        f.ASaveAS->trigger();
        QVERIFY(QFileInfo(out(QStringLiteral("data.csv.txt"))).size() > 3);

        // A folder that cannot be written: the error box.
        ui->clear();
        ui->queueDialog(chooseFile(out(QStringLiteral("missing/x.txt")), filters.at(0)));
        f.ASaveAS->trigger();
        QCOMPARE(ui->boxes().size(), 1);
        QCOMPARE(ui->boxes().first().icon, kv::Icon::Error);
    }

    // The archive list stays the current grid when the operator comes back to
    // it from a grid below (each grid hears of the focus on its own, the one
    // left after the one entered), and it prints, previews and saves; the
    // pop-up menu works on the grid it was opened over. A grid without rows is
    // not saved as titles alone.
    void archiveListPrintsAndSaves()
    {
        BaseProgram p = start();
        TFExpert &f = *p.FExpert;
        makeCurrent(f, p.FArchiv, p.FArchiv->DBResult);
        QCOMPARE(f.currentGrid(), p.FArchiv->DBResult);
        kv::DataGrid *list = p.FArchiv->DBTest;
        for (kv::DataGrid *back : {p.FArchiv->DBTest, p.FArchiv->DBPosition, p.FArchiv->DBTest}) {
            back->setFocus(Qt::MouseFocusReason);
            QCoreApplication::processEvents();
            QCOMPARE(f.currentGrid(), back);
            QVERIFY(f.TBActionsTable()->menuAction()->isEnabled());
        }
        QCOMPARE(f.currentGrid(), list);

        QString pdf = out(QStringLiteral("archive.pdf"));
        printToPdfFile(f, &pdf);
        kv::ScopedRecordingUi ui;
        f.APrint->trigger();
        QVERIFY2(ui->boxes().isEmpty(), qPrintable(ui->texts().join(u'\n')));
        QVERIFY(QFileInfo(pdf).size() > 0);
        QCOMPARE(actions(f)->lastPages(), 1);
        const kv::GridPrintJob job = printJob(*list, gridSourceOf(list, DM));
        QCOMPARE(job.title, QStringLiteral("Архив - Список проведенных поверок"));
        QCOMPARE(job.rows.size(), 1);

        int previewPages = 0;
        ui->queueDialog([&](QDialog *d) {
            auto *preview = qobject_cast<QPrintPreviewDialog *>(d);
            if (!preview)
                return int(QDialog::Rejected);
            QPrinter printer(QPrinter::HighResolution);
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(out(QStringLiteral("preview.pdf")));
            Q_EMIT preview->paintRequested(&printer);
            previewPages = actions(f)->lastPages();
            return int(QDialog::Rejected);
        });
        f.APrintView->trigger();
        QCOMPARE(previewPages, 1);

        const QString csv = out(QStringLiteral("archive.csv"));
        ui->queueDialog(chooseFile(csv, actions(f)->SDTable()->nameFilters().at(1)));
        f.ASaveAS->trigger();
        const QStringList lines =
            QString::fromUtf8(fileBytes(csv).mid(3)).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        const QString type = list->cellText(0, list->shownColumns().at(1));
        QVERIFY(!type.isEmpty());
        QVERIFY2(lines.at(1).contains(type), qPrintable(lines.join(u'\n')));
        QCOMPARE(f.statusText(), savedRowsText(1, csv));

        // The pop-up over the meters makes them the grid its actions work on.
        QContextMenuEvent menu(QContextMenuEvent::Mouse, QPoint(5, 5));
        QCoreApplication::sendEvent(p.FArchiv->DBPosition->viewport(), &menu);
        f.findChild<QMenu *>(QStringLiteral("TBPopupMenu1"))->hide();
        QCOMPARE(f.currentGrid(), p.FArchiv->DBPosition);

        // Errors of the meter without any: nothing to save, said, no file.
        p.FArchiv->DBPosition->setCurrentRow(2);
        QCOMPARE(p.FArchiv->DBResult->model()->rowCount(), 0);
        makeCurrent(f, p.FArchiv, p.FArchiv->DBResult);
        ui->clear();
        const int dialogs = ui->dialogsShown();
        f.ASaveAS->trigger();
        QCOMPARE(ui->dialogsShown(), dialogs);
        QCOMPARE(ui->texts(), QStringList{kEmptyTableText});
    }

    // Printing to PDF: the header, product name and title line of the types
    // grid; marks are cleared first; the query result prints without a title.
    void printToPdf()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
            QSKIP("pdftotext is not installed");
        BaseProgram p = start();
        TFExpert &f = *p.FExpert;
        makeCurrent(f, p.FTip, p.FTip->DBTip);
        p.FTip->DBTip->markRow(1);
        QString pdf = out(QStringLiteral("types.pdf"));
        printToPdfFile(f, &pdf);
        kv::ScopedRecordingUi ui;
        f.APrint->trigger();
        QVERIFY2(ui->boxes().isEmpty(), qPrintable(ui->texts().join(u'\n')));
        QVERIFY(p.FTip->DBTip->markedRows().isEmpty());
        QString text = pdfText(pdf);
        QVERIFY2(text.contains(QStringLiteral("Архив - Список счетчиков")), qPrintable(text));
        QVERIFY(text.contains(QStringLiteral("Kvintor")));
        QVERIFY(text.contains(QStringLiteral("Страница. 1")));
        QVERIFY(text.contains(QStringLiteral("ЭТТ-3.57")));
        QVERIFY(text.contains(kv::shortDateText(QDate(2026, 12, 9))));

        makeCurrent(f, p.FSQL, p.FSQL->DBGridSQL);
        pdf = out(QStringLiteral("query.pdf"));
        f.APrint->trigger();
        text = pdfText(pdf);
        QVERIFY(text.contains(QStringLiteral("Kvintor")));
        QVERIFY(text.contains(QStringLiteral("Страница. 1")));
        QVERIFY(!text.contains(QStringLiteral("Архив -")));

        // The preview opens the preview window on the same grid.
        bool preview = false;
        ui->queueDialog([&preview](QDialog *d) {
            preview = qobject_cast<QPrintPreviewDialog *>(d) != nullptr;
            return int(QDialog::Rejected);
        });
        f.APrintView->trigger();
        QVERIFY(preview);
    }

    // A long table runs over many pages, each with its number; every row is
    // printed, not only those on screen.
    void longTablePaginates()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
            QSKIP("pdftotext is not installed");
        {
            QSqlDatabase d = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fill"));
            d.setDatabaseName(m_db->path());
            QVERIFY(d.open());
            kvtest::execOrFail(d, QStringLiteral(
                "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE i < 2500) "
                "INSERT INTO TPositionCH (PSecIndex, PPosition, PNumber, PSensitivity, PSamochod, PCountDevice, PTotal) "
                "SELECT 1, i, 'Н-' || i, 1, 1, 1, 1 FROM n"));
            d.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("fill"));
        BaseProgram p = start();
        TFExpert &f = *p.FExpert;
        makeCurrent(f, p.FArchiv, p.FArchiv->DBPosition);
        QCOMPARE(DM->ADOPosition->rowCount(), 2503);
        const QString pdf = out(QStringLiteral("long.pdf"));
        actions(f)->setPrinterChooser([&pdf](QPrinter &printer) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(pdf);
            return true;
        });
        f.APrint->trigger();
        const int pages = actions(f)->lastPages();
        QVERIFY2(pages > 10, qPrintable(QString::number(pages)));
        const QString text = pdfText(pdf);
        QVERIFY(text.contains(QStringLiteral("Страница. %1").arg(pages)));
        QVERIFY(text.contains(QStringLiteral("Н-2500")));
        QCOMPARE(text.count(QStringLiteral("Архив - Результаты проведения поверок")), 1);
    }
};

QTEST_MAIN(TestTableActions)
#include "test_table_actions.moc"
