#pragma once
// sync and move: what one pass does with each hardcopy of a listing, and what a watch keeps in
// mind from one pass to the next.

#include "cli/commands.h"

#include <QHash>
#include <QStringList>

namespace qlx::cli {

class Offload {
public:
    explicit Offload(const Run& run) : m_run(run) {}

    // Copies (sync) or moves (move) each of `hardcopies`; true when every one of them is in the
    // folder as the tester holds it and, for move, deleted on the tester. A move deletes each
    // hardcopy right after its copy, before the next one is asked for. A name/size pair that an
    // earlier pass proved or kept is left alone while the listing still shows it; one whose write
    // failed is tried again; a name that has left the listing is forgotten.
    bool pass(const QList<Hardcopy>& hardcopies);

    // The names the last pass deleted on the tester.
    const QStringList& deleted() const { return m_deleted; }

private:
    bool syncOne(const Hardcopy& hardcopy);
    bool moveOne(const Hardcopy& hardcopy);
    bool deleteCopy(const QString& name);
    TransferResult fetch(const Hardcopy& hardcopy, Durability durability, int reads = 1);
    bool report(const QString& name, const TransferResult& result);

    const Run& m_run;
    QHash<QString, qint64> m_settled; // by name: the listed size of a file proved or kept
    QHash<QString, QString> m_said;   // by name: the failure last reported for it
    QStringList m_deleted;
};

} // namespace qlx::cli
