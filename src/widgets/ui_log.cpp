#include "widgets/ui_log.h"

#include "widgets/ui.h"

#include <QDialog>
#include <QFile>

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
        QFile f(m_path);
        if (f.open(QIODevice::Append | QIODevice::Text)) {
            QString line = iconName(int(icon)) + QLatin1Char('\t') + caption + QLatin1Char('\t') + text;
            line.replace(QLatin1Char('\n'), QLatin1Char(' '));
            f.write(line.toUtf8() + '\n');
        }
        if (defaultButton != QMessageBox::NoButton)
            return defaultButton;
        for (QMessageBox::StandardButton b : {QMessageBox::Ok, QMessageBox::Yes})
            if (buttons.testFlag(b))
                return b;
        return QMessageBox::Ok;
    }

    int execDialog(QDialog *) override { return QDialog::Rejected; }

private:
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

bool installUiLogFromEnvironment()
{
    const QString path = qEnvironmentVariable("KVINTOR_UI_LOG");
    if (path.isEmpty())
        return false;
    setUi(std::make_unique<FileLogUi>(path));
    return true;
}

}  // namespace kv
