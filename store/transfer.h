#pragma once
// Copying one hardcopy from the tester into a PC folder, without a window: fetch the block,
// compare it with the file of that name in the folder, and write it so that the folder never holds
// a partial file. The window and the command-line tool add only how they ask and report.

#include "link/transport.h"

#include <QString>

#include <functional>

namespace qlx {

// MMEM:DATA? "NAME" with the name trimmed of blanks.
QByteArray dataRequestCommand(const QString& testerName);

// The PC folder, one "/" and the name trimmed of blanks; the "/" is added also when the folder
// already ends in one.
QString targetPath(const QString& pcFolder, const QString& pcName);

enum class PcCopy { Absent, Identical, Different };
// Compares `data` with the file at `path` in memory.
PcCopy comparePcCopy(const QString& path, const QByteArray& data);

// Writes `data` into a temporary file beside `path` and renames it over `path` once it is complete
// and flushed. On failure the old file is untouched, no temporary file remains, and the result
// is the reason; on success it is empty.
QString writeFileSafely(const QString& path, const QByteArray& data);

struct TransferResult {
    enum Status {
        Written,     // the PC file now holds the tester's bytes (it was new, or replaced after a yes)
        Identical,   // the PC folder already held exactly these bytes
        Kept,        // a different file was there and was kept
        Refused,     // the name could escape the PC folder or break the command; nothing was sent
        LinkBroken,  // no complete block arrived (see `outcome`); nothing was written
        WriteFailed, // the file could not be written (see `reason`); an older copy is unchanged
    };
    Status status = LinkBroken;
    Outcome outcome = Outcome::Ok; // how the data request ended on the bus
    QString path;                  // the target path; empty when refused
    QString reason;                // why it was refused or could not be written
    qint64 bytes = 0;              // data bytes received
};

// `askOverwrite` is called only when the folder holds a different file of that name; true
// replaces it.
TransferResult transferHardcopy(Transport& transport, Bus bus, const QString& testerName, const QString& pcFolder,
                                const QString& pcName, const std::function<bool()>& askOverwrite);

} // namespace qlx
