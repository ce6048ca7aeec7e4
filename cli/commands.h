#pragma once
// The commands of qlxctl on a connected session. Each returns its exit status.

#include "cli/options.h"
#include "cli/session.h"
#include "cli/signals.h"

namespace qlx::cli {

int identifyCommand(Session& session);
int listCommand(Session& session, const Options& options);
int getCommand(Session& session, const Options& options, const StopSignals& stop);
int syncCommand(Session& session, const Options& options, const StopSignals& stop);
int deleteCommand(Session& session, const Options& options, const StopSignals& stop);

// Copies the listed hardcopies that `folder` lacks or holds with another size; true when every
// one of them is there afterwards. `skip` holds the names and sizes not to try again.
bool syncOnce(Session& session, const QList<Hardcopy>& hardcopies, const Options& options, const StopSignals& stop,
              QHash<QString, qint64>* skip = nullptr);

} // namespace qlx::cli
