// qlxctl: the tester's hardcopies from the command line, on the window-free core.

#include "app/iniio.h"
#include "cli/commands.h"
#include "cli/options.h"
#include "cli/report.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <unistd.h>

#include <cstdio>
#include <memory>

using namespace qlx;
using namespace qlx::cli;

namespace {

// What must hold before anything goes over the bus; the exit status when it does not.
std::optional<int> precheck(const Options& o)
{
    if (o.command == Command::Delete && !o.yes && !::isatty(STDIN_FILENO)) {
        message(QStringLiteral("delete asks on a terminal before it deletes; without one, give --yes"));
        return Usage;
    }
    const bool writes = o.command == Command::Get || o.command == Command::Sync || o.command == Command::Move;
    if (writes && !QFileInfo(o.toDir).isDir()) {
        message(QStringLiteral("%1: no such folder").arg(o.toDir));
        return Usage;
    }
    return std::nullopt;
}

int run(const Run& r)
{
    const Options& o = r.options;
    if (o.command == Command::Discover)
        return discoverCommand(o);
    if (o.watchSeconds > 0)
        return o.command == Command::Move ? moveCommand(r) : syncCommand(r);
    const ConnectResult connected = r.session.connect(r.address);
    if (r.stop.received())
        return Failed;
    if (connected.failure != ConnectResult::None) {
        reportConnectFailure(r.session.bus(), connected);
        return Unreachable;
    }
    switch (o.command) {
    case Command::Identify:
        return identifyCommand(connected);
    case Command::List:
        return listCommand(r);
    case Command::Get:
        return getCommand(r);
    case Command::Sync:
        return syncCommand(r);
    case Command::Move:
        return moveCommand(r);
    case Command::Delete:
        return deleteCommand(r);
    case Command::Discover:
    case Command::None:
        break;
    }
    return Usage;
}

} // namespace

int main(int argc, char** argv)
{
    ignoreFileSizeSignal();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("QLXCopy"));

    const ParsedArguments parsed = parseArguments(QCoreApplication::arguments().mid(1));
    const Options& o = parsed.options;
    if (o.help) {
        std::fputs(qPrintable(helpText(o.command)), stdout);
        return Done;
    }
    if (o.version) {
        std::printf("qlxctl %d.%d.%d\n", QLX_VERSION_MAJOR, QLX_VERSION_MINOR, QLX_VERSION_REVISION);
        return Done;
    }
    if (!parsed.error.isEmpty()) {
        message(parsed.error + QStringLiteral("; \"qlxctl --help\" shows the usage"));
        return Usage;
    }
    if (const auto status = precheck(o))
        return *status;

    const QString programDir = QCoreApplication::applicationDirPath();
    const QString settingsFile = settingsFilePath(programDir);
    if (const QString refusal = settingsFileRefusal(settingsFile); !refusal.isEmpty()) {
        message(refusal);
        return Usage;
    }
    const Target target = resolveTarget(o, loadSettings(settingsFile, programDir));
    const auto progress =
        !o.quiet && target.bus == Bus::Serial && ::isatty(STDERR_FILENO) ? std::make_unique<ProgressLine>() : nullptr;
    TesterSession session(target.bus, progress.get());
    StopSignals stop([&session] {
        session.stop();
        QCoreApplication::exit();
    });
    OverwriteGuard guard(o.toDir, o.onConflict);
    const int status = run({session, target.address, o, stop, progress.get(), guard});
    session.close();
    return stop.received() ? stop.exitStatus() : status;
}
