#pragma once
// A GpibDevice whose calls block (the NI-488.2 library, or any device written as plain blocking
// calls) run on a worker thread of their own while the caller waits in a local event loop: the
// window keeps painting and answering through a 10 s time-out, and abort() ends the wait at once.
//
// The device is opened on that thread, and all its calls run there, one after the other, for the
// device's life: a library that keeps its status words per thread sees one thread. After each
// call the worker's GPIB status (niglobal.h) and the device's fault() are copied to the caller's
// thread with the result.
// A call that abort() left behind still runs to its end on the worker; its result is dropped and
// the next call waits for it. The blocking call itself is not disturbed: abort() reaches only the
// wait. The destructor closes the device on its thread and ends the thread, after such a call.

#include "link/gpibdevice.h"

#include <QString>

#include <functional>
#include <memory>

namespace qlx {

// What opening a device gave.
struct OpenedDevice {
    std::unique_ptr<GpibDevice> device; // null when it could not be opened
    qint16 handle = -1;                 // the library's descriptor, where there is one
    QString error;                      // why it could not be opened, where there is more to say
    GpibFault fault;                    // what the failed open said, where the device can tell
};

// Runs `open` on a new worker thread and wraps the device it gives, so that each call of that
// device runs on the same thread. Null device when `open` gives none or the wait was ended.
OpenedDevice openOffThread(std::function<OpenedDevice()> open);

} // namespace qlx
