// The outline of a drawable SVG element: a QPainterPath, which carries the
// winding rule, plus the stroke style a QPainterPath does not hold (width,
// cap, join, miter limit, dashes).
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

namespace kalvo {

struct KALVO_EXPORT KTNSVGBezierPath
{
    // Coordinates beyond this magnitude are pulled back to it by sanitize():
    // far outside any image the engine makes, and safe for Qt's rasteriser.
    static constexpr double kCoordinateLimit = 1e7;
    static constexpr qsizetype kDefaultElementLimit = 1'000'000;

    QPainterPath path;
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
