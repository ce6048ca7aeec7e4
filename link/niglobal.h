#pragma once
// GPIB status words, one set per thread as the library keeps them. The four wide words are
// registered with the library, which writes them after each call made on that thread; the narrow
// copies are what the rest of the program reads. A device whose calls run on a worker thread
// copies that thread's status to its caller's after each call (offthreaddevice.h).

#include <QtGlobal>

namespace qlx::ni {

struct RegisteredWords {
    int status = 0;  // status word
    int error = 0;   // error word
    int count = 0;   // byte count as a plain integer (unused by the program)
    long countL = 0; // bytes moved by the last call; used as a 32-bit value
};

struct Status {
    RegisteredWords words;
    qint16 ibsta = 0; // low 16 bits of the status word, signed
    qint16 iberr = 0; // error word as 16 bits
    qint16 ibcnt = 0; // low 16 bits of ibcntl, signed
    bool globalsRegistered = false;

    qint32 ibcntl() const { return static_cast<qint32>(words.countL); }
};

// The calling thread's status.
Status& status();

// Copies the wide words into the narrow ones; runs after every library call.
void copyStatus(Status& s);

// What every call reports when the library is unusable or registration failed.
inline constexpr int kErrorBit = 0x8000;
inline constexpr qint32 kRegistrationFailedCount = static_cast<qint32>(0xDEAD37F0u);

} // namespace qlx::ni
