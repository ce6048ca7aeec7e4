#pragma once
// Renderings of a picture as image files: used by the clipboard and by qlxrender.

#include "wmf/wmfpicture.h"

#include <QImage>

namespace wmf {

// Largest image rendered: pixels per side and in all.
constexpr int MaxRenderSide = 16384;
constexpr qint64 MaxRenderPixels = 40'000'000;

// The size to render at: the requested width and height, a missing one following the picture's
// aspect ratio, both missing giving the natural size; clamped to 1..MaxRenderSide per side and
// reduced, keeping its shape, to at most MaxRenderPixels.
QSize renderSize(const Picture& picture, int width = 0, int height = 0);

// The picture drawn on white at `size`.
QImage renderImage(const Picture& picture, QSize size);

// The picture as an SVG document of `size` pixels.
QByteArray renderSvg(const Picture& picture, QSize size);

} // namespace wmf
