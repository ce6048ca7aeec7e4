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

} // namespace qlx
