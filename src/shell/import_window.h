#pragma once
// The main window's side of the imports: "Импорт таблицы тестов" and
// "Импорт таблицы типов" ask for the file in the open dialog ODTest, run the
// import with a progress dialog that keeps the program responsive, and show
// the new test as the current one of the tests window.

#include "shell/import_tables.h"

#include <QObject>
#include <QPointer>
#include <QProgressDialog>

#include <functional>

class QFileDialog;
class QWidget;

namespace basekvintor {

class TFExpert;

// A progress dialog that appears only when an import takes a while; it is
// modal, so nothing else can be started while the events are let through.
class ImportProgressDialog : public ImportProgress
{
public:
    explicit ImportProgressDialog(QWidget *parent);
    ~ImportProgressDialog() override;
    bool step(ImportStage stage, qint64 done, qint64 total) override;
    QProgressDialog *dialog() const { return m_dialog; }

private:
    QWidget *m_parent;
    QPointer<QProgressDialog> m_dialog;
};

class TImportActions : public QObject
{
    Q_OBJECT
public:
    // Connects the frame's AImportTest and AImportTip.
    explicit TImportActions(TFExpert *frame);

    // Made on first use (see widgets/file_dialogs.h).
    QFileDialog *ODTest();
    // The file chosen, or "" when the dialog was cancelled.
    QString chooseFile();

    void AImportTestExecute();
    void AImportTipExecute();

    // Tests shorten the reader's limit.
    void setReadLimitMs(int ms) { m_readLimitMs = ms; }

private:
    void showCurrentTest(qint64 key);
    void runImport(ImportOutcome (TableImport::*importFile)(const QString &),
                   const std::function<void(const ImportOutcome &)> &imported);

    TFExpert *m_frame;
    QFileDialog *m_odTest = nullptr;
    int m_readLimitMs = 10000;
    bool m_running = false;
};

}  // namespace basekvintor
