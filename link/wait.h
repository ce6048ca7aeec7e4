#pragma once
// How every road to the tester waits: in a local event loop, so that the window keeps painting and
// answering while the process sleeps, until something the road connected wakes it (bytes, a
// failure, a worker's call ending), a deadline passes, abort() is called, or the application leaves
// its event loops. Time comes from one clock, which tests and fuzz targets may replace by one that
// lets a wait's time pass at once. Also the one TCP connect with a time-out.

#include <QObject>
#include <QString>

class QTcpSocket;

namespace qlx {

// Milliseconds on a steady clock.
class Clock {
public:
    virtual ~Clock() = default;
    virtual qint64 now() const = 0;
    // Moves the clock on by `ms` at once and returns true, where it can; the real clock cannot,
    // and a wait on it lets the time pass.
    virtual bool skip(qint64 ms) = 0;
};

// The clock that every wait and every measure of the roads' time reads: the real one, unless a
// test or fuzz target put another in place (null: the real one again). Set it before any wait.
Clock& clock();
void setClock(Clock* clock);

// A clock that stands still but for the waits, whose time passes at once.
class SteppingClock : public Clock {
public:
    qint64 now() const override { return m_now; }
    bool skip(qint64 ms) override
    {
        m_now += ms;
        return true;
    }

private:
    qint64 m_now = 0;
};

// Milliseconds since it was made or restarted, on clock().
class Stopwatch {
public:
    Stopwatch() : m_start(clock().now()) {}
    void restart() { m_start = clock().now(); }
    qint64 elapsed() const { return clock().now() - m_start; }

private:
    qint64 m_start;
};

// The waits of one road. A wait begun while another is in progress (an event it handles starts
// one) ends first; wake() and abort() end every wait in progress, and none that begins later:
// the road keeps its own note of an abort, for as long as its rules say.
class Waiter {
public:
    enum class End { Woken, TimedOut, Aborted, Quitting };
    // A wait that the application's leaving its event loops ends returns Aborted, or Quitting for
    // a road that goes on without the loop.
    enum class OnQuit { Abort, Report };

    explicit Waiter(OnQuit onQuit = OnQuit::Abort) : m_onQuit(onQuit) {}
    Waiter(const Waiter&) = delete;
    Waiter& operator=(const Waiter&) = delete;

    // Waits until wake(), abort(), the application's leaving or `ms` milliseconds (no limit when
    // negative). An application that is leaving its loops runs none: the wait ends at once.
    End wait(qint64 ms);
    void wake() { endAll(End::Woken); }
    // wake() from any thread: the waits end once this thread handles its events.
    void wakeQueued();
    void abort() { endAll(End::Aborted); }

    // Each `signal` of `sender` wakes the waits in progress, for as long as this waiter lives.
    template <typename Sender, typename Signal>
    void wakeOn(const Sender* sender, Signal signal)
    {
        QObject::connect(sender, signal, &m_events, [this] { wake(); });
    }

private:
    struct Frame;
    void endAll(End end);

    OnQuit m_onQuit;
    Frame* m_innermost = nullptr;
    QObject m_events; // receives wakeQueued() on the waiting thread
};

// Connects `socket` to `host`:`port`, waiting up to `ms` in a local event loop, with low delay
// set once connected. Empty on success, else why not.
QString connectWithin(QTcpSocket& socket, const QString& host, quint16 port, int ms);

} // namespace qlx
