// The frame that squeezes a circle into a rotated ellipse, for arcs of path
// data.
#pragma once

#include <kalvo/global.h>

#include <QPointF>
#include <QTransform>

namespace kalvo::svg {

// The same matrix, entry for entry, and so the same kind, as
// QTransform().translate(center).rotateRadians(phi).scale(sx, sy), without
// the three calls. phi must be finite.
KALVO_EXPORT QTransform ellipseFrame(QPointF center, double phi, double sx, double sy);

} // namespace kalvo::svg
