#include "link/main_window.h"

#include "core/ui.h"
#include "link/frame_log_view.h"
#include "setup/protocol_data_window.h"
#include "setup/run_setup.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

namespace kvintor {

const QString TKvintor::Caption = QStringLiteral("Установка для регулировки и поверки счетчиков Kvintor");

TAboutBox::TAboutBox(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("О программе"));
    auto *layout = new QVBoxLayout(this);
    auto *name = new QLabel(QStringLiteral("Kvintor"), this);
    QFont big = name->font();
    big.setPointSize(big.pointSize() + 6);
    big.setBold(true);
    name->setFont(big);
    layout->addWidget(name);
    layout->addWidget(new QLabel(QStringLiteral("Установка для регулировки и поверки счетчиков"), this));
    layout->addWidget(new QLabel(QStringLiteral("Версия ") + QCoreApplication::applicationVersion(), this));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
}

TKvintor::TKvintor(TDM &dm, const QString &portOverride, const QString &databaseArgument, QWidget *parent)
    : QMainWindow(parent), m_main(dm)
{
    setObjectName(QStringLiteral("Kvintor"));
    setWindowTitle(Caption);
    BuildMenus();
    BuildContents();

    m_main.DatabaseArgument = databaseArgument;
    m_main.Link.SetView(this);
    connect(&m_main, &KvintorMain::CheckMarksChanged, this, &TKvintor::ShowCheckMarks);
    auto *log = new FrameLogView(Memo2, Edit1, FrameLogLines, this);
    connect(&m_main.Link, &StandLink::FrameLogged, log, &FrameLogView::Append);
    // After the port's own message about a lost device.
    connect(&m_main.Link, &StandLink::PortLost, this, &TKvintor::ShowStatus, Qt::QueuedConnection);
    m_main.FormCreate(portOverride);
    ShowCheckMarks();
}

TKvintor::~TKvintor()
{
    m_main.Link.SetView(nullptr);
}

void TKvintor::BuildMenus()
{
    auto action = [](QMenu *menu, const QString &text, const char *name) {
        QAction *a = menu->addAction(text);
        a->setObjectName(QLatin1String(name));
        return a;
    };

    QMenu *actions = menuBar()->addMenu(QStringLiteral("Действия"));
    actions->setObjectName(QStringLiteral("MActions"));
    AReply = action(actions, QStringLiteral("Опросить стенды"), "AReply");
    ABase = action(actions, QStringLiteral("База данных"), "ABase");
    AExit = action(actions, QStringLiteral("Выход"), "AExit");
    connect(AReply, &QAction::triggered, this, [this] { m_main.AReplyExecute(); });
    connect(ABase, &QAction::triggered, this, [this] { m_main.ABaseExecute(); });
    connect(AExit, &QAction::triggered, this, &QWidget::close);

    MCheck = menuBar()->addMenu(QStringLiteral("&Проверка"));
    MCheck->setObjectName(QStringLiteral("MCheck"));
    MCheck->menuAction()->setEnabled(false);
    AManual = action(MCheck, QStringLiteral("Ручная"), "AManual");
    QMenu *automatic = MCheck->addMenu(QStringLiteral("Автоматическая"));
    automatic->setObjectName(QStringLiteral("MAutomatic"));
    ARegul = action(automatic, QStringLiteral("Регулировка"), "ARegul");
    APover = action(automatic, QStringLiteral("Поверка"), "APover");
    connect(AManual, &QAction::triggered, this, [this] { m_main.StartRun(ModeManual); });
    connect(ARegul, &QAction::triggered, this, [this] { m_main.StartRun(ModeRegulation); });
    connect(APover, &QAction::triggered, this, [this] { m_main.StartRun(ModeVerification); });

    QMenu *service = menuBar()->addMenu(QStringLiteral("&Сервис"));
    service->setObjectName(QStringLiteral("MService"));
    QMenu *port = service->addMenu(QStringLiteral("Поледовательный порт"));
    port->setObjectName(QStringLiteral("MPort"));
    Mcom1 = action(port, QStringLiteral("Com 1"), "Mcom1");
    MCom2 = action(port, QStringLiteral("Com 2"), "MCom2");
    QMenu *transformer = service->addMenu(QStringLiteral("Трансформатор тока"));
    transformer->setObjectName(QStringLiteral("MTransformer"));
    Tr1 = action(transformer, QStringLiteral("И561"), "Tr1");
    Tr2 = action(transformer, QStringLiteral("671111.104"), "Tr2");
    for (QAction *a : {Mcom1, MCom2, Tr1, Tr2})
        a->setCheckable(true);
    // The marks follow the rules, not the click: a checked item clicked again stays checked.
    connect(Mcom1, &QAction::triggered, this, [this] { m_main.ChoosePort(1); ShowCheckMarks(); });
    connect(MCom2, &QAction::triggered, this, [this] { m_main.ChoosePort(2); ShowCheckMarks(); });
    connect(Tr1, &QAction::triggered, this, [this] { m_main.ChooseTransformer(1); ShowCheckMarks(); });
    connect(Tr2, &QAction::triggered, this, [this] { m_main.ChooseTransformer(2); ShowCheckMarks(); });
    ADataReport = action(service, QStringLiteral("Данные для протокола"), "ADataReport");
    connect(ADataReport, &QAction::triggered, this, [this] {
        if (m_dataReport)
            kv::ui().execDialog(m_dataReport);
    });

    AAbout = menuBar()->addAction(QStringLiteral("О программе"));
    AAbout->setObjectName(QStringLiteral("AAbout"));
    connect(AAbout, &QAction::triggered, this, [this] {
        if (m_about)
            kv::ui().execDialog(m_about);
    });
}

