#include "link/adapter/gpibadapter.h"

#include <QSerialPort>
#include <QTcpSocket>

#include <cstring>

namespace qlx {
namespace {

constexpr int kConnectMs = 3000;  // a network adapter that does not accept by then is not there
constexpr int kVersionMs = 1500;  // "++ver" answers at once on an adapter that is running
constexpr int kStartingMs = 2500; // an AR488 starts anew when its port opens: up to 2 s, deaf
constexpr int kQuietMs = 200;     // what an adapter says unasked is over after this much quiet
constexpr int kGapMarginMs = 250; // past the adapter's gap its read has surely ended
constexpr int kLineEndMs = 1000;  // the line end after a block comes with it
constexpr qint64 kReadBuffer = 4 * 1024 * 1024;

// A vanished device or a hung-up line.
bool isLinkFailure(QSerialPort::SerialPortError e)
{
    return e == QSerialPort::ResourceError || e == QSerialPort::ReadError || e == QSerialPort::WriteError;
}

// A serial adapter's device at an AR488's rate (the USB model ignores it), raw, nothing waiting.
std::unique_ptr<QIODevice> openDevice(const QString& path, QString* error)
{
    auto port = std::make_unique<QSerialPort>(path);
    port->setBaudRate(QSerialPort::Baud115200);
    port->setDataBits(QSerialPort::Data8);
    port->setParity(QSerialPort::NoParity);
    port->setStopBits(QSerialPort::OneStop);
    port->setFlowControl(QSerialPort::NoFlowControl);
    port->setReadBufferSize(kReadBuffer); // a link that floods is held back, not stored
    if (!port->open(QIODevice::ReadWrite)) {
        *error = QStringLiteral("the GPIB adapter %1 could not be opened: %2").arg(path, port->errorString());
        if (port->error() == QSerialPort::PermissionError)
            *error += QStringLiteral(" (serial devices belong to the group dialout: "
                                     "sudo usermod -aG dialout $USER, then log in again)");
        return nullptr;
    }
    port->clear(QSerialPort::Input);
    return port;
}

// A network adapter's connection.
std::unique_ptr<QIODevice> openNetwork(const GpibAddress& address, QString* error)
{
    auto socket = std::make_unique<QTcpSocket>();
    socket->setReadBufferSize(kReadBuffer);
    if (const QString why = connectWithin(*socket, address.host, address.port, kConnectMs); !why.isEmpty()) {
        *error = QStringLiteral("the GPIB adapter at %1 cannot be reached: %2").arg(address.where(), why);
        return nullptr;
    }
    return socket;
}

} // namespace

QByteArray adapterLine(const QByteArray& command)
{
    QByteArray line;
    line.reserve(command.size() + 8);
    for (const char c : command) {
        if (c == '\r' || c == '\n' || c == 27 || c == '+')
            line += char(27);
        line += c;
    }
    return line + '\n';
}

GpibAdapter::GpibAdapter(std::unique_ptr<QIODevice> link, const AdapterTiming& timing)
    : m_link(std::move(link)), m_timing(timing)
{
    m_waiter.wakeOn(m_link.get(), &QIODevice::readyRead);
    const auto fail = [this] {
        m_failed = true;
        m_waiter.wake();
    };
    if (auto* port = qobject_cast<QSerialPort*>(m_link.get()))
        QObject::connect(port, &QSerialPort::errorOccurred, port, [fail](QSerialPort::SerialPortError e) {
            if (isLinkFailure(e))
                fail();
        });
    else if (auto* socket = qobject_cast<QTcpSocket*>(m_link.get()))
        QObject::connect(socket, &QTcpSocket::disconnected, socket, fail);
}

// What was written still reaches the adapter, and a network adapter sees the connection end in order.
GpibAdapter::~GpibAdapter()
{
    if (auto* socket = qobject_cast<QTcpSocket*>(m_link.get())) {
        socket->disconnectFromHost();
        if (socket->state() != QAbstractSocket::UnconnectedState)
            socket->waitForDisconnected(kQuietMs);
    } else if (auto* port = qobject_cast<QSerialPort*>(m_link.get())) {
        port->waitForBytesWritten(kQuietMs);
    }
}

std::unique_ptr<GpibAdapter> GpibAdapter::open(const GpibAddress& address, QString* error, const AdapterTiming& timing)
{
    std::unique_ptr<QIODevice> link =
        address.kind == GpibAddress::Device ? openDevice(address.device, error) : openNetwork(address, error);
    if (!link)
        return nullptr;
    auto adapter = std::make_unique<GpibAdapter>(std::move(link), timing);
    const QString reason = adapter->start(address.primary);
    if (!reason.isEmpty()) {
        *error = QStringLiteral("the GPIB adapter at %1 %2").arg(address.where(), reason);
        return nullptr;
    }
    return adapter;
}

QString GpibAdapter::start(int primary)
{
    adapterCommand("++ver");
    QByteArray version = adapterReply(kVersionMs);
    if (version.isEmpty())
        version = adapterReply(kStartingMs); // an AR488 that was starting says who it is now
    if (version.isEmpty()) {
        adapterCommand("++ver");
        version = adapterReply(kVersionMs);
    }
    discardInput(kQuietMs); // its greeting after the answer, say
    if (version.isEmpty())
        return m_failed ? QStringLiteral("went away") : QStringLiteral("does not answer \"++ver\"");
    // An AR488 writes its EEPROM on any "++savecfg"; the others save every setting while it is on.
    if (!version.contains("AR488"))
        adapterCommand("++savecfg 0");
    adapterCommand("++mode 1");
    setPrimaryAddress(primary);
    adapterCommand("++auto 0");
    adapterCommand("++eoi 1");
    adapterCommand("++eos 3");
    adapterCommand("++eot_enable 0");
    adapterCommand("++read_tmo_ms " + QByteArray::number(m_timing.gapMs));
    return {};
}

void GpibAdapter::setPrimaryAddress(int primary) { adapterCommand("++addr " + QByteArray::number(primary)); }

// The adapter's own answer: one line ending in CR LF, without it; empty after `ms` without one.
QByteArray GpibAdapter::adapterReply(int ms)
{
    const Stopwatch waited;
    while (!m_link->canReadLine()) {
        const qint64 left = ms - waited.elapsed();
        if (left <= 0 || !waitForBytes(int(left)))
            return {};
    }
    return m_link->readLine().trimmed();
}

void GpibAdapter::adapterCommand(const QByteArray& command) { send(command + '\n'); }

void GpibAdapter::send(const QByteArray& bytes)
{
    if (m_failed)
        return;
    m_link->write(bytes);
    if (auto* port = qobject_cast<QSerialPort*>(m_link.get()))
        port->flush();
    else if (auto* socket = qobject_cast<QTcpSocket*>(m_link.get()))
        socket->flush();
}

// Each answer is read to its end before the next command; bytes still waiting belong to none.
void GpibAdapter::write(const QByteArray& command)
{
    m_aborted = false;
    discardInput();
    m_reading = false;
    send(adapterLine(command));
    m_answerClock.restart();
    m_answerBytes = 0;
}

// Waits for more of the answer, asking the adapter to read whenever it is not reading: at the
// start and after it has been silent longer than its gap. False after the device time-out without
// a byte, past the answer's deadline, when the link goes away, or on abort().
bool GpibAdapter::receive()
{
    const Stopwatch sinceByte;
    const qint64 deadlineMs = qint64(m_timing.pace().allowed(m_answerBytes) * 1000.0);
    for (;;) {
        if (m_link->bytesAvailable() > 0)
            return true;
        if (m_failed || m_aborted || sinceByte.elapsed() >= m_timing.deviceTimeoutMs
            || m_answerClock.elapsed() >= deadlineMs)
            return false;
        if (!m_reading || m_silence.elapsed() >= m_timing.gapMs + kGapMarginMs) {
            adapterCommand("++read eoi");
            m_reading = true;
            m_silence.restart();
        }
        const qint64 untilAsk = m_timing.gapMs + kGapMarginMs - m_silence.elapsed();
        const qint64 untilTimeout =
            qMin(m_timing.deviceTimeoutMs - sinceByte.elapsed(), deadlineMs - m_answerClock.elapsed());
        waitForBytes(int(qMax<qint64>(1, qMin(untilAsk, untilTimeout))));
    }
}

// A text answer ends at the tester's LF, however long it is (up to just past kMaxTextAnswer).
QByteArray GpibAdapter::readText(int /*maxLength: the adapter reads to the LF*/, TransportObserver* debug)
{
    m_aborted = false;
    TextReader reader(kAdapterEnd);
    for (;;) {
        // What has come, never more: a line read of the whole room would allocate it each time
        // (readLine's limit counts a terminating zero).
        const qint64 available = qMin(reader.room(), m_link->bytesAvailable());
        const QByteArray part = available > 0 ? m_link->readLine(available + 1) : QByteArray();
        if (!part.isEmpty())
            m_silence.restart();
        reader.feed(part);
        m_answerBytes = reader.text().size();
        if (reader.done() || !receive())
            break;
    }
    if (reader.complete())
        m_reading = false;
    const QByteArray& answer = reader.text();
    if (debug)
        debug->gpibTextRead(answer, answer.size(), answer);
    return answer;
}

qint64 GpibAdapter::read(char* into, qint64 length)
{
    m_aborted = false;
    m_answerBytes += length;
    qint64 count = 0;
    while (count < length) {
        const qint64 got = m_link->read(into + count, length - count);
        if (got > 0) {
            count += got;
            m_silence.restart();
        } else if (!receive()) {
            break;
        }
    }
    return count;
}

// The line end follows the data at once, and then nothing: the tester's END ends the adapter's
// read, so whatever comes before the line has been quiet for endQuietMs is more than the block.
void GpibAdapter::finishBlock(BlockReader& block)
{
    const int wait = qMin(kLineEndMs, m_timing.deviceTimeoutMs);
    char byte = 0;
    while (block.state() == BlockReader::State::Receiving) {
        if (!waitForBytes(wait) || !m_link->getChar(&byte))
            return block.breakOff();
        m_silence.restart();
        block.feed(QByteArray(1, byte));
    }
    if (block.state() != BlockReader::State::Complete)
        return;
    if (waitForBytes(m_timing.endQuietMs))
        block.feed(m_link->readAll());
    else
        m_reading = false;
}

// A device clear for the tester, and whatever the adapter still had of the old answer dropped.
void GpibAdapter::clear()
{
    adapterCommand("++clr");
    m_reading = false;
    discardInput(kQuietMs);
}

void GpibAdapter::goToLocal() { adapterCommand("++loc"); }

void GpibAdapter::abort()
{
    m_aborted = true;
    m_waiter.abort();
}

// Waits up to `ms` for bytes. False when none came.
bool GpibAdapter::waitForBytes(int ms)
{
    if (m_link->bytesAvailable() > 0)
        return true;
    if (m_failed || m_aborted)
        return false;
    if (m_waiter.wait(ms) == Waiter::End::Aborted)
        m_aborted = true; // by abort(), or by the application leaving its event loops
    return m_link->bytesAvailable() > 0;
}

void GpibAdapter::discardInput(int quietMs)
{
    m_link->readAll();
    while (quietMs > 0 && waitForBytes(quietMs))
        m_link->readAll();
}

} // namespace qlx
