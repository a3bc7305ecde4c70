#include "setup/point_parameters_window.h"

#include "run/point_parameters.h"
#include "run/run_state.h"
#include "setup/data_module.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace kvintor {

namespace {

const QString kStore = QStringLiteral("Param_p");

QWidget *radioPanel(QWidget *parent, const QString &line1, const QString &line2, QRadioButton *&a, const QString &aText,
                    QRadioButton *&b, const QString &bText)
{
    auto *panel = new QWidget(parent);
    auto *box = new QVBoxLayout(panel);
    box->addWidget(new QLabel(line1, panel));
    box->addWidget(new QLabel(line2, panel));
    auto *row = new QHBoxLayout;
    box->addLayout(row);
    a = new QRadioButton(aText, panel);
    b = new QRadioButton(bText, panel);
    row->addWidget(a);
    row->addWidget(b);
    return panel;
}

}  // namespace

TParam_p::TParam_p(RunState &run, TDM &dm, QWidget *parent) : QDialog(parent), m_run(run), m_dm(dm)
{
    setObjectName(QStringLiteral("Param_p"));
    setWindowTitle(QStringLiteral("Установите параметры точки"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    auto *root = new QVBoxLayout(this);
    Memo1 = new QPlainTextEdit(this);
    Memo1->setReadOnly(true);
    Memo1->setMinimumSize(420, 170);
    root->addWidget(Memo1);
    auto *radios = new QHBoxLayout;
    root->addLayout(radios);
    RangePanel = radioPanel(this, QStringLiteral("Предел по току"), QStringLiteral("образцового счетчика"),
                            RadioButton1, QStringLiteral("1A"), RadioButton2, QStringLiteral("5A"));
    WindingPanel = radioPanel(this, QStringLiteral("Вторичная обмотка"), QStringLiteral("трансформатора тока"),
                              RadioButton3, QStringLiteral("1A"), RadioButton4, QStringLiteral("2,5A"));
    radios->addWidget(RangePanel);
    radios->addWidget(WindingPanel);
    BitBtn1 = new QPushButton(QStringLiteral("Установлено"), this);
    BitBtn1->setAutoDefault(false);
    root->addWidget(BitBtn1);
    connect(BitBtn1, &QPushButton::clicked, this, &TParam_p::BitBtn1Click);

    RadioButton2->setChecked(true);
    RadioButton3->setChecked(true);
    restoreRadios();
    for (QRadioButton *r : {RadioButton1, RadioButton2, RadioButton3, RadioButton4})
        connect(r, &QRadioButton::toggled, this, [this] { storeRadios(); });

    for (QTimer *t : {&ShowTimer, &CloseTimer}) {
        t->setSingleShot(true);
        t->setInterval(WaitMs);
    }
    connect(&ShowTimer, &QTimer::timeout, this, &TParam_p::OnShowTimer);
    connect(&CloseTimer, &QTimer::timeout, this, &TParam_p::OnCloseTimer);
}

void TParam_p::restoreRadios()
{
    auto stored = [this](QRadioButton *r, const QString &name) {
        const QString v = m_dm.storedProperty(kStore, name + QStringLiteral(".Checked"));
        if (v == QLatin1String("1"))
            r->setChecked(true);
    };
    stored(RadioButton1, QStringLiteral("RadioButton1"));
    stored(RadioButton2, QStringLiteral("RadioButton2"));
    stored(RadioButton3, QStringLiteral("RadioButton3"));
    stored(RadioButton4, QStringLiteral("RadioButton4"));
}

void TParam_p::storeRadios()
{
    const struct {
        QRadioButton *r;
        const char *name;
    } all[] = {{RadioButton1, "RadioButton1"}, {RadioButton2, "RadioButton2"},
               {RadioButton3, "RadioButton3"}, {RadioButton4, "RadioButton4"}};
    for (const auto &a : all)
        m_dm.storeProperty(kStore, QLatin1String(a.name) + QStringLiteral(".Checked"),
                           a.r->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
}

void TParam_p::Prepare(const QStringList &lines, bool tr1)
{
    Memo1->setPlainText(lines.join(QLatin1Char('\n')));
    m_tr1 = tr1;
}

void TParam_p::showEvent(QShowEvent *event)
{
    FormShow();
    QDialog::showEvent(event);
}

void TParam_p::FormShow()
{
    RangePanel->setVisible(m_tr1);
    WindingPanel->setVisible(!m_tr1);
    CloseTimer.stop();
    BitBtn1->setEnabled(false);
    ShowTimer.start();
}

void TParam_p::OnShowTimer()
{
    ShowTimer.stop();
    BitBtn1->setEnabled(true);
}

void TParam_p::BitBtn1Click()
{
    if (!BitBtn1->isEnabled())
        return;
    BitBtn1->setEnabled(false);
    for (int s = 1; s <= 5; ++s)
        for (int p = 1; p <= 6; ++p) {
            PositionField &f = m_run.StandResults[s].MeterEdit[p];
            // The register test keeps the readings the operator typed before it.
            if (m_run.PointKind != KindRegister)
                f.SetText(QString());
            f.SetFontColor(Qt::black);
        }
    m_run.Changed();
    if (Purge)
        Purge();
    CloseTimer.start();
}

void TParam_p::OnCloseTimer()
{
    CloseTimer.stop();
    accept();
}

}  // namespace kvintor
