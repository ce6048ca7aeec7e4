#pragma once
// PNG files of screens through libpng, tuned for speed: a batch of hardcopies for a report would
// otherwise spend most of its time compressing (Qt's writer takes 20 to 30 ms a screen at its
// default level). Each row is stored as its difference to the row above ("up" filter), which
// leaves the flat areas, grid lines and repeated rows of a screen as runs of zeros, and zlib
// compresses at its fastest level: about 35 KB for an 800x600 tester screen.

#include <QByteArray>
#include <QImage>

namespace wmf {

// The image as a PNG file in 8-bit RGB (alpha is dropped); empty for a null image.
QByteArray encodePng(const QImage& image);

} // namespace wmf
