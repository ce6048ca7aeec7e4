#include "store/transfer.h"

#include "store/names.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

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

QString writeFileSafely(const QString& path, const QByteArray& data)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    if (file.write(data) != data.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return reason;
    }
    if (!file.commit())
        return file.errorString();
    return {};
}

TransferResult transferHardcopy(Transport& transport, Bus bus, const QString& testerName, const QString& pcFolder,
                                const QString& pcName, const std::function<bool()>& askOverwrite)
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

    const DataAnswer answer = transport.queryData(bus, dataRequestCommand(testerName));
    result.outcome = answer.outcome;
    result.bytes = answer.data.size();
    // On the serial line an empty block cannot be told from one whose data never came.
    if (bus == Bus::Serial && answer.outcome == Outcome::Ok && answer.data.isEmpty())
        result.outcome = Outcome::Malformed;
    if (result.outcome != Outcome::Ok) {
        result.status = TransferResult::LinkBroken;
        return result;
    }

    switch (comparePcCopy(result.path, answer.data)) {
    case PcCopy::Identical:
        result.status = TransferResult::Identical;
        return result;
    case PcCopy::Different:
        if (!askOverwrite()) {
            result.status = TransferResult::Kept;
            return result;
        }
        break;
    case PcCopy::Absent:
        break;
    }
    result.reason = writeFileSafely(result.path, answer.data);
    result.status = result.reason.isEmpty() ? TransferResult::Written : TransferResult::WriteFailed;
    return result;
}

} // namespace qlx
