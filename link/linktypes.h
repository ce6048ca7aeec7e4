#pragma once
// Types shared by the bus transport and its two receive paths.

#include <QByteArray>
#include <QString>

namespace qlx {

enum class Bus { Gpib, Serial };

// Window-side hooks; all optional. The transport never shows dialogs itself.
struct TransportObserver {
    virtual ~TransportObserver() = default;
    // Debug display of a GPIB text read: the whole buffer, the byte count, the answer as cut, and
    // the library call of the exchange that failed, with its status (empty when none did).
    // Called only when debug is on.
    virtual void gpibTextRead(const QByteArray& fullBuffer, long ibcntl, const QByteArray& answer,
                              const QString& failedCall = {})
    {
        Q_UNUSED(fullBuffer)
        Q_UNUSED(ibcntl)
        Q_UNUSED(answer)
        Q_UNUSED(failedCall)
    }
    virtual void serialProgressRange(int max) { Q_UNUSED(max) }          // the block header was parsed
    virtual void serialProgress(int value) { Q_UNUSED(value) }           // bytes received so far
    virtual void serialCountdown(const QString& text) { Q_UNUSED(text) } // "##0 s to go ..." (status on green)
};

enum class Outcome {
    Ok,
    TimedOut,  // serial: no progress within the time-out (or the port failed); the window shows the cable advice
    NotOpen,   // the bus was not opened by a connect; nothing was sent
    Aborted,   // abort() ended the wait; not a cable problem
    Malformed, // the data block is not a well-formed block and nothing else (see DataAnswer::detail)
    Mismatch,  // the block's length is not the size the listing gave for the file
    TooLarge,  // the declared length (or a text answer) exceeds the limits below
    ShortRead, // GPIB: the answer ended or stopped before the announced length
    Busy,      // another exchange is still waiting; nothing was sent
};

// How an exchange ended, in words for a message (Ok: it ended, but nothing came back).
QString outcomeText(Outcome outcome);

struct TextAnswer {
    QByteArray text; // serial TimedOut: what arrived so far
    Outcome outcome;
};

struct DataAnswer {
    QByteArray data; // only with Ok: exactly the block's data (empty data = a valid empty block)
    Outcome outcome;
    QString detail; // what was wrong with the block, in words, when it was refused
};

// How long one answer may take as a whole, however its bytes trickle: a start, then at least
// `minBytesPerSecond` on average. A device that sends a byte now and then (a meter on the wrong
// port, an adapter with no tester behind it) is given up at the deadline, not kept waiting for.
struct AnswerPace {
    double graceSeconds;
    double minBytesPerSecond;
    // The seconds an answer of `bytes` bytes (announced, or received so far) may take.
    double allowed(qint64 bytes) const { return graceSeconds + double(bytes) / minBytesPerSecond; }
};

} // namespace qlx
