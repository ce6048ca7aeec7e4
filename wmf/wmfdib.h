#pragma once
// Device-independent bitmaps as metafiles embed them: header, colour table and pixel bits in one block.

#include "wmf/wmfformat.h"

#include <QImage>
#include <QList>

namespace wmf {

// Largest bitmap decoded, in pixels; larger ones are not drawn.
constexpr qint64 MaxDibPixels = 16'000'000;

// Decodes a packed DIB into an RGB32 image (top row first). When paletteIndices is set the colour
// table holds 16-bit indexes into `palette` (DIB_PAL_COLORS). Returns a null image for anything
// malformed, too large or shorter than its rows need.
QImage decodeDib(const Bytes& dib, bool paletteIndices = false, const QList<QRgb>& palette = {});

// Decodes a monochrome device-dependent bitmap (Bitmap16 header followed by its bits) as used by
// old pattern brushes: set bits white, clear bits black.
QImage decodeMonoBitmap16(const Bytes& header, const Bytes& bits);

} // namespace wmf
