// The rounded rectangle every view paints as its background: a fill and a
// border laid inside the bounds, following the corners.
#pragma once

#include <kalvo/global.h>

#include <QColor>
#include <QRectF>

class QPainter;

namespace kalvo::detail {

// Draws straight onto the painter.
KALVO_EXPORT void drawRoundedShape(QPainter &painter, const QRectF &bounds, qreal radius, qreal borderWidth, const QColor &fill,
                      const QColor &line);

// The same picture; small shapes drawn at whole-pixel positions come from a
// per-thread cache of rendered images, which turns the curve filling of
// a screenful of buttons into plain image copies.
KALVO_EXPORT void paintRoundedShape(QPainter &painter, const QRectF &bounds, qreal radius, qreal borderWidth, const QColor &fill,
                       const QColor &line);

// Empties this thread's cache (tests, memory pressure).
KALVO_EXPORT void clearRoundedShapeCache();
// How many shapes this thread's cache holds.
KALVO_EXPORT int roundedShapeCacheSize();

} // namespace kalvo::detail
