#pragma once
// The settings module: typed single values of the INI file, through the profile-string layer.
// A value's kind is that of its QVariant: QString (text), bool, short/int (16/32-bit integer),
// float/double, or an invalid QVariant for "missing".

#include <QString>
#include <QVariant>

namespace qlx {

enum IniMode { IniDefault = 0, IniReadMode = 1, IniWriteMode = 2 };

// mode 0: value = defaultValue; mode 1: value = IniRead(...); mode 2: IniWrite(value); other: nothing.
void IniAccess(const QString& filePath, const QString& section, const QString& key, QVariant& value, int mode,
               const QVariant& defaultValue = QVariant());

// Reads one value; `kindSource` gives the kind of the result.
QVariant IniRead(const QString& filePath, const QString& section, const QString& key, const QVariant& defaultValue,
                 const QVariant& kindSource);

void IniWrite(const QString& filePath, const QString& section, const QString& key, const QVariant& value);

// The text form of a non-text value: True/False for Booleans, decimal numbers with one leading
// blank when not negative.
QString iniTextForm(const QVariant& value);

// The file that QLXCOPY_SETTINGS names when that is set; otherwise the file beside the program
// when that folder is writable or already holds the file, otherwise the per-user configuration folder.
QString settingsFilePath(const QString& programDir);

// Why the settings file `path` is refused, never read nor written: it is a symbolic link, folder,
// named pipe or device. Empty for a regular file or a free name.
QString settingsFileRefusal(const QString& path);

} // namespace qlx
