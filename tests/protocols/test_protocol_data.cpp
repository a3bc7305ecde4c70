#include "core/settings.h"
#include "core/ui.h"
#include "protocols/protocol_data.h"
#include "support/test_env.h"

#include <QLocale>
#include <QTest>

class TestProtocolData : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void defaultsOnFirstStart()
    {
        kvtest::TempSettings temp;
        const kv::ProtocolData d = kv::loadProtocolData();
        QVERIFY(!d.autoIncrement);
        QCOMPARE(d.protocolNumber, QStringLiteral("0"));
        QCOMPARE(d.installationNumber, QStringLiteral("0"));
        QCOMPARE(d.certificateNumber, QStringLiteral("0"));
        QCOMPARE(d.validFrom, QStringLiteral("0"));
        QCOMPARE(d.validTo, QStringLiteral("0"));
        QVERIFY(d.organisation.isEmpty() && d.verifier.isEmpty());
    }

    void storeLoadRoundTrip()
    {
        kvtest::TempSettings temp;
        kv::ProtocolData d;
        d.autoIncrement = true;
        d.protocolNumber = QStringLiteral("41");
        d.organisation = QStringLiteral("ЦСМ \"Тест\"");
        d.verifier = QStringLiteral("Иванов И.И.");
        d.validTo = QStringLiteral("01.01.2027");
        kv::storeProtocolData(d);
        temp.restart();
        QCOMPARE(kv::loadProtocolData(), d);
        QCOMPARE(kv::settingText(kv::kProtocolDataGroup, QStringLiteral("eautoInc")), QStringLiteral("1"));
        // Not a whole number, or zero: off.
        kv::setSettingText(kv::kProtocolDataGroup, QStringLiteral("eautoInc"), QStringLiteral("да"));
        QVERIFY(!kv::loadProtocolData().autoIncrement);
        kv::setSettingText(kv::kProtocolDataGroup, QStringLiteral("eautoInc"), QStringLiteral("7"));
        QVERIFY(kv::loadProtocolData().autoIncrement);
    }

    void advance_data()
    {
        QTest::addColumn<bool>("on");
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        QTest::newRow("plain number") << true << "41" << "42";
        QTest::newRow("leading zeros keep the width") << true << "007" << "008";
        QTest::newRow("carry inside the width") << true << "009" << "010";
        QTest::newRow("carry widens") << true << "999" << "1000";
        QTest::newRow("zero") << true << "0" << "1";
        QTest::newRow("suffix after a slash: last run") << true << "12/2026" << "12/2027";
        QTest::newRow("Cyrillic prefix") << true << "А-17" << "А-18";
        QTest::newRow("letters after the digits stay") << true << "17-Э" << "18-Э";
        QTest::newRow("prefix carry") << true << "N99" << "N100";
        QTest::newRow("longer than any integer") << true << "99999999999999999999999" << "100000000000000000000000";
        QTest::newRow("decimal point is not a fraction") << true << "1.9" << "1.10";
        QTest::newRow("off") << false << "41" << "41";
        QTest::newRow("no digits kept") << true << "б/н" << "б/н";
        QTest::newRow("empty kept") << true << "" << "";
        QTest::newRow("other script digit is no digit") << true << QString(QChar(0x0663)) << QString(QChar(0x0663));
    }
    void advance()
    {
        QFETCH(bool, on);
        QFETCH(QString, before);
        QFETCH(QString, after);
        kvtest::TempSettings temp;
        kv::ScopedRecordingUi ui;
        QLocale::setDefault(QLocale::c());
        kv::ProtocolData d;
        d.autoIncrement = on;
        d.protocolNumber = before;
        kv::storeProtocolData(d);
        kv::advanceProtocolNumber(d);
        QCOMPARE(d.protocolNumber, after);
        QCOMPARE(kv::loadProtocolData().protocolNumber, after);
        // Only a kept number says a word.
        QCOMPARE(ui->boxes().size(), on && before == after ? 1 : 0);
    }

    // A batch of protocols with a number without digits: told once, not per
    // workbook; another such text is told again.
    void keptNumberToldOnce()
    {
        kvtest::TempSettings temp;
        kv::ScopedRecordingUi ui;
        kv::ProtocolData d;
        d.autoIncrement = true;
        d.protocolNumber = QStringLiteral("без номера");
        for (int i = 0; i < 3; ++i)
            QCOMPARE(kv::advanceProtocolNumber(d), kv::ProtocolNumberStep::Kept);
        QCOMPARE(ui->boxes().size(), 1);
        QCOMPARE(ui->boxes().first().text, kv::protocolNumberKeptText(QStringLiteral("без номера")));
        d.protocolNumber = QStringLiteral("нет");
        kv::advanceProtocolNumber(d);
        QCOMPARE(ui->boxes().size(), 2);
        d.protocolNumber = QStringLiteral("5");
        QCOMPARE(kv::advanceProtocolNumber(d), kv::ProtocolNumberStep::Advanced);
        QCOMPARE(ui->boxes().size(), 2);
    }

    // A number advanced by one program is what the other loads next.
    void sharedBetweenPrograms()
    {
        kvtest::TempSettings temp;
        kv::ProtocolData control;
        control.autoIncrement = true;
        control.protocolNumber = QStringLiteral("9");
        kv::storeProtocolData(control);
        kv::advanceProtocolNumber(control);
        kv::advanceProtocolNumber(control);
        temp.restart();
        QCOMPARE(kv::loadProtocolData().protocolNumber, QStringLiteral("11"));
    }

    void keyFilter()
    {
        QVERIFY(kv::protocolNumberKeyAccepted(QLatin1Char('0')));
        QVERIFY(kv::protocolNumberKeyAccepted(QLatin1Char('9')));
        QVERIFY(kv::protocolNumberKeyAccepted(QChar(8)));
        QVERIFY(!kv::protocolNumberKeyAccepted(QLatin1Char('.')));
        QVERIFY(!kv::protocolNumberKeyAccepted(QLatin1Char('a')));
        QVERIFY(!kv::protocolNumberKeyAccepted(QChar(0x0660)));  // another script's digit
    }
};

QTEST_GUILESS_MAIN(TestProtocolData)
#include "test_protocol_data.moc"
