#pragma once
// Messages on standard error, each starting with "qlxctl: ", with plain LF line ends (the core's
// texts break their lines with CR LF as the window shows them). Standard output carries only data.

#include "store/testersession.h"

#include <QString>

namespace qlx::cli {

enum ExitStatus {
    Done = 0,
    Failed = 1,      // a file failed or was kept
    Usage = 2,       // the command line or a folder it names
    Unreachable = 3, // no tester answered: cables, address, the tester's remote setup, or the PC's GPIB board
    NotSetUp = 4,    // the tester answered, but lists another directory than its print directory
};

void message(const QString& text);
// A message that --quiet suppresses.
void note(bool quiet, const QString& text);
// The tester could not be reached: the cause, then the cable advice for `bus`.
void reportUnreachable(Bus bus, const QString& cause);
// A connect that failed: its cause, then the cable advice, which a cause on the PC goes without.
void reportConnectFailure(Bus bus, const ConnectResult& result);
// What to call what became of a file stored into the folder: written, already there, what a file
// not written leaves undone, and what failed.
struct StoredWords {
    QString written;
    QString identical;
    QString notWritten;
    QString failed;
};
// One line about a file stored into the folder; true when it holds the bytes.
bool reportStored(StoredFile::Status status, const QString& path, const QString& reason, const StoredWords& words,
                  bool quiet);
// One line about a copy; true when the file is in the folder as the tester holds it.
bool reportTransfer(const QString& name, const TransferResult& result, bool quiet);

} // namespace qlx::cli
