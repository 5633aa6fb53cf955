#include "foundation/rounded_shape.h"

#include <QHash>
#include <QImage>
#include <QPaintDevice>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace kalvo::detail {

void drawRoundedShape(QPainter &painter, const QRectF &bounds, qreal radius, qreal borderWidth, const QColor &fill,
                      const QColor &line)
{
    painter.setRenderHint(QPainter::Antialiasing, radius > 0);
    const bool hasFill = fill.alpha() > 0;
    const bool hasBorder = borderWidth > 0 && line.alpha() > 0;
    if (hasFill && hasBorder && line.alpha() == 255) {
        // An opaque border hides whatever lies under it: fill the bounds in
        // the border colour and the inside in the background colour. Two
        // fills cost far less than stroking a curved outline.
        const qreal w = std::min(borderWidth, std::min(bounds.width(), bounds.height()) / 2);
        painter.setPen(Qt::NoPen);
        painter.setBrush(line);
        painter.drawRoundedRect(bounds, radius, radius);
        painter.setBrush(fill);
        const qreal r = std::max<qreal>(0, radius - w);
        painter.drawRoundedRect(bounds.adjusted(w, w, -w, -w), r, r);
        return;
    }
    if (hasFill) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        painter.drawRoundedRect(bounds, radius, radius);
    }
    if (hasBorder) {
        const qreal inset = borderWidth / 2;
        const qreal innerRadius = std::max<qreal>(0, radius - inset);
        painter.setPen(QPen(line, borderWidth));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(bounds.adjusted(inset, inset, -inset, -inset), innerRadius, innerRadius);
    }
}

namespace {

struct ShapeKey
{
    int width, height;
    qreal radius, borderWidth, ratio;
    QRgb fill, line;

    bool operator==(const ShapeKey &other) const
    {
        return width == other.width && height == other.height && radius == other.radius &&
               borderWidth == other.borderWidth && ratio == other.ratio && fill == other.fill && line == other.line;
    }
};

size_t qHash(const ShapeKey &key, size_t seed = 0)
{
    return qHashMulti(seed, key.width, key.height, key.radius, key.borderWidth, key.ratio, key.fill, key.line);
}

// Shapes larger than this many device pixels are drawn directly: they are
// few, and caching them would cost more memory than it saves time.
constexpr qint64 kLargestCachedArea = 256 * 256;
// The cache empties itself when its images pass this many bytes.
constexpr qint64 kBudgetBytes = 4 * 1024 * 1024;

struct ShapeCache
{
    QHash<ShapeKey, QImage> images;
    qint64 bytes = 0;
};

ShapeCache &cache()
{
    thread_local ShapeCache instance;
    return instance;
}

bool isWhole(qreal value)
{
    return std::abs(value - std::round(value)) < 1e-9;
}

} // namespace

void paintRoundedShape(QPainter &painter, const QRectF &bounds, qreal radius, qreal borderWidth, const QColor &fill,
                       const QColor &line)
{
    const bool hasFill = fill.alpha() > 0;
    const bool hasBorder = borderWidth > 0 && line.alpha() > 0;
    if (!hasFill && !hasBorder)
        return;
    QPaintDevice *device = painter.device();
    const qreal ratio = device ? device->devicePixelRatio() : 1.0;
    const QTransform transform = painter.deviceTransform();
    // A pixmap reproduces the shape exactly only when it lands on whole
    // device pixels, unscaled beyond the device's own ratio.
    const bool cacheable = radius > 0 && transform.type() <= QTransform::TxScale && transform.m11() == ratio &&
                           transform.m22() == ratio && isWhole(transform.dx() + bounds.x() * ratio) &&
                           isWhole(transform.dy() + bounds.y() * ratio) && isWhole(bounds.width() * ratio) &&
                           isWhole(bounds.height() * ratio) && isWhole(ratio) &&
                           painter.compositionMode() == QPainter::CompositionMode_SourceOver &&
                           bounds.width() * bounds.height() * ratio * ratio <= kLargestCachedArea && bounds.width() > 0 &&
                           bounds.height() > 0;
    if (!cacheable) {
        drawRoundedShape(painter, bounds, radius, borderWidth, fill, line);
        return;
    }
    const ShapeKey key{static_cast<int>(std::lround(bounds.width())), static_cast<int>(std::lround(bounds.height())),
                       radius, borderWidth, ratio, fill.rgba(), hasBorder ? line.rgba() : 0u};
    ShapeCache &shapes = cache();
    auto found = shapes.images.constFind(key);
    if (found == shapes.images.constEnd()) {
        QImage image(QSize(std::lround(key.width * ratio), std::lround(key.height * ratio)),
                     QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(ratio);
        image.fill(Qt::transparent);
        {
            QPainter p(&image);
            drawRoundedShape(p, QRectF(0, 0, key.width, key.height), radius, borderWidth, fill, line);
        }
        const qint64 bytes = image.sizeInBytes();
        if (shapes.bytes + bytes > kBudgetBytes) {
            shapes.images.clear();
            shapes.bytes = 0;
        }
        shapes.bytes += bytes;
        found = shapes.images.insert(key, std::move(image));
    }
    painter.drawImage(bounds.topLeft(), *found);
}

void clearRoundedShapeCache()
{
    cache().images.clear();
    cache().bytes = 0;
}

int roundedShapeCacheSize()
{
    return static_cast<int>(cache().images.size());
}

} // namespace kalvo::detail
