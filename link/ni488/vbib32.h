#pragma once
// The GPIB library (NI-488.2 call interface), loaded at run time, and the wrappers through which
// every call goes: register the status words while that has not succeeded, make the call, copy
// the status (niglobal.h).
//
// The library is the file named by QLXCOPY_GPIB_LIBRARY when that is set, otherwise the first of
// the platform's usual names that loads. A library without RegisterGpibGlobalsForThread (as
// linux-gpib) is asked for its own status after each call: ThreadIbsta/ThreadIberr/ThreadIbcntl,
// else Ibsta/Iberr/Ibcntl, else its exported data ibsta/iberr/ibcntl. Without a usable library every call fails as if
// the tester were switched off (status 0x8000, count 0), and one line on stderr says what was tried.
// ibonl is the one call a library may lack: without it, descriptors are never given back.

#include <QByteArray>

namespace qlx::vbib32 {

// True when a library with the calls and a status source is loaded (loads on first use).
bool available();

// Forgets the loaded library so that the next call loads again (tests switch libraries).
void unload();

// Each argument is a 16-bit value widened to int; the descriptor is the result's low 16 bits.
qint16 ibdev(int board, int primaryAddress, int secondaryAddress, int timeout, int eot, int eos);
void ibloc(qint16 descriptor);
// Gives the descriptor back with `online` 0 (or resets it with 1); nothing where the library has
// no ibonl.
void ibonl(qint16 descriptor, int online);
// Device clear: the device drops its output queue and whatever it was busy with.
void ibclr(qint16 descriptor);
void ibwrt(qint16 descriptor, const QByteArray& text);
// Reads into a buffer of `length` blanks and returns that buffer at full length; the caller cuts
// it with ibcntl.
QByteArray ibrdText(qint16 descriptor, int length);
// Reads up to `count` bytes into `data`; returns the status' low 16 bits.
qint16 ibrdBytes(qint16 descriptor, char* data, qint64 count);

} // namespace qlx::vbib32
