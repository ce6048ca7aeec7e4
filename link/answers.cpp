#include "link/answers.h"

#include "link/gpibdevice.h"

#include <algorithm>

namespace qlx {

namespace {
bool isDigit(char c) { return c >= '0' && c <= '9'; }
} // namespace

void TextReader::feed(QByteArrayView bytes, bool end)
{
    m_text += bytes;
    m_end = end;
}

bool TextReader::complete() const
{
    if (m_road.endMark)
        return m_end;
    return m_text.size() >= m_road.shortestText && m_text.endsWith(m_road.lfAlone ? "\n" : "\r\n");
}

QString lengthMismatchText(qint64 declared, qint64 listed)
{
    return QStringLiteral("the tester sent %1 bytes, its listing says %2").arg(declared).arg(listed);
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

void BlockReader::refuse(State state, const QString& detail)
{
    m_state = state;
    m_detail = detail;
}

qint64 BlockReader::wanted() const
{
    if (m_declared < 0)
        return (m_header.size() < 2 ? 2 : 2 + (m_header[1] - '0')) - m_header.size();
    return atLineEnd() ? 1 : m_declared - m_data.size();
}

void BlockReader::feed(const QByteArray& bytes, bool end)
{
    if (m_state == State::Complete && !bytes.isEmpty())
        return refuse(State::Malformed, kTrailingBytesText);
    if (m_state != State::Receiving)
        return;
    m_fed += bytes.size();
    qsizetype at = takeHeader(bytes);
    at = takeData(bytes, at);
    at = takeLineEnd(bytes, at, end);
    if (at < bytes.size() && m_state == State::Complete)
        refuse(State::Malformed, kTrailingBytesText);
    if (end)
        breakOff();
}

// The mark and digit count, then the length digits.
qsizetype BlockReader::takeHeader(const QByteArray& bytes)
{
    qsizetype at = 0;
    while (m_declared < 0 && m_state == State::Receiving && at < bytes.size()) {
        const qsizetype take = std::min<qsizetype>(wanted(), bytes.size() - at);
        m_header += QByteArrayView(bytes).sliced(at, take);
        at += take;
        if (!blockHeaderPlausible(m_header))
            refuse(State::Malformed, kNotABlockText);
        else if (m_header.size() > 2 && wanted() == 0)
            readLength();
    }
    return at;
}

// The length is judged as soon as its digits are there.
void BlockReader::readLength()
{
    const qint64 declared = digitsValue(QByteArrayView(m_header).sliced(2));
    if (declared > kMaxBlockLength)
        refuse(State::TooLarge, QStringLiteral("the block announces %1 bytes").arg(declared));
    else if (m_expected >= 0 && declared != m_expected)
        refuse(State::Mismatch, lengthMismatchText(declared, m_expected));
    else
        m_declared = declared;
}

// The data in one piece where it came as one (a read of exactly the announced size is not copied).
qsizetype BlockReader::takeData(const QByteArray& bytes, qsizetype at)
{
    if (m_state != State::Receiving || m_declared < 0 || atLineEnd())
        return at;
    const qsizetype take = std::min<qint64>(m_declared - m_data.size(), bytes.size() - at);
    if (take == bytes.size())
        m_data += bytes;
    else
        m_data += QByteArrayView(bytes).sliced(at, take);
    return at + take;
}

// A byte at a time: LF (where it ends a line alone) or CR LF; on a road with END, the last byte
// carries it.
qsizetype BlockReader::takeLineEnd(const QByteArray& bytes, qsizetype at, bool end)
{
    while (m_state == State::Receiving && atLineEnd() && at < bytes.size()) {
        m_lineEnd += bytes[at++];
        const bool ends = m_lineEnd == "\r\n" || (m_road.lfAlone && m_lineEnd == "\n");
        if (ends && (!m_road.endMark || (end && at == bytes.size())))
            m_state = State::Complete;
        else if (ends || m_lineEnd != "\r")
            refuse(State::Malformed, kNoLineEndText);
    }
    return at;
}

void BlockReader::breakOff()
{
    if (m_state != State::Receiving)
        return;
    const auto brokeOff = [this](const QString& where) {
        refuse(State::BrokenOff, QStringLiteral("the answer broke off %1").arg(where));
    };
    if (m_header.size() < 2)
        brokeOff(QStringLiteral("before a data block began"));
    else if (m_declared < 0)
        brokeOff(QStringLiteral("in the block header"));
    else if (!atLineEnd())
        brokeOff(QStringLiteral("before the %1 bytes it announced").arg(m_declared));
    else
        refuse(State::Malformed, kNoLineEndText);
}

std::optional<Outcome> BlockReader::verdict() const
{
    switch (m_state) {
    case State::Receiving:
        return std::nullopt;
    case State::Complete:
        return Outcome::Ok;
    case State::Malformed:
        return Outcome::Malformed;
    case State::Mismatch:
        return Outcome::Mismatch;
    case State::TooLarge:
        return Outcome::TooLarge;
    case State::BrokenOff:
        return Outcome::ShortRead;
    }
    return std::nullopt;
}

QByteArray BlockReader::takeData()
{
    if (m_state != State::Complete)
        return {};
    return std::move(m_data);
}

// The default reads of a device on a road with END: a text answer in pieces of `maxLength` bytes
// until END, and a block's line end a byte at a time.
QByteArray GpibDevice::readText(int maxLength, TransportObserver* debug)
{
    const qsizetype piece = qMax(1, maxLength);
    TextReader reader(answerEnd());
    for (;;) {
        QByteArray bytes(piece, '\0');
        const qint64 got = read(bytes.data(), piece);
        bytes.truncate(got);
        reader.feed(bytes, endSeen());
        if (reader.done() || got < piece)
            break;
    }
    const QByteArray& answer = reader.text();
    if (debug)
        debug->gpibTextRead(answer, answer.size(), answer);
    return answer;
}

void GpibDevice::finishBlock(BlockReader& block)
{
    char byte = 0;
    while (block.state() == BlockReader::State::Receiving) {
        if (read(&byte, 1) != 1)
            return block.breakOff();
        block.feed(QByteArray(1, byte), endSeen());
    }
}

} // namespace qlx
