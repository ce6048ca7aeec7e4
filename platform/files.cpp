#include "platform/files.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

namespace qlx {
namespace {

QString lastError() { return qt_error_string(errno); }

QString kindOf(mode_t mode)
{
    if (S_ISLNK(mode))
        return QStringLiteral("a symbolic link");
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    if (S_ISFIFO(mode))
        return QStringLiteral("a named pipe");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("a device");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    return QStringLiteral("not a regular file");
}

// A descriptor closed when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd;
};

// Opens the regular file at `path` for reading; -1 with `error` set for anything else. No link is
// followed, and a named pipe is opened without waiting for a writer and then refused.
int openRegular(const QByteArray& path, QString& error)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = errno == ELOOP ? kindOf(S_IFLNK) : lastError();
        return -1;
    }
    struct stat st {};
    const bool statted = ::fstat(fd, &st) == 0;
    if (statted && S_ISREG(st.st_mode))
        return fd;
    error = statted ? kindOf(st.st_mode) : lastError();
    ::close(fd);
    return -1;
}

std::optional<QByteArray> readAll(int fd, QString& error)
{
    QByteArray content;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0)
            return content;
        if (n < 0 && errno != EINTR) {
            error = lastError();
            return std::nullopt;
        }
        if (n > 0)
            content.append(buffer, n);
    }
}

// Every byte written, or why not.
QString writeAll(int fd, const QByteArray& data)
{
    qint64 done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) // a write that takes nothing without an error is a full disk or a file-size limit
            return QStringLiteral("only %1 of %2 bytes could be written (%3)")
                .arg(done)
                .arg(data.size())
                .arg(n < 0 ? lastError() : QStringLiteral("is the disk full?"));
        done += n;
    }
    return {};
}

QString syncFolder(const QString& path)
{
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    const Descriptor dir(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.fd() < 0 || ::fsync(dir.fd()) != 0)
        return QStringLiteral("the folder could not be synced to disk: %1").arg(lastError());
    return {};
}

// What has the name `path` now, in words.
QString takenBy(const QString& path)
{
    const PathEntry entry = lookAt(path);
    return entry.kind == PathEntry::File ? QStringLiteral("a file") : entry.what;
}

// A new, empty temporary file beside `path`, created so that it cannot be anything else.
int createTemporary(const QString& path, QByteArray& temporary, QString& error)
{
    const QString folder = QFileInfo(path).absolutePath();
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = QFile::encodeName(QStringLiteral("%1/.qlxcopy-%2.tmp")
                                          .arg(folder)
                                          .arg(QRandomGenerator::global()->generate64(), 16, 16, QLatin1Char('0')));
        const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) {
            if (fd < 0)
                error = lastError();
            return fd;
        }
    }
    error = QStringLiteral("no free name for a temporary file");
    return -1;
}

