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
    QList<Hardcopy> copied;
    for (const Hardcopy& hardcopy : hardcopies) {
        if (m_run.stop.received())
            break;
        if (m_settled.value(hardcopy.name, -2) == hardcopy.size)
            continue;
        if (m_run.options.command != Command::Move)
            ok = syncOne(hardcopy) && ok;
        else if (copyForMove(hardcopy, ok))
            copied << hardcopy;
    }
    return deleteCopied(copied) && ok;
}

TransferResult Offload::fetch(const Hardcopy& hardcopy, Durability durability, int reads)
{
    const OnConflict onConflict = m_run.options.onConflict;
    const TransferResult result = m_run.session.fetch(
        hardcopy.name, m_run.options.toDir, hardcopy.name, [onConflict] { return onConflict; }, durability, reads);
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

// True when the folder now holds the hardcopy's bytes, read back and synced to disk. The serial
// line has no checksum, so there two reads of the hardcopy must agree first.
bool Offload::copyForMove(const Hardcopy& hardcopy, bool& ok)
{
    const int reads = m_run.session.bus() == Bus::Serial && !m_run.options.readOnce ? 2 : 1;
    const TransferResult result = fetch(hardcopy, Durability::Durable, reads);
    if (!reportTransfer(hardcopy.name, result, m_run.options.quiet)) {
        ok = false;
        return false;
    }
    // A picture that fails is reported; the hardcopy is safe all the same.
    ok = convertBeside(result, m_run.options.convert, m_run.options.onConflict, m_run.options.quiet) && ok;
    return true;
}

// Deletes on the tester what the folder holds, each only while a listing read after the copies
// still shows it with the size it was copied at: a file the tester is still writing, or wrote
// anew, is left for a later pass.
bool Offload::deleteCopied(const QList<Hardcopy>& copied)
{
    if (copied.isEmpty())
        return true;
    DirectoryFailure failure;
    const auto listed = m_run.stop.received() ? std::nullopt : listHardcopies(m_run.session, failure);
    bool ok = true;
    for (const Hardcopy& hardcopy : copied) {
        QString why;
        if (m_run.stop.received())
            why = QStringLiteral("interrupted");
        else if (!listed)
            why = QStringLiteral("the directory could not be read again (%1)").arg(failure.text);
        else if (!listed->contains(hardcopy))
            why = QStringLiteral("the tester no longer lists it as it was copied; left for the next pass");
        else if (const DeleteResult deletion = m_run.session.remove(hardcopy.name); !deletion.sent)
            why = deletion.refusedReason.isEmpty() ? outcomeText(deletion.outcome) : deletion.refusedReason;
        if (!why.isEmpty()) {
            message(QStringLiteral("%1: not deleted on the tester: %2").arg(hardcopy.name, why));
            m_settled.remove(hardcopy.name);
            ok = false;
            continue;
        }
        m_settled.remove(hardcopy.name);
        m_deleted << hardcopy.name;
        note(m_run.options.quiet, QStringLiteral("%1: deleted on the tester").arg(hardcopy.name));
    }
    return ok;
}

} // namespace qlx::cli
