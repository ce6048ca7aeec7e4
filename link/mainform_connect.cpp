// "Read QLX Directory": open the selected bus, identify the tester, and end connected or not.

#include "app/mainform.h"
#include "app/mainform_colours.h"
#include "platform/dialogs.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

namespace qlx {
void MainForm::TestQLX_Click()
{
    Exchange exchange(*this);
    if (exchange.refused())
        return;
    setMousePointer(11);
    const ConnectResult result = session_.connect(AdrC->text());
    DeviceHandle = result.deviceHandle;
    AnswerString = QString::fromLatin1(result.idn.text);
    if (result.opened)
        reportOutcome(result.idn.outcome);
    setMousePointer(0);
    if (closing())
        return;

    switch (result.failure) {
    case ConnectResult::NotOpened:
    case ConnectResult::NoTester:
        CableError();
        SetNotConnected();
        return;
    case ConnectResult::PcSide: // the cause on the PC on a line of its own, then the advice
        messageBox(result.failureText + QStringLiteral("\r\n") + cableAdviceText(currentBus()), MbCritical,
                   QStringLiteral("ERROR"));
        SetNotConnected();
        return;
    case ConnectResult::OpenRefused:
    case ConnectResult::BadAnswer:
        ErrorString = result.failureText;
        messageBox(ErrorString, MbCritical, QStringLiteral("ERROR"));
        SetNotConnected();
        return;
    case ConnectResult::None:
        FirmwareString = result.id.firmware;
        CanChangeDir = result.id.canChangeDir;
        SetConnected();
        return;
    }
}

void MainForm::SetConnected()
{
    setStatus(QStringLiteral("connected"), kGreen);
    QCoreApplication::processEvents();
    ReadDirectory();
    Connected = true;
}

void MainForm::SetNotConnected()
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(ErrorString);
    setStatus(QStringLiteral("not connected"), kRed);
    QCoreApplication::processEvents();
    Connected = false;
    if (session_.serialOpen())
        session_.closeSerial();
}

} // namespace qlx
