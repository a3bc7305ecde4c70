#include "core/ui_log.h"

#include "core/ui.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QPixmap>
#include <QPointer>
#include <QTimer>

namespace kv {

namespace {

void appendLine(const QString &path, QString line)
{
    QFile f(path);
    if (f.open(QIODevice::Append | QIODevice::Text)) {
        line.replace(QLatin1Char('\n'), QLatin1Char(' '));
        f.write(line.toUtf8() + '\n');
    }
}

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
    void append(const QString &line) { appendLine(m_path, line); }

    QString m_path;
};

// Grabs named windows as they come up and carries out the commands the
// picture script leaves in the folder, one at a time.
class ShotTaker : public QObject
{
public:
    explicit ShotTaker(const QString &folder)
        : QObject(qApp),
          m_folder(folder),
          m_program(QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName())
    {
        QDir().mkpath(folder);
        qApp->installEventFilter(this);
        auto *poll = new QTimer(this);
        connect(poll, &QTimer::timeout, this, &ShotTaker::poll);
        poll->start(100);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Show || !watched->isWidgetType())
            return false;
        auto *w = static_cast<QWidget *>(watched);
        const Qt::WindowType type = w->windowType();
        if (!w->isWindow() || (type != Qt::Window && type != Qt::Dialog))
            return false;
        QString name = w->objectName();
        if (name.isEmpty())
            name = QStringLiteral("box-") + QString::number(++m_boxes);
        const QString path = m_folder + QLatin1Char('/') + m_program + QLatin1Char('-') + name + QStringLiteral(".png");
        if (QFileInfo::exists(path))
            return false;
        // Laid out, filled and painted by then.
        QTimer::singleShot(700, this, [this, guard = QPointer<QWidget>(w), path] {
            if (guard && guard->isVisible() && !QFileInfo::exists(path))
                save(guard, path);
        });
        return false;
    }

private:
    void log(const QString &line) { appendLine(m_folder + QLatin1Char('/') + m_program + QStringLiteral(".log"), line); }

    void save(QWidget *w, const QString &path)
    {
        // Whole or not at all: the script waits for the file to appear.
        const QString partial = path + QStringLiteral(".part");
        if (w->grab().save(partial, "PNG") && QFile::rename(partial, path))
            log(QStringLiteral("shot\t") + path);
        else
            log(QStringLiteral("failed\tshot ") + path);
    }

    void poll()
    {
        const QString path = m_folder + QLatin1Char('/') + m_program + QStringLiteral(".command");
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return;
        const QString line = QString::fromUtf8(f.readAll()).trimmed();
        f.close();
        QFile::remove(path);
        // Out of this timer: a command may open a modal window, whose own
        // loop then runs the next commands.
        QTimer::singleShot(0, this, [this, line] {
            log(QStringLiteral("command\t") + line);
            if (!run(line))
                log(QStringLiteral("failed\t") + line);
        });
    }

    // The windows to look in: the modal one first.
    static QWidgetList windows()
    {
        QWidgetList list;
        if (QWidget *modal = QApplication::activeModalWidget())
            list << modal;
        const QWidgetList all = QApplication::topLevelWidgets();
        for (QWidget *w : all)
            if (w->isVisible() && !list.contains(w))
                list << w;
        return list;
    }

    // A shown widget by name: a window, else a widget in one; "OUTER/NAME"
    // is the widget NAME inside the widget OUTER (names repeat across windows).
    static QWidget *find(const QString &path)
    {
        const QStringList names = path.split(QLatin1Char('/'));
        QWidgetList scope = windows();
        QWidget *found = nullptr;
        for (const QString &name : names) {
            found = nullptr;
            for (QWidget *w : scope)
                if (w->objectName() == name && w->isVisible())
                    found = w;
            for (int i = 0; !found && i < scope.size(); ++i) {
                const QList<QWidget *> children = scope.at(i)->findChildren<QWidget *>(name);
                for (QWidget *c : children)
                    if (!found && c->isVisibleTo(scope.at(i)))
                        found = c;
            }
            if (!found)
                return nullptr;
            scope = {found};
        }
        return found;
    }

