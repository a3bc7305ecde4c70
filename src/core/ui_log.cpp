#include "core/ui_log.h"

#include "core/ui.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

namespace kv {

namespace {

class FileLogUi : public Ui
{
public:
    explicit FileLogUi(const QString &path) : m_path(path) {}

    QMessageBox::StandardButton message(QWidget *, const QString &caption, const QString &text, Icon icon,
                                        QMessageBox::StandardButtons buttons,
                                        QMessageBox::StandardButton defaultButton) override
    {
        append(iconName(int(icon)) + QLatin1Char('\t') + caption + QLatin1Char('\t') + text);
        if (defaultButton != QMessageBox::NoButton)
            return defaultButton;
        for (QMessageBox::StandardButton b : {QMessageBox::Ok, QMessageBox::Yes})
            if (buttons.testFlag(b))
                return b;
        return QMessageBox::Ok;
    }

    // Logged as "dialog<TAB>name<TAB>caption"; with KVINTOR_UI_DIALOG_MS the
    // dialog stays shown that long first, so what it does while open (a file
    // dialog reading its folder) happens as it would for an operator.
    int execDialog(QDialog *dialog) override
    {
        append(QStringLiteral("dialog\t") + dialog->objectName() + QLatin1Char('\t') + dialog->windowTitle());
        const int ms = qEnvironmentVariableIntValue("KVINTOR_UI_DIALOG_MS");
        if (ms > 0) {
            dialog->show();
            QEventLoop loop;
            QTimer::singleShot(ms, &loop, &QEventLoop::quit);
            loop.exec();
            dialog->hide();
        }
        return QDialog::Rejected;
    }

private:
    void append(QString line)
    {
        QFile f(m_path);
        if (f.open(QIODevice::Append | QIODevice::Text)) {
            line.replace(QLatin1Char('\n'), QLatin1Char(' '));
            f.write(line.toUtf8() + '\n');
        }
    }

    QString m_path;
};

}  // namespace

QString iconName(int icon)
{
    switch (Icon(icon)) {
    case Icon::Information: return QStringLiteral("information");
    case Icon::Warning: return QStringLiteral("warning");
    case Icon::Error: return QStringLiteral("error");
    case Icon::Question: return QStringLiteral("question");
    default: return QStringLiteral("none");
    }
}

void triggerActionsFromEnvironment()
{
    const QStringList names = qEnvironmentVariable("KVINTOR_UI_ACTIONS").split(QLatin1Char(','), Qt::SkipEmptyParts);
    if (names.isEmpty())
        return;
    QTimer::singleShot(0, [names] {
        for (const QString &name : names) {
            QAction *action = nullptr;
            const QWidgetList windows = QApplication::topLevelWidgets();
            for (QWidget *w : windows)
                if (!action)
                    action = w->findChild<QAction *>(name);
            if (!action) {
                qWarning("KVINTOR_UI_ACTIONS: no action %s", qPrintable(name));
                continue;
            }
            action->trigger();
        }
        const QString done = qEnvironmentVariable("KVINTOR_UI_ACTIONS_DONE");
        if (!done.isEmpty()) {
            QFile f(done);
            if (f.open(QIODevice::WriteOnly))
                f.write("done\n");
        }
    });
}

void announceReadyFromEnvironment()
{
    const QString ready = qEnvironmentVariable("KVINTOR_READY_FILE");
    if (ready.isEmpty())
        return;
    QTimer::singleShot(0, [ready] {
        QFile f(ready);
        if (f.open(QIODevice::WriteOnly))
            f.write("ready\n");
    });
}

bool installUiLogFromEnvironment()
{
    const QString path = qEnvironmentVariable("KVINTOR_UI_LOG");
    if (path.isEmpty())
        return false;
    setUi(std::make_unique<FileLogUi>(path));
    return true;
}

}  // namespace kv
