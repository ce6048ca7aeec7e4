#pragma once
// The folder chooser behind the dialog seam: a modal tree of the file system's folders.

#include <QString>

class QWidget;

namespace qlx {

// Shows `title` above a tree rooted at "/" with `currentFolder` expanded and selected; returns the
// chosen folder's path, or empty text when the user cancels or chooses nothing.
QString pickFolder(QWidget* owner, const QString& title, const QString& currentFolder);

} // namespace qlx
