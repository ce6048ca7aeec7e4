#include "link/gpibaddress.h"

#include "platform/vbval.h"

#include <QRegularExpression>

#include <cmath>

namespace qlx {

QString GpibAddress::where() const
{
    if (kind == Device)
        return device;
    return QStringLiteral("%1:%2").arg(host.contains(u':') ? u'[' + host + u']' : host).arg(port);
}

QString GpibAddress::text() const
{
    if (isResource())
        return resource;
    return kind == Library ? QString::number(primary) : QStringLiteral("%1@%2").arg(primary).arg(where());
}

namespace {

// A GPIB address field of a resource string: 0 to 30 in digits.
std::optional<int> addressField(const QString& field)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,2}$"));
    const int value = field.toInt();
    return digits.match(field).hasMatch() && value <= 30 ? std::optional(value) : std::nullopt;
}

std::optional<GpibAddress> parseResource(const QString& trimmed)
{
    static const QRegularExpression board(QStringLiteral("^(GPIB|TCPIP)[0-9]*$"),
                                          QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression gateway(QStringLiteral("^gpib[0-9]*,([0-9]{1,2})$"),
                                            QRegularExpression::CaseInsensitiveOption);
    QStringList fields = trimmed.split(QStringLiteral("::"));
    if (fields.size() > 2 && fields.last().compare(QStringLiteral("INSTR"), Qt::CaseInsensitive) == 0)
        fields.removeLast();
    const QRegularExpressionMatch type = board.match(fields.first());
    if (!type.hasMatch())
        return std::nullopt;
    GpibAddress address;
    address.resource = trimmed;
    if (type.captured(1).compare(QStringLiteral("GPIB"), Qt::CaseInsensitive) == 0) {
        if (fields.size() != 2 && fields.size() != 3)
            return std::nullopt;
        const std::optional<int> primary = addressField(fields[1]);
        if (!primary || (fields.size() == 3 && !addressField(fields[2])))
            return std::nullopt;
        address.kind = GpibAddress::VisaGpib;
        address.primary = *primary;
        return address;
    }
    const QRegularExpressionMatch device = fields.size() == 3 ? gateway.match(fields[2]) : QRegularExpressionMatch();
    const std::optional<int> primary = device.hasMatch() ? addressField(device.captured(1)) : std::nullopt;
    if (!primary || fields[1].isEmpty() || fields[1].contains(u' ') || fields[1].contains(u'/'))
        return std::nullopt;
    address.kind = GpibAddress::VisaTcpip;
    address.host = fields[1];
    address.primary = *primary;
    address.gatewayDevice = fields[2].toLower().toLatin1();
    return address;
}

} // namespace

QString gatewayResource(const QString& host, int primary)
{
    return QStringLiteral("TCPIP0::%1::gpib0,%2::INSTR").arg(host).arg(primary);
}

std::optional<GpibAddress> parseGpibAddress(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.contains(QStringLiteral("::")) && !trimmed.contains(u'@')) // not PAD@[IPv6]
        return parseResource(trimmed);
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

QString serialPortName(const QString& addressText)
{
    const QString text = addressText.trimmed();
    if (text.startsWith(QLatin1Char('/')))
        return text;
    const std::optional<qint16> number = addressValue(text);
    if (!number || *number < 1)
        return {};
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(*number);
#else
    return QStringLiteral("/dev/ttyS%1").arg(*number - 1);
#endif
}

std::optional<qint16> addressValue(const QString& text)
{
    const double value = std::nearbyint(leadingNumber(text));
    if (!(value >= -32768.0 && value <= 32767.0))
        return std::nullopt;
    return static_cast<qint16>(value);
}

} // namespace qlx
