#include <kalvo/theme/pigment.h>

#include <QLinearGradient>
#include <QPainter>

#include <cmath>
#include <limits>

namespace kalvo {

QPointF TNGradient::startPointFor(bool flipped) const
{
    return flipped ? QPointF(startPoint.x(), 1.0 - startPoint.y()) : startPoint;
}

QPointF TNGradient::endPointFor(bool flipped) const
{
    return flipped ? QPointF(endPoint.x(), 1.0 - endPoint.y()) : endPoint;
}

double TNPigment::effectiveCornerRadius(double width, double height) const
{
    if (!(cornerRadiusRatio > std::numeric_limits<double>::epsilon()))
        return cornerRadius;
    return cornerRadius + std::round(std::min(width, height) * cornerRadiusRatio);
}

std::shared_ptr<PigmentColor> TNPigment::appearanceColor() const
{
    return Color::color(*this);
}

QPainterPath pigmentOutline(const QRectF &bounds, double radius, unsigned cornerMask, bool flipped)
{
    QPainterPath path;
    // A radius larger than half the short side would make the arcs cross.
    const double r = std::clamp(radius, 0.0, std::min(bounds.width(), bounds.height()) / 2.0);
    if (r <= 0.0 || cornerMask == 0) {
        path.addRect(bounds);
        return path;
    }
    // In widget coordinates y grows downwards; the mask speaks of min/max Y
    // in the view's own orientation.
    const bool topIsMinY = flipped;
    const bool topLeft = cornerMask & (topIsMinY ? CornerMask::minXMinY : CornerMask::minXMaxY);
    const bool topRight = cornerMask & (topIsMinY ? CornerMask::maxXMinY : CornerMask::maxXMaxY);
    const bool bottomLeft = cornerMask & (topIsMinY ? CornerMask::minXMaxY : CornerMask::minXMinY);
    const bool bottomRight = cornerMask & (topIsMinY ? CornerMask::maxXMaxY : CornerMask::maxXMinY);
    const double d = 2 * r;
    const QRectF b = bounds;
    path.moveTo(b.left() + (topLeft ? r : 0), b.top());
    if (topRight) {
        path.lineTo(b.right() - r, b.top());
        path.arcTo(QRectF(b.right() - d, b.top(), d, d), 90, -90);
    } else {
        path.lineTo(b.right(), b.top());
    }
    if (bottomRight) {
        path.lineTo(b.right(), b.bottom() - r);
        path.arcTo(QRectF(b.right() - d, b.bottom() - d, d, d), 0, -90);
    } else {
        path.lineTo(b.right(), b.bottom());
    }
    if (bottomLeft) {
        path.lineTo(b.left() + r, b.bottom());
        path.arcTo(QRectF(b.left(), b.bottom() - d, d, d), 270, -90);
    } else {
        path.lineTo(b.left(), b.bottom());
    }
    if (topLeft) {
        path.lineTo(b.left(), b.top() + r);
        path.arcTo(QRectF(b.left(), b.top(), d, d), 180, -90);
    } else {
        path.lineTo(b.left(), b.top());
    }
    path.closeSubpath();
    return path;
}

void paintPigment(QPainter &painter, const QRectF &bounds, const TNPigment &pigment, double borderWidth,
                  bool flipped)
{
    if (bounds.isEmpty())
        return;
    const double radius = pigment.effectiveCornerRadius(bounds.width(), bounds.height());
    const QPainterPath outline = pigmentOutline(bounds, radius, pigment.cornerMask, flipped);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (pigment.gradient && !pigment.gradient->colors.empty()) {
        const TNGradient &g = *pigment.gradient;
        const QPointF start = g.startPointFor(flipped);
        const QPointF end = g.endPointFor(flipped);
        QLinearGradient linear(bounds.left() + start.x() * bounds.width(), bounds.top() + start.y() * bounds.height(),
                               bounds.left() + end.x() * bounds.width(), bounds.top() + end.y() * bounds.height());
        const std::size_t n = g.colors.size();
        for (std::size_t i = 0; i < n; ++i) {
            double at = i < g.locations.size() ? g.locations[i] : (n == 1 ? 0.0 : double(i) / double(n - 1));
            linear.setColorAt(std::clamp(std::isfinite(at) ? at : 0.0, 0.0, 1.0), g.colors[i].resolved());
        }
        if (pigment.masksToBounds)
            painter.fillPath(outline, linear);
        else
            painter.fillRect(bounds, linear);
    } else if (!pigment.image.isNull()) {
        if (pigment.masksToBounds)
            painter.setClipPath(outline, Qt::IntersectClip);
        painter.drawImage(bounds, pigment.image);
    } else if (pigment.color.isValid()) {
        painter.fillPath(outline, pigment.color.resolved());
    }
    if (borderWidth > 0 && pigment.borderColor.isValid()) {
        // A layer border lies inside the bounds.
        const double inset = borderWidth / 2.0;
        const QRectF inner = bounds.adjusted(inset, inset, -inset, -inset);
        const QPainterPath borderPath = pigmentOutline(inner, std::max(0.0, radius - inset), pigment.cornerMask, flipped);
        painter.setClipping(false);
        painter.strokePath(borderPath, QPen(pigment.borderColor.resolved(), borderWidth));
    }
    painter.restore();
}

} // namespace kalvo
