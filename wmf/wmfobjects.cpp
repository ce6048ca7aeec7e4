// The object table (pens, brushes, fonts, palettes, regions) and clipping.

#include "wmf/wmfdib.h"
#include "wmf/wmfplayer_p.h"

namespace wmf {
namespace {

// Regions are kept to this many rectangles: clipping with more would take too long.
constexpr int MaxRegionRects = 1000;
// Bytes of a region's header, before its scans: next in chain, type, count, size, scan count,
// widest scan and the bounding box.
constexpr qsizetype RegionHeader = 22;

} // namespace

QPainterPath Clip::toPath() const
{
    if (!isRect)
        return path;
    QPainterPath p;
    p.addRect(rect);
    return p;
}

void Player::addObject(Object o)
{
    while (firstFree_ < objects_.size() && objects_[firstFree_])
        ++firstFree_;
    if (firstFree_ < objects_.size())
        objects_[firstFree_] = std::move(o);
    else if (objects_.size() < MaxObjects)
        objects_.push_back(std::move(o));
}

void Player::select(int index)
{
    if (index < 0 || size_t(index) >= objects_.size() || !objects_[index])
        return;
    const Object& o = *objects_[index];
    if (auto pen = std::get_if<PenSpec>(&o))
        dc_.pen = *pen;
    else if (auto brush = std::get_if<BrushSpec>(&o))
        dc_.brush = *brush;
    else if (auto font = std::get_if<FontSpec>(&o))
        dc_.font = *font;
    else if (std::holds_alternative<QRegion>(o))
        clipRegion(index);
}

// A record that cannot build its object creates none, as in GDI: the objects after it keep their
// slots in the table.
void Player::object(const Record& r, const Bytes& p)
{
    switch (r.function) {
    case fn::CreatePenIndirect:
        if (p.has(0, 10))
            addObject(PenSpec{p.u16(0), p.s16(2), color(p.u32(6))});
        return;
    case fn::CreateBrushIndirect:
        if (p.has(0, 8))
            addObject(BrushSpec{p.u16(0), color(p.u32(2)), p.u16(6), {}});
        return;
    case fn::CreateFontIndirect: {
        if (!p.has(0, 18))
            return;
        FontSpec f;
        f.height = p.s16(0), f.width = p.s16(2), f.escapement = p.s16(4), f.weight = p.s16(8);
        f.italic = p.u8(10), f.underline = p.u8(11), f.strikeOut = p.u8(12), f.charset = p.u8(13);
        f.pitchAndFamily = p.u8(17);
        for (qsizetype i = 18; i < 18 + 32 && p.has(i, 1) && p.u8(i); ++i)
            f.face.append(char(p.u8(i)));
        addObject(f);
        return;
    }
    case fn::CreatePalette: {
        if (!p.has(0, 4))
            return;
        Palette pal;
        const int count = qMin<qsizetype>(p.u16(2), (p.size() - 4) / 4);
        for (int i = 0; i < count; ++i)
            pal.append(qRgb(p.u8(4 + 4 * i), p.u8(5 + 4 * i), p.u8(6 + 4 * i)));
        addObject(pal);
        return;
    }
    case fn::DibCreatePatternBrush: {
        QImage image = pic_.dibs.value(r.offset);
        if (image.isNull() && p.u16(2) == 1)
            image = decodeDib(p.mid(4), true, palette() ? *palette() : Palette());
        if (!image.isNull())
            addObject(BrushSpec{5, Qt::black, 0, image});
        return;
    }
    case fn::CreatePatternBrush: {
        const QImage image = decodeMonoBitmap16(p.mid(0, 10), p.mid(32));
        if (!image.isNull())
            addObject(BrushSpec{5, Qt::black, 0, image});
        return;
    }
    case fn::CreateRegion: {
        if (!p.has(0, RegionHeader))
            return;
        QList<QRect> rects;
        const int scans = p.s16(10);
        qsizetype at = RegionHeader;
        for (int s = 0; s < scans && p.has(at, 6) && rects.size() < MaxRegionRects; ++s) {
            const int count = p.u16(at), top = p.s16(at + 2), bottom = p.s16(at + 4);
            for (int i = 0; i + 1 < count && p.has(at + 6 + 2 * i, 4); i += 2)
                rects.append(QRect(QPoint(p.s16(at + 6 + 2 * i), top), QPoint(p.s16(at + 8 + 2 * i), bottom))
                                 .normalized()
                                 .adjusted(0, 0, -1, -1));
            at += 8 + 2 * qsizetype(count);
        }
        QRegion region;
        region.setRects(rects.constData(), int(rects.size()));
        addObject(region);
        return;
    }
    case fn::SelectObject:
        select(p.u16(0));
        return;
    case fn::DeleteObject:
        if (p.ok() && p.u16(0) < objects_.size()) {
            objects_[p.u16(0)].reset();
            firstFree_ = qMin<size_t>(firstFree_, p.u16(0));
        }
        return;
    case fn::SetPalEntries:
    case fn::AnimatePalette:
    case fn::ResizePalette: {
        if (dc_.palette < 0 || !palette())
            return;
        Palette& pal = std::get<Palette>(*objects_[dc_.palette]);
        if (r.function == fn::ResizePalette) {
            pal.resize(qMin<int>(p.u16(0), 4096));
            return;
        }
        const int start = p.u16(0);
        const int count = qMin<qsizetype>(p.u16(2), (p.size() - 4) / 4);
        for (int i = 0; i < count && start + i < pal.size(); ++i)
            pal[start + i] = qRgb(p.u8(4 + 4 * i), p.u8(5 + 4 * i), p.u8(6 + 4 * i));
        return;
    }
    default:
        return; // records without effect on a picture, and unknown ones
    }
}

void Player::clipRect(uint16_t function, const Bytes& p)
{
    if (!p.has(0, 8))
        return;
    const QRectF r = mapRect(p.s16(6), p.s16(4), p.s16(2), p.s16(0));
    Clip& c = dc_.clip;
    if (function == fn::IntersectClipRect) {
        if (!c.active)
            c.rect = target_ & r;
        else if (c.isRect)
            c.rect &= r;
        else {
            QPainterPath rp;
            rp.addRect(r);
            c.path = c.path.intersected(rp);
        }
    } else {
        QPainterPath base;
        base.addRect(target_);
        QPainterPath rp;
        rp.addRect(r);
        c.path = (c.active ? c.toPath() : base).subtracted(rp);
        c.isRect = false;
    }
    c.active = true;
    applyClip();
}

void Player::clipRegion(int index)
{
    Clip& c = dc_.clip;
    const bool isRegion = index >= 0 && size_t(index) < objects_.size() && objects_[index]
                          && std::holds_alternative<QRegion>(*objects_[index]);
    if (!isRegion) // no region there, as where its record built none: the clipping stays
        return;
    c.path = regionPath(index);
    work_ += 16 * c.path.elementCount();
    c.isRect = false;
    c.active = true;
    applyClip();
}

void Player::offsetClip(const Bytes& p)
{
    if (!dc_.clip.active)
        return;
    const QPointF d = map(p.s16(2), p.s16(0)) - map(0, 0);
    dc_.clip.rect.translate(d);
    dc_.clip.path.translate(d);
    applyClip();
}

void Player::applyClip()
{
    const Clip& c = dc_.clip;
    if (runs_) // nothing is painted
        return;
    if (!c.active)
        p_.setClipRect(target_);
    else if (c.isRect)
        p_.setClipRect(c.rect.isValid() ? c.rect : QRectF());
    else {
        p_.setClipRect(target_);
        p_.setClipPath(c.path, Qt::IntersectClip);
    }
}

} // namespace wmf
