#include "cli/report.h"

#include "cli/session.h"

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
        message(QStringLiteral("%1: a different file is already there; kept it (--overwrite replaces it)")
                    .arg(result.path));
        return false;
    case TransferResult::Refused:
        message(QStringLiteral("%1: not copied: %2").arg(name, result.reason));
        return false;
    case TransferResult::LinkBroken:
        message(QStringLiteral("%1: not copied: %2").arg(name, outcomeText(result.outcome)));
        return false;
    case TransferResult::WriteFailed:
        message(QStringLiteral("%1: could not be written: %2").arg(result.path, result.reason));
        return false;
    }
    return false;
}

} // namespace qlx::cli
