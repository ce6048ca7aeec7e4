#include "link/tester.h"

namespace qlx {

ConnectResult connectTester(Transport& transport, Bus bus, const QString& addressText, qint16* handle)
{
    ConnectResult result;
    if (bus == Bus::Gpib) {
        const std::optional<qint16> address = addressValue(addressText);
        result.opened = address && transport.openGpib(*address, handle);
        if (result.opened) {
            result.idn = transport.queryText(bus, QByteArrayLiteral("*IDN?"), 500);
            if (result.idn.outcome != Outcome::Aborted)
                transport.goToLocal(bus);
        }
    } else {
        result.opened = transport.openSerial(serialPortName(addressText));
        if (result.opened) {
            transport.sendCommand(bus, QByteArrayLiteral("*SEC 0"));
            result.idn = transport.queryText(bus, QByteArrayLiteral("*IDN?"), 0);
        }
    }
    result.id = identify(QString::fromLatin1(result.idn.text));
    return result;
}

} // namespace qlx
