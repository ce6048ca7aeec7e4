// A LAN-GPIB gateway's byte stream of any shape: cut into records (the first byte chooses the
// size of each piece fed), each decoded as an RPC reply and its results as every VXI-11 and
// portmapper result. Nothing is read past the bytes, no record grows over its bound, and a read
// result never holds more than was asked for.
#include "link/vxi11/oncrpc.h"
#include "link/vxi11/vxi11.h"

#include <cstddef>
#include <cstdint>

namespace {

void check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

void decodeResults(const QByteArray& results)
{
    for (const quint32 requested : {0u, 1u, 1024u, 0xFFFFFFFFu}) {
        const auto read = qlx::vxi11::decodeReadResult(results, requested);
        check(!read || quint32(read->data.size()) <= requested);
    }
    qlx::vxi11::decodeLinkResult(results);
    qlx::vxi11::decodeWriteResult(results);
    qlx::vxi11::decodeError(results);
    qlx::rpc::decodePort(results);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const qsizetype piece = data[0] + 1;
    const QByteArray stream(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    qlx::rpc::RecordReader records;
    for (qsizetype at = 0; at < stream.size(); at += piece) {
        records.append(stream.mid(at, piece));
        while (const auto record = records.next()) {
            check(quint32(record->size()) <= qlx::rpc::kMaxRecord);
            const auto reply = qlx::rpc::decodeReply(*record);
            check(!reply || reply->results || !reply->error.isEmpty());
            if (reply && reply->results)
                decodeResults(*reply->results);
            decodeResults(*record); // the results alone, as if the header had been another length
        }
    }
    return 0;
}
