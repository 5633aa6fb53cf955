// The element classes: containers without outlines, the basic shapes, and
// the paint servers' attributes.
#include <kalvo/svg/svgdrawables.h>

#include <kalvo/theme/color.h>

#include <algorithm>
#include <cmath>

namespace kalvo {

namespace {

constexpr double kEpsilon = 1e-7;

// Reads `key` into `field` when it is one of `keys` (in order with `fields`).
bool readNumber(const QString &key, const QString &value, std::initializer_list<std::pair<const char *, double *>> fields)
{
    for (const auto &[name, field] : fields) {
        if (key == QLatin1String(name)) {
            *field = KTNTKSVGBaseElement::parserFloatWithValueString(value);
            return true;
        }
    }
    return false;
}

// Kappa: the control distance of a quarter ellipse as a share of its radius.
constexpr double kKappa = 0.5522847498307936;

// A rounded rectangle (or ellipse, when the radii are half the sides) as
// SVG draws it: from the end of the top left corner's curve, clockwise on
// screen. Where a stroke starts matters for dashes.
void appendSvgRoundedRect(KTNSVGBezierPath &path, double x, double y, double w, double h, double rx, double ry)
{
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(w) || !std::isfinite(h) || !std::isfinite(rx)
        || !std::isfinite(ry) || w <= 0 || h <= 0)
        return;
    rx = std::clamp(rx, 0.0, w / 2);
    ry = std::clamp(ry, 0.0, h / 2);
    if (rx <= 0 || ry <= 0) {
        if (path.moveToPoint(QPointF(x, y))) {
            path.lineToPoint(QPointF(x + w, y));
            path.lineToPoint(QPointF(x + w, y + h));
            path.lineToPoint(QPointF(x, y + h));
            path.closePath();
        }
        return;
    }
    const double kx = rx * kKappa;
    const double ky = ry * kKappa;
    const double right = x + w;
    const double bottom = y + h;
    if (!path.moveToPoint(QPointF(x + rx, y)))
        return;
    if (w > 2 * rx)
        path.lineToPoint(QPointF(right - rx, y));
    path.curveToPoint(QPointF(right, y + ry), QPointF(right - rx + kx, y), QPointF(right, y + ry - ky));
    if (h > 2 * ry)
        path.lineToPoint(QPointF(right, bottom - ry));
    path.curveToPoint(QPointF(right - rx, bottom), QPointF(right, bottom - ry + ky), QPointF(right - rx + kx, bottom));
    if (w > 2 * rx)
        path.lineToPoint(QPointF(x + rx, bottom));
    path.curveToPoint(QPointF(x, bottom - ry), QPointF(x + rx - kx, bottom), QPointF(x, bottom - ry + ky));
    if (h > 2 * ry)
        path.lineToPoint(QPointF(x, y + ry));
    path.curveToPoint(QPointF(x + rx, y), QPointF(x, y + ry - ky), QPointF(x + rx - kx, y));
    path.closePath();
}

// An ellipse as SVG draws it: from its rightmost point, clockwise on
// screen.
void appendSvgEllipse(KTNSVGBezierPath &path, double cx, double cy, double rx, double ry)
{
    if (!std::isfinite(cx) || !std::isfinite(cy) || !std::isfinite(rx) || !std::isfinite(ry) || rx <= 0 || ry <= 0)
        return;
    const double kx = rx * kKappa;
    const double ky = ry * kKappa;
    if (!path.moveToPoint(QPointF(cx + rx, cy)))
        return;
    path.curveToPoint(QPointF(cx, cy + ry), QPointF(cx + rx, cy + ky), QPointF(cx + kx, cy + ry));
    path.curveToPoint(QPointF(cx - rx, cy), QPointF(cx - kx, cy + ry), QPointF(cx - rx, cy + ky));
    path.curveToPoint(QPointF(cx, cy - ry), QPointF(cx - rx, cy - ky), QPointF(cx - kx, cy - ry));
    path.curveToPoint(QPointF(cx + rx, cy), QPointF(cx + kx, cy - ry), QPointF(cx + rx, cy - ky));
    path.closePath();
}

} // namespace

// ---- Containers ----

void KTNTKSVGRootElement::createShape()
{
    shape.reset();
}

void KTNTKSVGGElement::createShape()
{
    shape.reset();
}

void KTNTKSVGClipPathElement::createShape()
{
    shape.reset();
}

void KTNTKSVGMaskElement::createShape()
{
    shape.reset();
}

void KTNTKSVGMaskElement::setupDefaultValue()
{
    KTNTKSVGBaseElement::setupDefaultValue();
    alphaMask = false;
}

void KTNTKSVGMaskElement::parserAttributeWithKey(const QString &key, const QString &value)
{
    KTNTKSVGBaseElement::parserAttributeWithKey(key, value);
    if (key == QLatin1String("mask-type"))
        alphaMask = value.trimmed() == QLatin1String("alpha");
}

void KTNSVGStopElement::createShape()
{
    shape.reset();
}

// ---- Path, polyline, polygon ----

void KTNTKSVGPathElement::parserAttributeWithKey(const QString &key, const QString &value)
{
    KTNTKSVGBaseElement::parserAttributeWithKey(key, value);
    if (key == QLatin1String("d")) {
        m_pathData = value;
        commandList.clear();
    }
}

void KTNTKSVGPathElement::createShape()
{
    KTNTKSVGBaseElement::createShape();
    if (commandList.isEmpty())
        bezierPathFromCommandString(m_pathData, *shape);
    else
        bezierPathFromCommandList(commandList, *shape);
    commandList.clear();
    m_pathData.clear();
}

