// The IEEE bus through a "++" adapter fed whatever the adapter may send: the answer to "*IDN?"
// and then to a data request, read by the transport as the window reads them. The first two bytes
// choose how the stream is cut into reads; the rest is the stream. A block taken as complete must
// be all that follows the first answer: its header, exactly the bytes it declared, the line end.
// The adapter's waits take no time: their clock moves on at once.
#include "link/adapter/gpibadapter.h"
#include "link/answers.h"
#include "link/transport.h"
#include "link/wait.h"

#include <QCoreApplication>
#include <QIODevice>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

void check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

// A link that answers each command written with the next piece of a fixed stream: the first
// answer runs to the first line end, the second is the rest. It hands out its bytes in reads of
// varying size.
class ScriptedLink : public QIODevice {
public:
    ScriptedLink(QByteArray stream, uint32_t cut) : m_stream(std::move(stream)), m_cut(cut)
    {
        open(QIODevice::ReadWrite);
    }
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return m_released - m_position + QIODevice::bytesAvailable(); }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        m_cut = m_cut * 1103515245u + 12345u;
        const qint64 piece = std::min<qint64>({maxSize, m_released - m_position, 1 + (m_cut >> 16) % 512});
        std::memcpy(data, m_stream.constData() + m_position, size_t(piece));
        m_position += piece;
        return piece;
    }
    // A command (an adapter's own "++" lines aside) releases the next answer.
    qint64 writeData(const char* data, qint64 size) override
    {
        if (size > 0 && data[0] != '+' && ++m_commands <= 2)
            m_released = m_commands == 1 ? m_stream.indexOf('\n') + 1 : m_stream.size();
        return size;
    }

private:
    QByteArray m_stream;
    qint64 m_position = 0;
    qint64 m_released = 0;
    int m_commands = 0;
    uint32_t m_cut;
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv); // the adapter waits in local event loops
    static qlx::SteppingClock clock;
    qlx::setClock(&clock);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const QByteArray stream(reinterpret_cast<const char*>(data + 2), qsizetype(size - 2));
    qlx::Transport transport;
    transport.attachGpib(std::make_unique<qlx::GpibAdapter>(
        std::make_unique<ScriptedLink>(stream, data[0] | (uint32_t(data[1]) << 8)), qlx::AdapterTiming{1, 2, 1}));

    // The identity is read whole, however long, and never past its line end.
    const qlx::TextAnswer identity = transport.queryText(qlx::Bus::Gpib, "*IDN?", 500);
    check(stream.startsWith(identity.text) && identity.text.size() <= stream.indexOf('\n') + 1);
    const qlx::DataAnswer block = transport.queryData(qlx::Bus::Gpib, "MMEM:DATA? \"A.WMF\"");
    if (block.outcome == qlx::Outcome::Ok) {
        // The block is the second answer (all of the stream when it has no line end); the data
        // follows its header.
        const qsizetype start = stream.indexOf('\n') + 1;
        check(stream.at(start) == '#');
        const int digits = stream.at(start + 1) - '0';
        const qint64 declared = qlx::digitsValue(QByteArrayView(stream).sliced(start + 2, digits));
        check(declared <= qlx::kMaxBlockLength && block.data == stream.mid(start + 2 + digits, declared));
        const QByteArray end = stream.mid(start + 2 + digits + declared);
        check(end == "\n" || end == "\r\n");
    }
    return 0;
}
