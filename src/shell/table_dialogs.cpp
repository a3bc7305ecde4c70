#include "shell/table_dialogs.h"

#include "core/error_report.h"
#include "core/ui.h"
#include "database/file_locks.h"
#include "files/text_table_writers.h"
#include "reference/data_module.h"
#include "shell/main_window.h"
#include "widgets/data_grid.h"
#include "widgets/file_dialogs.h"

#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProgressDialog>
#include <QPushButton>
#include <QVBoxLayout>

#include <memory>

namespace basekvintor {

namespace {

QFileDialog *saveDialog(QWidget *owner, const char *name, const QStringList &filters)
{
    QFileDialog *d = kv::makeFileDialog(owner, QLatin1String(name), QStringLiteral("Сохранить как"), true);
    // The name actually written may gain an extension, so overwriting is
    // asked about after the dialog, for that name.
    d->setOption(QFileDialog::DontConfirmOverwrite, true);
    d->setNameFilters(filters);
    return d;
}

// The chosen file, or "" when the dialog was cancelled.
QString chooseFile(QFileDialog *dialog, QString *filter)
{
    dialog->selectFile(QString());
    if (kv::execFileDialog(dialog) != QDialog::Accepted)
        return {};
    const QStringList files = dialog->selectedFiles();
    *filter = dialog->selectedNameFilter();
    return files.isEmpty() ? QString() : files.first();
}

// Shown while a long table is laid out and printed.
class PrintProgressDialog
{
public:
    PrintProgressDialog(QWidget *owner, int rows)
    {
        if (rows < kShownFrom)
            return;
        m_dialog = std::make_unique<QProgressDialog>(QStringLiteral("Печать таблицы..."), QStringLiteral("Отмена"), 0,
                                                     1000, owner);
        m_dialog->setObjectName(QStringLiteral("PrintProgress"));
        m_dialog->setWindowTitle(QStringLiteral("Печать"));
        m_dialog->setWindowModality(Qt::ApplicationModal);
        m_dialog->setMinimumDuration(300);
        m_dialog->setValue(0);
    }
    bool operator()(int done, int total)
    {
        if (!m_dialog)
            return true;
        m_dialog->setValue(total > 0 ? int(qint64(done) * 1000 / total) : 0);
        QCoreApplication::processEvents();
        return !m_dialog->wasCanceled();
    }

private:
    static constexpr int kShownFrom = 2000;
    std::unique_ptr<QProgressDialog> m_dialog;
};

}  // namespace

TSFTable::TSFTable(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("SFTable"));
    setWindowTitle(kSFTableCaption);
    auto *layout = new QVBoxLayout(this);
    LTable = new QLabel(this);
    LTable->setObjectName(QStringLiteral("LTable"));
    ListBoxTable = new QListWidget(this);
    ListBoxTable->setObjectName(QStringLiteral("ListBoxTable"));
    LNewTable = new QLabel(kNewTableLabel, this);
    LNewTable->setObjectName(QStringLiteral("LNewTable"));
    ETable = new QLineEdit(this);
    ETable->setObjectName(QStringLiteral("ETable"));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("ОК"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(LTable);
    layout->addWidget(ListBoxTable);
    layout->addWidget(LNewTable);
    layout->addWidget(ETable);
    layout->addWidget(buttons);
}

void TSFTable::prepare(const QString &tablesLabel, const QStringList &tables)
{
    setWindowTitle(kSFTableCaption);
    LTable->setText(tablesLabel);
    LNewTable->setText(kNewTableLabel);
    ListBoxTable->clear();
    ListBoxTable->addItems(tables);
    if (ListBoxTable->count() > 0)
        ListBoxTable->setCurrentRow(0);
    ETable->clear();
    ETable->setReadOnly(false);
    ETable->setFocus();
}

TTableActions::TTableActions(TFExpert *frame) : QObject(frame), m_frame(frame)
{
    setObjectName(QStringLiteral("TableActions"));
    m_sfTable = new TSFTable(frame);
    m_choosePrinter = [this](QPrinter &printer) {
        if (!QPrinterInfo::defaultPrinter().isNull())
            return true;
        QPrintDialog dialog(&printer, m_frame);
        kv::useNameOnlyIcons(&dialog);
        return kv::execFileDialog(&dialog) == QDialog::Accepted;
    };
    auto bind = [this](QAction *action, void (TTableActions::*handler)()) {
        connect(action, &QAction::triggered, this, [this, handler] { kv::guarded([this, handler] { (this->*handler)(); }); });
    };
    bind(frame->ASelectAll, &TTableActions::ASelectAllExecute);
    bind(frame->AExport, &TTableActions::AExportExecute);
    bind(frame->ASaveAS, &TTableActions::ASaveASExecute);
    bind(frame->APrint, &TTableActions::APrintExecute);
    bind(frame->APrintView, &TTableActions::APrintViewExecute);
}

QFileDialog *TTableActions::SDTable()
{
    if (!m_sdTable)
        m_sdTable = saveDialog(m_frame, "SDTable", saveFilters());
    return m_sdTable;
}

QFileDialog *TTableActions::SaveDialog1()
{
    if (!m_saveDialog)
        m_saveDialog = saveDialog(m_frame, "SaveDialog1", exportFilters());
    return m_saveDialog;
}

kv::DataGrid *TTableActions::currentGrid() const { return qobject_cast<kv::DataGrid *>(m_frame->currentGrid()); }

void TTableActions::ASelectAllExecute()
{
    if (kv::DataGrid *grid = currentGrid(); grid && grid->markingAllowed())
        grid->selectAll();  // an empty grid marks nothing
}

void TTableActions::ASaveASExecute()
{
    kv::DataGrid *grid = currentGrid();
    if (!grid)
        return;
    const QList<int> rows = rowsToSave(*grid);
    if (rows.isEmpty()) {
        kv::ui().information(m_frame, QStringLiteral("Сохранить как"), kEmptyTableText);
        return;
    }
    for (;;) {
        QString filter;
        const QString chosen = chooseFile(SDTable(), &filter);
        if (chosen.isEmpty())
            return;
        const std::optional<SaveFormat> format = saveFormatOf(filter);
        if (!format)
            return;
        const QString path = kv::withExtension(chosen, saveExtension(*format));
        if (kv::isDatabaseFile(path)) {
            kv::reportError(kv::databaseFileRefusal(path));
            continue;
        }
        if (QFileInfo::exists(path) &&
            kv::ui().question(m_frame, QStringLiteral("Сохранить как"), fileExistsText(path)) != QMessageBox::Yes)
            continue;  // back to the dialog, as its own prompt would
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const QString error = writeGridTable(path, gridTable(*grid, rows), *format);
        QApplication::restoreOverrideCursor();
        if (!error.isEmpty())
            kv::reportError(error);
        else
            m_frame->showStatus(savedRowsText(int(rows.size()), path));
        return;
    }
}

void TTableActions::AExportExecute()
{
    kv::DataGrid *grid = currentGrid();
    if (!grid || !DM)
        return;
    const GridSource source = gridSourceOf(grid, DM);
    const std::optional<ExportParts> parts = exportParts(*grid, source, DM, m_queryParts);
    if (!parts)
        return;
    if (parts->columnPart.trimmed().isEmpty()) {
        kv::reportError(kNoQueryText);
        return;
    }
    QString filter;
    const QString chosen = chooseFile(SaveDialog1(), &filter);
    if (chosen.isEmpty())
        return;
    const std::optional<ExportTarget> target = exportTargetOf(filter);
    if (!target)
        return;
    // Refused before anything reads it: a workbook target is opened as a
    // file, and the database's locks would go with it.
    if (kv::isDatabaseFile(chosen)) {
        kv::reportError(kv::databaseFileRefusal(chosen));
        return;
    }
    ExportTargetInfo info = prepareExportTarget(*target, chosen);
    if (info.error.isEmpty() && kv::isDatabaseFile(info.path))
        info.error = kv::databaseFileRefusal(info.path);
    if (!info.error.isEmpty()) {
        kv::reportError(info.error);
        return;
    }
    if (info.needsPanel) {
        m_sfTable->prepare(info.panelLabel, info.tables);
        if (kv::ui().execDialog(m_sfTable) != QDialog::Accepted)
            return;
        info.tableName = m_sfTable->ETable->text();
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    int written = 0;
    const QString error = runExport(DM->database(), *parts, info, &written);
    QApplication::restoreOverrideCursor();
    if (!error.isEmpty())
        kv::reportError(error);
    else
        m_frame->showStatus(exportedRowsText(written, info));
}

bool TTableActions::printInto(QPrinter &printer, const kv::GridPrintJob &job)
{
    PrintProgressDialog progress(m_frame, int(job.rows.size()));
    const kv::PrintOutcome out =
        kv::printGrid(printer, job, [&progress](int done, int total) { return progress(done, total); });
    m_lastPages = out.pages;
    if (!out.error.isEmpty())
        kv::reportError(out.error);
    return out.error.isEmpty() && !out.cancelled;
}

void TTableActions::APrintExecute()
{
    kv::DataGrid *grid = currentGrid();
    if (!grid)
        return;
    grid->clearMarks();
    const kv::GridPrintJob job = printJob(*grid, gridSourceOf(grid, DM));
    QPrinter printer(QPrinter::HighResolution);
    if (!m_choosePrinter || !m_choosePrinter(printer))
        return;
    printInto(printer, job);
}

void TTableActions::APrintViewExecute()
{
    kv::DataGrid *grid = currentGrid();
    if (!grid)
        return;
    grid->clearMarks();
    const kv::GridPrintJob job = printJob(*grid, gridSourceOf(grid, DM));
    QPrintPreviewDialog preview(m_frame);
    preview.setObjectName(QStringLiteral("PrintPreview"));
    preview.setWindowTitle(QStringLiteral("Предварительный просмотр"));
    connect(&preview, &QPrintPreviewDialog::paintRequested, this,
            [this, &job](QPrinter *printer) { printInto(*printer, job); });
    kv::ui().execDialog(&preview);
}

}  // namespace basekvintor