void TKvintor::BuildContents()
{
    auto *central = new QWidget(this);
    central->setObjectName(QStringLiteral("Panel"));
    auto *grid = new QGridLayout(central);

    auto *stands = new QHBoxLayout;
    QFont standFont = font();
    standFont.setPointSize(standFont.pointSize() + 8);
    standFont.setBold(true);
    for (int s = 1; s <= 5; ++s) {
        auto *label = new QLabel(QStringLiteral("Стенд №%1").arg(s), central);
        label->setObjectName(QStringLiteral("LabelStand%1").arg(s));
        label->setFont(standFont);
        label->setAlignment(Qt::AlignCenter);
        label->setEnabled(false);
        LabelStand[s] = label;
        stands->addWidget(label);
    }
    grid->addLayout(stands, 0, 0, 1, 2);

    LabelWait = new QLabel(QStringLiteral("Подождите идет опрос стендов !"), central);
    LabelWait->setObjectName(QStringLiteral("LabelWait"));
    QFont waitFont = font();
    waitFont.setPointSize(waitFont.pointSize() + 4);
    LabelWait->setFont(waitFont);
    LabelWait->setAlignment(Qt::AlignCenter);
    LabelWait->setVisible(false);
    grid->addWidget(LabelWait, 1, 0, 1, 2);

    Memo2 = new QPlainTextEdit(central);
    Memo2->setObjectName(QStringLiteral("Memo2"));
    Memo2->setReadOnly(true);
    // The stands are asked in turn for as long as a point lasts: a log kept
    // whole would grow for the whole working day.
    Memo2->setMaximumBlockCount(FrameLogLines);
    grid->addWidget(Memo2, 2, 0, 1, 2);
    grid->setRowStretch(2, 1);

    auto *tools = new QHBoxLayout;
    ButtonPoll = new QPushButton(QStringLiteral("Опрос"), central);
    ButtonPoll->setObjectName(QStringLiteral("ButtonPoll"));
    ButtonAuto = new QPushButton(QStringLiteral("авто"), central);
    ButtonAuto->setObjectName(QStringLiteral("ButtonAuto"));
    ButtonEnable = new QPushButton(QStringLiteral("Включить"), central);
    ButtonEnable->setObjectName(QStringLiteral("ButtonEnable"));
    Edit1 = new QLineEdit(central);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setReadOnly(true);
    for (QWidget *w : std::initializer_list<QWidget *>{ButtonPoll, ButtonAuto, ButtonEnable, Edit1})
        tools->addWidget(w);
    tools->addStretch();
    grid->addLayout(tools, 3, 0);
    connect(ButtonAuto, &QPushButton::clicked, this, [this] { m_main.SendAuto(); });
    connect(ButtonEnable, &QPushButton::clicked, this, [this] { m_main.MarkAllStandsPresent(); });

    // Without a caption, so nobody sees it; a double click brings the diagnostics.
    LabelHidden = new QLabel(central);
    LabelHidden->setObjectName(QStringLiteral("LabelHidden"));
    LabelHidden->setFixedSize(24, 24);
    LabelHidden->installEventFilter(this);
    grid->addWidget(LabelHidden, 3, 1, Qt::AlignRight | Qt::AlignBottom);

    for (QWidget *w : std::initializer_list<QWidget *>{Memo2, ButtonPoll, ButtonAuto, ButtonEnable, Edit1})
        w->setVisible(false);
    setCentralWidget(central);

    LStatus = new QLabel(this);
    LStatus->setObjectName(QStringLiteral("LStatus"));
    LStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);
    statusBar()->addWidget(LStatus, 1);
}

void TKvintor::ShowStatus()
{
    LStatus->setText(m_main.StatusText(MCheck->menuAction()->isEnabled()));
}

void TKvintor::ShowCheckMarks()
{
    Mcom1->setChecked(m_main.Mcom1);
    MCom2->setChecked(m_main.MCom2);
    Tr1->setChecked(m_main.Tr1);
    Tr2->setChecked(m_main.Tr2);
    ShowStatus();
}

void TKvintor::SetStandCaptionEnabled(int stand, bool enabled)
{
    if (stand >= 1 && stand <= 5)
        LabelStand[stand]->setEnabled(enabled);
}

bool TKvintor::StandCaptionEnabled(int stand) const
{
    // The caption's own state: a modal box over the window must not hide an answer.
    return stand >= 1 && stand <= 5 && !LabelStand[stand]->testAttribute(Qt::WA_Disabled);
}

void TKvintor::SetCheckMenuEnabled(bool enabled)
{
    MCheck->menuAction()->setEnabled(enabled);
    ShowStatus();
}

void TKvintor::SetPollNoticeVisible(bool visible) { LabelWait->setVisible(visible); }

void TKvintor::SetPollActionsEnabled(bool enabled)
{
    AReply->setEnabled(enabled);
    ABase->setEnabled(enabled);
}

void TKvintor::ToggleDiagnostics()
{
    m_diagnostics = !m_diagnostics;
    for (QWidget *w : std::initializer_list<QWidget *>{Memo2, ButtonPoll, ButtonAuto, ButtonEnable, Edit1})
        w->setVisible(m_diagnostics);
    Q_EMIT DiagnosticsToggled(m_diagnostics);
}

bool TKvintor::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == LabelHidden && event->type() == QEvent::MouseButtonDblClick) {
        ToggleDiagnostics();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void TKvintor::closeEvent(QCloseEvent *event)
{
    // "Выход" during a verification must not lose it unasked.
    if (!m_main.MayClose()) {
        event->ignore();
        return;
    }
    m_main.FormClose();
    event->accept();
    Q_EMIT FormClosed();
}

}  // namespace kvintor
