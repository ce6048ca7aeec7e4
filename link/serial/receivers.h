#pragma once
// The two serial receive routines as pure state machines: each poll hands over the bytes that
// arrived since the previous poll and the current time (seconds on a steady clock). The serial
// link (seriallink.h) drives them from the port; tests drive them with scripted chunks and times.

#include "link/answers.h"

namespace qlx {

// "##0" formatting of a countdown estimate followed by " s to go ...": a whole number rounded half
// away from zero, with a minus sign whenever the estimate is negative (so -0.3 gives "-0").
QString countdownText(double seconds);

// The pace of the serial line's answers: 19200 baud 8N1 carries 1920 bytes a second; an answer
// must come at a quarter of that, after a start of 10 s (twice the longest quiet time-out).
inline constexpr AnswerPace kSerialPace{10.0, 480.0};

// Text answer (serial): read whole by the serial line's rule (kSerialEnd: complete once it is
// longer than 2 characters and ends in CR LF); the 3 s time-out restarts with every poll that
// brings bytes, once the answer holds a non-space.
// Whatever the bytes do, the answer ends at the serial pace's deadline for what came.
class TextReceiver {
public:
    static constexpr double kTimeout = 3.0;

    explicit TextReceiver(double now) : m_start(now), m_timeoutStart(now) {}
    void pass(const QByteArray& chunk, double now);
    bool complete() const { return m_reader.complete(); }
    bool tooLarge() const { return m_reader.tooLarge(); }
    double deadline() const;
    bool expired(double now) const { return now > deadline(); }
    const QByteArray& answer() const { return m_reader.text(); }

private:
    TextReader m_reader{kSerialEnd};
    double m_start;
    double m_timeoutStart;
    bool m_hasNonSpace = false;
};

// The way back in step (serial): after an answer that went wrong, "*IDN?" is asked, and the
// answers to the `owed` "*IDN?" asked so far (each exactly `identity`) are looked for in what
// arrives; everything before and between them is dropped. In step once none is owed. Ends like a
// block: 5 s without a byte, or the serial pace's deadline for what came.
class ResyncReceiver {
public:
    ResyncReceiver(double now, const QByteArray& identity, int owed)
        : m_identity(identity), m_owed(owed), m_start(now), m_lastByte(now)
    {
    }
    void pass(const QByteArray& chunk, double now);
    int owed() const { return m_owed; }
    double deadline() const;
    bool expired(double now) const { return now > deadline(); }

private:
    QByteArray m_identity;
    QByteArray m_tail; // what came since the last answer found, as long as one answer may straddle polls
    qint64 m_received = 0;
    int m_owed;
    double m_start;
    double m_lastByte;
};

// Data block (serial): read and proven by the serial line's rule (kSerialEnd: the data, then
// exactly CR LF and nothing else; BlockReader); the header's length goes to the observer as soon
// as its digits are there, and progress and countdown with every poll. 5 s without new
// characters end it, and so does the serial pace's deadline for the length the header announced.
// With `expectedLength` (the size the listing gave, -1 for none) a header that announces another
// length refuses the block at once.
class DataReceiver {
public:
    using State = BlockReader::State;
    static constexpr double kTimeout = 5.0;

    DataReceiver(double now, TransportObserver* observer, qint64 expectedLength = -1)
        : m_block(kSerialEnd, expectedLength), m_start(now), m_timeoutStart(now), m_observer(observer)
    {
    }
    // Bytes that arrive after the block was complete refuse it.
    void pass(const QByteArray& chunk, double now);
    State state() const { return m_block.state(); }
    std::optional<Outcome> verdict() const { return m_block.verdict(); }
    // Why the block was refused; empty while it is not.
    const QString& detail() const { return m_block.detail(); }
    double deadline() const;
    bool expired(double now) const { return now > deadline(); }
    // The `declared` data bytes, once complete.
    QByteArray takeData() { return m_block.takeData(); }

private:
    BlockReader m_block;
    qint64 m_lastLength = 0;
    double m_start;
    double m_timeoutStart;
    TransportObserver* m_observer;
};

} // namespace qlx
