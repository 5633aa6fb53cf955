#include <kalvo/svg/svgbezierpath.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace kalvo {

namespace {

bool finite(QPointF p)
{
    return std::isfinite(p.x()) && std::isfinite(p.y());
}

constexpr double kPi = 3.14159265358979323846;

// QTransform::map() for the affine kinds, inline: arcs map every point they
// make. The same products and sums in the same order, so the same doubles.
QPointF mapPoint(const QTransform &t, QTransform::TransformationType type, QPointF p)
{
    switch (type) {
    case QTransform::TxNone:
        return p;
    case QTransform::TxTranslate:
        return QPointF(p.x() + t.dx(), p.y() + t.dy());
    case QTransform::TxScale:
        return QPointF(t.m11() * p.x() + t.dx(), t.m22() * p.y() + t.dy());
    case QTransform::TxRotate:
    case QTransform::TxShear:
        return QPointF(t.m11() * p.x() + t.m21() * p.y() + t.dx(), t.m12() * p.x() + t.m22() * p.y() + t.dy());
    default:
        return t.map(p);
    }
}

// The unit vector at an angle; the neighbouring pieces of an arc share
// their end angle, so the last one is kept.
struct UnitCache
{
    double angle = 0;
    QPointF unit;
    bool valid = false;

    QPointF at(double a)
    {
        // Bitwise equal: sin(-0.0) and sin(0.0) differ in sign.
        if (!valid || std::memcmp(&a, &angle, sizeof a) != 0) {
            angle = a;
            unit = QPointF(std::cos(a), std::sin(a));
            valid = true;
        }
        return unit;
    }
};

} // namespace

bool KTNSVGBezierPath::moveToPoint(QPointF point)
{
    if (!finite(point) || !admit(1))
        return false;
    startRecording();
    path.moveTo(point);
    return true;
}

// A subpath that goes nowhere ("M5 5 L5 5", "M5 5 Z") still shows its round
// or square caps: icon sets draw their dots that way. QPainterPath drops a
// line to the current point, so the line is kept as a step too small to see,
// along x (the direction SVG gives a line of no length). When the subpath
// goes on, the step is taken back so no join is made with a direction of
// noise.
void KTNSVGBezierPath::addDotStep()
{
    const QPointF at = path.currentPosition();
    path.lineTo(at + QPointF(1e-6 * std::max(1.0, std::abs(at.x())), 0));
    dotElement = path.elementCount() - 1;
}

void KTNSVGBezierPath::takeBackDotStep()
{
    if (dotElement >= 0 && dotElement == path.elementCount() - 1 && dotElement > 0) {
        const QPainterPath::Element start = path.elementAt(dotElement - 1);
        path.setElementPositionAt(dotElement, start.x, start.y);
    }
    dotElement = -1;
}

bool KTNSVGBezierPath::lineToPoint(QPointF point)
{
    const int count = path.elementCount();
    if (!finite(point) || count + 2 > elementLimit)
        return false;
    if (count > 0) {
        // The last element's point is the current position.
        const QPainterPath::Element last = path.elementAt(count - 1);
        if (last.isMoveTo() && point == QPointF(last.x, last.y)) {
            addDotStep();
            return true;
        }
    }
    takeBackDotStep();
    path.lineTo(point);
    return true;
}

bool KTNSVGBezierPath::curveToPoint(QPointF end, QPointF control1, QPointF control2)
{
    if (!finite(end) || !finite(control1) || !finite(control2) || !admit(4))
        return false;
    takeBackDotStep();
    path.cubicTo(control1, control2, end);
    return true;
}

bool KTNSVGBezierPath::quadCurveToPoint(QPointF end, QPointF control)
{
    const QPointF current = currentPoint();
    const QPointF c1 = current + (control - current) * (2.0 / 3.0);
    const QPointF c2 = end + (control - end) * (2.0 / 3.0);
    return curveToPoint(end, c1, c2);
}

void KTNSVGBezierPath::closePath()
{
    const int count = path.elementCount();
    if (count > 0 && admit(1)) {
        // "M x y Z" is a dot: its caps show, which a closed loop has none of.
        if (path.elementAt(count - 1).isMoveTo())
            addDotStep();
        else if (dotElement != count - 1) {
            path.closeSubpath();
            markClosed();
        }
    }
}

void KTNSVGBezierPath::startRecording()
{
    // A new path (Qt's holds at most its initial move) records from here.
    if (path.elementCount() <= 1)
        closureRecorded = true;
}

void KTNSVGBezierPath::markClosed()
{
    const int last = path.elementCount() - 1;
    if (last >= 0 && (closedEnds.isEmpty() || closedEnds.back() < last))
        closedEnds.append(last);
}

