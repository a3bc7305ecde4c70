#pragma once
// TMyCommRTS: the control program's serial port. It keeps the line settings as
// properties, applies them when the device opens, and offers plain byte reads
// and writes plus explicit control of RTS. No framing and no threads: received
// bytes are announced by DataArrived() on the thread that owns the component.
//
// Received bytes are taken from the device as soon as they arrive, whether or
// not the owner reads them now, into the component's own input queue. A
// device buffer that fills while the owner holds off (a message box open in
// the middle of a frame's handling) would otherwise stop the port reading,
// and as nothing new would then arrive, nothing would wake the owner again.
// The queue keeps the newest bytes up to InputLimit() and drops the oldest
// beyond it, as a driver's queue overruns; Overruns() counts such drops.

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>

#include "core/error_report.h"

class QSerialPort;

namespace kvintor {

enum TBaudRate {
    BR____110,
    BR____300,
    BR____600,
    BR___1200,
    BR___2400,
    BR___4800,
    BR___9600,
    BR__14400,
    BR__19200,
    BR__38400,
    BR__56000,
    BR__57600,
    BR_115200,
    BR_128000,
    BR_256000,
};

enum TStopBits { SB_ONESTOPBIT, SB_ONE5STOPBITS, SB_TWOSTOPBITS };
enum TParity { paNone, paOdd, paEven, paMark, paSpace };
enum TComNo { Com1, Com2, Com3, Lpt1 };

// Bits per second of a TBaudRate; anything outside the table gives 9600.
int BaudValue(int baudRate);

// The device a TComNo opens: the settings value "Ports/Com1" ... "Ports/Lpt1",
// else /dev/ttyS0, /dev/ttyS1, /dev/ttyS2, /dev/lp0 (COM1, COM2, COM3, LPT1 on Windows).
QString ComDevicePath(TComNo comNo);

// Why `device` did not open, in Russian, for the operator: a missing device,
// no right to it, or another program holding it, with the system's own text
// after it. `serialError` is the QSerialPort error of the failed open.
QString PortOpenFailureText(const QString &device, int serialError, const QString &systemText);

// A negative count, size or time-out, or a stop-bit code above 255.
class RangeError : public kv::Error
{
public:
    using kv::Error::Error;
};

class TMyCommRTS : public QObject
{
    Q_OBJECT
public:
    using Event = std::function<void(TMyCommRTS *sender)>;

    explicit TMyCommRTS(QObject *parent = nullptr);
    ~TMyCommRTS() override;

    // Published properties, with the constructor's defaults.
    TBaudRate BaudRate() const { return m_baudRate; }        // BR___9600
    void SetBaudRate(TBaudRate value);
    TStopBits StopBits() const { return m_stopBits; }        // SB_ONESTOPBIT
    void SetStopBits(TStopBits value);
    TComNo ComNo() const { return m_comNo; }                  // Com2
    void SetComNo(TComNo value);
    TParity Parity() const { return m_parity; }               // paNone
    void SetParity(TParity value);
    int ByteSize() const { return m_byteSize; }               // 8
    void SetByteSize(int value);
    int BufferLen() const { return m_bufferLen; }             // 300
    // The least the input queue keeps; it keeps InputLimit() bytes.
    void SetBufferLen(int value);
    int InputLimit() const;
    // How many times unread bytes were dropped because the queue was full.
    int Overruns() const { return m_overruns; }
    int ReadTimeout() const { return m_readTimeout; }         // 1000 ms
    void SetReadTimeout(int value);
    int WriteTimeout() const { return m_writeTimeout; }       // 1000 ms
    void SetWriteTimeout(int value);
    Event OnActivate;    // at the end of a successful Open
    Event OnDeActivate;  // at the start of Close

    // A device path used instead of the ComNo mapping (a pseudo-terminal, a USB
    // adapter, the --port option); empty to use ComNo again.
    QString DeviceOverride() const { return m_deviceOverride; }
    void SetDeviceOverride(const QString &path) { m_deviceOverride = path; }
    // The device Open would open now.
    QString DevicePath() const;

    // Opens and configures the device. A device that cannot be opened leaves
    // the component closed; the caller tests IsOpen and reports.
    void Open();
    void Close();
    bool IsOpen() const;
    // Why the port is not open: the last failed Open, or the loss of an open
    // device, in Russian; empty after a successful Open.
    QString FailureText() const { return m_failureText; }

    // One write of count bytes, handed to the device at once; returns the bytes accepted.
    int Write(const char *buffer, int count);
    // Up to count bytes: what is waiting, else what arrives within ReadTimeout.
    int Read(char *buffer, int count);
    int WriteByte(char byte);
    // Callers read only when a byte is waiting (BytesQueued() > 0); 0 otherwise.
    char ReadByte();
    // Received bytes not yet read; 0 when closed.
    int BytesQueued() const;
    // Every received byte not yet read, taken out of the queue.
    QByteArray ReadAll();
    // If open: flush pending output, then discard what is queued in both directions.
    void Purge();
    // Raise / drop RTS. A pseudo-terminal has no modem lines: the failure is
    // cleared and reported only by the result.
    bool SetRTS();
    bool ClearRTS();

    // The time-out record as last applied (ApplyTimeouts).
    struct Timeouts {
        int readInterval = 0, readMultiplier = 0, readConstant = 0;
        int writeMultiplier = 0, writeConstant = 0;
    };
    Timeouts AppliedTimeouts() const { return m_timeouts; }
    int ApplyTimeoutsCount() const { return m_applyTimeoutsCount; }

    // The underlying port, for diagnostics and tests.
    QSerialPort *Port() const { return m_port; }

Q_SIGNALS:
    // Bytes arrived and wait to be read.
    void DataArrived();
    // The open device failed (an adapter unplugged); the component is closed again.
    void DeviceLost(const QString &reason);

private:
    void ApplyTimeouts();
    void ApplyLineSettings();
    void OnPortError(int error);
    // Moves what the device holds into the input queue, bounded.
    void TakeReceived();

    QSerialPort *m_port;
    TBaudRate m_baudRate = BR___9600;
    TStopBits m_stopBits = SB_ONESTOPBIT;
    TComNo m_comNo = Com2;
    TParity m_parity = paNone;
    int m_byteSize = 8;
    int m_bufferLen = 300;
    int m_readTimeout = 1000;
    int m_writeTimeout = 1000;
    QString m_deviceOverride;
    QString m_failureText;
    Timeouts m_timeouts;
    int m_applyTimeoutsCount = 0;
    bool m_closing = false;
    // Received and not yet read: m_input from m_inputPos on.
    QByteArray m_input;
    qsizetype m_inputPos = 0;
    int m_overruns = 0;
};

}  // namespace kvintor
