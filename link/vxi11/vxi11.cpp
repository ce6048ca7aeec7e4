#include "link/vxi11/vxi11.h"

#include "link/vxi11/oncrpc.h"

namespace qlx::vxi11 {

using rpc::XdrReader;
using rpc::XdrWriter;

namespace {

constexpr quint32 kNoLockTimeout = 0;
constexpr quint32 kNoFlags = 0;

} // namespace

QByteArray createLinkArguments(qint32 clientId, const QByteArray& device)
{
    return XdrWriter().i32(clientId).u32(0 /* lockDevice: false */).u32(kNoLockTimeout).opaque(device).bytes();
}

QByteArray writeArguments(qint32 link, quint32 ioTimeoutMs, const QByteArray& data, bool end)
{
    return XdrWriter()
        .i32(link)
        .u32(ioTimeoutMs)
        .u32(kNoLockTimeout)
        .u32(end ? kFlagEnd : kNoFlags)
        .opaque(data)
        .bytes();
}

QByteArray readArguments(qint32 link, quint32 requestSize, quint32 ioTimeoutMs)
{
    return XdrWriter().i32(link).u32(requestSize).u32(ioTimeoutMs).u32(kNoLockTimeout).u32(kNoFlags).u32(0).bytes();
}

QByteArray genericArguments(qint32 link, quint32 ioTimeoutMs)
{
    return XdrWriter().i32(link).u32(kNoFlags).u32(kNoLockTimeout).u32(ioTimeoutMs).bytes();
}

QByteArray linkArgument(qint32 link) { return XdrWriter().i32(link).bytes(); }

std::optional<LinkResult> decodeLinkResult(const QByteArray& results)
{
    XdrReader r(results);
    LinkResult result;
    result.error = r.i32();
    result.link = r.i32();
    r.u32(); // the abort channel's port: not used
    result.maxReceiveSize = r.u32();
    return r.ok() ? std::optional(result) : std::nullopt;
}

std::optional<WriteResult> decodeWriteResult(const QByteArray& results)
{
    XdrReader r(results);
    WriteResult result;
    result.error = r.i32();
    result.size = r.u32();
    return r.ok() ? std::optional(result) : std::nullopt;
}

std::optional<ReadResult> decodeReadResult(const QByteArray& results, quint32 requested)
{
    XdrReader r(results);
    ReadResult result;
    result.error = r.i32();
    result.reason = r.u32();
    result.data = r.opaque(requested);
    return r.ok() ? std::optional(result) : std::nullopt;
}

std::optional<qint32> decodeError(const QByteArray& results)
{
    XdrReader r(results);
    const qint32 error = r.i32();
    return r.ok() ? std::optional(error) : std::nullopt;
}

QString errorText(qint32 error)
{
    switch (error) {
    case 1:
        return QStringLiteral("syntax error");
    case 3:
        return QStringLiteral("device not accessible");
    case 4:
        return QStringLiteral("invalid link identifier");
    case 5:
        return QStringLiteral("parameter error");
    case 6:
        return QStringLiteral("channel not established");
    case 8:
        return QStringLiteral("operation not supported");
    case 9:
        return QStringLiteral("out of resources");
    case 11:
        return QStringLiteral("device locked by another link");
    case 12:
        return QStringLiteral("no lock held by this link");
    case kIoTimeout:
        return QStringLiteral("I/O timeout");
    case 17:
        return QStringLiteral("I/O error");
    case 21:
        return QStringLiteral("invalid address");
    case 23:
        return QStringLiteral("abort");
    case 29:
        return QStringLiteral("channel already established");
    }
    return QStringLiteral("error %1").arg(error);
}

} // namespace qlx::vxi11
