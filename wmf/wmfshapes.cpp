// Lines, closed shapes, arcs and regions.

#include "wmf/wmfclip.h"
#include "wmf/wmfplayer_p.h"

#include <cmath>

namespace wmf {
namespace {

enum PenStyle { Solid = 0, Dash = 1, Dot = 2, DashDot = 3, DashDotDot = 4, Null = 5, InsideFrame = 6 };

QList<qreal> dashes(int style, double width)
{
    // GDI's patterns of one-pixel pens, in device pixels (Qt counts dashes in pen widths, which
    // is one here); wide pens scale them with their width.
    const bool thin = width <= 1;
    switch (style) {
    case Dash:
        return thin ? QList<qreal>{18, 6} : QList<qreal>{3, 1};
    case Dot:
        return thin ? QList<qreal>{3, 3} : QList<qreal>{1, 1};
    case DashDot:
        return thin ? QList<qreal>{9, 6, 3, 6} : QList<qreal>{3, 1, 1, 1};
    case DashDotDot:
        return thin ? QList<qreal>{9, 3, 3, 3, 3, 3} : QList<qreal>{3, 1, 1, 1, 1, 1};
    default:
        return {};
    }
}

Qt::BrushStyle hatchStyle(int hatch)
{
    switch (hatch) {
    case 0:
        return Qt::HorPattern;
    case 1:
        return Qt::VerPattern;
    case 2:
        return Qt::FDiagPattern;
    case 3:
        return Qt::BDiagPattern;
    case 4:
        return Qt::CrossPattern;
    default:
        return Qt::DiagCrossPattern;
    }
}

// Angle in degrees, as QPainterPath::arcTo counts it, of where the ray from the centre of `r`
// through `p` meets the ellipse inscribed in `r`.
double ellipseAngle(const QRectF& r, const QPointF& p)
{
    const QPointF c = r.center();
    return std::atan2(-(p.y() - c.y()) / (r.height() / 2), (p.x() - c.x()) / (r.width() / 2)) * 180 / M_PI;
}

// Anti-aliasing a stroke of many points (a measured trace) takes far longer than drawing it, and
// such a trace is drawn without it, as the instrument drew it.
constexpr int MaxSmoothPoints = 48;

} // namespace

QBrush Player::brush(const BrushSpec& b) const
{
    switch (b.style) {
    case 1:
        return Qt::NoBrush;
    case 2:
        return QBrush(b.color, hatchStyle(b.hatch));
    case 3:
    case 5:
    case 6:
        return b.pattern.isNull() ? QBrush(b.color) : QBrush(b.pattern);
    default:
        return QBrush(b.color);
    }
}

void Player::lineTo(const Bytes& p)
{
    const QPointF to(p.s16(2), p.s16(0));
    if (p.ok() && setupPen() && composition(dc_.rop2)) {
        const bool slanted = to.x() != dc_.current.x() && to.y() != dc_.current.y();
        smooth(slanted);
        const QPointF from = map(dc_.current.x(), dc_.current.y()), end = map(to.x(), to.y());
        p_.drawLine(slanted ? from : pixel(from), slanted ? end : pixel(end));
        p_.setCompositionMode(QPainter::CompositionMode_SourceOver);
    }
    dc_.current = to;
}

QPointF pixel(QPointF point) { return QPointF(std::round(point.x()), std::round(point.y())); }

QPolygonF pixels(const QPolygonF& polygon)
{
    QPolygonF out(polygon.size());
    for (qsizetype i = 0; i < polygon.size(); ++i)
        out[i] = pixel(polygon[i]);
    return out;
}

bool Player::setupPen()
{
    const QPen pen = currentPen();
    p_.setPen(pen);
    return pen.style() != Qt::NoPen;
}

QPen Player::currentPen() const
{
    const int style = dc_.pen.style & 0xF;
    if (style == Null)
        return Qt::NoPen;
    const double width = penWidth(dc_.pen.width);
    QPen pen(dc_.pen.color, width);
    const int cap = dc_.pen.style & 0xF00, join = dc_.pen.style & 0xF000;
    // A one-pixel pen has no caps: a line covers its first pixel, not its last.
    pen.setCapStyle(width <= 1 || cap == 0x200 ? Qt::FlatCap : cap == 0x100 ? Qt::SquareCap : Qt::RoundCap);
    pen.setJoinStyle(join == 0x1000 ? Qt::BevelJoin : join == 0x2000 ? Qt::MiterJoin : Qt::RoundJoin);
    if (const QList<qreal> d = dashes(style, width); !d.isEmpty()) {
        pen.setDashPattern(d);
        pen.setCapStyle(Qt::FlatCap);
    }
    if (dc_.rop2 == 1 || dc_.rop2 == 16) // R2_BLACK, R2_WHITE
        pen.setColor(dc_.rop2 == 1 ? Qt::black : Qt::white);
    return pen;
}

// Maps the ROP2 drawing mode onto the painter; false when nothing is to be drawn.
bool Player::composition(int rop2)
{
    QPainter::CompositionMode mode = QPainter::CompositionMode_SourceOver;
    switch (rop2) {
    case 11:
        return false; // R2_NOP
    case 4:
        mode = QPainter::RasterOp_NotSource;
        break;
    case 6:
        mode = QPainter::RasterOp_NotDestination;
        break;
    case 7:
        mode = QPainter::RasterOp_SourceXorDestination;
        break;
    case 9:
        mode = QPainter::RasterOp_SourceAndDestination;
        break;
    case 15:
        mode = QPainter::RasterOp_SourceOrDestination;
        break;
    default:
        break;
    }
    if (mode != QPainter::CompositionMode_SourceOver && rasterOps_)
        p_.setCompositionMode(mode);
    return true;
}

void Player::fillAndStroke(const Outline& shape, const QRectF& bounds, bool fill)
{
    if (!composition(dc_.rop2))
        return;
    const bool filled = fill && dc_.brush.style != 1;
    QBrush b = filled ? brush(dc_.brush) : QBrush(Qt::NoBrush);
    if (filled && (dc_.rop2 == 1 || dc_.rop2 == 16))
        b = QBrush(dc_.rop2 == 1 ? Qt::black : Qt::white);
    const QPen pen = currentPen();
    const auto paint = [&](QPainter& painter) {
        if (filled && dc_.brush.style == 2 && dc_.bkMode == 2) { // hatch on an opaque background
            painter.setPen(Qt::NoPen);
            painter.setBrush(dc_.bkColor);
            shape(painter, false);
        }
        if (filled) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(b);
            shape(painter, false);
        }
        if (pen.style() != Qt::NoPen) {
            painter.setPen(pen);
            painter.setBrush(Qt::NoBrush);
            shape(painter, true);
        }
    };
    if (p_.compositionMode() == QPainter::CompositionMode_SourceOver || !filled || pen.style() == Qt::NoPen)
        paint(p_);
    else
        paintOnce(paint, bounds.adjusted(-pen.widthF(), -pen.widthF(), pen.widthF(), pen.widthF()));
    p_.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

// Under a raster operation GDI changes each pixel of a filled and framed shape once: fill and
// frame are drawn on a layer, which is then combined with the picture in one go.
void Player::paintOnce(const std::function<void(QPainter&)>& paint, const QRectF& bounds)
{
    const QTransform device = p_.combinedTransform();
    const QRect area = device.mapRect(bounds & reach()).toAlignedRect() & p_.viewport();
    if (area.isEmpty())
        return;
    QImage layer(area.size(), QImage::Format_ARGB32_Premultiplied);
    if (layer.isNull())
        return;
    layer.fill(Qt::transparent);
    QPainter painter(&layer);
    painter.setRenderHints(p_.renderHints());
    painter.setTransform(device * QTransform::fromTranslate(-area.left(), -area.top()));
    paint(painter);
    painter.end();
    const QPainter::CompositionMode mode = p_.compositionMode();
    p_.save();
    p_.resetTransform();
    p_.setCompositionMode(mode);
    p_.drawImage(area.topLeft(), layer);
    p_.restore();
}

void Player::shape(uint16_t function, const Bytes& p)
{
    const qsizetype at = function == fn::RoundRect ? 4 : 0;
    if (!p.has(at, 8))
        return;
    // GDI's box covers the device pixels from the rounded left up to the rounded right, that one
    // excluded, and so from top to bottom; a frame runs along the outer pixels of the box.
    const QRectF mapped = mapRect(p.s16(at + 6), p.s16(at + 4), p.s16(at + 2), p.s16(at));
    QRectF box(pixel(mapped.topLeft()), pixel(mapped.bottomRight()));
    if ((dc_.pen.style & 0xF) == InsideFrame) {
        const double half = std::floor(penWidth(dc_.pen.width) / 2);
        box.adjust(half, half, -half, -half);
    }
    if (box.isEmpty())
        return;
    const QRectF frame = box.adjusted(0.5, 0.5, -0.5, -0.5);
    charge(box);
    smooth(function != fn::Rectangle);
    if (function == fn::Rectangle) {
        fillAndStroke([&](QPainter& painter, bool outline) { painter.drawRect(outline ? frame : box); }, box);
    } else if (function == fn::Ellipse) {
        fillAndStroke([&](QPainter& painter, bool outline) { painter.drawEllipse(outline ? frame : box); }, box);
    } else {
        const double rx = qAbs(p.s16(2) * xf_.m11()) / 2, ry = qAbs(p.s16(0) * xf_.m22()) / 2;
        fillAndStroke([&](QPainter& painter, bool outline) { painter.drawRoundedRect(outline ? frame : box, rx, ry); },
                      box);
    }
}

void Player::poly(uint16_t function, const Bytes& p)
{
    if (function == fn::PolyPolygon) {
        const int polys = p.u16(0);
        qsizetype at = 2 + 2 * qsizetype(polys);
        if (!p.has(0, at))
            return;
        QPainterPath path;
        path.setFillRule(dc_.polyFill == 2 ? Qt::WindingFill : Qt::OddEvenFill);
        bool aligned = true;
        for (int i = 0; i < polys; ++i) {
            const int n = p.u16(2 + 2 * i);
            if (!p.has(at, 4 * qsizetype(n)))
                break;
            QPolygonF poly(n);
            for (int k = 0; k < n; ++k)
                poly[k] = map(p.s16(at + 4 * k), p.s16(at + 4 * k + 2));
            aligned = aligned && axisAligned(poly)
                      && (n < 2 || poly.first().x() == poly.last().x() || poly.first().y() == poly.last().y());
            path.addPolygon(within(poly));
            path.closeSubpath();
            at += 4 * qsizetype(n);
        }
        charge(path.boundingRect());
        smooth(!aligned && path.elementCount() <= MaxSmoothPoints);
        fillAndStroke([&](QPainter& painter, bool) { painter.drawPath(path); }, path.boundingRect());
        return;
    }
    const int n = p.s16(0);
    if (n < 2 || !p.has(2, 4 * qsizetype(n)))
        return;
    QPolygonF poly(n);
    for (int k = 0; k < n; ++k)
        poly[k] = map(p.s16(2 + 4 * k), p.s16(4 + 4 * k));
    charge(poly.boundingRect());
    const bool slanted =
        !axisAligned(poly)
        || (function == fn::Polygon && poly.first().x() != poly.last().x() && poly.first().y() != poly.last().y());
    smooth(slanted && n <= MaxSmoothPoints);
    if (!slanted) // on whole pixels, as GDI puts them
        poly = pixels(poly);
    if (function == fn::Polygon) {
        const QPolygonF shape = within(poly);
        const Qt::FillRule rule = dc_.polyFill == 2 ? Qt::WindingFill : Qt::OddEvenFill;
        fillAndStroke([&](QPainter& painter, bool) { painter.drawPolygon(shape, rule); }, shape.boundingRect());
    } else {
        const QList<QPolygonF> parts =
            reach().contains(poly.boundingRect()) ? QList<QPolygonF>{poly} : clipPolyline(poly, reach());
        fillAndStroke(
            [&](QPainter& painter, bool) {
                for (const QPolygonF& part : parts)
                    painter.drawPolyline(part);
            },
            poly.boundingRect(), false);
    }
}

// The area worth drawing in: the picture with room for the pen's width, joins and caps around it.
QRectF Player::reach() const
{
    const double margin = 2 * penWidth(dc_.pen.width) + 16;
    return target_.adjusted(-margin, -margin, margin, margin);
}

QPolygonF Player::within(const QPolygonF& polygon) const
{
    const QRectF keep = reach();
    return keep.contains(polygon.boundingRect()) ? polygon : clipPolygon(polygon, keep);
}

void Player::arc(uint16_t function, const Bytes& p)
{
    if (!p.has(0, 16))
        return;
    const QRectF r = mapRect(p.s16(14), p.s16(12), p.s16(10), p.s16(8));
    if (r.width() <= 0 || r.height() <= 0)
        return;
    const double start = ellipseAngle(r, map(p.s16(6), p.s16(4)));
    double sweep = ellipseAngle(r, map(p.s16(2), p.s16(0))) - start;
    while (sweep <= 1e-9) // GDI draws counter-clockwise; equal ends make a full ellipse
        sweep += 360;
    QPainterPath path;
    if (function == fn::Pie) {
        path.moveTo(r.center());
        path.arcTo(r, start, sweep);
        path.closeSubpath();
    } else {
        path.arcMoveTo(r, start);
        path.arcTo(r, start, sweep);
        if (function == fn::Chord)
            path.closeSubpath();
    }
    smooth(true);
    work_ += 64;
    charge(r);
    fillAndStroke([&](QPainter& painter, bool) { painter.drawPath(path); }, r, function != fn::Arc);
}

QPainterPath Player::regionPath(int index) const
{
    QPainterPath path;
    if (index >= 0 && size_t(index) < objects_.size() && objects_[index])
        if (auto region = std::get_if<QRegion>(&*objects_[index]))
            path.addRegion(*region);
    return xf_.map(path);
}

void Player::region(uint16_t function, const Bytes& p)
{
    if (!p.has(0, 2))
        return;
    const QPainterPath path = regionPath(p.u16(0));
    if (path.isEmpty())
        return;
    work_ += 16 * path.elementCount();
    charge(path.boundingRect());
    smooth(false);
    switch (function) {
    case fn::PaintRegion:
        p_.fillPath(path, brush(dc_.brush));
        break;
    case fn::InvertRegion:
        if (rasterOps_) {
            p_.setCompositionMode(QPainter::RasterOp_NotDestination);
            p_.fillPath(path, Qt::black);
            p_.setCompositionMode(QPainter::CompositionMode_SourceOver);
        }
        break;
    default: { // FillRegion, FrameRegion: region and brush index
        const int index = p.u16(2);
        if (!p.has(2, 2) || size_t(index) >= objects_.size() || !objects_[index])
            break;
        const BrushSpec* b = std::get_if<BrushSpec>(&*objects_[index]);
        if (!b)
            break;
        if (function == fn::FillRegion)
            p_.fillPath(path, brush(*b));
        else
            p_.strokePath(path, QPen(brush(*b), penWidth(p.has(6, 2) ? p.s16(6) : 1)));
    }
    }
}

} // namespace wmf
