#include "run/current_window.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace kvintor {

TFCurrent::TFCurrent(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("FCurrent"));
    setWindowTitle(QStringLiteral("Предписание"));
    setModal(true);
    auto *layout = new QVBoxLayout(this);
    auto *panel = new QFrame(this);
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Raised);
    auto *inner = new QVBoxLayout(panel);
    Label1 = new QLabel(panel);
    Label2 = new QLabel(panel);
    QFont big = font();
    big.setPointSize(big.pointSize() + 4);
    big.setBold(true);
    Label1->setFont(big);
    Label2->setFont(big);
    inner->addWidget(Label1);
    inner->addWidget(Label2);
    layout->addWidget(panel);
    Button1 = new QPushButton(QStringLiteral("Готово"), this);
    layout->addWidget(Button1, 0, Qt::AlignHCenter);
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
    ShowText(false);
}

void TFCurrent::ShowText(bool end)
{
    Label1->setText(end ? QStringLiteral("  Тест закончен") : QStringLiteral("Для начала теста "));
    Label2->setText(QStringLiteral("  Выключите ток"));
}

}  // namespace kvintor
