#include "store/transfer.h"

#include "platform/files.h"
#include "store/names.h"

#include <optional>

namespace qlx {

QByteArray dataRequestCommand(const QString& testerName)
{
    return QByteArrayLiteral("MMEM:DATA? \"") + trimBlanks(testerName).toLatin1() + '"';
}

QString targetPath(const QString& pcFolder, const QString& pcName) { return pcFolder + u'/' + trimBlanks(pcName); }

PcCopy comparePcCopy(const QString& path, const QByteArray& data)
{
    const PathEntry entry = lookAt(path);
    if (entry.isFree())
        return PcCopy::Absent;
    if (entry.kind != PathEntry::File)
        return PcCopy::NotAFile;
    // Only a file that can be read whole and matches byte for byte is the same file.
    if (entry.size != data.size())
        return PcCopy::Different;
    return readRegularFile(path) == data ? PcCopy::Identical : PcCopy::Different;
}

QString numberedName(const QString& pcName, int n)
{
    const QString name = trimBlanks(pcName);
    const QString suffix = QStringLiteral("_%1").arg(n);
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot < 0 ? name + suffix : name.left(dot) + suffix + name.mid(dot);
}

namespace {

// How many times one name may change under our hands before we give up on it.
constexpr int kMaxNameRaces = 100;

} // namespace

StoredFile storeCopy(const QString& pcFolder, const QString& pcName, const QByteArray& data,
                     const std::function<OnConflict()>& onConflict, Durability durability)
{
    StoredFile result;
    std::optional<OnConflict> decision; // asked once, for the name the caller gave
    QString name = trimBlanks(pcName);
    int races = 0;
    for (int n = 1;;) {
        result.path = targetPath(pcFolder, name);
        result.reason.clear();
        const PcCopy copy = comparePcCopy(result.path, data);
        if (copy == PcCopy::Identical) {
            result.status = StoredFile::Identical;
            if (durability == Durability::Durable)
                result.reason = proveOnDisk(result.path, data);
            if (!result.reason.isEmpty())
                result.status = StoredFile::WriteFailed;
            return result;
        }
        const bool renaming = decision == OnConflict::Rename;
        if (copy == PcCopy::NotAFile && !renaming) {
            result.status = StoredFile::NotAFile;
            result.reason = lookAt(result.path).what;
            return result;
        }
        if (copy == PcCopy::Different && !decision)
            decision = onConflict();
        if (copy == PcCopy::Different && decision == OnConflict::Keep) {
            result.status = StoredFile::Kept;
            return result;
        }
        if (copy != PcCopy::Absent && decision == OnConflict::Rename) {
            name = numberedName(pcName, ++n);
            result.reason = unsafeNameReason(name);
            if (!result.reason.isEmpty()) {
                result.status = StoredFile::Refused;
                return result;
            }
            continue;
        }
        const FileWrite written =
            writeWholeFile(result.path, data, copy == PcCopy::Absent ? Publish::NoReplace : Publish::ReplaceFile);
        result.reason = written.reason;
        if (written.status != FileWrite::NameTaken) {
            result.status = written.status == FileWrite::Written ? StoredFile::Written : StoredFile::WriteFailed;
            return result;
        }
        // Another writer took the name a moment ago: look at its file as at any other.
        if (++races == kMaxNameRaces) {
            result.status = StoredFile::WriteFailed;
            result.reason = QStringLiteral("the name kept changing while it was written");
            return result;
        }
    }
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

    const StoredFile stored = storeCopy(pcFolder, pcName, answer.data, onConflict, durability);
    result.status = TransferResult::Status(stored.status);
    result.path = stored.path;
    result.reason = stored.reason;
    if (result.status == TransferResult::Written || result.status == TransferResult::Identical)
        result.data = answer.data;
    return result;
}

} // namespace qlx
