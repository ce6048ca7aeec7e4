#include "wmf/wmfglyphcache.h"

#include <QPainter>
#include <QPainterPath>
#include <unordered_map>

namespace wmf {
namespace {

// A heading across an 8K picture has glyphs of a million pixels; larger ones are filled each time.
constexpr qint64 MaxGlyphPixels = 1 << 20;
constexpr qint64 MaxBytes = 32 << 20;

struct Cache {
    std::unordered_map<QString, QHash<quint32, GlyphImage>> sets; // by font, transform and colour
    qint64 bytes = 0;
};

Cache& cache()
{
    thread_local Cache c;
    return c;
}

} // namespace

GlyphImages::GlyphImages(const QRawFont& font, const QTransform& transform, QColor colour)
    : font_(font), linear_(transform.m11(), transform.m12(), transform.m21(), transform.m22(), 0, 0), colour_(colour)
{
    Cache& c = cache();
    if (c.bytes > MaxBytes) {
        c.sets.clear();
        c.bytes = 0;
    }
    const QString key = QStringLiteral("%1|%2|%3|%4|%5|%6 %7 %8 %9|%10")
                            .arg(font.familyName(), font.styleName())
                            .arg(font.weight())
                            .arg(font.style())
                            .arg(font.pixelSize(), 0, 'g', 8)
                            .arg(linear_.m11(), 0, 'g', 6)
                            .arg(linear_.m12(), 0, 'g', 6)
                            .arg(linear_.m21(), 0, 'g', 6)
                            .arg(linear_.m22(), 0, 'g', 6)
                            .arg(colour.rgba());
    images_ = &c.sets[key];
}

const GlyphImage* GlyphImages::find(quint32 glyph)
{
    if (auto it = images_->constFind(glyph); it != images_->constEnd())
        return &*it;
    Cache& c = cache();
    const QPainterPath outline = linear_.map(font_.pathForGlyph(glyph));
    const QRect area = outline.boundingRect().toAlignedRect();
    if (qint64(area.width()) * area.height() > MaxGlyphPixels || c.bytes > MaxBytes)
        return nullptr;
    GlyphImage made;
    made.offset = area.topLeft();
    if (!outline.isEmpty() && !area.isEmpty()) {
        made.image = QImage(area.size(), QImage::Format_ARGB32_Premultiplied);
        made.image.fill(Qt::transparent);
        QPainter painter(&made.image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.translate(-area.topLeft());
        painter.fillPath(outline, colour_);
        c.bytes += made.image.sizeInBytes();
    }
    return &*images_->insert(glyph, made);
}

} // namespace wmf
