#include "link/transport.h"

#include "link/adapter/gpibadapter.h"
#include "link/ni488/gpiblibrary.h"
#include "link/visa/resourceroad.h"

#include <algorithm>
#include <utility>

namespace qlx {

namespace {

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

bool Transport::openGpib(const GpibAddress& address, qint16* handle, QString* error)
{
    if (m_busy || m_stopped)
        return false;
    m_gpib.reset();
    m_gpibUnsure = false;
    m_openFault = {};
    if (address.kind == GpibAddress::Library) {
        OpenedDevice opened = openGpibLibraryDevice(address.primary);
        if (handle)
            *handle = opened.handle;
        m_openFault = opened.fault;
        m_gpib = std::move(opened.device);
    } else {
        QString reason;
        m_gpib = address.isResource() ? openResourceDevice(address, &reason) : GpibAdapter::open(address, &reason);
        if (error)
            *error = reason;
    }
    // A device opened after stop() is closed again without a word to the tester.
    return m_gpib != nullptr && !m_stopped;
}

bool Transport::openGpib(int primaryAddress, qint16* handle)
{
    GpibAddress address;
    address.primary = primaryAddress;
    return openGpib(address, handle);
}

bool Transport::openSerial(const QString& portName)
{
    if (m_busy || m_stopped)
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
    m_serial.reset();
    return m_port.open(QIODevice::ReadWrite);
}

void Transport::closeGpib(bool goToLocal)
{
    if (m_busy) // the exchange that waits still uses the device
        return;
    if (goToLocal && m_gpib) {
        Exchange exchange(*this);
        if (m_gpibUnsure)
            m_gpib->clear();
        m_gpib->goToLocal();
    }
    m_gpibUnsure = false;
    m_gpib.reset();
}

void Transport::closeSerial()
{
    if (m_busy)
        abort();
    m_port.close();
}

bool Transport::isOpen(Bus bus) const { return bus == Bus::Gpib ? m_gpib != nullptr : m_port.isOpen(); }

void Transport::abort()
{
    m_serial.abort();
    if (m_gpib)
        m_gpib->abort();
    m_busy = false;
}

void Transport::stop()
{
    m_stopped = true;
    abort();
}

std::optional<Outcome> Transport::refuse(Bus bus, bool evenStopped) const
{
    if (m_stopped && !evenStopped)
        return Outcome::Aborted;
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
    if (bus == Bus::Serial)
        return m_serial.send(text);
    writeGpib(text);
    return Outcome::Ok;
}

void Transport::writeGpib(const QByteArray& text)
{
    if (m_gpibUnsure)
        m_gpib->clear();
    m_gpibUnsure = false;
    m_gpib->write(text);
}

TextAnswer Transport::queryText(Bus bus, const QByteArray& text, int gpibBufferLength)
{
    if (const auto refused = refuse(bus))
        return {{}, *refused};
    Exchange exchange(*this);
    if (bus == Bus::Serial)
        return m_serial.queryText(text);

    writeGpib(text);
    const int length = static_cast<int>(std::clamp<qint64>(gpibBufferLength, 1, kMaxTextAnswer));
    const QByteArray answer = m_gpib->readText(length, m_debug ? m_observer : nullptr);
    m_gpibUnsure = !answer.endsWith('\n');
    if (m_gpib->aborted())
        return {answer, Outcome::Aborted};
    return {answer, TextReader::textTooLarge(answer.size()) ? Outcome::TooLarge : Outcome::Ok};
}

DataAnswer Transport::queryData(Bus bus, const QByteArray& text, qint64 expectedLength)
{
    if (const auto refused = refuse(bus))
        return {{}, *refused, {}};
    Exchange exchange(*this);
    if (bus == Bus::Serial)
        return m_serial.queryData(text, m_observer, expectedLength);
    DataAnswer answer = queryGpibData(text, expectedLength);
    if (answer.outcome != Outcome::Ok || m_gpib->aborted()) {
        m_gpibUnsure = true;
        answer.data.clear();
        if (m_gpib->aborted())
            answer.outcome = Outcome::Aborted;
    }
    return answer;
}

// The block read in pieces of exactly what its reader needs next: the mark and digit count, the
// length digits, the data in one read into a buffer of the announced size; then the device reads
// the line end into the reader.
DataAnswer Transport::queryGpibData(const QByteArray& text, qint64 expectedLength)
{
    writeGpib(text);
    BlockReader block(m_gpib->answerEnd(), expectedLength);
    while (block.state() == BlockReader::State::Receiving && !block.atLineEnd()) {
        QByteArray bytes(block.wanted(), '\0');
        if (m_gpib->read(bytes.data(), bytes.size()) != bytes.size())
            block.breakOff();
        else
            block.feed(bytes, m_gpib->endSeen());
    }
    if (block.state() == BlockReader::State::Receiving)
        m_gpib->finishBlock(block);
    const Outcome outcome = block.verdict().value_or(Outcome::ShortRead);
    return {block.takeData(), outcome, block.detail()};
}

Outcome Transport::goToLocal(Bus bus)
{
    // After stop(), the one go-to-local that leaves the tester in local operation.
    const bool lastLocal = m_stopped && !std::exchange(m_localAfterStop, true);
    if (const auto refused = refuse(bus, lastLocal))
        return *refused;
    Exchange exchange(*this);
    if (bus == Bus::Gpib)
        m_gpib->goToLocal();
    else
        m_serial.sendUnanswered(QByteArrayLiteral("*GTL"));
    return Outcome::Ok;
}

QString outcomeText(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Ok:
        return QStringLiteral("no answer");
    case Outcome::TimedOut:
        return QStringLiteral("timed out");
    case Outcome::NotOpen:
        return QStringLiteral("the bus is not open");
    case Outcome::Aborted:
        return QStringLiteral("interrupted");
    case Outcome::Malformed:
        return QStringLiteral("malformed data block");
    case Outcome::Mismatch:
        return QStringLiteral("the block is not the size the listing gave");
    case Outcome::TooLarge:
        return QStringLiteral("the announced size is too large");
    case Outcome::ShortRead:
        return QStringLiteral("fewer bytes arrived than announced");
    case Outcome::Busy:
        return QStringLiteral("the bus is busy");
    }
    return {};
}

} // namespace qlx
