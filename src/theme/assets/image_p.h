// Shared by the image sources: canvases and render bounds.
#pragma once

#include <kalvo/theme/image.h>

#include <QImage>
#include <QSizeF>
#include <QTransform>

#include <functional>
#include <memory>

namespace kalvo::detail {

// Renderings are limited to this many pixels a side, whatever scale a
// painter or caller asks for.
inline constexpr int kMaxRenderSide = 16384;

// Both sides positive and finite.
bool hasArea(const QSizeF &size);
// `ratio` (1.0 when not a positive number) reduced so that `size` at that
// ratio stays within kMaxRenderSide.
qreal boundedRatio(const QSizeF &size, qreal ratio);
// A transparent premultiplied canvas of `size` points at `ratio` (bounded),
// carrying that ratio; null for no area or a refused allocation.
QImage newCanvas(const QSizeF &size, qreal ratio);
// Paints on a canvas from newCanvas() in points (antialiased), at the
// canvas's ratio whatever it is.
void paintCanvas(QImage &canvas, const std::function<void(QPainter &)> &paint);
// How much a transform enlarges (the longer axis).
qreal transformScale(const QTransform &transform);
// A bitmap of `size` painted by `paint` (antialiased) at `ratio`; null when
// no canvas could be made.
std::shared_ptr<BitmapImage> renderBitmap(const QSizeF &size, qreal ratio,
                                          const std::function<void(QPainter &, const QRectF &)> &paint);

} // namespace kalvo::detail
