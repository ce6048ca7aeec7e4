#include "store/deletion.h"

#include "store/names.h"

namespace qlx {

QByteArray deleteRequestCommand(const QString& testerName)
{
    return QByteArrayLiteral("MMEM:DEL \"") + trimBlanks(testerName).toLatin1() + QByteArrayLiteral("\",INT");
}

DeleteResult deleteOnTester(Transport& transport, Bus bus, const QString& testerName)
{
    DeleteResult result;
    result.refusedReason = unsafeNameReason(trimBlanks(testerName));
    if (!result.refusedReason.isEmpty())
        return result;
    result.outcome = transport.sendCommand(bus, deleteRequestCommand(testerName));
    result.sent = result.outcome == Outcome::Ok;
    return result;
}

} // namespace qlx
