#pragma once
// "Просмотр результатов поверки": the finished run stand by stand, failing
// results coloured, with the archive save and the group protocol. Rebuilt
// from the run at every showing; the logic is in result_tables.h.

#include "setup/result_tables.h"

#include <QDialog>

#include <functional>
#include <memory>

class QPushButton;
class QTableView;

namespace kvintor {

class RunControl;
class RunState;
class TDM;
class TFNumber;
class TFdataReport;

class TFView : public QDialog
{
    Q_OBJECT
public:
    struct Hooks {
        // The run window's "Записать в архив" (meter numbers, then the archive save).
        std::function<void()> ASaveInBase;
    };

    // `numbers` is the meter numbers window; `protocol` gives the group
    // protocol's header data and advance. Neither is owned.
    TFView(TDM &dm, const RunState &run, TFNumber *numbers, StandProtocols::Context protocol, Hooks hooks,
           QWidget *parent = nullptr);

    QTableView *DBStend = nullptr;
    QTableView *DBRMResult = nullptr;
    QPushButton *Button1 = nullptr;  // "Записать в архив"
    QPushButton *Button2 = nullptr;  // "Групповой протокол"
    QPushButton *Button3 = nullptr;  // "Закрыть"

    ViewerGridModel *StandModel = nullptr;
    ViewerGridModel *ResultModel = nullptr;
    StandProtocols &Protocols() { return m_protocols; }

    void FormShow();
    void Button1Click();
    // Returns the protocol files written (none when the numbers were not confirmed).
    QStringList Button2Click();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void followStand();

    TDM &m_dm;
    const RunState &m_run;
    TFNumber *m_numbers;
    Hooks m_hooks;
    StandProtocols m_protocols;
};

// The viewer of the program: "Результат поверки" of the run window shows it
// modally, its "Записать в архив" is the run window's action, and the group
// protocol reads the protocol data dialog and the meter numbers window as
// they stand (and advances the number through the dialog).
std::unique_ptr<TFView> AttachResultsViewer(TDM &dm, RunControl &run, TFNumber *numbers, TFdataReport *protocolData,
                                            QWidget *parent = nullptr);

}  // namespace kvintor
