// Bitmap records and the raster operations that metafile writers use with them.

#include "wmf/wmfdib.h"
#include "wmf/wmfplayer_p.h"

namespace wmf {
namespace {

enum Rop : uint32_t {
    SrcCopy = 0xCC0020,
    SrcPaint = 0xEE0086,
    SrcAnd = 0x8800C6,
    SrcInvert = 0x660046,
    SrcErase = 0x440328,
    NotSrcCopy = 0x330008,
    NotSrcErase = 0x1100A6,
    MergePaint = 0xBB0226,
    PatCopy = 0xF00021,
    PatInvert = 0x5A0049,
    DstInvert = 0x550009,
    Blackness = 0x000042,
    Whiteness = 0xFF0062,
    Nop = 0xAA0029,
    PatWhereBlack = 0xB8074A, // PSDPxax: pattern where the source is black, else the destination
    PatWhereWhite = 0xE20746, // DSPDxax: pattern where the source is white, else the destination
};

// Pixels equal to `key` become transparent; the rest keep their colour or take `paint`.
QImage keyed(const QImage& image, QRgb key, std::optional<QRgb> paint = {})
{
    QImage out = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            if ((line[x] | 0xFF000000) == (key | 0xFF000000))
                line[x] = 0;
            else if (paint)
                line[x] = *paint | 0xFF000000;
        }
    }
    return out;
}

// Whether the DIB at `dib` is stored bottom-up (its source rectangles then count from the bottom).
bool bottomUp(const Bytes& dib) { return dib.u32(0) == 12 || dib.s32(8) > 0; }

} // namespace

void Player::bitmap(const Record& r, const Bytes& p)
{
    const uint32_t rop = p.u32(0);
    const qsizetype words = r.size / 2;
    auto rect = [&](int x, int y, int w, int h) { return QRectF(map(x, y), map(x + w, y + h)); };
    auto dib = [&](qsizetype at, bool paletteIndices) {
        QImage image = pic_.dibs.value(r.offset);
        if (image.isNull() && paletteIndices)
            image = decodeDib(p.mid(at), true, palette() ? *palette() : Palette());
        return image;
    };
    switch (r.function) {
    case fn::PatBlt:
        if (p.has(0, 12))
            patternBlit(rop, rect(p.s16(10), p.s16(8), p.s16(6), p.s16(4)));
        return;
    case fn::StretchDib: {
        if (!p.has(0, 22))
            return;
        const QImage image = dib(22, p.u16(4) == 1);
        const int sh = p.s16(6), sw = p.s16(8), sy = p.s16(10), sx = p.s16(12);
        const int top = bottomUp(p.mid(22)) ? image.height() - sy - sh : sy;
        blit(rop, rect(p.s16(20), p.s16(18), p.s16(16), p.s16(14)), image, QRectF(sx, top, sw, sh));
        return;
    }
    case fn::SetDibToDev: {
        if (!p.has(0, 18))
            return;
        const QImage image = dib(18, p.u16(0) == 1);
        const int h = p.s16(10), w = p.s16(12), sy = p.s16(6), sx = p.s16(8);
        const int top = bottomUp(p.mid(18)) ? image.height() - sy - h : sy;
        blit(SrcCopy, rect(p.s16(16), p.s16(14), w, h), image, QRectF(sx, top, w, h));
        return;
    }
    case fn::DibStretchBlt:
    case fn::StretchBlt:
        if (words == 14) { // no bitmap: a pattern operation
            if (p.has(0, 22))
                patternBlit(rop, rect(p.s16(20), p.s16(18), p.s16(16), p.s16(14)));
        } else if (p.has(0, 20)) {
            const QImage image = r.function == fn::DibStretchBlt ? dib(20, false) : monoBitmap(p.mid(20));
            blit(rop, rect(p.s16(18), p.s16(16), p.s16(14), p.s16(12)), image,
                 QRectF(p.s16(10), p.s16(8), p.s16(6), p.s16(4)));
        }
        return;
    case fn::DibBitBlt:
    case fn::BitBlt:
        if (words == 12) {
            if (p.has(0, 18))
                patternBlit(rop, rect(p.s16(16), p.s16(14), p.s16(12), p.s16(10)));
        } else if (p.has(0, 16)) {
            const int h = p.s16(8), w = p.s16(10);
            const QImage image = r.function == fn::DibBitBlt ? dib(16, false) : monoBitmap(p.mid(16));
            blit(rop, rect(p.s16(14), p.s16(12), w, h), image, QRectF(p.s16(6), p.s16(4), w, h));
        }
        return;
    default:
        return;
    }
}

