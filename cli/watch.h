#pragma once
// sync --watch and move --watch: read the directory at a fixed interval from a QTimer and copy or
// move what is new, until SIGINT or SIGTERM ends the event loop.

#include "cli/commands.h"

namespace qlx::cli {

// Connects by itself (and again after the tester went away); returns once a stop signal has ended
// the event loop.
int watchCommand(const Run& run);

} // namespace qlx::cli
