// The outline's element array against QPainterPath itself: the same calls
// must leave the same elements, the same current point, emptiness and
// box, and the same state for what is appended next.
#include <kalvo/svg/svgbezierpath.h>

#include <gtest/gtest.h>

#include <QPainterPath>
#include <QTransform>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

using namespace kalvo;

namespace {

// Exactly alike, bit for bit (QPainterPath's own comparison is fuzzy).
::testing::AssertionResult sameElements(const KTNSVGPainterPath &ours, const QPainterPath &qt)
{
    if (ours.elementCount() != qt.elementCount())
        return ::testing::AssertionFailure() << "counts " << ours.elementCount() << " and " << qt.elementCount();
    for (int i = 0; i < qt.elementCount(); ++i) {
        const QPainterPath::Element a = ours.elementAt(i);
        const QPainterPath::Element b = qt.elementAt(i);
        if (a.type != b.type || std::memcmp(&a.x, &b.x, sizeof a.x) != 0 || std::memcmp(&a.y, &b.y, sizeof a.y) != 0)
            return ::testing::AssertionFailure() << "element " << i << ": " << a.type << " (" << a.x << ", " << a.y
                                                 << ") and " << b.type << " (" << b.x << ", " << b.y << ")";
    }
    if (ours.fillRule() != qt.fillRule())
        return ::testing::AssertionFailure() << "fill rules differ";
    if (ours.isEmpty() != qt.isEmpty())
        return ::testing::AssertionFailure() << "emptiness differs";
    if (ours.currentPosition() != qt.currentPosition())
        return ::testing::AssertionFailure() << "current points differ";
    if (ours.controlPointRect() != qt.controlPointRect())
        return ::testing::AssertionFailure() << "control boxes differ";
    return ::testing::AssertionSuccess();
}

// Both paths and what each call does to them.
struct Pair
{
    KTNSVGPainterPath ours;
    QPainterPath qt;

    void moveTo(QPointF p) { ours.moveTo(p), qt.moveTo(p); }
    void lineTo(QPointF p) { ours.lineTo(p), qt.lineTo(p); }
    void cubicTo(QPointF a, QPointF b, QPointF c) { ours.cubicTo(a, b, c), qt.cubicTo(a, b, c); }
    void close() { ours.closeSubpath(), qt.closeSubpath(); }
};

// Points drawn from a few values, so that equal, nearly equal (within
// Qt's fuzzy comparison) and zero coordinates come up often.
QPointF randomPoint(std::mt19937 &random)
{
    static const double values[] = {0.0, -0.0, 1.0, 1.0 + 1e-14, 2.5, 1e-13, -3.0, 1e7, 4.0};
    std::uniform_int_distribution<int> pick(0, int(std::size(values)) - 1);
    return QPointF(values[pick(random)], values[pick(random)]);
}

} // namespace

TEST(PainterPath, RandomCallSequencesBuildWhatQPainterPathBuilds)
{
    std::mt19937 random(20261208);
    std::uniform_int_distribution<int> op(0, 9);
    for (int round = 0; round < 3000; ++round) {
        Pair pair;
        if (round % 3 == 0) {
            pair.ours.setFillRule(Qt::WindingFill);
            pair.qt.setFillRule(Qt::WindingFill);
        }
        const int steps = 1 + round % 14;
        for (int step = 0; step < steps; ++step) {
            switch (op(random)) {
            case 0:
            case 1:
                pair.moveTo(randomPoint(random));
                break;
            case 2:
            case 3:
            case 4:
                pair.lineTo(randomPoint(random));
                break;
            case 5:
            case 6: {
                const QPointF a = randomPoint(random);
                // Curves of no length too.
                if (step % 2)
                    pair.cubicTo(a, a, a);
                else
                    pair.cubicTo(a, randomPoint(random), randomPoint(random));
                break;
            }
            case 7:
            case 8:
                pair.close();
                break;
            default:
                pair.ours.reserve(8);
                pair.qt.reserve(8);
                break;
            }
            ASSERT_TRUE(sameElements(pair.ours, pair.qt)) << "round " << round << " step " << step;
        }
        // What is appended next sees the same state (a move after closing).
        pair.lineTo(QPointF(9, 9));
        ASSERT_TRUE(sameElements(pair.ours, pair.qt)) << "round " << round;
        pair.close();
        pair.cubicTo(QPointF(5, 6), QPointF(7, 8), QPointF(9, 10));
        ASSERT_TRUE(sameElements(pair.ours, pair.qt)) << "round " << round;
        // And the QPainterPath made from the array is Qt's, bit for bit.
        ASSERT_TRUE(sameElements(pair.ours, pair.ours.toPainterPath())) << "round " << round;
    }
}

