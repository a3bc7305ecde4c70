#include "run/run_window.h"

#include "link/frame_log_view.h"
#include "run/run_control.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace kvintor {

TRegul::TRegul(RunControl &run, QWidget *parent) : QWidget(parent, Qt::Window), m_run(run)
{
    setObjectName(QStringLiteral("Regul"));
    // No close box: "Главное меню" is the way out.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowMinMaxButtonsHint);
    setWindowTitle(QStringLiteral("Поверка"));

    auto *root = new QVBoxLayout(this);
    auto *stands = new QHBoxLayout;
    root->addLayout(stands);
    for (int s = 1; s <= 5; ++s) {
        auto *group = new QGroupBox(QStringLiteral("Стенд %1").arg(s), this);
        StandGroup[s] = group;
        auto *grid = new QGridLayout(group);
        for (int p = 1; p <= 6; ++p) {
            grid->addWidget(new QLabel(QString::number(p), group), p - 1, 0);
            auto *field = new QLineEdit(group);
            field->setObjectName(QStringLiteral("Edit%1").arg(10 * s + p));
            field->setProperty("tag", 10 * s + p);
            field->setReadOnly(true);
            field->setContextMenuPolicy(Qt::CustomContextMenu);
            field->installEventFilter(this);
            connect(field, &QWidget::customContextMenuRequested, this,
                    [this, field](const QPoint &at) { popup(field, field->mapToGlobal(at)); });
            MeterEdit[s][p] = field;
            grid->addWidget(field, p - 1, 1);
        }
        auto *reset = new QPushButton(QStringLiteral("Сброс"), group);
        reset->setProperty("tag", s);
        reset->setAutoDefault(false);
        connect(reset, &QPushButton::clicked, this, [this, s] { m_run.ResetStand(s); });
        ResetButton[s] = reset;
        grid->addWidget(reset, 6, 0, 1, 2);
        stands->addWidget(group);
    }

    auto *middle = new QHBoxLayout;
    root->addLayout(middle);
    auto *point = new QVBoxLayout;
    middle->addLayout(point);
    auto *pointLine = new QHBoxLayout;
    point->addLayout(pointLine);
    LPointCaption = new QLabel(QStringLiteral("Точка номер"), this);
    LPoint = new QLabel(this);
    pointLine->addWidget(LPointCaption);
    pointLine->addWidget(LPoint);
    pointLine->addStretch();
    Memo1 = new QPlainTextEdit(this);
    Memo1->setReadOnly(true);
    Memo1->setFocusPolicy(Qt::NoFocus);
    point->addWidget(Memo1);

    PTime = new QFrame(this);
    PTime->setFrameShape(QFrame::Panel);
    auto *time = new QVBoxLayout(PTime);
    LWait1 = new QLabel(QStringLiteral("  Время ожидания"), PTime);
    LWait2 = new QLabel(QStringLiteral("ответа от счётчиков"), PTime);
    LTest1 = new QLabel(QStringLiteral("   Время проведения "), PTime);
    LTest2 = new QLabel(QStringLiteral("дополнительного теста"), PTime);
    LTime = new QLabel(QStringLiteral("0 мин  00 сек"), PTime);
    QFont big = LTime->font();
    big.setPointSize(big.pointSize() + 6);
    big.setBold(true);
    LTime->setFont(big);
    for (QLabel *l : {LWait1, LWait2, LTest1, LTest2, LTime})
        time->addWidget(l);
    middle->addWidget(PTime);

    auto *buttons = new QVBoxLayout;
    middle->addLayout(buttons);
    BNext = new QPushButton(QStringLiteral("Следующая точка"), this);
    BSelect = new QPushButton(QStringLiteral("Выбор точки"), this);
    BTNumber = new QPushButton(QStringLiteral("Номера счетчиков "), this);
    BTResult = new QPushButton(QStringLiteral("Результат поверки"), this);
    BCurves = new QPushButton(QStringLiteral("Кривые погрешности"), this);
    BReady = new QPushButton(QStringLiteral("Готово"), this);
    BNewTest = new QPushButton(QStringLiteral("Повторить поверку"), this);
    BMainMenu = new QPushButton(QStringLiteral("Главное меню"), this);
    for (QPushButton *b : {BNext, BSelect, BTNumber, BTResult, BCurves, BReady, BNewTest, BMainMenu}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    buttons->addStretch();
    connect(BNext, &QPushButton::clicked, &m_run, &RunControl::ANextPoint);
    connect(BSelect, &QPushButton::clicked, &m_run, &RunControl::ASelectPoint);
    connect(BTNumber, &QPushButton::clicked, &m_run, &RunControl::BTNumber);
    connect(BTResult, &QPushButton::clicked, &m_run, &RunControl::BTResult);
    connect(BReady, &QPushButton::clicked, &m_run, &RunControl::AReadySU);
    connect(BNewTest, &QPushButton::clicked, &m_run, &RunControl::AnewTest);
    connect(BMainMenu, &QPushButton::clicked, &m_run, &RunControl::MainMenu);

    AClearCH = new QAction(QStringLiteral("Сброс счетчика"), this);
    Anorma = new QAction(QStringLiteral("Норма"), this);
    Anot = new QAction(QStringLiteral("Нет"), this);
    connect(AClearCH, &QAction::triggered, &m_run, &RunControl::AClearCH);
    connect(Anorma, &QAction::triggered, &m_run, &RunControl::Anorma);
    connect(Anot, &QAction::triggered, &m_run, &RunControl::Anot);

    Memo2 = new QPlainTextEdit(this);
    Memo2->setReadOnly(true);
    Memo2->setMaximumBlockCount(2000);
    Memo2->hide();
    root->addWidget(Memo2);
    connect(&m_run.Link(), &StandLink::FrameLogged, new FrameLogView(Memo2, nullptr, 2000, this), &FrameLogView::Append);

    LStatus = new QLabel(this);
    LStatus->setObjectName(QStringLiteral("LStatus"));
    LStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);
    root->addWidget(LStatus);

    connect(&m_run, &RunState::changed, this, &TRegul::Sync);
    connect(&m_run, &RunState::fieldChanged, this, &TRegul::syncField);
    Sync();
}

