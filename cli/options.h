#pragma once
// The command line of qlxctl, parsed without side effects so that tests can call it directly.

#include "app/settings.h"
#include "store/transfer.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace qlx::cli {

enum class Command { None, Identify, List, Get, Sync, Move, Delete, Discover };

struct Options {
    std::optional<Bus> bus;         // unset: the window's settings decide
    std::optional<QString> address; // unset: the window's settings decide
    bool quiet = false;
    bool help = false;
    bool version = false;
    Command command = Command::None;
    QStringList names;
    bool all = false;
    bool json = false;
    QString toDir = QStringLiteral(".");
    OnConflict onConflict = OnConflict::Keep; // --overwrite, --rename
    bool trustSize = false;                   // sync: an equal size counts as the same file
    int watchSeconds = 0;                     // 0: one pass
    QString convert;                          // get, sync, move: "png", "svg" or "pdf" beside each file written
    QStringList adapters;                     // discover: --adapter, in the order given
    QStringList gateways;                     // discover: --gateway, in the order given
    bool noBroadcast = false;                 // discover: ask only the gateways given
    bool yes = false;
};

struct ParsedArguments {
    Options options;
    QString error; // empty when the arguments are valid
};

// `arguments` without the program name.
ParsedArguments parseArguments(const QStringList& arguments);

// The help text for a command; Command::None gives the program's.
QString helpText(Command command);

// The bus and the address: those the options give, else those the window last used (`saved`).
// When --bus names the other bus, the address defaults as the window sets it on a change of bus.
struct Target {
    Bus bus;
    QString address;
};
Target resolveTarget(const Options& options, const Settings& saved);

} // namespace qlx::cli
