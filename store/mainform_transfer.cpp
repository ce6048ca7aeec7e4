// A click on a name in the tester's list: copy the hardcopy into the PC folder, show it and put it
// on the clipboard.

#include "app/mainform.h"
#include "app/mainform_colours.h"
#include "platform/dialogs.h"
#include "wmf/wmfclipboard.h"
#include "platform/pictureview.h"
#include "store/names.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>

namespace qlx {
void MainForm::QLXFiles_Click()
{
    const QList<QListWidgetItem*> selected = QLXFiles->selectedItems();
    if (selected.isEmpty())
        return;
    Exchange exchange(*this);
    if (exchange.refused())
        return;
    setMousePointer(11);
    const QString name = trimBlanks(selected.first()->text());
    TransferHardcopy(name, name); // on GPIB the session returns the tester to local operation
    setMousePointer(0);
}

void MainForm::TransferHardcopy(const QString& testerName, const QString& pcName)
{
    const auto askOverwrite = [&] {
        const QString text = QStringLiteral("A different file ") + pcName
                             + QStringLiteral(" does already exist in directory ") + PCPath
                             + QStringLiteral(".\r\nOverwrite?");
        return messageBox(text, MbExclamationYesNo, QStringLiteral("OVERWRITE FILE?")) == AnswerYes
                   ? OnConflict::Overwrite
                   : OnConflict::Keep;
    };
    const TransferResult result = session_.fetch(testerName, PCPath, pcName, askOverwrite);
    switch (result.status) {
    case TransferResult::Refused:
        messageBox(QStringLiteral("The tester's file \"") + trimBlanks(testerName)
                       + QStringLiteral("\" was not copied: ") + result.reason + u'.',
                   MbCritical, QStringLiteral("ERROR"));
        return;
    case TransferResult::LinkBroken:
        if (result.outcome == Outcome::Aborted || result.outcome == Outcome::Busy)
            return;
        // A block refused on the serial line gets the advice that its time-out would have given.
        if (currentBus() == Bus::Serial
            && (result.outcome == Outcome::Malformed || result.outcome == Outcome::Mismatch
                || result.outcome == Outcome::TooLarge))
            CableError();
        else
            reportOutcome(result.outcome);
        setStatus(QStringLiteral("CONNECTION BROKEN!"), kRed);
        break; // an older copy is shown, or "FILE NOT FOUND ON PC" said
    case TransferResult::WriteFailed:
        messageBox(QStringLiteral("The file ") + result.path + QStringLiteral(" could not be written: ") + result.reason
                       + u'.',
                   MbCritical, QStringLiteral("ERROR"));
        if (!QFileInfo(result.path).isFile())
            return; // the cause is said; "not found" would only blame the folder again
        break;
    case TransferResult::NotAFile:
        // Neither written through nor shown: a link, pipe or folder is no copy of the hardcopy.
        messageBox(QStringLiteral("The file ") + result.path + QStringLiteral(" could not be written: ") + result.reason
                       + QStringLiteral(" has that name."),
                   MbCritical, QStringLiteral("ERROR"));
        return;
    case TransferResult::Written:
    case TransferResult::Identical:
    case TransferResult::Kept:
        break;
    }
    showPcFile(result.path, pcName);
}

void MainForm::showPcFile(const QString& path, const QString& pcName)
{
    if (!QFileInfo(path).isFile()) {
        messageBox(QStringLiteral("Error reading file ") + path + QStringLiteral(" from harddisc!"), MbCritical,
                   QStringLiteral("FILE NOT FOUND ON PC"));
        return;
    }
    if (isHardcopyName(trimBlanks(pcName))) {
        const wmf::Picture picture = wmf::Picture::load(path);
        Bild->setPicture(picture);
        Bild->show();
        TextDisp->hide();
        if (picture.isNull()) {
            messageBox(QStringLiteral("The file ") + path
                           + QStringLiteral(" cannot be shown: it is no Windows Metafile or it is damaged."),
                       MbCritical, QStringLiteral("ERROR"));
            return;
        }
        wmf::putPictureOnClipboard(picture);
        return;
    }
    QFile file(path);
    AnswerString = file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()) : QString();
    TextDisp->setText(AnswerString + QStringLiteral("\r\n=======THIS IS THE END OF THE FILE======="));
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(TextDisp->text());
    Bild->hide();
    TextDisp->show();
}

} // namespace qlx
