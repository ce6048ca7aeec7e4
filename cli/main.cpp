// qlxctl: the tester's hardcopies from the command line, on the window's core without a window.

#include "app/iniio.h"
#include "cli/commands.h"
#include "cli/options.h"
#include "cli/report.h"
#include "cli/settings.h"
#include "cli/watch.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <unistd.h>

#include <cstdio>

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
    if ((o.command == Command::Get || o.command == Command::Sync) && !QFileInfo(o.toDir).isDir()) {
        message(QStringLiteral("%1: no such folder").arg(o.toDir));
        return Usage;
    }
    return std::nullopt;
}

int run(Session& session, const Options& o, const StopSignals& stop)
{
    if (o.command == Command::Sync && o.watchSeconds > 0) {
        watchCommand(session, o, stop);
        return Done;
    }
    const QString error = session.connect();
    if (stop.received())
        return Failed;
    if (!error.isEmpty()) {
        reportUnreachable(session.bus(), error);
        return Unreachable;
    }
    switch (o.command) {
    case Command::Identify:
        return identifyCommand(session);
    case Command::List:
        return listCommand(session, o);
    case Command::Get:
        return getCommand(session, o, stop);
    case Command::Sync:
        return syncCommand(session, o, stop);
    case Command::Delete:
        return deleteCommand(session, o, stop);
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

    const Target target = resolveTarget(o, settingsFilePath(QCoreApplication::applicationDirPath()));
    Session session(target.bus, target.address, !o.quiet && ::isatty(STDERR_FILENO));
    StopSignals stop([&session] {
        session.transport().abort();
        QCoreApplication::exit();
    });
    const int status = run(session, o, stop);
    session.goToLocal();
    return stop.received() ? stop.exitStatus() : status;
}
