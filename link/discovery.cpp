#include "link/discovery.h"

#include "link/adapter/gpibadapter.h"
#include "link/identify.h"
#include "link/ni488/gpiblibrary.h"
#include "link/vxi11/rpcclient.h"
#include "link/ni488/vbib32.h"
#include "link/vxi11/vxi11.h"
#include "link/vxi11/vxi11device.h"
#include "link/wait.h"

#include <QDir>
#include <QNetworkInterface>
#include <QRandomGenerator>
#include <QUdpSocket>

#include <algorithm>
#include <optional>

namespace qlx {
namespace {

constexpr int kFirstAddress = 1;
constexpr int kLastAddress = 30;
constexpr int kLibraryTimeoutCode = 10;          // 300 ms
constexpr AdapterTiming kSearchTiming{300, 500}; // one "++read eoi" an address
constexpr Vxi11Timing kGatewayTiming{300, 1000};

// "*IDN?" at each primary address through the device that `deviceAt` readies for it (null: none
// there; nullopt: the search ends). A fault on the PC's side ends the search too, noted in *problems.
template <typename DeviceAt, typename AddressText>
void askEachAddress(DeviceAt deviceAt, AddressText addressText, QList<FoundTester>& found, QStringList* problems)
{
    for (int pad = kFirstAddress; pad <= kLastAddress; ++pad) {
        const std::optional<GpibDevice*> device = deviceAt(pad);
        if (!device)
            return;
        if (!*device)
            continue;
        (*device)->write(QByteArrayLiteral("*IDN?"));
        const QString identity = QString::fromLatin1((*device)->readText(500, nullptr)).trimmed();
        if (identify(identity).verdict == Identification::Accepted) {
            found.append({addressText(pad), identity});
            (*device)->goToLocal();
        }
        if (const GpibFault fault = (*device)->fault(); fault.side == GpibFault::Pc) {
            problems->append(fault.text);
            return;
        }
    }
}

// Each address gets a descriptor of its own, given back before the next is asked for.
void searchLibrary(QList<FoundTester>& found, QStringList* problems)
{
    if (!vbib32::available())
        return;
    std::unique_ptr<GpibDevice> device;
    const auto deviceAt = [&](int pad) -> std::optional<GpibDevice*> {
        device.reset();
        OpenedDevice opened = openGpibLibraryDevice(pad, kLibraryTimeoutCode);
        if (opened.fault.side == GpibFault::Pc) {
            problems->append(opened.fault.text);
            return std::nullopt;
        }
        device = std::move(opened.device);
        return device.get();
    };
    askEachAddress(
        deviceAt, [](int pad) { return QString::number(pad); }, found, problems);
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
    const auto deviceAt = [&](int pad) -> std::optional<GpibDevice*> {
        adapter->setPrimaryAddress(pad);
        return adapter.get();
    };
    const auto addressText = [&](int pad) {
        address->primary = pad;
        return address->text();
    };
    askEachAddress(deviceAt, addressText, found, problems);
}

void searchGateway(const QString& host, QList<FoundTester>& found, QStringList* problems)
{
    QString error;
    if (!rpc::lookupPort(host, vxi11::kCoreProgram, vxi11::kCoreVersion, kGatewayTiming.connectMs, &error)) {
        problems->append(QStringLiteral("the LAN-GPIB gateway at %1: %2").arg(host, error));
        return;
    }
    std::unique_ptr<Vxi11Device> device;
    const auto deviceAt = [&](int pad) -> std::optional<GpibDevice*> {
        device.reset(); // one link at a time
        device = Vxi11Device::open(host, QByteArrayLiteral("gpib0,") + QByteArray::number(pad), &error, kGatewayTiming);
        return device.get();
    };
    askEachAddress(
        deviceAt, [&](int pad) { return gatewayResource(host, pad); }, found, problems);
}

} // namespace

QList<QHostAddress> localBroadcastAddresses()
{
    QList<QHostAddress> addresses;
    for (const QNetworkInterface& interface : QNetworkInterface::allInterfaces()) {
        const auto flags = interface.flags();
        if (!(flags & QNetworkInterface::IsUp) || !(flags & QNetworkInterface::CanBroadcast)
            || (flags & QNetworkInterface::IsLoopBack))
            continue;
        for (const QNetworkAddressEntry& entry : interface.addressEntries())
            if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol && !entry.broadcast().isNull())
                addresses << entry.broadcast();
    }
    return addresses;
}

QStringList gatewaysAnswering(const QList<QHostAddress>& targets, int ms)
{
    QUdpSocket socket;
    if (targets.isEmpty() || !socket.bind(QHostAddress(QHostAddress::AnyIPv4), 0))
        return {};
    const quint32 xid = QRandomGenerator::global()->generate();
    const QByteArray call =
        rpc::callMessage(xid, rpc::kPortmapper, rpc::kPortmapperVersion, rpc::kGetPort,
                         rpc::getPortArguments(vxi11::kCoreProgram, vxi11::kCoreVersion, rpc::kTcp));
    for (const QHostAddress& target : targets)
        socket.writeDatagram(call, target, rpc::portmapperPort());
    QStringList gateways;
    QObject::connect(&socket, &QUdpSocket::readyRead, &socket, [&] {
        while (socket.hasPendingDatagrams()) {
            QHostAddress sender;
            QByteArray datagram(int(std::clamp<qint64>(socket.pendingDatagramSize(), 0, 64 * 1024)), char(0));
            datagram.truncate(qMax<qint64>(0, socket.readDatagram(datagram.data(), datagram.size(), &sender)));
            const std::optional<rpc::Reply> reply = rpc::decodeReply(datagram);
            const std::optional<quint16> port =
                reply && reply->xid == xid && reply->results ? rpc::decodePort(*reply->results) : std::nullopt;
            const QString host = QHostAddress(sender.toIPv4Address()).toString();
            if (port && *port != 0 && !gateways.contains(host))
                gateways << host;
        }
    });
    Waiter().wait(ms);
    return gateways;
}

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

QList<FoundTester> discoverTesters(const QStringList& adapters, const QStringList& gateways, QStringList* problems)
{
    QList<FoundTester> found;
    searchLibrary(found, problems);
    for (const QString& adapter : adapters)
        searchAdapter(adapter, found, problems);
    for (const QString& gateway : gateways)
        searchGateway(gateway, found, problems);
    return found;
}

} // namespace qlx
