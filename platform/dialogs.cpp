#include "platform/dialogs.h"

#include "platform/folderpicker.h"

#include <QApplication>
#include <QMessageBox>

namespace qlx {

int Dialogs::messageBox(QWidget* owner, const QString& text, int style, const QString& title)
{
    QMessageBox box(owner);
    box.setWindowTitle(title.isEmpty() ? QApplication::applicationName() : title);
    box.setText(text);
    box.setTextFormat(Qt::PlainText);
    switch (style) {
    case MbCritical:
        box.setIcon(QMessageBox::Critical);
        break;
    case MbQuestionYesNo:
        box.setIcon(QMessageBox::Question);
        break;
    case MbExclamationYesNo:
        box.setIcon(QMessageBox::Warning);
        break;
    default:
        break;
    }
    if (style == MbQuestionYesNo || style == MbExclamationYesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        return box.exec() == QMessageBox::Yes ? AnswerYes : AnswerNo;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return AnswerOk;
}

QString Dialogs::browseForFolder(QWidget* owner, const QString& title, const QString& currentFolder)
{
    return pickFolder(owner, title, currentFolder);
}

namespace {
Dialogs realDialogs;
Dialogs* current = &realDialogs;
} // namespace

Dialogs& dialogs() { return *current; }

void setDialogs(Dialogs* replacement) { current = replacement ? replacement : &realDialogs; }

} // namespace qlx
