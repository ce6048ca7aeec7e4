#include "link/gpiblibrary.h"

#include "link/niglobal.h"
#include "link/offthreaddevice.h"
#include "link/vbib32.h"

#include <algorithm>

namespace qlx {
namespace {

constexpr int kGpibBoard = 0;
constexpr int kSecondaryAddressCode = 96; // secondary address 0
constexpr int kAssertEndOnLastByte = 1;
constexpr int kNoEndOfString = 0;

constexpr int kEndBit = 0x2000; // ibsta: END came with the last byte read

class LibraryDevice : public GpibDevice {
public:
    explicit LibraryDevice(qint16 descriptor) : m_ud(descriptor) {}

    void write(const QByteArray& command) override { vbib32::ibwrt(m_ud, command); }

    // Reads into buffers of `maxLength` blanks, each cut at the count the library reports, until
    // the tester ends its answer with END: a long listing is read whole, not cut at the buffer.
    QByteArray readText(int maxLength, TransportObserver* debug) override
    {
        QByteArray answer;
        QByteArray firstBuffer;
        for (;;) {
            const QByteArray buffer = vbib32::ibrdText(m_ud, maxLength);
            const qint32 count = std::clamp<qint32>(ni::status().ibcntl(), 0, maxLength);
            if (firstBuffer.isNull())
                firstBuffer = buffer;
            answer += buffer.left(count);
            m_end = ni::status().ibsta & kEndBit;
            if (m_end || count < maxLength || answer.size() > kMaxTextAnswer)
                break;
        }
        if (debug)
            debug->gpibTextRead(answer.size() > maxLength ? answer : firstBuffer, qint32(answer.size()), answer);
        return answer;
    }

    qint64 read(char* into, qint64 length) override
    {
        vbib32::ibrdBytes(m_ud, into, length);
        m_end = ni::status().ibsta & kEndBit;
        return std::clamp<qint64>(ni::status().ibcntl(), 0, length);
    }

    bool endSeen() const override { return m_end; }
    void clear() override { vbib32::ibclr(m_ud); }
    void goToLocal() override { vbib32::ibloc(m_ud); }

private:
    qint16 m_ud;
    bool m_end = false;
};

} // namespace

std::unique_ptr<GpibDevice> openGpibLibraryDevice(int primaryAddress, qint16* handle, int timeoutCode)
{
    OpenedDevice opened = openOffThread([primaryAddress, timeoutCode] {
        OpenedDevice device;
        device.handle = vbib32::ibdev(kGpibBoard, primaryAddress, kSecondaryAddressCode, timeoutCode,
                                      kAssertEndOnLastByte, kNoEndOfString);
        if (vbib32::available() && device.handle >= 0)
            device.device = std::make_unique<LibraryDevice>(device.handle);
        return device;
    });
    if (handle)
        *handle = opened.handle;
    return std::move(opened.device);
}

} // namespace qlx
