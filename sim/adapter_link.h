// The simulated adapter's connection to the host: a pseudo-terminal (GPIB-USB, AR488 on USB) or a
// TCP port on 127.0.0.1 (GPIB-ETHERNET), one connection at a time.
#pragma once

#include <optional>

#include "sim/adapter.h"

namespace qlxsim {

struct LinkOptions {
    std::optional<int> tcpPort; // nullopt: a pseudo-terminal; 0: any free port
    double bytesPerSecond = 0;  // pace of the bytes to the host; 0 = as fast as it takes them
};

// Prints where the host finds the adapter (the device path, or 127.0.0.1:PORT) as a line on
// standard output, then serves until SIGTERM, SIGINT or SIGHUP. When the adapter hangs up a
// pseudo-terminal, a new one takes its place and its path is printed as the next line.
// Returns false (with errno) when the line cannot be set up.
bool serveAdapter(Adapter& adapter, const LinkOptions& options);

} // namespace qlxsim
