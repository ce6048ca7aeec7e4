#pragma once
// ONC RPC calls over one TCP connection, each waited for in a local event loop (link/wait.h), so
// that the window keeps painting and abort() ends a wait at once.

#include "link/vxi11/oncrpc.h"
#include "link/wait.h"

#include <QTcpSocket>

#include <memory>
#include <optional>

namespace qlx::rpc {

class RpcClient {
public:
    // The connection to `host`:`port`, or null with the reason in *error after `connectMs`.
    static std::unique_ptr<RpcClient> connect(const QString& host, quint16 port, int connectMs, QString* error);
    ~RpcClient();

    // One call and its results; nullopt with the reason in error() when no reply came within
    // `ms`, the connection went away, the reply was malformed or refused the call, or on abort().
    // A late reply to an earlier call is recognised by its number and passed over.
    std::optional<QByteArray> call(quint32 program, quint32 version, quint32 procedure, const QByteArray& arguments,
                                   int ms);
    const QString& error() const { return m_error; }
    // The connection is gone or its stream is broken: no further call can succeed.
    bool broken() const { return m_broken; }
    void abort();
    bool aborted() const { return m_aborted; }

private:
    RpcClient() = default;
    std::optional<QByteArray> awaitReply(quint32 xid, int ms);

    QTcpSocket m_socket;
    RecordReader m_records;
    quint32 m_xid = 0;
    QString m_error;
    bool m_broken = false;
    bool m_aborted = false;
    Waiter m_waiter;
};

// The TCP port that the portmapper on `host` (portmapperPort()) gives for `program`; nullopt
// with the reason in *error.
std::optional<quint16> lookupPort(const QString& host, quint32 program, quint32 version, int ms, QString* error);

} // namespace qlx::rpc
