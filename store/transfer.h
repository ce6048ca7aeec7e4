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

// What becomes of the tester's bytes when the folder holds a different file of that name: nothing
// (the PC file is kept), they replace it, or they go beside it under the next free name
// "NAME_2.WMF", "NAME_3.WMF", ... (a name that already holds exactly these bytes is taken as it is).
enum class OnConflict { Keep, Overwrite, Rename };

// Normal: the file is written whole or not at all. Durable: besides, before the copy counts, it is
// read back and compared with the bytes received, and the file and its folder are synced to disk,
// also when the folder already held the file.
enum class Durability { Normal, Durable };

// The name beside `pcName` for the `n`th copy (n >= 2): "_n" before the last dot, or at the end.
QString numberedName(const QString& pcName, int n);

// Reads the file at `path` back, compares it with `data` and syncs the file and its folder to
// disk. Empty when all of that succeeded, else the reason.
QString proveOnDisk(const QString& path, const QByteArray& data);

struct TransferResult {
    enum Status {
        Written,     // the PC file now holds the tester's bytes (it was new, replaced or written beside)
        Identical,   // the PC folder already held exactly these bytes
        Kept,        // a different file was there and was kept
        Refused,     // the name could escape the PC folder or break the command; nothing was sent
        LinkBroken,  // no block that proves itself arrived (see `outcome` and `reason`); nothing was written
        WriteFailed, // the file could not be written (see `reason`); an older copy is unchanged
    };
    Status status = LinkBroken;
    Outcome outcome = Outcome::Ok; // how the data request ended on the bus
    QString path;                  // the PC file that holds (or kept) the bytes; empty when refused
    QString reason;                // why it was refused, not proven, or could not be written
    qint64 bytes = 0;              // data bytes received
};

// What the tester's answer must prove before it counts, besides being one whole block: the size the
// listing gave for the file (-1: it gave none), and how many reads of it must agree byte for byte
// (the serial line has no checksum: a garbled byte would otherwise be proven against itself).
struct BlockProof {
    qint64 listedSize = -1;
    int reads = 1;
};

// The file's data as `proof` asks; anything else is refused with the reason in `detail`.
DataAnswer fetchBlock(Transport& transport, Bus bus, const QString& testerName, const BlockProof& proof);

// `onConflict` is called only when the folder holds a different file of that name.
TransferResult transferHardcopy(Transport& transport, Bus bus, const QString& testerName, const QString& pcFolder,
                                const QString& pcName, const std::function<OnConflict()>& onConflict,
                                Durability durability = Durability::Normal, const BlockProof& proof = {});

} // namespace qlx
