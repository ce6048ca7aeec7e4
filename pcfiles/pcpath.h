#pragma once
// Paths of the PC folder, with "/" as the separator.

#include <QString>

class QWidget;

namespace qlx {

// The path unchanged when it ends in "/", else the path followed by one "/".
QString AddBackslash(const QString& path);

// "Set store path for QLX images", CR LF, "Current Path: " and the current folder.
QString pickerTitle(const QString& currentPath);

// Runs the folder chooser for the window `owner`; the chosen folder, or empty text when cancelled.
QString BrowseForFolder(QWidget* owner, const QString& currentPath);

} // namespace qlx
