// The pictures hook: a named window is grabbed once shown, and the commands
// left in the folder reach the widgets they name (by name, by button text,
// inside the modal window first); a command that cannot be carried out is
// logged as failed instead of being waited for.

#include "support/test_env.h"
#include "core/ui_log.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

class TestUiShots : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    const QString m_program = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();

    QString file(const QString &suffix) const { return m_dir.path() + QLatin1Char('/') + m_program + suffix; }

    void leave(const QString &line) const
    {
        QFile f(file(QStringLiteral(".command")));
        if (f.open(QIODevice::WriteOnly))
            f.write(line.toUtf8());
    }
    // Leaves the command and waits until it was taken up.
    bool command(const QString &line)
    {
        const int before = int(log().size());
        leave(line);
        return kvtest::spinUntil(
            [&] {
                return !QFileInfo::exists(file(QStringLiteral(".command"))) &&
                       log().mid(before).contains(QStringLiteral("command\t") + line);
            },
            3000);
    }
    QStringList log() const
    {
        QFile f(file(QStringLiteral(".log")));
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    bool failed(const QString &line) const { return log().contains(QStringLiteral("failed\t") + line); }

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("KVINTOR_UI_SHOTS", m_dir.path().toUtf8());
        QVERIFY(kv::installShotsFromEnvironment());
    }

    void namedWindowIsGrabbedOnceShown()
    {
        QDialog dialog;
        dialog.setObjectName(QStringLiteral("Shown"));
        dialog.resize(200, 120);
        dialog.show();
        const QString png = file(QStringLiteral("-Shown.png"));
        QVERIFY(kvtest::spinUntil([&] { return QFileInfo::exists(png); }, 3000));
        QCOMPARE(QImage(png).size(), QSize(200, 120));
    }

    void commandsReachTheirWidgets()
    {
        QWidget window;
        window.setObjectName(QStringLiteral("Outer"));
        auto *layout = new QVBoxLayout(&window);
        auto *box = new QComboBox(&window);
        box->setObjectName(QStringLiteral("Box"));
        box->addItems({QStringLiteral("а"), QStringLiteral("б"), QStringLiteral("в")});
        auto *edit = new QLineEdit(&window);
        edit->setObjectName(QStringLiteral("Edit1"));
        auto *button = new QPushButton(QStringLiteral("&Готово "), &window);
        auto *disabled = new QAction(&window);
        disabled->setObjectName(QStringLiteral("ADisabled"));
        disabled->setEnabled(false);
        for (QWidget *w : std::initializer_list<QWidget *>{box, edit, button})
            layout->addWidget(w);
        int activated = -1;
        connect(box, &QComboBox::activated, this, [&](int row) { activated = row; });
        int clicks = 0;
        connect(button, &QPushButton::clicked, this, [&] { ++clicks; });
        // A widget of the same name in another window must not be taken.
        QWidget other;
        other.setObjectName(QStringLiteral("Other"));
        (new QLineEdit(&other))->setObjectName(QStringLiteral("Edit1"));
        other.show();
        window.show();

        QVERIFY(command(QStringLiteral("choose Box 2")));
        QCOMPARE(activated, 2);
        QVERIFY(command(QStringLiteral("type Outer/Edit1 007 А-17")));
        QCOMPARE(edit->text(), QStringLiteral("007 А-17"));
        QVERIFY(command(QStringLiteral("click Готово")));
        QCOMPARE(clicks, 1);
        QVERIFY(command(QStringLiteral("shot Outer outer")));
        QVERIFY(QFileInfo::exists(m_dir.path() + QStringLiteral("/outer.png")));

        // Refused, and said so.
        for (const QString &line : {QStringLiteral("action ADisabled"), QStringLiteral("click Нет такой"),
                                    QStringLiteral("choose Nowhere 1"), QStringLiteral("reject")}) {
            QVERIFY(command(line));
            QVERIFY2(kvtest::spinUntil([&] { return failed(line); }, 3000), qPrintable(line));
        }
        QCOMPARE(clicks, 1);
    }

    // A command that opens a modal window: the next ones run in its loop.
    void commandsReachAModalWindow()
    {
        QDialog dialog;
        dialog.setObjectName(QStringLiteral("Modal"));
        auto *ok = new QPushButton(QStringLiteral("Установлено"), &dialog);
        connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
        QWidget window;
        auto *open = new QPushButton(QStringLiteral("Открыть"), &window);
        int result = -1;
        connect(open, &QPushButton::clicked, this, [&] { result = dialog.exec(); });
        window.show();

        // Left while the modal window's own loop runs, as the script does.
        QTimer answer;
        connect(&answer, &QTimer::timeout, this, [&] {
            if (dialog.isVisible() && !QFileInfo::exists(file(QStringLiteral(".command")))) {
                answer.stop();
                leave(QStringLiteral("click Установлено"));
            }
        });
        answer.start(50);
        QVERIFY(command(QStringLiteral("click Открыть")));
        QVERIFY(kvtest::spinUntil([&] { return result == QDialog::Accepted; }, 3000));
    }
};

QTEST_MAIN(TestUiShots)
#include "test_ui_shots.moc"
