#include "shell/protocol_panel.h"

#include "widgets/protocol_data_editors.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace basekvintor {

namespace {
QLineEdit *edit(QWidget *owner, const char *name)
{
    auto *e = new QLineEdit(owner);
    e->setObjectName(QLatin1String(name));
    return e;
}
}  // namespace

TSFDataProt::TSFDataProt(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("SFDataProt"));
    setWindowTitle(QStringLiteral("Данные для протокола"));
    setModal(true);

    CBAuto = new QCheckBox(QStringLiteral("Автоинкримент номера протокола"), this);
    CBAuto->setObjectName(QStringLiteral("CBAuto"));
    ENumProt = edit(this, "ENumProt");
    ENumProt->installEventFilter(this);
    EPPover = edit(this, "EPPover");
    EMakerPov = edit(this, "EMakerPov");
    ENumUst = edit(this, "ENumUst");
    ENumSv = edit(this, "ENumSv");
    Eot = edit(this, "Eot");
    EDo = edit(this, "EDo");

    auto *protocol = new QGroupBox(QStringLiteral("Протокол"), this);
    auto *pf = new QFormLayout(protocol);
    pf->addRow(QStringLiteral("Номер протокола"), ENumProt);
    pf->addRow(QString(), CBAuto);
    pf->addRow(QStringLiteral("Предприятие поверитель"), EPPover);
    pf->addRow(QStringLiteral("Поверку произвел"), EMakerPov);

    auto *installation = new QGroupBox(QStringLiteral("Установка"), this);
    auto *inf = new QFormLayout(installation);
    inf->addRow(QStringLiteral("Номер установки"), ENumUst);
    inf->addRow(QStringLiteral("Свидетельство о поверке установки №"), ENumSv);
    auto *dates = new QHBoxLayout;
    dates->addWidget(new QLabel(QStringLiteral("от"), installation));
    dates->addWidget(Eot);
    dates->addWidget(new QLabel(QStringLiteral("до"), installation));
    dates->addWidget(EDo);
    inf->addRow(QStringLiteral("Срок действия свидетельства "), dates);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(protocol);
    layout->addWidget(installation);
    layout->addWidget(buttons);

    load();
}

kv::ProtocolData TSFDataProt::data() const
{
    return editors().read();
}

void TSFDataProt::setData(const kv::ProtocolData &d)
{
    editors().show(d);
}

void TSFDataProt::load() { setData(kv::loadProtocolData()); }

void TSFDataProt::store() { kv::storeProtocolData(data()); }

void TSFDataProt::AdvanceProtocolNumber()
{
    kv::ProtocolData d = data();
    kv::advanceProtocolNumber(d);
    ENumProt->setText(d.protocolNumber);
}

void TSFDataProt::done(int result)
{
    store();  // SFDataProtClose: whenever the panel closes, by OK or otherwise
    QDialog::done(result);
}

void TSFDataProt::showEvent(QShowEvent *event)
{
    load();  // SFDataProtShow
    QDialog::showEvent(event);
}

bool TSFDataProt::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ENumProt && event->type() == QEvent::KeyPress) {
        const QString text = static_cast<QKeyEvent *>(event)->text();
        for (QChar c : text)
            if (c.isPrint() && !kv::protocolNumberKeyAccepted(c))
                return true;  // ENumProtKeyPress discards the character
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace basekvintor
