#include "link/serial/receivers.h"

#include <algorithm>
#include <cmath>

namespace qlx {

QString countdownText(double seconds)
{
    const double rounded = std::round(std::clamp(seconds, -1e15, 1e15));
    const QString number = QString::number(static_cast<qint64>(std::fabs(rounded)));
    return (seconds < 0 ? QStringLiteral("-") : QString()) + number + QStringLiteral(" s to go ...");
}

void TextReceiver::pass(const QByteArray& chunk, double now)
{
    if (chunk.isEmpty())
        return;
    m_reader.feed(chunk);
    if (!m_hasNonSpace)
        m_hasNonSpace = chunk.count(' ') != chunk.size();
    if (m_hasNonSpace)
        m_timeoutStart = now;
}

double TextReceiver::deadline() const
{
    return std::min(m_timeoutStart + kTimeout, m_start + kSerialPace.allowed(answer().size()));
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

double DataReceiver::deadline() const
{
    // Header, data and line end, once the header has told how long the block is.
    const qint64 whole = m_block.declared() >= 0 ? 13 + m_block.declared() : m_block.received();
    return std::min(m_timeoutStart + kTimeout, m_start + kSerialPace.allowed(whole));
}

void DataReceiver::pass(const QByteArray& chunk, double now)
{
    if (m_block.state() != State::Receiving)
        return m_block.feed(chunk); // bytes after the end refuse the block
    const bool lengthKnown = m_block.declared() >= 0;
    m_block.feed(chunk);
    const qint64 declared = m_block.declared();
    if (declared < 0 && m_block.state() != State::Receiving)
        return; // refused at its header
    if (!lengthKnown && declared >= 0 && m_observer)
        m_observer->serialProgressRange(static_cast<int>(declared));
    const qint64 length = m_block.received();
    if (length != m_lastLength) {
        const double left = double(std::max<qint64>(declared, 0) - length);
        const double estimate = length > 0 ? (now - m_start) * left / double(length) : 0.0;
        if (m_observer)
            m_observer->serialCountdown(countdownText(estimate));
        m_timeoutStart = now;
    }
    m_lastLength = length;
    if (declared > length && m_observer)
        m_observer->serialProgress(static_cast<int>(length));
}

} // namespace qlx
