#include "protocols/protocol_data.h"
#include "support/test_env.h"
#include "widgets/settings.h"

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
        QTest::newRow("41") << true << "41" << "42";
        QTest::newRow("empty") << true << "" << "1";
        QTest::newRow("007") << true << "007" << "1.007";
        QTest::newRow("off") << false << "41" << "41";
        QTest::newRow("pasted text") << true << "N12" << "1";
    }
    void advance()
    {
        QFETCH(bool, on);
        QFETCH(QString, before);
        QFETCH(QString, after);
        kvtest::TempSettings temp;
        QLocale::setDefault(QLocale::c());
        kv::ProtocolData d;
        d.autoIncrement = on;
        d.protocolNumber = before;
        kv::storeProtocolData(d);
        kv::advanceProtocolNumber(d);
        QCOMPARE(d.protocolNumber, after);
        QCOMPARE(kv::loadProtocolData().protocolNumber, after);
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

    void strictConversionThrows()
    {
        kvtest::TempSettings temp;
        kv::ProtocolData d;
        d.autoIncrement = true;
        d.protocolNumber = QStringLiteral("1-2");
        QVERIFY_THROWS_EXCEPTION(std::exception, kv::advanceProtocolNumber(d, true));
        kv::advanceProtocolNumber(d, false);
        QCOMPARE(d.protocolNumber, QStringLiteral("1"));
    }
};

QTEST_GUILESS_MAIN(TestProtocolData)
#include "test_protocol_data.moc"
