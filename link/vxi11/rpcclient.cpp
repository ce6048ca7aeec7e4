#include "link/vxi11/rpcclient.h"

#include <QRandomGenerator>

namespace qlx::rpc {
namespace {

constexpr qint64 kReadBuffer = 1024 * 1024;

} // namespace

std::unique_ptr<RpcClient> RpcClient::connect(const QString& host, quint16 port, int connectMs, QString* error)
{
    std::unique_ptr<RpcClient> client(new RpcClient);
    QTcpSocket& socket = client->m_socket;
    socket.setReadBufferSize(kReadBuffer); // a peer that floods is held back, not stored
    if (const QString why = connectWithin(socket, host, port, connectMs); !why.isEmpty()) {
        *error = why;
        return nullptr;
    }
    client->m_waiter.wakeOn(&socket, &QTcpSocket::readyRead);
    QObject::connect(&socket, &QTcpSocket::disconnected, &socket, [c = client.get()] {
        c->m_broken = true;
        c->m_waiter.wake();
    });
    client->m_xid = QRandomGenerator::global()->generate();
    return client;
}

RpcClient::~RpcClient()
{
    m_socket.disconnect();
    m_socket.abort();
}

std::optional<QByteArray> RpcClient::call(quint32 program, quint32 version, quint32 procedure,
                                          const QByteArray& arguments, int ms)
{
    m_aborted = false;
    if (m_broken) {
        m_error = QStringLiteral("the connection is closed");
        return std::nullopt;
    }
    const quint32 xid = ++m_xid;
    m_socket.write(recordOf(callMessage(xid, program, version, procedure, arguments)));
    m_socket.flush();
    return awaitReply(xid, ms);
}

std::optional<QByteArray> RpcClient::awaitReply(quint32 xid, int ms)
{
    const Stopwatch waited;
    for (;;) {
        m_records.append(m_socket.readAll());
        while (const std::optional<QByteArray> record = m_records.next()) {
            const std::optional<Reply> reply = decodeReply(*record);
            if (!reply) {
                m_broken = true;
                m_error = QStringLiteral("a malformed reply came");
                return std::nullopt;
            }
            if (reply->xid != xid)
                continue; // the reply to a call given up on
            if (!reply->results)
                m_error = reply->error;
            return reply->results;
        }
        if (m_records.failed()) {
            m_broken = true;
            m_error = QStringLiteral("a reply was longer than any answer can be");
            return std::nullopt;
        }
        if (m_broken || m_socket.state() != QAbstractSocket::ConnectedState) {
            m_broken = true;
            m_error = QStringLiteral("the connection was closed");
            return std::nullopt;
        }
        const qint64 left = ms - waited.elapsed();
        if (m_aborted || left <= 0) {
            m_error =
                m_aborted ? QStringLiteral("interrupted") : QStringLiteral("no reply within %1 s").arg(ms / 1000.0);
            return std::nullopt;
        }
        if (m_socket.bytesAvailable() > 0)
            continue;
        if (m_waiter.wait(left) == Waiter::End::Aborted)
            m_aborted = true; // by abort(), or by the application leaving its event loops
    }
}

void RpcClient::abort()
{
    m_aborted = true;
    m_waiter.abort();
}

std::optional<quint16> lookupPort(const QString& host, quint32 program, quint32 version, int ms, QString* error)
{
    const quint16 portmapper = portmapperPort();
    std::unique_ptr<RpcClient> client = RpcClient::connect(host, portmapper, ms, error);
    if (!client) {
        *error = QStringLiteral("its portmapper (TCP port %1) cannot be reached: %2").arg(portmapper).arg(*error);
        return std::nullopt;
    }
    const std::optional<QByteArray> results =
        client->call(kPortmapper, kPortmapperVersion, kGetPort, getPortArguments(program, version, kTcp), ms);
    const std::optional<quint16> port = results ? decodePort(*results) : std::nullopt;
    if (!port)
        *error = QStringLiteral("its portmapper (TCP port %1) did not answer: %2")
                     .arg(portmapper)
                     .arg(results ? QStringLiteral("a malformed reply") : client->error());
    else if (*port == 0)
        *error = QStringLiteral("its portmapper knows no VXI-11 core channel");
    return port && *port != 0 ? port : std::nullopt;
}

} // namespace qlx::rpc
