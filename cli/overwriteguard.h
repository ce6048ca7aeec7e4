#pragma once
// --overwrite replaces only what the folder held when the run began, or what the run itself wrote
// since: never a copy that another run (another tester's qlxctl, say) made in the meantime, which
// that run may be about to prove before it deletes the hardcopy on its tester.

#include "store/transfer.h"

#include <QSet>
#include <QString>

#include <utility>

namespace qlx::cli {

class OverwriteGuard {
public:
    // Notes the regular files in `folder` now, when `onConflict` is Overwrite (else nothing).
    OverwriteGuard(const QString& folder, OnConflict onConflict);

    // What becomes of the different regular file at `path`: the user's choice, except that a file
    // this run may not replace is kept (and reported).
    OnConflict decide(const QString& path);
    // `path` now holds a file this run wrote.
    void wrote(const QString& path);

private:
    using FileId = std::pair<quint64, quint64>; // device and inode
    OnConflict m_onConflict;
    QSet<FileId> m_replaceable;
};

} // namespace qlx::cli
