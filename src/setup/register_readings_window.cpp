#include "setup/register_readings_window.h"

#include "core/ui.h"
#include "protocols/text_convert.h"
#include "run/run_state.h"
#include "setup/meter_numbers_window.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace kvintor {

QChar RegisterReadingKey(const QString &text, QChar key)
{
    if (key == QLatin1Char(',') || key == QLatin1Char('.'))
        return text.contains(QLatin1Char('.')) ? QChar() : QLatin1Char('.');
    if (key == QChar(8) || (key >= QLatin1Char('0') && key <= QLatin1Char('9')))
        return key;
    return QChar();
}

QString NormalisedReading(const QString &text)
{
    return kv::NumberToText(kv::TextToNumber(text), QLatin1Char('.'));
}

TfPokas::TfPokas(RunState &run, QWidget *parent) : QDialog(parent), m_run(run)
{
    setObjectName(QStringLiteral("fPokas"));
    setWindowTitle(QStringLiteral("Показания  счетных устройств"));
    // No close box: "Готово" with every field filled is the only way out.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    auto *root = new QVBoxLayout(this);
    root->addWidget(new QLabel(QStringLiteral("   Занесите показания счетных устройств в окна"), this));
    root->addWidget(new QLabel(QStringLiteral("соответствующие номерам счетчиков на стендах !!!"), this));
    auto *group = new QGroupBox(QStringLiteral("Показания счетных устройств"), this);
    root->addWidget(group);
    BuildPositionEdits(group, Edit, Edits);
    for (int n = 1; n <= 30; ++n)
        Edit[n]->installEventFilter(this);
    auto *buttons = new QHBoxLayout;
    root->addLayout(buttons);
    Button2 = new QPushButton(QStringLiteral("Готово"), this);
    Button2->setAutoDefault(false);
    buttons->addStretch();
    buttons->addWidget(Button2);
    buttons->addStretch();
    connect(Button2, &QPushButton::clicked, this, &TfPokas::Button2Click);
}

void TfPokas::showEvent(QShowEvent *event)
{
    FormShow();
    QDialog::showEvent(event);
}

void TfPokas::FormShow()
{
    for (int s = 1; s <= 5; ++s)
        for (int p = 1; p <= 6; ++p) {
            const bool usable = m_run.Occupied(s, p);
            SetPositionEditUsable(Edits[s][p], usable);
            if (usable)
                Edits[s][p]->setText(QStringLiteral("0"));
        }
}

bool TfPokas::Edit1KeyPress(QLineEdit *edit, QChar key)
{
    if (key == QChar(13)) {
        edit->setText(NormalisedReading(edit->text()));
        return true;
    }
    const QChar typed = RegisterReadingKey(edit->text(), key);
    if (typed.isNull())
        return true;
    if (typed == key)
        return false;  // the edit types it itself
    edit->insert(QString(typed));
    return true;
}

void TfPokas::Edit1Exit(QLineEdit *edit)
{
    if (edit->isEnabled())
        edit->setText(NormalisedReading(edit->text()));
}

void TfPokas::Button2Click()
{
    for (int s = 1; s <= 5; ++s)
        for (int p = 1; p <= 6; ++p) {
            QLineEdit *e = Edits[s][p];
            if (!e->isEnabled())
                continue;
            m_run.StandResults[s].MeterEdit[p].SetText(e->text());
            if (e->text().isEmpty()) {
                kv::ui().message(nullptr, QStringLiteral("Kvintor"), QStringLiteral("  Заполните все поля данных !  "),
                                 kv::Icon::None, QMessageBox::Ok, QMessageBox::Ok);
                return;
            }
        }
    accept();
}

bool TfPokas::eventFilter(QObject *watched, QEvent *event)
{
    auto *edit = qobject_cast<QLineEdit *>(watched);
    if (!edit)
        return QDialog::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::KeyPress: {
        auto *key = static_cast<QKeyEvent *>(event);
        // Editing keys that type nothing (arrows, Delete, Home) work as usual.
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
            return Edit1KeyPress(edit, QChar(13));
        if (key->key() == Qt::Key_Backspace)
            return false;
        if (key->text().isEmpty() || key->modifiers() & Qt::ControlModifier)
            return false;
        return Edit1KeyPress(edit, key->text().at(0));
    }
    case QEvent::KeyRelease: {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            focusNextChild();
            return true;
        }
        break;
    }
    case QEvent::FocusOut:
        Edit1Exit(edit);
        break;
    default: break;
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace kvintor