    // A button by name or by its text, in the modal window first.
    static QAbstractButton *findButton(const QString &nameOrText)
    {
        const QWidgetList list = windows();
        for (QWidget *w : list) {
            const QList<QAbstractButton *> buttons = w->findChildren<QAbstractButton *>();
            for (QAbstractButton *b : buttons) {
                const QString text = QString(b->text()).remove(QLatin1Char('&')).trimmed();
                if (b->isVisible() && b->isEnabled() && (b->objectName() == nameOrText || text == nameOrText))
                    return b;
            }
        }
        return nullptr;
    }

    bool run(const QString &line)
    {
        const QString verb = line.section(QLatin1Char(' '), 0, 0);
        const QString name = line.section(QLatin1Char(' '), 1, 1);
        const QString rest = line.section(QLatin1Char(' '), 2);
        if (verb == QLatin1String("action")) {
            const QWidgetList list = windows();
            for (QWidget *w : list)
                if (QAction *a = w->findChild<QAction *>(name)) {
                    // A disabled action does nothing: said, not waited for.
                    if (!a->isEnabled())
                        return false;
                    a->trigger();
                    return true;
                }
            return false;
        }
        if (verb == QLatin1String("click")) {
            QAbstractButton *b = findButton(line.section(QLatin1Char(' '), 1));
            if (b)
                b->click();
            return b != nullptr;
        }
        if (verb == QLatin1String("reject")) {
            auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            if (dialog)
                dialog->reject();
            return dialog != nullptr;
        }
        QWidget *w = find(name);
        if (!w)
            return false;
        if (verb == QLatin1String("shot")) {
            save(w, m_folder + QLatin1Char('/') + rest + QStringLiteral(".png"));
            return true;
        }
        if (verb == QLatin1String("close"))
            return w->close();
        if (verb == QLatin1String("size")) {
            // Without a window manager a maximized window keeps its first size.
            w->resize(rest.section(QLatin1Char(' '), 0, 0).toInt(), rest.section(QLatin1Char(' '), 1, 1).toInt());
            return true;
        }
        if (verb == QLatin1String("focus")) {
            // A screen without a window manager activates no window by itself.
            w->window()->activateWindow();
#if QT_VERSION < QT_VERSION_CHECK(6, 5, 0)
            QApplication::setActiveWindow(w->window());
#endif
            w->setFocus(Qt::OtherFocusReason);
            return true;
        }
        if (verb == QLatin1String("dblclick")) {
            const QPointF at = QRectF(w->rect()).center();
            QMouseEvent press(QEvent::MouseButtonDblClick, at, w->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                              Qt::NoModifier);
            QCoreApplication::sendEvent(w, &press);
            return true;
        }
        if (verb == QLatin1String("type")) {
            auto *edit = qobject_cast<QLineEdit *>(w);
            if (edit) {
                edit->setText(rest);
                Q_EMIT edit->textEdited(rest);
            }
            return edit != nullptr;
        }
        if (verb == QLatin1String("choose")) {
            const int row = rest.toInt();
            if (auto *box = qobject_cast<QComboBox *>(w)) {
                box->setCurrentIndex(row);
                Q_EMIT box->activated(row);
                return box->currentIndex() == row;
            }
            auto *view = qobject_cast<QAbstractItemView *>(w);
            if (!view)
                view = w->findChild<QAbstractItemView *>();
            if (view) {
                const QModelIndex index = view->model()->index(row, 0);
                view->setCurrentIndex(index);
                view->scrollTo(index);
                return index.isValid();
            }
            return false;
        }
        if (verb == QLatin1String("show")) {
            for (QWidget *p = w; p; p = p->parentWidget())
                if (auto *frame = qobject_cast<QMdiSubWindow *>(p)) {
                    frame->showMaximized();
                    if (QMdiArea *area = frame->mdiArea())
                        area->setActiveSubWindow(frame);
                    return true;
                }
            w->show();
            w->raise();
            return true;
        }
        return false;
    }

    QString m_folder;
    QString m_program;
    int m_boxes = 0;
};

}  // namespace

bool installShotsFromEnvironment()
{
    const QString folder = qEnvironmentVariable("KVINTOR_UI_SHOTS");
    if (folder.isEmpty())
        return false;
    new ShotTaker(folder);
    return true;
}

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
