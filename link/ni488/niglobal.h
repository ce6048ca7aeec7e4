#pragma once
// GPIB status words, one set per thread as the library keeps them. The four wide words are
// registered with the library, which writes them after each call made on that thread; the narrow
// copies are what the rest of the program reads. A device whose calls run on a worker thread
// copies that thread's status to its caller's after each call (offthreaddevice.h).

#include <QString>

namespace qlx::ni {

inline constexpr int kErrorBit = 0x8000; // ibsta: the call failed
inline constexpr int kEndBit = 0x2000;   // ibsta: END came with the last byte read

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
    // The words are what the library reported for the last call; false where the program filled
    // them in (no usable library, registration failed).
    bool reported = false;

    qint32 ibcntl() const { return static_cast<qint32>(words.countL); }
    // The last call failed (ERR). Only a call that did not fail has a count in ibcntl; after a
    // failure it may hold an errno.
    bool failed() const { return ibsta & kErrorBit; }
};

// The calling thread's status.
Status& status();

// Copies the wide words into the narrow ones; runs after every library call.
void copyStatus(Status& s);

// Error codes in iberr, as the NI-488.2 interface defines them.
enum ErrorCode { EDVR = 0, ECIC = 1, ENOL = 2, ESAC = 5, EABO = 6, ENEB = 7, EBUS = 14 };

// The name of an iberr code ("EDVR", "ENOL", ...); "error N" for a code without one.
QString errorName(int iberr);

// The status of a failed call in words for the debug display: "ibsta 0xC100, iberr 6 (EABO), ibcntl 0".
QString statusText(const Status& s);

// What every call reports when the library is unusable or registration failed.
inline constexpr qint32 kRegistrationFailedCount = static_cast<qint32>(0xDEAD37F0u);

} // namespace qlx::ni
