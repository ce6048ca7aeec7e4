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
    // folder as the tester holds it and, for move, deleted on the tester. A name/size pair that an
    // earlier pass proved, wrote or kept is left alone while the listing still shows it; a name
    // that has left the listing is forgotten.
    bool pass(const QList<Hardcopy>& hardcopies);

    // The names the last pass deleted on the tester.
    const QStringList& deleted() const { return m_deleted; }

private:
    bool syncOne(const Hardcopy& hardcopy);
    bool copyForMove(const Hardcopy& hardcopy, bool& ok);
    bool deleteCopied(const QList<Hardcopy>& copied);
    TransferResult fetch(const Hardcopy& hardcopy, Durability durability, int reads = 1);

    const Run& m_run;
    QHash<QString, qint64> m_settled; // by name: the listed size of a file proved, written or kept
    QStringList m_deleted;
};

} // namespace qlx::cli
