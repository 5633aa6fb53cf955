// The element classes: containers without outlines, the basic shapes, and
// the paint servers' attributes.
#include <kalvo/svg/svgdrawables.h>

#include <kalvo/theme/color.h>

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

void KTNSVGStopElement::createShape()
{
    shape.reset();
}

// ---- Path, polyline, polygon ----

void KTNTKSVGPathElement::parserAttributeWithKey(const QString &key, const QString &value)
{
    KTNTKSVGBaseElement::parserAttributeWithKey(key, value);
    if (key == QLatin1String("d"))
        commandList = commandListForCommandString(value);
}

void KTNTKSVGPathElement::createShape()
{
    KTNTKSVGBaseElement::createShape();
    bezierPathFromCommandList(commandList, *shape);
    commandList.clear();
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
    shape->appendRoundedRect(QRectF(cx - r, cy - r, 2 * r, 2 * r), r, r);
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
    shape->appendRoundedRect(QRectF(x, y, width, height), rx, ry);
}

void KTNTKSVGEllipseElement::parserAttributeWithKey(const QString &key, const QString &value)
{
    KTNTKSVGBaseElement::parserAttributeWithKey(key, value);
    readNumber(key, value, {{"cx", &cx}, {"cy", &cy}, {"rx", &rx}, {"ry", &ry}});
}

void KTNTKSVGEllipseElement::createShape()
{
    KTNTKSVGBaseElement::createShape();
    shape->appendOvalInRect(QRectF(cx - rx, cy - ry, 2 * rx, 2 * ry));
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
    cx = cy = fx = fy = 0;
    r = 50;
}

void KTNTKSVGRadialGradientElement::parserAttributeWithKey(const QString &key, const QString &value)
{
    KTNSVGGradient::parserAttributeWithKey(key, value);
    readNumber(key, value, {{"cx", &cx}, {"cy", &cy}, {"fx", &fx}, {"fy", &fy}, {"r", &r}});
}

} // namespace kalvo
