#include "setup/results_window.h"

#include "core/ui.h"
#include "run/run_control.h"
#include "setup/data_module.h"
#include "setup/meter_numbers_window.h"
#include "setup/protocol_data_window.h"
#include "setup/run_curves.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace kvintor {

namespace {

QTableView *readOnlyGrid(QAbstractItemModel *model, QWidget *parent)
{
    auto *view = new QTableView(parent);
    view->setModel(model);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->verticalHeader()->hide();
    return view;
}

}  // namespace

TFView::TFView(TDM &dm, const RunState &run, TFNumber *numbers, StandProtocols::Context protocol, Hooks hooks,
               QWidget *parent)
    : QDialog(parent), m_dm(dm), m_run(run), m_numbers(numbers), m_hooks(std::move(hooks)),
      m_protocols(dm, std::move(protocol))
{
    setObjectName(QStringLiteral("FView"));
    setWindowTitle(QStringLiteral("Просмотр результатов поверки"));
    setModal(true);
    StandModel = new ViewerGridModel(dm.RMStend, ViewerGridModel::Grid::Stands, this);
    ResultModel = new ViewerGridModel(dm.RMResult, ViewerGridModel::Grid::Results, this);

    auto *root = new QVBoxLayout(this);
    auto *grids = new QHBoxLayout;
    root->addLayout(grids);
    DBStend = readOnlyGrid(StandModel, this);
    DBStend->setObjectName(QStringLiteral("DBStend"));
    DBStend->horizontalHeader()->setStretchLastSection(true);
    DBStend->setMaximumWidth(140);
    DBRMResult = readOnlyGrid(ResultModel, this);
    DBRMResult->setObjectName(QStringLiteral("DBRMResult"));
    grids->addWidget(DBStend);
    grids->addWidget(DBRMResult, 1);
    // Another stand's rows bring other verdicts under the meters' numbers
    // ("Не годен" is wider than "Годен"): the columns fit them again.
    connect(ResultModel, &QAbstractItemModel::modelReset, DBRMResult, &QTableView::resizeColumnsToContents);

    auto *buttons = new QHBoxLayout;
    root->addLayout(buttons);
    Button1 = new QPushButton(QStringLiteral("Записать в архив"), this);
    Button2 = new QPushButton(QStringLiteral("Групповой протокол"), this);
    Button3 = new QPushButton(QStringLiteral("Закрыть"), this);
    Button4 = new QPushButton(QStringLiteral("Кривые погрешности"), this);
    for (QPushButton *b : {Button1, Button2, Button4, Button3}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    connect(Button1, &QPushButton::clicked, this, &TFView::Button1Click);
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    connect(Button3, &QPushButton::clicked, this, &QDialog::close);
    connect(Button4, &QPushButton::clicked, this, &TFView::Button4Click);
    LStatus = new QLabel(this);
    LStatus->setObjectName(QStringLiteral("LStatus"));
    LStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);
    LStatus->setWordWrap(true);
    root->addWidget(LStatus);
    connect(&run, &RunState::changed, this, &TFView::followRun);

    // The operator picks a stand: the data module follows, and so the result rows.
    connect(DBStend->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) {
                if (current.isValid() && current.row() != m_dm.RMStend->recNo())
                    m_dm.RMStend->setCurrent(current.row());
            });
    connect(dm.RMStend, &RecordTable::currentChanged, this, &TFView::followStand);
    // Fits a 1366×768 screen with every meter column of a stand in view.
    resize(DefaultSize);
}

void TFView::showEvent(QShowEvent *event)
{
    FormShow();
    QDialog::showEvent(event);
}

void TFView::FormShow()
{
    BuildResultTables(m_dm, m_run);
    followStand();
    followRun();
    DBRMResult->resizeColumnsToContents();
}

void TFView::followRun()
{
    Button1->setEnabled(m_run.SaveInBaseEnabled);
    if (m_run.StatusText != m_runStatusShown) {
        m_runStatusShown = m_run.StatusText;
        LStatus->setText(m_runStatusShown);
    }
}

const QString TFView::ProtocolDataQuestion =
    QStringLiteral("Данные для протокола (организация, поверитель, номер протокола) ещё не заполнены. Заполнить их сейчас?");

QString TFView::ProtocolsWrittenText(const QStringList &files)
{
    QStringList shown;
    for (const QString &f : files)
        shown << QDir::toNativeSeparators(QFileInfo(f).absoluteFilePath());
    return (files.size() == 1 ? QStringLiteral("Протокол записан: ") : QStringLiteral("Протоколы записаны: ")) +
           shown.join(QStringLiteral("; "));
}

void TFView::followStand()
{
    const int row = m_dm.RMStend->recNo();
    if (row >= 0 && DBStend->currentIndex().row() != row)
        DBStend->setCurrentIndex(StandModel->index(row, 0));
}

void TFView::Button4Click()
{
    // "Стенд №3": the digit after the sign.
    const QString caption = m_dm.RMStend->value(QStringLiteral("PStend")).toString();
    if (ShowCurves)
        ShowCurves(caption.section(QStringLiteral("№"), 1).toInt());
}

void TFView::Button1Click()
{
    if (m_hooks.ASaveInBase)
        m_hooks.ASaveInBase();
}

QStringList TFView::Button2Click()
{
    if (!m_numbers || kv::ui().execDialog(m_numbers) != QDialog::Accepted)
        return {};
    if (!m_protocolDataAsked && !kv::protocolDataStored() && m_hooks.EditProtocolData) {
        m_protocolDataAsked = true;
        if (kv::ui().question(this, QStringLiteral("Групповой протокол"), ProtocolDataQuestion) == QMessageBox::Yes)
            m_hooks.EditProtocolData();
    }
    const QStringList files = m_protocols.BuildStandProtocols();
    if (!files.isEmpty())
        LStatus->setText(ProtocolsWrittenText(files));
    return files;
}

std::unique_ptr<TFView> AttachResultsViewer(TDM &dm, RunControl &run, TFNumber *numbers, TFdataReport *protocolData,
                                            QWidget *parent)
{
    StandProtocols::Context context;
    context.data = [protocolData] { return protocolData ? protocolData->data() : kv::ProtocolData(); };
    context.advance = [protocolData] {
        if (protocolData)
            protocolData->AdvanceProtocolNumber();
    };
    context.meterNumber = [numbers](int s, int p) {
        return numbers && s >= 1 && s <= 5 && p >= 1 && p <= 6 ? numbers->Edits[s][p]->text() : QString();
    };
    context.curvePictures = [&dm, &run, number = context.meterNumber](int stand) {
        return RunCurvePictures(dm, run, stand, number);
    };
    TFView::Hooks hooks;
    hooks.ASaveInBase = [&run] { run.ASaveInBase(); };
    hooks.EditProtocolData = [protocolData] {
        if (protocolData)
            kv::ui().execDialog(protocolData);
    };
    auto view = std::make_unique<TFView>(dm, run, numbers, context, hooks, parent);
    TFView *v = view.get();
    run.Hooks.ShowResults = [v] { kv::ui().execDialog(v); };
    // Over the modal viewer the curves are modal too, and follow the run all the same.
    auto *curves = new RunCurves(dm, run, v, v);
    v->ShowCurves = [curves](int stand) { curves->Show(stand, 0, true); };
    return view;
}

}  // namespace kvintor
