#include "store/directory.h"

namespace qlx {

DirectoryAnswer readTesterDirectory(Transport& transport, Bus bus, bool canChangeDir)
{
    DirectoryAnswer result;
    if (canChangeDir)
        transport.sendCommand(bus, directoryChangeCommand().toLatin1());
    result.answer = transport.queryText(bus, kListingQuery.toLatin1(), kListingBufferLength);
    if (bus == Bus::Gpib && result.answer.outcome != Outcome::Aborted)
        transport.goToLocal(bus);
    result.listing = parseListing(QString::fromLatin1(result.answer.text), canChangeDir);
    return result;
}

DirectoryAnswer::Verdict DirectoryAnswer::verdict() const
{
    const QByteArray& text = answer.text;
    if (answer.outcome == Outcome::Ok && !text.isEmpty() && !text.endsWith('\n'))
        return BrokeOff;
    if (answer.outcome != Outcome::Ok || text.isEmpty())
        return NoAnswer;
    if (!isDirectoryListing(QString::fromLatin1(text)))
        return NotAListing;
    return listing.directoryOk ? Listed : OtherDirectory;
}

QString DirectoryAnswer::failureText() const
{
    switch (verdict()) {
    case Listed:
        return {};
    case NoAnswer:
        return QStringLiteral("the tester sent no directory listing (%1)").arg(outcomeText(answer.outcome));
    case BrokeOff:
        return QStringLiteral("the tester's directory listing broke off after %1 bytes").arg(answer.text.size());
    case NotAListing:
        return QStringLiteral("the tester's answer to MMEM:SCAN? is not a directory listing");
    case OtherDirectory:
        return directoryAdvice();
    }
    return {};
}

} // namespace qlx
