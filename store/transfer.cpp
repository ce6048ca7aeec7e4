#include "store/transfer.h"

#include "platform/files.h"
#include "store/names.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace qlx {

QByteArray dataRequestCommand(const QString& testerName)
{
    return QByteArrayLiteral("MMEM:DATA? \"") + trimBlanks(testerName).toLatin1() + '"';
}

QString targetPath(const QString& pcFolder, const QString& pcName) { return pcFolder + u'/' + trimBlanks(pcName); }

PcCopy comparePcCopy(const QString& path, const QByteArray& data)
{
    QFile file(path);
    if (!file.exists())
        return PcCopy::Absent;
    // Only a file that can be read whole and matches byte for byte is the same file.
    if (file.size() != data.size() || !file.open(QIODevice::ReadOnly))
        return PcCopy::Different;
    return file.readAll() == data ? PcCopy::Identical : PcCopy::Different;
}

QString numberedName(const QString& pcName, int n)
{
    const QString name = trimBlanks(pcName);
    const QString suffix = QStringLiteral("_%1").arg(n);
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot < 0 ? name + suffix : name.left(dot) + suffix + name.mid(dot);
}

namespace {

QString syncError(const QString& what)
{
    return QStringLiteral("%1 could not be synced to disk: %2").arg(what, qt_error_string(errno));
}

} // namespace

QString proveOnDisk(const QString& path, const QByteArray& data)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return file.errorString();
    if (file.size() != data.size() || file.readAll() != data)
        return QStringLiteral("the file does not hold the bytes received");
    if (::fsync(file.handle()) != 0)
        return syncError(QStringLiteral("the file"));
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return syncError(QStringLiteral("the folder"));
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced ? QString() : syncError(QStringLiteral("the folder"));
}

DataAnswer fetchBlock(Transport& transport, Bus bus, const QString& testerName, const BlockProof& proof)
{
    const QByteArray request = dataRequestCommand(testerName);
    DataAnswer first = transport.queryData(bus, request, proof.listedSize);
    // On the serial line an empty block cannot be told from one whose data never came.
    if (bus == Bus::Serial && first.outcome == Outcome::Ok && first.data.isEmpty())
        return {{}, Outcome::Malformed, QStringLiteral("the block is empty")};
    for (int read = 2; read <= proof.reads && first.outcome == Outcome::Ok; ++read) {
        const DataAnswer again = transport.queryData(bus, request, proof.listedSize);
        if (again.outcome != Outcome::Ok)
            return again;
        if (again.data != first.data)
            return {{}, Outcome::Malformed, QStringLiteral("two reads of the file differ")};
    }
    return first;
}

TransferResult transferHardcopy(Transport& transport, Bus bus, const QString& testerName, const QString& pcFolder,
                                const QString& pcName, const std::function<OnConflict()>& onConflict,
                                Durability durability, const BlockProof& proof)
{
    TransferResult result;
    for (const QString& name : {trimBlanks(testerName), trimBlanks(pcName)}) {
        result.reason = unsafeNameReason(name);
        if (!result.reason.isEmpty()) {
            result.status = TransferResult::Refused;
            return result;
        }
    }
    result.path = targetPath(pcFolder, pcName);

    const DataAnswer answer = fetchBlock(transport, bus, testerName, proof);
    result.outcome = answer.outcome;
    result.bytes = answer.data.size();
    if (result.outcome != Outcome::Ok) {
        result.status = TransferResult::LinkBroken;
        result.reason = answer.detail;
        return result;
    }

    PcCopy copy = comparePcCopy(result.path, answer.data);
    if (copy == PcCopy::Different) {
        switch (onConflict()) {
        case OnConflict::Keep:
            result.status = TransferResult::Kept;
            return result;
        case OnConflict::Overwrite:
            copy = PcCopy::Absent;
            break;
        case OnConflict::Rename:
            for (int n = 2; copy == PcCopy::Different; ++n) {
                const QString name = numberedName(pcName, n);
                result.reason = unsafeNameReason(name);
                if (!result.reason.isEmpty()) {
                    result.status = TransferResult::Refused;
                    return result;
                }
                result.path = targetPath(pcFolder, name);
                copy = comparePcCopy(result.path, answer.data);
            }
            break;
        }
    }
    if (copy == PcCopy::Identical) {
        result.status = TransferResult::Identical;
    } else {
        result.reason = writeFileSafely(result.path, answer.data);
        result.status = result.reason.isEmpty() ? TransferResult::Written : TransferResult::WriteFailed;
    }
    if (durability == Durability::Durable && result.status != TransferResult::WriteFailed) {
        result.reason = proveOnDisk(result.path, answer.data);
        if (!result.reason.isEmpty())
            result.status = TransferResult::WriteFailed;
    }
    return result;
}

} // namespace qlx
