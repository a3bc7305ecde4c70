#pragma once
// The "Таблица" actions of the main window on its current grid: the save
// dialog SDTable, the export dialog SaveDialog1, the table choice panel
// SFTable, printing and preview. Every dialog runs through kv::ui(), so tests
// script them; the work itself is in shell/table_actions.h.

#include "shell/table_actions.h"

#include <QDialog>
#include <QObject>

#include <functional>

class QFileDialog;
class QLabel;
class QLineEdit;
class QListWidget;
class QPrinter;

namespace kv {
class DataGrid;
}

namespace basekvintor {

class TFExpert;

// The table choice panel: the tables already in the target (for information)
// and the name of the new one.
class TSFTable : public QDialog
{
    Q_OBJECT
public:
    explicit TSFTable(QWidget *parent = nullptr);
    // Fills the panel for one target: caption, label, list (first item
    // selected), the name edit empty.
    void prepare(const QString &tablesLabel, const QStringList &tables);

    QLabel *LTable;
    QListWidget *ListBoxTable;
    QLabel *LNewTable;
    QLineEdit *ETable;
};

class TTableActions : public QObject
{
    Q_OBJECT
public:
    // Binds itself to the frame's five table actions.
    explicit TTableActions(TFExpert *frame);

    // The query builder's kept parts, read when the query result is exported.
    void setQueryParts(QueryPartsProvider provider) { m_queryParts = std::move(provider); }

    // Where "Печать" prints: the default printer when there is one, else the
    // one the operator picks in the print dialog. Returns false when none is
    // chosen. Tests put a PDF printer here.
    using PrinterChooser = std::function<bool(QPrinter &)>;
    void setPrinterChooser(PrinterChooser chooser) { m_choosePrinter = std::move(chooser); }

    // Made on first use: a file dialog made at start-up reads the working
    // folder before anyone asked for it (see widgets/file_dialogs.h).
    QFileDialog *SDTable();
    QFileDialog *SaveDialog1();
    TSFTable *SFTable() const { return m_sfTable; }

    void ASelectAllExecute();
    void ASaveASExecute();
    void AExportExecute();
    void APrintExecute();
    void APrintViewExecute();

    // The page count of the last printout (tests).
    int lastPages() const { return m_lastPages; }

private:
    kv::DataGrid *currentGrid() const;
    bool printInto(QPrinter &printer, const kv::GridPrintJob &job);

    TFExpert *m_frame;
    QFileDialog *m_sdTable = nullptr;
    QFileDialog *m_saveDialog = nullptr;
    TSFTable *m_sfTable;
    QueryPartsProvider m_queryParts;
    PrinterChooser m_choosePrinter;
    int m_lastPages = 0;
};

}  // namespace basekvintor
