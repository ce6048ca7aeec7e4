// The serial receive routines fed whatever a line may carry, cut into chunks of any size. The
// first two bytes choose the cutting, the next two the size the listing gave (0xFFFF: none); the
// rest is the stream. A block taken as complete must be the whole stream: its header, exactly the
// bytes it declared (as many as the listing gave), CR LF; and nothing the line sends may make the
// routines keep more than the limits allow.
#include "link/serial/receivers.h"

#include <cstddef>
#include <cstdint>

namespace {

struct Progress : qlx::TransportObserver {
    qint64 range = -1;
    void serialProgressRange(int max) override { range = max; }
    void serialProgress(int value) override
    {
        if (range < 0 || value < 0 || value > range)
            __builtin_trap();
    }
};

void check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4)
        return 0;
    uint32_t cut = data[0] | (uint32_t(data[1]) << 8) | 1u;
    const uint32_t listedField = data[2] | (uint32_t(data[3]) << 8);
    const qint64 listed = listedField == 0xFFFF ? -1 : qint64(listedField);
    const QByteArray stream(reinterpret_cast<const char*>(data + 4), qsizetype(size - 4));

    Progress progress;
    qlx::DataReceiver block(0.0, &progress, listed);
    qlx::TextReceiver text(0.0);
    double now = 0.0;
    for (qsizetype fed = 0; fed < stream.size();) {
        cut = cut * 1103515245u + 12345u;
        const qsizetype piece = qMin<qsizetype>(stream.size() - fed, 1 + (cut >> 16) % 64);
        now += 0.01;
        block.pass(stream.mid(fed, piece), now);
        text.pass(stream.mid(fed, piece), now);
        fed += piece;
    }

    if (block.state() == qlx::DataReceiver::State::Complete) {
        const int digits = stream.at(1) - '0';
        check(stream.at(0) == '#' && digits >= 1 && digits <= 9);
        const qint64 declared = qlx::digitsValue(QByteArrayView(stream).sliced(2, digits));
        check(declared <= qlx::kMaxBlockLength && progress.range == declared && (listed < 0 || declared == listed));
        check(stream.size() == 2 + digits + declared + 2 && stream.endsWith("\r\n"));
        check(block.takeData() == stream.mid(2 + digits, declared));
    }
    check(block.state() == qlx::DataReceiver::State::Receiving || block.state() == qlx::DataReceiver::State::Complete
          || !block.detail().isEmpty());
    check(!text.complete() || text.answer().endsWith("\r\n"));
    return 0;
}
