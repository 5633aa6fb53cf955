// Document structure: group transforms, nested "svg", the view box and
// preserveAspectRatio, lengths with units, "use" and what is not drawn.
#include "svg_test_util.h"

using namespace kalvo;
using namespace kalvo::svgtest;

namespace {

const QColor kRed(255, 0, 0);
const QColor kBlue(0, 0, 255);

TEST(Transforms, GroupsComposeWithTheirChildren)
{
    const char *svg = R"~(<svg viewBox="0 0 20 20"><g transform="translate(10 0)"><g transform="scale(2)">
        <rect width="2" height="2" fill="red" transform="translate(1 1)"/></g></g></svg>)~";
    for (const QImage &image : {renderText(svg), renderTree(svg)}) {
        EXPECT_TRUE(colorAt(image, 13, 3, kRed)) << "(1..3) x 2 + 10";
        EXPECT_TRUE(isTransparent(image, 11, 1));
        EXPECT_TRUE(isTransparent(image, 3, 3));
    }
}

TEST(Transforms, StrokeWidthGrowsWithTheScale)
{
    const QImage image = renderText(R"~(<svg viewBox="0 0 20 20"><g transform="scale(4)">
        <path d="M0 2.5 H5" stroke="blue" stroke-width="1"/></g></svg>)~");
    EXPECT_TRUE(colorAt(image, 10, 8, kBlue));
    EXPECT_TRUE(colorAt(image, 10, 11, kBlue));
    EXPECT_TRUE(isTransparent(image, 10, 13));
}

TEST(ViewBox, AspectRatioFitsTheViewBoxIntoWidthAndHeight)
{
    // 20 x 10 output for a square view box: meet centres it.
    const auto meet = parse(R"~(<svg width="20" height="10" viewBox="0 0 10 10"><rect width="10" height="10" fill="red"/></svg>)~");
    const QImage image = meet->exportImage();
    ASSERT_EQ(image.size(), QSize(20, 10));
    EXPECT_TRUE(isTransparent(image, 2, 5));
    EXPECT_TRUE(colorAt(image, 10, 5, kRed));
    EXPECT_TRUE(isTransparent(image, 17, 5));
    const QImage none = parse(R"~(<svg width="20" height="10" viewBox="0 0 10 10" preserveAspectRatio="none"><rect width="10" height="10" fill="red"/></svg>)~")->exportImage();
    EXPECT_TRUE(colorAt(none, 1, 5, kRed));
    EXPECT_TRUE(colorAt(none, 18, 5, kRed));
    const QImage minMeet = parse(R"~(<svg width="20" height="10" viewBox="0 0 10 10" preserveAspectRatio="xMinYMin meet"><rect width="10" height="10" fill="red"/></svg>)~")->exportImage();
    EXPECT_TRUE(colorAt(minMeet, 2, 5, kRed));
    EXPECT_TRUE(isTransparent(minMeet, 12, 5));
}

TEST(NestedSvg, PlacesAndClipsItsContent)
{
    const QImage image = renderText(R"~(<svg viewBox="0 0 20 20">
        <svg x="10" y="10" width="10" height="10" viewBox="0 0 5 5"><rect x="-5" width="20" height="2" fill="red"/></svg></svg>)~");
    EXPECT_TRUE(colorAt(image, 15, 11, kRed)) << "scaled by 2 into the viewport";
    EXPECT_TRUE(isTransparent(image, 5, 11)) << "clipped to the viewport";
    EXPECT_TRUE(isTransparent(image, 15, 15));
}

TEST(Lengths, UnitsAndPercentages)
{
    const QImage image = renderText(R"~(<svg viewBox="0 0 200 100">
        <rect width="50%" height="10%" fill="red"/>
        <rect y="20" width="1in" height="0.25in" fill="blue"/>
        <rect y="50" width="abc" height="10" fill="red"/></svg>)~");
    EXPECT_TRUE(colorAt(image, 99, 9, kRed));
    EXPECT_TRUE(isTransparent(image, 101, 5));
    EXPECT_TRUE(colorAt(image, 95, 30, kBlue)) << "96 user units to the inch";
    EXPECT_TRUE(isTransparent(image, 97, 30));
    EXPECT_TRUE(isTransparent(image, 5, 55)) << "an invalid width draws nothing";
}

