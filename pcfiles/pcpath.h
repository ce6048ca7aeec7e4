#pragma once
// Paths of the PC folder, with "/" as the separator.

#include <QString>

namespace qlx {

// The path unchanged when it ends in "/", else the path followed by one "/".
QString AddBackslash(const QString& path);

// "Set store path for QLX images", CR LF, "Current Path: " and the current folder.
QString pickerTitle(const QString& currentPath);

} // namespace qlx