// An old device-dependent bitmap: only monochrome ones have defined colours, which GDI takes
// from the text colour (clear bits) and the background colour (set bits).
QImage Player::monoBitmap(const Bytes& bitmap16) const
{
    QImage image = decodeMonoBitmap16(bitmap16.mid(0, 10), bitmap16.mid(10));
    if (image.isNull() || (dc_.textColor == Qt::black && dc_.bkColor == Qt::white))
        return image;
    const QRgb fore = dc_.textColor.rgb(), back = dc_.bkColor.rgb();
    for (int y = 0; y < image.height(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            line[x] = qRed(line[x]) ? back : fore;
    }
    return image;
}

void Player::blit(uint32_t rop, const QRectF& dest, const QImage& image, QRectF source)
{
    switch (rop) {
    case PatCopy:
    case PatInvert:
    case DstInvert:
    case Blackness:
    case Whiteness:
        patternBlit(rop, dest);
        return;
    case Nop:
        return;
    default:
        break;
    }
    if (image.isNull() || dest.width() == 0 || dest.height() == 0 || source.width() == 0 || source.height() == 0)
        return;
    const bool mirrorX = (dest.width() < 0) != (source.width() < 0);
    const bool mirrorY = (dest.height() < 0) != (source.height() < 0);
    source = source.normalized() & QRectF(image.rect());
    if (source.isEmpty())
        return;
    QImage img = image;
    if (mirrorX || mirrorY) {
        img = image.copy(source.toAlignedRect()).mirrored(mirrorX, mirrorY);
        source = img.rect();
    }
    const QRgb brushColor = dc_.brush.color.rgb();
    QPainter::CompositionMode mode = QPainter::CompositionMode_SourceOver;
    switch (rop) {
    case SrcPaint:
        mode = QPainter::RasterOp_SourceOrDestination;
        if (!rasterOps_)
            img = keyed(img, qRgb(0, 0, 0));
        break;
    case SrcAnd:
        mode = QPainter::RasterOp_SourceAndDestination;
        if (!rasterOps_)
            img = keyed(img, qRgb(255, 255, 255));
        break;
    case SrcInvert:
        mode = QPainter::RasterOp_SourceXorDestination;
        if (!rasterOps_)
            img = keyed(img, qRgb(0, 0, 0));
        break;
    case SrcErase:
        mode = QPainter::RasterOp_SourceAndNotDestination;
        break;
    case NotSrcCopy:
        mode = QPainter::RasterOp_NotSource;
        break;
    case NotSrcErase:
        mode = QPainter::RasterOp_NotSourceAndNotDestination;
        break;
    case MergePaint:
        mode = QPainter::RasterOp_NotSourceOrDestination;
        break;
    case PatWhereBlack:
        img = keyed(img, qRgb(255, 255, 255), brushColor);
        break;
    case PatWhereWhite:
        img = keyed(img, qRgb(0, 0, 0), brushColor);
        break;
    default:
        break; // SRCCOPY and the rest: copy the source
    }
    if (mode != QPainter::CompositionMode_SourceOver) {
        if (!rasterOps_ && mode != QPainter::RasterOp_SourceOrDestination
            && mode != QPainter::RasterOp_SourceAndDestination && mode != QPainter::RasterOp_SourceXorDestination)
            return;
        if (rasterOps_)
            p_.setCompositionMode(mode);
    }
    smooth(false);
    charge(dest);
    p_.drawImage(dest.normalized(), img, source);
    p_.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void Player::patternBlit(uint32_t rop, const QRectF& dest)
{
    const QRectF d = dest.normalized();
    smooth(false);
    charge(d);
    switch (rop) {
    case PatCopy:
        p_.fillRect(d, brush(dc_.brush));
        break;
    case Blackness:
        p_.fillRect(d, Qt::black);
        break;
    case Whiteness:
        p_.fillRect(d, Qt::white);
        break;
    case PatInvert:
    case DstInvert:
        if (rasterOps_) {
            p_.setCompositionMode(rop == PatInvert ? QPainter::RasterOp_SourceXorDestination
                                                   : QPainter::RasterOp_NotDestination);
            p_.fillRect(d, rop == PatInvert ? brush(dc_.brush) : QBrush(Qt::black));
            p_.setCompositionMode(QPainter::CompositionMode_SourceOver);
        }
        break;
    default:
        break;
    }
}

} // namespace wmf