TEST(Use, CopiesTheReferencedElementWithItsOffset)
{
    const char *svg = R"~(<svg viewBox="0 0 30 10" xmlns:xlink="http://www.w3.org/1999/xlink">
        <defs><rect id="r" width="10" height="10"/></defs>
        <use xlink:href="#r" fill="red"/>
        <use href="#r" x="20" fill="blue"/></svg>)~";
    for (const QImage &image : {renderText(svg), renderTree(svg)}) {
        EXPECT_TRUE(colorAt(image, 5, 5, kRed)) << "the use element's fill is inherited";
        EXPECT_TRUE(isTransparent(image, 15, 5)) << "definitions are not drawn themselves";
        EXPECT_TRUE(colorAt(image, 25, 5, kBlue));
    }
}

TEST(Use, SymbolsAndUsesOfUses)
{
    const QImage image = renderText(R"~(<svg viewBox="0 0 40 20">
        <symbol id="s" viewBox="0 0 2 2"><rect width="1" height="1" fill="red"/></symbol>
        <use id="u" href="#s" width="20" height="20"/>
        <use href="#u" x="20"/></svg>)~");
    EXPECT_TRUE(colorAt(image, 5, 5, kRed)) << "the symbol's view box fills the use's size";
    EXPECT_TRUE(isTransparent(image, 15, 15));
    EXPECT_TRUE(colorAt(image, 25, 5, kRed));
}

TEST(Use, CyclesEnd)
{
    const QImage image = renderText(R"~(<svg viewBox="0 0 10 10">
        <g id="a"><rect width="2" height="2" fill="red"/><use href="#b"/></g>
        <g id="b"><use href="#a" x="1"/></g>
        <use href="#self" id="self"/></svg>)~");
    EXPECT_TRUE(colorAt(image, 1, 1, kRed));
}

TEST(Use, ExponentialCopiesStopAtTheElementLimit)
{
    // Each level uses the one below twice: 2^30 copies if nothing stopped
    // them.
    QByteArray svg = R"~(<svg viewBox="0 0 10 10"><defs><rect id="l0" width="1" height="1"/>)~";
    for (int i = 1; i <= 30; ++i)
        svg += QStringLiteral("<g id=\"l%1\"><use href=\"#l%2\"/><use href=\"#l%2\"/></g>").arg(i).arg(i - 1).toUtf8();
    svg += R"~(</defs><use href="#l30"/></svg>)~";
    KTNSVGLimits limits;
    limits.maxElements = 5000;
    const auto document = KTNSVGParserMgr::initWithSvgString(svg, limits);
    ASSERT_TRUE(document);
    EXPECT_TRUE(document->limitReached());
    EXPECT_FALSE(document->exportImage().isNull());
}

TEST(Display, NoneHidesTheSubtreeAndVisibilityHidesTheElement)
{
    const QImage image = renderText(R"~(<svg viewBox="0 0 30 10">
        <g display="none"><rect width="10" height="10" fill="red"/></g>
        <g visibility="hidden"><rect x="10" width="10" height="10" fill="red"/>
          <rect x="20" width="10" height="10" fill="blue" visibility="visible"/></g></svg>)~");
    EXPECT_TRUE(isTransparent(image, 5, 5));
    EXPECT_TRUE(isTransparent(image, 15, 5));
    EXPECT_TRUE(colorAt(image, 25, 5, kBlue));
}

} // namespace

namespace {

TEST(Lengths, EmFollowsTheInheritedFontSize)
{
    const QImage image = renderText(R"~(<svg viewBox="0 0 40 10"><g font-size="10">
        <rect width="2em" height="1em" fill="blue"/><g font-size="2em"><rect x="20" width="0.5em" height="1em" fill="red"/></g></g></svg>)~");
    EXPECT_TRUE(colorAt(image, 19, 5, QColor(0, 0, 255)));
    EXPECT_TRUE(colorAt(image, 29, 5, QColor(255, 0, 0))) << "2em of 10 is 20; half of it 10";
    EXPECT_TRUE(isTransparent(image, 31, 5));
}

} // namespace
