#include "app/iniio.h"

#include "platform/files.h"
#include "platform/profile.h"
#include "platform/vbval.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace qlx {
namespace {

constexpr int kBufferSize = 750;
const QString kFileName = QStringLiteral("QLXCopy.INI");

bool isNumberKind(const QVariant& v)
{
    switch (v.typeId()) {
    case QMetaType::Short:
    case QMetaType::Int:
    case QMetaType::Float:
    case QMetaType::Double:
        return true;
    default:
        return false;
    }
}

QString numberText(double number)
{
    const QString digits = QString::number(number, 'g', 15);
    return number < 0 ? digits : u' ' + digits;
}

} // namespace

QString iniTextForm(const QVariant& value)
{
    if (value.typeId() == QMetaType::Bool)
        return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    if (isNumberKind(value))
        return numberText(value.toDouble());
    return value.toString();
}

QVariant IniRead(const QString& filePath, const QString& section, const QString& key, const QVariant& defaultValue,
                 const QVariant& kindSource)
{
    QString defaultText;
    if (!defaultValue.isValid())
        defaultText = numberText(1);
    else if (defaultValue.typeId() == QMetaType::QString)
        defaultText = defaultValue.toString();
    else
        defaultText = iniTextForm(defaultValue);

    QString text;
    GetPrivateProfileString(section, key, defaultText, text, kBufferSize, filePath);

    if (kindSource.typeId() == QMetaType::Bool) {
        const QString upper = text.toUpper();
        return upper == u"1" || upper == u"WAHR" || upper == u"TRUE";
    }
    if (isNumberKind(kindSource))
        return leadingNumber(text);
    return text;
}

void IniWrite(const QString& filePath, const QString& section, const QString& key, const QVariant& value)
{
    QString text;
    if (value.typeId() == QMetaType::Bool)
        text = value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    else
        text = iniTextForm(value);
    WritePrivateProfileString(section, key, text, filePath);
}

void IniAccess(const QString& filePath, const QString& section, const QString& key, QVariant& value, int mode,
               const QVariant& defaultValue)
{
    switch (mode) {
    case IniDefault:
        value = defaultValue;
        break;
    case IniReadMode:
        value = IniRead(filePath, section, key, defaultValue, defaultValue);
        break;
    case IniWriteMode:
        IniWrite(filePath, section, key, value);
        break;
    default:
        break;
    }
}

QString settingsFilePath(const QString& programDir)
{
    const QString chosen = qEnvironmentVariable("QLXCOPY_SETTINGS");
    if (!chosen.isEmpty())
        return chosen;
    const QString beside = QDir(programDir).filePath(kFileName);
    if (QFileInfo::exists(beside) || QFileInfo(programDir).isWritable())
        return beside;
    const QString configDir = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    QDir().mkpath(configDir + QStringLiteral("/QLXCopy"));
    return configDir + QStringLiteral("/QLXCopy/") + kFileName;
}

QString settingsFileRefusal(const QString& path)
{
    const PathEntry entry = lookAt(path);
    if (entry.kind != PathEntry::Other)
        return {};
    return QStringLiteral("%1: the settings file is %2, not a regular file").arg(path, entry.what);
}

} // namespace qlx
