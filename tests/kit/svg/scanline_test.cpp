// The engine's own scanline rasteriser: solid fills and strokes come out as
// cairo draws them (cairo still draws everything else), overlapping parts
// of a stroke count once, and bad input draws a clear result.
#include "kit/svg/engine/svg_scanline_p.h"

#include <kalvo/svg/svgbezierpath.h>
#include <kalvo/svg/svgdrawables.h>

#include <QLinearGradient>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <numbers>

using namespace kalvo;

namespace {

constexpr QSize kSize(40, 40);

// Whether draw contexts use the own rasteriser, for a scope: off, they
// draw everything with cairo.
class OwnRasteriser
{
public:
    explicit OwnRasteriser(bool on) : m_was(svgscan::enabled()) { svgscan::setEnabled(on); }
    ~OwnRasteriser() { svgscan::setEnabled(m_was); }
    OwnRasteriser(const OwnRasteriser &) = delete;
    OwnRasteriser &operator=(const OwnRasteriser &) = delete;

private:
    bool m_was;
};

using Paint = std::function<void(KTNSVGDrawContext &)>;

QImage blankImage(QSize size = kSize)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

QImage draw(const Paint &paint, bool own, QSize size)
{
    OwnRasteriser rasteriser(own);
    QImage image = blankImage(size);
    {
        KTNSVGDrawContext context(image, QPoint(0, 0), KTNSVGDrawLimits());
        paint(context);
    }
    return image;
}

QImage drawWithContext(const Paint &paint, QSize size = kSize)
{
    return draw(paint, true, size);
}

QImage drawWithCairo(const Paint &paint, QSize size = kSize)
{
    return draw(paint, false, size);
}

svgscan::Target targetOf(QImage &image, QPoint origin = QPoint(0, 0))
{
    return {image.bits(), image.width(), image.height(), image.bytesPerLine(), origin};
}

// Premultiplied pixels of every alpha, to paint over.
QImage backgroundOfEveryAlpha()
{
    QImage image = blankImage();
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int a = (x * 37 + y * 11) % 256;
            line[x] = qRgba(a * 3 / 4, a / 2, a, a);
        }
    }
    return image;
}

// What the context hands the rasteriser for an outline.
svgscan::StrokeStyle styleOf(const KTNSVGBezierPath &outline)
{
    svgscan::StrokeStyle style;
    style.width = outline.lineWidth;
    style.cap = outline.lineCapStyle;
    style.join = outline.lineJoinStyle;
    style.miterLimit = outline.miterLimit;
    return style;
}

QImage strokeOwn(const KTNSVGBezierPath &outline, const QColor &color)
{
    QImage image = blankImage();
    EXPECT_TRUE(svgscan::strokePath(targetOf(image), outline.path,
                                    outline.closureRecorded ? &outline.closedEnds : nullptr, styleOf(outline),
                                    svgscan::premultiplied(color, 1.0)));
    return image;
}

QImage fillOwn(const QPainterPath &path, const QColor &color)
{
    QImage image = blankImage();
    EXPECT_TRUE(svgscan::fillPath(targetOf(image), path, svgscan::premultiplied(color, 1.0)));
    return image;
}

struct Difference
{
    int largest = 0;
    double mean = 0;
};

Difference difference(const QImage &a, const QImage &b)
{
    Difference d;
    if (a.size() != b.size())
        return {255, 255};
    double sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        const auto *pa = reinterpret_cast<const QRgb *>(a.constScanLine(y));
        const auto *pb = reinterpret_cast<const QRgb *>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            for (int shift : {0, 8, 16, 24}) {
                const int delta = std::abs(int((pa[x] >> shift) & 0xff) - int((pb[x] >> shift) & 0xff));
                d.largest = std::max(d.largest, delta);
                sum += delta;
            }
        }
    }
    d.mean = sum / (4.0 * a.width() * a.height());
    return d;
}

int coveredPixels(const QImage &image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            count += qAlpha(image.pixel(x, y)) > 0;
    }
    return count;
}

int largestAlpha(const QImage &image)
{
    int largest = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            largest = std::max(largest, qAlpha(image.pixel(x, y)));
    }
    return largest;
}

// Coverage along edges may differ by a few levels (cairo samples
// sub-rows where this rasteriser takes exact areas); shapes may not.
constexpr int kTolerance = 20;
constexpr double kMeanTolerance = 0.2;

void expectLikeCairo(const QImage &ours, const QImage &cairo, const char *what)
{
    const Difference d = difference(ours, cairo);
    EXPECT_LE(d.largest, kTolerance) << what;
    EXPECT_LT(d.mean, kMeanTolerance) << what;
    EXPECT_GT(coveredPixels(ours), 0) << what;
}

void expectStrokeLikeCairo(const KTNSVGBezierPath &outline, const char *what, const QColor &color = Qt::black)
{
    expectLikeCairo(strokeOwn(outline, color),
                    drawWithCairo([&](KTNSVGDrawContext &c) { c.strokePath(outline, color); }), what);
}

void expectFillLikeCairo(const QPainterPath &path, const char *what, const QColor &color = Qt::black)
{
    expectLikeCairo(fillOwn(path, color),
                    drawWithCairo([&](KTNSVGDrawContext &c) { c.fillPath(path, QBrush(color)); }), what);
}

// A five-pointed star drawn in one stroke: its middle overlaps itself.
QPainterPath starPath()
{
    QPainterPath star;
    star.moveTo(25, 8);
    star.lineTo(33, 38);
    star.lineTo(10, 19);
    star.lineTo(40, 19);
    star.lineTo(17, 38);
    star.closeSubpath();
    return star;
}

