#include "pcfiles/pcpath.h"

#include "platform/dialogs.h"

namespace qlx {

QString AddBackslash(const QString& path) { return path.endsWith(u'/') ? path : path + u'/'; }

QString pickerTitle(const QString& currentPath)
{
    return QStringLiteral("Set store path for QLX images\r\nCurrent Path: ") + currentPath;
}

QString BrowseForFolder(QWidget* owner, const QString& currentPath)
{
    return dialogs().browseForFolder(owner, pickerTitle(currentPath), currentPath);
}

} // namespace qlx
