// Images drawn by routines: drawn-once bitmaps, the numbered glyphs, the
// triangle, cross and three-dot images.
#include <kalvo/theme/image.h>
#include <kalvo/theme/kalvoimage.h>

#include "image_p.h"

#include <QPainterPath>
#include <QPen>

#include <cmath>
#include <numbers>

namespace kalvo {

ImagePtr Image::imageWithSize(const QSizeF &size, const DrawingHandler &handler)
{
    return imageWithSize(size, true, handler);
}

ImagePtr Image::imageWithSize(const QSizeF &size, bool flipped, const DrawingHandler &handler)
{
    if (!handler || !detail::hasArea(size))
        return nullptr;
    const DrawnImage drawn(size, handler, flipped);
    QImage picture = drawn.toImage(defaultDevicePixelRatio());
    if (picture.isNull())
        return nullptr;
    return BitmapImage::create(std::move(picture), size);
}

std::shared_ptr<TNAppearanceHandlerImage> Image::tnImageWithSize(const QSizeF &size, DrawingHandler handler)
{
    return std::make_shared<TNAppearanceHandlerImage>(size, std::move(handler));
}

namespace {

// Drawn at once, then the tint (when valid) through the drawing's shape.
ImagePtr drawnAndTinted(const QSizeF &size, const PlatformColor &tint, const DrawingHandler &handler)
{
    auto image = detail::renderBitmap(size, defaultDevicePixelRatio(), [&](QPainter &painter, const QRectF &rect) {
        if (handler)
            handler(painter, rect);
        if (tint.isValid()) {
            painter.setCompositionMode(QPainter::CompositionMode_SourceAtop);
            painter.fillRect(rect, tint.resolved());
        }
    });
    if (!image)
        return Image::emptyImage();
    return image;
}

} // namespace

ImagePtr Image::imageWithSize(qreal side, const PlatformColor &tintColor, const DrawingHandler &handler)
{
    if (!(side >= 0.0001) || !std::isfinite(side))
        return emptyImage();
    return drawnAndTinted(QSizeF(side, side), tintColor, handler);
}

// ---- Glyphs ----

namespace {

constexpr int kFirstGlyph = 1000;
constexpr int kFilledArrowDown = 1006;

// An arrow pointing up in a 32 x 32 box, turned by `degrees` (clockwise).
void drawArrow(QPainter &painter, const QRectF &rect, qreal degrees)
{
    const qreal unit = rect.width() / 32.0;
    painter.save();
    painter.translate(rect.center());
    painter.rotate(degrees);
    painter.scale(unit, unit);
    QPen pen(Qt::black, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawLine(QPointF(0, 9), QPointF(0, -9));
    QPainterPath head;
    head.moveTo(-7, -2);
    head.lineTo(0, -9);
    head.lineTo(7, -2);
    painter.drawPath(head);
    painter.restore();
}

void drawGlyph(int code, QPainter &painter, const QRectF &rect)
{
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    const qreal unit = rect.width() / 32.0;
    switch (code) {
    case 1000: // three dots
        for (const qreal x : {8.0, 16.0, 24.0})
            painter.drawEllipse(QPointF(x * unit, 16 * unit), 2.5 * unit, 2.5 * unit);
        break;
    case 1001:
        painter.drawEllipse(rect.center(), 5 * unit, 5 * unit);
        break;
    case 1002:
        drawArrow(painter, rect, 0);
        break;
    case 1003:
        drawArrow(painter, rect, 180);
        break;
    case 1004:
        drawArrow(painter, rect, -90);
        break;
    case 1005:
        drawArrow(painter, rect, 90);
        break;
    case kFilledArrowDown: {
        // A 9 x 9 design scaled to the canvas.
        const qreal sx = rect.width() / 9.0;
        const qreal sy = rect.height() / 9.0;
        QPainterPath arrow;
        arrow.moveTo(0.5 * sx, 2.5 * sy);
        arrow.lineTo(8.5 * sx, 2.5 * sy);
        arrow.lineTo(4.5 * sx, 7.0 * sy);
        arrow.closeSubpath();
        painter.drawPath(arrow);
        break;
    }
    default:
        break;
    }
}

} // namespace

ImagePtr Image::imageWithIndentifier(int code, const PlatformColor &tintColor, qreal size)
{
    if (code < kFirstGlyph || code > kFilledArrowDown)
        return nullptr;
    const qreal canvas = code == kFilledArrowDown ? 9.0 : 32.0;
    const ImagePtr glyph =
        imageWithSize(canvas, tintColor, [code](QPainter &painter, const QRectF &rect) { drawGlyph(code, painter, rect); });
    return glyph->resizeImage(QSizeF(size, size));
}

ImagePtr Image::imageWithIndentifier(int code, const PlatformColor &tintColor, qreal width, qreal height)
{
    if (code != kFilledArrowDown || !std::isfinite(width) || !std::isfinite(height))
        return nullptr;
    // Drawn at whole numbers so the point of the arrow sits on a pixel.
    const QSizeF whole(std::trunc(width), std::trunc(height));
    if (!detail::hasArea(whole))
        return nullptr;
    const ImagePtr glyph = drawnAndTinted(
        whole, tintColor, [](QPainter &painter, const QRectF &rect) { drawGlyph(kFilledArrowDown, painter, rect); });
    return glyph->resizeImage(QSizeF(width, height));
}

// ---- Triangle, cross, three dots ----

ImagePtr Image::triangleImage(const QSizeF &size, qreal lineWidth, int direction, const PlatformColor &tintColor)
{
    if (direction < 0 || direction > 3)
        return nullptr;
    const qreal line = std::isfinite(lineWidth) ? std::max(0.0, lineWidth) : 0.0;
    const QColor color = tintColor.isValid() ? tintColor.resolved() : QColor(Qt::black);
    const QSizeF canvas(size.width() + line, size.height() + line);
    return imageWithSize(canvas, [=](QPainter &painter, const QRectF &rect) {
        const QRectF box = rect.adjusted(line / 2, line / 2, -line / 2, -line / 2);
        QPainterPath path;
        switch (direction) {
        case 0: // down
            path.moveTo(box.topLeft());
            path.lineTo(box.topRight());
            path.lineTo(box.center().x(), box.bottom());
            break;
        case 1: // up
            path.moveTo(box.bottomLeft());
            path.lineTo(box.bottomRight());
            path.lineTo(box.center().x(), box.top());
            break;
        case 2: // left
            path.moveTo(box.topRight());
            path.lineTo(box.bottomRight());
            path.lineTo(box.left(), box.center().y());
            break;
        default: // right
            path.moveTo(box.topLeft());
            path.lineTo(box.bottomLeft());
            path.lineTo(box.right(), box.center().y());
            break;
        }
        path.closeSubpath();
        if (line > 0)
            painter.setPen(QPen(color, line, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        else
            painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        painter.drawPath(path);
    });
}

ImagePtr Image::triangleImage(qreal length, qreal lineWidth, qreal angle, int direction, const PlatformColor &tintColor)
{
    const qreal half = angle * std::numbers::pi / 180.0 / 2.0;
    const qreal a = std::abs(std::ceil(length * std::cos(half)));
    const qreal b = std::abs(std::ceil(length * std::sin(half)));
    QSizeF size(0, 0);
    if (direction == 0 || direction == 1)
        size = QSizeF(2 * b, a);
    else if (direction == 2 || direction == 3)
        size = QSizeF(a, 2 * b);
    return triangleImage(size, lineWidth, direction, tintColor);
}

ImagePtr Image::crossImage(const QSizeF &size, qreal lineWidth, const PlatformColor &tintColor)
{
    const qreal line = std::isfinite(lineWidth) ? std::max(0.0, lineWidth) : 0.0;
    const QColor color = tintColor.isValid() ? tintColor.resolved() : QColor(Qt::black);
    return imageWithSize(size, [=](QPainter &painter, const QRectF &rect) {
        if (line <= 0)
            return;
        painter.setPen(QPen(color, line, Qt::SolidLine, Qt::FlatCap));
        const QRectF box = rect.adjusted(line / 2, line / 2, -line / 2, -line / 2);
        painter.drawLine(box.topLeft(), box.bottomRight());
        painter.drawLine(box.bottomLeft(), box.topRight());
    });
}

ImagePtr Image::threeDotImage(const QSizeF &size, const PlatformColor &tintColor)
{
    const QColor color = tintColor.isValid() ? tintColor.resolved() : QColor(Qt::black);
    return imageWithSize(size, [=](QPainter &painter, const QRectF &rect) {
        // Three dots a diameter and a half apart, the middle one centred.
        const qreal diameter = std::min(rect.height(), rect.width() / 4.0);
        painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        for (const qreal offset : {-1.5, 0.0, 1.5}) {
            const QPointF centre(rect.center().x() + offset * diameter, rect.center().y());
            painter.drawEllipse(centre, diameter / 2, diameter / 2);
        }
    });
}

} // namespace kalvo
