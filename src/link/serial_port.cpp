#include "link/serial_port.h"

#include "core/settings.h"

#include <QFileInfo>
#include <QSerialPort>

#include <algorithm>
#include <cstring>

namespace kvintor {

QString PortOpenFailureText(const QString &device, int serialError, const QString &systemText)
{
    QString cause;
#ifndef Q_OS_WIN
    // The kernel's answers overlap (no right and busy are both a permission
    // error to the port class), so the device file tells them apart.
    const QFileInfo file(device);
    if (!file.exists())
        cause = QStringLiteral("устройство не найдено");
    else if (!file.isReadable() || !file.isWritable())
        cause = QStringLiteral("нет прав на чтение и запись устройства");
    else
#endif
    if (serialError == QSerialPort::DeviceNotFoundError)
        cause = QStringLiteral("устройство не найдено");
    else if (serialError == QSerialPort::PermissionError || serialError == QSerialPort::OpenError)
        cause = QStringLiteral("устройство занято другой программой");
    else
        cause = QStringLiteral("устройство не открывается");
    QString text = QStringLiteral("Устройство: ") + device + QStringLiteral("\nПричина: ") + cause;
    if (!systemText.isEmpty())
        text += QStringLiteral(" (") + systemText + QLatin1Char(')');
    return text;
}

int BaudValue(int baudRate)
{
    switch (baudRate) {
    case BR____110: return 110;
    case BR____300: return 300;
    case BR____600: return 600;
    case BR___1200: return 1200;
    case BR___2400: return 2400;
    case BR___4800: return 4800;
    case BR___9600: return 9600;
    case BR__14400: return 14400;
    case BR__19200: return 19200;
    case BR__38400: return 38400;
    case BR__56000: return 56000;
    case BR__57600: return 57600;
    case BR_115200: return 115200;
    case BR_128000: return 128000;
    case BR_256000: return 256000;
    default: return 9600;
    }
}

QString ComDevicePath(TComNo comNo)
{
    static const char *const keys[] = {"Com1", "Com2", "Com3", "Lpt1"};
#ifdef Q_OS_WIN
    static const char *const defaults[] = {"COM1", "COM2", "COM3", "LPT1"};
#else
    static const char *const defaults[] = {"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyS2", "/dev/lp0"};
#endif
    const int i = comNo >= Com1 && comNo <= Lpt1 ? int(comNo) : int(Com2);
    return kv::settingText(QStringLiteral("Ports"), QLatin1String(keys[i]), QLatin1String(defaults[i]));
}

namespace {

QSerialPort::StopBits qtStopBits(TStopBits s)
{
    switch (s) {
    case SB_ONE5STOPBITS: return QSerialPort::OneAndHalfStop;
    case SB_TWOSTOPBITS: return QSerialPort::TwoStop;
    default: return QSerialPort::OneStop;
    }
}

QSerialPort::Parity qtParity(TParity p)
{
    switch (p) {
    case paOdd: return QSerialPort::OddParity;
    case paEven: return QSerialPort::EvenParity;
    case paMark: return QSerialPort::MarkParity;
    case paSpace: return QSerialPort::SpaceParity;
    default: return QSerialPort::NoParity;
    }
}

void requireNotNegative(int value, const char *what)
{
    if (value < 0)
        throw RangeError(QStringLiteral("Недопустимое значение %1: %2").arg(QLatin1String(what), QString::number(value)));
}

}  // namespace

TMyCommRTS::TMyCommRTS(QObject *parent) : QObject(parent), m_port(new QSerialPort(this))
{
    connect(m_port, &QSerialPort::readyRead, this, [this] {
        TakeReceived();
        Q_EMIT DataArrived();
    });
    connect(m_port, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError e) { OnPortError(e); });
}

TMyCommRTS::~TMyCommRTS()
{
    // OnDeActivate may point into an owner that is already half destroyed.
    OnDeActivate = nullptr;
    Close();
}

