#pragma once
// The address of the tester on the IEEE bus, as the address box and `qlxctl --address` take it:
// a primary address reached through the NI-488.2 library ("20"), or a primary address behind a
// "++" protocol GPIB adapter on a serial device ("20@/dev/ttyUSB0") or on the network
// ("20@192.168.1.50", "20@gpib-lab:1234").

#include <QString>

#include <optional>

namespace qlx {

struct GpibAddress {
    enum Kind { Library, Device, Network };
    Kind kind = Library;
    int primary = 0;
    QString device;        // Device: the path, starting with "/"
    QString host;          // Network: the name or address
    quint16 port = 0;      // Network: the TCP port
    QString text() const;  // how it is written: "PAD", "PAD@DEVICE" or "PAD@HOST:PORT"
    QString where() const; // an adapter's device, or HOST:PORT
};

inline constexpr quint16 kAdapterPort = 1234; // the network adapter's port

// The address `text` names; nullopt when it is malformed. A plain number follows the library's
// rule (its leading numeric value, rounded); an adapter's primary address is 0 to 30 in digits.
std::optional<GpibAddress> parseGpibAddress(const QString& text);

} // namespace qlx
