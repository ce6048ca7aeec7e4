#pragma once
// ONC RPC version 2 on TCP as a LAN-GPIB gateway speaks it: XDR encoding, record marking, call
// messages, reply messages, and the portmapper's GETPORT. Pure functions on bytes; the peer's
// bytes are never trusted: every length is bounded before anything is allocated for it.

#include <QByteArray>
#include <QString>

#include <optional>

namespace qlx::rpc {

// Builds XDR: big-endian 32-bit words, opaque data padded to a multiple of four.
class XdrWriter {
public:
    XdrWriter& u32(quint32 value);
    XdrWriter& i32(qint32 value) { return u32(quint32(value)); }
    XdrWriter& opaque(const QByteArray& data); // variable length: the count, the bytes, the padding
    QByteArray bytes() const { return m_bytes; }

private:
    QByteArray m_bytes;
};

// Reads XDR; after any read past the end or over a bound, ok() is false and every read yields 0
// or nothing.
class XdrReader {
public:
    explicit XdrReader(const QByteArray& bytes) : m_bytes(bytes) {}
    quint32 u32();
    qint32 i32() { return qint32(u32()); }
    // Variable-length opaque data of at most `maxLength` bytes.
    QByteArray opaque(quint32 maxLength);
    bool ok() const { return m_ok; }
    bool atEnd() const { return m_pos == m_bytes.size(); }
    QByteArray rest() const { return m_ok ? m_bytes.mid(m_pos) : QByteArray(); }

private:
    QByteArray m_bytes;
    qsizetype m_pos = 0;
    bool m_ok = true;
};

// The largest reply record taken: a gateway's read reply holds at most what was asked for.
inline constexpr quint32 kMaxRecord = 4 * 1024 * 1024;

// One message as a single last fragment of the record marking.
QByteArray recordOf(const QByteArray& message);

// Gathers the fragments of records from a byte stream.
class RecordReader {
public:
    void append(const QByteArray& bytes) { m_buffer += bytes; }
    // The next whole record, once it is there. A record longer than kMaxRecord fails the stream.
    std::optional<QByteArray> next();
    bool failed() const { return m_failed; }

private:
    QByteArray m_buffer;
    QByteArray m_record; // fragments so far
    bool m_failed = false;
};

// A call with no credentials.
QByteArray callMessage(quint32 xid, quint32 program, quint32 version, quint32 procedure, const QByteArray& arguments);

// A reply as the client sees it: the results of an accepted and successful call, or why not.
struct Reply {
    quint32 xid = 0;
    std::optional<QByteArray> results; // the procedure's results, still XDR
    QString error;                     // set when results is empty
};
// nullopt when `message` is no reply at all (too short, not a reply).
std::optional<Reply> decodeReply(const QByteArray& message);

// The portmapper (program 100000, version 2) on port 111.
inline constexpr quint32 kPortmapper = 100000;
inline constexpr quint32 kPortmapperVersion = 2;
inline constexpr quint32 kGetPort = 3;
inline constexpr quint32 kTcp = 6;
inline constexpr quint16 kPortmapperPort = 111;
QByteArray getPortArguments(quint32 program, quint32 version, quint32 protocol);
// GETPORT's answer: the port, 0 when the program is not registered; nullopt when malformed.
std::optional<quint16> decodePort(const QByteArray& results);

// The portmapper port this process asks: 111, or QLXCOPY_PORTMAPPER_PORT for tests.
quint16 portmapperPort();

} // namespace qlx::rpc
