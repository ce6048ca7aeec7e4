#include "link/gpibaddress.h"

#include "link/transport.h"

namespace qlx {

QString GpibAddress::where() const
{
    if (kind == Device)
        return device;
    return QStringLiteral("%1:%2").arg(host.contains(u':') ? u'[' + host + u']' : host).arg(port);
}

QString GpibAddress::text() const
{
    return kind == Library ? QString::number(primary) : QStringLiteral("%1@%2").arg(primary).arg(where());
}

std::optional<GpibAddress> parseGpibAddress(const QString& text)
{
    const QString trimmed = text.trimmed();
    const qsizetype at = trimmed.indexOf(u'@');
    GpibAddress address;
    if (at < 0) {
        const std::optional<qint16> value = addressValue(trimmed);
        if (!value)
            return std::nullopt;
        address.primary = *value;
        return address;
    }
    bool ok = false;
    address.primary = trimmed.left(at).toInt(&ok);
    if (!ok || address.primary < 0 || address.primary > 30)
        return std::nullopt;
    const QString where = trimmed.mid(at + 1);
    if (where.startsWith(u'/')) {
        address.kind = GpibAddress::Device;
        address.device = where;
        return address;
    }
    address.kind = GpibAddress::Network;
    address.port = kAdapterPort;
    std::optional<QString> portText;
    if (where.startsWith(u'[')) { // [IPv6 address]:PORT
        const qsizetype close = where.indexOf(u']');
        const QString rest = where.mid(close + 1);
        if (close < 0 || (!rest.isEmpty() && !rest.startsWith(u':')))
            return std::nullopt;
        address.host = where.mid(1, close - 1);
        if (!rest.isEmpty())
            portText = rest.mid(1);
    } else if (where.count(u':') > 1) {
        return std::nullopt;
    } else {
        address.host = where.section(u':', 0, 0);
        if (where.contains(u':'))
            portText = where.section(u':', 1);
    }
    if (address.host.isEmpty() || address.host.contains(u'/') || address.host.contains(u' '))
        return std::nullopt;
    if (portText) {
        const uint port = portText->toUInt(&ok);
        if (!ok || port < 1 || port > 65535)
            return std::nullopt;
        address.port = quint16(port);
    }
    return address;
}

} // namespace qlx
