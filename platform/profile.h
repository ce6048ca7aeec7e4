#pragma once
// Profile-string access to INI files, behaving like the Windows profile functions the settings
// module was written for: section and key names match without regard to case, values are trimmed
// of surrounding blanks and one pair of enclosing double quotes, and a write changes only the one
// line it has to (every other line, comments included, stays byte for byte). Only a regular file
// is read or written: a link is not followed and a named pipe or device not waited on (it reads
// as no file and is never written), and a write replaces the whole file or nothing.

#include <QString>

namespace qlx {

// Copies the value of `key` in `section` of `filePath` (or `defaultText` when the file, section
// or key is absent) cut to bufferSize - 1 characters into `value`; returns its length.
int GetPrivateProfileString(const QString& section, const QString& key, const QString& defaultText, QString& value,
                            int bufferSize, const QString& filePath);

// Creates the file, the section and the key as needed and sets the key's value.
// Returns false when the file could not be written (also where its folder takes no temporary
// file, or something other than a regular file has the name); the file is then left as it was.
bool WritePrivateProfileString(const QString& section, const QString& key, const QString& value,
                               const QString& filePath);

} // namespace qlx
