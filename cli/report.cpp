#include "cli/report.h"

#include <cstdio>

namespace qlx::cli {

namespace {

// The one way to standard error: no CR reaches a terminal.
void writeLines(const QString& text)
{
    std::fprintf(stderr, "%s\n", qPrintable(QString(text).remove(u'\r')));
    std::fflush(stderr);
}

} // namespace

void message(const QString& text) { writeLines(QStringLiteral("qlxctl: ") + text); }

void note(bool quiet, const QString& text)
{
    if (!quiet)
        message(text);
}

void reportUnreachable(Bus bus, const QString& cause)
{
    message(cause);
    writeLines(cableAdviceText(bus));
}

void reportConnectFailure(Bus bus, const ConnectResult& result)
{
    if (result.failure == ConnectResult::PcSide)
        message(result.failureText);
    else
        reportUnreachable(bus, result.failureText);
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

} // namespace qlx::cli
