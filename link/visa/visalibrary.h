#pragma once
// The tester through a library with the VISA C interface, loaded at run time: the file named by
// QLXCOPY_VISA_LIBRARY when that is set, otherwise the first of the usual names that loads. A
// device is viOpen of the resource string as typed, its time-out set with viSetAttribute; a
// command is viWrite, an answer viRead until the library reports its end (VI_SUCCESS, where
// VI_SUCCESS_MAX_CNT means more follows); viClear resynchronises, viGpibControlREN with the
// go-to-local mode returns the tester to local, viClose ends the session.

#include "link/gpibdevice.h"

#include <QString>

#include <memory>

namespace qlx::visa {

// True when a library with every call needed is loaded (loads on first use).
bool available();
// Forgets the loaded library so that the next call loads again (tests switch libraries).
void unload();

// The device at `resource`, or null with the reason in *error.
std::unique_ptr<GpibDevice> open(const QString& resource, int timeoutMs, QString* error);

} // namespace qlx::visa
