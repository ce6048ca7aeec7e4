#pragma once
// The core channel of VXI-11 (program 0x0607AF, version 1): the arguments of the calls this
// program makes and the decoding of their results, as pure functions on XDR bytes.

#include <QByteArray>
#include <QString>

#include <optional>

namespace qlx::vxi11 {

inline constexpr quint32 kCoreProgram = 0x0607AF;
inline constexpr quint32 kCoreVersion = 1;

enum Procedure : quint32 {
    CreateLink = 10,
    DeviceWrite = 11,
    DeviceRead = 12,
    DeviceClear = 15,
    DeviceLocal = 17,
    DestroyLink = 23,
};

inline constexpr quint32 kFlagEnd = 0x08;   // device_write: END with the last byte
inline constexpr quint32 kReasonEnd = 0x04; // device_read: the answer ended with END

inline constexpr qint32 kNoError = 0;
inline constexpr qint32 kIoTimeout = 15;

QByteArray createLinkArguments(qint32 clientId, const QByteArray& device);
// `end`: END with the last byte of `data`.
QByteArray writeArguments(qint32 link, quint32 ioTimeoutMs, const QByteArray& data, bool end);
QByteArray readArguments(qint32 link, quint32 requestSize, quint32 ioTimeoutMs);
// device_clear and device_local.
QByteArray genericArguments(qint32 link, quint32 ioTimeoutMs);
QByteArray linkArgument(qint32 link);

struct LinkResult {
    qint32 error = 0;
    qint32 link = 0;
    quint32 maxReceiveSize = 0; // the most device_write takes at once
};
struct WriteResult {
    qint32 error = 0;
    quint32 size = 0;
};
struct ReadResult {
    qint32 error = 0;
    quint32 reason = 0;
    QByteArray data;
};

// Each nullopt when the bytes are not that result; a read result never holds more than `requested`.
std::optional<LinkResult> decodeLinkResult(const QByteArray& results);
std::optional<WriteResult> decodeWriteResult(const QByteArray& results);
std::optional<ReadResult> decodeReadResult(const QByteArray& results, quint32 requested);
std::optional<qint32> decodeError(const QByteArray& results);

// "I/O timeout", ... for a gateway's error code.
QString errorText(qint32 error);

} // namespace qlx::vxi11
