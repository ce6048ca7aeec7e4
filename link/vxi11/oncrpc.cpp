#include "link/vxi11/oncrpc.h"

#include <QtEndian>

namespace qlx::rpc {
namespace {

constexpr quint32 kRpcVersion = 2;
constexpr quint32 kCall = 0;
constexpr quint32 kReply = 1;
constexpr quint32 kAccepted = 0;
constexpr quint32 kAuthNone = 0;
constexpr quint32 kMaxAuthBody = 400; // an authenticator's body is at most this long
constexpr quint32 kLastFragment = 0x80000000u;

QString acceptText(quint32 status, XdrReader& reader)
{
    switch (status) {
    case 1:
        return QStringLiteral("the program is not available there");
    case 2: {
        const quint32 low = reader.u32();
        const quint32 high = reader.u32();
        return QStringLiteral("the program's version is not served (only %1 to %2)").arg(low).arg(high);
    }
    case 3:
        return QStringLiteral("the procedure is not served");
    case 4:
        return QStringLiteral("the call's arguments were not understood");
    case 5:
        return QStringLiteral("the server failed");
    }
    return QStringLiteral("unknown accept status %1").arg(status);
}

} // namespace

XdrWriter& XdrWriter::u32(quint32 value)
{
    char word[4];
    qToBigEndian(value, word);
    m_bytes.append(word, 4);
    return *this;
}

XdrWriter& XdrWriter::opaque(const QByteArray& data)
{
    u32(quint32(data.size()));
    m_bytes += data;
    m_bytes.append((4 - data.size() % 4) % 4, '\0');
    return *this;
}

quint32 XdrReader::u32()
{
    if (!m_ok || m_bytes.size() - m_pos < 4) {
        m_ok = false;
        return 0;
    }
    const quint32 value = qFromBigEndian<quint32>(m_bytes.constData() + m_pos);
    m_pos += 4;
    return value;
}

QByteArray XdrReader::opaque(quint32 maxLength)
{
    const quint32 length = u32();
    const qint64 padded = (qint64(length) + 3) / 4 * 4;
    if (!m_ok || length > maxLength || m_bytes.size() - m_pos < padded) {
        m_ok = false;
        return {};
    }
    const QByteArray data = m_bytes.mid(m_pos, length);
    m_pos += padded;
    return data;
}

QByteArray recordOf(const QByteArray& message)
{
    char mark[4];
    qToBigEndian(kLastFragment | quint32(message.size()), mark);
    return QByteArray(mark, 4) + message;
}

std::optional<QByteArray> RecordReader::next()
{
    while (!m_failed && m_buffer.size() >= 4) {
        const quint32 mark = qFromBigEndian<quint32>(m_buffer.constData());
        const quint32 length = mark & ~kLastFragment;
        if (qint64(m_record.size()) + length > kMaxRecord) {
            m_failed = true;
            break;
        }
        if (m_buffer.size() - 4 < qsizetype(length))
            break;
        m_record += m_buffer.mid(4, length);
        m_buffer.remove(0, 4 + length);
        if (mark & kLastFragment) {
            QByteArray record;
            record.swap(m_record);
            return record;
        }
    }
    return std::nullopt;
}

QByteArray callMessage(quint32 xid, quint32 program, quint32 version, quint32 procedure, const QByteArray& arguments)
{
    XdrWriter w;
    w.u32(xid).u32(kCall).u32(kRpcVersion).u32(program).u32(version).u32(procedure);
    w.u32(kAuthNone).u32(0).u32(kAuthNone).u32(0); // credentials and verifier: none
    return w.bytes() + arguments;
}

std::optional<Reply> decodeReply(const QByteArray& message)
{
    XdrReader r(message);
    Reply reply;
    reply.xid = r.u32();
    if (r.u32() != kReply || !r.ok())
        return std::nullopt;
    const quint32 state = r.u32();
    if (state == kAccepted) {
        r.u32();                // verifier flavour
        r.opaque(kMaxAuthBody); // and body
        const quint32 status = r.u32();
        if (status == 0 && r.ok()) {
            reply.results = r.rest();
            return reply;
        }
        reply.error = acceptText(status, r);
    } else {
        reply.error = r.u32() == 0 ? QStringLiteral("the RPC version was refused")
                                   : QStringLiteral("the call was refused for its credentials");
    }
    if (!r.ok())
        return std::nullopt;
    return reply;
}

QByteArray getPortArguments(quint32 program, quint32 version, quint32 protocol)
{
    return XdrWriter().u32(program).u32(version).u32(protocol).u32(0).bytes();
}

std::optional<quint16> decodePort(const QByteArray& results)
{
    XdrReader r(results);
    const quint32 port = r.u32();
    if (!r.ok() || port > 65535)
        return std::nullopt;
    return quint16(port);
}

quint16 portmapperPort()
{
    bool ok = false;
    const uint port = qEnvironmentVariable("QLXCOPY_PORTMAPPER_PORT").toUInt(&ok);
    return ok && port >= 1 && port <= 65535 ? quint16(port) : kPortmapperPort;
}

} // namespace qlx::rpc
