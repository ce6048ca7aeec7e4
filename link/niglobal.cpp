#include "link/niglobal.h"

namespace qlx::ni {

Status& status()
{
    thread_local Status s;
    return s;
}

void copyStatus(Status& s)
{
    s.ibsta = static_cast<qint16>(s.words.status & 0xFFFF);
    s.iberr = static_cast<qint16>(s.words.error);
    s.ibcnt = static_cast<qint16>(s.ibcntl() & 0xFFFF);
}

} // namespace qlx::ni
