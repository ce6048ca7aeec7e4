#include "app/settings.h"

#include "app/iniio.h"

#include <QFileInfo>

namespace qlx {
namespace {

const QString kPath = QStringLiteral("Path");
const QString kFilePath = QStringLiteral("FilePath");
const QString kRemote = QStringLiteral("Remote");
const QString kRoute = QStringLiteral("Route");
const QString kAddress = QStringLiteral("Path");

} // namespace

QString defaultAddress(Bus bus) { return bus == Bus::Gpib ? QStringLiteral("20") : QStringLiteral("1"); }

Settings loadSettings(const QString& file, const QString& programDir)
{
    Settings settings;
    QVariant value;
    IniAccess(file, kPath, kFilePath, value, IniReadMode, programDir);
    settings.pcPath = QFileInfo(value.toString()).isDir() ? value.toString() : programDir;
    IniAccess(file, kRemote, kRoute, value, IniReadMode, true);
    settings.bus = value.toBool() ? Bus::Gpib : Bus::Serial;
    IniAccess(file, kRemote, kAddress, value, IniReadMode, defaultAddress(Bus::Gpib));
    settings.address = value.toString();
    return settings;
}

void saveSettings(const QString& file, const Settings& settings)
{
    QVariant value = settings.pcPath;
    IniAccess(file, kPath, kFilePath, value, IniWriteMode);
    value = settings.bus == Bus::Gpib;
    IniAccess(file, kRemote, kRoute, value, IniWriteMode);
    value = settings.address;
    IniAccess(file, kRemote, kAddress, value, IniWriteMode);
}

} // namespace qlx
