#pragma once
// The commands of qlxctl on a connected tester. Each returns its exit status.

#include "cli/options.h"
#include "cli/overwriteguard.h"
#include "cli/progress.h"
#include "cli/report.h"
#include "cli/signals.h"
#include "store/testersession.h"

#include <optional>

namespace qlx::cli {

// What every command works with.
struct Run {
    TesterSession& session;
    QString address; // where the session connects
    const Options& options;
    const StopSignals& stop;
    ProgressLine* progress; // the serial transfer's progress line, or null
    OverwriteGuard& guard;  // what --overwrite may replace
};

// One hardcopy into the folder that the options name, under its own name, as they say about a
// different file there; the progress line ends with it.
TransferResult fetchHardcopy(const Run& run, const Hardcopy& hardcopy, Durability durability = Durability::Normal,
                             int reads = 1);

int identifyCommand(const ConnectResult& connected);
int listCommand(const Run& run);
int getCommand(const Run& run);
int syncCommand(const Run& run);
int moveCommand(const Run& run);
int deleteCommand(const Run& run);
// Needs no connected tester: searches the bus.
int discoverCommand(const Options& options);

// The listed hardcopy that `wanted` names: the one of exactly that name, else the only one whose
// name differs from it in case alone; nullopt, with the reason in `why`, when there is none of
// either or several in other case.
std::optional<Hardcopy> findListed(const QList<Hardcopy>& hardcopies, const QString& wanted, QString& why);

// Why the print directory could not be read, and the exit status that says so.
struct DirectoryFailure {
    QString text;
    ExitStatus status = Unreachable;
};

// The print directory in the tester's order; nullopt, with the cause in `failure`, when it cannot be read
// or the answer is no directory listing at all.
std::optional<QList<Hardcopy>> listHardcopies(TesterSession& session, DirectoryFailure& failure);

} // namespace qlx::cli
