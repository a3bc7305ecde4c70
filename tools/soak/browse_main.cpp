// The database program's side of the soak: its data module browses the
// archive while the control program saves — the archive list read again, the
// newest and some random records opened with their meters and each meter's
// errors, now and then the whole list paged through — and deletes soak
// records through the archive's own delete, and edits a test through the
// record rules. Every K-th round (--select-all-every) it does what an operator
// clearing the archive does, through the archive window: the list read again,
// exported (database file, dBASE, CSV) and printed, then "Выделить все" and
// delete, while the saves go on; the files and the printout must hold exactly
// the rows of that list. Every record it sees must be whole; any message box
// (a lock the busy timeout did not wait out among them) is counted and
// printed. --log FILE receives every record key the browser was shown and
// every key it deleted, for the final check.
//
// With --dialogs it also opens the program's file dialogs on the database's
// folder every round and checks that the process still holds SQLite's locks
// on the file (a dialog that read the database's files outside SQLite would
// drop them, and the other program's checkpoint would then delete writes).
//
//   kvintor-soak-browse --database PATH [--stop-file F] [--seconds N]
//                       [--delete-every K] [--edit-every K] [--dialogs]
//                       [--select-all-every K] [--log FILE]

#include "soak_shape.h"
#include "database/engine_sql.h"

#include "core/ui.h"
#include "database/file_locks.h"
#include "file_dialog_browse.h"
#include "reference/archive_window.h"
#include "reference/data_module.h"
#include "reference/data_set.h"
#include "shell/table_actions.h"
#include "widgets/data_grid.h"
#include "widgets/grid_print.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPrinter>
#include <QRandomGenerator>
#include <QSet>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>

using namespace basekvintor;

namespace {

QTextStream out(stdout);

struct Counts {
    qint64 iterations = 0, records = 0, meters = 0, errors = 0, listRows = 0;
    qint64 deletes = 0, deleteFailures = 0, edits = 0, editFailures = 0;
    qint64 halfWritten = 0, readErrors = 0, boxes = 0;
    qint64 dialogs = 0, locksLost = 0;
    QString lastTestEdit, lastTypeEdit;
    double longestWriteMs = 0;  // a delete or edit, waiting for the other program's save included
    // "Выделить все" rounds: how many, the records they deleted, the records
    // the other program saved between the list's reading and its deletion
    // (each must survive), and lists whose files or printout differ from them.
    qint64 clearings = 0, clearedRecords = 0, savedMeanwhile = 0, exports = 0, printedPages = 0;
    qint64 copyMismatches = 0;
    double longestClearMs = 0;
};

class Browser
{
public:
    Browser(TDM &dm, kv::RecordingUi &ui) : m_dm(dm), m_ui(ui) {}

    Counts c;

    void noteBoxes(const char *where)
    {
        for (const auto &b : m_ui.boxes()) {
            if (b.text == QStringLiteral("Удалить все выделенные записи ?"))
                continue;  // the question the clearing answers
            out << "box " << where << ": " << b.caption << " | " << b.text << Qt::endl;
            ++c.boxes;
        }
        m_ui.clear();
    }

    QSet<qint64> shown, deleted;

    // Every record of the archive list as read now counts as shown.
    void noteShown()
    {
        try {
            for (qint64 key : m_dm.ADOMeasure->allKeys())
                shown.insert(key);
        } catch (const std::exception &e) {
            ++c.readErrors;
            out << "read error (keys): " << e.what() << Qt::endl;
        }
    }

    void mismatch(const QString &what, qint64 got, qint64 listed)
    {
        if (got == listed)
            return;
        ++c.copyMismatches;
        out << "copy mismatch: " << what << " holds " << got << " rows, the list " << listed << Qt::endl;
    }

