#include "pcfiles/pcpath.h"

namespace qlx {

QString AddBackslash(const QString& path) { return path.endsWith(u'/') ? path : path + u'/'; }

QString pickerTitle(const QString& currentPath)
{
    return QStringLiteral("Set store path for QLX images\r\nCurrent Path: ") + currentPath;
}

} // namespace qlx
