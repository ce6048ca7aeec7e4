#pragma once
// Connecting to the tester and identifying it, without a window: the exchanges that the window's
// "Read QLX Directory" and the command-line tool share. Reporting is the caller's.

#include "link/identify.h"
#include "link/transport.h"

namespace qlx {

struct ConnectResult {
    bool opened = false;                  // the bus could be opened (library and descriptor, or the port)
    TextAnswer idn{{}, Outcome::NotOpen}; // the answer to "*IDN?" and how its exchange ended
    Identification id;                    // the verdict on that answer
};

// GPIB: ibdev at the address, "*IDN?", go to local. Serial: open the port that the address names
// (a number or a device path), "*SEC 0", "*IDN?". `handle` receives the GPIB descriptor.
ConnectResult connectTester(Transport& transport, Bus bus, const QString& addressText, qint16* handle = nullptr);

} // namespace qlx