bool KTNSVGBezierPath::appendArc(QPointF center, double radius, double startAngle, double endAngle, bool clockwise,
                                 const QTransform &frame)
{
    if (!finite(center) || !std::isfinite(radius) || !std::isfinite(startAngle) || !std::isfinite(endAngle))
        return false;
    // The sweep runs from the start in the asked direction to the end angle,
    // less than a full turn.
    double sweep = std::fmod(endAngle - startAngle, 360.0);
    if (clockwise) {
        if (sweep > 0)
            sweep -= 360.0;
    } else if (sweep < 0) {
        sweep += 360.0;
    }
    const double start = startAngle * kPi / 180.0;
    const double delta = sweep * kPi / 180.0;
    UnitCache units;
    const QTransform::TransformationType frameType = frame.type();
    const QPointF startUnit = units.at(start);
    const QPointF first = mapPoint(frame, frameType, QPointF(center.x() + radius * startUnit.x(), center.y() + radius * startUnit.y()));
    if (!finite(first))
        return false;
    if (isEmpty()) {
        if (!moveToPoint(first))
            return false;
    } else {
        const QPointF gap = first - currentPoint();
        // A join of a few ulps would give the stroker a direction of noise.
        if (std::abs(gap.x()) > 1e-9 || std::abs(gap.y()) > 1e-9) {
            if (!lineToPoint(first))
                return false;
        }
    }
    const int pieces = std::max(1, static_cast<int>(std::ceil(std::abs(delta) / (kPi / 2) - 1e-9)));
    if (delta == 0.0)
        return true;
    const double step = delta / pieces;
    const double k = 4.0 / 3.0 * std::tan(step / 4.0);
    auto place = [&](QPointF unit) { return mapPoint(frame, frameType, center + radius * unit); };
    for (int i = 0; i < pieces; ++i) {
        const double a = start + step * i;
        const double b = (i + 1 == pieces) ? start + delta : a + step;
        const QPointF pa = units.at(a);
        const QPointF pb = units.at(b);
        const QPointF c1 = pa + k * QPointF(-pa.y(), pa.x());
        const QPointF c2 = pb - k * QPointF(-pb.y(), pb.x());
        if (!curveToPoint(place(pb), place(c1), place(c2)))
            return false;
    }
    return true;
}

void KTNSVGBezierPath::appendRoundedRect(const QRectF &rect, double xRadius, double yRadius)
{
    if (!std::isfinite(rect.x()) || !std::isfinite(rect.y()) || !std::isfinite(rect.width())
        || !std::isfinite(rect.height()) || !admit(18))
        return;
    const QRectF r = rect.normalized();
    double rx = std::isfinite(xRadius) ? std::clamp(xRadius, 0.0, r.width() / 2) : 0.0;
    double ry = std::isfinite(yRadius) ? std::clamp(yRadius, 0.0, r.height() / 2) : 0.0;
    startRecording();
    if (rx <= 0 || ry <= 0)
        path.addRect(r);
    else
        path.addRoundedRect(r, rx, ry, Qt::AbsoluteSize);
    markClosed();
}

void KTNSVGBezierPath::appendOvalInRect(const QRectF &rect)
{
    if (!std::isfinite(rect.x()) || !std::isfinite(rect.y()) || !std::isfinite(rect.width())
        || !std::isfinite(rect.height()) || !admit(13))
        return;
    startRecording();
    path.addEllipse(rect);
    markClosed();
}

void KTNSVGBezierPath::appendBezierPath(const KTNSVGBezierPath &other)
{
    if (!admit(other.path.elementCount()))
        return;
    const int offset = path.elementCount();
    closureRecorded = (offset == 0 || closureRecorded) && other.closureRecorded;
    path.addPath(other.path);
    // addPath() starts the other path afresh: its elements follow ours
    // one for one.
    if (path.elementCount() == offset + other.path.elementCount()) {
        for (int end : other.closedEnds)
            closedEnds.append(offset + end);
    } else {
        closureRecorded = false;
    }
}

KTNSVGBezierPath KTNSVGBezierPath::bezierPathByReversingPath() const
{
    KTNSVGBezierPath reversed = *this;
    reversed.path = path.toReversed();
    reversed.dotElement = -1;
    // Reversed element for element: a closed subpath's first element
    // becomes the last of its reversed self.
    reversed.closedEnds.clear();
    if (reversed.path.elementCount() == path.elementCount()) {
        const int count = path.elementCount();
        for (auto it = closedEnds.crbegin(); it != closedEnds.crend(); ++it) {
            int start = *it;
            while (start > 0 && !path.elementAt(start).isMoveTo())
                --start;
            reversed.closedEnds.append(count - 1 - start);
        }
    } else {
        reversed.closureRecorded = false;
    }
    reversed.path.setFillRule(path.fillRule());
    return reversed;
}

void KTNSVGBezierPath::transformUsingAffineTransform(const QTransform &transform)
{
    const Qt::FillRule rule = path.fillRule();
    const int count = path.elementCount();
    path = transform.map(path);
    path.setFillRule(rule);
    if (path.elementCount() != count)
        closureRecorded = false;
    sanitize();
}

void KTNSVGBezierPath::sanitize()
{
    const int count = path.elementCount();
    if (count == 0)
        return;
    // Nearly every path is finite and in range: one comparison per
    // coordinate says so (NaN fails it too), and only a path that fails it
    // is looked at closely.
    int i = 0;
    while (i < count) {
        const QPainterPath::Element &e = path.elementAt(i);
        if (!(std::abs(e.x) <= kCoordinateLimit && std::abs(e.y) <= kCoordinateLimit))
            break;
        ++i;
    }
    if (i == count)
        return;
    bool clampNeeded = false;
    for (int i = 0; i < count; ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        if (!std::isfinite(e.x) || !std::isfinite(e.y)) {
            const Qt::FillRule rule = path.fillRule();
            path = QPainterPath();
            path.setFillRule(rule);
            closedEnds.clear();
            return;
        }
        if (std::abs(e.x) > kCoordinateLimit || std::abs(e.y) > kCoordinateLimit)
            clampNeeded = true;
    }
    if (!clampNeeded)
        return;
    for (int i = 0; i < count; ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        path.setElementPositionAt(i, std::clamp(e.x, -kCoordinateLimit, kCoordinateLimit),
                                  std::clamp(e.y, -kCoordinateLimit, kCoordinateLimit));
    }
}

} // namespace kalvo