void TRegul::syncField(int s, int p)
{
    if (s < 1 || s > 5 || p < 1 || p > 6)
        return;
    const PositionField &f = m_run.StandResults[s].MeterEdit[p];
    QLineEdit *field = MeterEdit[s][p];
    if (field->text() != f.Text())
        field->setText(f.Text());
    field->setEnabled(f.Enabled());
    QPalette palette = field->palette();
    palette.setColor(QPalette::Base, f.Enabled() ? QColor(Qt::white) : QApplication::palette().color(QPalette::Window));
    palette.setColor(QPalette::Text, f.FontColor());
    palette.setColor(QPalette::Disabled, QPalette::Text, f.FontColor());
    field->setPalette(palette);
}

void TRegul::Sync()
{
    setWindowTitle(m_run.Caption);
    for (int s = 1; s <= 5; ++s) {
        for (int p = 1; p <= 6; ++p)
            syncField(s, p);
        ResetButton[s]->setVisible(m_run.StandResults[s].ResetButton.Visible);
    }
    LPointCaption->setVisible(m_run.PointVisible);
    LPoint->setVisible(m_run.PointVisible);
    Memo1->setVisible(m_run.PointVisible);
    LPoint->setText(m_run.PointNumberText);
    const QString memo = m_run.PointMemo.join(QLatin1Char('\n'));
    if (Memo1->toPlainText() != memo)
        Memo1->setPlainText(memo);
    PTime->setVisible(m_run.CountdownVisible);
    const bool answer = m_run.CountdownHeading == RunState::HeadingAnswer;
    LWait1->setVisible(answer);
    LWait2->setVisible(answer);
    LTest1->setVisible(!answer);
    LTest2->setVisible(!answer);
    LTime->setText(m_run.CountdownText);
    BNext->setVisible(m_run.NextVisible);
    BNext->setEnabled(m_run.NextEnabled);
    BSelect->setVisible(m_run.SelectVisible);
    BTResult->setVisible(m_run.ResultVisible);
    BTNumber->setVisible(m_run.NumbersVisible);
    BCurves->setVisible(m_run.Verification());
    BReady->setVisible(m_run.ReadyVisible);
    BNewTest->setVisible(m_run.NewTestVisible);
    LStatus->setText(m_run.StatusText);
    LStatus->setVisible(!m_run.StatusText.isEmpty());
    Anorma->setEnabled(m_run.MarksEnabled);
    Anot->setEnabled(m_run.MarksEnabled);
    if (m_run.WindowVisible && !isVisible())
        show();
    else if (!m_run.WindowVisible && isVisible())
        hide();
}

QList<QAction *> TRegul::PopupActions(int tag)
{
    m_run.FocusedTag = tag;
    QList<QAction *> items;
    if (m_run.ClearMeterOffered())
        items << AClearCH;
    if (m_run.MarksOffered())
        items << Anorma << Anot;
    return items;
}

void TRegul::popup(QLineEdit *field, const QPoint &at)
{
    const QList<QAction *> items = PopupActions(field->property("tag").toInt());
    field->setFocus();
    if (items.isEmpty())
        return;
    QMenu menu(this);
    menu.addActions(items);
    menu.exec(at);
}

bool TRegul::eventFilter(QObject *watched, QEvent *event)
{
    auto *field = qobject_cast<QLineEdit *>(watched);
    if (!field)
        return QWidget::eventFilter(watched, event);
    if (event->type() == QEvent::FocusIn) {
        m_run.FocusedTag = field->property("tag").toInt();
    } else if (event->type() == QEvent::KeyPress) {
        m_run.FocusedTag = field->property("tag").toInt();
        switch (static_cast<QKeyEvent *>(event)->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter: focusNextChild(); return true;
        case Qt::Key_Escape: m_run.AClearCH(); return true;
        case Qt::Key_Space: m_run.SpaceBar(); return true;
        default: break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TRegul::closeEvent(QCloseEvent *event)
{
    // Whatever asks the window to close goes the way of "Главное меню".
    if (m_run.WindowVisible && !m_run.MainMenu())
        event->ignore();
    else
        event->accept();
}

}  // namespace kvintor
