// Transform lists, their order, and outlines scaled for drawing.
#include <kalvo/svg/svgdrawables.h>

#include <gtest/gtest.h>

#include <cmath>

using namespace kalvo;

namespace {

QPointF map(const char *list, QPointF p)
{
    const std::optional<QTransform> t = KTNTKSVGBaseElement::parserTransformWithValueString(QString::fromUtf8(list));
    EXPECT_TRUE(t.has_value()) << list;
    return t ? t->map(p) : QPointF(NAN, NAN);
}

void expectNear(QPointF actual, QPointF expected, const char *what)
{
    EXPECT_NEAR(actual.x(), expected.x(), 1e-9) << what;
    EXPECT_NEAR(actual.y(), expected.y(), 1e-9) << what;
}

TEST(TransformList, EmptyValueGivesNoTransform)
{
    EXPECT_FALSE(KTNTKSVGBaseElement::parserTransformWithValueString(QString()).has_value());
    // Unknown text is skipped: the identity remains.
    const auto t = KTNTKSVGBaseElement::parserTransformWithValueString(QStringLiteral("frobnicate(3) rotate (90)"));
    ASSERT_TRUE(t.has_value());
    EXPECT_TRUE(t->isIdentity());
}

TEST(TransformList, LaterFunctionsActFirst)
{
    // translate(10) rotate(90): the point is rotated, then moved.
    expectNear(map("translate(10) rotate(90)", {1, 0}), {10, 1}, "translate(10) rotate(90)");
    expectNear(map("rotate(90) translate(10)", {1, 0}), {0, 11}, "rotate(90) translate(10)");
    expectNear(map("scale(2)", {3, 4}), {6, 8}, "scale(2)");
    expectNear(map("scale(2, 3)", {3, 4}), {6, 12}, "scale(2, 3)");
    expectNear(map("translate(5,6)scale(2)", {1, 1}), {7, 8}, "no separator");
    expectNear(map("translate(7)", {0, 0}), {7, 0}, "ty defaults to 0");
}

TEST(TransformList, RotateAboutACentre)
{
    expectNear(map("rotate(90 10 10)", {20, 10}), {10, 20}, "rotate(90 10 10)");
    expectNear(map("rotate(180, 5, 0)", {0, 0}), {10, 0}, "rotate(180, 5, 0)");
    expectNear(map("rotate(45)", {1, 0}), {std::sqrt(0.5), std::sqrt(0.5)}, "rotate(45)");
}

TEST(TransformList, MatrixAndSkewActAfterWhatWasRead)
{
    expectNear(map("matrix(1 0 0 1 5 0)", {1, 1}), {6, 1}, "matrix");
    // The matrix is appended: scale first, then the matrix's translation.
    expectNear(map("scale(2) matrix(1,0,0,1,5,0)", {1, 1}), {7, 2}, "scale then matrix");
    // Missing matrix numbers read as the identity's.
    expectNear(map("matrix(2)", {1, 1}), {2, 1}, "matrix(2)");
    expectNear(map("skewX(45)", {0, 1}), {1, 1}, "skewX");
    expectNear(map("skewY(45)", {1, 0}), {1, 1}, "skewY");
    expectNear(map("translate(1) skewX(45)", {0, 2}), {3, 2}, "skewX appended after translate");
}

TEST(TransformPath, ScalesACopyAndItsLineWidth)
{
    KTNSVGBezierPath path;
    path.moveToPoint({1, 2});
    path.lineToPoint({3, 4});
    path.lineWidth = 1.5;
    path.setWindingRule(1);
    const KTNSVGBezierPath same = KTNTKSVGBaseElement::transformPath(path, 1.0 + 1e-8);
    EXPECT_EQ(same, path);
    const KTNSVGBezierPath scaled = KTNTKSVGBaseElement::transformPath(path, 2.0);
    EXPECT_EQ(scaled.path.elementAt(1).x, 6);
    EXPECT_EQ(scaled.path.elementAt(1).y, 8);
    EXPECT_EQ(scaled.lineWidth, 3.0);
    EXPECT_EQ(scaled.windingRule(), 1);
    EXPECT_EQ(path.path.elementAt(1).x, 3) << "the original is unchanged";
    // A scale that carries the outline past the coordinate limit clamps
    // it, whether or not the box was known before.
    constexpr double limit = KTNSVGBezierPath::kCoordinateLimit;
    for (const bool boxKnown : {false, true}) {
        KTNSVGBezierPath far;
        far.moveToPoint({-limit / 2, 0});
        far.lineToPoint({limit / 2, 1});
        if (boxKnown)
            (void)far.path.controlPointRect();
        const QRectF box = KTNTKSVGBaseElement::transformPath(far, 4.0).path.controlPointRect();
        EXPECT_EQ(box.left(), -limit);
        EXPECT_EQ(box.right(), limit);
        EXPECT_EQ(box.bottom(), 4);
    }
}

TEST(TransformPath, ElementTransformMovesTheOutlineAndScalesTheLineWidth)
{
    const auto rect = KTNTKSVGBaseElement::create<KTNTKSVGRectElement>(
        {{"width", "2"}, {"height", "2"}, {"transform", "translate(3 4) scale(2)"}, {"stroke", "#000"},
         {"stroke-dasharray", "1,2"}, {"stroke-dashoffset", "1"}});
    EXPECT_EQ(rect->shape->path.boundingRect(), QRectF(3, 4, 4, 4));
    // The outline is stroked after the transform: width and dashes grow
    // with it.
    EXPECT_EQ(rect->shape->lineWidth, 2.0);
    EXPECT_EQ(rect->shape->lineDash, QList<double>({2, 4}));
    EXPECT_EQ(rect->shape->lineDashPhase, 2.0);
}

} // namespace
