#include "core/ui.h"

#include <QDialog>

namespace kv {

namespace {
std::unique_ptr<Ui> &current()
{
    static std::unique_ptr<Ui> instance = std::make_unique<QtUi>();
    return instance;
}

QMessageBox::Icon qtIcon(Icon icon)
{
    switch (icon) {
    case Icon::Information:
        return QMessageBox::Information;
    case Icon::Warning:
        return QMessageBox::Warning;
    case Icon::Error:
        return QMessageBox::Critical;
    case Icon::Question:
        return QMessageBox::Question;
    default:
        return QMessageBox::NoIcon;
    }
}
}  // namespace

void Ui::information(QWidget *parent, const QString &caption, const QString &text)
{
    message(parent, caption, text, Icon::Information, QMessageBox::Ok, QMessageBox::Ok);
}

void Ui::warning(QWidget *parent, const QString &caption, const QString &text)
{
    message(parent, caption, text, Icon::Warning, QMessageBox::Ok, QMessageBox::Ok);
}

void Ui::error(QWidget *parent, const QString &caption, const QString &text)
{
    message(parent, caption, text, Icon::Error, QMessageBox::Ok, QMessageBox::Ok);
}

QMessageBox::StandardButton Ui::question(QWidget *parent, const QString &caption, const QString &text,
                                         QMessageBox::StandardButtons buttons,
                                         QMessageBox::StandardButton defaultButton)
{
    return message(parent, caption, text, Icon::Question, buttons, defaultButton);
}

QMessageBox::StandardButton QtUi::message(QWidget *parent, const QString &caption, const QString &text, Icon icon,
                                          QMessageBox::StandardButtons buttons,
                                          QMessageBox::StandardButton defaultButton)
{
    QMessageBox box(qtIcon(icon), caption, text, buttons, parent);
    if (defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(defaultButton);
    return QMessageBox::StandardButton(box.exec());
}

int QtUi::execDialog(QDialog *dialog) { return dialog->exec(); }

QMessageBox::StandardButton RecordingUi::message(QWidget *, const QString &caption, const QString &text, Icon icon,
                                                 QMessageBox::StandardButtons buttons,
                                                 QMessageBox::StandardButton defaultButton)
{
    m_boxes.append({caption, text, icon, buttons});
    if (!m_answers.isEmpty())
        return m_answers.takeFirst();
    if (defaultButton != QMessageBox::NoButton)
        return defaultButton;
    for (QMessageBox::StandardButton b : {QMessageBox::Ok, QMessageBox::Yes})
        if (buttons.testFlag(b))
            return b;
    for (int bit = 0; bit < 32; ++bit)
        if (buttons.testFlag(QMessageBox::StandardButton(1u << bit)))
            return QMessageBox::StandardButton(1u << bit);
    return QMessageBox::NoButton;
}

int RecordingUi::execDialog(QDialog *dialog)
{
    ++m_dialogCount;
    if (m_dialogs.isEmpty())
        return QDialog::Rejected;
    return m_dialogs.takeFirst()(dialog);
}

QStringList RecordingUi::texts() const
{
    QStringList out;
    for (const Box &b : m_boxes)
        out << b.text;
    return out;
}

bool RecordingUi::shown(const QString &text) const { return texts().contains(text); }

Ui &ui() { return *current(); }

std::unique_ptr<Ui> setUi(std::unique_ptr<Ui> implementation)
{
    std::unique_ptr<Ui> previous = std::move(current());
    current() = std::move(implementation);
    return previous;
}

ScopedRecordingUi::ScopedRecordingUi()
{
    auto recorder = std::make_unique<RecordingUi>();
    m_recorder = recorder.get();
    m_previous = setUi(std::move(recorder));
}

ScopedRecordingUi::~ScopedRecordingUi() { setUi(std::move(m_previous)); }

}  // namespace kv
