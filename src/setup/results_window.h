#pragma once
// "Просмотр результатов поверки": the finished run stand by stand, failing
// results coloured, with the archive save and the group protocol. Rebuilt
// from the run at every showing; the logic is in result_tables.h.

#include "setup/result_tables.h"

#include <QDialog>
#include <QSize>

#include <functional>
#include <memory>

class QLabel;
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
        // Shows the protocol data dialog ("Данные для протокола").
        std::function<void()> EditProtocolData;
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
    QPushButton *Button4 = nullptr;  // "Кривые погрешности"
    // Shows the curves of a stand (1..5); set by AttachResultsViewer.
    std::function<void(int stand)> ShowCurves;
    // "Кривые погрешности": the curves of the stand selected.
    void Button4Click();
    // The status line: what the last save or protocol came to.
    QLabel *LStatus = nullptr;

    ViewerGridModel *StandModel = nullptr;
    ViewerGridModel *ResultModel = nullptr;
    StandProtocols &Protocols() { return m_protocols; }

    static constexpr QSize DefaultSize{1000, 560};

    void FormShow();
    // The status line after protocols were written to `files`.
    static QString ProtocolsWrittenText(const QStringList &files);
    // Asked once, before the first protocol, while the protocol data were never filled in.
    static const QString ProtocolDataQuestion;
    void Button1Click();
    // Returns the protocol files written (none when the numbers were not confirmed).
    QStringList Button2Click();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void followStand();
    // "Записать в архив" only while the run is not in the archive; the run's
    // news in the status line when there is some.
    void followRun();

    TDM &m_dm;
    const RunState &m_run;
    TFNumber *m_numbers;
    Hooks m_hooks;
    StandProtocols m_protocols;
    QString m_runStatusShown;
    bool m_protocolDataAsked = false;
};

// The viewer of the program: "Результат поверки" of the run window shows it
// modally, its "Записать в архив" is the run window's action, and the group
// protocol reads the protocol data dialog and the meter numbers window as
// they stand (and advances the number through the dialog).
std::unique_ptr<TFView> AttachResultsViewer(TDM &dm, RunControl &run, TFNumber *numbers, TFdataReport *protocolData,
                                            QWidget *parent = nullptr);

}  // namespace kvintor
