#include "shell/import_window.h"

#include "core/error_report.h"
#include "core/ui.h"
#include "database/file_locks.h"
#include "reference/data_module.h"
#include "shell/main_window.h"
#include "widgets/child_form.h"
#include "widgets/data_grid.h"
#include "widgets/file_dialogs.h"

#include <QAction>
#include <QCoreApplication>
#include <QFileDialog>
#include <QProgressDialog>

namespace basekvintor {

ImportProgressDialog::ImportProgressDialog(QWidget *parent) : m_parent(parent) {}

ImportProgressDialog::~ImportProgressDialog() { delete m_dialog; }

bool ImportProgressDialog::step(ImportStage stage, qint64 done, qint64 total)
{
    if (!m_dialog) {
        m_dialog = new QProgressDialog(m_parent);
        m_dialog->setObjectName(QStringLiteral("ImportProgress"));
        m_dialog->setWindowTitle(QStringLiteral("Импорт"));
        m_dialog->setCancelButtonText(QStringLiteral("Отмена"));
        m_dialog->setWindowModality(Qt::ApplicationModal);
        m_dialog->setAutoClose(false);
        m_dialog->setAutoReset(false);
        m_dialog->setMinimumDuration(500);
        m_dialog->setValue(0);
    }
    m_dialog->setLabelText(stage == ImportStage::Reading ? QStringLiteral("Чтение таблицы...")
                                                         : QStringLiteral("Перенос данных..."));
    if (total > 0) {
        // Rows counted in thousands keep the range inside an int for any table.
        const int scale = total > 1000000 ? 1000 : 1;
        m_dialog->setMaximum(int(total / scale));
        m_dialog->setValue(int(std::min(done, total) / scale));
    } else {
        m_dialog->setMaximum(0);  // a moving bar while the size is unknown
        m_dialog->setValue(0);
    }
    QCoreApplication::processEvents();
    return !m_dialog->wasCanceled();
}

TImportActions::TImportActions(TFExpert *frame) : QObject(frame), m_frame(frame)
{
    setObjectName(QStringLiteral("ImportActions"));
    connect(frame->AImportTest, &QAction::triggered, this, [this] { kv::guarded([this] { AImportTestExecute(); }); });
    connect(frame->AImportTip, &QAction::triggered, this, [this] { kv::guarded([this] { AImportTipExecute(); }); });
}

QFileDialog *TImportActions::ODTest()
{
    if (!m_odTest) {
        m_odTest = kv::makeFileDialog(m_frame, QStringLiteral("ODTest"), QStringLiteral("Открыть"), false);
        m_odTest->setNameFilter(kImportFilter);
    }
    return m_odTest;
}

QString TImportActions::chooseFile()
{
    QFileDialog *dialog = ODTest();
    dialog->selectFile(QString());
    if (kv::execFileDialog(dialog) != QDialog::Accepted)
        return {};
    const QStringList files = dialog->selectedFiles();
    if (files.isEmpty())
        return {};
    // Read outside SQLite, the archive itself would lose its locks.
    if (kv::isDatabaseFile(files.first())) {
        kv::reportError(kv::databaseFileRefusal(files.first()));
        return {};
    }
    return files.first();
}

// Asks for the file, imports it with the progress shown, and gives the outcome
// to `imported` when the import went through.
void TImportActions::runImport(ImportOutcome (TableImport::*importFile)(const QString &),
                               const std::function<void(const ImportOutcome &)> &imported)
{
    if (m_running || !DM)
        return;
    const QString path = chooseFile();
    if (path.isEmpty())
        return;
    m_running = true;
    ImportOutcome out;
    {
        ImportProgressDialog progress(m_frame);
        TableImport import(DM);
        import.setProgress(&progress);
        import.setReadLimitMs(m_readLimitMs);
        out = (import.*importFile)(path);
    }
    m_running = false;
    if (out.ok())
        imported(out);
}

void TImportActions::AImportTestExecute()
{
    runImport(&TableImport::importTest, [this](const ImportOutcome &out) {
        showCurrentTest(out.testKey);
        m_frame->showStatus(importedTestText(out));
    });
}

void TImportActions::AImportTipExecute()
{
    runImport(&TableImport::importTip, [this](const ImportOutcome &out) { m_frame->showStatus(importedTipsText(out)); });
}

// The tests window follows its grid's current row; moving the grid there
// makes the new test current wherever the window keeps its record.
void TImportActions::showCurrentTest(qint64 key)
{
    const int row = DM->ADOTest->rowOfKey(key);
    if (row < 0)
        return;
    if (TChildForm *tests = m_frame->child(QStringLiteral("FTest"))) {
        const QList<kv::DataGrid *> grids = tests->findChildren<kv::DataGrid *>();
        for (kv::DataGrid *grid : grids) {
            if (grid->model() == DM->ADOTest) {
                grid->setCurrentRow(row);
                return;
            }
        }
    }
    DM->setCurrentTest(row);
}

}  // namespace basekvintor
