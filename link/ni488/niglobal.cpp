#include "link/ni488/niglobal.h"

#include <iterator>

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

QString errorName(int iberr)
{
    static const char* const names[] = {"EDVR", "ECIC", "ENOL",  "EADR",  "EARG",  "ESAC",  "EABO",
                                        "ENEB", "EDMA", nullptr, "EOIP",  "ECAP",  "EFSO",  nullptr,
                                        "EBUS", "ESTB", "ESRQ",  nullptr, nullptr, nullptr, "ETAB"};
    if (iberr >= 0 && iberr < int(std::size(names)) && names[iberr])
        return QString::fromLatin1(names[iberr]);
    return QStringLiteral("error %1").arg(iberr);
}

QString statusText(const Status& s)
{
    return QStringLiteral("ibsta 0x%1, iberr %2 (%3), ibcntl %4")
        .arg(quint16(s.ibsta), 4, 16, QLatin1Char('0'))
        .arg(s.iberr)
        .arg(errorName(s.iberr))
        .arg(s.ibcntl());
}

} // namespace qlx::ni