    // The archive list exported, saved and printed, then cleared with
    // "Выделить все" and delete in the archive window, the saves going on.
    void clearArchive(TFArchiv &window, const QString &folder)
    {
        ++c.clearings;
        m_dm.refreshArchive();
        TQueryDataSet *list = m_dm.ADOMeasure;
        listError(list, "archive");
        QSet<qint64> listed;
        try {
            for (qint64 key : list->allKeys())
                listed.insert(key);
        } catch (const std::exception &e) {
            ++c.readErrors;
            out << "read error (keys): " << e.what() << Qt::endl;
            return;
        }
        shown.unite(listed);
        const int rows = list->rowCount();
        qint64 savedUpTo = 0;
        {
            QSqlQuery q(m_dm.database());
            q.exec(kv::engineSql(q.driver(), QStringLiteral("SELECT max(PIndex) FROM TMeasure")));
            savedUpTo = q.next() ? q.value(0).toLongLong() : 0;
        }
        kv::DataGrid *grid = window.DBTest;
        const QString base = QDir(folder).filePath(QStringLiteral("list%1").arg(c.clearings));

        const auto parts = exportParts(*grid, GridSource::DSMeasure, &m_dm, {});
        ExportTargetInfo file = prepareExportTarget(ExportTarget::Sqlite, base + QStringLiteral(".sqlite"));
        file.tableName = QStringLiteral("list");
        ExportTargetInfo dbf = prepareExportTarget(ExportTarget::Dbase4, base + QStringLiteral(".dbf"));
        for (const ExportTargetInfo &target : {file, dbf}) {
            const QString error = parts ? runExport(m_dm.database(), *parts, target) : QStringLiteral("no parts");
            if (!error.isEmpty()) {
                ++c.readErrors;
                out << "export error: " << error << Qt::endl;
            }
            ++c.exports;
        }
        {
            const QString connection = QStringLiteral("soak-export-read");
            {
                QSqlDatabase copy = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
                copy.setDatabaseName(file.path);
                copy.open();
                QSqlQuery q(copy);
                q.exec(kv::engineSql(q.driver(), QStringLiteral("SELECT count(*) FROM list")));
                mismatch(QStringLiteral("the exported database"), q.next() ? q.value(0).toLongLong() : -1, rows);
            }
            QSqlDatabase::removeDatabase(connection);
        }
        grid->selectAll();
        {
            const GridTable marked = gridTable(*grid, rowsToSave(*grid));
            mismatch(QStringLiteral("the marked rows"), marked.texts.size(), rows);
            const QString error = writeGridTable(base + QStringLiteral(".csv"), marked, SaveFormat::Csv);
            if (!error.isEmpty()) {
                ++c.readErrors;
                out << "save-as error: " << error << Qt::endl;
            }
        }
        {
            const kv::GridPrintJob job = printJob(*grid, GridSource::DSMeasure);
            mismatch(QStringLiteral("the printout"), job.rows.size(), rows);
            QPrinter printer(QPrinter::HighResolution);
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(base + QStringLiteral(".pdf"));
            const kv::PrintOutcome printed = kv::printGrid(printer, job);
            c.printedPages += printed.pages;
            if (!printed.error.isEmpty()) {
                ++c.readErrors;
                out << "print error: " << printed.error << Qt::endl;
            }
        }
        // Printing marked nothing off; the operator marks all again and deletes.
        grid->selectAll();
        if (!grid->allMarked())
            return;
        QElapsedTimer t;
        t.start();
        m_ui.queueAnswer(QMessageBox::Yes);
        window.deleteIn(grid);
        c.longestClearMs = qMax(c.longestClearMs, t.nsecsElapsed() / 1e6);
        c.longestWriteMs = qMax(c.longestWriteMs, t.nsecsElapsed() / 1e6);
        // What is gone is what was listed, nothing else.
        QSqlQuery q(m_dm.database());
        q.exec(kv::engineSql(q.driver(), QStringLiteral("SELECT PIndex FROM TMeasure")));
        QSet<qint64> left;
        while (q.next())
            left.insert(q.value(0).toLongLong());
        for (qint64 key : listed) {
            if (!left.contains(key)) {
                deleted.insert(key);
                ++c.clearedRecords;
            }
        }
        for (qint64 key : left)
            if (key > savedUpTo && !listed.contains(key))
                ++c.savedMeanwhile;
        noteBoxes("clear");
        m_dm.refreshArchive();
        noteShown();
    }

    void listError(const TQueryDataSet *list, const char *what)
    {
        if (list->lastError().isEmpty())
            return;
        ++c.readErrors;
        out << "read error (" << what << "): " << list->lastError() << Qt::endl;
    }

