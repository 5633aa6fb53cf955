// The two rasterisers: cairo (images) and QPainter (any paint device) draw
// the same documents alike, and the strokes cairo's own stroker gets wrong
// come out right.
#include "svg_test_util.h"

#include <QPainter>

using namespace kalvo;
using namespace kalvo::svgtest;

namespace {

QImage renderWith(const char *svg, KTNSVGRasterizer rasterizer, double scale = 1.0)
{
    const auto document = parse(svg);
    if (!document)
        return QImage();
    document->rasterizer = rasterizer;
    return document->exportImageWithScale(scale);
}

// Share of pixels that differ after a 3 × 3 box blur by more than 24 in
// any premultiplied channel: antialiasing may differ, shapes and colours
// may not.
double differingShare(const QImage &a, const QImage &b)
{
    if (a.size() != b.size() || a.isNull())
        return 1.0;
    const QImage pa = a.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage pb = b.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    auto blurred = [](const QImage &image, int x, int y, int shift) {
        int sum = 0;
        int n = 0;
        for (int dy = -1; dy <= 1; ++dy) {
            for (int dx = -1; dx <= 1; ++dx) {
                const int xx = x + dx;
                const int yy = y + dy;
                if (xx < 0 || yy < 0 || xx >= image.width() || yy >= image.height())
                    continue;
                sum += (reinterpret_cast<const QRgb *>(image.constScanLine(yy))[xx] >> shift) & 0xff;
                ++n;
            }
        }
        return sum / n;
    };
    int differing = 0;
    for (int y = 0; y < pa.height(); ++y) {
        for (int x = 0; x < pa.width(); ++x) {
            for (int shift : {0, 8, 16, 24}) {
                if (std::abs(blurred(pa, x, y, shift) - blurred(pb, x, y, shift)) > 24) {
                    ++differing;
                    break;
                }
            }
        }
    }
    return static_cast<double>(differing) / (pa.width() * pa.height());
}

KTNSVGElementPtr rect(const QString &x, const QString &y, const QString &size, const QString &fill)
{
    return KTNTKSVGBaseElement::elementWithName(QStringLiteral("rect"), {{QStringLiteral("x"), x},
                                                                        {QStringLiteral("y"), y},
                                                                        {QStringLiteral("width"), size},
                                                                        {QStringLiteral("height"), size},
                                                                        {QStringLiteral("fill"), fill}});
}

} // namespace

TEST(Rasterizers, DrawTheSameDocumentsAlike)
{
    // One document per drawing path: fills and strokes, gradients in both
    // unit systems with transforms and spreads, clips, masks, group
    // opacity through a layer, dashes, even-odd fill.
    const char *documents[] = {
        R"~(<svg viewBox="0 0 40 40"><rect x="4" y="4" width="20" height="14" fill="#c03"/>
            <circle cx="26" cy="26" r="10" fill="none" stroke="#036" stroke-width="3"/></svg>)~",
        R"~(<svg viewBox="0 0 40 40"><defs><linearGradient id="g" x1="0" x2="1" spreadMethod="reflect"
            gradientTransform="rotate(30) scale(0.5)"><stop offset="0" stop-color="red"/>
            <stop offset="1" stop-color="blue" stop-opacity="0.5"/></linearGradient></defs>
            <rect width="40" height="40" fill="url(#g)"/></svg>)~",
        R"~(<svg viewBox="0 0 40 40"><defs><radialGradient id="r" gradientUnits="userSpaceOnUse" cx="20" cy="20"
            r="15" fx="14" fy="16" spreadMethod="repeat"><stop offset="0" stop-color="yellow"/>
            <stop offset="1" stop-color="green"/></radialGradient></defs>
            <rect width="40" height="40" fill="url(#r)"/></svg>)~",
        R"~(<svg viewBox="0 0 40 40"><clipPath id="c"><circle cx="20" cy="20" r="12"/></clipPath>
            <g clip-path="url(#c)"><rect width="40" height="20" fill="green"/></g></svg>)~",
        R"~(<svg viewBox="0 0 40 40"><mask id="m"><rect width="40" height="40" fill="white"/>
            <rect x="10" y="10" width="20" height="20" fill="black"/></mask>
            <rect width="40" height="40" fill="navy" mask="url(#m)"/></svg>)~",
        R"~(<svg viewBox="0 0 40 40"><g opacity="0.5"><rect width="30" height="30" fill="red"/>
            <rect x="10" y="10" width="30" height="30" fill="blue"/></g></svg>)~",
        R"~(<svg viewBox="0 0 40 40"><path d="M4 20h32" stroke="black" stroke-width="4"
            stroke-dasharray="6 3" stroke-dashoffset="2"/></svg>)~",
        R"~(<svg viewBox="0 0 40 40"><path fill-rule="evenodd" d="M2 2h36v36h-36zM10 10h20v20h-20z"/></svg>)~",
    };
    for (const char *svg : documents) {
        const QImage cairo = renderWith(svg, KTNSVGRasterizer::Cairo, 3);
        const QImage qpainter = renderWith(svg, KTNSVGRasterizer::QPainter, 3);
        ASSERT_FALSE(cairo.isNull());
        EXPECT_GT(opaquePixels(cairo), 100) << svg;
        EXPECT_LE(differingShare(cairo, qpainter), 0.002) << svg;
    }
}

