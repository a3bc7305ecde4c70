#include "setup/protocol_data_window.h"

#include "widgets/protocol_data_editors.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace kvintor {

TFdataReport::TFdataReport(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FdataReport"));
    setWindowTitle(QStringLiteral("Данные для протокола"));
    auto edit = [this](const char *name) {
        auto *e = new QLineEdit(this);
        e->setObjectName(QLatin1String(name));
        return e;
    };
    ENumProt = edit("ENumProt");
    EPPover = edit("EPPover");
    EMakerPov = edit("EMakerPov");
    ENumUst = edit("ENumUst");
    ENumSv = edit("ENumSv");
    Eot = edit("Eot");
    EDo = edit("EDo");
    CBAuto = new QCheckBox(QStringLiteral("Автоинкримент номера протокола"), this);
    CBAuto->setObjectName(QStringLiteral("CBAuto"));
    ENumProt->installEventFilter(this);

    auto *root = new QVBoxLayout(this);
    auto *protocol = new QGroupBox(QStringLiteral("Протокол"), this);
    auto *pf = new QFormLayout(protocol);
    pf->addRow(QStringLiteral("Номер протокола"), ENumProt);
    pf->addRow(QString(), CBAuto);
    pf->addRow(QStringLiteral("Предприятие поверитель"), EPPover);
    pf->addRow(QStringLiteral("Поверку произвел"), EMakerPov);
    root->addWidget(protocol);

    auto *installation = new QGroupBox(QStringLiteral("Установка"), this);
    auto *inf = new QFormLayout(installation);
    inf->addRow(QStringLiteral("Номер установки"), ENumUst);
    inf->addRow(QStringLiteral("Свидетельство о поверке установки номер"), ENumSv);
    auto *dates = new QHBoxLayout;
    dates->addWidget(new QLabel(QStringLiteral("от"), installation));
    dates->addWidget(Eot);
    dates->addWidget(new QLabel(QStringLiteral("до"), installation));
    dates->addWidget(EDo);
    inf->addRow(QStringLiteral("Срок действия свидетельства "), dates);
    root->addWidget(installation);

    ButtonOK = new QPushButton(QStringLiteral("OK"), this);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ButtonOK);
    root->addLayout(buttons);
    connect(ButtonOK, &QPushButton::clicked, this, &QDialog::accept);

    load();
}

void TFdataReport::showData(const kv::ProtocolData &d)
{
    editors().show(d);
}

kv::ProtocolData TFdataReport::data() const
{
    return editors().read();
}

void TFdataReport::load()
{
    showData(kv::loadProtocolData());
}

void TFdataReport::store()
{
    kv::storeProtocolData(data());
}

void TFdataReport::AdvanceProtocolNumber()
{
    kv::ProtocolData d = data();
    kv::advanceProtocolNumber(d);
    ENumProt->setText(d.protocolNumber);
}

void TFdataReport::showEvent(QShowEvent *event)
{
    load();
    QDialog::showEvent(event);
}

void TFdataReport::done(int result)
{
    store();
    QDialog::done(result);
}

bool TFdataReport::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ENumProt && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Backspace)
            return false;
        const QString text = key->text();
        // Only typed characters are filtered; moving about and shortcuts pass.
        if (!text.isEmpty() && text.at(0).isPrint() && !kv::protocolNumberKeyAccepted(text.at(0)))
            return true;
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace kvintor
