#include "link/wait.h"

#include <QEventLoop>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <optional>

namespace qlx {
namespace {

class SteadyClock : public Clock {
public:
    qint64 now() const override
    {
        using namespace std::chrono;
        return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    }
    bool skip(qint64 /*ms*/) override { return false; }
};

std::atomic<Clock*> g_clock = nullptr;

} // namespace

Clock& clock()
{
    static SteadyClock steady;
    Clock* const replaced = g_clock.load();
    return replaced ? *replaced : steady;
}

void setClock(Clock* clock) { g_clock.store(clock); }

struct Waiter::Frame {
    explicit Frame(Frame* outerFrame) : outer(outerFrame) {}

    QEventLoop loop;
    std::optional<End> end; // what ended the wait, once something did
    Frame* outer;

    void finish(End by)
    {
        if (!end)
            end = by;
        loop.quit();
    }
};

Waiter::End Waiter::wait(qint64 ms)
{
    Frame frame(m_innermost);
    m_innermost = &frame;
    QTimer deadline;
    if (ms >= 0 && clock().skip(ms)) {
        frame.loop.processEvents(); // what was due by then may still have woken it
        frame.finish(End::TimedOut);
    } else {
        if (ms >= 0) {
            deadline.setSingleShot(true);
            deadline.setTimerType(Qt::PreciseTimer);
            QObject::connect(&deadline, &QTimer::timeout, &frame.loop, [&frame] { frame.finish(End::TimedOut); });
            deadline.start(int(std::min<qint64>(ms, INT_MAX)));
        }
        frame.loop.exec();
    }
    m_innermost = frame.outer;
    // Nothing ended the loop: QCoreApplication::exit() ends every loop in progress and lets none
    // run after it. The application is leaving.
    if (frame.end)
        return *frame.end;
    return m_onQuit == OnQuit::Abort ? End::Aborted : End::Quitting;
}

void Waiter::wakeQueued()
{
    QMetaObject::invokeMethod(
        &m_events, [this] { wake(); }, Qt::QueuedConnection);
}

void Waiter::endAll(End end)
{
    for (Frame* frame = m_innermost; frame; frame = frame->outer)
        frame->finish(end);
}

QString connectWithin(QTcpSocket& socket, const QString& host, quint16 port, int ms)
{
    socket.connectToHost(host, port);
    Waiter waiter;
    waiter.wakeOn(&socket, &QTcpSocket::connected);
    waiter.wakeOn(&socket, &QTcpSocket::errorOccurred);
    if (socket.state() != QAbstractSocket::ConnectedState && socket.state() != QAbstractSocket::UnconnectedState)
        waiter.wait(ms);
    if (socket.state() != QAbstractSocket::ConnectedState)
        return socket.error() == QAbstractSocket::UnknownSocketError
                   ? QStringLiteral("no answer within %1 s").arg(ms / 1000.0)
                   : socket.errorString();
    socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    return {};
}

} // namespace qlx
