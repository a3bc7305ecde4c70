#pragma once
// Every message box and modal window goes through kv::ui(), so tests can
// record what the operator would see and answer without blocking.

#include <QList>
#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <functional>

#include <memory>

class QDialog;
class QWidget;

namespace kv {

enum class Icon { None, Information, Warning, Error, Question };

class Ui
{
public:
    virtual ~Ui() = default;

    // A box with caption, text, icon and buttons; returns the button pressed
    // (the default button, or Cancel/No/Close where present, when the box is dismissed).
    virtual QMessageBox::StandardButton message(QWidget *parent, const QString &caption, const QString &text, Icon icon,
                                                QMessageBox::StandardButtons buttons,
                                                QMessageBox::StandardButton defaultButton) = 0;

    // Shows a dialog modally and returns its result (QDialog::Accepted or Rejected).
    virtual int execDialog(QDialog *dialog) = 0;

    // Conveniences with one OK button or a Yes/No question.
    void information(QWidget *parent, const QString &caption, const QString &text);
    void warning(QWidget *parent, const QString &caption, const QString &text);
    void error(QWidget *parent, const QString &caption, const QString &text);
    QMessageBox::StandardButton question(QWidget *parent, const QString &caption, const QString &text,
                                         QMessageBox::StandardButtons buttons = QMessageBox::Yes | QMessageBox::No,
                                         QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
};

// The real boxes and dialogs.
class QtUi : public Ui
{
public:
    QMessageBox::StandardButton message(QWidget *parent, const QString &caption, const QString &text, Icon icon,
                                        QMessageBox::StandardButtons buttons,
                                        QMessageBox::StandardButton defaultButton) override;
    int execDialog(QDialog *dialog) override;
};

// For tests: logs every box and answers from a script.
class RecordingUi : public Ui
{
public:
    struct Box {
        QString caption;
        QString text;
        Icon icon;
        QMessageBox::StandardButtons buttons;
    };
    // A scripted dialog: called with the dialog instead of running it modally;
    // returns the result the dialog "closed" with.
    using DialogScript = std::function<int(QDialog *)>;

    QMessageBox::StandardButton message(QWidget *parent, const QString &caption, const QString &text, Icon icon,
                                        QMessageBox::StandardButtons buttons,
                                        QMessageBox::StandardButton defaultButton) override;
    int execDialog(QDialog *dialog) override;

    // Answers for the next boxes, in order; when none is queued a box gets its
    // default button, else OK, Yes or the first button it has.
    void queueAnswer(QMessageBox::StandardButton answer) { m_answers.append(answer); }
    // Scripts for the next modal dialogs, in order; without one a dialog is rejected.
    void queueDialog(DialogScript script) { m_dialogs.append(std::move(script)); }

    const QList<Box> &boxes() const { return m_boxes; }
    QStringList texts() const;
    bool shown(const QString &text) const;
    void clear() { m_boxes.clear(); }
    int dialogsShown() const { return m_dialogCount; }

private:
    QList<Box> m_boxes;
    QList<QMessageBox::StandardButton> m_answers;
    QList<DialogScript> m_dialogs;
    int m_dialogCount = 0;
};

// The implementation in use (a QtUi until another is installed).
Ui &ui();
// Installs an implementation; returns the previous one.
std::unique_ptr<Ui> setUi(std::unique_ptr<Ui> implementation);

// Installs a RecordingUi for the lifetime of this object, then restores the previous one.
class ScopedRecordingUi
{
public:
    ScopedRecordingUi();
    ~ScopedRecordingUi();
    RecordingUi *operator->() { return m_recorder; }
    RecordingUi &operator*() { return *m_recorder; }

private:
    RecordingUi *m_recorder;
    std::unique_ptr<Ui> m_previous;
};

}  // namespace kv