KTNSVGBezierPath polyline(std::initializer_list<QPointF> points, double width, int cap, int join)
{
    KTNSVGBezierPath outline;
    bool first = true;
    for (const QPointF &p : points) {
        if (first)
            outline.moveToPoint(p);
        else
            outline.lineToPoint(p);
        first = false;
    }
    outline.lineWidth = width;
    outline.lineCapStyle = cap;
    outline.lineJoinStyle = join;
    return outline;
}

} // namespace

TEST(ScanlineFill, RectanglesAtFractionalPositionsMatchCairo)
{
    for (const QRectF &rect : {QRectF(3.25, 4.5, 10.3, 7.7), QRectF(0.1, 0.9, 0.6, 30.2), QRectF(-5.5, 20.4, 60, 0.35),
                               QRectF(12, 12, 16, 16)}) {
        QPainterPath path;
        path.addRect(rect);
        SCOPED_TRACE(QString("%1 %2 %3 %4").arg(rect.x()).arg(rect.y()).arg(rect.width()).arg(rect.height()).toStdString());
        expectFillLikeCairo(path, "rectangle");
    }
}

TEST(ScanlineFill, OverlappingContoursFollowTheFillRule)
{
    QPainterPath circles;
    circles.setFillRule(Qt::WindingFill);
    circles.addEllipse(QPointF(16, 20), 10, 10);
    circles.addEllipse(QPointF(24, 20), 10, 10);
    expectFillLikeCairo(circles, "non-zero circles");
    circles.setFillRule(Qt::OddEvenFill);
    expectFillLikeCairo(circles, "even-odd circles");
    // Even-odd leaves the lens between them empty; non-zero fills it.
    EXPECT_EQ(qAlpha(fillOwn(circles, Qt::black).pixel(20, 20)), 0);

    QPainterPath star;
    star.setFillRule(Qt::WindingFill);
    for (int k = 0; k < 5; ++k) {
        const double angle = k * 4 * std::numbers::pi / 5 - std::numbers::pi / 2;
        const QPointF p(20 + 17 * std::cos(angle), 20 + 17 * std::sin(angle));
        k == 0 ? star.moveTo(p) : star.lineTo(p);
    }
    star.closeSubpath();
    expectFillLikeCairo(star, "non-zero star");
    EXPECT_EQ(qAlpha(fillOwn(star, Qt::black).pixel(20, 20)), 255);
    star.setFillRule(Qt::OddEvenFill);
    expectFillLikeCairo(star, "even-odd star");
    EXPECT_EQ(qAlpha(fillOwn(star, Qt::black).pixel(20, 20)), 0);
}

TEST(ScanlineFill, CurvesAndSliversMatchCairo)
{
    QPainterPath curve;
    curve.moveTo(4, 36);
    curve.cubicTo(4, -10, 36, 50, 36, 4);
    curve.lineTo(36, 36);
    curve.closeSubpath();
    expectFillLikeCairo(curve, "cubic");
    QPainterPath sliver;
    sliver.moveTo(2, 2);
    sliver.lineTo(38, 3.2);
    sliver.lineTo(38, 2.9);
    sliver.closeSubpath();
    expectFillLikeCairo(sliver, "sliver");
}

TEST(ScanlineStroke, CapsMatchCairo)
{
    for (int cap : {0, 1, 2}) {
        expectStrokeLikeCairo(polyline({{8.3, 30.1}, {31.6, 9.4}}, 4, cap, 0), "diagonal line");
        expectStrokeLikeCairo(polyline({{6, 20}, {34, 20}}, 2, cap, 0), "horizontal line");
        expectStrokeLikeCairo(polyline({{6.5, 5}, {20.5, 35}}, 0.3, cap, 0), "thin line");
    }
    // The caps reach past the ends by half the width, or not at all.
    EXPECT_EQ(qAlpha(strokeOwn(polyline({{10, 20}, {30, 20}}, 4, 0, 0), Qt::black).pixel(31, 20)), 0);
    EXPECT_EQ(qAlpha(strokeOwn(polyline({{10, 20}, {30, 20}}, 4, 2, 0), Qt::black).pixel(31, 20)), 255);
}

TEST(ScanlineStroke, JoinsAndMiterLimitMatchCairo)
{
    // A 30 degree turn: its miter is 3.9 widths long.
    const double sharp = 30 * std::numbers::pi / 180;
    const QPointF tip(30, 20);
    const QPointF back = tip - QPointF(std::cos(sharp), std::sin(sharp)) * 24;
    for (int join : {0, 1, 2}) {
        expectStrokeLikeCairo(polyline({{6, 32}, {20, 8}, {34, 30}}, 3, 0, join), "wide angle");
        expectStrokeLikeCairo(polyline({{6, 20}, tip, back}, 3, 0, join), "sharp angle");
    }
    KTNSVGBezierPath mitred = polyline({{6, 20}, tip, back}, 3, 0, 0);
    mitred.miterLimit = 4;
    KTNSVGBezierPath bevelled = mitred;
    bevelled.miterLimit = 3.8;
    expectStrokeLikeCairo(mitred, "within the miter limit");
    expectStrokeLikeCairo(bevelled, "beyond the miter limit");
    // The tip sticks out past the corner only within the limit.
    const QImage withTip = strokeOwn(mitred, Qt::black);
    const QImage withoutTip = strokeOwn(bevelled, Qt::black);
    EXPECT_GT(coveredPixels(withTip), coveredPixels(withoutTip) + 3);
}

