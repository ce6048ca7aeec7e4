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

    if (!result.openError.isEmpty()) {
        ErrorString = result.openError;
        messageBox(ErrorString, MbCritical, QStringLiteral("ERROR"));
        SetNotConnected();
        return;
    }
    const Identification& id = result.id;
    switch (id.verdict) {
    case Identification::NotATester:
        CableError();
        SetNotConnected();
        return;
    case Identification::NoComma:
    case Identification::NoFirmware:
        ErrorString = id.errorText;
        messageBox(ErrorString, MbCritical, QStringLiteral("ERROR"));
        SetNotConnected();
        return;
    case Identification::Accepted:
        FirmwareString = id.firmware;
        CanChangeDir = id.canChangeDir;
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