TEST(Rasterizers, ContextOnAnyImageFormatStillDraws)
{
    // Cairo takes premultiplied ARGB32 only; other images go to QPainter.
    const auto element = rect(QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("10"), QStringLiteral("#00ff00"));
    ASSERT_TRUE(element);
    for (QImage::Format format : {QImage::Format_ARGB32_Premultiplied, QImage::Format_RGB32, QImage::Format_ARGB32}) {
        QImage image(10, 10, format);
        image.fill(Qt::white);
        {
            KTNSVGDrawContext context(image, QPoint(0, 0), KTNSVGDrawLimits());
            EXPECT_EQ(context.rasterizer() == KTNSVGRasterizer::Cairo,
                      format == QImage::Format_ARGB32_Premultiplied);
            element->drawSVGWithCGContextRef(context, 1.0);
        }
        EXPECT_TRUE(colorAt(image, 5, 5, QColor(0, 255, 0))) << format;
    }
}

TEST(Rasterizers, OffsetOriginPlacesTheDevice)
{
    // An image standing for device pixels (20, 10) onwards.
    const auto element = rect(QStringLiteral("20"), QStringLiteral("10"), QStringLiteral("4"), QStringLiteral("#000000"));
    ASSERT_TRUE(element);
    for (KTNSVGRasterizer rasterizer : {KTNSVGRasterizer::Cairo, KTNSVGRasterizer::QPainter}) {
        QImage image(8, 8, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            KTNSVGDrawContext context(image, QPoint(20, 10), KTNSVGDrawLimits(), rasterizer);
            element->drawSVGWithCGContextRef(context, 1.0);
        }
        EXPECT_TRUE(colorAt(image, 1, 1, QColor(0, 0, 0)));
        EXPECT_TRUE(isTransparent(image, 5, 5));
    }
}

TEST(CairoStrokes, LinesOfNoLengthShowTheirCaps)
{
    const QImage square = renderWith(R"~(<svg viewBox="0 0 40 40"><path d="M10 10 L10 10 M30 30 Z" stroke="green"
        stroke-width="8" stroke-linecap="square"/></svg>)~",
                                     KTNSVGRasterizer::Cairo);
    EXPECT_TRUE(colorAt(square, 7, 7, QColor(0, 128, 0))) << "the corner of a square cap";
    EXPECT_TRUE(colorAt(square, 33, 26, QColor(0, 128, 0))) << "a closed dot";
    EXPECT_TRUE(isTransparent(square, 15, 10));

    const QImage round = renderWith(R"~(<svg viewBox="0 0 40 40"><path d="M10 10 L10 10" stroke="green"
        stroke-width="8" stroke-linecap="round"/></svg>)~",
                                    KTNSVGRasterizer::Cairo);
    EXPECT_TRUE(colorAt(round, 10, 10, QColor(0, 128, 0)));
    EXPECT_TRUE(isTransparent(round, 6, 6)) << "a round dot has no corners";

    const QImage butt = renderWith(R"~(<svg viewBox="0 0 40 40"><path d="M10 10 L10 10" stroke="green"
        stroke-width="8"/><rect x="5" y="5" width="30" height="30" fill="none" stroke="red" stroke-width="6"
        stroke-dasharray="0 10"/></svg>)~",
                                   KTNSVGRasterizer::Cairo);
    EXPECT_EQ(opaquePixels(butt), 0) << "butt caps of nothing, and dashes of no length, show nothing";
}