TEST(ScanlineStroke, ClosedSubpathsJoinWhereOpenOnesGetCaps)
{
    KTNSVGBezierPath open = polyline({{8, 8}, {32, 8}, {32, 32}, {8, 32}, {8, 8}}, 4, 0, 0);
    KTNSVGBezierPath closed = open;
    closed.closePath();
    ASSERT_TRUE(closed.closureRecorded);
    expectStrokeLikeCairo(open, "open square");
    expectStrokeLikeCairo(closed, "closed square");
    // The closed corner is mitred; the open one has two butt ends there.
    EXPECT_EQ(qAlpha(strokeOwn(closed, Qt::black).pixel(6, 6)), 255);
    EXPECT_LT(qAlpha(strokeOwn(open, Qt::black).pixel(6, 6)), 255);

    KTNSVGBezierPath circle;
    circle.appendOvalInRect(QRectF(8.5, 6.25, 23, 27));
    circle.lineWidth = 2;
    for (int join : {0, 1, 2}) {
        circle.lineJoinStyle = join;
        expectStrokeLikeCairo(circle, "ellipse");
    }
}

TEST(ScanlineStroke, ZeroLengthSubpathsDrawDotsSquaresOrNothing)
{
    for (int cap : {0, 1, 2}) {
        KTNSVGBezierPath dot = polyline({{20.3, 20.6}, {20.3, 20.6}}, 6, cap, 1);
        const QImage ours = strokeOwn(dot, Qt::black);
        const QImage cairo = drawWithCairo([&](KTNSVGDrawContext &c) { c.strokePath(dot, QColor(Qt::black)); });
        EXPECT_EQ(coveredPixels(ours) > 0, cap != 0);
        if (cap != 0)
            expectLikeCairo(ours, cairo, "dot");
        else
            EXPECT_EQ(coveredPixels(cairo), 0);
    }
    // The square has its sides along the axes; the dot is round.
    const QImage square = strokeOwn(polyline({{20, 20}, {20, 20}}, 6, 2, 0), Qt::black);
    const QImage round = strokeOwn(polyline({{20, 20}, {20, 20}}, 6, 1, 0), Qt::black);
    EXPECT_EQ(qAlpha(square.pixel(17, 17)), 255);
    EXPECT_LT(qAlpha(round.pixel(17, 17)), 32);
}

TEST(ScanlineStroke, SmallClosedShapeUnderAWideLineHasNoHole)
{
    KTNSVGBezierPath ring;
    ring.appendOvalInRect(QRectF(18, 18, 4, 4));
    ring.lineWidth = 8;
    const QImage ours = strokeOwn(ring, Qt::black);
    EXPECT_EQ(qAlpha(ours.pixel(20, 20)), 255);
    expectLikeCairo(ours, drawWithCairo([&](KTNSVGDrawContext &c) { c.strokePath(ring, QColor(Qt::black)); }), "ring");
    // The same holds for a translucent line: inside and line count once.
    const QImage translucent = strokeOwn(ring, QColor(0, 0, 255, 128));
    EXPECT_EQ(qAlpha(translucent.pixel(20, 20)), 128);
    EXPECT_LE(largestAlpha(translucent), 128);
}

TEST(ScanlineStroke, CurvesMatchCairoWithoutFacets)
{
    KTNSVGBezierPath wave;
    wave.moveToPoint({4, 30});
    wave.curveToPoint({36, 10}, {10, -10}, {30, 50});
    wave.lineWidth = 3;
    for (int cap : {0, 1, 2}) {
        wave.lineCapStyle = cap;
        wave.lineJoinStyle = cap;
        expectStrokeLikeCairo(wave, "wave");
    }
    KTNSVGBezierPath arc;
    arc.appendArc(QPointF(20, 20), 15, 10, 250, false);
    arc.lineWidth = 2;
    arc.lineCapStyle = 1;
    expectStrokeLikeCairo(arc, "arc");
}

TEST(ScanlineStroke, OverlappingPiecesOfATranslucentLineCountOnce)
{
    // Sharp turns and a crossing of the line with itself, round joins.
    const KTNSVGBezierPath zigzag =
        polyline({{4, 4}, {36, 20}, {4, 20}, {36, 4}, {20, 36}, {20, 2}}, 5, 1, 1);
    const QColor color(200, 0, 0, 128);
    const QImage ours = strokeOwn(zigzag, color);
    EXPECT_LE(largestAlpha(ours), 128);
    expectLikeCairo(ours, drawWithCairo([&](KTNSVGDrawContext &c) { c.strokePath(zigzag, color); }), "zigzag");

    // Opacity of an element drawn without a layer multiplies the colour.
    const Paint faded = [&](KTNSVGDrawContext &c) {
        ASSERT_TRUE(c.begin(0.5, false, QRectF(0, 0, 40, 40)));
        c.strokePath(zigzag, QColor(0, 0, 0));
        c.end();
    };
    const QImage fadedOurs = drawWithContext(faded);
    EXPECT_LE(largestAlpha(fadedOurs), 128);
    EXPECT_GE(largestAlpha(fadedOurs), 127);
    expectLikeCairo(fadedOurs, drawWithCairo(faded), "faded zigzag");
}

