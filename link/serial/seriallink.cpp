#include "link/serial/seriallink.h"

#include "link/serial/receivers.h"

#include <QSerialPort>

#include <algorithm>
#include <cmath>
#include <optional>

namespace qlx {

namespace {
// A vanished device or a hung-up line: the port delivers nothing any more.
bool isPortFailure(QSerialPort::SerialPortError e)
{
    return e == QSerialPort::ResourceError || e == QSerialPort::ReadError;
}
} // namespace

SerialLink::SerialLink(QSerialPort& port) : m_port(port), m_waitEnded(clock().now())
{
    // A failed port is closed (after the current event), or its read notifier would fire without end.
    QObject::connect(&m_port, &QSerialPort::errorOccurred, &m_port, [this](QSerialPort::SerialPortError e) {
        if (!isPortFailure(e))
            return;
        m_portFailure = m_port.errorString();
        QMetaObject::invokeMethod(
            &m_port, [this] { m_port.close(); }, Qt::QueuedConnection);
        m_waiter.wake();
    });
    // Bytes end a wait no sooner than kGap after the previous wait ended, so that a line delivering
    // a few bytes at a time costs one pass of the receiver (and one update of the window) per gap,
    // not per byte.
    m_gap.setSingleShot(true);
    QObject::connect(&m_gap, &QTimer::timeout, &m_gap, [this] { m_waiter.wake(); });
    QObject::connect(&m_port, &QIODevice::readyRead, &m_port, [this] {
        const qint64 left = kGap - (clock().now() - m_waitEnded);
        if (left <= 0)
            m_waiter.wake();
        else if (!m_gap.isActive())
            m_gap.start(int(std::min(left, kGap)));
    });
}

Outcome SerialLink::send(const QByteArray& command)
{
    m_aborted = false;
    const Outcome ready = prepare();
    if (ready == Outcome::Ok)
        sendUnanswered(command);
    return ready;
}

void SerialLink::sendUnanswered(const QByteArray& command)
{
    if (!m_port.isOpen())
        return;
    m_port.write(command + '\n');
    m_port.flush();
}

void SerialLink::setIdentity(const QByteArray& idnAnswer)
{
    m_identity = idnAnswer;
    m_identityOwed = 0;
}

void SerialLink::reset()
{
    setIdentity({});
    m_unsure = false;
    m_portFailure.clear();
}

void SerialLink::abort()
{
    m_aborted = true;
    m_waiter.abort();
}

SerialLink::Wake SerialLink::wait(double seconds)
{
    if (!m_aborted && m_portFailure.isEmpty() && m_port.bytesAvailable() == 0) {
        const double ms = std::clamp(std::ceil(seconds * 1000.0) + 1.0, 1.0, 1e9);
        if (m_waiter.wait(qint64(ms)) == Waiter::End::Aborted)
            m_aborted = true;
        m_gap.stop();
        m_waitEnded = clock().now();
    }
    if (m_aborted)
        return Wake::Aborted;
    return m_portFailure.isEmpty() ? Wake::Progress : Wake::PortFailed;
}

template <typename Receiver, typename Finished>
Outcome SerialLink::run(Receiver& receiver, Finished finished)
{
    for (;;) {
        const double t = now();
        receiver.pass(m_port.readAll(), t);
        if (const std::optional<Outcome> outcome = finished())
            return *outcome;
        if (receiver.expired(t))
            return Outcome::TimedOut;
        switch (wait(receiver.deadline() - now())) {
        case Wake::Aborted:
            return Outcome::Aborted;
        case Wake::PortFailed:
            return Outcome::TimedOut;
        case Wake::Progress:
            break;
        }
    }
}

TextAnswer SerialLink::queryText(const QByteArray& command)
{
    if (const Outcome ready = send(command); ready != Outcome::Ok)
        return {{}, ready};
    TextReceiver receiver(now());
    const Outcome outcome = run(receiver, [&]() -> std::optional<Outcome> {
        if (receiver.complete())
            return Outcome::Ok;
        if (receiver.tooLarge())
            return Outcome::TooLarge;
        return std::nullopt;
    });
    m_unsure = outcome != Outcome::Ok;
    if (outcome == Outcome::Aborted)
        return {{}, outcome};
    return {receiver.answer(), outcome};
}

DataAnswer SerialLink::queryData(const QByteArray& command, TransportObserver* observer, qint64 expectedLength)
{
    constexpr double kEndQuiet = 0.1; // at 19200 baud a byte follows every 0.5 ms
    if (const Outcome ready = send(command); ready != Outcome::Ok)
        return {{}, ready, ready == Outcome::Aborted ? QString() : outOfStepText()};
    DataReceiver receiver(now(), observer, expectedLength);
    Outcome outcome = run(receiver, [&] { return receiver.verdict(); });
    if (outcome == Outcome::Ok) {
        // The block is the whole answer only when nothing follows it.
        if (wait(kEndQuiet) == Wake::Aborted)
            outcome = Outcome::Aborted;
        else if (receiver.pass(m_port.readAll(), now()); receiver.state() != DataReceiver::State::Complete)
            outcome = Outcome::Malformed;
    }
    m_unsure = outcome != Outcome::Ok;
    const QString detail =
        receiver.detail().isEmpty() && !m_portFailure.isEmpty() ? outOfStepText() : receiver.detail();
    return {outcome == Outcome::Ok ? receiver.takeData() : QByteArray(), outcome, detail};
}

Outcome SerialLink::prepare()
{
    if (!m_port.isOpen())
        return Outcome::TimedOut;
    if (!m_unsure) {
        m_port.clear(QSerialPort::Input);
        m_port.readAll();
        return Outcome::Ok;
    }
    const Outcome outcome = m_identity.isEmpty() ? drainUntilQuiet() : resynchronise();
    m_unsure = outcome != Outcome::Ok;
    return outcome;
}

// Asks "*IDN?" and reads the line away up to its answer: the tester answers in order, so whatever
// it still owed (a late answer, the rest of a refused one) comes first. A resynchronisation that
// did not end in time leaves its "*IDN?" owed, and the next one waits for that answer too.
Outcome SerialLink::resynchronise()
{
    sendUnanswered(QByteArrayLiteral("*IDN?"));
    ResyncReceiver receiver(now(), m_identity, ++m_identityOwed);
    const Outcome outcome = run(receiver, [&]() -> std::optional<Outcome> {
        if (receiver.owed() == 0)
            return Outcome::Ok;
        if (!m_port.isOpen())
            return Outcome::TimedOut;
        return std::nullopt;
    });
    m_identityOwed = receiver.owed();
    return outcome;
}

// Reads the line away until nothing has come for a second, at most for twice the block time-out.
Outcome SerialLink::drainUntilQuiet()
{
    constexpr double kQuiet = 1.0;
    const double end = now() + 2 * DataReceiver::kTimeout;
    while (m_port.isOpen() && now() < end) {
        m_port.readAll();
        switch (wait(std::min(kQuiet, end - now()))) {
        case Wake::Aborted:
            return Outcome::Aborted;
        case Wake::PortFailed:
            return Outcome::Ok;
        case Wake::Progress:
            if (m_port.bytesAvailable() == 0)
                return Outcome::Ok;
        }
    }
    return Outcome::Ok;
}

QString SerialLink::outOfStepText() const
{
    if (!m_port.isOpen() || !m_portFailure.isEmpty())
        return m_portFailure.isEmpty() ? QStringLiteral("the serial port is closed")
                                       : QStringLiteral("the serial port failed: %1").arg(m_portFailure);
    return QStringLiteral("the tester did not answer \"*IDN?\" in step after an answer that went wrong");
}

} // namespace qlx
