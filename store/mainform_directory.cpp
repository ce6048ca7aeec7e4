// Listing the tester's print directory into QLXFiles.

#include "app/mainform.h"
#include "platform/dialogs.h"
#include "store/names.h"

#include <QApplication>
#include <QClipboard>
#include <QListWidget>
#include <QPushButton>

namespace qlx {
namespace {

// The tester's list keeps its names in alphabetical order, whatever their case.
class NameItem : public QListWidgetItem {
public:
    using QListWidgetItem::QListWidgetItem;
    bool operator<(const QListWidgetItem& other) const override { return hardcopyNameLess(text(), other.text()); }
};

} // namespace

void MainForm::ReadDirectory()
{
    if (closing())
        return;
    setMousePointer(11);
    QLXFiles->clear();
    const DirectoryAnswer directory = session_.readDirectory();
    reportOutcome(directory.answer.outcome);
    const Listing& listing = directory.listing;
    AnswerString = listing.rest;
    if (!listing.directoryOk) {
        DirError();
        QClipboard* clipboard = QGuiApplication::clipboard();
        clipboard->clear();
        clipboard->setText(AnswerString);
        setMousePointer(0);
        return;
    }
    for (const QString& name : listing.hardcopies)
        QLXFiles->addItem(new NameItem(name));
    setMousePointer(0);
    CopyAll->setEnabled(true);
    DeleteAll->setEnabled(true);
    DelThis->setEnabled(true);
}

void MainForm::DirError() { messageBox(directoryAdvice(), MbCritical, QStringLiteral("ERROR")); }

} // namespace qlx