void TMyCommRTS::SetBaudRate(TBaudRate value)
{
    if (value == m_baudRate)
        return;
    m_baudRate = value;
    if (IsOpen())
        m_port->setBaudRate(BaudValue(m_baudRate));
}

void TMyCommRTS::SetStopBits(TStopBits value)
{
    if (int(value) < 0 || int(value) > 255)
        throw RangeError(QStringLiteral("Недопустимое значение StopBits: %1").arg(int(value)));
    if (value == m_stopBits)
        return;
    m_stopBits = value;
    if (IsOpen())
        m_port->setStopBits(qtStopBits(m_stopBits));
}

void TMyCommRTS::SetComNo(TComNo value)
{
    if (value == m_comNo)
        return;
    if (IsOpen())
        Close();
    m_comNo = value;
}

void TMyCommRTS::SetParity(TParity value)
{
    m_parity = value;
    // Kept by the port while closed and applied when it opens.
    m_port->setParity(qtParity(m_parity));
    m_port->clearError();
}

void TMyCommRTS::SetByteSize(int value)
{
    m_byteSize = value;
    if (value >= 5 && value <= 8)
        m_port->setDataBits(QSerialPort::DataBits(value));
    m_port->clearError();
}

void TMyCommRTS::SetBufferLen(int value)
{
    requireNotNegative(value, "BufferLen");
    if (value == m_bufferLen)
        return;
    m_bufferLen = value;
}

int TMyCommRTS::InputLimit() const
{
    // Replies are under 80 bytes and one request is outstanding at a time;
    // 16 KiB hold half a minute of the line at 4800 bits/s and bound the
    // memory and the work a flood of noise can cause per wake-up.
    return std::max(m_bufferLen, 16384);
}

void TMyCommRTS::TakeReceived()
{
    if (!IsOpen() || m_port->bytesAvailable() <= 0)
        return;
    if (m_inputPos > 0 && m_inputPos >= m_input.size() / 2) {
        m_input.remove(0, m_inputPos);
        m_inputPos = 0;
    }
    m_input.append(m_port->readAll());
    const qsizetype excess = m_input.size() - m_inputPos - InputLimit();
    if (excess > 0) {
        m_input.remove(0, m_inputPos + excess);
        m_inputPos = 0;
        ++m_overruns;
    }
}

void TMyCommRTS::SetReadTimeout(int value)
{
    requireNotNegative(value, "ReadTimeout");
    if (value == m_readTimeout)
        return;
    m_readTimeout = value;
    ApplyTimeouts();
}

void TMyCommRTS::SetWriteTimeout(int value)
{
    requireNotNegative(value, "WriteTimeout");
    if (value == m_writeTimeout)
        return;
    m_writeTimeout = value;
    ApplyTimeouts();
}

QString TMyCommRTS::DevicePath() const
{
    return m_deviceOverride.isEmpty() ? ComDevicePath(m_comNo) : m_deviceOverride;
}

void TMyCommRTS::ApplyTimeouts()
{
    // Read and Write wait with these values; there is no driver record to fill.
    m_timeouts = {m_readTimeout, m_readTimeout, m_readTimeout, m_writeTimeout, m_writeTimeout};
    ++m_applyTimeoutsCount;
}

void TMyCommRTS::ApplyLineSettings()
{
    m_port->setBaudRate(BaudValue(m_baudRate));
    m_port->setStopBits(qtStopBits(m_stopBits));
    m_port->setParity(qtParity(m_parity));
    if (m_byteSize >= 5 && m_byteSize <= 8)
        m_port->setDataBits(QSerialPort::DataBits(m_byteSize));
    m_port->setFlowControl(QSerialPort::NoFlowControl);
}