TEST(ScanlineContext, MixesWithWhatCairoStillDraws)
{
    const KTNSVGBezierPath line = polyline({{4, 8}, {36, 30}}, 3, 1, 1);
    QPainterPath box;
    box.addRect(QRectF(6.5, 6.5, 24, 24));
    QLinearGradient gradient(0, 0, 40, 0);
    gradient.setColorAt(0, QColor(255, 0, 0, 200));
    gradient.setColorAt(1, QColor(0, 0, 255, 200));
    QPainterPath clip;
    clip.addEllipse(QPointF(20, 20), 12, 12);
    const Paint paint = [&](KTNSVGDrawContext &c) {
        c.fillPath(box, QBrush(gradient));        // cairo
        c.strokePath(line, QColor(0, 128, 0));    // own
        c.fillPath(box, QBrush(QColor(0, 0, 0, 60))); // own, over cairo's pixels
        ASSERT_TRUE(c.begin(1.0, false, QRectF(0, 0, 40, 40)));
        c.intersectClip(clip); // clipped: cairo again
        c.strokePath(polyline({{4, 30}, {36, 8}}, 4, 0, 0), QColor(255, 255, 0));
        c.end();
        c.strokePath(polyline({{20, 2}, {20, 38}}, 2, 0, 0), QColor(0, 0, 0)); // own again
        // A layer: drawn by cairo into its group.
        ASSERT_TRUE(c.begin(0.5, true, QRectF(0, 0, 40, 40)));
        c.fillPath(box, QBrush(QColor(0, 0, 255)));
        c.strokePath(line, QColor(255, 0, 0));
        c.end();
    };
    expectLikeCairo(drawWithContext(paint), drawWithCairo(paint), "mixed drawing");
}

TEST(ScanlineContext, GradientsClipsAndLayersPaintThroughTheSameCoverage)
{
    // What the rasteriser cannot paint itself it hands cairo as a mask:
    // placed where the shape is, also in an image whose first pixel is not
    // the origin.
    KTNSVGBezierPath ring;
    ring.appendOvalInRect(QRectF(11.3, 13.7, 25, 21));
    ring.lineWidth = 3.5;
    const QPainterPath star = starPath();
    QRadialGradient radial(QPointF(25, 24), 14);
    radial.setColorAt(0, QColor(255, 200, 0));
    radial.setColorAt(1, QColor(0, 60, 200, 180));
    QPainterPath clip;
    clip.addRect(QRectF(14.5, 10, 30, 18));
    const Paint paint = [&](KTNSVGDrawContext &c) {
        c.fillPath(star, QBrush(radial));
        c.strokePath(ring, QBrush(radial));
        ASSERT_TRUE(c.begin(1.0, false, QRectF(0, 0, 60, 60)));
        c.intersectClip(clip);
        c.strokePath(polyline({{8, 12}, {44, 30}}, 3, 1, 1), QColor(0, 150, 0));
        c.end();
        ASSERT_TRUE(c.begin(0.6, true, QRectF(0, 0, 60, 60)));
        c.fillPath(star, QBrush(QColor(200, 0, 0)));
        c.strokePath(ring, QColor(0, 0, 0));
        c.end();
    };
    for (const QPoint origin : {QPoint(0, 0), QPoint(7, 5)}) {
        SCOPED_TRACE(origin.x());
        QImage ours = blankImage();
        QImage cairo = blankImage();
        for (const bool own : {true, false}) {
            OwnRasteriser rasteriser(own);
            KTNSVGDrawContext context(own ? ours : cairo, origin, KTNSVGDrawLimits());
            paint(context);
        }
        expectLikeCairo(ours, cairo, "gradient, clip and layer");
    }
}

TEST(ScanlineContext, DrawsSolidPathsWithTheOwnRasteriser)
{
    KTNSVGBezierPath circle;
    circle.appendOvalInRect(QRectF(5.3, 5.7, 29, 28));
    circle.lineWidth = 2.5;
    const Paint paint = [&](KTNSVGDrawContext &c) { c.strokePath(circle, QColor(0, 0, 0)); };
    const QImage own = strokeOwn(circle, Qt::black);
    EXPECT_EQ(drawWithContext(paint), own);
    EXPECT_NE(drawWithCairo(paint), own);
    // A shape whose box is large goes to cairo, which draws it faster;
    // a small one in the same large image does not.
    const QSize large(300, 300);
    KTNSVGBezierPath big;
    big.appendOvalInRect(QRectF(10.3, 20.7, 250, 240));
    big.lineWidth = 3;
    const Paint paintBig = [&](KTNSVGDrawContext &c) { c.strokePath(big, QColor(0, 0, 0)); };
    EXPECT_EQ(drawWithContext(paintBig, large), drawWithCairo(paintBig, large));
    EXPECT_NE(drawWithContext(paint, large), drawWithCairo(paint, large));
}

