#include "wmf/wmfclip.h"

#include <array>
#include <functional>

namespace wmf {
namespace {

// The part of the segment a-b inside `keep` (Liang-Barsky); false when none is.
bool clipSegment(QPointF& a, QPointF& b, const QRectF& keep)
{
    const QPointF d = b - a;
    double t0 = 0, t1 = 1;
    const std::array<std::pair<double, double>, 4> sides = {{{-d.x(), a.x() - keep.left()},
                                                             {d.x(), keep.right() - a.x()},
                                                             {-d.y(), a.y() - keep.top()},
                                                             {d.y(), keep.bottom() - a.y()}}};
    for (const auto& [p, q] : sides) {
        if (p == 0) {
            if (q < 0)
                return false;
            continue;
        }
        const double t = q / p;
        if (p < 0)
            t0 = qMax(t0, t);
        else
            t1 = qMin(t1, t);
        if (t0 > t1)
            return false;
    }
    const QPointF start = a + t0 * d;
    b = a + t1 * d;
    a = start;
    return true;
}

} // namespace

QList<QPolygonF> clipPolyline(const QPolygonF& line, const QRectF& keep)
{
    QList<QPolygonF> parts;
    QPolygonF part;
    for (qsizetype i = 1; i < line.size(); ++i) {
        QPointF a = line[i - 1], b = line[i];
        if (!clipSegment(a, b, keep)) {
            if (!part.isEmpty())
                parts << part;
            part.clear();
            continue;
        }
        if (part.isEmpty() || part.last() != a) {
            if (!part.isEmpty())
                parts << part;
            part = QPolygonF{a};
        }
        part << b;
        if (b != line[i]) { // the line leaves `keep` here
            parts << part;
            part.clear();
        }
    }
    if (!part.isEmpty())
        parts << part;
    return parts;
}

// Sutherland-Hodgman against each side of `keep` in turn.
QPolygonF clipPolygon(const QPolygonF& polygon, const QRectF& keep)
{
    using Inside = std::function<bool(const QPointF&)>;
    using Cross = std::function<QPointF(const QPointF&, const QPointF&)>;
    const auto atX = [](double x) {
        return [x](const QPointF& a, const QPointF& b) {
            return QPointF(x, a.y() + (b.y() - a.y()) * (x - a.x()) / (b.x() - a.x()));
        };
    };
    const auto atY = [](double y) {
        return [y](const QPointF& a, const QPointF& b) {
            return QPointF(a.x() + (b.x() - a.x()) * (y - a.y()) / (b.y() - a.y()), y);
        };
    };
    const std::array<std::pair<Inside, Cross>, 4> sides = {{
        {[&](const QPointF& p) { return p.x() >= keep.left(); }, atX(keep.left())},
        {[&](const QPointF& p) { return p.x() <= keep.right(); }, atX(keep.right())},
        {[&](const QPointF& p) { return p.y() >= keep.top(); }, atY(keep.top())},
        {[&](const QPointF& p) { return p.y() <= keep.bottom(); }, atY(keep.bottom())},
    }};
    QPolygonF result = polygon;
    for (const auto& [inside, cross] : sides) {
        const QPolygonF input = result;
        result.clear();
        for (qsizetype i = 0; i < input.size(); ++i) {
            const QPointF& current = input[i];
            const QPointF& previous = input[(i + input.size() - 1) % input.size()];
            if (inside(current)) {
                if (!inside(previous))
                    result << cross(previous, current);
                result << current;
            } else if (inside(previous)) {
                result << cross(previous, current);
            }
        }
    }
    return result;
}

} // namespace wmf
