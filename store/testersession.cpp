#include "store/testersession.h"

#include "store/names.h"

#include <algorithm>

namespace qlx {

QList<Hardcopy> sortedHardcopies(const Listing& listing)
{
    QList<Hardcopy> hardcopies;
    for (qsizetype i = 0; i < listing.hardcopies.size(); ++i)
        hardcopies.append({trimBlanks(listing.hardcopies[i]), listing.sizes.value(i, -1)});
    std::stable_sort(hardcopies.begin(), hardcopies.end(),
                     [](const Hardcopy& a, const Hardcopy& b) { return hardcopyNameLess(a.name, b.name); });
    return hardcopies;
}

TesterSession::TesterSession(Bus bus, TransportObserver* observer) : m_bus(bus), m_transport(observer) {}

ConnectResult TesterSession::connect(const QString& addressText)
{
    ConnectResult result;
    if (m_bus == Bus::Gpib) {
        const std::optional<GpibAddress> address = parseGpibAddress(addressText);
        if (!address && addressText.contains(u'@'))
            result.openError = QStringLiteral("\"%1\" is no GPIB address: give the tester's primary address (0 to "
                                              "30), with @DEVICE or @HOST[:PORT] for an adapter")
                                   .arg(addressText.trimmed());
        else if (!address && addressText.contains(QStringLiteral("::")))
            result.openError = QStringLiteral("\"%1\" is no VISA resource string this program takes: give "
                                              "GPIB0::PAD::INSTR or TCPIP0::HOST::gpib0,PAD::INSTR (PAD 0 to 30)")
                                   .arg(addressText.trimmed());
        result.opened = address && m_transport.openGpib(*address, &result.deviceHandle, &result.openError);
        if (result.opened) {
            result.idn = m_transport.queryText(m_bus, QByteArrayLiteral("*IDN?"), 500);
            if (result.idn.outcome != Outcome::Aborted)
                m_transport.goToLocal(m_bus);
        }
    } else {
        result.opened = m_transport.openSerial(serialPortName(addressText));
        if (result.opened) {
            m_transport.sendCommand(m_bus, QByteArrayLiteral("*SEC 0"));
            result.idn = m_transport.queryText(m_bus, QByteArrayLiteral("*IDN?"), 0);
        }
    }
    result.id = identify(QString::fromLatin1(result.idn.text));
    m_id = result.id;
    return result;
}

DirectoryAnswer TesterSession::readDirectory() { return readTesterDirectory(m_transport, m_bus, m_id.canChangeDir); }

TransferResult TesterSession::fetch(const QString& testerName, const QString& pcFolder, const QString& pcName,
                                    const std::function<OnConflict()>& onConflict, Durability durability)
{
    return transferHardcopy(m_transport, m_bus, testerName, pcFolder, pcName, onConflict, durability);
}

DeleteResult TesterSession::remove(const QString& testerName) { return deleteOnTester(m_transport, m_bus, testerName); }

Outcome TesterSession::goToLocal() { return m_transport.goToLocal(m_bus); }

} // namespace qlx
