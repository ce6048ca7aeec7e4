#pragma once
// The tester through the NI-488.2 library: each operation is one library call, made on the
// device's own worker thread (offthreaddevice.h) so that a caller with a window keeps it alive.

#include "link/gpibdevice.h"

#include <memory>

namespace qlx {

inline constexpr int kTimeout10s = 13; // ibdev's time-out code for 10 s

// ibdev(0, pad, 96, timeout, 1, 0): the device, or null when the library is missing or ibdev
// fails. The descriptor goes to *handle (-1 without a library).
std::unique_ptr<GpibDevice> openGpibLibraryDevice(int primaryAddress, qint16* handle, int timeoutCode = kTimeout10s);

} // namespace qlx
