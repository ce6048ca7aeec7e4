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

enum class PcCopy {
    Absent,    // nothing has the name, or an empty file (no copy: see PathEntry::isFree)
    Identical, // a regular file with exactly these bytes
    Different, // a regular file with other bytes, or one that cannot be read
    NotAFile,  // a symbolic link, folder, named pipe or device: never a copy, never opened
};
// Compares `data` with what has the name `path`, without following a link or opening anything
// but a regular file.
PcCopy comparePcCopy(const QString& path, const QByteArray& data);

// What becomes of the tester's bytes when the folder holds a different file of that name: nothing
// (the PC file is kept), they replace it, or they go beside it under the next free name
// "NAME_2.WMF", "NAME_3.WMF", ... (a name that already holds exactly these bytes is taken as it is).
enum class OnConflict { Keep, Overwrite, Rename };

// A file is always written whole under a name no other writer takes at the same moment, synced
// and read back. Durable: a file that the folder already held is read back and synced to disk too.
enum class Durability { Normal, Durable };

// The name beside `pcName` for the `n`th copy (n >= 2): "_n" before the last dot, or at the end.
QString numberedName(const QString& pcName, int n);

// What became of a file stored into a PC folder (storeCopy below).
struct StoredFile {
    enum Status {
        Written,     // the name now holds the bytes (it was new, replaced or written beside)
        Identical,   // the folder already held exactly these bytes
        Kept,        // a different file was there and was kept
        NotAFile,    // a link, folder, named pipe or device has the name (see `reason`); left alone
        Refused,     // the numbered name beside it would be unsafe (see `reason`)
        WriteFailed, // see `reason`; whatever had the name is unchanged
    };
    Status status = WriteFailed;
    QString path;   // the file that holds (or kept) the bytes
    QString reason; // why it was not written
};

// What became of a hardcopy fetched into the folder: as for a stored file, with the same values,
// or no proven block at all.
struct TransferResult {
    enum Status {
        Written = StoredFile::Written,         // the PC file now holds the tester's bytes
        Identical = StoredFile::Identical,     // the PC folder already held exactly these bytes
        Kept = StoredFile::Kept,               // a different file was there and was kept
        NotAFile = StoredFile::NotAFile,       // a link, folder, named pipe or device has the name; left alone
        Refused = StoredFile::Refused,         // the name could escape the PC folder or break the command; nothing sent
        WriteFailed = StoredFile::WriteFailed, // the file could not be written (see `reason`); an older copy stays
        LinkBroken, // no block that proves itself arrived (see `outcome` and `reason`); nothing was written
    };
    Status status = LinkBroken;
    Outcome outcome = Outcome::Ok; // how the data request ended on the bus
    QString path;                  // the PC file that holds (or kept) the bytes; empty when refused
    QString reason;                // why it was refused, not proven, or could not be written
    qint64 bytes = 0;              // data bytes received
    QByteArray data;               // Written or Identical: the bytes the tester's block proved
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

// The PC side of a copy: `data` into `pcFolder` as `pcName`. A new file takes the name only while
// nothing has it; when another writer takes it first, its file is compared like any other.
// `onConflict` is called once, and only when the folder holds a different regular file of that
// name; anything else under the name is kept (NotAFile).
StoredFile storeCopy(const QString& pcFolder, const QString& pcName, const QByteArray& data,
                     const std::function<OnConflict()>& onConflict, Durability durability);

// `onConflict` is called only when the folder holds a different file of that name.
TransferResult transferHardcopy(Transport& transport, Bus bus, const QString& testerName, const QString& pcFolder,
                                const QString& pcName, const std::function<OnConflict()>& onConflict,
                                Durability durability = Durability::Normal, const BlockProof& proof = {});

} // namespace qlx
