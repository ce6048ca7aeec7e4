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

// Text answer (serial): complete once it is longer than 2 characters and ends in CR LF; the
// 3 s time-out restarts with every poll that brings bytes, once the answer holds a non-space.
class TextReceiver {
public:
    static constexpr double kTimeout = 3.0;

    explicit TextReceiver(double now) : m_timeoutStart(now) {}
    void pass(const QByteArray& chunk, double now);
    bool complete() const { return m_complete; }
    bool tooLarge() const { return m_answer.size() > kMaxTextAnswer; }
    double deadline() const { return m_timeoutStart + kTimeout; }
    bool expired(double now) const { return now > deadline(); }
    const QByteArray& answer() const { return m_answer; }

private:
    QByteArray m_answer;
    double m_timeoutStart;
    bool m_hasNonSpace = false;
    bool m_complete = false;
};

// Data block (serial): the header is parsed once 21 characters are there; the block is complete
// at the declared length plus the two terminator characters; 5 s without new characters end it.
class DataReceiver {
public:
    enum class State { Receiving, Complete, Malformed, TooLarge };
    static constexpr double kTimeout = 5.0;
    static constexpr int kHeaderWindow = 21;

    DataReceiver(double now, TransportObserver* observer) : m_start(now), m_timeoutStart(now), m_observer(observer) {}
    void pass(const QByteArray& chunk, double now);
    State state() const { return m_state; }
    double deadline() const { return m_timeoutStart + kTimeout; }
    bool expired(double now) const { return now > deadline(); }
    // The first `declared` bytes, once complete.
    QByteArray takeData();

private:
    bool parseHeader();

    QByteArray m_answer;
    qint64 m_declared = 0;
    qsizetype m_lastLength = 0;
    bool m_headerDone = false;
    State m_state = State::Receiving;
    double m_start;
    double m_timeoutStart;
    TransportObserver* m_observer;
};

} // namespace qlx
