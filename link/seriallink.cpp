#include "link/seriallink.h"

#include "link/receivers.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QScopeGuard>
#include <QSerialPort>
#include <QTimer>

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

// One wait of a receive routine: a local event loop that ends when bytes arrive, the timer runs
// out, the port fails, abort() is called, or the application leaves its event loops. Bytes end a
// wait no sooner than kGap after the previous wait ended, so that a line delivering a few bytes
// at a time costs one pass of the receiver (and one update of the window) per gap, not per byte.
class SerialLink::Waiter {
public:
    static constexpr int kGap = 20; // ms

    explicit Waiter(QSerialPort& port) : m_port(port)
    {
        m_timer.setSingleShot(true);
        m_timer.setTimerType(Qt::PreciseTimer);
        m_gapTimer.setSingleShot(true);
        m_sinceWait.start();
        QObject::connect(&m_timer, &QTimer::timeout, &m_loop, [this] { wake(); });
        QObject::connect(&m_gapTimer, &QTimer::timeout, &m_loop, [this] { wake(); });
        QObject::connect(&port, &QIODevice::readyRead, &m_loop, [this] { bytesArrived(); });
        QObject::connect(&port, &QSerialPort::errorOccurred, &m_loop, [this](QSerialPort::SerialPortError e) {
            if (isPortFailure(e)) {
                m_failed = true;
                wake();
            }
        });
    }

    Wake wait(double seconds)
    {
        if (!m_aborted && !m_failed && m_port.bytesAvailable() == 0) {
            m_woken = false;
            const double ms = std::clamp(std::ceil(seconds * 1000.0) + 1.0, 1.0, 1e9);
            m_timer.start(static_cast<int>(ms));
            m_loop.exec();
            m_timer.stop();
            m_gapTimer.stop();
            m_sinceWait.restart();
            if (!m_woken)
                m_aborted = true; // the application is leaving its event loops
        }
        if (m_aborted)
            return Wake::Aborted;
        return m_failed ? Wake::PortFailed : Wake::Progress;
    }

    void abort()
    {
        m_aborted = true;
        m_loop.quit();
    }

private:
    void wake()
    {
        m_woken = true;
        m_loop.quit();
    }

    void bytesArrived()
    {
        const qint64 left = kGap - m_sinceWait.elapsed();
        if (left <= 0)
            wake();
        else if (!m_gapTimer.isActive())
            m_gapTimer.start(int(left));
    }

    QSerialPort& m_port;
    QEventLoop m_loop;
    QTimer m_timer;
    QTimer m_gapTimer;
    QElapsedTimer m_sinceWait; // since the previous wait ended
    bool m_woken = false;
    bool m_failed = false;
    bool m_aborted = false;
};

SerialLink::SerialLink(QSerialPort& port) : m_port(port)
{
    m_clock.start();
    // A failed port is closed (after the current event), or its read notifier would fire without end.
    QObject::connect(&m_port, &QSerialPort::errorOccurred, &m_port, [this](QSerialPort::SerialPortError e) {
        if (isPortFailure(e))
            QMetaObject::invokeMethod(
                &m_port, [this] { m_port.close(); }, Qt::QueuedConnection);
    });
}

void SerialLink::send(const QByteArray& command)
{
    m_port.write(command + '\n');
    m_port.flush();
}

void SerialLink::abort()
{
    if (m_waiter)
        m_waiter->abort();
}

template <typename Receiver, typename Finished>
Outcome SerialLink::run(Receiver& receiver, Finished finished)
{
    Waiter waiter(m_port);
    Waiter* const outer = m_waiter;
    m_waiter = &waiter;
    const auto restore = qScopeGuard([&] { m_waiter = outer; });
    for (;;) {
        const double t = now();
        receiver.pass(m_port.readAll(), t);
        if (const std::optional<Outcome> outcome = finished())
            return *outcome;
        if (receiver.expired(t))
            return Outcome::TimedOut;
        switch (waiter.wait(receiver.deadline() - now())) {
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
    send(command);
    TextReceiver receiver(now());
    const Outcome outcome = run(receiver, [&]() -> std::optional<Outcome> {
        if (receiver.complete())
            return Outcome::Ok;
        if (receiver.tooLarge())
            return Outcome::TooLarge;
        return std::nullopt;
    });
    if (outcome == Outcome::Aborted)
        return {{}, outcome};
    return {receiver.answer(), outcome};
}

DataAnswer SerialLink::queryData(const QByteArray& command, TransportObserver* observer)
{
    send(command);
    DataReceiver receiver(now(), observer);
    const Outcome outcome = run(receiver, [&]() -> std::optional<Outcome> {
        switch (receiver.state()) {
        case DataReceiver::State::Complete:
            return Outcome::Ok;
        case DataReceiver::State::Malformed:
            return Outcome::Malformed;
        case DataReceiver::State::TooLarge:
            return Outcome::TooLarge;
        case DataReceiver::State::Receiving:
            break;
        }
        return std::nullopt;
    });
    if (outcome == Outcome::Malformed || outcome == Outcome::TooLarge)
        discardRest();
    return {outcome == Outcome::Ok ? receiver.takeData() : QByteArray(), outcome};
}

// The rest of a refused answer is still on its way; left in the port, it would be taken for the
// answer to the next command. Reads it away until the line is quiet, abort() or the time-out.
void SerialLink::discardRest()
{
    constexpr double kQuiet = 0.2;
    Waiter waiter(m_port);
    Waiter* const outer = m_waiter;
    m_waiter = &waiter;
    const auto restore = qScopeGuard([&] { m_waiter = outer; });
    const double end = now() + DataReceiver::kTimeout;
    while (m_port.isOpen() && now() < end) {
        m_port.readAll();
        if (waiter.wait(kQuiet) != Wake::Progress || m_port.bytesAvailable() == 0)
            return;
    }
}

} // namespace qlx
