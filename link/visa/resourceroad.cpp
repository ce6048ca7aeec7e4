#include "link/visa/resourceroad.h"

#include "link/offthreaddevice.h"
#include "link/visa/visalibrary.h"

namespace qlx {

std::unique_ptr<GpibDevice> openResourceDevice(const GpibAddress& address, QString* error, const Vxi11Timing& timing)
{
    if (visa::available()) {
        // The library's calls block: they run on a thread of the device's own, as the NI-488.2 ones do.
        OpenedDevice opened = openOffThread([resource = address.resource, timeoutMs = timing.ioTimeoutMs] {
            OpenedDevice visaDevice;
            visaDevice.device = visa::open(resource, timeoutMs, &visaDevice.error);
            return visaDevice;
        });
        if (!opened.device)
            *error = opened.error;
        return std::move(opened.device);
    }
    if (address.kind == GpibAddress::VisaTcpip)
        return Vxi11Device::open(address.host, address.gatewayDevice, error, timing);
    *error = QStringLiteral("%1 needs a VISA library, and none could be loaded (QLXCOPY_VISA_LIBRARY names one); "
                            "through the NI-488.2 library, give the primary address alone")
                 .arg(address.resource);
    return nullptr;
}

} // namespace qlx
