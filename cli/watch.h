#pragma once
// sync --watch: reads the directory at a fixed interval from a QTimer and copies what is new,
// until SIGINT or SIGTERM ends the event loop.

#include "cli/options.h"
#include "cli/session.h"
#include "cli/signals.h"

namespace qlx::cli {

// Returns once a stop signal has ended the event loop.
void watchCommand(Session& session, const Options& options, const StopSignals& stop);

} // namespace qlx::cli
