#pragma once
// The two serial receive routines over an open serial port. Each sends its command and then
// waits in a local event loop, woken by arriving bytes or by a timer at the time-out, so the window
// keeps painting and answering while the process sleeps. abort() ends a wait at once.
// A port that fails (device gone, line hung up) ends the wait like a time-out and is closed.

#include "link/linktypes.h"

#include <QElapsedTimer>

class QSerialPort;

namespace qlx {

class SerialLink {
public:
    explicit SerialLink(QSerialPort& port);

    // Sends `command` plus LF; the answer ends in CR LF, or the wait ends after 3 s without
    // progress (TimedOut, with what arrived).
    TextAnswer queryText(const QByteArray& command);
    // Sends `command` plus LF and receives a definite-length block; TimedOut after 5 s without
    // new bytes. Progress and countdown go to the observer. The block counts only when nothing
    // follows its line end for a moment, and, with `expectedLength` >= 0, when it has that length.
    DataAnswer queryData(const QByteArray& command, TransportObserver* observer, qint64 expectedLength = -1);
    // Writes `command` plus LF at once; reads nothing. False when abort() ended the wait before it.
    bool send(const QByteArray& command);

    // Ends the wait in progress: its call returns Aborted without touching the port again.
    void abort();

private:
    enum class Wake { Progress, Aborted, PortFailed };
    class Waiter;

    // Polls the receiver until it is done, its time-out passes, the port fails or abort().
    template <typename Receiver, typename Finished>
    Outcome run(Receiver& receiver, Finished finished);
    // Before each command: bytes still waiting belong to no answer of it and are dropped. After an
    // answer that went wrong, the rest of it (or a late answer) may still be on its way: the line
    // is read until it has been quiet for a while. False when abort() ended that wait.
    bool prepare();
    bool drainUntilQuiet();
    double now() const { return m_clock.nsecsElapsed() / 1e9; }

    QSerialPort& m_port;
    QElapsedTimer m_clock;
    Waiter* m_waiter = nullptr; // the innermost wait in progress
    bool m_unsure = false;      // the last answer went wrong: resynchronise before the next command
};

} // namespace qlx
