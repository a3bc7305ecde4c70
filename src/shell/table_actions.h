#pragma once
// The table actions of the main window without widgets of their own: which
// data a grid shows, the statement pieces "Экспорт" copies, the file formats
// and their filter entries, the targets of an export, what "Сохранить как"
// writes, and the title a printout gets. The dialogs (shell/table_dialogs.h)
// only ask the operator and call in here.

#include "files/table_data.h"
#include "files/workbook_writer.h"
#include "widgets/grid_print.h"

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QAbstractItemView;

namespace kv {
class DataGrid;
}

namespace basekvintor {

class TDM;

// The data source a grid shows.
enum class GridSource { None, DSTip, DSTest, DSTestPoint, DSMeasure, DSPosition, DSResult, DSSQL };

// Recognises a grid by the data set under its model (views over a data set
// are looked through); the query result grid also by its name.
GridSource gridSourceOf(const QAbstractItemView *grid, const TDM *dm);

// The title line of a printout ("" for the query result).
QString printTitle(GridSource source);

class TQueryDataSet;

// What "Экспорт" copies: column part + source part, as Jet text. For the
// archive lists and the query result the rows are those of the list the grid
// shows (the named fields of `rows`), so the file holds what the operator
// sees, not what the other program saved since.
struct ExportParts {
    ExportParts() = default;
    ExportParts(QString column, QString source, TQueryDataSet *list = nullptr, QStringList listFields = {})
        : columnPart(std::move(column)), sourcePart(std::move(source)), rows(list), fields(std::move(listFields))
    {
    }

    QString columnPart;
    QString sourcePart;
    TQueryDataSet *rows = nullptr;
    QStringList fields;  // of `rows`, in the column part's order; empty: all
    QString statement() const { return columnPart + sourcePart; }
};

// The query builder's kept parts of its last statement (empty before any query);
// the export takes the rows from the query result's list.
using QueryPartsProvider = std::function<ExportParts()>;

// "Сохранить как": the entries of SDTable in order, and what each writes.
enum class SaveFormat { Text, Csv, Html, Rtf, Excel };
QStringList saveFilters();
// The format of a filter entry (by its text); nullopt for an unknown entry.
std::optional<SaveFormat> saveFormatOf(const QString &filter);
QString saveExtension(SaveFormat format);

// "Экспорт": the entries of SaveDialog1 in order. Paradox is offered only as
// version 7, the one version the Paradox writer produces.
enum class ExportTarget { Sqlite, Dbase3, Dbase4, Paradox7, Excel };
QStringList exportFilters();
std::optional<ExportTarget> exportTargetOf(const QString &filter);

// The grid's table as it is written out: the columns the grid shows, with
// their titles, and the rows asked for. `texts` are the cells as the grid
// shows them; `values` keep numbers and dates typed where the cell shows a
// plain value (codes and check boxes keep their shown text).
struct GridTable {
    QStringList titles;
    QList<int> widths;  // shown widths of the columns
    QList<Qt::Alignment> alignments;
    QList<QStringList> texts;
    QList<QVariantList> values;
    QList<QColor> rowColours;  // background of each row (invalid: none)
};
// `rows` empty gives a table without rows.
GridTable gridTable(const kv::DataGrid &grid, const QList<int> &rows);
// Every row of the grid's table.
GridTable wholeGridTable(const kv::DataGrid &grid);
// The rows "Сохранить как" writes: the marked ones, every row of the grid when
// none is marked (a file of titles alone helps nobody).
QList<int> rowsToSave(const kv::DataGrid &grid);
// Told in the status line after "Сохранить как".
QString savedRowsText(int rows, const QString &path);

// Writes a grid table as a file of the format. Returns "" or the error text.
QString writeGridTable(const QString &path, const GridTable &table, SaveFormat format);

// What the export knows about its target before the table choice panel.
struct ExportTargetInfo {
    ExportTarget target = ExportTarget::Sqlite;
    QString path;        // the file to write (".sqlite" appended for a bare name)
    QString tableName;   // dBASE and Paradox: the file's name; else typed in the panel
    bool needsPanel = false;
    QString panelLabel;  // LTable: "Таблицы базы "… or "Таблицы книги "…
    QStringList tables;  // tables or sheets already in the file
    QString error;       // listing the file failed: reported, nothing copied
};

// Sets up the target for the chosen file: an SQLite file is created empty when
// missing (and stays), its tables listed; a workbook's sheets are listed.
ExportTargetInfo prepareExportTarget(ExportTarget target, const QString &chosenPath);

// Copies the rows of the statement into the target. Returns "" or the error
// text (an empty name, a table that exists, a target that cannot be written,
// the engine's message). `written` gets the number of rows copied (0 on failure).
QString runExport(QSqlDatabase db, const ExportParts &parts, const ExportTargetInfo &target, int *written = nullptr);
// Told in the status line after an export.
QString exportedRowsText(int rows, const ExportTargetInfo &target);

// Captions and texts of the table actions.
inline const QString kSFTableCaption = QStringLiteral("Сохранение таблицы");
inline const QString kNewTableLabel = QStringLiteral("Новая таблица");
inline const QString kNoQueryText =
    QStringLiteral("Нет данных для экспорта: запрос к архиву еще не выполнен (\"Выбор данных из архива\").");
inline const QString kNoTableNameText = QStringLiteral("Не задано имя новой таблицы.");
QString fileExistsText(const QString &path);
inline const QString kEmptyTableText = QStringLiteral("Таблица пуста: сохранять нечего.");

// The parts of a grid's export, or nullopt for a grid that has none. The
// details export every row of the current master record.
std::optional<ExportParts> exportParts(const kv::DataGrid &grid, GridSource source, const TDM *dm,
                                       const QueryPartsProvider &query);

// The print job of a grid: its whole table with the title line of its source.
kv::GridPrintJob printJob(const kv::DataGrid &grid, GridSource source);

}  // namespace basekvintor