void KTNTKSVGPolylineElement::parserAttributeWithKey(const QString &key, const QString &value)
{
    KTNTKSVGBaseElement::parserAttributeWithKey(key, value);
    if (key == QLatin1String("points"))
        commandList = commandListForPolylineString(value);
}

void KTNTKSVGPolylineElement::createShape()
{
    KTNTKSVGBaseElement::createShape();
    bezierPathFromCommandList(commandList, *shape);
    commandList.clear();
}

void KTNTKSVGPolygonElement::createShape()
{
    KTNTKSVGPolylineElement::createShape();
    shape->closePath();
}

// ---- Basic shapes ----

void KTNTKSVGCircleElement::parserAttributeWithKey(const QString &key, const QString &value)
{
    KTNTKSVGBaseElement::parserAttributeWithKey(key, value);
    readNumber(key, value, {{"cx", &cx}, {"cy", &cy}, {"r", &r}});
}

void KTNTKSVGCircleElement::createShape()
{
    KTNTKSVGBaseElement::createShape();
    appendSvgEllipse(*shape, cx, cy, r, r);
}

void KTNTKSVGRectElement::setupDefaultValue()
{
    KTNTKSVGBaseElement::setupDefaultValue();
    x = y = width = height = 0;
    rx = ry = -1;
}

void KTNTKSVGRectElement::parserAttributeWithKey(const QString &key, const QString &value)
{
    KTNTKSVGBaseElement::parserAttributeWithKey(key, value);
    readNumber(key, value,
               {{"x", &x}, {"y", &y}, {"width", &width}, {"height", &height}, {"rx", &rx}, {"ry", &ry}});
}

void KTNTKSVGRectElement::propertyToFit()
{
    KTNTKSVGBaseElement::propertyToFit();
    if (rx < kEpsilon && ry > 0)
        rx = ry;
    if (ry < kEpsilon && rx > 0)
        ry = rx;
    if (rx < kEpsilon)
        rx = 0;
    if (ry < kEpsilon)
        ry = 0;
    rx = std::min(rx, width / 2);
    ry = std::min(ry, height / 2);
}

void KTNTKSVGRectElement::createShape()
{
    KTNTKSVGBaseElement::createShape();
    appendSvgRoundedRect(*shape, x, y, width, height, rx, ry);
}

void KTNTKSVGEllipseElement::parserAttributeWithKey(const QString &key, const QString &value)
{
    KTNTKSVGBaseElement::parserAttributeWithKey(key, value);
    readNumber(key, value, {{"cx", &cx}, {"cy", &cy}, {"rx", &rx}, {"ry", &ry}});
}

void KTNTKSVGEllipseElement::createShape()
{
    KTNTKSVGBaseElement::createShape();
    appendSvgEllipse(*shape, cx, cy, rx, ry);
}

void KTNTKSVGLineElement::parserAttributeWithKey(const QString &key, const QString &value)
{
    KTNTKSVGBaseElement::parserAttributeWithKey(key, value);
    readNumber(key, value, {{"x1", &x1}, {"y1", &y1}, {"x2", &x2}, {"y2", &y2}});
}

void KTNTKSVGLineElement::createShape()
{
    KTNTKSVGBaseElement::createShape();
    if (shape->moveToPoint(QPointF(x1, y1)))
        shape->lineToPoint(QPointF(x2, y2));
}

// ---- Paint servers ----

void KTNSVGGradient::setupDefaultValue()
{
    KTNTKSVGBaseElement::setupDefaultValue();
    units = 0;
    spread = 0;
    ref.clear();
    colorStops.clear();
    gradientTransform.reset();
}

void KTNSVGGradient::parserAttributeWithKey(const QString &key, const QString &value)
{
    KTNTKSVGBaseElement::parserAttributeWithKey(key, value);
    if (key == QLatin1String("gradientUnits")) {
        units = value == QLatin1String("objectBoundingBox") ? 0 : 1;
    } else if (key == QLatin1String("gradientTransform")) {
        gradientTransform = parserTransformWithValueString(value);
    } else if (key == QLatin1String("spreadMethod")) {
        if (value == QLatin1String("pad"))
            spread = 0;
        else if (value == QLatin1String("reflect"))
            spread = 1;
        else if (value == QLatin1String("repeat"))
            spread = 2;
    } else if (key == QLatin1String("xlink:href")) {
        ref = value;
    }
}

void KTNSVGGradient::createShape()
{
    shape.reset();
}

void KTNTKSVGLinearGradientElement::parserAttributeWithKey(const QString &key, const QString &value)
{
    KTNSVGGradient::parserAttributeWithKey(key, value);
    readNumber(key, value, {{"x1", &x1}, {"y1", &y1}, {"x2", &x2}, {"y2", &y2}});
}

void KTNTKSVGRadialGradientElement::setupDefaultValue()
{
    KTNSVGGradient::setupDefaultValue();
    cx = cy = fx = fy = fr = 0;
    r = 50;
}

void KTNTKSVGRadialGradientElement::parserAttributeWithKey(const QString &key, const QString &value)
{
    KTNSVGGradient::parserAttributeWithKey(key, value);
    readNumber(key, value, {{"cx", &cx}, {"cy", &cy}, {"fx", &fx}, {"fy", &fy}, {"r", &r}, {"fr", &fr}});
}

} // namespace kalvo
