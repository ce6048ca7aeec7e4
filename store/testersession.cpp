#include "store/testersession.h"

#include "platform/files.h"
#include "store/names.h"

#include <QStringList>

#include <algorithm>
#include <utility>

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

namespace {

// What went wrong at `address`, once for the window and qlxctl alike.
void explainFailure(ConnectResult& result, Bus bus, const QString& address)
{
    if (!result.openError.isEmpty()) {
        result.failure = ConnectResult::OpenRefused;
        result.failureText = result.openError;
    } else if (result.fault.side == GpibFault::Pc && result.id.verdict != Identification::Accepted) {
        result.failure = ConnectResult::PcSide;
        result.failureText = result.fault.text;
    } else if (!result.opened) {
        result.failure = ConnectResult::NotOpened;
        result.failureText =
            bus == Bus::Gpib
                ? QStringLiteral("the GPIB library or device at address %1 could not be opened").arg(address)
                : QStringLiteral("the serial port \"%1\" could not be opened").arg(address);
    } else if (result.id.verdict == Identification::Accepted) {
        result.failure = ConnectResult::None;
    } else if (result.id.verdict != Identification::NotATester) {
        result.failure = ConnectResult::BadAnswer;
        result.failureText = result.id.errorText;
    } else {
        result.failure = ConnectResult::NoTester;
        if (result.idn.outcome != Outcome::Ok)
            result.failureText =
                QStringLiteral("no tester answers at %1 (%2)").arg(address, outcomeText(result.idn.outcome));
        else if (result.idn.text.isEmpty() && result.fault.side == GpibFault::Tester)
            result.failureText = QStringLiteral("no tester answers at %1 (%2)").arg(address, result.fault.text);
        else if (result.idn.text.isEmpty())
            result.failureText = QStringLiteral("no tester answers at %1").arg(address);
        else
            result.failureText = QStringLiteral("\"%1\" is not a QLX tester").arg(QString::fromLatin1(result.idn.text));
    }
}

} // namespace

ConnectResult TesterSession::connect(const QString& addressText)
{
    m_proven.reset();
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
        result.fault = m_transport.gpibFault();
    } else {
        result.opened = m_transport.openSerial(serialPortName(addressText));
        if (result.opened) {
            m_transport.sendCommand(m_bus, QByteArrayLiteral("*SEC 0"));
            result.idn = m_transport.queryText(m_bus, QByteArrayLiteral("*IDN?"), 0);
        }
    }
    result.id = identify(QString::fromLatin1(result.idn.text));
    m_id = result.id;
    explainFailure(result, m_bus, addressText);
    if (m_bus == Bus::Serial && result.failure == ConnectResult::None)
        m_transport.setSerialIdentity(result.idn.text);
    if (result.idn.outcome != Outcome::Aborted) // an interrupted connect changes nothing
        m_connected = result.failure == ConnectResult::None;
    return result;
}

DirectoryAnswer TesterSession::readDirectory()
{
    m_proven.reset();
    DirectoryAnswer directory = readTesterDirectory(m_transport, m_bus, m_id.canChangeDir);
    m_listedSizes.clear();
    for (const Hardcopy& hardcopy : sortedHardcopies(directory.listing))
        if (hardcopy.size >= 0)
            m_listedSizes.insert(hardcopy.name, hardcopy.size);
    return directory;
}

TransferResult TesterSession::fetch(const QString& testerName, const QString& pcFolder, const QString& pcName,
                                    const std::function<OnConflict()>& onConflict, Durability durability, int reads)
{
    m_proven.reset();
    const BlockProof proof{m_listedSizes.value(trimBlanks(testerName), -1), reads};
    const TransferResult result =
        transferHardcopy(m_transport, m_bus, testerName, pcFolder, pcName, onConflict, durability, proof);
    if (result.status == TransferResult::Written || result.status == TransferResult::Identical)
        m_proven = Proven{trimBlanks(testerName), result.path, result.data};
    if (m_bus == Bus::Gpib && !m_batch && result.outcome != Outcome::Aborted)
        m_transport.goToLocal(m_bus);
    return result;
}

void TesterSession::endBatch(bool closing)
{
    m_batch = false;
    if (m_bus == Bus::Gpib && !closing)
        m_transport.goToLocal(m_bus);
}

DeleteResult TesterSession::remove(const QString& testerName)
{
    m_proven.reset();
    return deleteOnTester(m_transport, m_bus, testerName);
}

DeleteResult TesterSession::removeCopied(const QString& testerName)
{
    const std::optional<Proven> proven = std::exchange(m_proven, std::nullopt);
    DeleteResult refused;
    if (!proven || proven->testerName != trimBlanks(testerName)) {
        refused.refusedReason = QStringLiteral("it was not the last file copied");
        return refused;
    }
    QString error;
    const std::optional<QByteArray> onDisk = readRegularFile(proven->path, &error);
    if (!onDisk)
        refused.refusedReason = QStringLiteral("its copy %1 cannot be read back: %2").arg(proven->path, error);
    else if (*onDisk != proven->data)
        refused.refusedReason =
            QStringLiteral("its copy %1 no longer holds the bytes the tester sent").arg(proven->path);
    if (!refused.refusedReason.isEmpty())
        return refused;
    return deleteOnTester(m_transport, m_bus, testerName);
}

void TesterSession::close()
{
    if (m_bus == Bus::Gpib) {
        m_transport.closeGpib(m_connected);
    } else if (m_transport.serialOpen()) {
        m_transport.goToLocal(m_bus);
        m_transport.closeSerial();
    }
}

QString cableAdviceText(Bus bus)
{
    QStringList lines{QStringLiteral("ERROR! Please check cables and QLX interface setup")};
    if (bus == Bus::Gpib) {
        lines << QStringLiteral("SETUP -> REMOTE -> SCPI Connection -> Port must be set to GPIB");
    } else {
        lines << QStringLiteral("SETUP -> REMOTE -> SCPI Connection -> Port must be set to COM1/2") << QString()
              << QStringLiteral("Serial interface setup on QLX:") << QStringLiteral("Baudrate\t\t19200")
              << QStringLiteral("DataBits\t\t8") << QStringLiteral("StopBits\t\t1") << QStringLiteral("Parity\t\tnone")
              << QStringLiteral("Protocol\t\tnone");
    }
    return lines.join(QStringLiteral("\r\n"));
}

} // namespace qlx