TEST(PainterPath, RefusesWhatQPainterPathRefuses)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (double bad : {nan, inf, -inf, 1e128, -1e200}) {
        Pair pair;
        pair.moveTo(QPointF(1, 2));
        pair.lineTo(QPointF(bad, 0));
        pair.cubicTo(QPointF(0, 0), QPointF(0, bad), QPointF(3, 3));
        pair.moveTo(QPointF(bad, bad));
        EXPECT_TRUE(sameElements(pair.ours, pair.qt)) << bad;
    }
    Pair edge;
    edge.moveTo(QPointF(9.99e127, -9.99e127));
    edge.lineTo(QPointF(1, 1));
    EXPECT_TRUE(sameElements(edge.ours, edge.qt));
}

TEST(PainterPath, ConvertsBothWaysAndKeepsTheStateAfterClosing)
{
    QPainterPath qt;
    qt.setFillRule(Qt::WindingFill);
    qt.moveTo(1, 1);
    qt.lineTo(4, 1);
    qt.cubicTo(5, 2, 5, 3, 4, 4);
    qt.closeSubpath();
    KTNSVGPainterPath ours = qt;
    EXPECT_TRUE(sameElements(ours, qt));
    // A copy forgets that closing asks for a move before the next line, as
    // Qt's own copies do once changed.
    ours.lineTo(QPointF(7, 7));
    qt.lineTo(7, 7);
    EXPECT_TRUE(sameElements(ours, qt));
    // Not closed: no move.
    QPainterPath open;
    open.moveTo(0, 0);
    open.lineTo(2, 0);
    KTNSVGPainterPath fromOpen = open;
    fromOpen.lineTo(QPointF(2, 2));
    open.lineTo(2, 2);
    EXPECT_TRUE(sameElements(fromOpen, open));
    // Empty stays empty, with no implicit move.
    KTNSVGPainterPath none = QPainterPath();
    EXPECT_EQ(none.elementCount(), 0);
    EXPECT_EQ(none.toPainterPath().elementCount(), 0);
    // The implicit conversion hands out the kept path until a change.
    const QPainterPath &first = ours;
    EXPECT_TRUE(sameElements(ours, first));
    ours.setElementPositionAt(0, -5, -5);
    EXPECT_EQ(ours.toPainterPath().elementAt(0).x, -5);
}

TEST(PainterPath, ShapesTransformsAndAppendedPathsMatchQt)
{
    const QTransform transforms[] = {QTransform(), QTransform::fromTranslate(3.25, -1.5),
                                     QTransform::fromScale(1.5, -0.75), QTransform().rotate(33).translate(2, 7),
                                     QTransform(1, 0.3, 0.2, 1, 5, 6),
                                     QTransform(1, 0, 0.001, 0, 1, 0.002, 0, 0, 1)};
    for (const QTransform &t : transforms) {
        Pair pair;
        pair.moveTo(QPointF(1, 2));
        pair.cubicTo(QPointF(3, 4), QPointF(5, 1), QPointF(7, 2));
        pair.lineTo(QPointF(0, 9));
        pair.close();
        pair.ours.addRect(QRectF(2, 3, 4, 5));
        pair.qt.addRect(QRectF(2, 3, 4, 5));
        pair.ours.addEllipse(QRectF(-1, -2, 6, 3));
        pair.qt.addEllipse(QRectF(-1, -2, 6, 3));
        pair.ours.addRoundedRect(QRectF(0, 0, 10, 6), 2, 1);
        pair.qt.addRoundedRect(QRectF(0, 0, 10, 6), 2, 1, Qt::AbsoluteSize);
        ASSERT_TRUE(sameElements(pair.ours, pair.qt));
        pair.ours.transform(t);
        pair.qt = t.map(pair.qt);
        EXPECT_TRUE(sameElements(pair.ours, pair.qt)) << t.type();
        pair.lineTo(QPointF(1, 1));
        EXPECT_TRUE(sameElements(pair.ours, pair.qt)) << t.type();
    }
    for (bool closeOther : {false, true}) {
        Pair first, second;
        first.moveTo(QPointF(0, 0));
        first.lineTo(QPointF(1, 0));
        first.moveTo(QPointF(5, 5));
        second.moveTo(QPointF(2, 2));
        second.lineTo(QPointF(3, 2));
        second.lineTo(QPointF(3, 3));
        if (closeOther)
            second.close();
        first.ours.addPath(second.ours);
        first.qt.addPath(second.qt);
        EXPECT_TRUE(sameElements(first.ours, first.qt));
        first.lineTo(QPointF(8, 8));
        EXPECT_TRUE(sameElements(first.ours, first.qt));
    }
}
