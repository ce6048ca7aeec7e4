// What the simulator's servers share: sockets on the loopback address only (nothing it serves is
// seen off the machine), and the signals that end it as a descriptor to poll.
#pragma once

#include <cstdint>

namespace qlxsim {

// A socket of `type` (SOCK_STREAM or SOCK_DGRAM, with flags such as SOCK_NONBLOCK) bound to
// 127.0.0.1:`port` (0: any free port), listening when it is a stream; its port goes to `bound`.
// -1 when that fails.
int bindLoopback(int type, int port, std::uint16_t& bound);

// SIGTERM, SIGINT and SIGHUP blocked and delivered through a signalfd opened with `flags`
// (SFD_CLOEXEC is added); -1 when that fails.
int stopSignals(int flags);

} // namespace qlxsim
