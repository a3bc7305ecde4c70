// TMyCommRTS: its properties, and a real pseudo-terminal on the far side.

#include "core/settings.h"
#include "link/serial_port.h"
#include "stand_server.h"
#include "support/test_env.h"

#include <QFile>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <thread>

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

using namespace kvintor;

namespace {
// A bare pseudo-terminal: the test reads and writes the master side itself.
struct Pty {
    int master = -1, slave = -1;
    QString path;
    Pty()
    {
        char name[256] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) == 0)
            path = QString::fromLocal8Bit(name);
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    }
    ~Pty()
    {
        closeMaster();
        if (slave >= 0)
            ::close(slave);
    }
    void closeMaster()
    {
        if (master >= 0)
            ::close(master);
        master = -1;
    }
    void write(const QByteArray &b) { QVERIFY(::write(master, b.constData(), size_t(b.size())) == b.size()); }
    QByteArray readAll()
    {
        QByteArray all;
        char buf[256];
        ssize_t n;
        while ((n = ::read(master, buf, sizeof buf)) > 0)
            all.append(buf, int(n));
        return all;
    }
};
}  // namespace

class TestSerialPort : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void defaultsAndBaudTable()
    {
        TMyCommRTS c;
        QCOMPARE(c.BaudRate(), BR___9600);
        QCOMPARE(c.StopBits(), SB_ONESTOPBIT);
        QCOMPARE(c.ComNo(), Com2);
        QCOMPARE(c.Parity(), paNone);
        QCOMPARE(c.ByteSize(), 8);
        QCOMPARE(c.BufferLen(), 300);
        QCOMPARE(c.ReadTimeout(), 1000);
        QCOMPARE(c.WriteTimeout(), 1000);
        QVERIFY(!c.OnActivate && !c.OnDeActivate);
        QVERIFY(!c.IsOpen());
        QCOMPARE(BaudValue(BR___4800), 4800);
        QCOMPARE(BaudValue(BR____110), 110);
        QCOMPARE(BaudValue(BR_256000), 256000);
        QCOMPARE(BaudValue(BR_256000 + 1), 9600);
        QCOMPARE(BaudValue(-1), 9600);
    }

    void rangeErrorsAndTimeouts()
    {
        TMyCommRTS c;
        char buf[4];
        QVERIFY_THROWS_EXCEPTION(RangeError, c.SetBufferLen(-1));
        QVERIFY_THROWS_EXCEPTION(RangeError, c.SetReadTimeout(-5));
        QVERIFY_THROWS_EXCEPTION(RangeError, c.SetWriteTimeout(-5));
        QVERIFY_THROWS_EXCEPTION(RangeError, c.Write(buf, -1));
        QVERIFY_THROWS_EXCEPTION(RangeError, c.Read(buf, -1));
        QVERIFY_THROWS_EXCEPTION(RangeError, c.SetStopBits(TStopBits(256)));
        QCOMPARE(c.BufferLen(), 300);
        // The same value does nothing; a new one is applied at once.
        const int applied = c.ApplyTimeoutsCount();
        c.SetReadTimeout(1000);
        QCOMPARE(c.ApplyTimeoutsCount(), applied);
        c.SetReadTimeout(250);
        QCOMPARE(c.ApplyTimeoutsCount(), applied + 1);
        QCOMPARE(c.AppliedTimeouts().readInterval, 250);
        QCOMPARE(c.AppliedTimeouts().readConstant, 250);
        QCOMPARE(c.AppliedTimeouts().writeConstant, 1000);
    }

    void closedPortDoesNothing()
    {
        TMyCommRTS c;
        int deactivated = 0;
        c.OnDeActivate = [&](TMyCommRTS *sender) {
            QCOMPARE(sender, &c);
            ++deactivated;
        };
        c.Purge();
        c.Close();
        QCOMPARE(deactivated, 1);
        QCOMPARE(c.BytesQueued(), 0);
        QCOMPARE(c.ReadByte(), char(0));
        QCOMPARE(c.WriteByte('x'), 0);
        QVERIFY(!c.SetRTS());
        c.OnDeActivate = nullptr;
    }

    void comNoMapsThroughTheSettings()
    {
        kvtest::TempSettings settings;
        TMyCommRTS c;
        QCOMPARE(c.DevicePath(), QStringLiteral("/dev/ttyS1"));
        kv::setSettingText(QStringLiteral("Ports"), QStringLiteral("Com1"), QStringLiteral("/dev/ttyUSB0"));
        c.SetComNo(Com1);
        QCOMPARE(c.DevicePath(), QStringLiteral("/dev/ttyUSB0"));
        c.SetDeviceOverride(QStringLiteral("/dev/pts/77"));
        QCOMPARE(c.DevicePath(), QStringLiteral("/dev/pts/77"));
    }

    void aDeviceThatCannotBeOpenedLeavesItClosed()
    {
        TMyCommRTS c;
        bool activated = false;
        c.OnActivate = [&](TMyCommRTS *) { activated = true; };
        c.SetDeviceOverride(QStringLiteral("/dev/does-not-exist-kvintor"));
        c.Open();
        QVERIFY(!c.IsOpen());
        QVERIFY(!activated);
    }

    // The operator learns which device failed and why, in Russian first.
    void whyAPortDoesNotOpen_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("cause");
        QTest::newRow("missing device") << "missing" << "устройство не найдено";
        QTest::newRow("held by another program") << "busy" << "устройство занято другой программой";
        QTest::newRow("no right to the device") << "denied" << "нет прав на чтение и запись устройства";
        QTest::newRow("not a serial device") << "file" << "устройство не открывается";
    }
    void whyAPortDoesNotOpen()
    {
        QFETCH(QString, kind);
        QFETCH(QString, cause);
        QTemporaryDir dir;
        Pty pty;
        TMyCommRTS holder;
        QString device = dir.filePath(QStringLiteral("ttyKV0"));
        if (kind == QLatin1String("busy")) {
            device = pty.path;
            holder.SetDeviceOverride(device);
            holder.Open();
            QVERIFY(holder.IsOpen());
        } else if (kind == QLatin1String("denied") || kind == QLatin1String("file")) {
            QFile f(device);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.close();
            if (kind == QLatin1String("denied")) {
                if (::geteuid() == 0)
                    QSKIP("the superuser may open any device");
                QVERIFY(f.setPermissions(QFileDevice::Permissions()));
            }
        }
        TMyCommRTS c;
        c.SetDeviceOverride(device);
        c.Open();
        QVERIFY(!c.IsOpen());
        const QString text = c.FailureText();
        QVERIFY2(text.startsWith(QStringLiteral("Устройство: ") + device + QStringLiteral("\nПричина: ") + cause),
                 qPrintable(text));
        // The system's own words follow, in brackets.
        QVERIFY2(text.endsWith(QLatin1Char(')')), qPrintable(text));
        // Opened at last: nothing left to say.
        if (kind == QLatin1String("busy")) {
            holder.Close();
            c.Open();
            QVERIFY(c.IsOpen());
            QVERIFY(c.FailureText().isEmpty());
        }
    }

    void openOnAPseudoTerminal()
    {
        Pty pty;
        QVERIFY(!pty.path.isEmpty());
        TMyCommRTS c;
        c.SetBaudRate(BR___4800);
        int activated = 0;
        c.OnActivate = [&](TMyCommRTS *) { ++activated; };
        c.SetDeviceOverride(pty.path);
        c.Open();
        QVERIFY(c.IsOpen());
        QCOMPARE(activated, 1);
        QCOMPARE(c.Port()->baudRate(), 4800);
        QCOMPARE(c.Port()->dataBits(), QSerialPort::Data8);
        QCOMPARE(c.AppliedTimeouts().readMultiplier, 1000);
        // No modem lines here: the calls fail quietly and the port stays usable.
        c.ClearRTS();
        c.SetRTS();
        QCOMPARE(c.Port()->error(), QSerialPort::NoError);
        QVERIFY(c.IsOpen());
        // An enumeration value outside the table runs the line at 9600.
        c.SetBaudRate(TBaudRate(42));
        QCOMPARE(c.Port()->baudRate(), 9600);

        QCOMPARE(c.Write("/1\x01U\x03", 5), 5);
        QByteArray received;
        QTRY_COMPARE((received += pty.readAll()), QByteArray("/1\x01U\x03"));

        QSignalSpy arrived(&c, &TMyCommRTS::DataArrived);
        pty.write("ab");
        QTRY_VERIFY(c.BytesQueued() == 2);
        QVERIFY(arrived.count() >= 1);
        QCOMPARE(c.ReadByte(), 'a');
        QCOMPARE(c.ReadByte(), 'b');
        // Read waits up to its time-out for something to arrive.
        c.SetReadTimeout(2000);
        std::thread later([&] {
            QThread::msleep(50);
            pty.write("xyz");
        });
        char buf[8] = {};
        const int got = c.Read(buf, 8);
        later.join();
        QVERIFY(got >= 1);
        QCOMPARE(buf[0], 'x');
        // Purge throws away what was received and not read.
        pty.write("junk");
        QThread::msleep(50);
        c.Purge();
        QTest::qWait(50);
        QCOMPARE(c.BytesQueued(), 0);
        c.OnActivate = nullptr;
    }

    // Bytes nobody reads yet (the owner is held in a message box) never stop
    // the port taking more from the device; past the queue's limit the oldest
    // go, counted, and the newest are kept.
    void unreadBytesNeverStopThePort()
    {
        Pty pty;
        TMyCommRTS c;
        c.SetDeviceOverride(pty.path);
        c.Open();
        QVERIFY(c.IsOpen());
        const auto pour = [&](const QByteArray &bytes) {
            qsizetype sent = 0;
            while (sent < bytes.size()) {
                const ssize_t n = ::write(pty.master, bytes.constData() + sent, size_t(bytes.size() - sent));
                if (n > 0)
                    sent += n;
                QTest::qWait(2);
            }
        };
        QByteArray first;
        for (int i = 0; i < 2000; ++i)
            first.append(char(i % 251));
        pour(first);
        QVERIFY(kvtest::spinUntil([&] { return c.BytesQueued() == first.size(); }, 3000));
        QCOMPARE(c.Overruns(), 0);

        QByteArray flood(3 * c.InputLimit(), 'z');
        flood.append("/1\x04\x03");
        pour(flood);
        QVERIFY(kvtest::spinUntil([&] { return c.BytesQueued() == c.InputLimit() && c.Port()->bytesAvailable() == 0; },
                                  3000));
        QVERIFY(c.Overruns() >= 1);
        const QByteArray kept = c.ReadAll();
        QCOMPARE(kept.size(), c.InputLimit());
        QVERIFY(kept.endsWith("zz/1\x04\x03"));
        // Reading goes on as before.
        pour("ab");
        QVERIFY(kvtest::spinUntil([&] { return c.BytesQueued() == 2; }, 3000));
        QCOMPARE(c.ReadByte(), 'a');
    }

    void changingComNoClosesAnOpenPort()
    {
        Pty pty;
        TMyCommRTS c;
        int deactivated = 0;
        c.OnDeActivate = [&](TMyCommRTS *) { ++deactivated; };
        c.SetDeviceOverride(pty.path);
        c.Open();
        QVERIFY(c.IsOpen());
        c.SetComNo(Com2);  // the same: nothing happens
        QVERIFY(c.IsOpen());
        c.SetComNo(Com1);
        QVERIFY(!c.IsOpen());
        QCOMPARE(deactivated, 1);
        QCOMPARE(c.ComNo(), Com1);
        c.Open();
        QVERIFY(c.IsOpen());
        c.OnDeActivate = nullptr;
    }

    void aVanishingDeviceClosesThePortAndSaysSo()
    {
        Pty pty;
        TMyCommRTS c;
        c.SetDeviceOverride(pty.path);
        c.Open();
        QVERIFY(c.IsOpen());
        QSignalSpy lost(&c, &TMyCommRTS::DeviceLost);
        ::close(pty.slave);
        pty.slave = -1;
        pty.closeMaster();
        QTRY_VERIFY_WITH_TIMEOUT(!c.IsOpen(), 3000);
        QCOMPARE(lost.count(), 1);
        QVERIFY2(c.FailureText().startsWith(QStringLiteral("Устройство: ") + pty.path +
                                            QStringLiteral("\nПричина: устройство отключено")),
                 qPrintable(c.FailureText()));
    }
};

QTEST_GUILESS_MAIN(TestSerialPort)
#include "test_serial_port.moc"
