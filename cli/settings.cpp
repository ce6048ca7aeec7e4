#include "cli/settings.h"

#include "app/iniio.h"

namespace qlx::cli {

Target resolveTarget(const Options& options, const QString& settingsFile)
{
    QVariant route;
    IniAccess(settingsFile, QStringLiteral("Remote"), QStringLiteral("Route"), route, IniReadMode, true);
    QVariant path;
    IniAccess(settingsFile, QStringLiteral("Remote"), QStringLiteral("Path"), path, IniReadMode, QStringLiteral("20"));
    const Bus saved = route.toBool() ? Bus::Gpib : Bus::Serial;
    const Bus bus = options.bus.value_or(saved);
    if (options.address)
        return {bus, *options.address};
    if (bus == saved)
        return {bus, path.toString()};
    return {bus, bus == Bus::Gpib ? QStringLiteral("20") : QStringLiteral("1")};
}

} // namespace qlx::cli
