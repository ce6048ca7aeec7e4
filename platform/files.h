#pragma once
// The one way the program writes a file (hardcopies, pictures, the settings file): whole, synced
// to disk, under a name that no other writer can take at the same moment, and never through a
// symbolic link. And reading a file without following a link or waiting on a named pipe.
// QtCore only, so that the metafile engine can use it too.

#include <QByteArray>
#include <QString>

#include <optional>

namespace qlx {

// What has a name, looked at without following a symbolic link and without opening it.
struct PathEntry {
    enum Kind {
        None,  // nothing has the name, or it cannot be looked at (a write there then fails with the cause)
        File,  // a regular file
        Other, // a symbolic link, folder, named pipe, device or socket
    };
    Kind kind = None;
    QString what;     // Other: "a symbolic link", "a folder", "a named pipe", "a device" or "a socket"
    qint64 size = -1; // File: its size in bytes

    // Nothing, or an empty regular file: never a copy, and a name that a write takes as a free one
    // (on some file systems an interrupted write leaves an empty file; see writeWholeFile).
    bool isFree() const { return kind == None || (kind == File && size == 0); }
};
PathEntry lookAt(const QString& path);

// The whole content of the regular file at `path`; nullopt, with the reason in `error`, for
// anything else (a link is not followed, a named pipe or device is not waited on) or a read error.
std::optional<QByteArray> readRegularFile(const QString& path, QString* error = nullptr);

enum class Publish {
    NoReplace,   // the file takes the name only while nothing has it
    ReplaceFile, // the file also replaces a regular file of that name (keeping its permissions)
};

struct FileWrite {
    enum Status {
        Written,   // the name now holds exactly `data`, read back and synced to disk
        NameTaken, // something has the name (see `reason`); it is unchanged and nothing was written
        Failed,    // see `reason`; whatever had the name is unchanged
    };
    Status status = Failed;
    QString reason;
};

// Writes `data` into a new temporary file in the folder of `path`, syncs it and then gives it the
// name, as `publish` allows: by a rename that never replaces, or, where the file system refuses
// that, a hard link, or, where it has neither (exFAT, FAT, SFTP shares without hard links), by
// reserving the name as an empty file held locked and renaming over that reservation. ReplaceFile
// also renames over a regular file. An empty file under the name counts as a reservation: one
// that another writer holds is waited for (briefly) and never replaced, one that nobody holds is
// taken like a free name. Anything other than a regular file under the name is never replaced or
// written through. Then the folder is synced and the file is read back under its name. No
// temporary file remains.
FileWrite writeWholeFile(const QString& path, const QByteArray& data, Publish publish);

// Reads the regular file at `path` back, compares it with `data` and syncs the file and its folder
// to disk. Empty when all of that succeeded, else the reason.
QString proveOnDisk(const QString& path, const QByteArray& data);

} // namespace qlx
