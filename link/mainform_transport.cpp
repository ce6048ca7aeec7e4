// The window's side of the bus transport: the cable advice, and the progress and debug displays
// of the receive routines.

#include "app/mainform.h"
#include "app/mainform_colours.h"
#include "platform/dialogs.h"

#include <QLabel>
#include <QProgressBar>
#include <QRadioButton>

namespace qlx {

Bus MainForm::currentBus() const { return Route[0]->isChecked() ? Bus::Gpib : Bus::Serial; }

// A bus that no connect has opened gets the cable advice once per user action, not once per
// command of it.
void MainForm::busNotOpen()
{
    if (notOpenReported_)
        return;
    notOpenReported_ = true;
    CableError();
}

void MainForm::reportOutcome(Outcome outcome)
{
    if (outcome == Outcome::TimedOut)
        CableError();
    else if (outcome == Outcome::NotOpen)
        busNotOpen();
}

void MainForm::CableError() { messageBox(cableAdviceText(currentBus()), MbCritical, QStringLiteral("ERROR")); }

// A library call that failed in the read is named below the count, with its status.
void MainForm::gpibTextRead(const QByteArray& fullBuffer, long ibcntl, const QByteArray& answer,
                            const QString& failedCall)
{
    QString text =
        QString::fromLatin1(fullBuffer) + QStringLiteral("\r\n-------------------\r\n") + QString::number(ibcntl);
    if (!failedCall.isEmpty())
        text += QStringLiteral("\r\n") + failedCall;
    messageBox(text, MbPlain, QString());
    messageBox(QString::fromLatin1(answer), MbPlain, QString());
}

void MainForm::serialProgressRange(int max) { Stat->setMaximum(max); }

void MainForm::serialProgress(int value) { Stat->setValue(value); }

void MainForm::serialCountdown(const QString& text) { setStatus(text, kGreen); }

} // namespace qlx
