#pragma once
// The two serial receive routines as pure state machines: each poll hands over the bytes that
// arrived since the previous poll and the current time (seconds on a steady clock). The serial
// link (seriallink.h) drives them from the port; tests drive them with scripted chunks and times.

#include "link/linktypes.h"

#include <QByteArrayView>

namespace qlx {

// "##0" formatting of a countdown estimate followed by " s to go ...": a whole number rounded half
// away from zero, with a minus sign whenever the estimate is negative (so -0.3 gives "-0").
QString countdownText(double seconds);

// True while the bytes seen so far can still begin a definite-length block header:
// '#', one digit n from 1 to 9, then n digits (checks only as far as bytes are present). A digit
// count of 0 is the indefinite-length form, whose data would be taken for an empty block.
bool blockHeaderPlausible(QByteArrayView head);

// Value of a run of decimal digits (the length field); the caller checks they are digits.
qint64 digitsValue(QByteArrayView digits);

// The pace of the serial line's answers: 19200 baud 8N1 carries 1920 bytes a second; an answer
// must come at a quarter of that, after a start of 10 s (twice the longest quiet time-out).
inline constexpr AnswerPace kSerialPace{10.0, 480.0};

// Text answer (serial): complete once it is longer than 2 characters and ends in CR LF; the
// 3 s time-out restarts with every poll that brings bytes, once the answer holds a non-space.
// Whatever the bytes do, the answer ends at the serial pace's deadline for what came.
class TextReceiver {
public:
    static constexpr double kTimeout = 3.0;

    explicit TextReceiver(double now) : m_start(now), m_timeoutStart(now) {}
    void pass(const QByteArray& chunk, double now);
    bool complete() const { return m_complete; }
    bool tooLarge() const { return m_answer.size() > kMaxTextAnswer; }
    double deadline() const;
    bool expired(double now) const { return now > deadline(); }
    const QByteArray& answer() const { return m_answer; }

private:
    QByteArray m_answer;
    double m_start;
    double m_timeoutStart;
    bool m_hasNonSpace = false;
    bool m_complete = false;
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

// What a refused block was, in words: "the tester sent 2012 bytes, its listing says 2212".
QString lengthMismatchText(qint64 declared, qint64 listed);
inline const QString kNotABlockText = QStringLiteral("the answer is not a data block");
inline const QString kNoLineEndText = QStringLiteral("the block is not followed by its line end");
inline const QString kTrailingBytesText = QStringLiteral("more bytes follow the block than it announced");

// Data block (serial): the header is parsed as soon as its digits are there; the block is
// complete at the declared length plus CR LF, and only when nothing else came with it; 5 s
// without new characters end it, and so does the serial pace's deadline for the length the
// header announced. With `expectedLength` (the size the listing gave, -1 for none) a header that
// announces another length refuses the block at once.
class DataReceiver {
public:
    enum class State { Receiving, Complete, Malformed, Mismatch, TooLarge };
    static constexpr double kTimeout = 5.0;

    DataReceiver(double now, TransportObserver* observer, qint64 expectedLength = -1)
        : m_expected(expectedLength), m_start(now), m_timeoutStart(now), m_observer(observer)
    {
    }
    // Bytes that arrive after the block was complete refuse it.
    void pass(const QByteArray& chunk, double now);
    State state() const { return m_state; }
    // Why the block was refused; empty while it is not.
    const QString& detail() const { return m_detail; }
    double deadline() const;
    bool expired(double now) const { return now > deadline(); }
    // The `declared` data bytes, once complete.
    QByteArray takeData();

private:
    void parseHeader();
    void checkEnd();
    void refuse(State state, const QString& detail);

    QByteArray m_answer;
    qint64 m_expected;
    qint64 m_declared = 0;
    qsizetype m_lastLength = 0;
    bool m_headerDone = false;
    State m_state = State::Receiving;
    QString m_detail;
    double m_start;
    double m_timeoutStart;
    TransportObserver* m_observer;
};

} // namespace qlx