    // Opens the record at `row` with its meters and their errors; returns the
    // save a soak record belongs to (0 for any other record).
    int visit(int row)
    {
        m_dm.setCurrentMeasure(row);
        const qint64 key = m_dm.currentMeasureKey();
        if (key == 0)
            return 0;
        ++c.records;
        TQueryDataSet *meters = m_dm.ADOPosition;
        listError(meters, "meters");
        const int n = meters->rowCount();
        c.meters += n;
        int save = 0, group = -1;
        for (int r = 0; r < n; ++r) {
            int s = 0, tag = 0;
            if (soak::parseMeterNumber(meters->value(r, QStringLiteral("PNumber")).toString(), &s, &tag)) {
                save = s;
                group = soak::recordOfStand(tag / 10);
            }
            m_dm.setCurrentPosition(r);
            TQueryDataSet *errors = m_dm.ADOResult;
            listError(errors, "errors");
            const int e = errors->rowCount();
            c.errors += e;
            for (int i = 0; i < e; ++i)
                errors->value(i, QStringLiteral("PMeasure"));
            if (save && e != soak::kPoints) {
                ++c.halfWritten;
                out << "record " << key << " meter " << tag << " shows " << e << " errors" << Qt::endl;
            }
        }
        if (save && n != soak::metersOfRecord(group)) {
            ++c.halfWritten;
            out << "record " << key << " of save " << save << " shows " << n << " meters" << Qt::endl;
        }
        return save;
    }

    void iterate(int deleteEvery, int editEvery)
    {
        ++c.iterations;
        m_dm.refreshArchive();
        TQueryDataSet *list = m_dm.ADOMeasure;
        listError(list, "archive");
        noteShown();
        const int n = list->rowCount();
        if (n == 0)
            return;
        // The newest records, where the other program is writing, and a few anywhere.
        QList<int> rows;
        for (int r = n - 1; r >= 0 && r >= n - 3; --r)
            rows << r;
        for (int i = 0; i < 2; ++i)
            rows << int(m_random.bounded(n));
        for (int r : rows)
            visit(r);
        if (c.iterations % 10 == 0) {
            // Paging the whole list as a scrolled grid does.
            for (int r = 0; r < list->rowCount(); ++r)
                list->value(r, QStringLiteral("PIndex"));
            c.listRows += list->rowCount();
            listError(list, "archive pages");
        }
        noteBoxes("browse");

        if (deleteEvery > 0 && c.iterations % deleteEvery == 0) {
            // A soak record among the newest ones.
            const int from = n - 1 - int(m_random.bounded(qMin(n, 6)));
            for (int r = from; r >= 0 && r > from - 20; --r) {
                if (!visit(r))
                    continue;
                QElapsedTimer t;
                t.start();
                const qint64 key = m_dm.currentMeasureKey();
                if (m_dm.deleteMeasures({key})) {
                    ++c.deletes;
                    deleted.insert(key);
                } else {
                    ++c.deleteFailures;
                }
                c.longestWriteMs = qMax(c.longestWriteMs, t.nsecsElapsed() / 1e6);
                break;
            }
            noteBoxes("delete");
        }
        if (editEvery > 0 && c.iterations % editEvery == 0) {
            edit(m_dm.ADOTest, QStringLiteral("PDescription"), &c.lastTestEdit);
            edit(m_dm.ADOTip, QStringLiteral("PMaker"), &c.lastTypeEdit);
            noteBoxes("edit");
        }
    }

    // Edits the first row's field through the record rules and posts it.
    void edit(TDataSet *table, const QString &field, QString *written)
    {
        if (table->rowCount() == 0)
            return;
        const QString text = QStringLiteral("Правка ") + QString::number(c.iterations);
        table->setData(table->index(0, table->fieldIndex(field)), text);
        QElapsedTimer t;
        t.start();
        if (table->post()) {
            ++c.edits;
            *written = text;
        } else {
            ++c.editFailures;
        }
        c.longestWriteMs = qMax(c.longestWriteMs, t.nsecsElapsed() / 1e6);
    }

    void openDialogs(const QString &databaseFile)
    {
        c.dialogs += soak::browseFileDialogs(QFileInfo(databaseFile).absolutePath());
        if (kv::databaseLocksOfThisProcess(databaseFile) == kv::FileLocks::Lost) {
            ++c.locksLost;
            out << "locks lost after round " << c.iterations << Qt::endl;
        }
    }

private:
    TDM &m_dm;
    kv::RecordingUi &m_ui;
    QRandomGenerator m_random{15};
};

}  // namespace

