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

bool reportStored(StoredFile::Status status, const QString& path, const QString& reason, const StoredWords& words,
                  bool quiet)
{
    switch (status) {
    case StoredFile::Written:
        note(quiet, QStringLiteral("%1: %2").arg(path, words.written));
        return true;
    case StoredFile::Identical:
        note(quiet, QStringLiteral("%1: %2").arg(path, words.identical));
        return true;
    case StoredFile::Kept:
        message(QStringLiteral("%1: a different file is already there; kept it, %2 "
                               "(--overwrite replaces it, --rename writes beside it)")
                    .arg(path, words.notWritten));
        return false;
    case StoredFile::NotAFile:
        message(
            QStringLiteral("%1: %2 has that name, not a file; left it alone, %3").arg(path, reason, words.notWritten));
        return false;
    case StoredFile::Refused:
    case StoredFile::WriteFailed:
        break;
    }
    message(QStringLiteral("%1: %2: %3").arg(path, words.failed, reason));
    return false;
}

bool reportTransfer(const QString& name, const TransferResult& result, bool quiet)
{
    switch (result.status) {
    case TransferResult::Refused:
        message(QStringLiteral("%1: not copied: %2").arg(name, result.reason));
        return false;
    case TransferResult::LinkBroken:
        message(QStringLiteral("%1: not copied: %2")
                    .arg(name, result.reason.isEmpty() ? outcomeText(result.outcome) : result.reason));
        return false;
    case TransferResult::Written:
    case TransferResult::Identical:
    case TransferResult::Kept:
    case TransferResult::NotAFile:
    case TransferResult::WriteFailed:
        break;
    }
    const StoredWords words{QStringLiteral("copied, %1 bytes").arg(result.bytes), QStringLiteral("already there"),
                            QStringLiteral("and %1 on the tester").arg(name), QStringLiteral("could not be written")};
    return reportStored(StoredFile::Status(result.status), result.path, result.reason, words, quiet);
}

} // namespace qlx::cli
