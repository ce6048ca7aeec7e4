// The PC side of the window: choosing the PC folder, switching between the tester's list and the
// PC list, and showing a hardcopy from the PC list or from the command line.

#include "app/mainform.h"
#include "pcfiles/mainform_pcfilelist.h"
#include "pcfiles/pcpath.h"
#include "platform/dialogs.h"

#include <QFileInfo>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>

namespace qlx {
namespace {

// Runs the folder chooser for the window `owner`; the chosen folder, or empty text when cancelled.
QString BrowseForFolder(QWidget* owner, const QString& currentPath)
{
    return dialogs().browseForFolder(owner, pickerTitle(currentPath), currentPath);
}

} // namespace

void MainForm::ImgPath_Click()
{
    // A transfer in progress writes into PCPath; the folder changes only between exchanges.
    if (exchangeInProgress())
        return;
    const QString folder = BrowseForFolder(this, PCPath);
    if (folder.isEmpty())
        return;
    PCPath = folder;
    PCFileList->setPath(PCPath);
}

void MainForm::FileLocation_Click(int index)
{
    if (index == 0) {
        PCFileList->hide();
        QLXFiles->show();
        CopyAll->setEnabled(true);
        DelThis->setEnabled(true);
        DeleteAll->setEnabled(true);
    } else {
        PCFileList->show();
        PCFileList->refresh();
        QLXFiles->hide();
        CopyAll->setEnabled(false);
        DelThis->setEnabled(false);
        DeleteAll->setEnabled(false);
    }
}

void MainForm::PCFileList_Click()
{
    const QList<QListWidgetItem*> selected = PCFileList->selectedItems();
    if (selected.isEmpty())
        return;
    const QString name = selected.first()->text();
    const QString path = AddBackslash(PCFileList->path()) + name;
    const QFileInfo file(path);
    if (!file.isFile() || file.isHidden()) {
        PCFileList->refresh();
        return;
    }
    showPcFile(path, name);
}

void MainForm::openFromCommandLine(const QString& argument)
{
    const QFileInfo file(argument);
    if (!file.isFile()) {
        messageBox(QStringLiteral("Cannot show ") + argument + QStringLiteral(": there is no such file."), MbCritical,
                   QStringLiteral("ERROR"));
        return;
    }
    // The list shows the file's folder; copies still go to PCPath, the folder the settings keep.
    FileLocation[1]->setChecked(true);
    FileLocation_Click(1);
    PCFileList->setPath(file.absolutePath());
    const QList<QListWidgetItem*> found = PCFileList->findItems(file.fileName(), Qt::MatchExactly);
    if (!found.isEmpty()) {
        const QSignalBlocker shownBelow(PCFileList);
        PCFileList->setCurrentItem(found.first());
    }
    showPcFile(file.absoluteFilePath(), file.fileName());
}

} // namespace qlx
