#include "protocols/text_convert.h"

#include <QLocale>
#include <QTest>

using namespace kv;

class TestTextConvert : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void textToNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("expected");
        QTest::newRow("empty") << "" << 0.0;
        QTest::newRow("blanks only") << "   " << 0.0;
        QTest::newRow("zero") << "0" << 0.0;
        QTest::newRow("zeros") << "000" << 0.0;
        QTest::newRow("letters") << "abc" << 0.0;
        QTest::newRow("letter inside") << "1a" << 0.0;
        QTest::newRow("blank inside") << "12 345" << 12345.0;
        QTest::newRow("comma") << "1,5" << 1.5;
        QTest::newRow("point") << "1.5" << 1.5;
        QTest::newRow("negative") << "-7" << -7.0;
        QTest::newRow("negative leading zero") << "-05" << -5.0;
        QTest::newRow("leading zero fraction") << "007" << 0.007;
        QTest::newRow("05") << "05" << 0.05;
        QTest::newRow("00512") << "00512" << 0.00512;
        QTest::newRow("0120") << "0120" << 0.012;
        QTest::newRow("whole") << "12" << 12.0;
        QTest::newRow("12,5") << "12,5" << 12.5;
        QTest::newRow("blank then negative") << " -1.25" << -1.25;
        QTest::newRow("trailing point") << "12." << 12.0;
        QTest::newRow("leading point") << ".5" << 0.5;
        QTest::newRow("two points, last counts") << "1.2.5" << 12.5;
        QTest::newRow("stand report positive") << "+0.12" << 0.12;
        QTest::newRow("stand report negative") << "-1.05" << -1.05;
        QTest::newRow("plus inside is not a number") << "1+2" << 0.0;
        QTest::newRow("nine after point") << "0.123456789" << 0.123456789;
        QTest::newRow("minus only") << "-" << 0.0;
    }
    void textToNumber()
    {
        QFETCH(QString, text);
        QFETCH(double, expected);
        QCOMPARE(TextToNumber(text), expected);
        QCOMPARE(TextToNumberOrThrow(text), expected);
    }

    // The three failures: 0 in the control program, an error in the database program.
    void textToNumberFailures_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("beyond 32 bits") << "2147483648";
        QTest::newRow("below 32 bits") << "-2147483649";
        QTest::newRow("ten after point") << "1.1234567890";
        QTest::newRow("minus inside") << "1-2";
        QTest::newRow("minus inside, leading zero") << "0-2";
    }
    void textToNumberFailures()
    {
        QFETCH(QString, text);
        QCOMPARE(TextToNumber(text), 0.0);
        QVERIFY_THROWS_EXCEPTION(ConversionError, TextToNumberOrThrow(text));
        try {
            TextToNumberOrThrow(text);
        } catch (const ConversionError &e) {
            QVERIFY(e.text().contains(text));
        }
    }
    // The operator is told why: a number too long is out of range whatever its length.
    void textToNumberFailureReasons()
    {
        auto reason = [](const QString &text) {
            try {
                TextToNumberOrThrow(text);
            } catch (const ConversionError &e) {
                return e.text();
            }
            return QString();
        };
        const QString range = QStringLiteral("вне допустимого диапазона");
        const QString sign = QStringLiteral("знак «-»");
        QVERIFY(reason(QStringLiteral("2147483648")).contains(range));
        QVERIFY(reason(QStringLiteral("12345678901234567890")).contains(range));
        QVERIFY(reason(QStringLiteral("-98765432109876543210")).contains(range));
        QVERIFY(reason(QStringLiteral("12345678901234567890.5")).contains(range));
        QVERIFY(reason(QStringLiteral("1-2")).contains(sign));
        QVERIFY(reason(QStringLiteral("1234567890123456789-0")).contains(sign));
    }
    void textToNumberLimits()
    {
        QCOMPARE(TextToNumber(QStringLiteral("2147483647")), 2147483647.0);
        QCOMPARE(TextToNumber(QStringLiteral("-2147483648")), -2147483648.0);
    }

    void numberToText()
    {
        QCOMPARE(NumberToText(42, QLatin1Char('.')), QStringLiteral("42"));
        QCOMPARE(NumberToText(1.5, QLatin1Char(',')), QStringLiteral("1,5"));
        QCOMPARE(NumberToText(12.5, QLatin1Char('.')), QStringLiteral("12.5"));
        QCOMPARE(NumberToText(-0.1, QLatin1Char('.')), QStringLiteral("-0.1"));
        QCOMPARE(NumberToText(0.1 + 0.2, QLatin1Char('.')), QStringLiteral("0.3"));
        // Never an exponent, which would read back as 0.
        const struct {
            double value;
            const char *text;
        } plain[] = {{5e-05, "0.00005"}, {-1.25e-6, "-0.00000125"}, {1e15, "1000000000000000"},
                     {1.5e17, "150000000000000000"}, {123456789012345678.0, "123456789012346000"}};
        for (const auto &p : plain)
            QCOMPARE(NumberToText(p.value, QLatin1Char('.')), QString::fromLatin1(p.text));
        QCOMPARE(NumberToText(5e-05, QLatin1Char(',')), QStringLiteral("0,00005"));
        QCOMPARE(TextToNumber(NumberToText(5e-05, QLatin1Char('.'))), 5e-05);
        QLocale::setDefault(QLocale(QLocale::Russian));
        QCOMPARE(NumberToText(1.5), QStringLiteral("1,5"));
        QLocale::setDefault(QLocale::c());
        QCOMPARE(NumberToText(1.5), QStringLiteral("1.5"));
        // Round trip of what the register test adds up.
        QCOMPARE(TextToNumber(NumberToText(TextToNumber(QStringLiteral("12.3")) + 0.1)), 12.4);
    }

    void importConversions()
    {
        QCOMPARE(KMFromText(QStringLiteral("0.5/L")), 0.5);
        QCOMPARE(KMFromText(QStringLiteral("1")), 1.0);
        QCOMPARE(KMFromText(QStringLiteral("0,8/C")), 0.8);
        QCOMPARE(LCFromText(QStringLiteral("0.5/L")), 1);
        QCOMPARE(LCFromText(QStringLiteral("1/C")), 2);
        QCOMPARE(LCFromText(QStringLiteral("1/l")), 0);
        QCOMPARE(LCFromText(QStringLiteral("1/")), 0);
        QCOMPARE(LCFromText(QStringLiteral("1")), 0);
        QCOMPARE(EnergyFromText(QStringLiteral("Активная")), 1);
        QCOMPARE(EnergyFromText(QStringLiteral("Реактивная")), 2);
        QCOMPARE(EnergyFromText(QStringLiteral("активная")), 0);
        QCOMPARE(ConstUnitFromText(QStringLiteral("оборот/кВт(кВар)*час")), 1);
        QCOMPARE(ConstUnitFromText(QStringLiteral("кВт(кВар)*час/оборот")), 2);
        QCOMPARE(ConstUnitFromText(QStringLiteral("Вт(Вар)*сек/оборот")), 3);
        QCOMPARE(ConstUnitFromText(QString()), 0);
        QCOMPARE(SchemeFromText(QStringLiteral("1ф")), 1);
        QCOMPARE(SchemeFromText(QStringLiteral("1ф. 2пр.")), 1);
        QCOMPARE(SchemeFromText(QStringLiteral("1")), 0);
        QCOMPARE(SchemeFromText(QString()), 0);
        QCOMPARE(SchemeFromText(QStringLiteral("3ф. 3пр.")), 2);
        QCOMPARE(SchemeFromText(QStringLiteral("3ф. 4пр.")), 3);
        QCOMPARE(SchemeFromText(QStringLiteral("3ф 4пр")), 0);
        QCOMPARE(BaseFileName(QStringLiteral("C:\\data\\types.db")), QStringLiteral("types"));
        QCOMPARE(BaseFileName(QStringLiteral("/home/lab/Тест 1.db")), QStringLiteral("Тест 1"));
        QCOMPARE(BaseFileName(QStringLiteral("noext")), QStringLiteral("noext"));
    }
};

QTEST_GUILESS_MAIN(TestTextConvert)
#include "test_text_convert.moc"
