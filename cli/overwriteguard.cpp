#include "cli/overwriteguard.h"

#include "cli/report.h"

#include <QDir>
#include <QFile>

#include <optional>

#include <sys/stat.h>

namespace qlx::cli {
namespace {

// The regular file at `path` (not followed if a link), or nullopt.
std::optional<std::pair<quint64, quint64>> regularFileId(const QString& path)
{
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return std::pair<quint64, quint64>(st.st_dev, st.st_ino);
}

} // namespace

OverwriteGuard::OverwriteGuard(const QString& folder, OnConflict onConflict) : m_onConflict(onConflict)
{
    if (onConflict != OnConflict::Overwrite)
        return;
    const QDir dir(folder);
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System))
        if (const auto id = regularFileId(dir.filePath(name)))
            m_replaceable.insert(*id);
}

OnConflict OverwriteGuard::decide(const QString& path)
{
    if (m_onConflict != OnConflict::Overwrite)
        return m_onConflict;
    const auto id = regularFileId(path);
    if (id && m_replaceable.contains(*id))
        return OnConflict::Overwrite;
    message(QStringLiteral("%1: written by someone else since this run began; --overwrite leaves it alone").arg(path));
    return OnConflict::Keep;
}

void OverwriteGuard::wrote(const QString& path)
{
    if (m_onConflict != OnConflict::Overwrite)
        return;
    if (const auto id = regularFileId(path))
        m_replaceable.insert(*id);
}

} // namespace qlx::cli