// Locks the file `fd` for us; false while another open file holds the lock. A file system without
// locks lets every writer have it.
bool takeLock(int fd)
{
    int locked;
    while ((locked = ::flock(fd, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
    }
    return locked == 0 || errno != EWOULDBLOCK;
}

// Whether the name `target` still is the empty regular file open as `held`.
bool stillNames(int held, const QByteArray& target)
{
    struct stat ours {};
    struct stat named {};
    return ::fstat(held, &ours) == 0 && ::lstat(target.constData(), &named) == 0 && S_ISREG(named.st_mode)
           && named.st_size == 0 && named.st_dev == ours.st_dev && named.st_ino == ours.st_ino;
}

// Renames `temporary` over the empty file `held`, which we hold locked, while the name `target`
// still is that file: that look is the last step before the rename.
FileWrite::Status renameOverHeld(int held, const QByteArray& temporary, const QByteArray& target)
{
    if (!stillNames(held, target))
        return FileWrite::NameTaken;
    return ::rename(temporary.constData(), target.constData()) == 0 ? FileWrite::Written : FileWrite::Failed;
}

// For file systems that can neither rename without replacing nor link (exFAT, FAT, SFTP shares
// without hard links): the name is reserved by creating it empty, which fails while anything has
// it, and locked at once; then the synced temporary file is renamed over this reservation.
FileWrite::Status reserveAndRename(const QByteArray& temporary, const QByteArray& target)
{
    const Descriptor reservation(
        ::open(target.constData(), O_RDONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (reservation.fd() < 0)
        return errno == EEXIST ? FileWrite::NameTaken : FileWrite::Failed;
    // Another writer that found it empty and unlocked in this instant took it as a leftover.
    if (!takeLock(reservation.fd()))
        return FileWrite::NameTaken;
    const FileWrite::Status status = renameOverHeld(reservation.fd(), temporary, target);
    const int cause = errno;
    if (status == FileWrite::Failed && stillNames(reservation.fd(), target))
        ::unlink(target.constData());
    errno = cause;
    return status;
}

// Gives `temporary` the name `target` only while nothing has it. A failure leaves its cause in errno.
FileWrite::Status linkNoReplace(const QByteArray& temporary, const QByteArray& target)
{
    if (::renameat2(AT_FDCWD, temporary.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0)
        return FileWrite::Written;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return errno == EEXIST ? FileWrite::NameTaken : FileWrite::Failed;
    // This file system has no rename that refuses to replace; a hard link refuses all the same.
    if (::link(temporary.constData(), target.constData()) == 0) {
        ::unlink(temporary.constData());
        return FileWrite::Written;
    }
    if (errno != EPERM && errno != ENOSYS && errno != EOPNOTSUPP)
        return errno == EEXIST ? FileWrite::NameTaken : FileWrite::Failed;
    return reserveAndRename(temporary, target);
}

// How long an empty file under the name may stay another writer's reservation: a writer holds
// one only while it renames a file that is already synced.
constexpr auto kReservationHeld = std::chrono::seconds(5);

// An empty file under the name is no copy but a reservation. One that another writer holds
// becomes that writer's file in a moment and is not ours to replace; one that nobody holds is what
// an interrupted write left, and is taken like a free name. A failure leaves its cause in errno
// (EWOULDBLOCK: another program kept holding it).
FileWrite::Status replaceReservation(const QByteArray& temporary, const QByteArray& target)
{
    const Descriptor held(::open(target.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (held.fd() < 0)
        return errno == ENOENT || errno == ELOOP ? FileWrite::NameTaken : FileWrite::Failed;
    const auto deadline = std::chrono::steady_clock::now() + kReservationHeld;
    while (!takeLock(held.fd())) {
        if (std::chrono::steady_clock::now() > deadline) {
            errno = EWOULDBLOCK;
            return FileWrite::Failed;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return renameOverHeld(held.fd(), temporary, target);
}

// Gives `temporary` the name `target`, which `existing` describes: a free name only while nothing
// has it, an empty file as a reservation (above), and a regular file with content (only where the
// caller replaces one) by a rename that replaces the name itself, never writing through a link,
// not even one that took the name a moment ago.
FileWrite::Status takeName(const QByteArray& temporary, const QByteArray& target, const PathEntry& existing)
{
    if (existing.kind != PathEntry::File)
        return linkNoReplace(temporary, target);
    if (existing.size == 0)
        return replaceReservation(temporary, target);
    return ::rename(temporary.constData(), target.constData()) == 0 ? FileWrite::Written : FileWrite::Failed;
}

// Why the name could not be given, from errno.
QString publishError()
{
    if (errno == EWOULDBLOCK)
        return QStringLiteral("another program holds the name as an empty file");
    return lastError();
}

// Writes and syncs `data` into the temporary file and gives it the name. Unless that succeeded,
// the temporary file is left for the caller to remove.
FileWrite publishFile(int fd, const QByteArray& temporary, const QString& path, const QByteArray& data, Publish publish)
{
    FileWrite result;
    const QByteArray target = QFile::encodeName(path);
    const PathEntry existing = lookAt(path);
    if (existing.kind == PathEntry::Other || (!existing.isFree() && publish == Publish::NoReplace)) {
        result.status = FileWrite::NameTaken;
        result.reason = takenBy(path);
        return result;
    }
    struct stat st {};
    if (existing.kind == PathEntry::File && ::lstat(target.constData(), &st) == 0)
        ::fchmod(fd, st.st_mode & 07777);
    result.reason = writeAll(fd, data);
    if (!result.reason.isEmpty())
        return result;
    if (::fsync(fd) != 0) {
        result.reason = QStringLiteral("the file could not be synced to disk: %1").arg(lastError());
        return result;
    }
    result.status = takeName(temporary, target, existing);
    if (result.status == FileWrite::NameTaken && publish == Publish::ReplaceFile) {
        const PathEntry now = lookAt(path);
        if (now.kind == PathEntry::File)
            result.status = takeName(temporary, target, now); // a file that took the free name a moment ago too
    }
    if (result.status == FileWrite::Failed)
        result.reason = publishError();
    else if (result.status == FileWrite::NameTaken)
        result.reason = takenBy(path);
    return result;
}

} // namespace

PathEntry lookAt(const QString& path)
{
    PathEntry entry;
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return entry;
    entry.kind = S_ISREG(st.st_mode) ? PathEntry::File : PathEntry::Other;
    if (entry.kind == PathEntry::File)
        entry.size = st.st_size;
    else
        entry.what = kindOf(st.st_mode);
    return entry;
}

std::optional<QByteArray> readRegularFile(const QString& path, QString* error)
{
    QString reason;
    const Descriptor file(openRegular(QFile::encodeName(path), reason));
    std::optional<QByteArray> content = file.fd() < 0 ? std::nullopt : readAll(file.fd(), reason);
    if (error)
        *error = reason;
    return content;
}

FileWrite writeWholeFile(const QString& path, const QByteArray& data, Publish publish)
{
    FileWrite result;
    QByteArray temporary;
    {
        const Descriptor file(createTemporary(path, temporary, result.reason));
        if (file.fd() < 0)
            return result;
        result = publishFile(file.fd(), temporary, path, data, publish);
    }
    if (result.status != FileWrite::Written) {
        ::unlink(temporary.constData());
        return result;
    }
    result.reason = proveOnDisk(path, data);
    if (!result.reason.isEmpty())
        result.status = FileWrite::Failed;
    return result;
}

QString proveOnDisk(const QString& path, const QByteArray& data)
{
    QString reason;
    const Descriptor file(openRegular(QFile::encodeName(path), reason));
    if (file.fd() < 0)
        return reason;
    const std::optional<QByteArray> content = readAll(file.fd(), reason);
    if (!content)
        return reason;
    if (*content != data)
        return QStringLiteral("the file does not hold the bytes received");
    if (::fsync(file.fd()) != 0)
        return QStringLiteral("the file could not be synced to disk: %1").arg(lastError());
    return syncFolder(path);
}

} // namespace qlx
