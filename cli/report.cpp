#include "cli/report.h"

#include <cstdio>

namespace qlx::cli {

void message(const QString& text)
{
    std::fprintf(stderr, "qlxctl: %s\n", qPrintable(text));
    std::fflush(stderr);
}

void note(bool quiet, const QString& text)
{
    if (!quiet)
        message(text);
}

void reportUnreachable(Bus bus, const QString& cause)
{
    message(cause);
    std::fprintf(stderr, "%s\n",
                 qPrintable(cableAdviceText(bus).replace(QStringLiteral("\r\n"), QStringLiteral("\n"))));
}

bool reportTransfer(const QString& name, const TransferResult& result, bool quiet)
{
    switch (result.status) {
    case TransferResult::Written:
        note(quiet, QStringLiteral("%1: copied, %2 bytes").arg(result.path).arg(result.bytes));
        return true;
    case TransferResult::Identical:
        note(quiet, QStringLiteral("%1: already there").arg(result.path));
        return true;
    case TransferResult::Kept:
        message(QStringLiteral("%1: a different file is already there; kept it, and %2 on the tester "
                               "(--overwrite replaces it, --rename writes beside it)")
                    .arg(result.path, name));
        return false;
    case TransferResult::NotAFile:
        message(QStringLiteral("%1: %2 has that name, not a file; left it alone, and %3 on the tester")
                    .arg(result.path, result.reason, name));
        return false;
    case TransferResult::Refused:
        message(QStringLiteral("%1: not copied: %2").arg(name, result.reason));
        return false;
    case TransferResult::LinkBroken:
        message(QStringLiteral("%1: not copied: %2")
                    .arg(name, result.reason.isEmpty() ? outcomeText(result.outcome) : result.reason));
        return false;
    case TransferResult::WriteFailed:
        message(QStringLiteral("%1: could not be written: %2").arg(result.path, result.reason));
        return false;
    }
    return false;
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
    case Outcome::Mismatch:
        return QStringLiteral("the block is not the size the listing gave");
    case Outcome::TooLarge:
        return QStringLiteral("the announced size is too large");
    case Outcome::ShortRead:
        return QStringLiteral("fewer bytes arrived than announced");
    case Outcome::Busy:
        return QStringLiteral("the bus is busy");
    }
    return {};
}

QString connectFailure(const ConnectResult& result, Bus bus, const QString& address)
{
    if (!result.openError.isEmpty())
        return result.openError;
    if (!result.opened)
        return bus == Bus::Gpib
                   ? QStringLiteral("the GPIB library or device at address %1 could not be opened").arg(address)
                   : QStringLiteral("the serial port \"%1\" could not be opened").arg(address);
    switch (result.id.verdict) {
    case Identification::Accepted:
        return {};
    case Identification::NoComma:
    case Identification::NoFirmware:
        return result.id.errorText;
    case Identification::NotATester:
        break;
    }
    if (result.idn.outcome != Outcome::Ok)
        return QStringLiteral("no tester answers at %1 (%2)").arg(address, outcomeText(result.idn.outcome));
    return result.idn.text.isEmpty()
               ? QStringLiteral("no tester answers at %1").arg(address)
               : QStringLiteral("\"%1\" is not a QLX tester").arg(QString::fromLatin1(result.idn.text));
}

} // namespace qlx::cli
