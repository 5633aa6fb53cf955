// The outline of a drawable SVG element: a path with QPainterPath's
// elements and building rules (KTNSVGPainterPath), which carries the
// winding rule, plus the stroke style a path does not hold (width, cap,
// join, miter limit, dashes).
//
//   KTNSVGBezierPath outline;
//   outline.moveToPoint({0, 0});
//   outline.quadCurveToPoint({10, 10}, {10, 0});
//   outline.lineWidth = 2;
//
// Points that are not finite are refused (the call does nothing and answers
// false), and a path refuses new elements beyond `elementLimit`, so no
// input can hand NaN to Qt or grow an outline without bound.
#pragma once

#include <kalvo/global.h>

#include <QList>
#include <QPainterPath>
#include <QPointF>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <vector>

namespace kalvo {

// QPainterPath's element model and building rules (the implicit first
// move, a move after a closed subpath, lines and curves of no length left
// out, fuzzy closing) over a plain array. Outlines are built element by
// element while icons are read, and each QPainterPath call costs a few
// hundred instructions there; this costs a few dozen, and the rasteriser
// reads the array directly. A QPainterPath is made on demand (and kept)
// for whatever needs one; both convert implicitly. One thread at a time,
// like the documents that hold it (the kept path is made on first use).
class KALVO_EXPORT KTNSVGPainterPath
{
public:
    using Element = QPainterPath::Element;

    KTNSVGPainterPath() = default;
    KTNSVGPainterPath(const QPainterPath &path); // NOLINT: as QPainterPath
    KTNSVGPainterPath &operator=(const QPainterPath &path);
    operator const QPainterPath &() const { return toPainterPath(); } // NOLINT
    const QPainterPath &toPainterPath() const;

    int elementCount() const { return int(m_elements.size()); }
    const Element &elementAt(int i) const { return m_elements[std::size_t(i)]; }
    const Element *elements() const { return m_elements.data(); }
    // No elements, or only a move (QPainterPath::isEmpty).
    bool isEmpty() const
    {
        return m_elements.empty() || (m_elements.size() == 1 && m_elements.front().isMoveTo());
    }
    QPointF currentPosition() const
    {
        return m_elements.empty() ? QPointF() : QPointF(m_elements.back().x, m_elements.back().y);
    }
    Qt::FillRule fillRule() const { return m_fillRule; }
    void setFillRule(Qt::FillRule rule)
    {
        ensureStart();
        m_fillRule = rule;
        touch();
    }
    // Room for `size` elements, adding none (reserve() adds the first
    // move, as QPainterPath::reserve does).
    void reserveSpace(int size) { m_elements.reserve(std::size_t(std::max(size, 0))); }
    void reserve(int size)
    {
        m_elements.reserve(std::size_t(std::max(size, 1)));
        ensureStart();
    }

    void moveTo(QPointF point);
    void moveTo(double x, double y) { moveTo(QPointF(x, y)); }
    void lineTo(QPointF point)
    {
        if (!validPoint(point))
            return;
        ensureStart();
        moveIfClosed();
        if (point == QPointF(m_elements.back().x, m_elements.back().y))
            return;
        m_elements.push_back(Element{point.x(), point.y(), QPainterPath::LineToElement});
        touch();
    }
    void lineTo(double x, double y) { lineTo(QPointF(x, y)); }
    void cubicTo(QPointF control1, QPointF control2, QPointF end);
    void closeSubpath();
    void setElementPositionAt(int i, double x, double y)
    {
        Element &e = m_elements[i];
        e.x = x;
        e.y = y;
        touch();
    }
    void translate(double dx, double dy);
    void translate(QPointF offset) { translate(offset.x(), offset.y()); }
    // Maps every element as QTransform::map(QPainterPath) does.
    void transform(const QTransform &transform);
    // QPainterPath::addPath.
    void addPath(const KTNSVGPainterPath &other);
    // The shapes QPainterPath builds (through it, then taken back).
    void addRect(const QRectF &rect);
    void addRoundedRect(const QRectF &rect, double xRadius, double yRadius);
    void addEllipse(const QRectF &rect);

    QRectF controlPointRect() const;
    QRectF boundingRect() const { return toPainterPath().boundingRect(); }
    bool contains(QPointF point) const { return toPainterPath().contains(point); }
    QList<QPolygonF> toSubpathPolygons(const QTransform &matrix = QTransform()) const
    {
        return toPainterPath().toSubpathPolygons(matrix);
    }

