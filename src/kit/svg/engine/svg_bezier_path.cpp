#include <kalvo/svg/svgbezierpath.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// ---- KTNSVGPainterPath ----

KTNSVGPainterPath::KTNSVGPainterPath(const QPainterPath &path)
{
    *this = path;
}

KTNSVGPainterPath &KTNSVGPainterPath::operator=(const QPainterPath &path)
{
    // A copy of a QPainterPath forgets that its next line starts with a move
    // (Qt's copies do too, once changed).
    takeOver(path);
    return *this;
}

void KTNSVGPainterPath::takeOver(const QPainterPath &path)
{
    const int count = path.elementCount();
    m_elements.clear();
    m_elements.reserve(count);
    m_subpathStart = 0;
    for (int i = 0; i < count; ++i) {
        const Element &e = path.elementAt(i);
        if (e.isMoveTo())
            m_subpathStart = i;
        m_elements.push_back(e);
    }
    m_fillRule = path.fillRule();
    m_moveRequired = false;
    m_painterPath = path;
    m_painterPathValid = true;
    m_boxValid = false;
}

const QPainterPath &KTNSVGPainterPath::toPainterPath() const
{
    if (m_painterPathValid)
        return m_painterPath;
    QPainterPath path;
    const int count = elementCount();
    if (count > 0) {
        path.setFillRule(m_fillRule);
        path.reserve(count);
        // Built from stand-in points that are never alike (so none is left
        // out or merged), then moved into place.
        for (int i = 0; i < count; ++i) {
            const Element &e = m_elements[i];
            switch (e.type) {
            case QPainterPath::MoveToElement:
                if (i > 0 && m_elements[i - 1].isMoveTo()) {
                    // Only a line to the last point after closing leaves
                    // a second move in a row.
                    path.closeSubpath();
                    path.lineTo(path.currentPosition());
                } else {
                    path.moveTo(i + 1, 0);
                }
                break;
            case QPainterPath::LineToElement:
                path.lineTo(i + 1, 0);
                break;
            case QPainterPath::CurveToElement:
                if (i + 2 < count) {
                    path.cubicTo(i + 1, 0, i + 2, 0, i + 3, 0);
                    i += 2;
                    break;
                }
                [[fallthrough]];
            default:
                path.lineTo(i + 1, 0);
                break;
            }
        }
        const int made = std::min(count, path.elementCount());
        for (int i = 0; i < made; ++i)
            path.setElementPositionAt(i, m_elements[i].x, m_elements[i].y);
        // The state closing leaves (the next line starts with a move), where
        // closing the made path adds nothing: it goes back to its last move.
        int lastMove = made - 1;
        while (lastMove > 0 && !m_elements[lastMove].isMoveTo())
            --lastMove;
        if (m_moveRequired && made == count && m_elements[lastMove].x == m_elements.back().x
            && m_elements[lastMove].y == m_elements.back().y) {
            path.closeSubpath();
        }
    }
    m_painterPath = path;
    m_painterPathValid = true;
    return m_painterPath;
}

void KTNSVGPainterPath::moveTo(QPointF point)
{
    if (!validPoint(point))
        return;
    ensureStart();
    m_moveRequired = false;
    Element &last = m_elements.back();
    if (last.isMoveTo()) {
        last.x = point.x();
        last.y = point.y();
    } else {
        m_elements.push_back(Element{point.x(), point.y(), QPainterPath::MoveToElement});
    }
    m_subpathStart = int(m_elements.size()) - 1;
    touch();
}

void KTNSVGPainterPath::cubicTo(QPointF control1, QPointF control2, QPointF end)
{
    if (!validPoint(control1) || !validPoint(control2) || !validPoint(end))
        return;
    ensureStart();
    // A curve of no length is left out (as QPainterPath does: strokers
    // cannot handle one).
    if (m_elements.back() == control1 && control1 == control2 && control2 == end)
        return;
    moveIfClosed();
    // Written in place, coordinate by coordinate: copying whole elements
    // from the stack read back what was just stored there in halves, which
    // the processor cannot forward.
    const std::size_t at = m_elements.size();
    m_elements.resize(at + 3);
    Element *e = m_elements.data() + at;
    e[0].x = control1.x();
    e[0].y = control1.y();
    e[0].type = QPainterPath::CurveToElement;
    e[1].x = control2.x();
    e[1].y = control2.y();
    e[1].type = QPainterPath::CurveToDataElement;
    e[2].x = end.x();
    e[2].y = end.y();
    e[2].type = QPainterPath::CurveToDataElement;
    touch();
}

void KTNSVGPainterPath::closeSubpath()
{
    if (isEmpty())
        return;
    m_moveRequired = true;
    const Element first = m_elements[m_subpathStart];
    Element &last = m_elements.back();
    if (first.x != last.x || first.y != last.y) {
        if (qFuzzyCompare(first.x, last.x) && qFuzzyCompare(first.y, last.y)) {
            last.x = first.x;
            last.y = first.y;
        } else {
            m_elements.push_back(Element{first.x, first.y, QPainterPath::LineToElement});
        }
    }
    touch();
}

