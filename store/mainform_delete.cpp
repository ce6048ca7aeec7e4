// Deleting on the tester: the Delete key, DelThis and DeleteAll.

#include "app/mainform.h"
#include "platform/dialogs.h"
#include "store/names.h"

#include <QLabel>
#include <QListWidget>

namespace qlx {
namespace {

QString selectedText(const QListWidget* list)
{
    const QList<QListWidgetItem*> selected = list->selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->text();
}
} // namespace

void MainForm::QLXFiles_KeyDown(int keyCode, int /*shift: the Delete key deletes in any shift state*/)
{
    if (keyCode != kDeleteKey || trimBlanks(selectedText(QLXFiles)).isEmpty())
        return;
    Exchange exchange(*this);
    if (exchange.refused())
        return;
    const QString name = trimBlanks(selectedText(QLXFiles));
    if (messageBox(QStringLiteral("Delete file ") + name + QStringLiteral(" ?"), MbQuestionYesNo,
                   QStringLiteral("DELETE FILE"))
        != AnswerYes)
        return;
    const DeleteResult result = session_.remove(trimBlanks(selectedText(QLXFiles)));
    if (!result.refusedReason.isEmpty()) {
        messageBox(QStringLiteral("The tester's file \"") + name + QStringLiteral("\" was not deleted: ")
                       + result.refusedReason + u'.',
                   MbCritical, QStringLiteral("ERROR"));
        return;
    }
    reportOutcome(result.outcome);
    ReadDirectory();
}

void MainForm::DeleteAll_Click()
{
    Exchange exchange(*this);
    if (exchange.refused())
        return;
    if (messageBox(QStringLiteral("DELETE ALL QLX .WMF FILES?"), MbQuestionYesNo, QStringLiteral("DELETE ALL"))
        != AnswerYes)
        return;
    QStringList skipped;
    const int count = QLXFiles->count();
    for (int i = 0; i < count && !closing(); ++i) {
        const QString name = trimBlanks(QLXFiles->item(i)->text());
        if (name.isEmpty() || !isHardcopyName(name))
            continue;
        const DeleteResult result = session_.remove(name);
        if (!result.refusedReason.isEmpty())
            skipped << QStringLiteral("\"") + name + QStringLiteral("\": ") + result.refusedReason;
        else
            reportOutcome(result.outcome);
    }
    if (!skipped.isEmpty())
        messageBox(QStringLiteral("These tester files were not deleted:\r\n") + skipped.join(QStringLiteral("\r\n")),
                   MbCritical, QStringLiteral("ERROR"));
    ReadDirectory();
}

} // namespace qlx
