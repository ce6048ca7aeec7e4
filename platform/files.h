#pragma once
// Writing a file byte for byte, whole or not at all.

#include <QByteArray>
#include <QString>

namespace qlx {

// Writes `data` into a temporary file beside `path` and renames it over `path` once it is complete
// and flushed. On failure the old file is untouched, no temporary file remains, and the result
// is the reason; on success it is empty.
QString writeFileSafely(const QString& path, const QByteArray& data);

} // namespace qlx