void KTNSVGPainterPath::translate(double dx, double dy)
{
    if (m_elements.empty() || (dx == 0 && dy == 0))
        return;
    for (Element &e : m_elements) {
        e.x += dx;
        e.y += dy;
    }
    touch();
}

void KTNSVGPainterPath::transform(const QTransform &t)
{
    const QTransform::TransformationType type = t.type();
    if (type == QTransform::TxNone || m_elements.empty())
        return;
    // QTransform::map() works on a copy, which forgets that the next line
    // starts with a move.
    m_moveRequired = false;
    if (type == QTransform::TxTranslate) {
        translate(t.dx(), t.dy());
        return;
    }
    if (type == QTransform::TxProject) {
        // Lines may become curves: Qt's own mapping, taken back.
        takeOver(t.map(toPainterPath()));
        return;
    }
    for (Element &e : m_elements) {
        const QPointF p = mapPoint(t, type, QPointF(e.x, e.y));
        e.x = p.x();
        e.y = p.y();
    }
    touch();
}

void KTNSVGPainterPath::addPath(const KTNSVGPainterPath &other)
{
    if (other.isEmpty())
        return;
    ensureStart();
    // No two moves in a row.
    if (m_elements.back().isMoveTo())
        m_elements.pop_back();
    const int start = int(m_elements.size()) + other.m_subpathStart;
    m_elements.insert(m_elements.end(), other.m_elements.begin(), other.m_elements.end());
    m_subpathStart = start;
    const Element &first = m_elements[m_subpathStart];
    m_moveRequired = first.x == m_elements.back().x && first.y == m_elements.back().y;
    touch();
}

// Takes over a path QPainterPath has added a shape to, with whether its
// next line starts with a move: asked of the path itself, which no longer
// shares its data (a copy would forget).
void KTNSVGPainterPath::takeShape(QPainterPath &path)
{
    takeOver(path);
    m_painterPath = QPainterPath();
    m_painterPathValid = false;
    const int count = path.elementCount();
    path.lineTo(path.currentPosition() + QPointF(1, 1));
    m_moveRequired = count > 0 && path.elementCount() == count + 2;
}

void KTNSVGPainterPath::addRect(const QRectF &rect)
{
    QPainterPath path = toPainterPath();
    path.addRect(rect);
    takeShape(path);
}

void KTNSVGPainterPath::addRoundedRect(const QRectF &rect, double xRadius, double yRadius)
{
    QPainterPath path = toPainterPath();
    path.addRoundedRect(rect, xRadius, yRadius, Qt::AbsoluteSize);
    takeShape(path);
}

void KTNSVGPainterPath::addEllipse(const QRectF &rect)
{
    QPainterPath path = toPainterPath();
    path.addEllipse(rect);
    takeShape(path);
}

QRectF KTNSVGPainterPath::controlPointRect() const
{
    if (m_boxValid)
        return m_box;
    if (m_elements.empty())
        return QRectF();
    double minX = m_elements[0].x, maxX = minX;
    double minY = m_elements[0].y, maxY = minY;
    // QPainterPath's box, without its branches: a value equal to a bound,
    // or NaN, leaves the bound as it is either way.
    std::size_t i = 1;
    const std::size_t count = m_elements.size();
#if defined(__SSE2__)
    // Both coordinates at once, in two chains that do not wait on each
    // other. (Operands in this order keep the bound on equality and NaN,
    // as std::min and std::max do.)
    __m128d low0 = _mm_loadu_pd(&m_elements[0].x), high0 = low0, low1 = low0, high1 = low0;
    for (; i + 2 <= count; i += 2) {
        const __m128d a = _mm_loadu_pd(&m_elements[i].x);
        const __m128d b = _mm_loadu_pd(&m_elements[i + 1].x);
        low0 = _mm_min_pd(a, low0);
        high0 = _mm_max_pd(a, high0);
        low1 = _mm_min_pd(b, low1);
        high1 = _mm_max_pd(b, high1);
    }
    alignas(16) double low[2], high[2];
    _mm_store_pd(low, _mm_min_pd(low1, low0));
    _mm_store_pd(high, _mm_max_pd(high1, high0));
    minX = low[0];
    minY = low[1];
    maxX = high[0];
    maxY = high[1];
#endif
    for (; i < count; ++i) {
        const Element &e = m_elements[i];
        minX = std::min(minX, e.x);
        maxX = std::max(maxX, e.x);
        minY = std::min(minY, e.y);
        maxY = std::max(maxY, e.y);
    }
    m_box = QRectF(minX, minY, maxX - minX, maxY - minY);
    m_boxValid = true;
    return m_box;
}

bool KTNSVGPainterPath::operator==(const KTNSVGPainterPath &other) const
{
    return toPainterPath() == other.toPainterPath();
}

// ---- KTNSVGBezierPath ----

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
        path.addRoundedRect(r, rx, ry);
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
    reversed.path = path.toPainterPath().toReversed();
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
    path.transform(transform);
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
