#pragma once
// Messages on standard error, each starting with "qlxctl: ". Standard output carries only data.

#include "store/testersession.h"

#include <QString>

namespace qlx::cli {

enum ExitStatus { Done = 0, Failed = 1, Usage = 2, Unreachable = 3 };

void message(const QString& text);
// A message that --quiet suppresses.
void note(bool quiet, const QString& text);
// The tester could not be reached: the cause, then the cable advice for `bus`.
void reportUnreachable(Bus bus, const QString& cause);
// One line about a copy; true when the file is in the folder as the tester holds it.
bool reportTransfer(const QString& name, const TransferResult& result, bool quiet);

// How an exchange ended, in words for a message (Ok: it ended, but nothing came back).
QString outcomeText(Outcome outcome);
// Why a connect at `address` did not reach an accepted tester; empty when it did.
QString connectFailure(const ConnectResult& result, Bus bus, const QString& address);

} // namespace qlx::cli
