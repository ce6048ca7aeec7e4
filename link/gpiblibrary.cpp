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

class LibraryDevice : public GpibDevice {
public:
    explicit LibraryDevice(qint16 descriptor) : m_ud(descriptor) {}

    void write(const QByteArray& command) override { vbib32::ibwrt(m_ud, command); }

    // One read into a buffer of `maxLength` blanks, cut at the count the library reports.
    QByteArray readText(int maxLength, TransportObserver* debug) override
    {
        const QByteArray buffer = vbib32::ibrdText(m_ud, maxLength);
        const qint32 count = ni::status().ibcntl();
        const QByteArray answer = count > 0 ? buffer.left(count) : QByteArray();
        if (debug)
            debug->gpibTextRead(buffer, count, answer);
        return answer;
    }

    qint64 read(char* into, qint64 length) override
    {
        vbib32::ibrdBytes(m_ud, into, length);
        return std::clamp<qint64>(ni::status().ibcntl(), 0, length);
    }

    void goToLocal() override { vbib32::ibloc(m_ud); }

private:
    qint16 m_ud;
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
