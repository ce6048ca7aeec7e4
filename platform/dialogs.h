#pragma once
// The one seam through which the program asks the user something: message boxes in the three
// styles it uses, the folder picker and the file-name question for saving. Tests install their own
// Dialogs to answer them.

#include <QStringList>

class QWidget;

namespace qlx {

// Message-box styles: buttons plus icon, as the Windows style numbers.
enum MessageStyle {
    MbPlain = 0,             // OK, no icon, the program's name as the title when none is given
    MbCritical = 16,         // OK with the critical-stop icon
    MbQuestionYesNo = 36,    // Yes (default) and No with the question icon
    MbExclamationYesNo = 52, // Yes (default) and No with the exclamation icon
};

// Answers, as the Windows result numbers.
enum MessageAnswer { AnswerOk = 1, AnswerYes = 6, AnswerNo = 7 };

class Dialogs {
public:
    virtual ~Dialogs() = default;
    virtual int messageBox(QWidget* owner, const QString& text, int style, const QString& title);
    // A modal folder chooser that starts at the top of the file system with `currentFolder`
    // selected and shows `title` inside; the chosen folder's path, or empty text when cancelled.
    virtual QString browseForFolder(QWidget* owner, const QString& title, const QString& currentFolder);
    // A modal "save as" question that starts at the path `suggested` and offers the file types of
    // `filters` (e.g. "PNG image (*.png)"), the first chosen; a name typed without an extension
    // gets the chosen type's. The path to write, or empty text when cancelled. Replacing an
    // existing file has been confirmed.
    virtual QString saveFileName(QWidget* owner, const QString& title, const QString& suggested,
                                 const QStringList& filters);
};

Dialogs& dialogs();
// Installs `replacement` (not owned); nullptr restores the real dialogs.
void setDialogs(Dialogs* replacement);

} // namespace qlx
