#include "link/identify.h"

#include "platform/vbval.h"

#include <QStringList>

namespace qlx {

bool firmwareCanChangeDir(const QString& firmware)
{
    return leadingNumber(firmware.left(1)) >= 3 && leadingNumber(firmware.mid(2, 2)) >= 10;
}

Identification identify(const QString& answer)
{
    Identification id;
    const bool maker = answer.left(4).toUpper() == u"HALV";
    const bool model = answer.toUpper().contains(QStringLiteral("QLX"));
    if (!maker || !model)
        return id;
    if (!answer.contains(u',')) {
        id.verdict = Identification::NoComma;
        id.errorText = QStringLiteral("ERROR: invalid *IDN? answer: \r\n") + answer;
        return id;
    }
    const QStringList fields = answer.split(u',');
    if (fields.size() < 4) {
        id.verdict = Identification::NoFirmware;
        id.errorText = QStringLiteral("ERROR: missing firmware information in *IDN? answer: \r\n") + answer;
        return id;
    }
    id.verdict = Identification::Accepted;
    id.firmware = fields[3].mid(1);
    id.canChangeDir = firmwareCanChangeDir(id.firmware);
    return id;
}

} // namespace qlx
