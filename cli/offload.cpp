#include "cli/offload.h"

#include "cli/convert.h"
#include "cli/report.h"
#include "platform/files.h"

#include <QSet>

namespace qlx::cli {

bool Offload::pass(const QList<Hardcopy>& hardcopies)
{
    QSet<QString> listed;
    for (const Hardcopy& hardcopy : hardcopies)
        listed.insert(hardcopy.name);
    m_settled.removeIf([&](const auto& entry) { return !listed.contains(entry.key()); });
    m_deleted.clear();

    bool ok = true;
    for (const Hardcopy& hardcopy : hardcopies) {
        if (m_run.stop.received())
            break;
        if (m_settled.value(hardcopy.name, -2) == hardcopy.size)
            continue;
        ok = (m_run.options.command == Command::Move ? moveOne(hardcopy) : syncOne(hardcopy)) && ok;
    }
    return ok;
}

TransferResult Offload::fetch(const Hardcopy& hardcopy, Durability durability)
{
    const OnConflict onConflict = m_run.options.onConflict;
    const TransferResult result = m_run.session.fetch(
        hardcopy.name, m_run.options.toDir, hardcopy.name, [onConflict] { return onConflict; }, durability);
    if (m_run.progress)
        m_run.progress->finish();
    // A broken link is tried again on the next pass; anything else stands until the listing changes.
    if (result.status != TransferResult::LinkBroken)
        m_settled.insert(hardcopy.name, hardcopy.size);
    return result;
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
    return reportTransfer(hardcopy.name, result, m_run.options.quiet)
           && convertBeside(result, m_run.options.convert, m_run.options.onConflict, m_run.options.quiet);
}

// Deletes on the tester only what the folder now holds byte for byte, synced to disk.
bool Offload::moveOne(const Hardcopy& hardcopy)
{
    const TransferResult result = fetch(hardcopy, Durability::Durable);
    if (!reportTransfer(hardcopy.name, result, m_run.options.quiet))
        return false;
    // A picture that fails is reported; the hardcopy is safe all the same.
    const bool converted = convertBeside(result, m_run.options.convert, m_run.options.onConflict, m_run.options.quiet);
    if (m_run.stop.received()) {
        message(QStringLiteral("%1: not deleted on the tester: interrupted").arg(hardcopy.name));
        return false;
    }
    const DeleteResult deletion = m_run.session.remove(hardcopy.name);
    if (!deletion.sent) {
        const QString why = deletion.refusedReason.isEmpty() ? outcomeText(deletion.outcome) : deletion.refusedReason;
        message(QStringLiteral("%1: not deleted on the tester: %2").arg(hardcopy.name, why));
        return false;
    }
    m_settled.remove(hardcopy.name);
    m_deleted << hardcopy.name;
    note(m_run.options.quiet, QStringLiteral("%1: deleted on the tester").arg(hardcopy.name));
    return converted;
}

} // namespace qlx::cli
