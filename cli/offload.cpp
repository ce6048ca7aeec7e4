#include "cli/offload.h"

#include "cli/convert.h"
#include "cli/report.h"
#include "platform/files.h"

#include <QSet>

namespace qlx::cli {
namespace {

bool proven(const TransferResult& result)
{
    return result.status == TransferResult::Written || result.status == TransferResult::Identical;
}

} // namespace

bool Offload::pass(const QList<Hardcopy>& hardcopies)
{
    QSet<QString> listed;
    for (const Hardcopy& hardcopy : hardcopies)
        listed.insert(hardcopy.name);
    m_settled.removeIf([&](const auto& entry) { return !listed.contains(entry.key()); });
    m_said.removeIf([&](const auto& entry) { return !listed.contains(entry.key()); });
    m_deleted.clear();

    bool ok = true;
    for (const Hardcopy& hardcopy : hardcopies) {
        if (m_run.stop.received())
            break;
        if (m_settled.value(hardcopy.name, -2) == hardcopy.size)
            continue;
        ok = (m_run.options.command == Command::Move ? moveOne(hardcopy) : syncOne(hardcopy)) && ok;
        // A serial device that went away was reported with its cause; the rest would only repeat it.
        if (m_run.session.bus() == Bus::Serial && !m_run.session.serialOpen())
            return false;
    }
    return ok;
}

TransferResult Offload::fetch(const Hardcopy& hardcopy, Durability durability, int reads)
{
    const TransferResult result = fetchHardcopy(m_run, hardcopy, durability, reads);
    // What could not be fetched or written is tried again on the next pass; a proven copy, a
    // different file kept and a refused name stand until the listing changes.
    if (result.status != TransferResult::LinkBroken && result.status != TransferResult::WriteFailed)
        m_settled.insert(hardcopy.name, hardcopy.size);
    return result;
}

// Each failure once while its cause stays the same, so that a watch does not repeat itself.
bool Offload::report(const QString& name, const TransferResult& result)
{
    if (proven(result)) {
        m_said.remove(name);
    } else {
        const QString cause = QStringLiteral("%1 %2 %3").arg(result.status).arg(int(result.outcome)).arg(result.reason);
        if (m_said.value(name) == cause)
            return false;
        m_said.insert(name, cause);
    }
    return reportTransfer(name, result, m_run.options.quiet);
}

bool Offload::syncOne(const Hardcopy& hardcopy)
{
    if (m_run.options.trustSize && hardcopy.size >= 0) {
        // Only a regular file counts: a link to a file of that size is no copy.
        const PathEntry pcFile = lookAt(targetPath(m_run.options.toDir, hardcopy.name));
        if (pcFile.kind == PathEntry::File && pcFile.size == hardcopy.size)
            return true;
    }
    const TransferResult result = fetch(hardcopy, Durability::Normal);
    return report(hardcopy.name, result)
           && convertBeside(result, m_run.options.convert, m_run.options.onConflict, m_run.options.quiet);
}

// The hardcopy read (twice on the serial line, which has no checksum), written, and deleted on the
// tester at once, while its copy reads back as those bytes; its picture follows the delete, so
// that nothing stands between the proof and the delete.
bool Offload::moveOne(const Hardcopy& hardcopy)
{
    const int reads = m_run.session.bus() == Bus::Serial && !m_run.options.readOnce ? 2 : 1;
    const TransferResult result = fetch(hardcopy, Durability::Durable, reads);
    if (!report(hardcopy.name, result))
        return false;
    const bool deleted = deleteCopy(hardcopy.name);
    // A picture that fails is reported; the hardcopy is safe all the same.
    return convertBeside(result, m_run.options.convert, m_run.options.onConflict, m_run.options.quiet) && deleted;
}

bool Offload::deleteCopy(const QString& name)
{
    m_settled.remove(name); // gone from the tester, or to be tried again
    QString why;
    if (m_run.stop.received())
        why = QStringLiteral("interrupted");
    else if (const DeleteResult deletion = m_run.session.removeCopied(name); !deletion.sent)
        why = deletion.refusedReason.isEmpty() ? outcomeText(deletion.outcome) : deletion.refusedReason;
    if (!why.isEmpty()) {
        message(QStringLiteral("%1: not deleted on the tester: %2").arg(name, why));
        return false;
    }
    m_deleted << name;
    note(m_run.options.quiet, QStringLiteral("%1: deleted on the tester").arg(name));
    return true;
}

} // namespace qlx::cli
