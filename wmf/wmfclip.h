#pragma once
// Lines and areas cut to a rectangle before they are drawn. Qt's raster engine takes seconds to
// stroke a wide pen along a few points that lie a million pixels off the picture, as a damaged or
// hostile metafile can place them; what lies that far out draws nothing, so it is cut away first.

#include <QList>
#include <QPolygonF>
#include <QRectF>

namespace wmf {

// The parts of the polyline that lie in `keep`, each a polyline of its own.
QList<QPolygonF> clipPolyline(const QPolygonF& line, const QRectF& keep);

// The polygon cut to `keep` (which is convex): inside `keep` it covers what the polygon covers,
// under either fill rule.
QPolygonF clipPolygon(const QPolygonF& polygon, const QRectF& keep);

} // namespace wmf
