#include "core/clock.h"
#include "core/error_report.h"
#include "core/program_icon.h"
#include "core/settings.h"
#include "core/ui.h"
#include "protocols/protocol_table.h"
#include "support/test_env.h"

#include <QDialog>
#include <QPushButton>
#include <QFile>
#include <QImage>
#include <QLocale>
#include <QTest>
#include <QTimer>

class TestSeams : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void recordingUiLogsAndAnswers()
    {
        kv::ScopedRecordingUi rec;
        kv::ui().information(nullptr, QStringLiteral("Запрос"), QStringLiteral("Готово"));
        rec->queueAnswer(QMessageBox::No);
        QCOMPARE(kv::ui().question(nullptr, QStringLiteral("Удаление данных"), QStringLiteral("Удалить все выделенные записи ?")),
                 QMessageBox::No);
        // Without a scripted answer: the default button, else OK/Yes.
        QCOMPARE(kv::ui().question(nullptr, QStringLiteral("c"), QStringLiteral("t")), QMessageBox::Yes);
        QCOMPARE(kv::ui().question(nullptr, QStringLiteral("c"), QStringLiteral("t"),
                                   QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Cancel),
                 QMessageBox::Cancel);
        QCOMPARE(rec->boxes().size(), 4);
        QCOMPARE(rec->boxes().at(0).caption, QStringLiteral("Запрос"));
        QCOMPARE(rec->boxes().at(0).icon, kv::Icon::Information);
        QCOMPARE(rec->boxes().at(1).icon, kv::Icon::Question);
        QVERIFY(rec->shown(QStringLiteral("Удалить все выделенные записи ?")));

        QDialog dialog;
        QCOMPARE(kv::ui().execDialog(&dialog), int(QDialog::Rejected));
        rec->queueDialog([](QDialog *d) {
            d->setWindowTitle(QStringLiteral("seen"));
            return int(QDialog::Accepted);
        });
        QCOMPARE(kv::ui().execDialog(&dialog), int(QDialog::Accepted));
        QCOMPARE(dialog.windowTitle(), QStringLiteral("seen"));
        QCOMPARE(rec->dialogsShown(), 2);
    }

    // An error that escapes an event handler is shown and the program goes on.
    void generalErrorReport()
    {
        kv::ScopedRecordingUi rec;
        QTimer::singleShot(0, [] { throw kv::Error(QStringLiteral("Ошибка переноса данных !")); });
        QTimer::singleShot(5, [] { throw std::runtime_error("plain"); });
        QTest::qWait(50);
        QCOMPARE(rec->texts(), (QStringList{QStringLiteral("Ошибка переноса данных !"), QStringLiteral("plain")}));
        QCOMPARE(rec->boxes().at(0).icon, kv::Icon::Error);
        QVERIFY(!kv::guarded([] { throw kv::Error(QStringLiteral("x")); }));
        QVERIFY(kv::guarded([] {}));
    }

    void settingsAreTextInIniPerUser()
    {
        kvtest::TempSettings temp;
        kv::setSettingText(QStringLiteral("confUst"), QStringLiteral("enumProt"), QStringLiteral("41"));
        kv::setSettingFlag(QStringLiteral("CH"), QStringLiteral("C1"), true);
        temp.restart();
        QCOMPARE(kv::settingText(QStringLiteral("confUst"), QStringLiteral("enumProt")), QStringLiteral("41"));
        QVERIFY(kv::settingFlag(QStringLiteral("CH"), QStringLiteral("C1"), false));
        QVERIFY(!kv::settingFlag(QStringLiteral("CH"), QStringLiteral("C2"), false));
        QCOMPARE(kv::settingText(QStringLiteral("DB"), QStringLiteral("none"), QStringLiteral("d")), QStringLiteral("d"));
        const QString file = temp.folder() + QStringLiteral("/SoftWare/Kvintor v2.0.ini");
        QVERIFY2(QFile::exists(file), qPrintable(kv::settings().fileName()));
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(f.readAll());
        QVERIFY(text.contains(QStringLiteral("[CH]")));
        QVERIFY(text.contains(QStringLiteral("C1=1")));
    }

    // The operator reads Russian questions; their buttons must not be English.
    void toolkitButtonsAreRussian()
    {
        QMessageBox box;
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        QCOMPARE(box.button(QMessageBox::Yes)->text().remove(QLatin1Char('&')), QStringLiteral("Да"));
        QCOMPARE(box.button(QMessageBox::No)->text().remove(QLatin1Char('&')), QStringLiteral("Нет"));
        QCOMPARE(box.button(QMessageBox::Cancel)->text().remove(QLatin1Char('&')), QStringLiteral("Отмена"));
    }

    // The programs' windows carry our own picture, drawn at the sizes a
    // title bar and a task bar ask for, not an empty or the toolkit's icon.
    void programIconIsDrawn()
    {
        const QIcon icon = kv::programIcon();
        QVERIFY(!icon.isNull());
        for (int size : {16, 32, 64}) {
            const QImage image = icon.pixmap(size, size).toImage();
            QCOMPARE(image.width(), size);
            // The housing's colour at the centre of its upper left, a clear corner.
            QCOMPARE(image.pixelColor(size / 8 + 1, size / 2).name(), QStringLiteral("#1f4e79"));
            QCOMPARE(image.pixelColor(0, 0).alpha(), 0);
        }
    }

    void clockCanBeFixed()
    {
        const QDateTime fixed(QDate(2026, 3, 4), QTime(10, 11, 12));
        kv::setNowForTests(fixed);
        QCOMPARE(kv::now(), fixed);
        kv::setNowForTests({});
        QVERIFY(qAbs(kv::now().secsTo(QDateTime::currentDateTime())) < 5);
    }

    // The control program runs with the C locale for its decimal point; its
    // protocol headers must not read "ОТ  5 Mar 2003" for that, nor on a PC
    // without regional settings. Regional settings of their own are kept.
    void datesFollowTheRegionalSettingsNotTheNumberLocale()
    {
        QCOMPARE(kv::dateLocaleFor(QLocale::c()).language(), QLocale::Russian);
        QCOMPARE(kv::dateLocaleFor(QLocale(QStringLiteral("en_US"))).name(), QStringLiteral("en_US"));
        QCOMPARE(kv::dateLocaleFor(QLocale(QStringLiteral("uk_UA"))).name(), QStringLiteral("uk_UA"));

        QLocale::setDefault(QLocale::c());
        kv::setDateLocaleForTests(kv::dateLocaleFor(QLocale::c()));
        QCOMPARE(kv::protocolTitle(kv::ProtocolKind::Group, QStringLiteral("7"), QDate(2003, 3, 5)),
                 QStringLiteral("ГРУППОВОЙ  ПРОТОКОЛ  ПОВЕРКИ  № 7  ОТ  05.03.2003"));
        QCOMPARE(kv::dateLocale().toDate(QStringLiteral("05.03.2003"), QLocale::ShortFormat), QDate(2003, 3, 5));
        kv::setDateLocaleForTests(QLocale(QStringLiteral("en_US")));
        QCOMPARE(kv::shortDateText(QDate(2003, 3, 5)), QLocale(QStringLiteral("en_US")).toString(QDate(2003, 3, 5), QLocale::ShortFormat));
        kv::resetDateLocaleForTests();
    }
};

int main(int argc, char **argv)
{
    kv::Application app(argc, argv);
    TestSeams t;
    return QTest::qExec(&t, argc, argv);
}
#include "test_seams.moc"
