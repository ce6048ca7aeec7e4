#pragma once
// The tester through the NI-488.2 library: each operation is one library call.

#include "link/gpibdevice.h"

#include <memory>

namespace qlx {

// ibdev(0, pad, 96, 13, 1, 0): the device, or null when the library is missing or ibdev fails.
// The descriptor goes to *handle (-1 without a library).
std::unique_ptr<GpibDevice> openGpibLibraryDevice(int primaryAddress, qint16* handle);

} // namespace qlx
