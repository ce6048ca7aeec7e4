#pragma once
// Names of the tester's files as the program sends them in commands and writes them into the PC
// folder.

#include <QString>

namespace qlx {

// A hardcopy's name ends in "WMF", in any case; a dot before it is not required.
bool isHardcopyName(const QString& name);

// Why a tester file name (already trimmed) must not be sent or written: it is empty, holds a
// control character, a double quote, "/", "\", ":", "*" or "?", or is "." or "..". Empty text
// when the name is safe. Such a name could escape the PC folder, end the quoted name in a command
// early, or, as a wildcard, make the tester delete every file it matches.
QString unsafeNameReason(const QString& name);

// The order of the tester's list: alphabetical whatever the case, a case-sensitive tie-break.
bool hardcopyNameLess(const QString& a, const QString& b);

// Leading and trailing blanks removed, as the tester pads its fields with them.
QString trimBlanks(const QString& text);

} // namespace qlx