TEST(ScanlineBadInput, NonFiniteAndHugeValuesGiveClearResults)
{
    QImage image = blankImage();
    const svgscan::Target target = targetOf(image);
    const QRgb black = svgscan::premultiplied(Qt::black, 1.0);

    // Non-finite widths and miter limits: nothing drawn, or the default.
    KTNSVGBezierPath line = polyline({{5, 5}, {35, 35}}, std::numeric_limits<double>::quiet_NaN(), 0, 0);
    EXPECT_TRUE(svgscan::strokePath(target, line.path, nullptr, styleOf(line), black));
    EXPECT_EQ(coveredPixels(image), 0);
    line.lineWidth = 2;
    line.miterLimit = std::numeric_limits<double>::infinity();
    EXPECT_EQ(coveredPixels(drawWithContext([&](KTNSVGDrawContext &c) { c.strokePath(line, QColor(Qt::black)); })) > 0, true);
    EXPECT_EQ(svgscan::premultiplied(Qt::black, std::numeric_limits<double>::quiet_NaN()), 0xff000000u);

    // Coordinates far beyond the image: covers all of it, exactly.
    QPainterPath huge;
    huge.moveTo(-1e30, -1e30);
    huge.lineTo(1e30, -1e30);
    huge.lineTo(1e30, 1e30);
    huge.lineTo(-1e30, 1e30);
    huge.closeSubpath();
    EXPECT_TRUE(svgscan::fillPath(target, huge, black));
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            ASSERT_EQ(image.pixel(x, y), 0xff000000u) << x << "," << y;
    }

    // An enormous width covers the image, a long way off does not.
    for (int cap : {0, 1, 2}) {
        KTNSVGBezierPath wide = polyline({{-500, 20}, {500, 21}}, 1e6, cap, 1);
        EXPECT_EQ(coveredPixels(drawWithContext([&](KTNSVGDrawContext &c) { c.strokePath(wide, QColor(Qt::black)); })),
                  kSize.width() * kSize.height());
        KTNSVGBezierPath far = polyline({{1e6, 1e6}, {1e6 + 100, 1e6 - 50}, {1e6, 1e6 + 80}}, 30, cap, 0);
        EXPECT_EQ(coveredPixels(drawWithContext([&](KTNSVGDrawContext &c) { c.strokePath(far, QColor(Qt::black)); })), 0);
    }
    QPainterPath left;
    left.addRect(-1e9, 0, 1e9 - 0.5, 40);
    EXPECT_EQ(coveredPixels(fillOwn(left, Qt::black)), 0);

    // A coordinate that is not finite anywhere in a path (Qt refuses such
    // points, but an element can still be moved there): that path draws
    // nothing, and what is drawn after it still shows.
    QPainterPath square;
    square.addRect(QRectF(10, 10, 10, 10));
    for (const double bad : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
        for (const int at : {0, 2, 4}) {
            QPainterPath path;
            path.moveTo(5, 5);
            path.lineTo(30, 8);
            path.cubicTo(35, 20, 20, 35, 10, 30);
            path.closeSubpath();
            path.setElementPositionAt(at, bad, 12);
            KTNSVGBezierPath outline;
            outline.path = path;
            outline.lineWidth = 2;
            const QImage drawn = drawWithContext([&](KTNSVGDrawContext &c) {
                c.fillPath(path, QBrush(Qt::black));
                c.strokePath(outline, QColor(Qt::black));
                c.fillPath(square, QBrush(QColor(255, 0, 0)));
            });
            EXPECT_EQ(coveredPixels(drawn), 100) << at;
            EXPECT_EQ(drawn.pixel(15, 15), 0xffff0000u) << at;
        }
    }
}

TEST(ScanlineBadInput, MillionsOfSegmentsStayBounded)
{
    // A million tiny segments along a circle: filled like the circle.
    QPainterPath fine;
    const int count = 1'000'000;
    for (int k = 0; k < count; ++k) {
        const double angle = 2 * std::numbers::pi * k / count;
        const QPointF p(20 + 15 * std::cos(angle), 20 + 15 * std::sin(angle));
        k == 0 ? fine.moveTo(p) : fine.lineTo(p);
    }
    QPainterPath coarse;
    coarse.addEllipse(QPointF(20, 20), 15, 15);
    const QImage ours = fillOwn(fine, Qt::black);
    const Difference d = difference(ours, fillOwn(coarse, Qt::black));
    EXPECT_LE(d.largest, 24);
    EXPECT_LT(d.mean, 0.5);

    // More edges than the rasteriser takes on: given back, nothing drawn.
    QPainterPath zigzag;
    zigzag.moveTo(0, 0.5);
    for (int k = 0; k < 1'200'000; ++k)
        zigzag.lineTo(k % 2 ? 40 : 0, k % 2 ? 39.5 : 0.5);
    QImage image = blankImage();
    EXPECT_FALSE(svgscan::fillPath(targetOf(image), zigzag, 0xff000000u));
    EXPECT_EQ(coveredPixels(image), 0);
}

TEST(ScanlineFill, ShapesReachingPastTheImageCloseThere)
{
    // Edges right of the image are not kept: what they close on the left
    // must still run to the image's side, in plain and in sampled rows.
    QPainterPath wide;
    wide.addRect(QRectF(12.5, 3.25, 60, 9));
    expectFillLikeCairo(wide, "rectangle past the right side");
    QPainterPath crossing;
    crossing.addRect(QRectF(20.5, 5, 40, 20));
    crossing.addRect(QRectF(25, 10.5, 40, 20));
    expectFillLikeCairo(crossing, "overlapping rectangles past the right side");
    crossing.setFillRule(Qt::OddEvenFill);
    expectFillLikeCairo(crossing, "even-odd overlap past the right side");
    QPainterPath left;
    left.addEllipse(QRectF(-30.3, 4.6, 50, 31));
    expectFillLikeCairo(left, "ellipse past the left side");
}

TEST(ScanlineStroke, FoldsRetracesAndNearlyClosedLinesMatchCairo)
{
    // Joins on pieces shorter than the join's inner corner reaches fold the
    // outline over itself; a line going back over itself and lines that
    // cross overlap on their edges; all count once.
    expectStrokeLikeCairo(polyline({{5, 30}, {8, 10}, {8.6, 10.4}, {9, 30}, {14, 8}, {14.3, 8}, {20, 31}}, 3.5, 0, 0),
                          "short pieces, mitred");
    expectStrokeLikeCairo(polyline({{5, 5}, {30, 30}, {12.3, 12.3}, {33, 7}}, 2.5, 1, 1), "retraced line",
                          QColor(0, 0, 0, 120));
    expectStrokeLikeCairo(polyline({{4, 20}, {36, 21}, {20.5, 36}, {20, 3}}, 2, 2, 2), "crossing lines");
    // Round caps and joins on a line that ends a hair from its start: its
    // two caps overlap there.
    KTNSVGBezierPath loop = polyline({{10, 30}, {20, 6.4}, {31, 30.2}, {10.01, 30.02}}, 2, 1, 1);
    expectStrokeLikeCairo(loop, "nearly closed line", QColor(0, 0, 0, 160));
    KTNSVGBezierPath curve;
    curve.moveToPoint(QPointF(6, 34));
    curve.curveToPoint({34, 2}, {34, 34}, {6, 2});
    curve.curveToPoint({6, 34.01}, {20, 10}, {20, 30});
    curve.lineWidth = 2;
    curve.lineCapStyle = 1;
    curve.lineJoinStyle = 1;
    expectStrokeLikeCairo(curve, "self-crossing curves");
}

