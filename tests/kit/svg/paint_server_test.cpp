// Gradients as real files use them: radial gradients, units, transforms,
// spread methods, "href" chains, stroke gradients; and the compositing of
// group opacity and clip paths made of several outlines.
#include "svg_test_util.h"

using namespace kalvo;
using namespace kalvo::svgtest;

namespace {

const QColor kRed(255, 0, 0);
const QColor kBlue(0, 0, 255);

constexpr const char *kStops = R"~(<stop offset="0" stop-color="#FF0000"/><stop offset="1" stop-color="#0000FF"/>)~";

QImage renderWith(const QString &definitions, const QString &shapes, int width = 20, int height = 20)
{
    const QString svg = QStringLiteral("<svg viewBox=\"0 0 %1 %2\">%3%4</svg>")
                            .arg(width)
                            .arg(height)
                            .arg(QString(definitions).replace(QLatin1String("STOPS"), QLatin1String(kStops)), shapes);
    return KTNSVGParserMgr::initWithSvgString(svg.toUtf8())->exportImage();
}

TEST(RadialGradient, CentreToEdge)
{
    const QImage image = renderWith(QStringLiteral("<radialGradient id=\"g\">STOPS</radialGradient>"),
                                    QStringLiteral("<rect width=\"20\" height=\"20\" fill=\"url(#g)\"/>"));
    EXPECT_TRUE(colorAt(image, 10, 10, kRed, 24)) << "the first stop at the centre";
    EXPECT_TRUE(colorAt(image, 0, 0, kBlue, 8)) << "padded beyond the radius";
    EXPECT_TRUE(colorAt(image, 19, 10, kBlue, 24));
}

TEST(RadialGradient, FocalPointAndUserSpace)
{
    const QImage image = renderWith(
        QStringLiteral("<radialGradient id=\"g\" gradientUnits=\"userSpaceOnUse\" cx=\"10\" cy=\"10\" r=\"10\" fx=\"4\" fy=\"10\">STOPS</radialGradient>"),
        QStringLiteral("<rect width=\"20\" height=\"20\" fill=\"url(#g)\"/>"));
    EXPECT_TRUE(colorAt(image, 4, 10, kRed, 40)) << "the first stop at the focal point";
    EXPECT_GT(image.pixelColor(12, 10).blue(), image.pixelColor(8, 10).blue());
}

TEST(LinearGradient, BoundingBoxUnitsFollowTheShape)
{
    // The default units span the shape's box, wherever it is.
    const QImage image = renderWith(QStringLiteral("<linearGradient id=\"g\">STOPS</linearGradient>"),
                                    QStringLiteral("<rect x=\"10\" width=\"10\" height=\"20\" fill=\"url(#g)\"/>"));
    EXPECT_TRUE(colorAt(image, 10, 10, kRed, 30));
    EXPECT_TRUE(colorAt(image, 19, 10, kBlue, 30));
    EXPECT_NEAR(image.pixelColor(15, 10).red(), 128, 20);
}

TEST(LinearGradient, TransformAndSpread)
{
    // Rotated by 90 degrees the gradient runs downwards.
    const QImage rotated = renderWith(
        QStringLiteral("<linearGradient id=\"g\" gradientTransform=\"rotate(90 0.5 0.5)\">STOPS</linearGradient>"),
        QStringLiteral("<rect width=\"20\" height=\"20\" fill=\"url(#g)\"/>"));
    EXPECT_TRUE(colorAt(rotated, 10, 0, kRed, 30));
    EXPECT_TRUE(colorAt(rotated, 10, 19, kBlue, 30));
    // Over the first half only: reflect runs back, repeat starts again.
    const QString half = QStringLiteral("x1=\"0\" x2=\"10\" gradientUnits=\"userSpaceOnUse\"");
    const QImage reflect = renderWith(
        QStringLiteral("<linearGradient id=\"g\" %1 spreadMethod=\"reflect\">STOPS</linearGradient>").arg(half),
        QStringLiteral("<rect width=\"20\" height=\"20\" fill=\"url(#g)\"/>"));
    EXPECT_TRUE(colorAt(reflect, 19, 10, kRed, 40));
    const QImage repeat = renderWith(
        QStringLiteral("<linearGradient id=\"g\" %1 spreadMethod=\"repeat\">STOPS</linearGradient>").arg(half),
        QStringLiteral("<rect width=\"20\" height=\"20\" fill=\"url(#g)\"/>"));
    EXPECT_TRUE(colorAt(repeat, 10, 10, kRed, 40));
    EXPECT_TRUE(colorAt(repeat, 19, 10, kBlue, 40));
}

TEST(GradientReferences, StopsAndAttributesComeThroughHref)
{
    const QImage image = renderWith(
        QStringLiteral("<linearGradient id=\"base\" x2=\"0\" y2=\"1\">STOPS</linearGradient>"
                       "<linearGradient id=\"g\" xlink:href=\"#base\" spreadMethod=\"pad\"/>"),
        QStringLiteral("<rect width=\"20\" height=\"20\" fill=\"url(#g)\"/>"));
    EXPECT_TRUE(colorAt(image, 10, 0, kRed, 30)) << "stops and the vertical direction inherited";
    EXPECT_TRUE(colorAt(image, 10, 19, kBlue, 30));
}

TEST(GradientReferences, CyclesEnd)
{
    const QImage image = renderWith(QStringLiteral("<linearGradient id=\"a\" href=\"#b\"/><linearGradient id=\"b\" href=\"#a\"/>"
                                                   "<linearGradient id=\"c\" href=\"#c\"/>"),
                                    QStringLiteral("<rect width=\"10\" height=\"20\" fill=\"url(#a)\"/>"
                                                   "<rect x=\"10\" width=\"10\" height=\"20\" fill=\"url(#c) red\"/>"));
    EXPECT_TRUE(isTransparent(image, 5, 5)) << "no stops anywhere: nothing";
    EXPECT_TRUE(colorAt(image, 15, 5, kRed)) << "a gradient without stops paints the fallback colour";
    const QImage fallback = renderWith(QString(), QStringLiteral("<rect width=\"20\" height=\"20\" fill=\"url(#none) red\"/>"));
    EXPECT_TRUE(colorAt(fallback, 5, 5, kRed)) << "a missing gradient paints the fallback colour";
}

TEST(GradientReferences, StrokeGradients)
{
    const QImage image = renderWith(
        QStringLiteral("<linearGradient id=\"g\" gradientUnits=\"userSpaceOnUse\" x1=\"0\" x2=\"20\">STOPS</linearGradient>"),
        QStringLiteral("<path d=\"M0 10 H20\" stroke=\"url(#g)\" stroke-width=\"4\"/>"));
    EXPECT_TRUE(colorAt(image, 1, 10, kRed, 30));
    EXPECT_TRUE(colorAt(image, 18, 10, kBlue, 30));
    EXPECT_TRUE(isTransparent(image, 10, 15));
}

TEST(Compositing, ClipPathOutlinesUniteAndFollowTheTransform)
{
    const char *svg = R"~(<svg viewBox="0 0 20 20">
        <clipPath id="c"><rect width="5" height="5"/><rect x="10" y="10" width="5" height="5"/></clipPath>
        <g transform="translate(5 0)"><rect width="20" height="20" fill="red" clip-path="url(#c)"/></g></svg>)~";
    for (const QImage &image : {renderText(svg), renderTree(svg)}) {
        EXPECT_TRUE(colorAt(image, 7, 2, kRed)) << "the first outline, moved with the element";
        EXPECT_TRUE(colorAt(image, 17, 12, kRed)) << "the second outline: a union, not an intersection";
        EXPECT_TRUE(isTransparent(image, 2, 2));
        EXPECT_TRUE(isTransparent(image, 12, 7));
    }
}

} // namespace

namespace {

TEST(Compositing, ClipPathInBoundingBoxUnits)
{
    const QImage image = renderText(R"~(<svg viewBox="0 0 20 20">
        <clipPath id="c" clipPathUnits="objectBoundingBox"><rect width="0.5" height="1"/></clipPath>
        <rect x="10" width="10" height="20" fill="red" clip-path="url(#c)"/></svg>)~");
    EXPECT_TRUE(colorAt(image, 12, 10, QColor(255, 0, 0))) << "the left half of the shape's box";
    EXPECT_TRUE(isTransparent(image, 17, 10));
}

TEST(Compositing, EmptyClipPathHidesTheElement)
{
    const QImage image = renderText(R"~(<svg viewBox="0 0 20 20">
        <clipPath id="c"><rect width="10" height="10" visibility="hidden"/></clipPath>
        <rect width="20" height="20" fill="red" clip-path="url(#c)"/></svg>)~");
    EXPECT_EQ(opaquePixels(image), 0);
}

} // namespace