void TMyCommRTS::Open()
{
    if (IsOpen())
        return;
    m_port->setPortName(DevicePath());
    ApplyLineSettings();
    m_port->clearError();
    if (!m_port->open(QIODevice::ReadWrite)) {
        m_failureText = PortOpenFailureText(DevicePath(), m_port->error(), m_port->errorString());
        m_port->clearError();
        return;
    }
    m_failureText.clear();
    // The set-up calls' results are not checked: a port that
    // opened is usable, and a pseudo-terminal rejects the modem-line calls.
    ApplyLineSettings();
    m_port->setDataTerminalReady(true);
    ApplyTimeouts();
    // No limit on the device's own buffer: a full one stops the port reading.
    m_port->setReadBufferSize(0);
    m_port->clearError();
    Purge();
    if (OnActivate)
        OnActivate(this);
}

void TMyCommRTS::Close()
{
    if (OnDeActivate)
        OnDeActivate(this);
    if (IsOpen()) {
        // Purging a device that has gone fails again; that is no new loss.
        m_closing = true;
        Purge();
        m_port->close();
        m_closing = false;
    }
    m_port->clearError();
    m_input.clear();
    m_inputPos = 0;
}

bool TMyCommRTS::IsOpen() const { return m_port->isOpen(); }

int TMyCommRTS::Write(const char *buffer, int count)
{
    requireNotNegative(count, "Count");
    if (!IsOpen() || count == 0)
        return 0;
    const qint64 n = m_port->write(buffer, count);
    // Hand the bytes to the device now rather than at the next turn of the
    // event loop: the pacing of the stand protocol is measured from here.
    m_port->flush();
    if (m_port->bytesToWrite() > 0)
        m_port->waitForBytesWritten(m_writeTimeout);
    return n < 0 ? 0 : int(n);
}

int TMyCommRTS::Read(char *buffer, int count)
{
    requireNotNegative(count, "Count");
    if (!IsOpen() || count == 0)
        return 0;
    TakeReceived();
    if (BytesQueued() == 0 && m_port->waitForReadyRead(m_readTimeout))
        TakeReceived();
    const int n = std::min(count, BytesQueued());
    std::memcpy(buffer, m_input.constData() + m_inputPos, size_t(n));
    m_inputPos += n;
    return n;
}

int TMyCommRTS::WriteByte(char byte) { return Write(&byte, 1); }

char TMyCommRTS::ReadByte()
{
    // The queue is filled on every arrival and emptied on Close.
    return m_inputPos < m_input.size() ? m_input.at(m_inputPos++) : char(0);
}

int TMyCommRTS::BytesQueued() const { return int(m_input.size() - m_inputPos); }

QByteArray TMyCommRTS::ReadAll()
{
    TakeReceived();
    QByteArray all = m_input.mid(m_inputPos);
    m_input.clear();
    m_inputPos = 0;
    return all;
}

void TMyCommRTS::Purge()
{
    if (!IsOpen())
        return;
    m_port->flush();
    m_port->clear(QSerialPort::AllDirections);
    m_port->clearError();
    m_input.clear();
    m_inputPos = 0;
}

bool TMyCommRTS::SetRTS()
{
    if (!IsOpen())
        return false;
    const bool ok = m_port->setRequestToSend(true);
    m_port->clearError();
    return ok;
}

bool TMyCommRTS::ClearRTS()
{
    if (!IsOpen())
        return false;
    const bool ok = m_port->setRequestToSend(false);
    m_port->clearError();
    return ok;
}

void TMyCommRTS::OnPortError(int error)
{
    if (error == QSerialPort::NoError || m_closing)
        return;
    // A device that went away shows up as a resource error, or on a
    // pseudo-terminal whose far side closed as a read error that would repeat
    // for ever: either way the line is gone.
    const bool gone = error == QSerialPort::ResourceError || error == QSerialPort::ReadError ||
                      error == QSerialPort::WriteError;
    if (gone && IsOpen()) {
        const QString reason = m_port->errorString();
        m_port->clearError();
        Close();
        m_failureText = QStringLiteral("Устройство: ") + DevicePath() +
                        QStringLiteral("\nПричина: устройство отключено (") + reason + QLatin1Char(')');
        Q_EMIT DeviceLost(reason);
        return;
    }
    // Everything else (a rejected modem-line call, a time-out) leaves the port usable.
}

}  // namespace kvintor
