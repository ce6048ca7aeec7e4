// A simulated LAN-GPIB gateway (VXI-11) with the simulated tester on its bus: the portmapper and
// the core channel's calls, one ONC RPC record in, one reply record out. No sockets here (see
// gateway_link.cpp); a call waits as long as the real device would (a read waits for the
// tester's bytes up to the call's I/O time-out). The bus log gets the bytes that reach the tester
// and these events: create-link gpib0,PAD, link-refused, destroy-link, device-clear,
// go-to-local, no-listener PAD, read-timeout N, hang-up.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "sim/bus_tester.h"
#include "sim/command_log.h"
#include "sim/pacer.h"

namespace qlxsim {

struct GatewayConfig {
    int testerAddress = 20;
    bool refuseLinks = false;                // create_link answers "out of resources"
    std::size_t piece = 16 * 1024;           // the most one device_read reply carries
    std::chrono::milliseconds timeoutCap{0}; // a call waits at most this long (0: as the call asks)
    double bytesPerSecond = 0;               // the bus's pace into the gateway (0: at once)
    BlockPause pause;
};

class Gateway {
public:
    using Clock = std::chrono::steady_clock;

    Gateway(GatewayConfig config, Config tester, CommandLog& log);

    // A call to the portmapper; `corePort` is where the core channel listens. The reply record's
    // message, or nullopt when the record is no call.
    std::optional<std::string> portmapperCall(std::string_view message, std::uint16_t corePort);
    // A call on the core channel; nullopt when it is no call, or when the gateway drops the
    // connection here (the drop-mid-block fault).
    std::optional<std::string> coreCall(std::string_view message);

private:
    std::string createLink(std::string_view args);
    std::string deviceWrite(std::string_view args);
    std::string deviceRead(std::string_view args, bool& drop);
    std::string generic(std::string_view args, const char* event);
    std::string destroyLink(std::string_view args);
    bool present(std::uint32_t link) const;
    Clock::time_point deadline(std::uint32_t ioTimeoutMs) const;

    GatewayConfig config_;
    CommandLog& log_;
    BusTester tester_;
    Pacer pacer_;
    std::map<std::uint32_t, int> links_; // link id -> primary address
    std::uint32_t nextLink_ = 1;
};

// The record marking of ONC RPC on TCP: collects fragments and hands out whole records.
class RecordStream {
public:
    void append(std::string_view bytes) { buffer_.append(bytes); }
    // The next whole record; nullopt while it is incomplete. A record over 1 MiB fails the stream.
    std::optional<std::string> next();
    bool failed() const { return failed_; }

private:
    std::string buffer_;
    std::string record_;
    bool failed_ = false;
};

// A message as one last fragment.
std::string recordOf(std::string_view message);

} // namespace qlxsim
