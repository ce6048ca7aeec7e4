// The simulated gateway's sockets: its portmapper (TCP, and UDP on the same port number) and its
// core channel, each on a port of 127.0.0.1 of its own.
#pragma once

#include "sim/gateway.h"

namespace qlxsim {

// Prints "127.0.0.1:PORT" of the portmapper as a line on standard output, then serves until
// SIGTERM, SIGINT or SIGHUP (`port` 0: any free port). Returns false (with errno) when the
// ports cannot be set up.
bool serveGateway(Gateway& gateway, int port);

} // namespace qlxsim
