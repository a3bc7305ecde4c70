#include "shell/table_actions.h"

#include "core/clock.h"
#include "core/error_report.h"
#include "database/engine_sql.h"
#include "files/dbf_writer.h"
#include "files/paradox_file.h"
#include "files/sqlite_export.h"
#include "files/text_table_writers.h"
#include "reference/data_module.h"
#include "widgets/data_grid.h"

#include <QAbstractProxyModel>
#include <QBrush>
#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>

namespace basekvintor {

namespace {

struct SaveEntry {
    SaveFormat format;
    const char *filter;
    const char *extension;
};
const SaveEntry kSaveEntries[] = {
    {SaveFormat::Text, "Текстовый файл (*.txt)", "txt"},
    {SaveFormat::Csv, "Текст с разделителями-запятыми (*.csv)", "csv"},
    {SaveFormat::Html, "Страница HTML (*.htm)", "htm"},
    {SaveFormat::Rtf, "Документ RTF (*.rtf)", "rtf"},
    {SaveFormat::Excel, "Книга Excel (*.xlsx)", "xlsx"},
};

struct ExportEntry {
    ExportTarget target;
    QString filter;
};
const ExportEntry kExportEntries[] = {
    {ExportTarget::Sqlite, QStringLiteral("База данных SQLite (*.sqlite)")},
    {ExportTarget::Dbase3, QStringLiteral("dBASE III (*.dbf)")},
    {ExportTarget::Dbase4, QStringLiteral("dBASE IV (*.dbf)")},
    {ExportTarget::Paradox7, QStringLiteral("Pradox 7.x (*.db)")},
    {ExportTarget::Excel, QStringLiteral("Книга Excel (*.xlsx)")},
};

// The model under any views stacked on it.
QList<const QAbstractItemModel *> modelChain(const QAbstractItemModel *model)
{
    QList<const QAbstractItemModel *> chain;
    while (model && !chain.contains(model)) {
        chain << model;
        auto *proxy = qobject_cast<const QAbstractProxyModel *>(model);
        model = proxy ? proxy->sourceModel() : nullptr;
    }
    return chain;
}

bool isNumber(const QVariant &v)
{
    switch (v.metaType().id()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Double:
    case QMetaType::Float:
        return true;
    default:
        return false;
    }
}

// A shown cell as a spreadsheet should hold it: numbers and dates typed.
QVariant typedValue(const QVariant &edit, const QString &shown)
{
    if (edit.isNull() || !edit.isValid())
        return shown.isEmpty() ? QVariant() : QVariant(shown);
    if (isNumber(edit))
        return edit;
    if (edit.metaType().id() == QMetaType::QDateTime || edit.metaType().id() == QMetaType::QDate)
        return edit;
    if (edit.metaType().id() == QMetaType::QString) {
        const QString s = edit.toString();
        if (s.size() >= 10 && s.at(4) == QLatin1Char('-')) {
            const QDateTime d = kv::dateTimeFromText(s);
            if (d.isValid())
                return d;
        }
    }
    return shown;
}

// The value of `field` in the current record of a data set seen by `grid`:
// the grid's current row, the first row when none is current, 0 when empty.
qint64 currentField(const kv::DataGrid &grid, const QAbstractItemModel *set, const QSqlRecord &fields, const QString &field)
{
    if (!set || set->rowCount() == 0)
        return 0;
    const int column = fields.indexOf(field);
    if (column < 0)
        return 0;
    int row = grid.currentRow();
    if (row < 0 || row >= set->rowCount())
        row = 0;
    return set->data(set->index(row, column), Qt::EditRole).toLongLong();
}

}  // namespace

GridSource gridSourceOf(const QAbstractItemView *grid, const TDM *dm)
{
    if (!grid)
        return GridSource::None;
    if (dm) {
        for (const QAbstractItemModel *m : modelChain(grid->model())) {
            if (m == dm->ADOTip)
                return GridSource::DSTip;
            if (m == dm->ADOTest)
                return GridSource::DSTest;
            if (m == dm->ADOTestPoint)
                return GridSource::DSTestPoint;
            if (m == dm->ADOMeasure)
                return GridSource::DSMeasure;
            if (m == dm->ADOPosition)
                return GridSource::DSPosition;
            if (m == dm->ADOResult)
                return GridSource::DSResult;
            if (m == dm->ADOSQL)
                return GridSource::DSSQL;
        }
    }
    if (grid->objectName() == QLatin1String("DBGridSQL"))
        return GridSource::DSSQL;
    return GridSource::None;
}

QString printTitle(GridSource source)
{
    switch (source) {
    case GridSource::DSTip: return QStringLiteral("Архив - Список счетчиков");
    case GridSource::DSTest: return QStringLiteral("Архив - Список тестов");
    case GridSource::DSTestPoint: return QStringLiteral("Архив - Параметры поверки");
    case GridSource::DSMeasure: return QStringLiteral("Архив - Список проведенных поверок");
    case GridSource::DSPosition: return QStringLiteral("Архив - Результаты проведения поверок");
    case GridSource::DSResult: return QStringLiteral("Архив - Результаты проведения поверок в точках");
    case GridSource::DSSQL:
    case GridSource::None: break;
    }
    return {};
}

QStringList saveFilters()
{
    QStringList list;
    for (const SaveEntry &e : kSaveEntries)
        list << QString::fromUtf8(e.filter);
    return list;
}

std::optional<SaveFormat> saveFormatOf(const QString &filter)
{
    for (const SaveEntry &e : kSaveEntries)
        if (filter == QString::fromUtf8(e.filter))
            return e.format;
    return std::nullopt;
}

QString saveExtension(SaveFormat format)
{
    for (const SaveEntry &e : kSaveEntries)
        if (e.format == format)
            return QString::fromLatin1(e.extension);
    return {};
}

QStringList exportFilters()
{
    QStringList list;
    for (const ExportEntry &e : kExportEntries)
        list << e.filter;
    return list;
}

std::optional<ExportTarget> exportTargetOf(const QString &filter)
{
    for (const ExportEntry &e : kExportEntries)
        if (filter == e.filter)
            return e.target;
    return std::nullopt;
}

GridTable gridTable(const kv::DataGrid &grid, const QList<int> &rows)
{
    GridTable t;
    const QAbstractItemModel *model = grid.model();
    if (!model)
        return t;
    const QList<int> columns = grid.shownColumns();
    QList<bool> plain;
    for (int c : columns) {
        t.titles << model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
        t.widths << grid.columnWidth(c);
        const kv::GridColumn spec = grid.column(c);
        t.alignments << spec.alignment;
        plain << (spec.kind == kv::GridColumn::Kind::Text || spec.kind == kv::GridColumn::Kind::Number);
    }
    t.texts.reserve(rows.size());
    t.values.reserve(rows.size());
    for (int r : rows) {
        QStringList texts;
        QVariantList values;
        for (int i = 0; i < columns.size(); ++i) {
            const QString shown = grid.cellText(r, columns.at(i));
            texts << shown;
            values << (plain.at(i) ? typedValue(model->data(model->index(r, columns.at(i)), Qt::EditRole), shown)
                                   : QVariant(shown));
        }
        t.texts << texts;
        t.values << values;
        const QVariant background =
            columns.isEmpty() ? QVariant() : model->data(model->index(r, columns.first()), Qt::BackgroundRole);
        t.rowColours << (background.canConvert<QBrush>() ? background.value<QBrush>().color() : QColor());
    }
    return t;
}

GridTable wholeGridTable(const kv::DataGrid &grid)
{
    QList<int> rows;
    const int count = grid.model() ? grid.model()->rowCount() : 0;
    rows.reserve(count);
    for (int r = 0; r < count; ++r)
        rows << r;
    return gridTable(grid, rows);
}

QList<int> rowsToSave(const kv::DataGrid &grid)
{
    const kv::MarkedRows marked = grid.markedRows();
    QList<int> rows = marked.rows;
    if (rows.isEmpty()) {
        // Nothing marked: the table as shown, as printing takes it.
        const int count = grid.model() ? grid.model()->rowCount() : 0;
        for (int r = 0; r < count; ++r)
            rows << r;
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

QString savedRowsText(int rows, const QString &path)
{
    return QStringLiteral("Сохранено строк: ") + QString::number(rows) + QStringLiteral(". Файл: ") +
           QDir::toNativeSeparators(path);
}

QString writeGridTable(const QString &path, const GridTable &table, SaveFormat format)
{
    if (format == SaveFormat::Excel) {
        kv::WorkbookTable book;
        book.sheetName = QFileInfo(path).completeBaseName();
        book.titles = table.titles;
        book.rows = table.values;
        for (int w : table.widths)
            book.columnWidths << std::max(4.0, w / 7.0);
        return kv::writeWorkbook(path, book);
    }
    kv::TableData data;
    for (const QString &title : table.titles) {
        kv::TableColumn c;
        c.name = title;
        data.columns << c;
    }
    data.rows.reserve(table.texts.size());
    for (const QStringList &texts : table.texts) {
        kv::TableRow row;
        row.reserve(texts.size());
        for (const QString &s : texts)
            row << QVariant(s);
        data.rows << row;
    }
    const kv::TextTableFormat f = format == SaveFormat::Text  ? kv::TextTableFormat::Text
                                  : format == SaveFormat::Csv ? kv::TextTableFormat::Csv
                                  : format == SaveFormat::Html ? kv::TextTableFormat::Html
                                                               : kv::TextTableFormat::Rtf;
    return kv::writeTextTable(path, data, f);
}

QString fileExistsText(const QString &path)
{
    return QStringLiteral("Файл %1 уже существует.\nЗаменить его?").arg(QDir::toNativeSeparators(path));
}

ExportTargetInfo prepareExportTarget(ExportTarget target, const QString &chosenPath)
{
    ExportTargetInfo info;
    info.target = target;
    const QFileInfo chosen(chosenPath);
    switch (target) {
    case ExportTarget::Sqlite: {
        const kv::SqliteTarget t = kv::prepareSqliteTarget(chosenPath);
        info.path = t.path;
        info.tables = t.tables;
        info.error = t.error;
        info.needsPanel = true;
        info.panelLabel = QStringLiteral("Таблицы базы \"%1\"").arg(QFileInfo(info.path).fileName());
        break;
    }
    case ExportTarget::Dbase3:
    case ExportTarget::Dbase4:
    case ExportTarget::Paradox7: {
        // The folder receives a table named as the file; its file carries the
        // format's own extension whatever was typed.
        info.tableName = chosen.completeBaseName();
        const QString ext = target == ExportTarget::Paradox7 ? QStringLiteral(".db") : QStringLiteral(".dbf");
        info.path = chosen.dir().filePath(info.tableName + ext);
        if (info.tableName.isEmpty())
            info.error = kNoTableNameText;
        break;
    }
    case ExportTarget::Excel:
        info.path = chosen.suffix().isEmpty() ? chosenPath + QStringLiteral(".xlsx") : chosenPath;
        info.needsPanel = true;
        info.panelLabel = QStringLiteral("Таблицы книги \"%1\"").arg(QFileInfo(info.path).fileName());
        if (QFileInfo::exists(info.path))
            info.tables = kv::sheetNames(info.path, &info.error);
        break;
    }
    return info;
}

QString exportedRowsText(int rows, const ExportTargetInfo &target)
{
    QString text = QStringLiteral("Экспортировано строк: ") + QString::number(rows) + QStringLiteral(". ");
    if (target.target == ExportTarget::Sqlite || target.target == ExportTarget::Excel)
        text += QStringLiteral("Таблица \"") + target.tableName.trimmed() + QStringLiteral("\", файл: ");
    else
        text += QStringLiteral("Файл: ");
    return text + QDir::toNativeSeparators(target.path);
}

QString runExport(QSqlDatabase db, const ExportParts &parts, const ExportTargetInfo &target, int *written)
{
    if (written)
        *written = 0;
    if (parts.columnPart.trimmed().isEmpty() || parts.sourcePart.trimmed().isEmpty())
        return kNoQueryText;
    if (parts.rows && !parts.rows->lastError().isEmpty())
        return parts.rows->lastError();
    QString sql;
    try {
        sql = parts.rows ? parts.rows->rowsStatement(parts.fields) : kv::toEngineSql(parts.statement(), db);
    } catch (const kv::Error &e) {
        return e.text();
    }
    if (target.target == ExportTarget::Sqlite) {
        // Counted first: the rows go from engine to file without passing here.
        QSqlQuery count(db);
        const int rows = count.exec(QStringLiteral("SELECT count(*) FROM (") + sql + QStringLiteral(") AS shown")) &&
                                 count.next()
                             ? count.value(0).toInt()
                             : 0;
        const QString error = kv::exportToSqlite(db, kv::SqliteTarget{target.path, false, target.tables, QString()},
                                                 target.tableName.trimmed(), sql);
        if (error.isEmpty() && written)
            *written = rows;
        return error;
    }
    const QString name = target.tableName.trimmed();
    if (name.isEmpty())
        return kNoTableNameText;
    if (target.target == ExportTarget::Excel) {
        // A sheet of that name is refused before any row is read.
        if (QFileInfo::exists(target.path)) {
            QString error;
            const QStringList sheets = kv::sheetNames(target.path, &error);
            if (!error.isEmpty())
                return error;
            for (const QString &s : sheets)
                if (s.compare(kv::cleanSheetName(name), Qt::CaseInsensitive) == 0)
                    return QStringLiteral("Таблица \"%1\" уже существует.").arg(name);
        }
    } else if (QFileInfo::exists(target.path)) {
        return QStringLiteral("Таблица \"%1\" уже существует.").arg(QFileInfo(target.path).fileName());
    }

    kv::TableData table;
    if (parts.rows) {
        try {
            table = parts.rows->table(parts.fields, name);
        } catch (const kv::Error &e) {
            return e.text();
        }
    } else {
        QSqlQuery q(db);
        q.setForwardOnly(true);
        if (!q.exec(sql))
            return QStringLiteral("Не удалось прочитать строки для экспорта: ") + q.lastError().text();
        table = kv::tableFromQuery(q, name);
    }

    if (written)
        *written = int(table.rows.size());
    QString error;
    switch (target.target) {
    case ExportTarget::Dbase3:
    case ExportTarget::Dbase4: error = kv::writeDbf(target.path, table).error; break;
    case ExportTarget::Paradox7: error = kv::writeParadox(target.path, table, 1251).error; break;
    case ExportTarget::Excel: {
        kv::WorkbookTable book;
        book.sheetName = name;
        for (const kv::TableColumn &c : table.columns)
            book.titles << c.name;
        book.rows.reserve(table.rows.size());
        for (const kv::TableRow &row : table.rows)
            book.rows << QVariantList(row.begin(), row.end());
        error = kv::addSheet(target.path, book);
        break;
    }
    case ExportTarget::Sqlite: break;
    }
    if (!error.isEmpty() && written)
        *written = 0;
    return error;
}

std::optional<ExportParts> exportParts(const kv::DataGrid &grid, GridSource source, const TDM *dm,
                                       const QueryPartsProvider &query)
{
    switch (source) {
    // The details' lists hold every row of the current master record.
    case GridSource::DSResult:
        return ExportParts{QStringLiteral("Select PPointNumber,PMeasure,PMeasureMax "),
                           QStringLiteral(" from TResult where PSecIndex=") +
                               QString::number(currentField(grid, dm->ADOResult, dm->ADOResult->record(),
                                                            QStringLiteral("PSecIndex"))),
                           dm->ADOResult,
                           {QStringLiteral("PPointNumber"), QStringLiteral("PMeasure"), QStringLiteral("PMeasureMax")}};
    case GridSource::DSPosition:
        return ExportParts{QStringLiteral("Select PPosition,PNumber,PSensitivity,PSamochod,PCountDevice,PTotal "),
                           QStringLiteral(" from TPositionCH where PSecIndex=") +
                               QString::number(currentField(grid, dm->ADOPosition, dm->ADOPosition->record(),
                                                            QStringLiteral("PSecIndex"))),
                           dm->ADOPosition,
                           {QStringLiteral("PPosition"), QStringLiteral("PNumber"), QStringLiteral("PSensitivity"),
                            QStringLiteral("PSamochod"), QStringLiteral("PCountDevice"), QStringLiteral("PTotal")}};
    case GridSource::DSMeasure:
        return ExportParts{
            QStringLiteral("select TMeasure.PDate, TTip.PTip, TTip.PIdentificator, TTest.PNameTable "),
            QStringLiteral(" from TTip, TTest,TMeasure where (TMeasure.PPointerTip = TTip.PIndex)   and "
                           "(TMeasure.PPointerTest=TTest.PIndex)"),
            dm->ADOMeasure,
            {QStringLiteral("PDate"), QStringLiteral("PTip"), QStringLiteral("PIdentificator"),
             QStringLiteral("PNameTable")}};
    case GridSource::DSTip:
        return ExportParts{QStringLiteral("Select PTip,PIdentificator,PMaker,PClassT,PReductRate,PUnom,PInom,PPhase,"
                                          "PEnergy,PImax,PCenaDel "),
                           QStringLiteral(" from TTip ")};
    case GridSource::DSTest:
        return ExportParts{
            QStringLiteral("Select PNameTable,PDescription,PSensitivityCB,PSensitivityT,PSensitivityTSec,"
                           "PSensitivityU,PSensitivityI,PSamochodCB,PSamochodT,PSamochodTSec,PSamochodU,PSamochodI,"
                           "PCountDeviceCB,PCountDeviceT,PCountDeviceTSec,PCountDeviceU,PCountDeviceI "),
            QStringLiteral(" from TTest ")};
    case GridSource::DSTestPoint:
        return ExportParts{QStringLiteral("Select PPersentU,PPhaseUA,PPhaseUB,PPhaseUC,PPersentI,PPhaseIA,PPhaseIB,"
                                          "PPhaseIC,PKM,PCountRotation,PMeasureMax "),
                           QStringLiteral(" from TTestPoint where PSecIndex=") +
                               QString::number(currentField(grid, dm->ADOTestPoint, dm->ADOTestPoint->record(),
                                                            QStringLiteral("PSecIndex")))};
    case GridSource::DSSQL: {
        ExportParts parts = query ? query() : ExportParts{};
        if (dm && dm->ADOSQL && !parts.columnPart.trimmed().isEmpty())
            parts.rows = dm->ADOSQL;
        return parts;
    }
    case GridSource::None: break;
    }
    return std::nullopt;
}

kv::GridPrintJob printJob(const kv::DataGrid &grid, GridSource source)
{
    const GridTable t = wholeGridTable(grid);
    kv::GridPrintJob job;
    job.title = printTitle(source);
    job.date = kv::now().date();
    job.titles = t.titles;
    job.widths = t.widths;
    job.alignments = t.alignments;
    job.rows = t.texts;
    job.rowColours = t.rowColours;
    return job;
}

}  // namespace basekvintor
