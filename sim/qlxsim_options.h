// qlxsim's command line: one table (qlxsim_options.cpp) parses it and writes its --help, which is
// the simulator's manual, the environment that the simulated GPIB and VISA libraries read included.
#pragma once

#include <optional>
#include <string>

#include "sim/adapter_link.h"
#include "sim/gateway.h"
#include "sim/model.h"

namespace qlxsim {

struct Options {
    Config config;
    unsigned baud = 19200; // the pace of the pseudo-terminal, 8N1 (0: unpaced)
    std::string log = "-"; // as CommandLog::open takes it
    std::optional<AdapterConfig> adapter;
    std::optional<GatewayConfig> gateway;
    LinkOptions link; // the adapter's; tcpPort is also the gateway's portmapper port
};

// The options of the command line. --help prints the help and exits with 0; a fault in the line
// is reported and exits with 2.
Options parseOptions(int argc, char** argv);

// "qlxsim: MESSAGE" on standard error, then exit status 2.
[[noreturn]] void fail(const std::string& message);

} // namespace qlxsim
