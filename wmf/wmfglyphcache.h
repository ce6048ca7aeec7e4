#pragma once
// Images of large glyphs. Qt keeps rendered glyphs only up to 64 pixels and fills larger ones as
// outlines every time they are drawn, which for the captions of a tester screen at 4K costs more
// than all the rest of the screen; the player keeps images of them itself.

#include <QColor>
#include <QHash>
#include <QImage>
#include <QRawFont>
#include <QTransform>

namespace wmf {

struct GlyphImage {
    QImage image;  // the glyph in its colour on transparent; null for a blank glyph
    QPoint offset; // of the image's top left from the glyph's origin, in device pixels
};

// The images of the glyphs of one font, drawn in one colour under the linear part of one
// transform. Looking them up by glyph is cheap; finding the set for a font is not, so it is done
// once per string.
class GlyphImages {
public:
    GlyphImages(const QRawFont& font, const QTransform& transform, QColor colour);
    // The image of a glyph, made on first use; nullptr when it is too large to keep.
    const GlyphImage* find(quint32 glyph);

private:
    QRawFont font_;
    QTransform linear_;
    QColor colour_;
    QHash<quint32, GlyphImage>* images_;
};

} // namespace wmf
