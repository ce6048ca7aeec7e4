#include "cli/session.h"

#include "link/tester.h"
#include "store/directory.h"
#include "store/names.h"
#include "store/transfer.h"

#include <algorithm>

namespace qlx::cli {

Session::Session(Bus bus, QString address, bool showProgress)
    : m_bus(bus),
      m_address(std::move(address)),
      m_progress(showProgress && bus == Bus::Serial ? std::make_unique<ProgressLine>() : nullptr),
      m_transport(m_progress.get())
{
}

QString Session::connect()
{
    const ConnectResult result = connectTester(m_transport, m_bus, m_address);
    m_id = result.id;
    m_idn = QString::fromLatin1(result.idn.text).trimmed();
    if (!result.opened)
        return m_bus == Bus::Gpib
                   ? QStringLiteral("the GPIB library or device at address %1 could not be opened").arg(m_address)
                   : QStringLiteral("the serial port \"%1\" could not be opened").arg(m_address);
    switch (m_id.verdict) {
    case Identification::Accepted:
        return {};
    case Identification::NoComma:
    case Identification::NoFirmware:
        return m_id.errorText;
    case Identification::NotATester:
        break;
    }
    if (result.idn.outcome != Outcome::Ok)
        return QStringLiteral("no tester answers at %1 (%2)").arg(m_address, outcomeText(result.idn.outcome));
    return result.idn.text.isEmpty()
               ? QStringLiteral("no tester answers at %1").arg(m_address)
               : QStringLiteral("\"%1\" is not a QLX tester").arg(QString::fromLatin1(result.idn.text));
}

QStringList Session::identityFields() const
{
    QStringList fields = m_idn.split(u',');
    for (QString& field : fields)
        field = field.trimmed();
    return fields;
}

std::optional<QList<Hardcopy>> Session::readDirectory(QString& error)
{
    const DirectoryAnswer directory = readTesterDirectory(m_transport, m_bus, m_id.canChangeDir);
    if (directory.answer.outcome != Outcome::Ok || directory.answer.text.isEmpty()) {
        error = QStringLiteral("the tester sent no directory listing (%1)").arg(outcomeText(directory.answer.outcome));
        return std::nullopt;
    }
    if (!directory.listing.directoryOk) {
        error = directoryAdvice();
        return std::nullopt;
    }
    QList<Hardcopy> hardcopies;
    for (qsizetype i = 0; i < directory.listing.hardcopies.size(); ++i)
        hardcopies.append({trimBlanks(directory.listing.hardcopies[i]), directory.listing.sizes.value(i, -1)});
    std::stable_sort(hardcopies.begin(), hardcopies.end(),
                     [](const Hardcopy& a, const Hardcopy& b) { return hardcopyNameLess(a.name, b.name); });
    return hardcopies;
}

TransferResult Session::fetch(const QString& name, const QString& folder, bool overwrite)
{
    const TransferResult result =
        transferHardcopy(m_transport, m_bus, name, folder, name, [overwrite] { return overwrite; });
    if (m_progress)
        m_progress->finish();
    return result;
}

void Session::goToLocal()
{
    if (m_transport.isOpen(m_bus))
        m_transport.goToLocal(m_bus);
}

QString outcomeText(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Ok:
        return QStringLiteral("no answer");
    case Outcome::TimedOut:
        return QStringLiteral("timed out");
    case Outcome::NotOpen:
        return QStringLiteral("the bus is not open");
    case Outcome::Aborted:
        return QStringLiteral("interrupted");
    case Outcome::Malformed:
        return QStringLiteral("malformed data block");
    case Outcome::TooLarge:
        return QStringLiteral("the announced size is too large");
    case Outcome::ShortRead:
        return QStringLiteral("fewer bytes arrived than announced");
    case Outcome::Busy:
        return QStringLiteral("the bus is busy");
    }
    return {};
}

} // namespace qlx::cli
