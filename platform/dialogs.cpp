#include "platform/dialogs.h"

#include "platform/folderpicker.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QRegularExpression>

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

QString Dialogs::saveFileName(QWidget* owner, const QString& title, const QString& suggested,
                              const QStringList& filters)
{
    QFileDialog dialog(owner, title);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters(filters);
    dialog.selectFile(suggested);
    const auto takeSuffix = [&dialog](const QString& filter) {
        static const QRegularExpression pattern(QStringLiteral("\\*\\.(\\w+)"));
        dialog.setDefaultSuffix(pattern.match(filter).captured(1));
    };
    takeSuffix(dialog.selectedNameFilter());
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, takeSuffix);
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
}

namespace {
Dialogs realDialogs;
Dialogs* current = &realDialogs;
} // namespace

Dialogs& dialogs() { return *current; }

void setDialogs(Dialogs* replacement) { current = replacement ? replacement : &realDialogs; }

} // namespace qlx
