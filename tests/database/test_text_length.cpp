// Cuts of a text to a column's length: whole characters, counted as the
// engine counts them.

#include "database/text_length.h"
#include "support/hostile_texts.h"
#include "support/test_env.h"

#include <QSqlQuery>
#include <QTest>

class TestTextLength : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void cuts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("limit");
        QTest::addColumn<QString>("byCharacters");
        QTest::addColumn<QString>("byUnits");
        const QString smile = QStringLiteral("\U0001F600");
        QTest::newRow("short text kept") << QStringLiteral("N1") << 15 << QStringLiteral("N1") << QStringLiteral("N1");
        QTest::newRow("pair across the limit") << QStringLiteral("1234") + smile + QStringLiteral("Z") << 5
                                               << QStringLiteral("1234") + smile << QStringLiteral("1234");
        QTest::newRow("pair ends at the limit") << QStringLiteral("123") + smile + QStringLiteral("Z") << 5
                                                << QStringLiteral("123") + smile + QStringLiteral("Z")
                                                << QStringLiteral("123") + smile;
        QTest::newRow("pairs only") << smile.repeated(4) << 3 << smile.repeated(3) << smile;
        QTest::newRow("20 characters to 15") << kvtest::unicodeText20() << 15 << QStringLiteral("Счётчик №7 Ωµ Ä")
                                             << QStringLiteral("Счётчик №7 Ωµ Ä");
        QTest::newRow("nothing left") << QStringLiteral("abc") << 0 << QString() << QString();
        QTest::newRow("lone half kept as it came") << QStringLiteral("a") + QChar(0xD83D) + QStringLiteral("b") << 2
                                                   << QStringLiteral("a") + QChar(0xD83D)
                                                   << QStringLiteral("a") + QChar(0xD83D);
    }
    void cuts()
    {
        QFETCH(QString, text);
        QFETCH(int, limit);
        QFETCH(QString, byCharacters);
        QFETCH(QString, byUnits);
        QCOMPARE(kv::leftCharacters(text, limit), byCharacters);
        QCOMPARE(kv::leftUnits(text, limit), byUnits);
    }

    // The count agrees with the engine's, which the columns' checks use.
    void countsAsTheEngineCounts()
    {
        kvtest::TempDatabase db;
        QStringList texts = kvtest::hostileTexts();
        texts << QStringLiteral("\U0001F600").repeated(15) << QString();
        for (const QString &t : texts) {
            QSqlQuery q(db.db());
            q.prepare(QStringLiteral("SELECT length(?)"));
            q.addBindValue(t);
            QVERIFY(q.exec() && q.next());
            QCOMPARE(kv::characterCount(t), q.value(0).toInt());
        }
    }
};

QTEST_GUILESS_MAIN(TestTextLength)
#include "test_text_length.moc"
