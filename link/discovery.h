#pragma once
// Finding testers on the IEEE bus: "*IDN?" at each primary address 1 to 30, through the NI-488.2
// library when one loads, through each "++" adapter and behind each LAN-GPIB gateway (VXI-11),
// with short time-outs.

#include <QHostAddress>
#include <QString>
#include <QStringList>

namespace qlx {

struct FoundTester {
    QString address;  // as the address box and --address take it
    QString identity; // the answer to "*IDN?", without its line end
};

// The adapters to search besides those given: the serial devices under `byIdFolder` whose names
// say "Prologix" or "GPIB" (other serial devices are not touched).
QStringList adaptersById(const QString& byIdFolder = QStringLiteral("/dev/serial/by-id"));

// The broadcast addresses of the local IPv4 networks (interfaces that are up, loopback aside).
QList<QHostAddress> localBroadcastAddresses();

// The gateways that answer, within `ms`, a portmapper call (UDP, rpc::portmapperPort()) for the
// VXI-11 core channel sent to each of `targets`: broadcast addresses, or single hosts.
QStringList gatewaysAnswering(const QList<QHostAddress>& targets, int ms = 1000);

// Every QLX tester that answers, in the order found. `adapters` are device paths or HOST[:PORT],
// `gateways` names or addresses; one that cannot be used is noted in *problems, and the search
// goes on. A GPIB board that fails on the PC ends the library's search at once, noted the same way.
QList<FoundTester> discoverTesters(const QStringList& adapters, const QStringList& gateways, QStringList* problems);

} // namespace qlx
