#pragma once
// The tester through the NI-488.2 library: each operation is one library call, made on the
// device's own worker thread (offthreaddevice.h) so that a caller with a window keeps it alive.
//
// After every call the status is read as NI-488.2 defines it: ERR set means the call failed and
// iberr names why; only a call without ERR has a count (after a failure ibcntl may hold an
// errno). A write that failed is not followed by a read. Closing the device gives its descriptor
// back to the library (ibonl), so that connecting again and again never fills the library's table.

#include "link/offthreaddevice.h"

namespace qlx {

inline constexpr int kTimeout10s = 13; // ibdev's time-out code for 10 s

// ibdev(0, pad, 96, timeout, 1, 0): the device and its descriptor (-1 without a library). No
// device when the library is missing or ibdev fails; the fault then says why, where the library
// said.
OpenedDevice openGpibLibraryDevice(int primaryAddress, int timeoutCode = kTimeout10s);

} // namespace qlx
