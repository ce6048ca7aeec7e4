// "All Files QLX -> PC": every hardcopy of the tester's list copied into the PC folder in turn.

#include "app/mainform.h"
#include "app/mainform_colours.h"
#include "store/names.h"

#include <QApplication>
#include <QListWidget>

namespace qlx {

void MainForm::CopyAll_Click()
{
    Exchange exchange(*this);
    if (exchange.refused())
        return;
    setMousePointer(11);
    bulkCopyRunning_ = true;
    session_.beginBatch(); // on GPIB one go-to-local after the last file
    const int count = QLXFiles->count();
    for (int i = 0; i < count && !closing(); ++i) {
        const QString entry = QLXFiles->item(i)->text();
        if (!isHardcopyName(entry))
            continue;
        setStatus(entry, kYellow);
        QCoreApplication::processEvents();
        if (closing())
            break;
        TransferHardcopy(trimBlanks(entry), trimBlanks(entry));
    }
    bulkCopyRunning_ = false;
    session_.endBatch(closing());
    setStatus(QStringLiteral("ready"), kGreen);
    setMousePointer(0);
}

} // namespace qlx