namespace {

// Brushes of every kind a drawing hands over: linear and radial, the three
// spreads, stops that leave the ends uncovered, translucent stops, and a
// gradient transform.
std::vector<std::pair<const char *, QBrush>> gradientBrushes()
{
    std::vector<std::pair<const char *, QBrush>> brushes;
    QLinearGradient linear(8.3, 5.1, 30.7, 28.2);
    linear.setColorAt(0.2, QColor(255, 40, 0));
    linear.setColorAt(0.5, QColor(0, 200, 90, 140));
    linear.setColorAt(0.8, QColor(20, 0, 255));
    linear.setInterpolationMode(QGradient::ComponentInterpolation);
    for (const auto spread : {QGradient::PadSpread, QGradient::ReflectSpread, QGradient::RepeatSpread}) {
        QLinearGradient g = linear;
        g.setFinalStop(18, 14);
        g.setSpread(spread);
        brushes.emplace_back(spread == QGradient::PadSpread       ? "linear, padded"
                             : spread == QGradient::ReflectSpread ? "linear, reflected"
                                                                  : "linear, repeated",
                             QBrush(g));
    }
    QRadialGradient radial(QPointF(21, 19), 13, QPointF(15, 14), 2.5);
    radial.setColorAt(0, QColor(255, 255, 0));
    radial.setColorAt(0.6, QColor(200, 0, 120, 90));
    radial.setColorAt(1, QColor(0, 60, 200));
    brushes.emplace_back("radial with a focal circle", QBrush(radial));
    QRadialGradient repeated(QPointF(20, 20), 6, QPointF(21, 18));
    repeated.setColorAt(0, QColor(0, 0, 0));
    repeated.setColorAt(1, QColor(255, 255, 255, 128));
    repeated.setSpread(QGradient::RepeatSpread);
    brushes.emplace_back("radial, repeated", QBrush(repeated));
    QBrush turned(linear);
    turned.setTransform(QTransform().rotate(35).scale(1.3, 0.6).translate(6, -3));
    brushes.emplace_back("linear, transformed", turned);
    // A hard step: two stops at one position (the context nudges the
    // second a hair along).
    QLinearGradient step(0, 0, 40, 0);
    step.setStops({{0, QColor(255, 0, 0)}, {0.4, QColor(255, 0, 0)}, {0.4 + 1e-9, QColor(0, 0, 255)}, {1, QColor(0, 0, 255)}});
    brushes.emplace_back("hard step", QBrush(step));
    return brushes;
}

} // namespace

TEST(ScanlineGradient, PixelsMatchCairosGradients)
{
    // A shape covering the whole image shows only the gradient's colours:
    // they agree with cairo's to a level, at two image origins and under
    // an opacity.
    QPainterPath all;
    all.addRect(QRectF(-5, -5, 60, 60));
    for (const auto &[what, brush] : gradientBrushes()) {
        for (const QPoint origin : {QPoint(0, 0), QPoint(7, -5)}) {
            for (const double opacity : {1.0, 0.6}) {
                SCOPED_TRACE(::testing::Message() << what << " at " << origin.x() << ", opacity " << opacity);
                QImage ours = blankImage();
                QImage cairo = blankImage();
                for (const bool own : {true, false}) {
                    OwnRasteriser rasteriser(own);
                    KTNSVGDrawContext context(own ? ours : cairo, origin, KTNSVGDrawLimits());
                    ASSERT_TRUE(context.begin(opacity, false, QRectF(0, 0, 60, 60)));
                    context.fillPath(all, brush);
                    context.end();
                }
                EXPECT_LE(difference(ours, cairo).largest, 2);
                EXPECT_GT(coveredPixels(ours), 1000);
            }
        }
    }
}

TEST(ScanlineGradient, ShapesAndStrokesPaintTheirGradientThemselves)
{
    // Gradient fills and strokes are painted by the rasteriser (the same
    // pixels as asking it directly), and look like cairo's.
    const QPainterPath star = starPath();
    KTNSVGBezierPath ring;
    ring.appendOvalInRect(QRectF(6.3, 7.7, 27, 24));
    ring.lineWidth = 3.5;
    for (const auto &[what, brush] : gradientBrushes()) {
        SCOPED_TRACE(what);
        const Paint fill = [&](KTNSVGDrawContext &c) { c.fillPath(star, brush); };
        const Paint stroke = [&](KTNSVGDrawContext &c) { c.strokePath(ring, brush); };
        // Edge coverage differs as for solid shapes, colours by a level.
        for (const Paint &paint : {fill, stroke}) {
            const Difference d = difference(drawWithContext(paint), drawWithCairo(paint));
            EXPECT_LE(d.largest, kTolerance);
            EXPECT_LT(d.mean, 0.3);
        }
        const QImage drawn = drawWithContext([&](KTNSVGDrawContext &c) {
            fill(c);
            stroke(c);
        });
        const std::optional<svgscan::Gradient> gradient = svgscan::gradientOf(brush, 1.0);
        ASSERT_TRUE(gradient);
        QImage direct = blankImage();
        EXPECT_TRUE(svgscan::fillPath(targetOf(direct), star, *gradient));
        EXPECT_TRUE(svgscan::strokePath(targetOf(direct), ring.path, nullptr, styleOf(ring), *gradient));
        EXPECT_EQ(drawn, direct);
    }
}

