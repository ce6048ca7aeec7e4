#include "link/transport.h"

#include "link/niglobal.h"
#include "link/receivers.h"
#include "link/vbib32.h"
#include "platform/vbval.h"

#include <QStringList>

#include <cmath>

namespace qlx {

namespace {

constexpr int kGpibBoard = 0;
constexpr int kSecondaryAddressCode = 96; // secondary address 0
constexpr int kTimeoutCode = 13;          // 10 s
constexpr int kAssertEndOnLastByte = 1;
constexpr int kNoEndOfString = 0;
constexpr qint64 kSerialReadBuffer = 4 * 1024 * 1024;

} // namespace

// Marks the bus busy for the length of one operation.
class Transport::Exchange {
public:
    explicit Exchange(Transport& t) : m_t(t) { m_t.m_busy = true; }
    ~Exchange() { m_t.m_busy = false; }
    Exchange(const Exchange&) = delete;
    Exchange& operator=(const Exchange&) = delete;

private:
    Transport& m_t;
};

Transport::Transport(TransportObserver* observer) : m_observer(observer), m_serial(m_port) {}

Transport::~Transport() { abort(); }

bool Transport::openGpib(int primaryAddress, qint16* handle)
{
    if (m_busy)
        return false;
    m_gpibHandle.reset();
    const qint16 descriptor = vbib32::ibdev(kGpibBoard, primaryAddress, kSecondaryAddressCode, kTimeoutCode,
                                            kAssertEndOnLastByte, kNoEndOfString);
    if (handle)
        *handle = descriptor;
    if (!vbib32::available() || descriptor < 0)
        return false;
    m_gpibHandle = descriptor;
    return true;
}

bool Transport::openSerial(const QString& portName)
{
    if (m_busy)
        return false;
    m_port.close();
    if (portName.isEmpty())
        return false;
    m_port.setPortName(portName);
    m_port.setBaudRate(QSerialPort::Baud19200);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    m_port.setReadBufferSize(kSerialReadBuffer);
    return m_port.open(QIODevice::ReadWrite);
}

void Transport::closeSerial()
{
    if (m_busy)
        abort();
    m_port.close();
}

bool Transport::isOpen(Bus bus) const { return bus == Bus::Gpib ? m_gpibHandle.has_value() : m_port.isOpen(); }

void Transport::abort()
{
    m_serial.abort();
    m_busy = false;
}

std::optional<Outcome> Transport::refuse(Bus bus) const
{
    if (m_busy)
        return Outcome::Busy;
    if (!isOpen(bus))
        return Outcome::NotOpen;
    return std::nullopt;
}

Outcome Transport::sendCommand(Bus bus, const QByteArray& text)
{
    if (const auto refused = refuse(bus))
        return *refused;
    Exchange exchange(*this);
    if (bus == Bus::Gpib)
        vbib32::ibwrt(*m_gpibHandle, text);
    else
        m_serial.send(text);
    return Outcome::Ok;
}

TextAnswer Transport::queryText(Bus bus, const QByteArray& text, int gpibBufferLength)
{
    if (const auto refused = refuse(bus))
        return {{}, *refused};
    Exchange exchange(*this);
    if (bus == Bus::Serial)
        return m_serial.queryText(text);

    vbib32::ibwrt(*m_gpibHandle, text);
    const int length = static_cast<int>(std::clamp<qint64>(gpibBufferLength, 1, kMaxTextAnswer));
    const QByteArray buffer = vbib32::ibrdText(*m_gpibHandle, length);
    const qint32 count = ni::status().ibcntl();
    const QByteArray answer = count > 0 ? buffer.left(count) : QByteArray();
    if (m_debug && m_observer)
        m_observer->gpibTextRead(buffer, count, answer);
    return {answer, Outcome::Ok};
}

DataAnswer Transport::queryData(Bus bus, const QByteArray& text)
{
    if (const auto refused = refuse(bus))
        return {{}, *refused};
    Exchange exchange(*this);
    if (bus == Bus::Serial)
        return m_serial.queryData(text, m_observer);
    return queryGpibData(text);
}

// Block mark and digit count, the length digits, then the data in one read into a buffer of
// exactly the announced size (zero-filled, so a short read leaves zeros behind the data).
DataAnswer Transport::queryGpibData(const QByteArray& text)
{
    const qint16 ud = *m_gpibHandle;
    vbib32::ibwrt(ud, text);
    const QByteArray mark = vbib32::ibrdText(ud, 2);
    if (ni::status().ibcntl() < 2)
        return {{}, Outcome::ShortRead};
    if (!blockHeaderPlausible(mark))
        return {{}, Outcome::Malformed};
    const int digitCount = mark[1] - '0';
    const QByteArray digits = vbib32::ibrdText(ud, digitCount);
    if (ni::status().ibcntl() < digitCount)
        return {{}, Outcome::ShortRead};
    if (!blockHeaderPlausible(mark + digits))
        return {{}, Outcome::Malformed};
    const qint64 length = digitsValue(digits);
    if (length == 0)
        return {{}, Outcome::Ok};
    if (length > kMaxBlockLength)
        return {{}, Outcome::TooLarge};
    QByteArray data(length, '\0');
    vbib32::ibrdBytes(ud, data.data(), length);
    return {data, ni::status().ibcntl() >= length ? Outcome::Ok : Outcome::ShortRead};
}

Outcome Transport::goToLocal(Bus bus)
{
    if (const auto refused = refuse(bus))
        return *refused;
    Exchange exchange(*this);
    if (bus == Bus::Gpib)
        vbib32::ibloc(*m_gpibHandle);
    else
        m_serial.send(QByteArrayLiteral("*GTL"));
    return Outcome::Ok;
}

QString serialPortName(const QString& addressText)
{
    const QString text = addressText.trimmed();
    if (text.startsWith(QLatin1Char('/')))
        return text;
    const std::optional<qint16> number = addressValue(text);
    if (!number || *number < 1)
        return {};
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(*number);
#else
    return QStringLiteral("/dev/ttyS%1").arg(*number - 1);
#endif
}

std::optional<qint16> addressValue(const QString& text)
{
    const double value = std::nearbyint(leadingNumber(text));
    if (!(value >= -32768.0 && value <= 32767.0))
        return std::nullopt;
    return static_cast<qint16>(value);
}

QString cableAdviceText(Bus bus)
{
    QStringList lines{QStringLiteral("ERROR! Please check cables and QLX interface setup")};
    if (bus == Bus::Gpib) {
        lines << QStringLiteral("SETUP -> REMOTE -> SCPI Connection -> Port must be set to GPIB");
    } else {
        lines << QStringLiteral("SETUP -> REMOTE -> SCPI Connection -> Port must be set to COM1/2") << QString()
              << QStringLiteral("Serial interface setup on QLX:") << QStringLiteral("Baudrate\t\t19200")
              << QStringLiteral("DataBits\t\t8") << QStringLiteral("StopBits\t\t1") << QStringLiteral("Parity\t\tnone")
              << QStringLiteral("Protocol\t\tnone");
    }
    return lines.join(QStringLiteral("\r\n"));
}

} // namespace qlx
