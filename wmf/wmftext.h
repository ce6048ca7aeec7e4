#pragma once
// Text helpers: metafile strings are 8-bit text in the font's character set, and face names from
// Windows need a font that is installed here.

#include <QByteArray>
#include <QFont>
#include <QStringList>

namespace wmf {

// Decodes metafile text bytes written in the given LOGFONT character set.
QString decodeText(QByteArrayView bytes, int charset);

// Families to try for a Windows face name, best first: the face itself when installed, then
// metric-compatible or similar fonts chosen by name and by the LOGFONT pitch-and-family byte.
QStringList fontFamilies(const QByteArray& faceName, int pitchAndFamily);

// Style hint for the pitch-and-family byte and face name (used when no listed family exists).
QFont::StyleHint styleHint(const QByteArray& faceName, int pitchAndFamily);

} // namespace wmf