TEST(ScanlineGradient, BrushesWithoutAUsableGradientAreRefused)
{
    EXPECT_FALSE(svgscan::gradientOf(QBrush(Qt::red), 1.0));
    EXPECT_FALSE(svgscan::gradientOf(QBrush(QConicalGradient(5, 5, 30)), 1.0));
    QLinearGradient point(4, 4, 4, 4);
    point.setColorAt(0, Qt::red);
    EXPECT_FALSE(svgscan::gradientOf(QBrush(point), 1.0));
    QLinearGradient flat(0, 0, 10, 0);
    flat.setColorAt(0, Qt::red);
    QBrush squashed(flat);
    squashed.setTransform(QTransform::fromScale(1, 0));
    EXPECT_FALSE(svgscan::gradientOf(squashed, 1.0));
    QRadialGradient huge(QPointF(1, 1), std::numeric_limits<double>::infinity());
    huge.setColorAt(0, Qt::red);
    EXPECT_FALSE(svgscan::gradientOf(QBrush(huge), 1.0));
    // A radial gradient whose circles leave pixels outside every circle of
    // the cone paints nothing there, as cairo does; non-finite opacity
    // counts as none taken off.
    QRadialGradient outside(QPointF(20, 20), 4, QPointF(34, 20), 1);
    outside.setColorAt(0, Qt::red);
    outside.setColorAt(1, Qt::blue);
    QPainterPath all;
    all.addRect(QRectF(0, 0, 40, 40));
    const Paint paint = [&](KTNSVGDrawContext &c) { c.fillPath(all, QBrush(outside)); };
    const QImage drawn = drawWithContext(paint);
    EXPECT_LE(difference(drawn, drawWithCairo(paint)).largest, 2);
    EXPECT_LT(coveredPixels(drawn), 40 * 40);
    const auto nan = svgscan::gradientOf(QBrush(outside), std::numeric_limits<double>::quiet_NaN());
    ASSERT_TRUE(nan);
    EXPECT_FLOAT_EQ(nan->stops.front().alpha, 255.0f);
}

TEST(ScanlineFill, PixelsBlendAlikeWhereverTheyFallInARow)
{
    // Rows are painted several pixels at a time and their ends one by one.
    // A sliver far to the left widens the shape's box by 1 to 3 pixels, so
    // that every pixel of the shape is painted both ways; the sliver's rows
    // aside, each must come out the same. (Rows where the outline overlaps
    // itself are sampled, which follows its own rounding.)
    QPainterPath hole;
    hole.addRect(QRectF(12.5, 6.25, 9.6, 3.3));
    QPainterPath shape;
    shape.addEllipse(QRectF(9.3, 2.6, 17.9, 14.2));
    shape.addPath(hole.toReversed());
    QLinearGradient gradient(QPointF(8, 0), QPointF(28, 14));
    gradient.setColorAt(0, QColor(250, 20, 90, 200));
    gradient.setColorAt(1, QColor(10, 160, 240, 90));
    const std::optional<svgscan::Gradient> shader = svgscan::gradientOf(QBrush(gradient), 0.8);
    ASSERT_TRUE(shader);
    auto paint = [&](int widen, int brush) {
        QImage image = backgroundOfEveryAlpha();
        QPainterPath path = shape;
        path.setFillRule(brush == 3 ? Qt::OddEvenFill : Qt::WindingFill);
        if (widen > 0)
            path.addRect(QRectF(9.3 - widen, 30, 0.5, 0.5));
        const svgscan::Target target = targetOf(image);
        if (brush == 0)
            EXPECT_TRUE(svgscan::fillPath(target, path, svgscan::premultiplied(QColor(30, 60, 90), 1.0)));
        else if (brush == 2)
            EXPECT_TRUE(svgscan::fillPath(target, path, *shader));
        else
            EXPECT_TRUE(svgscan::fillPath(target, path, svgscan::premultiplied(QColor(200, 100, 0), 0.55)));
        return image.copy(0, 0, image.width(), 28);
    };
    for (int brush = 0; brush < 4; ++brush) {
        SCOPED_TRACE(brush);
        const QImage reference = paint(0, brush);
        // The hole is left alone.
        const int a = (16 * 37 + 8 * 11) % 256;
        EXPECT_EQ(reinterpret_cast<const QRgb *>(reference.constScanLine(8))[16], qRgba(a * 3 / 4, a / 2, a, a));
        for (int widen = 1; widen <= 3; ++widen)
            EXPECT_EQ(paint(widen, brush), reference) << widen;
    }
}

