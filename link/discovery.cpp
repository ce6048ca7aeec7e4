#include "link/discovery.h"

#include "link/gpibadapter.h"
#include "link/identify.h"
#include "link/gpiblibrary.h"
#include "link/vbib32.h"

#include <QDir>

namespace qlx {
namespace {

constexpr int kFirstAddress = 1;
constexpr int kLastAddress = 30;
constexpr int kLibraryTimeoutCode = 10;          // 300 ms
constexpr AdapterTiming kSearchTiming{300, 500}; // one "++read eoi" an address

// "*IDN?" at each primary address through the device that `deviceAt` readies for it (null: none).
template <typename DeviceAt, typename AddressText>
void askEachAddress(DeviceAt deviceAt, AddressText addressText, QList<FoundTester>& found)
{
    for (int pad = kFirstAddress; pad <= kLastAddress; ++pad) {
        GpibDevice* device = deviceAt(pad);
        if (!device)
            continue;
        device->write(QByteArrayLiteral("*IDN?"));
        const QString identity = QString::fromLatin1(device->readText(500, nullptr)).trimmed();
        if (identify(identity).verdict == Identification::Accepted) {
            found.append({addressText(pad), identity});
            device->goToLocal();
        }
    }
}

void searchLibrary(QList<FoundTester>& found)
{
    if (!vbib32::available())
        return;
    std::unique_ptr<GpibDevice> device;
    const auto deviceAt = [&](int pad) {
        device = openGpibLibraryDevice(pad, nullptr, kLibraryTimeoutCode);
        return device.get();
    };
    askEachAddress(
        deviceAt, [](int pad) { return QString::number(pad); }, found);
}

void searchAdapter(const QString& where, QList<FoundTester>& found, QStringList* problems)
{
    std::optional<GpibAddress> address = parseGpibAddress(QStringLiteral("0@") + where);
    if (!address) {
        problems->append(QStringLiteral("\"%1\" is no adapter: give a device path or HOST[:PORT]").arg(where));
        return;
    }
    QString error;
    const std::unique_ptr<GpibAdapter> adapter = GpibAdapter::open(*address, &error, kSearchTiming);
    if (!adapter) {
        problems->append(error);
        return;
    }
    const auto deviceAt = [&](int pad) {
        adapter->setPrimaryAddress(pad);
        return adapter.get();
    };
    const auto addressText = [&](int pad) {
        address->primary = pad;
        return address->text();
    };
    askEachAddress(deviceAt, addressText, found);
}

} // namespace

QStringList adaptersById(const QString& byIdFolder)
{
    QStringList devices;
    const QDir folder(byIdFolder);
    for (const QString& name : folder.entryList(QDir::Files | QDir::System, QDir::Name)) {
        if (name.contains(QStringLiteral("Prologix"), Qt::CaseInsensitive)
            || name.contains(QStringLiteral("GPIB"), Qt::CaseInsensitive))
            devices << folder.filePath(name);
    }
    return devices;
}

QList<FoundTester> discoverTesters(const QStringList& adapters, QStringList* problems)
{
    QList<FoundTester> found;
    searchLibrary(found);
    for (const QString& adapter : adapters)
        searchAdapter(adapter, found, problems);
    return found;
}

} // namespace qlx
