#include "wmf/wmfdib.h"
#include "wmf/wmfplayer_p.h"

#include <QPaintEngine>
#include <cmath>

namespace wmf {
namespace {

constexpr qint64 MaxCachedPixels = 32'000'000;

bool isMetricMode(int mode) { return mode >= 2 && mode <= 6; }

// Byte offset of the DIB inside a bitmap record's parameters and whether its colour table holds
// palette indexes; -1 when the record carries no DIB.
qsizetype dibOffset(const Record& r, const Bytes& p, bool& paletteIndices)
{
    paletteIndices = false;
    switch (r.function) {
    case fn::StretchDib:
        paletteIndices = p.u16(4) == 1;
        return 22;
    case fn::SetDibToDev:
        paletteIndices = p.u16(0) == 1;
        return 18;
    case fn::DibStretchBlt:
        return r.size == 28 ? -1 : 20;
    case fn::DibBitBlt:
        return r.size == 24 ? -1 : 16;
    case fn::DibCreatePatternBrush:
        paletteIndices = p.u16(2) == 1;
        return 4;
    default:
        return -1;
    }
}

// Logical bounds of what a plain metafile without window extent draws.
QRectF drawingBounds(const Bytes& file, const std::vector<Record>& records)
{
    double left = 0, top = 0, right = 0, bottom = 0;
    bool any = false;
    auto add = [&](double x, double y) {
        left = any ? qMin(left, x) : x, right = any ? qMax(right, x) : x;
        top = any ? qMin(top, y) : y, bottom = any ? qMax(bottom, y) : y;
        any = true;
    };
    for (const Record& r : records) {
        const Bytes p = params(file, r);
        switch (r.function) {
        case fn::MoveTo:
        case fn::LineTo:
            add(p.s16(2), p.s16(0));
            break;
        case fn::Rectangle:
        case fn::Ellipse:
            add(p.s16(6), p.s16(4));
            add(p.s16(2), p.s16(0));
            break;
        case fn::Polygon:
        case fn::Polyline: {
            const int n = p.s16(0);
            for (int i = 0; i < n && p.has(2 + 4 * i, 4); ++i)
                add(p.s16(2 + 4 * i), p.s16(4 + 4 * i));
            break;
        }
        case fn::ExtTextOut:
            add(p.s16(2), p.s16(0));
            break;
        default:
            break;
        }
    }
    return any && right > left && bottom > top ? QRectF(QPointF(left, top), QPointF(right, bottom))
                                               : QRectF(0, 0, 100, 100);
}

QRectF findFrame(const Bytes& file, const Parsed& pic)
{
    if (pic.header.placeable && !pic.header.bbox.isEmpty())
        return QRectF(pic.header.bbox);
    std::optional<QPointF> org, ext;
    for (const Record& r : pic.records) {
        const Bytes p = params(file, r);
        if (r.function == fn::SetWindowOrg && !org)
            org = QPointF(p.s16(2), p.s16(0));
        else if (r.function == fn::SetWindowExt && !ext && p.s16(0) && p.s16(2))
            ext = QPointF(p.s16(2), p.s16(0));
    }
    if (!ext)
        return drawingBounds(file, pic.records);
    const QPointF o = org.value_or(QPointF());
    // A negative extent flips the axis; the frame is the same area either way.
    return QRectF(o, QSizeF(ext->x(), ext->y())).normalized();
}

} // namespace

bool parse(const QByteArray& bytes, Parsed& out)
{
    out = Parsed();
    out.bytes = bytes;
    const Bytes file = out.file();
    out.header = parseHeader(file);
    if (!out.header.valid)
        return false;
    out.records = splitRecords(file, out.header);
    for (const Record& r : out.records) {
        if (r.function == fn::SetMapMode) {
            out.yUp = isMetricMode(params(file, r).u16(0));
            break;
        }
    }
    out.frame = findFrame(file, out);
    qint64 pixels = 0;
    for (const Record& r : out.records) {
        const Bytes p = params(file, r);
        bool paletteIndices = false;
        const qsizetype at = dibOffset(r, p, paletteIndices);
        if (at < 0 || paletteIndices)
            continue;
        QImage image = decodeDib(p.mid(at));
        pixels += qint64(image.width()) * image.height();
        if (!image.isNull() && pixels <= MaxCachedPixels)
            out.dibs.insert(r.offset, image);
    }
    return true;
}

QSizeF naturalSize(const Parsed& pic)
{
    QSizeF size = pic.frame.size();
    if (pic.header.placeable && pic.header.unitsPerInch > 0) {
        size *= 96.0 / pic.header.unitsPerInch;
    } else if (pic.yUp) {
        size *= 96.0 / 254; // 0.1 mm, the coarsest metric mode
    }
    const double longest = qMax(size.width(), size.height());
    if (longest > 8000 || longest < 16)
        size *= (longest > 8000 ? 8000 : 16) / qMax(longest, 1e-9);
    return QSizeF(qMax(1.0, size.width()), qMax(1.0, size.height()));
}

void play(QPainter& painter, const QRectF& target, const Parsed& picture)
{
    if (!picture.header.valid || target.isEmpty() || !painter.isActive())
        return;
    Player(painter, target, picture).run();
}

QList<TextRun> collectText(const QRectF& target, const Parsed& picture)
{
    QList<TextRun> runs;
    if (!picture.header.valid || target.isEmpty())
        return runs;
    // The player keeps its mapping and clipping itself; the painter only has to be there.
    QImage device(1, 1, QImage::Format_RGB32);
    QPainter painter(&device);
    Player(painter, target, picture, &runs).run();
    return runs;
}

Player::Player(QPainter& painter, const QRectF& target, const Parsed& picture, QList<TextRun>* runs)
    : p_(painter), target_(target), pic_(picture), base_(painter.worldTransform()), runs_(runs)
{
    const QRectF f = pic_.frame;
    dc_.windowOrg = pic_.yUp ? QPointF(f.left(), f.bottom()) : f.topLeft();
    dc_.windowExt = QPointF(f.width(), pic_.yUp ? -f.height() : f.height());
    objects_.resize(size_t(qBound(0, pic_.header.objectCount, MaxObjects)));
    rasterOps_ = painter.paintEngine() && painter.paintEngine()->hasFeature(QPaintEngine::RasterOpModes);
    switch (painter.paintEngine() ? painter.paintEngine()->type() : QPaintEngine::User) {
    case QPaintEngine::Raster:
        textMode_ = TextMode::Raster;
        break;
    case QPaintEngine::Pdf:
        textMode_ = TextMode::GlyphRuns;
        break;
    case QPaintEngine::SVG:
        textMode_ = TextMode::Strings;
        break;
    default:
        textMode_ = TextMode::Outlines;
        break;
    }
    pixelScale_ = target.width() / naturalSize(picture).width();
    updateTransform();
}

void Player::run()
{
    p_.save();
    // Anti-aliasing is switched on only for slanted and curved shapes: it costs much time, and
    // rectangles and grid lines are sharper without it.
    p_.setRenderHints(QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
    p_.setRenderHint(QPainter::Antialiasing, false);
    applyClip();
    const Bytes file = pic_.file();
    for (const Record& r : pic_.records) {
        work_ += 1 + r.size / 16;
        if (work_ > MaxWork)
            break;
        if (record(r, params(file, r)))
            updateTransform();
    }
    p_.restore();
}

void Player::updateTransform()
{
    QPointF ext = dc_.windowExt;
    if (isMetricMode(dc_.mapMode))
        ext = QPointF(qAbs(pic_.frame.width()), -qAbs(pic_.frame.height()));
    if (ext.x() == 0 || ext.y() == 0)
        ext = QPointF(1, 1);
    QTransform t = QTransform::fromTranslate(-dc_.windowOrg.x(), -dc_.windowOrg.y());
    const QPointF vExt = dc_.viewportExt;
    if (dc_.viewportSet && firstViewport_ && !firstViewport_->isEmpty()) {
        const QRectF v = *firstViewport_;
        t *= QTransform::fromScale(vExt.x() / ext.x(), vExt.y() / ext.y());
        t *= QTransform::fromTranslate(dc_.viewportOrg.x() - v.left(), dc_.viewportOrg.y() - v.top());
        t *= QTransform::fromScale(1 / v.width(), 1 / v.height());
    } else {
        t *= QTransform::fromScale(1 / ext.x(), 1 / ext.y());
    }
    t *= QTransform::fromScale(target_.width(), target_.height());
    t *= QTransform::fromTranslate(target_.left() + dc_.viewportShift.x() * pixelScale_,
                                   target_.top() + dc_.viewportShift.y() * pixelScale_);
    xf_ = t;
}

void Player::smooth(bool on)
{
    if (on != smooth_) {
        p_.setRenderHint(QPainter::Antialiasing, on);
        smooth_ = on;
    }
}

void Player::charge(const QRectF& area)
{
    const QRectF covered = area.normalized() & target_;
    work_ += qint64(covered.width() * covered.height() / 1024);
}

bool axisAligned(const QPolygonF& points)
{
    for (qsizetype i = 1; i < points.size(); ++i)
        if (points[i].x() != points[i - 1].x() && points[i].y() != points[i - 1].y())
            return false;
    return true;
}

QRectF Player::mapRect(double l, double t, double r, double b) const
{
    return QRectF(map(l, t), map(r, b)).normalized();
}

// GDI's pens are whole device pixels wide: a 1.32 pixel pen draws one pixel, a 2.65 pixel one three.
double Player::penWidth(int logical) const { return qMax(1.0, std::round(qAbs(logical * xf_.m11()))); }

const Palette* Player::palette() const
{
    if (dc_.palette < 0 || size_t(dc_.palette) >= objects_.size() || !objects_[dc_.palette])
        return nullptr;
    return std::get_if<Palette>(&*objects_[dc_.palette]);
}

QColor Player::color(uint32_t ref) const
{
    if ((ref >> 24) == 1) { // PALETTEINDEX
        const Palette* pal = palette();
        const int index = ref & 0xFFFF;
        return pal && index < pal->size() ? QColor((*pal)[index]) : QColor(Qt::black);
    }
    return QColor(ref & 0xFF, (ref >> 8) & 0xFF, (ref >> 16) & 0xFF);
}

bool Player::record(const Record& r, const Bytes& p)
{
    switch (r.function) {
    case fn::SetWindowOrg:
    case fn::SetWindowExt:
    case fn::OffsetWindowOrg:
    case fn::SetViewportOrg:
    case fn::OffsetViewportOrg:
    case fn::SetViewportExt:
    case fn::ScaleWindowExt:
    case fn::ScaleViewportExt:
    case fn::SetMapMode:
        return mapping(r.function, p);
    case fn::SaveDc:
        saveDc();
        return false;
    case fn::RestoreDc:
        return restoreDc(p.s16(0));
    case fn::SetBkMode:
    case fn::SetBkColor:
    case fn::SetTextColor:
    case fn::SetRop2:
    case fn::SetPolyFillMode:
    case fn::SetTextAlign:
    case fn::SetTextCharExtra:
    case fn::SetTextJustification:
        setting(r.function, p);
        return false;
    case fn::IntersectClipRect:
    case fn::ExcludeClipRect:
        clipRect(r.function, p);
        return false;
    case fn::SelectClipRegion:
        clipRegion(p.u16(0));
        return false;
    case fn::OffsetClipRgn:
        offsetClip(p);
        return false;
    case fn::SelectPalette:
        if (p.u16(0) < objects_.size() && objects_[p.u16(0)] && std::holds_alternative<Palette>(*objects_[p.u16(0)]))
            dc_.palette = p.u16(0);
        return false;
    default:
        if (!draw(r, p))
            object(r, p);
        return false;
    }
}

bool Player::mapping(uint16_t function, const Bytes& p)
{
    const QPointF point(p.s16(2), p.s16(0)); // stored y first
    switch (function) {
    case fn::SetWindowOrg:
        dc_.windowOrg = point;
        return true;
    case fn::SetWindowExt:
        if (!p.s16(0) || !p.s16(2))
            return false;
        dc_.windowExt = point;
        return true;
    case fn::OffsetWindowOrg:
        dc_.windowOrg += point;
        return true;
    case fn::SetViewportOrg:
        dc_.viewportOrg = point;
        dc_.viewportShift = QPointF();
        return true;
    case fn::OffsetViewportOrg:
        // In device pixels, whatever the viewport's extent: those of the picture at its natural size.
        dc_.viewportShift += point;
        return true;
    case fn::SetViewportExt:
        if (!p.s16(0) || !p.s16(2))
            return false;
        dc_.viewportExt = point;
        dc_.viewportSet = true;
        if (!firstViewport_)
            firstViewport_ = QRectF(dc_.viewportOrg, QSizeF(dc_.viewportExt.x(), dc_.viewportExt.y()));
        return true;
    case fn::ScaleWindowExt:
    case fn::ScaleViewportExt: {
        const int yd = p.s16(0), yn = p.s16(2), xd = p.s16(4), xn = p.s16(6);
        if (!p.ok() || !yd || !xd || !yn || !xn)
            return false;
        QPointF& ext = function == fn::ScaleWindowExt ? dc_.windowExt : dc_.viewportExt;
        ext = QPointF(ext.x() * xn / xd, ext.y() * yn / yd);
        return true;
    }
    case fn::SetMapMode:
        if (p.u16(0) < 1 || p.u16(0) > 8)
            return false;
        dc_.mapMode = p.u16(0);
        return true;
    default:
        return false;
    }
}

void Player::setting(uint16_t function, const Bytes& p)
{
    switch (function) {
    case fn::SetBkMode:
        dc_.bkMode = p.u16(0);
        return;
    case fn::SetBkColor:
        dc_.bkColor = color(p.u32(0));
        return;
    case fn::SetTextColor:
        dc_.textColor = color(p.u32(0));
        return;
    case fn::SetRop2:
        dc_.rop2 = p.u16(0);
        return;
    case fn::SetPolyFillMode:
        dc_.polyFill = p.u16(0);
        return;
    case fn::SetTextAlign:
        dc_.textAlign = p.u16(0);
        return;
    case fn::SetTextCharExtra:
        dc_.charExtra = p.s16(0);
        return;
    case fn::SetTextJustification: // extra width, then the number of break characters it spreads over
        dc_.justifyExtra = p.s16(2);
        dc_.justifyBreaks = p.s16(0);
        return;
    default:
        return;
    }
}

void Player::saveDc()
{
    if (saved_.size() < MaxSavedStates)
        saved_.push_back(dc_);
    else
        ++savedOverflow_;
}

// RestoreDC: a negative `n` goes back that many saved states, a positive one to the n-th saved.
bool Player::restoreDc(int n)
{
    int keep = -1;
    if (n < 0) {
        int pops = -n;
        const int fromOverflow = qMin(pops, savedOverflow_);
        savedOverflow_ -= fromOverflow;
        pops -= fromOverflow;
        if (pops == 0)
            return false;
        keep = int(saved_.size()) - pops;
    } else if (n > 0) {
        keep = n - 1;
        savedOverflow_ = 0;
    }
    if (keep < 0 || size_t(keep) >= saved_.size())
        return false;
    dc_ = saved_[keep];
    saved_.resize(keep);
    applyClip();
    return true;
}

// The records that draw; false for any other.
bool Player::draw(const Record& r, const Bytes& p)
{
    if (runs_ && r.function != fn::TextOut && r.function != fn::ExtTextOut) {
        // Collecting the text: only the current position counts. Other drawing records are left
        // to object(), which ignores them.
        if (r.function != fn::MoveTo && r.function != fn::LineTo)
            return false;
        dc_.current = QPointF(p.s16(2), p.s16(0));
        return true;
    }
    switch (r.function) {
    case fn::MoveTo:
        dc_.current = QPointF(p.s16(2), p.s16(0));
        return true;
    case fn::LineTo:
        lineTo(p);
        return true;
    case fn::SetPixel:
        if (p.has(0, 8))
            p_.fillRect(QRectF(map(p.s16(6), p.s16(4)), map(p.s16(6) + 1, p.s16(4) + 1)).normalized()
                            | QRectF(map(p.s16(6), p.s16(4)), QSizeF(1, 1)),
                        color(p.u32(0)));
        return true;
    case fn::Rectangle:
    case fn::Ellipse:
    case fn::RoundRect:
        shape(r.function, p);
        return true;
    case fn::Polygon:
    case fn::Polyline:
    case fn::PolyPolygon:
        poly(r.function, p);
        return true;
    case fn::Arc:
    case fn::Pie:
    case fn::Chord:
        arc(r.function, p);
        return true;
    case fn::TextOut:
    case fn::ExtTextOut:
        text(r.function, p);
        return true;
    case fn::FillRegion:
    case fn::FrameRegion:
    case fn::PaintRegion:
    case fn::InvertRegion:
        region(r.function, p);
        return true;
    case fn::StretchDib:
    case fn::DibStretchBlt:
    case fn::DibBitBlt:
    case fn::SetDibToDev:
    case fn::PatBlt:
    case fn::BitBlt:
    case fn::StretchBlt:
        bitmap(r, p);
        return true;
    default:
        return false;
    }
}

} // namespace wmf
