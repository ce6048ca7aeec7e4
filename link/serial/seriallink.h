#pragma once
// The two serial receive routines over an open serial port. Each sends its command and then
// waits in a local event loop, woken by arriving bytes or by a timer at the time-out, so the window
// keeps painting and answering while the process sleeps. abort() ends a wait at once.
// A port that fails (device gone, line hung up) ends the wait like a time-out and is closed.

#include "link/linktypes.h"
#include "link/wait.h"

#include <QTimer>

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
    // Writes `command` plus LF at once; reads nothing. Aborted when abort() ended the wait before
    // it, TimedOut when the line could not be brought back in step or is closed.
    Outcome send(const QByteArray& command);
    // Writes `command` plus LF as it is, for a command that has no answer and must go out even
    // when the line is out of step (the last go-to-local).
    void sendUnanswered(const QByteArray& command);

    // The tester's answer to "*IDN?" as it came at connect, line end included: after an answer
    // that went wrong, the line is in step again once this answer to a new "*IDN?" has come.
    void setIdentity(const QByteArray& idnAnswer);
    // A port opened anew: nothing of the previous one is owed or known.
    void reset();

    // Ends the wait in progress: its call returns Aborted without touching the port again.
    void abort();
    // Why the port was closed under the link (the device went away), or empty.
    const QString& portFailure() const { return m_portFailure; }

private:
    enum class Wake { Progress, Aborted, PortFailed };
    static constexpr qint64 kGap = 20; // ms

    // Waits `seconds` for bytes, unless some are there, the port failed or abort() came first.
    Wake wait(double seconds);
    // Polls the receiver until it is done, its time-out passes, the port fails or abort().
    template <typename Receiver, typename Finished>
    Outcome run(Receiver& receiver, Finished finished);
    // Before each command: bytes still waiting belong to no answer of it and are dropped. After an
    // answer that went wrong, the rest of it (or a late answer) may still be on its way: the line
    // is brought back in step first (resynchronise), or, before a tester is known, read until it
    // has been quiet for a while.
    Outcome prepare();
    Outcome resynchronise();
    Outcome drainUntilQuiet();
    // Why a command could not go out on a line that is open but out of step, or closed.
    QString outOfStepText() const;
    double now() const { return clock().now() / 1e3; }

    QSerialPort& m_port;
    Waiter m_waiter;
    QTimer m_gap;           // wakes the wait once bytes have waited for the gap
    qint64 m_waitEnded;     // when the previous wait ended, on clock()
    bool m_aborted = false; // abort() came: every wait ends at once until the next command
    bool m_unsure = false;  // the last answer went wrong: resynchronise before the next command
    QByteArray m_identity;  // the tester's "*IDN?" answer; empty while none is known
    int m_identityOwed = 0; // "*IDN?" sent to resynchronise whose answers have not come yet
    QString m_portFailure;
};

} // namespace qlx