int main(int argc, char **argv)
{
    QTemporaryDir settings;
    qputenv("XDG_CONFIG_HOME", settings.path().toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption database(QStringLiteral("database"), QStringLiteral("The database file."),
                                      QStringLiteral("path"));
    const QCommandLineOption stopFile(QStringLiteral("stop-file"), QStringLiteral("Stop once this file exists."),
                                      QStringLiteral("path"));
    const QCommandLineOption seconds(QStringLiteral("seconds"), QStringLiteral("Stop after this long."),
                                     QStringLiteral("n"), QStringLiteral("3600"));
    const QCommandLineOption deleteEvery(QStringLiteral("delete-every"),
                                         QStringLiteral("Delete a soak record every K rounds (0 never)."),
                                         QStringLiteral("k"), QStringLiteral("5"));
    const QCommandLineOption editEvery(QStringLiteral("edit-every"),
                                       QStringLiteral("Edit a test every K rounds (0 never)."), QStringLiteral("k"),
                                       QStringLiteral("7"));
    const QCommandLineOption dialogs(QStringLiteral("dialogs"),
                                     QStringLiteral("Open the file dialogs on the database's folder every round."));
    const QCommandLineOption selectAllEvery(
        QStringLiteral("select-all-every"),
        QStringLiteral("Export, print, select all and delete in the archive window every K rounds (0 never)."),
        QStringLiteral("k"), QStringLiteral("0"));
    const QCommandLineOption logFile(QStringLiteral("log"),
                                     QStringLiteral("Write the record keys shown and deleted to this file."),
                                     QStringLiteral("path"));
    parser.addOptions({database, stopFile, seconds, deleteEvery, editEvery, selectAllEvery, logFile, dialogs});
    parser.process(app);
    if (!parser.isSet(database)) {
        out << "--database PATH is required" << Qt::endl;
        return 2;
    }

    kv::ScopedRecordingUi ui;
    TDM dm;
    if (!dm.connectDatabase(parser.value(database)) || !dm.DataModuleCreate()) {
        for (const auto &b : ui->boxes())
            out << "box open: " << b.text << Qt::endl;
        return 2;
    }
    Browser browser(dm, *ui);
    TFArchiv window(&dm);
    QTemporaryDir files;
    const int clearEvery = parser.value(selectAllEvery).toInt();
    const QString stop = parser.value(stopFile);
    const qint64 limit = parser.value(seconds).toLongLong() * 1000;
    QElapsedTimer wall;
    wall.start();
    const QString databaseFile = QFileInfo(parser.value(database)).absoluteFilePath();
    while (wall.elapsed() < limit && (stop.isEmpty() || !QFile::exists(stop))) {
        browser.iterate(parser.value(deleteEvery).toInt(), parser.value(editEvery).toInt());
        if (parser.isSet(dialogs))
            browser.openDialogs(databaseFile);
        if (clearEvery > 0 && browser.c.iterations % clearEvery == 0)
            browser.clearArchive(window, files.path());
        QCoreApplication::processEvents();
    }
    if (parser.isSet(logFile)) {
        QFile log(parser.value(logFile));
        if (log.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            QTextStream to(&log);
            for (qint64 key : browser.shown)
                to << "shown " << key << '\n';
            for (qint64 key : browser.deleted)
                to << "deleted " << key << '\n';
        } else {
            out << "cannot write " << parser.value(logFile) << Qt::endl;
            return 1;
        }
    }

    const Counts &c = browser.c;
    out << "browse: rounds=" << c.iterations << " records=" << c.records << " meters=" << c.meters
        << " errors=" << c.errors << " list_rows_paged=" << c.listRows << " deleted=" << c.deletes
        << " delete_failures=" << c.deleteFailures << " edits=" << c.edits << " edit_failures=" << c.editFailures
        << " longest_write_ms=" << qint64(c.longestWriteMs) << " half_written=" << c.halfWritten
        << " read_errors=" << c.readErrors << " boxes=" << c.boxes << " clearings=" << c.clearings
        << " cleared_records=" << c.clearedRecords << " saved_while_listed=" << c.savedMeanwhile
        << " exports=" << c.exports << " printed_pages=" << c.printedPages << " copy_mismatches=" << c.copyMismatches
        << " longest_clear_ms=" << qint64(c.longestClearMs) << " records_shown=" << browser.shown.size()
        << " dialogs=" << c.dialogs << " locks_lost=" << c.locksLost
        << " seconds=" << QString::number(wall.elapsed() / 1000.0, 'f', 1) << Qt::endl;
    // What the check reads back: the last texts written.
    out << "last test edit: " << c.lastTestEdit << Qt::endl;
    out << "last type edit: " << c.lastTypeEdit << Qt::endl;
    const bool clean = c.deleteFailures == 0 && c.editFailures == 0 && c.halfWritten == 0 && c.readErrors == 0 &&
                       c.boxes == 0 && c.copyMismatches == 0 && c.locksLost == 0;
    return clean ? 0 : 1;
}
