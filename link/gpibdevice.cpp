#include "link/gpibdevice.h"

namespace qlx {

QByteArray GpibDevice::readText(int maxLength, TransportObserver* debug)
{
    const qsizetype piece = qMax(1, maxLength);
    QByteArray answer;
    for (;;) {
        const qsizetype at = answer.size();
        answer.resize(at + piece);
        const qint64 got = read(answer.data() + at, piece);
        answer.truncate(at + got);
        if (endSeen() || got < piece || answer.size() > kMaxTextAnswer)
            break;
    }
    if (debug)
        debug->gpibTextRead(answer, answer.size(), answer);
    return answer;
}

bool GpibDevice::finishBlock()
{
    char end = 0;
    if (read(&end, 1) != 1)
        return false;
    if (end == '\r') {
        if (endSeen() || read(&end, 1) != 1)
            return false;
    }
    return end == '\n' && endSeen();
}

} // namespace qlx