    // As QPainterPath compares: elements alike (fuzzily) and the same rule.
    bool operator==(const KTNSVGPainterPath &other) const;
    bool operator==(const QPainterPath &other) const { return toPainterPath() == other; }

private:
    // QPainterPath takes finite coordinates below 1e128 only.
    static bool validPoint(QPointF p)
    {
        return std::abs(p.x()) < 1e128 && std::abs(p.y()) < 1e128;
    }
    // Every path starts with a move to the origin, which the first move
    // replaces.
    void ensureStart()
    {
        if (m_elements.empty()) {
            // Room for a small outline at once, as QPainterPath makes.
            if (m_elements.capacity() == 0)
                m_elements.reserve(16);
            m_elements.push_back(Element{0, 0, QPainterPath::MoveToElement});
        }
    }
    // After a closed subpath, the next line or curve starts at its end.
    void moveIfClosed()
    {
        if (m_moveRequired) {
            Element e = m_elements.back();
            e.type = QPainterPath::MoveToElement;
            m_elements.push_back(e);
            m_moveRequired = false;
        }
    }
    void touch() { m_painterPathValid = m_boxValid = false; }
    // Copies a QPainterPath in; like Qt's own copies, it forgets the move
    // closing asks for.
    void takeOver(const QPainterPath &path);
    void takeShape(QPainterPath &path);

    std::vector<Element> m_elements;
    Qt::FillRule m_fillRule = Qt::OddEvenFill;
    // Where the current subpath starts (what closing goes back to).
    int m_subpathStart = 0;
    bool m_moveRequired = false;
    mutable bool m_painterPathValid = false;
    mutable bool m_boxValid = false;
    mutable QPainterPath m_painterPath;
    mutable QRectF m_box;
};

struct KALVO_EXPORT KTNSVGBezierPath
{
    // Coordinates beyond this magnitude are pulled back to it by sanitize():
    // far outside any image the engine makes, and safe for Qt's rasteriser.
    static constexpr double kCoordinateLimit = 1e7;
    static constexpr qsizetype kDefaultElementLimit = 1'000'000;

    KTNSVGPainterPath path;
    double lineWidth = 1.0;
    int lineCapStyle = 0;  // 0 butt, 1 round, 2 square
    int lineJoinStyle = 0; // 0 miter, 1 round, 2 bevel
    double miterLimit = 10.0;
    QList<double> lineDash; // lengths in points; empty means solid
    double lineDashPhase = 0.0;
    qsizetype elementLimit = kDefaultElementLimit;
    // The element that stands for a line from a point to itself while its
    // subpath has nothing else (see lineToPoint); -1 when there is none.
    int dotElement = -1;
    // The last element of every subpath closed by closePath() or by the
    // shape appenders, ascending. QPainterPath keeps no such mark, and a
    // subpath that merely returns to its start is open (its ends get caps,
    // not a join). Only meaningful while closureRecorded: paths assembled
    // elsewhere count as closed where they end at their start.
    QList<int> closedEnds;
    bool closureRecorded = false;

    KTNSVGBezierPath() { path.setFillRule(Qt::WindingFill); }

    // No elements at all (a lone move counts as an element, unlike
    // QPainterPath::isEmpty()).
    bool isEmpty() const { return path.elementCount() == 0; }
    // The end of the last element; (0, 0) for an empty path.
    QPointF currentPoint() const { return path.currentPosition(); }
    int windingRule() const { return path.fillRule() == Qt::OddEvenFill ? 1 : 0; }
    void setWindingRule(int rule) { path.setFillRule(rule == 1 ? Qt::OddEvenFill : Qt::WindingFill); }

    bool moveToPoint(QPointF point);
    bool lineToPoint(QPointF point);
    bool curveToPoint(QPointF end, QPointF control1, QPointF control2);
    // A quadratic segment as the cubic with control points
    // current + 2/3 (control - current) and end + 2/3 (control - end).
    bool quadCurveToPoint(QPointF end, QPointF control);
    void closePath();

    // A circular arc about `center` from `startAngle` to `endAngle`
    // (degrees, counter-clockwise in the y-up sense unless `clockwise`),
    // in quarter-turn cubic pieces, each point mapped by `frame` (which lets
    // one circle stand for a rotated ellipse). A line joins the current
    // point to the arc's start; an empty path moves there instead.
    bool appendArc(QPointF center, double radius, double startAngle, double endAngle, bool clockwise,
                   const QTransform &frame = QTransform());
    // The rounded rectangle and oval of the path object (radii are capped at
    // half the width and height).
    void appendRoundedRect(const QRectF &rect, double xRadius, double yRadius);
    void appendOvalInRect(const QRectF &rect);
    void appendBezierPath(const KTNSVGBezierPath &other);
    KTNSVGBezierPath bezierPathByReversingPath() const;
    void transformUsingAffineTransform(const QTransform &transform);

    // Keeping a line of no length (see the source).
    void addDotStep();
    void takeBackDotStep();
    // Records the current last element as the end of a closed subpath.
    void markClosed();

    // Any non-finite coordinate empties the path; coordinates beyond
    // kCoordinateLimit are clamped. Keeps the style.
    void sanitize();
    bool operator==(const KTNSVGBezierPath &) const = default;

private:
    void startRecording();
    bool admit(qsizetype newElements) const { return path.elementCount() + newElements <= elementLimit; }
};

} // namespace kalvo