TEST(CairoStrokes, WideLinesAroundSmallShapesCoverTheirInside)
{
    // A line wider than the circle covers the middle; translucent, it is
    // painted once there (as dark as elsewhere).
    const QImage image = renderWith(R"~(<svg viewBox="0 0 40 40">
        <circle cx="10" cy="10" r="2" fill="none" stroke="black" stroke-width="8"/>
        <ellipse cx="30" cy="10" rx="2" ry="1" fill="none" stroke="blue" stroke-width="6" stroke-opacity="0.5"/>
        <circle cx="10" cy="30" r="6" fill="none" stroke="black" stroke-width="4"/></svg>)~",
                                    KTNSVGRasterizer::Cairo, 2);
    EXPECT_TRUE(colorAt(image, 20, 20, QColor(0, 0, 0)));
    EXPECT_TRUE(colorAt(image, 21, 19, QColor(0, 0, 0)));
    const QColor middle = image.pixelColor(60, 20);
    const QColor edge = image.pixelColor(60, 13);
    EXPECT_NEAR(middle.alpha(), 128, 3);
    EXPECT_NEAR(edge.alpha(), middle.alpha(), 3);
    EXPECT_TRUE(isTransparent(image, 20, 60)) << "a ring wider than its line keeps its hole";
}

TEST(CairoStrokes, ControlArmsOfNoVisibleLengthGiveNoDirection)
{
    // The curve ends with an arm a tenth of a unit long pointing right;
    // its cap must follow the curve (down), not stick out sideways.
    const QImage image = renderWith(R"~(<svg viewBox="0 0 40 40"><path d="M20 2 C20 10 20.1 30 20 30"
        fill="none" stroke="black" stroke-width="10"/></svg>)~",
                                    KTNSVGRasterizer::Cairo);
    EXPECT_TRUE(colorAt(image, 20, 28, QColor(0, 0, 0)));
    EXPECT_TRUE(isTransparent(image, 20, 33)) << "a butt cap ends the line at the curve's end";
    EXPECT_TRUE(isTransparent(image, 27, 30));
}

TEST(CairoStrokes, PathsThatReturnToTheirStartStayOpen)
{
    // Only "Z" closes: a path that comes back to its start by a line ends
    // in two caps, not a join.
    const char *open = R"~(<svg viewBox="0 0 40 40"><path d="M30 8 l0 24 -20 -12 20 -12" fill="none"
        stroke="black" stroke-width="6"/></svg>)~";
    const char *closed = R"~(<svg viewBox="0 0 40 40"><path d="M30 8 l0 24 -20 -12 20 -12 z" fill="none"
        stroke="black" stroke-width="6"/></svg>)~";
    const QImage openImage = renderWith(open, KTNSVGRasterizer::Cairo, 2);
    const QImage closedImage = renderWith(closed, KTNSVGRasterizer::Cairo, 2);
    EXPECT_TRUE(isTransparent(openImage, 64, 8)) << "no join beyond the corner";
    EXPECT_FALSE(isTransparent(closedImage, 64, 8)) << "the miter join of the closed outline";
}

TEST(BezierPathClosure, RecordedThroughAppendingAndReversing)
{
    KTNSVGBezierPath triangle;
    triangle.moveToPoint({0, 0});
    triangle.lineToPoint({10, 0});
    triangle.lineToPoint({0, 10});
    triangle.closePath();
    KTNSVGBezierPath line;
    line.moveToPoint({20, 0});
    line.lineToPoint({30, 0});
    line.lineToPoint({20, 0});
    EXPECT_TRUE(triangle.closureRecorded);
    EXPECT_EQ(triangle.closedEnds, QList<int>({3}));
    EXPECT_TRUE(line.closedEnds.isEmpty()) << "back at the start without closing";

    KTNSVGBezierPath both = line;
    both.appendBezierPath(triangle);
    EXPECT_TRUE(both.closureRecorded);
    EXPECT_EQ(both.closedEnds, QList<int>({6}));

    const KTNSVGBezierPath reversed = both.bezierPathByReversingPath();
    ASSERT_EQ(reversed.path.elementCount(), 7);
    // The triangle comes first now, its subpath elements 0..3.
    EXPECT_EQ(reversed.closedEnds, QList<int>({3}));
    EXPECT_TRUE(reversed.path.elementAt(4).isMoveTo());

    KTNSVGBezierPath oval;
    oval.appendOvalInRect(QRectF(0, 0, 10, 10));
    EXPECT_EQ(oval.closedEnds, QList<int>({oval.path.elementCount() - 1}));
}
