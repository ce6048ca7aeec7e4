#pragma once
// The road to a tester named by a VISA resource string: through a VISA library when one loads;
// without one, a gateway's resource (TCPIP...::gpib0,PAD) is spoken to natively over VXI-11.

#include "link/gpibaddress.h"
#include "link/gpibdevice.h"
#include "link/vxi11/vxi11device.h"

#include <memory>

namespace qlx {

// The device, or null with the reason in *error.
std::unique_ptr<GpibDevice> openResourceDevice(const GpibAddress& address, QString* error,
                                               const Vxi11Timing& timing = Vxi11Timing());

} // namespace qlx
