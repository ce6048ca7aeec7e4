#include "link/serial/receivers.h"

#include <algorithm>
#include <cmath>

namespace qlx {

namespace {
bool isDigit(char c) { return c >= '0' && c <= '9'; }
} // namespace

QString countdownText(double seconds)
{
    const double rounded = std::round(std::clamp(seconds, -1e15, 1e15));
    const QString number = QString::number(static_cast<qint64>(std::fabs(rounded)));
    return (seconds < 0 ? QStringLiteral("-") : QString()) + number + QStringLiteral(" s to go ...");
}

bool blockHeaderPlausible(QByteArrayView head)
{
    if (head.isEmpty())
        return true;
    if (head[0] != '#')
        return false;
    if (head.size() < 2)
        return true;
    if (!isDigit(head[1]) || head[1] == '0') // "#0" starts an indefinite-length block
        return false;
    const qsizetype end = std::min<qsizetype>(head.size(), 2 + (head[1] - '0'));
    for (qsizetype i = 2; i < end; ++i)
        if (!isDigit(head[i]))
            return false;
    return true;
}

qint64 digitsValue(QByteArrayView digits)
{
    qint64 value = 0;
    for (char c : digits)
        value = value * 10 + (c - '0');
    return value;
}

void TextReceiver::pass(const QByteArray& chunk, double now)
{
    if (chunk.isEmpty())
        return;
    m_answer += chunk;
    if (!m_hasNonSpace)
        m_hasNonSpace = chunk.count(' ') != chunk.size();
    if (!m_hasNonSpace)
        return;
    m_timeoutStart = now;
    m_complete = m_answer.size() > 2 && m_answer.endsWith("\r\n");
}

double TextReceiver::deadline() const
{
    return std::min(m_timeoutStart + kTimeout, m_start + kSerialPace.allowed(m_answer.size()));
}

void ResyncReceiver::pass(const QByteArray& chunk, double now)
{
    if (chunk.isEmpty() || m_owed == 0)
        return;
    m_lastByte = now;
    m_received += chunk.size();
    m_tail += chunk;
    for (qsizetype at = m_tail.indexOf(m_identity); at >= 0 && m_owed > 0; at = m_tail.indexOf(m_identity)) {
        m_tail.remove(0, at + m_identity.size());
        --m_owed;
    }
    m_tail = m_tail.right(m_identity.size() - 1);
}

double ResyncReceiver::deadline() const
{
    return std::min(m_lastByte + DataReceiver::kTimeout, m_start + kSerialPace.allowed(m_received));
}

QString lengthMismatchText(qint64 declared, qint64 listed)
{
    return QStringLiteral("the tester sent %1 bytes, its listing says %2").arg(declared).arg(listed);
}

void DataReceiver::refuse(State state, const QString& detail)
{
    m_state = state;
    m_detail = detail;
}

void DataReceiver::parseHeader()
{
    const int n = m_answer[1] - '0';
    const qint64 declared = digitsValue(QByteArrayView(m_answer).sliced(2, n));
    m_answer.remove(0, 2 + n);
    m_headerDone = true;
    if (declared > kMaxBlockLength)
        return refuse(State::TooLarge, QStringLiteral("the block announces %1 bytes").arg(declared));
    if (m_expected >= 0 && declared != m_expected)
        return refuse(State::Mismatch, lengthMismatchText(declared, m_expected));
    m_declared = declared;
    if (m_observer)
        m_observer->serialProgressRange(static_cast<int>(declared));
}

// Complete at exactly the data and CR LF; a wrong line end or more bytes refuse the block.
void DataReceiver::checkEnd()
{
    if (m_answer.size() < m_declared + 2)
        return;
    if (QByteArrayView(m_answer).sliced(m_declared, 2) != "\r\n")
        refuse(State::Malformed, kNoLineEndText);
    else if (m_answer.size() > m_declared + 2)
        refuse(State::Malformed, kTrailingBytesText);
    else
        m_state = State::Complete;
}

double DataReceiver::deadline() const
{
    // Header, data and line end, once the header has told how long the block is.
    const qint64 whole = m_headerDone ? 13 + m_declared : m_answer.size();
    return std::min(m_timeoutStart + kTimeout, m_start + kSerialPace.allowed(whole));
}

void DataReceiver::pass(const QByteArray& chunk, double now)
{
    if (m_state == State::Complete && !chunk.isEmpty())
        return refuse(State::Malformed, kTrailingBytesText);
    if (m_state != State::Receiving)
        return;
    m_answer += chunk;
    if (!m_headerDone) {
        if (!blockHeaderPlausible(m_answer))
            return refuse(State::Malformed, kNotABlockText);
        if (m_answer.size() >= 2 && m_answer.size() >= 2 + (m_answer[1] - '0'))
            parseHeader();
        if (m_state != State::Receiving)
            return;
    }
    const qsizetype length = m_answer.size();
    if (length != m_lastLength) {
        const double estimate = length > 0 ? (now - m_start) * double(m_declared - length) / double(length) : 0.0;
        if (m_observer)
            m_observer->serialCountdown(countdownText(estimate));
        m_timeoutStart = now;
    }
    m_lastLength = length;
    if (m_headerDone && m_declared > length && m_observer)
        m_observer->serialProgress(static_cast<int>(length));
    if (m_headerDone)
        checkEnd();
}

QByteArray DataReceiver::takeData()
{
    if (m_state != State::Complete)
        return {};
    m_answer.truncate(m_declared);
    return std::move(m_answer);
}

} // namespace qlx
