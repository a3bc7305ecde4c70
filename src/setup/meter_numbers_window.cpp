#include "setup/meter_numbers_window.h"

#include "core/ui.h"
#include "run/run_state.h"
#include "widgets/character_limit.h"

#include <QApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QVBoxLayout>

namespace kvintor {

void SetPositionEditUsable(QLineEdit *edit, bool usable)
{
    edit->setEnabled(usable);
    QPalette palette = edit->palette();
    palette.setColor(QPalette::Base, usable ? QColor(Qt::white) : QApplication::palette().color(QPalette::Window));
    edit->setPalette(palette);
    if (!usable)
        edit->clear();
}

void BuildPositionEdits(QWidget *parent, std::array<QLineEdit *, 31> &edit,
                        std::array<std::array<QLineEdit *, 7>, 6> &edits)
{
    auto *grid = new QGridLayout(parent);
    for (int s = 1; s <= 5; ++s)
        for (int p = 1; p <= 6; ++p) {
            const int n = (s - 1) * 6 + p;
            auto *e = new QLineEdit(parent);
            e->setObjectName(QStringLiteral("Edit%1").arg(n));
            e->setProperty("tag", 10 * s + p);
            edit[n] = e;
            edits[s][p] = e;
            auto *label = new QLabel(QString::number(s) + QLatin1Char('/') + QString::number(p), parent);
            label->setBuddy(e);
            grid->addWidget(label, (p - 1) * 2, s - 1);
            grid->addWidget(e, (p - 1) * 2 + 1, s - 1);
        }
}

namespace {

void plainMessage(const QString &text)
{
    kv::ui().message(nullptr, QStringLiteral("Kvintor"), text, kv::Icon::None, QMessageBox::Ok, QMessageBox::Ok);
}

}  // namespace

TFNumber::TFNumber(RunState &run, QWidget *parent) : QDialog(parent), m_run(run)
{
    setObjectName(QStringLiteral("FNumber"));
    setWindowTitle(QStringLiteral("Номера счетчиков на стендах"));
    auto *root = new QVBoxLayout(this);
    auto *group = new QGroupBox(QStringLiteral("Номера счетчиков"), this);
    root->addWidget(group);
    BuildPositionEdits(group, Edit, Edits);
    for (int n = 1; n <= 30; ++n) {
        kv::limitCharacters(Edit[n], MaxNumberLength);
        Edit[n]->installEventFilter(this);
    }
    auto *buttons = new QHBoxLayout;
    root->addLayout(buttons);
    Button1 = new QPushButton(QStringLiteral("Готово"), this);
    Button2 = new QPushButton(QStringLiteral("Закрыть"), this);
    Button3 = new QPushButton(QStringLiteral("Очистить"), this);
    for (QPushButton *b : {Button1, Button2, Button3}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    connect(Button1, &QPushButton::clicked, this, &TFNumber::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
    connect(Button3, &QPushButton::clicked, this, &TFNumber::Button3Click);
}

void TFNumber::showEvent(QShowEvent *event)
{
    FormShow();
    QDialog::showEvent(event);
}

void TFNumber::FormShow()
{
    for (int s = 1; s <= 5; ++s)
        for (int p = 1; p <= 6; ++p)
            SetPositionEditUsable(Edits[s][p], m_run.Occupied(s, p));
}

void TFNumber::Button1Click()
{
    for (int s = 1; s <= 5; ++s)
        for (int p = 1; p <= 6; ++p) {
            QLineEdit *e = Edits[s][p];
            m_run.StandResults[s].MeterNumber[p] = e->text();
            if (e->text().isEmpty() && e->isEnabled()) {
                plainMessage(QStringLiteral("  Введите все номера счетчиков !  "));
                e->setFocus();
                return;
            }
        }
    accept();
}

void TFNumber::Button3Click()
{
    for (int s = 1; s <= 5; ++s)
        for (int p = 1; p <= 6; ++p)
            if (m_run.Occupied(s, p))
                Edits[s][p]->clear();
}

bool TFNumber::eventFilter(QObject *watched, QEvent *event)
{
    // Enter released in an edit moves on to the next control.
    if (event->type() == QEvent::KeyRelease) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && qobject_cast<QLineEdit *>(watched)) {
            focusNextChild();
            return true;
        }
    }
    // Enter pressed must not close the dialog as its default button would.
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter)
            return true;
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace kvintor
