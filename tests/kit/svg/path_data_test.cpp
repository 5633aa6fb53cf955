// Path data: tokens, relative and absolute commands, smooth segments, arcs,
// polyline points.
#include <kalvo/svg/svgdrawables.h>

#include "svg_test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace kalvo;
using namespace kalvo::svgtest;

namespace {

KTNSVGBezierPath outlineOf(const char *data)
{
    const auto path = KTNTKSVGBaseElement::create<KTNTKSVGPathElement>({{"d", QString::fromUtf8(data)}});
    EXPECT_TRUE(path->shape.has_value());
    return path->shape.value_or(KTNSVGBezierPath());
}

QPointF pointAt(const QPainterPath &path, int index)
{
    const QPainterPath::Element e = path.elementAt(index);
    return QPointF(e.x, e.y);
}

// Points along an outline, flattened.
bool passesNear(const QPainterPath &path, QPointF point, double tolerance = 0.05)
{
    const QPolygonF polygon = path.toFillPolygon();
    for (qsizetype i = 1; i < polygon.size(); ++i) {
        const QPointF a = polygon[i - 1], b = polygon[i];
        const QPointF ab = b - a;
        const double length2 = QPointF::dotProduct(ab, ab);
        const double t = length2 > 0 ? std::clamp(QPointF::dotProduct(point - a, ab) / length2, 0.0, 1.0) : 0.0;
        const QPointF nearest = a + t * ab;
        if (std::hypot(nearest.x() - point.x(), nearest.y() - point.y()) <= tolerance)
            return true;
    }
    return false;
}

TEST(PathTokens, SplitsAtCommandLettersAndDropsHashTokens)
{
    EXPECT_EQ(KTNTKSVGBaseElement::commandListForCommandString(QStringLiteral("  M10 10 L20,20 ")),
              (QStringList{QStringLiteral("M10 10"), QStringLiteral("L20,20")}));
    EXPECT_EQ(KTNTKSVGBaseElement::commandListForCommandString(QStringLiteral("M0 0 L10 0 #x L10 10")),
              (QStringList{QStringLiteral("M0 0"), QStringLiteral("L10 0"), QStringLiteral("L10 10")}));
    // A final close gets a second "z" behind it.
    EXPECT_EQ(KTNTKSVGBaseElement::commandListForCommandString(QStringLiteral("M0 0 L1 1 Z")),
              (QStringList{QStringLiteral("M0 0"), QStringLiteral("L1 1"), QStringLiteral("Z"), QStringLiteral("z")}));
    EXPECT_TRUE(KTNTKSVGBaseElement::commandListForCommandString(QStringLiteral("10 10 20")).isEmpty());
}

TEST(PathData, RelativeMoveIsAbsoluteOnlyAtTheStart)
{
    EXPECT_EQ(pointAt(outlineOf("m10 10").path, 0), QPointF(10, 10));
    EXPECT_EQ(pointAt(outlineOf("M10 10 20 20").path, 1), QPointF(20, 20)) << "pairs after a move are lines";
    const KTNSVGBezierPath p = outlineOf("M5 5 L10 5 m2 3 l1 1");
    ASSERT_EQ(p.path.elementCount(), 4);
    EXPECT_EQ(pointAt(p.path, 2), QPointF(12, 8));
    EXPECT_EQ(pointAt(p.path, 3), QPointF(13, 9));
    // Further pairs of a relative move are relative lines.
    const KTNSVGBezierPath q = outlineOf("m1 1 2 2 3 3");
    EXPECT_EQ(pointAt(q.path, 2), QPointF(6, 6));
}

TEST(PathData, HorizontalAndVerticalKeepTheOtherCoordinate)
{
    const KTNSVGBezierPath p = outlineOf("M1 2 H5 v3 h-2 V0");
    ASSERT_EQ(p.path.elementCount(), 5);
    EXPECT_EQ(pointAt(p.path, 1), QPointF(5, 2));
    EXPECT_EQ(pointAt(p.path, 2), QPointF(5, 5));
    EXPECT_EQ(pointAt(p.path, 3), QPointF(3, 5));
    EXPECT_EQ(pointAt(p.path, 4), QPointF(3, 0));
    // Several numbers after one letter, with signs as separators.
    const KTNSVGBezierPath q = outlineOf("M0 0 H1-2 3");
    EXPECT_EQ(q.path.elementCount(), 4);
    EXPECT_EQ(pointAt(q.path, 3), QPointF(3, 0));
}

TEST(PathData, CloseReturnsToTheSubpathStart)
{
    const KTNSVGBezierPath p = outlineOf("M0 0 L10 0 L10 10 Z");
    EXPECT_EQ(p.currentPoint(), QPointF(0, 0));
    EXPECT_EQ(pointAt(p.path, p.path.elementCount() - 1), QPointF(0, 0));
    // After a close, relative commands start from the subpath start.
    const KTNSVGBezierPath q = outlineOf("M5 5 L10 5 L10 10 z l1 0");
    EXPECT_EQ(q.currentPoint(), QPointF(6, 5));
}

TEST(PathData, CubicAndSmoothCubicReflectTheLastControlPoint)
{
    const KTNSVGBezierPath p = outlineOf("M0 0 C0 10 10 10 10 0 S20 -10 20 0");
    // move, curve (3), curve (3)
    ASSERT_EQ(p.path.elementCount(), 7);
    EXPECT_EQ(pointAt(p.path, 4), QPointF(10, -10)) << "2·(10,0) − (10,10)";
    EXPECT_EQ(pointAt(p.path, 5), QPointF(20, -10));
    EXPECT_EQ(pointAt(p.path, 6), QPointF(20, 0));

    // Relative: every point of the segment is relative to its start.
    const KTNSVGBezierPath r = outlineOf("M10 10 c0 5 5 5 5 0");
    EXPECT_EQ(pointAt(r.path, 1), QPointF(10, 15));
    EXPECT_EQ(pointAt(r.path, 2), QPointF(15, 15));
    EXPECT_EQ(pointAt(r.path, 3), QPointF(15, 10));

    // A smooth segment without a curve before starts at the current point.
    const KTNSVGBezierPath s = outlineOf("M3 4 S10 10 20 0");
    EXPECT_EQ(pointAt(s.path, 1), QPointF(3, 4));
}

TEST(PathData, QuadraticsBecomeCubicsAndSmoothOnesReflect)
{
    const KTNSVGBezierPath p = outlineOf("M0 0 Q10 0 10 10 T20 20");
    ASSERT_EQ(p.path.elementCount(), 7);
    // The first quadratic (control (10,0)) as a cubic.
    EXPECT_NEAR(pointAt(p.path, 1).x(), 20.0 / 3, 1e-9);
    EXPECT_NEAR(pointAt(p.path, 1).y(), 0, 1e-9);
    EXPECT_NEAR(pointAt(p.path, 2).x(), 10, 1e-9);
    EXPECT_NEAR(pointAt(p.path, 2).y(), 10.0 / 3, 1e-9);
    // The smooth one: control (10,0) reflected about (10,10) is (10,20).
    EXPECT_NEAR(pointAt(p.path, 4).x(), 10, 1e-9);
    EXPECT_NEAR(pointAt(p.path, 4).y(), 10 + 20.0 / 3, 1e-9);
    EXPECT_NEAR(pointAt(p.path, 5).x(), 20 - 20.0 / 3, 1e-9);
    EXPECT_NEAR(pointAt(p.path, 5).y(), 20, 1e-9);
    EXPECT_EQ(pointAt(p.path, 6), QPointF(20, 20));
}

TEST(PathData, LinesForgetTheControlPoint)
{
    // After "L" there is no control point: "T" reflects nothing and its
    // control is the current point (a straight segment).
    const auto path = KTNTKSVGBaseElement::create<KTNTKSVGPathElement>({{"d", "M0 0 Q5 5 10 0 L20 0 T30 0"}});
    const QPainterPath &p = path->shape->path;
    ASSERT_EQ(p.elementCount(), 8);
    EXPECT_NEAR(pointAt(p, 5).y(), 0, 1e-9);
    EXPECT_NEAR(pointAt(p, 6).y(), 0, 1e-9);
    EXPECT_EQ(path->ctrlPoint, QPointF(20, 0));
}

TEST(PathData, MalformedTokensAreReadAsFarAsTheyGo)
{
    // Characters that cannot start a number are skipped; a lone coordinate
    // is dropped.
    const KTNSVGBezierPath p = outlineOf("M0 0 L5 x 5 L7 ? 8 L9");
    ASSERT_EQ(p.path.elementCount(), 3);
    EXPECT_EQ(pointAt(p.path, 1), QPointF(5, 5));
    EXPECT_EQ(pointAt(p.path, 2), QPointF(7, 8));
    // "." alone is no number: the pair fails and reading goes on after it.
    const KTNSVGBezierPath q = outlineOf("M0 0 L1 . 2 3");
    ASSERT_EQ(q.path.elementCount(), 2);
    EXPECT_EQ(pointAt(q.path, 1), QPointF(2, 3));
}

TEST(PathArcs, FlagsMayRunTogether)
{
    // "10" reads as the large-arc flag 1 and the sweep flag 0.
    const KTNSVGBezierPath p = outlineOf("M30 50 A10 10 0 1050 50");
    EXPECT_NEAR(p.currentPoint().x(), 50, 1e-9);
    EXPECT_NEAR(p.currentPoint().y(), 50, 1e-9);
    // Radius 10 between points 20 apart: a half circle either way; sweep 0
    // runs through decreasing angles, from 180° through 90°, which in
    // y-down coordinates is below the chord.
    EXPECT_TRUE(passesNear(p.path, QPointF(40, 60)));
    EXPECT_FALSE(passesNear(p.path, QPointF(40, 40)));
}

TEST(PathArcs, SweepFlagPicksTheSide)
{
    // Arcs of radius 10 from (0,10) to (10,0) have their centre at (10,10)
    // or (0,0). The small arc with sweep 1 turns about (10,10).
    const double d = 10 - 10 / std::sqrt(2.0);
    const KTNSVGBezierPath small1 = outlineOf("M0 10 A10 10 0 0 1 10 0");
    EXPECT_TRUE(passesNear(small1.path, QPointF(d, d)));
    const KTNSVGBezierPath small0 = outlineOf("M0 10 A10 10 0 0 0 10 0");
    EXPECT_TRUE(passesNear(small0.path, QPointF(10 - d, 10 - d)));
    // Large arcs go the long way round the other centre.
    const KTNSVGBezierPath large1 = outlineOf("M0 10 A10 10 0 1 1 10 0");
    EXPECT_TRUE(passesNear(large1.path, QPointF(-10, 0)));
    EXPECT_TRUE(passesNear(large1.path, QPointF(0, -10)));
    const KTNSVGBezierPath large0 = outlineOf("M0 10 A10 10 0 1 0 10 0");
    EXPECT_TRUE(passesNear(large0.path, QPointF(10, 20)));
    EXPECT_TRUE(passesNear(large0.path, QPointF(20, 10)));
    EXPECT_NEAR(large0.currentPoint().x(), 10, 1e-9);
    EXPECT_NEAR(large0.currentPoint().y(), 0, 1e-9);
}

TEST(PathArcs, RelativeArcsAndCommaSeparatedParameters)
{
    const KTNSVGBezierPath p = outlineOf("M2 4a2,2,0,0,1,2-2");
    EXPECT_NEAR(p.currentPoint().x(), 4, 1e-9);
    EXPECT_NEAR(p.currentPoint().y(), 2, 1e-9);
    EXPECT_TRUE(passesNear(p.path, QPointF(4 - std::sqrt(2.0), 2 + (2 - std::sqrt(2.0)))));
}

TEST(PathArcs, RotatedEllipse)
{
    // An ellipse with radii 20 and 10 rotated 90°: the half from (0,0) to
    // (0,40) bulges 10 to one side.
    const KTNSVGBezierPath p = outlineOf("M0 0 A20 10 90 0 1 0 40");
    EXPECT_NEAR(p.currentPoint().y(), 40, 1e-9);
    EXPECT_TRUE(passesNear(p.path, QPointF(-10, 20)) || passesNear(p.path, QPointF(10, 20)));
    const QRectF bounds = p.path.boundingRect();
    EXPECT_NEAR(bounds.width(), 10, 0.05);
    EXPECT_NEAR(bounds.height(), 40, 0.05);
}

TEST(PathArcs, ArcsAreOneCubicPerRightAngleOnTheEllipse)
{
    // Quarter circles both ways, a shallow arc, a rotated elliptic corner:
    // one cubic each, with the standard arm length (4/3 tan(turn / 4) of
    // the radius) and its points on the ellipse; a turn just past a right
    // angle, half circles either way and the long way round take more.
    struct Case
    {
        const char *data;
        QPointF centre;
        double rx, ry, phiDegrees;
        int cubics;
    };
    const Case cases[] = {
        {"M10 0 A10 10 0 0 1 0 10", {0, 0}, 10, 10, 0, 1},
        {"M10 0 A10 10 0 0 0 0 -10", {0, 0}, 10, 10, 0, 1},
        {"M0 10 A10 10 0 0 1 -10 0", {0, 0}, 10, 10, 0, 1},
        {"M10 0 A10 10 0 0 1 9.659258 2.588190", {0, 0}, 10, 10, 0, 1},
        {"M8.6602540378 5 A10 4 30 0 1 2.5980762114 5.5", {0, 0}, 10, 4, 30, 1},
        {"M10 0 A10 10 0 0 1 -0.17452406 9.9984770", {0, 0}, 10, 10, 0, 2},
        {"M10 0 A10 10 0 0 1 -10 0", {0, 0}, 10, 10, 0, 2},
        {"M10 0 A10 10 0 0 0 -10 0", {0, 0}, 10, 10, 0, 2},
        {"M10 0 A10 10 0 0 1 -7.0710678 7.0710678", {0, 0}, 10, 10, 0, 2},
        {"M10 0 A10 10 0 1 1 -7.0710678 -7.0710678", {0, 0}, 10, 10, 0, 3},
        {"M8.6602540378 5 A10 4 30 0 0 -8.6602540378 -5", {0, 0}, 10, 4, 30, 2},
    };
    // (Ends written to ten digits: a half ellipse's radii are scaled up by
    // a hair to reach them.)
    for (const Case &c : cases) {
        SCOPED_TRACE(c.data);
        const KTNSVGBezierPath p = outlineOf(c.data);
        int curves = 0;
        for (int i = 0; i < p.path.elementCount(); ++i)
            curves += p.path.elementAt(i).isCurveTo();
        ASSERT_EQ(curves, c.cubics);
        // The cubics end the outline (the way round by angles may first
        // add a line of a hair to its own start).
        const int base = p.path.elementCount() - 1 - 3 * c.cubics;
        const double phi = c.phiDegrees * std::acos(-1.0) / 180;
        // Back into the unit circle of the ellipse.
        auto unit = [&](QPointF q) {
            const QPointF d = q - c.centre;
            const double x = (std::cos(phi) * d.x() + std::sin(phi) * d.y()) / c.rx;
            const double y = (-std::sin(phi) * d.x() + std::cos(phi) * d.y()) / c.ry;
            return QPointF(x, y);
        };
        for (int i = 0; i < c.cubics; ++i) {
            const QPointF a = unit(pointAt(p.path, base + 3 * i));
            const QPointF c1 = unit(pointAt(p.path, base + 3 * i + 1));
            const QPointF c2 = unit(pointAt(p.path, base + 3 * i + 2));
            const QPointF b = unit(pointAt(p.path, base + 3 * i + 3));
            EXPECT_NEAR(std::hypot(a.x(), a.y()), 1, 1e-4);
            EXPECT_NEAR(std::hypot(b.x(), b.y()), 1, 1e-4);
            const double turn = std::atan2(a.x() * b.y() - a.y() * b.x(), a.x() * b.x() + a.y() * b.y());
            const double arm = 4.0 / 3.0 * std::tan(turn / 4);
            EXPECT_NEAR(c1.x(), a.x() - arm * a.y(), 1e-4);
            EXPECT_NEAR(c1.y(), a.y() + arm * a.x(), 1e-4);
            EXPECT_NEAR(c2.x(), b.x() + arm * b.y(), 1e-4);
            EXPECT_NEAR(c2.y(), b.y() - arm * b.x(), 1e-4);
        }
    }
}

TEST(PathArcs, RadiiTooSmallAreScaledUp)
{
    // Radius 1 between points 20 apart: scaled to a half circle of 10.
    const KTNSVGBezierPath p = outlineOf("M0 0 A1 1 0 0 1 20 0");
    EXPECT_NEAR(p.currentPoint().x(), 20, 1e-9);
    EXPECT_NEAR(p.path.boundingRect().height(), 10, 0.05);
}

TEST(PathArcs, ZeroRadiusDrawsALineAndEqualEndsNothing)
{
    // A zero radius makes the arc a straight line; reading goes on with
    // the next arc of the command.
    const KTNSVGBezierPath p = outlineOf("M0 0 A0 5 0 0 1 10 10 5 5 0 0 1 20 20 L30 30");
    ASSERT_GT(p.path.elementCount(), 3);
    EXPECT_EQ(pointAt(p.path, 1), QPointF(10, 10));
    EXPECT_TRUE(p.path.elementAt(2).isCurveTo());
    EXPECT_EQ(p.currentPoint(), QPointF(30, 30));
    const KTNSVGBezierPath q = outlineOf("M5 5 A5 5 0 0 1 5 5");
    EXPECT_EQ(q.path.elementCount(), 1);
}

TEST(Polyline, PointsBecomeMoveAndLines)
{
    EXPECT_EQ(KTNTKSVGBaseElement::commandListForPolylineString(QStringLiteral("1,2 3.5 4, 5")),
              (QStringList{QStringLiteral("M1.000000,2.000000"), QStringLiteral("L3.500000,4.000000")}));
    const auto line = KTNTKSVGBaseElement::create<KTNTKSVGPolylineElement>({{"points", "0,0 10,0 10,10"}});
    EXPECT_EQ(line->shape->path.elementCount(), 3);
    const auto polygon = KTNTKSVGBaseElement::create<KTNTKSVGPolygonElement>({{"points", "0,0 10,0 10,10"}});
    EXPECT_EQ(polygon->shape->path.elementCount(), 4);
    EXPECT_EQ(polygon->shape->currentPoint(), QPointF(0, 0));
}

TEST(BasicShapes, Outlines)
{
    const auto circle = KTNTKSVGBaseElement::create<KTNTKSVGCircleElement>({{"cx", "10"}, {"cy", "10"}, {"r", "5"}});
    EXPECT_EQ(circle->shape->path.boundingRect(), QRectF(5, 5, 10, 10));
    EXPECT_TRUE(circle->shape->path.contains(QPointF(10, 10)));
    EXPECT_FALSE(circle->shape->path.contains(QPointF(5.5, 5.5))) << "a circle, not a square";

    const auto ellipse = KTNTKSVGBaseElement::create<KTNTKSVGEllipseElement>(
        {{"cx", "10"}, {"cy", "10"}, {"rx", "8px"}, {"ry", "4"}});
    EXPECT_EQ(ellipse->shape->path.boundingRect(), QRectF(2, 6, 16, 8));

    const auto line = KTNTKSVGBaseElement::create<KTNTKSVGLineElement>(
        {{"x1", "1"}, {"y1", "2"}, {"x2", "3"}, {"y2", "4"}});
    EXPECT_EQ(pointAt(line->shape->path, 1), QPointF(3, 4));

    const auto rect = KTNTKSVGBaseElement::create<KTNTKSVGRectElement>(
        {{"x", "2"}, {"y", "2"}, {"width", "20"}, {"height", "10"}, {"rx", "3"}});
    EXPECT_EQ(rect->shape->path.boundingRect(), QRectF(2, 2, 20, 10));
    EXPECT_FALSE(rect->shape->path.contains(QPointF(2.3, 2.3))) << "rounded corner";
    EXPECT_TRUE(rect->shape->path.contains(QPointF(12, 7)));
}

// sanitize() first asks only whether every coordinate is within the limit;
// paths that fail must still be emptied (anything not finite, wherever it
// is) or clamped (finite but too large).
TEST(PathSanitize, EmptiesOrClampsAsBefore)
{
    constexpr double limit = KTNSVGBezierPath::kCoordinateLimit;
    const double nan = std::nan("");
    const double inf = std::numeric_limits<double>::infinity();
    auto made = [](std::initializer_list<QPointF> points) {
        KTNSVGBezierPath outline;
        outline.setWindingRule(1);
        for (QPointF p : points)
            outline.path.elementCount() == 0 ? outline.path.moveTo(p) : outline.path.lineTo(p);
        return outline;
    };
    KTNSVGBezierPath edge = made({{0, 0}, {limit, -limit}, {1, 2}});
    const QPainterPath before = edge.path;
    edge.sanitize();
    EXPECT_EQ(edge.path, before) << "at the limit nothing changes";

    KTNSVGBezierPath beyond = made({{0, 0}, {limit * 3, 5}, {1, -limit * 2}});
    beyond.sanitize();
    ASSERT_EQ(beyond.path.elementCount(), 3);
    EXPECT_EQ(QPointF(beyond.path.elementAt(1)), QPointF(limit, 5));
    EXPECT_EQ(QPointF(beyond.path.elementAt(2)), QPointF(1, -limit));

    KTNSVGBezierPath tall = made({{0, 0}, {1, 2}, {3, limit * 4}});
    tall.sanitize();
    EXPECT_EQ(QPointF(tall.path.elementAt(2)), QPointF(3, limit)) << "a y alone out of range";

    for (double bad : {nan, inf, -inf}) {
        // Alone in y, and after a large coordinate, which must not end the
        // search for one that is not finite.
        KTNSVGBezierPath alone = made({{0, 0}, {1, 2}, {3, 4}});
        alone.path.setElementPositionAt(2, 3, bad);
        alone.sanitize();
        EXPECT_TRUE(alone.path.isEmpty()) << bad;
        KTNSVGBezierPath broken = made({{0, 0}, {limit * 2, 1}, {3, 4}, {5, 6}});
        broken.closedEnds = {3};
        broken.path.setElementPositionAt(3, 5, bad);
        broken.sanitize();
        // Qt may keep its initial move at the origin; nothing is drawn.
        EXPECT_TRUE(broken.path.isEmpty()) << bad;
        EXPECT_EQ(broken.path.currentPosition(), QPointF()) << bad;
        EXPECT_TRUE(broken.closedEnds.isEmpty());
        EXPECT_EQ(broken.windingRule(), 1) << "the fill rule stays";
    }
}

} // namespace
