#include "link/vxi11/vxi11device.h"

#include "link/vxi11/vxi11.h"

#include <QRandomGenerator>

#include <cstring>

namespace qlx {
namespace {

constexpr int kReplyMarginMs = 2000;        // a gateway's own time-out reply may come this late
constexpr int kDestroyMs = 1000;            // a gateway that does not end the link by then is left
constexpr quint32 kReadPiece = 1024 * 1024; // the most one device_read asks for
constexpr quint32 kSmallestWrite = 64;      // a gateway that claims to take less is not believed

} // namespace

std::unique_ptr<Vxi11Device> Vxi11Device::open(const QString& host, const QByteArray& device, QString* error,
                                               const Vxi11Timing& timing)
{
    const auto fail = [&](const QString& why) {
        *error = QStringLiteral("the LAN-GPIB gateway at %1 %2").arg(host, why);
        return nullptr;
    };
    QString why;
    const std::optional<quint16> port =
        rpc::lookupPort(host, vxi11::kCoreProgram, vxi11::kCoreVersion, timing.connectMs, &why);
    if (!port)
        return fail(QStringLiteral("cannot be used: ") + why);
    std::unique_ptr<rpc::RpcClient> client = rpc::RpcClient::connect(host, *port, timing.connectMs, &why);
    if (!client)
        return fail(QStringLiteral("cannot be reached on its core channel (TCP port %1): %2").arg(*port).arg(why));
    const qint32 clientId = qint32(QRandomGenerator::global()->bounded(1, 0x7fffffff));
    const std::optional<QByteArray> results =
        client->call(vxi11::kCoreProgram, vxi11::kCoreVersion, vxi11::CreateLink,
                     vxi11::createLinkArguments(clientId, device), timing.ioTimeoutMs + kReplyMarginMs);
    const std::optional<vxi11::LinkResult> link = results ? vxi11::decodeLinkResult(*results) : std::nullopt;
    if (!link)
        return fail(
            QStringLiteral("did not open a link to %1: %2")
                .arg(QString::fromLatin1(device), results ? QStringLiteral("a malformed reply") : client->error()));
    if (link->error != vxi11::kNoError)
        return fail(QStringLiteral("refused the link to %1: %2 (VXI-11 error %3)")
                        .arg(QString::fromLatin1(device), vxi11::errorText(link->error))
                        .arg(link->error));
    const quint32 maxWrite = std::max(link->maxReceiveSize, kSmallestWrite);
    return std::unique_ptr<Vxi11Device>(new Vxi11Device(std::move(client), link->link, maxWrite, timing));
}

Vxi11Device::Vxi11Device(std::unique_ptr<rpc::RpcClient> rpc, qint32 link, quint32 maxWrite, const Vxi11Timing& timing)
    : m_rpc(std::move(rpc)), m_link(link), m_maxWrite(maxWrite), m_timing(timing)
{
}

// The link is ended every time; a gateway keeps a link it was never told of until it runs out.
Vxi11Device::~Vxi11Device()
{
    if (!m_rpc->broken())
        call(vxi11::DestroyLink, vxi11::linkArgument(m_link), kDestroyMs);
}

std::optional<QByteArray> Vxi11Device::call(quint32 procedure, const QByteArray& arguments, int ms)
{
    return m_rpc->call(vxi11::kCoreProgram, vxi11::kCoreVersion, procedure, arguments, ms);
}

// A command longer than the gateway takes at once goes in pieces, END only with the last byte.
void Vxi11Device::write(const QByteArray& command)
{
    m_deaf = false;
    m_end = true;
    qsizetype sent = 0;
    do {
        const QByteArray piece = command.mid(sent, m_maxWrite);
        const bool last = sent + piece.size() >= command.size();
        const std::optional<QByteArray> results =
            call(vxi11::DeviceWrite, vxi11::writeArguments(m_link, m_timing.ioTimeoutMs, piece, last),
                 m_timing.ioTimeoutMs + kReplyMarginMs);
        const std::optional<vxi11::WriteResult> written = results ? vxi11::decodeWriteResult(*results) : std::nullopt;
        if (!written || written->error != vxi11::kNoError || written->size > quint32(piece.size())
            || (written->size == 0 && !piece.isEmpty())) {
            m_deaf = true;
            return;
        }
        sent += written->size;
    } while (sent < command.size());
}

// Pieces until END, the count, a time-out or a failure; never past END.
qint64 Vxi11Device::read(char* into, qint64 length)
{
    m_end = false;
    qint64 count = 0;
    while (count < length && !m_deaf) {
        const quint32 ask = quint32(std::min<qint64>(length - count, kReadPiece));
        const std::optional<QByteArray> results =
            call(vxi11::DeviceRead, vxi11::readArguments(m_link, ask, m_timing.ioTimeoutMs),
                 m_timing.ioTimeoutMs + kReplyMarginMs);
        const std::optional<vxi11::ReadResult> piece = results ? vxi11::decodeReadResult(*results, ask) : std::nullopt;
        if (!piece)
            break;
        std::memcpy(into + count, piece->data.constData(), size_t(piece->data.size()));
        count += piece->data.size();
        if (piece->error != vxi11::kNoError) {
            m_deaf = piece->error == vxi11::kIoTimeout;
            break;
        }
        if (piece->reason & vxi11::kReasonEnd) {
            m_end = true;
            break;
        }
        if (piece->data.isEmpty())
            break; // neither data nor an end: the gateway is not getting anywhere
    }
    return count;
}

void Vxi11Device::clear()
{
    m_deaf = false;
    call(vxi11::DeviceClear, vxi11::genericArguments(m_link, m_timing.ioTimeoutMs),
         m_timing.ioTimeoutMs + kReplyMarginMs);
}

void Vxi11Device::goToLocal()
{
    call(vxi11::DeviceLocal, vxi11::genericArguments(m_link, m_timing.ioTimeoutMs),
         m_timing.ioTimeoutMs + kReplyMarginMs);
}

} // namespace qlx
