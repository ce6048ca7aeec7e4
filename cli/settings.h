#pragma once
// Where qlxctl finds the tester when --bus or --address is not given: the window's settings file.

#include "cli/options.h"

namespace qlx::cli {

struct Target {
    Bus bus;
    QString address;
};

// The bus and address from `options`, else from the "Remote" section of `settingsFile`: "Route"
// (true = IEEE, the default) and "Path" (default 20). When --bus names the other bus than the
// file, the address defaults as the window sets it on a change of bus: 20 for IEEE, 1 for COM.
Target resolveTarget(const Options& options, const QString& settingsFile);

} // namespace qlx::cli
