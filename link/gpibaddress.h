#pragma once
// The address of the tester on the IEEE bus, as the address box and `qlxctl --address` take it:
// a primary address reached through the NI-488.2 library ("20"), or a primary address behind a
// "++" protocol GPIB adapter on a serial device ("20@/dev/ttyUSB0") or on the network
// ("20@192.168.1.50", "20@gpib-lab:1234"), or a VISA resource string: "GPIB0::20::INSTR" (a GPIB
// board of a VISA library) or "TCPIP0::10.1.2.3::gpib0,20::INSTR" (the tester behind a LAN-GPIB
// gateway, through VISA or spoken to natively). And the serial port the address box names.

#include <QString>

#include <optional>

namespace qlx {

struct GpibAddress {
    enum Kind { Library, Device, Network, VisaGpib, VisaTcpip };
    Kind kind = Library;
    int primary = 0;
    QString device;           // Device: the path, starting with "/"
    QString host;             // Network, VisaTcpip: the name or address
    quint16 port = 0;         // Network: the TCP port
    QString resource;         // VisaGpib, VisaTcpip: the resource string as typed (trimmed)
    QByteArray gatewayDevice; // VisaTcpip: the device behind the gateway, "gpib0,PAD"
    // How it is written: "PAD", "PAD@DEVICE", "PAD@HOST:PORT" or the resource string.
    QString text() const;
    QString where() const; // an adapter's device, or HOST:PORT
    bool isResource() const { return kind == VisaGpib || kind == VisaTcpip; }
};

inline constexpr quint16 kAdapterPort = 1234; // the network adapter's port

// The address `text` names; nullopt when it is malformed. A plain number follows the library's
// rule (its leading numeric value, rounded); an adapter's primary address is 0 to 30 in digits.
// A resource string is read case-insensitively, as VISA reads it: GPIB[n]::PAD[::SAD][::INSTR]
// and TCPIP[n]::HOST::gpibN,PAD[::INSTR], PAD and SAD 0 to 30.
std::optional<GpibAddress> parseGpibAddress(const QString& text);

// The resource string of the tester at `primary` behind the gateway at `host`.
QString gatewayResource(const QString& host, int primary);

// Port for the address box: a number N is the platform's Nth port ("COMN", "/dev/ttyS<N-1>"),
// a text starting with "/" is a device path as it stands; anything else gives the empty text.
QString serialPortName(const QString& addressText);

// The address box as a number: its leading numeric value (leadingNumber), rounded half to even;
// "" or non-numeric text gives 0. A value outside the signed 16-bit range gives nullopt.
std::optional<qint16> addressValue(const QString& text);

} // namespace qlx