TEST(ScanlineFill, ShapesBlendOverWhatIsThereByTheirCoverage)
{
    // Each pixel gets the colour at its coverage over what was there, each
    // channel rounded to nearest: colour × coverage / 255, plus below ×
    // (255 − that alpha) / 255. Shapes of several widths put pixels at
    // every place in a row's runs and ends.
    auto divide = [](int x) { return (2 * x + 255) / 510; };
    for (const double width : {2.6, 5.3, 17.9, 30.2}) {
        QPainterPath shape;
        shape.addEllipse(QRectF(4.3, 2.6, width, 14.2));
        shape.moveTo(6.1, 20.2);
        shape.lineTo(6.1 + width, 24.7);
        shape.lineTo(5.2, 33.9);
        shape.closeSubpath();
        QImage probe = blankImage();
        svgscan::Mask coverage;
        ASSERT_TRUE(svgscan::fillMask(targetOf(probe), shape, coverage));
        for (const QRgb color : {svgscan::premultiplied(QColor(30, 60, 90), 1.0),
                                 svgscan::premultiplied(QColor(200, 100, 0), 0.55)}) {
            SCOPED_TRACE(width);
            QImage image = backgroundOfEveryAlpha();
            const QImage below = image.copy();
            ASSERT_TRUE(svgscan::fillPath(targetOf(image), shape, color));
            int wrong = 0;
            for (int y = 0; y < image.height(); ++y) {
                for (int x = 0; x < image.width(); ++x) {
                    int a = 0;
                    if (coverage.box.contains(x, y))
                        a = coverage.bytes[std::size_t((y - coverage.box.top()) * coverage.stride + x
                                                       - coverage.box.left())];
                    const QRgb d = reinterpret_cast<const QRgb *>(below.constScanLine(y))[x];
                    const int sourceAlpha = divide(int(color >> 24) * a);
                    QRgb expected = 0;
                    for (const int shift : {0, 8, 16, 24}) {
                        const int s = divide(int((color >> shift) & 0xff) * a);
                        expected |= QRgb(s + divide(int((d >> shift) & 0xff) * (255 - sourceAlpha))) << shift;
                    }
                    wrong += reinterpret_cast<const QRgb *>(image.constScanLine(y))[x] != expected;
                }
            }
            EXPECT_EQ(wrong, 0);
        }
    }
}

namespace {

// A rectangle wound clockwise or counter-clockwise.
void addRect(QPainterPath &path, const QRectF &r, bool clockwise)
{
    path.moveTo(r.topLeft());
    if (clockwise) {
        path.lineTo(r.topRight());
        path.lineTo(r.bottomRight());
        path.lineTo(r.bottomLeft());
    } else {
        path.lineTo(r.bottomLeft());
        path.lineTo(r.bottomRight());
        path.lineTo(r.topRight());
    }
    path.closeSubpath();
}

} // namespace

TEST(ScanlineFill, ShapesWoundOppositeWaysCountOnceWhereTheyMeet)
{
    // Icons often draw neighbouring shapes in opposite directions. Apart,
    // each pixel is what the shape alone gives it, exactly as when both
    // are wound alike.
    const QRectF left(3.3, 5.2, 9.3, 25.5), right(16.4, 5.7, 13.7, 20.1);
    for (const Qt::FillRule rule : {Qt::WindingFill, Qt::OddEvenFill}) {
        QPainterPath alike, opposite;
        alike.setFillRule(rule);
        opposite.setFillRule(rule);
        addRect(alike, left, true);
        addRect(alike, right, true);
        addRect(opposite, left, true);
        addRect(opposite, right, false);
        EXPECT_EQ(fillOwn(opposite, Qt::black), fillOwn(alike, Qt::black)) << rule;
    }
    // Meeting inside a pixel, side by side or one above the other, their
    // areas add up there (they must not cancel), as cairo draws them.
    const struct
    {
        QRectF a, b;
        QPoint shared;
        double coverage;
    } meetings[] = {
        {QRectF(3.3, 5.2, 9.3, 25.5), QRectF(12.6, 5.2, 13.1, 25.5), QPoint(12, 15), 1.0},
        // Equal parts of the pixel: it shows neither.
        {QRectF(3.3, 5.2, 9.0, 25.5), QRectF(12.7, 9.2, 13.1, 17.5), QPoint(12, 15), 0.6},
        {QRectF(5.2, 3.3, 25.5, 9.3), QRectF(5.2, 12.6, 25.5, 13.1), QPoint(15, 12), 1.0},
        {QRectF(5.2, 3.3, 25.5, 8.9), QRectF(9.1, 12.75, 15.5, 13.1), QPoint(15, 12), 0.45},
    };
    for (const auto &m : meetings) {
        QPainterPath path;
        addRect(path, m.a, true);
        addRect(path, m.b, false);
        SCOPED_TRACE(QString("%1,%2").arg(m.b.x()).arg(m.b.y()).toStdString());
        expectFillLikeCairo(path, "opposite shapes meeting");
        EXPECT_NEAR(qAlpha(fillOwn(path, Qt::black).pixel(m.shared)), m.coverage * 255, 16);
        // Rows wider than 62 pixels are judged cell by cell instead of by
        // masks: a speck far to the right widens the shapes' box.
        const QSize size(120, 40);
        const QRectF speck(110.2, 33.2, 0.6, 0.6);
        auto own = [&](const QPainterPath &p) {
            QImage image = blankImage(size);
            EXPECT_TRUE(svgscan::fillPath(targetOf(image), p, svgscan::premultiplied(Qt::black, 1.0)));
            return image;
        };
        QPainterPath wide = path;
        addRect(wide, speck, true);
        const QImage ours = own(wide);
        expectLikeCairo(ours, drawWithCairo([&](KTNSVGDrawContext &c) { c.fillPath(wide, QBrush(Qt::black)); }, size),
                        "opposite shapes meeting in a wide box");
        EXPECT_NEAR(qAlpha(ours.pixel(m.shared)), m.coverage * 255, 16);
        QPainterPath apart, apartAlike;
        addRect(apart, left, true);
        addRect(apart, right, false);
        addRect(apart, speck, true);
        addRect(apartAlike, left, true);
        addRect(apartAlike, right, true);
        addRect(apartAlike, speck, true);
        EXPECT_EQ(own(apart), own(apartAlike));
    }
}
