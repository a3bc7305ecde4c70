#include "core/error_report.h"
#include "link/stand_frames.h"

#include <QTest>

using namespace kvintor;

namespace {
QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray b;
    for (int v : values)
        b.append(char(v));
    return b;
}
}  // namespace

class TestStandFrames : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void requestsHaveTheirExactBytes()
    {
        QCOMPARE(PollRequest(3), bytes({0x2F, 0x33, 0x01, 0x55, 0x03}));
        QCOMPARE(ResultsRequest(3), bytes({0x2F, 0x33, 0x3F, 0x03}));
        QCOMPARE(MeterResetRequest(2, 5), bytes({0x2F, 0x32, 0x01, 0x57, 0x35, 0x03}));
        QCOMPARE(StandResetRequest(4), bytes({0x2F, 0x34, 0x01, 0x56, 0x03}));
        QCOMPARE(AutoRequest(), bytes({0x2F, 0x30, 0x01, 0x58, 0x03}));
        QCOMPARE(SetupRequest(1, 'P', 1000, 5, 1),
                 bytes({0x2F, 0x31, 0x01, 0x50, 0x02, 0x31, 0x30, 0x30, 0x30, 0x30, 0x30, 0x35, 0x37, 0x31, 0x03}));
        // Sensitivity and creep count "00"; a reactive meter's energy digit 2;
        // a count of more than one digit goes as it is.
        QCOMPARE(SetupRequest(2, 'Q', 25000, 0, 2), QByteArray("/2\x01Q\x02" "25000" "00" "6" "2\x03"));
        QCOMPARE(SetupRequest(5, 'P', 1200000, 120, 1), QByteArray("/5\x01P\x02" "12000" "120" "4" "1\x03"));
    }

    void requestsRefuseWhatTheLineCannotCarry()
    {
        for (int stand : {0, 6, -1})
            QVERIFY_THROWS_EXCEPTION(kv::Error, PollRequest(stand));
        QVERIFY_THROWS_EXCEPTION(kv::Error, MeterResetRequest(1, 7));
        QVERIFY_THROWS_EXCEPTION(kv::Error, MeterResetRequest(1, 0));
        QVERIFY_THROWS_EXCEPTION(kv::Error, SetupRequest(1, 'P', 1000, -1, 1));
        QVERIFY_THROWS_EXCEPTION(kv::Error, SetupRequest(1, 'S', 1000, 5, 1));
        QVERIFY_THROWS_EXCEPTION(kv::Error, SetupRequest(1, 'P', 1000, 5, 3));
        for (double k : {0.0, -1000.0, 999995.0, 99999.5, 1e11, qQNaN(), qInf()}) {
            try {
                SetupRequest(1, 'P', k, 5, 1);
                QFAIL(qPrintable(QString::number(k)));
            } catch (const kv::Error &e) {
                QVERIFY(e.text().contains(QStringLiteral("Постоянная счетчика")));
            }
        }
    }

    void constantsScaleIntoFiveDigitsHalfToEven()
    {
        struct Case {
            double k;
            int mantissa, exponent;
        } cases[] = {
            {1000, 10000, 7},    {25000, 25000, 6},   {1200000, 12000, 4}, {1, 10000, 10},
            {2000, 20000, 7},    {12345.5, 12346, 6}, {12344.5, 12344, 6}, {99999, 99999, 6},
            {10000, 10000, 6},   {3200.25, 32002, 7}, {3200.75, 32008, 7}, {0.5, 50000, 11},
            {1e10, 10000, 0},
        };
        for (const Case &c : cases) {
            const auto s = ScaleConstant(c.k);
            QVERIFY2(s.has_value(), qPrintable(QString::number(c.k, 'f', 3)));
            QCOMPARE(s->Mantissa, c.mantissa);
            QCOMPARE(s->Exponent, c.exponent);
        }
        // Every constant from 10 up to 10^11 has a one-digit exponent.
        for (double k = 10; k < 1e11; k *= 3.7) {
            const auto s = ScaleConstant(k);
            QVERIFY(s && s->Exponent >= 0 && s->Exponent <= 9);
            QVERIFY(qAbs(s->Mantissa * std::pow(10.0, 6 - s->Exponent) - k) <= 0.5 * std::pow(10.0, 6 - s->Exponent));
        }
        // The gap between 99999 and 100000, at any power of ten, has no form.
        for (double k : {99999.01, 999990.5, 9999.95, 99999.99})
            QVERIFY(!ScaleConstant(k));
    }

    void standReadsRequestsBack()
    {
        Request r = DecodeRequest(SetupRequest(3, 'R', 1200000, 0, 2));
        QCOMPARE(r.kind, Request::Setup);
        QCOMPARE(r.stand, 3);
        QCOMPARE(r.letter, 'R');
        QCOMPARE(r.mantissa, 12000);
        QCOMPARE(r.count, 0);
        QCOMPARE(r.exponent, 4);
        QCOMPARE(r.energy, 2);
        QCOMPARE(r.constant(), 1200000.0);
        r = DecodeRequest(SetupRequest(1, 'P', 1000, 120, 1));
        QCOMPARE(r.count, 120);
        QCOMPARE(r.exponent, 7);
        // A constant below 10 has a two-digit exponent behind a two-digit count.
        r = DecodeRequest(SetupRequest(1, 'P', 1, 5, 1));
        QCOMPARE(r.count, 5);
        QCOMPARE(r.exponent, 10);
        QCOMPARE(r.constant(), 1.0);

        QCOMPARE(DecodeRequest(PollRequest(2)).kind, Request::Poll);
        QCOMPARE(DecodeRequest(AutoRequest()).stand, 0);
        QCOMPARE(DecodeRequest(MeterResetRequest(2, 5)).position, 5);
        QCOMPARE(DecodeRequest(ResultsRequest(5)).kind, Request::ResultsQuery);
        // Garbage is no request.
        for (const QByteArray &junk : {QByteArray(), QByteArray("/"), QByteArray("/1\x01U"), QByteArray("x1\x01U\x03"),
                                       QByteArray("/1\x01P\x02" "12a45051\x03"), QByteArray("/1\x01W9\x03"),
                                       QByteArray("/1\x01Z\x03")})
            QCOMPARE(DecodeRequest(junk).kind, Request::Unknown);
    }

    void repliesAndErrorTexts()
    {
        QCOMPARE(AnswerFrame(2), bytes({0x2F, 0x32, 0x04, 0x03}));
        QCOMPARE(AcknowledgeFrame(2, 'W').at(3), 'W');
        QCOMPARE(ResultsFrame(2, ValueGroup(1, "+0.12") + PulseGroup(4)), QByteArray("/2\x02 1 +0.12 Q4\x03"));
        QCOMPARE(FrameStand(QByteArray("/7\x04\x03")), 0);
        QCOMPARE(FrameStand(QByteArray("/x\x04\x03")), 0);
        QCOMPARE(FrameByte(QByteArray("/1"), 3), char(0));
        QCOMPARE(ErrorText(0.12), QByteArray("+0.12"));
        QCOMPARE(ErrorText(-1.05), QByteArray("-1.05"));
        QCOMPARE(ErrorText(-0.001), QByteArray("+0.00"));
        QCOMPARE(ErrorText(12.34), QByteArray("+12.3"));
        QCOMPARE(ErrorText(-250), QByteArray("-99.9"));
    }
};

QTEST_GUILESS_MAIN(TestStandFrames)
#include "test_stand_frames.moc"
