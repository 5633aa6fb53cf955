// Rendered pixels of small documents: fills, strokes, caps and joins,
// gradients, clips, masks, opacity.
#include <kalvo/svg/svgparser.h>

#include "svg_test_util.h"

#include <gtest/gtest.h>

using namespace kalvo;
using namespace kalvo::svgtest;

namespace {

const QColor kRed(255, 0, 0);
const QColor kBlue(0, 0, 255);
const QColor kGreen(0, 255, 0);

int alphaSum(const QImage &image, const QRect &area)
{
    int sum = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            sum += image.pixelColor(x, y).alpha();
    return sum;
}

TEST(RenderFill, NoFillAttributeFillsBlack)
{
    const char *svg = R"~(<svg viewBox="0 0 8 8"><rect width="8" height="8"/></svg>)~";
    EXPECT_TRUE(colorAt(renderText(svg), 4, 4, QColor(0, 0, 0)));
    EXPECT_TRUE(colorAt(renderTree(svg), 4, 4, QColor(0, 0, 0)));
}

TEST(RenderFill, TransparentPaintsNothingWhileUnknownNamesPaintOpaque)
{
    // Drawing gives the colour the fill opacity as its alpha: a colour
    // name the table does not know (the clear colour) comes out black, but
    // the keyword "transparent" stays invisible, inherited or not.
    EXPECT_EQ(opaquePixels(renderText(R"~(<svg viewBox="0 0 8 8">
        <rect width="8" height="8" fill="transparent" stroke="Transparent" stroke-width="2"/>
        <g fill="transparent"><rect width="8" height="8"/></g></svg>)~")),
              0);
    const QImage unknown = renderText(R"~(<svg viewBox="0 0 8 8"><rect width="8" height="8" fill="currentColor"/></svg>)~");
    EXPECT_TRUE(colorAt(unknown, 4, 4, QColor(0, 0, 0)));
}

TEST(RenderFill, OpacityOfTheFill)
{
    const QImage half = renderText(R"~(<svg viewBox="0 0 4 4"><rect width="4" height="4" fill="#FF0000" fill-opacity="0.5"/></svg>)~");
    EXPECT_TRUE(colorAt(half, 1, 1, QColor(255, 0, 0, 128)));
    // Eight hex digits carry the alpha whatever fill-opacity says.
    const QImage hex = renderText(R"~(<svg viewBox="0 0 4 4"><rect width="4" height="4" fill="#FF000080" fill-opacity="0.1"/></svg>)~");
    EXPECT_TRUE(colorAt(hex, 1, 1, QColor(255, 0, 0, 128)));
}

TEST(RenderFill, WindingRules)
{
    const char *nonzero = R"~(<svg viewBox="0 0 12 12"><path d="M0 0 H12 V12 H0 Z M3 3 H9 V9 H3 Z" fill="red"/></svg>)~";
    const char *evenodd = R"~(<svg viewBox="0 0 12 12"><path d="M0 0 H12 V12 H0 Z M3 3 H9 V9 H3 Z" fill="red" fill-rule="evenodd"/></svg>)~";
    EXPECT_TRUE(colorAt(renderText(nonzero), 6, 6, kRed));
    EXPECT_TRUE(isTransparent(renderText(evenodd), 6, 6));
    EXPECT_TRUE(colorAt(renderText(evenodd), 1, 1, kRed));
}

TEST(RenderFill, ScaleMultipliesTheImageAndTheOutline)
{
    const QImage image = renderText(R"~(<svg viewBox="0 0 8 8"><rect x="2" y="2" width="2" height="2" fill="red"/></svg>)~", 3);
    ASSERT_EQ(image.size(), QSize(24, 24));
    EXPECT_TRUE(colorAt(image, 6, 6, kRed));
    EXPECT_TRUE(colorAt(image, 11, 11, kRed));
    EXPECT_TRUE(isTransparent(image, 12, 12));
    EXPECT_TRUE(isTransparent(image, 5, 5));
}

TEST(RenderStroke, WidthColourAndOpacity)
{
    const QImage image = renderText(R"~(<svg viewBox="0 0 16 16"><path d="M2 8 H14" stroke="#0000FF" stroke-width="2"/></svg>)~");
    EXPECT_TRUE(colorAt(image, 8, 7, kBlue));
    EXPECT_TRUE(colorAt(image, 8, 8, kBlue));
    EXPECT_TRUE(isTransparent(image, 8, 5));
    EXPECT_TRUE(isTransparent(image, 8, 10));
    const QImage faint = renderText(R"~(<svg viewBox="0 0 16 16"><path d="M2 8 H14" stroke="#0000FF" stroke-width="2" stroke-opacity="0.5"/></svg>)~");
    EXPECT_TRUE(colorAt(faint, 8, 8, QColor(0, 0, 255, 128)));
}

TEST(RenderStroke, LineCaps)
{
    auto render = [](const char *cap) {
        const QByteArray svg = QByteArray(R"~(<svg viewBox="0 0 16 16"><path d="M6 8 H10" stroke="red" stroke-width="4" stroke-linecap=")~")
            + cap + R"~("/></svg>)~";
        return KTNSVGParserMgr::initWithSvgString(svg)->exportImage();
    };
    const QImage butt = render("butt");
    const QImage round = render("round");
    const QImage square = render("square");
    EXPECT_TRUE(isTransparent(butt, 4, 7));
    EXPECT_TRUE(colorAt(square, 4, 6, kRed));
    EXPECT_GT(round.pixelColor(4, 7).alpha(), 100) << "the cap's half disc reaches here";
    EXPECT_LT(round.pixelColor(4, 6).alpha(), 100) << "but not the corner a square cap fills";
}

TEST(RenderStroke, ZeroLengthSubpathsShowTheirCaps)
{
    // Icon sets draw dots as lines from a point to itself.
    const QImage round = renderText(R"~(<svg viewBox="0 0 16 16"><g stroke="red" stroke-width="6" stroke-linecap="round">
        <line x1="4" y1="8" x2="4" y2="8"/><path d="M12 8v0"/><path d="M8 2Z"/></g></svg>)~");
    EXPECT_TRUE(colorAt(round, 4, 8, kRed));
    EXPECT_TRUE(colorAt(round, 12, 8, kRed));
    EXPECT_TRUE(colorAt(round, 8, 2, kRed)) << "a move and a close";
    EXPECT_LT(round.pixelColor(1, 5).alpha(), 128) << "a disc, not a square";

    const QImage square = renderText(R"~(<svg viewBox="0 0 16 16"><line x1="8" y1="8" x2="8" y2="8"
        stroke="red" stroke-width="6" stroke-linecap="square"/></svg>)~");
    EXPECT_TRUE(colorAt(square, 5, 5, kRed)) << "the square's corner";
    EXPECT_TRUE(isTransparent(square, 3, 3));

    const QImage flat = renderText(R"~(<svg viewBox="0 0 16 16"><line x1="8" y1="8" x2="8" y2="8"
        stroke="red" stroke-width="6"/></svg>)~");
    EXPECT_EQ(opaquePixels(flat), 0) << "butt caps of nothing are nothing";
}

TEST(RenderStroke, LineJoins)
{
    auto render = [](const char *join, const char *extra = "") {
        const QByteArray svg = QByteArray(R"~(<svg viewBox="0 0 16 16"><path d="M2 12 L8 4 L14 12" stroke="red" stroke-width="4" stroke-linejoin=")~")
            + join + "\" " + extra + "/></svg>";
        return KTNSVGParserMgr::initWithSvgString(svg)->exportImage();
    };
    const QRect aboveApex(4, 0, 8, 3);
    const int miter = alphaSum(render("miter"), aboveApex);
    const int round = alphaSum(render("round"), aboveApex);
    const int bevel = alphaSum(render("bevel"), aboveApex);
    EXPECT_GT(miter, round);
    EXPECT_GT(round, bevel);
    // Beyond the miter limit a miter join becomes a bevel.
    EXPECT_NEAR(alphaSum(render("miter", "stroke-miterlimit=\"1.2\""), aboveApex), bevel, 20);
}

TEST(RenderStroke, Dashes)
{
    const QImage image = renderText(R"~(<svg viewBox="0 0 16 4"><path d="M0 2 H16" stroke="red" stroke-width="2" stroke-dasharray="2,2"/></svg>)~");
    EXPECT_TRUE(colorAt(image, 0, 1, kRed));
    EXPECT_TRUE(isTransparent(image, 2, 1));
    EXPECT_TRUE(colorAt(image, 4, 1, kRed));
    EXPECT_TRUE(isTransparent(image, 7, 1));
    // An odd list repeats: 3 on, 3 off, 3 on, with the default width 1.
    const QImage odd = renderText(R"~(<svg viewBox="0 0 16 4"><path d="M0 2 H16" stroke="red" stroke-dasharray="3"/></svg>)~");
    EXPECT_GT(odd.pixelColor(1, 1).alpha(), 0);
    EXPECT_EQ(odd.pixelColor(4, 1).alpha(), 0);
    EXPECT_GT(odd.pixelColor(7, 1).alpha(), 0);
}

TEST(RenderStroke, DashesGrowWithTheScale)
{
    // 2 on, 2 off along a line 2 wide: at scale 2 the same icon shows the
    // same dashes twice as long, not twice as many.
    const char *svg = R"~(<svg viewBox="0 0 16 4"><path d="M0 2 H16" stroke="red" stroke-width="2" stroke-dasharray="2,2"/></svg>)~";
    const QImage twice = renderText(svg, 2);
    ASSERT_EQ(twice.size(), QSize(32, 8));
    for (int x : {1, 3, 9, 11})
        EXPECT_TRUE(colorAt(twice, x, 3, kRed)) << x;
    for (int x : {5, 7, 13, 15})
        EXPECT_TRUE(isTransparent(twice, x, 3)) << x;
    const auto outline = KTNSVGParserMgr::initWithSvgString(QByteArray(svg))->elements.last()->outlineForDrawing(3);
    ASSERT_TRUE(outline);
    EXPECT_EQ(outline->lineDash, (QList<double>{6, 6}));
    EXPECT_EQ(outline->lineWidth, 6);
}

TEST(RenderGradient, GroupGradientReachesItsChildren)
{
    // The group's gradient is resolved after its children are built; they
    // still paint with it, on both ways in where the child is reached.
    const char *grouped = R"~(<svg viewBox="0 0 20 4">
        <linearGradient id="g" x1="5" y1="1" x2="15" y2="1" gradientUnits="userSpaceOnUse"><stop offset="0" stop-color="#FF0000"/><stop offset="1" stop-color="#0000FF"/></linearGradient>
        <g fill="url(#g)"><rect width="20" height="4"/><rect y="2" width="20" height="2" fill="#00FF00"/></g></svg>)~";
    const QImage tree = renderTree(grouped);
    EXPECT_TRUE(colorAt(tree, 1, 0, kRed));
    EXPECT_TRUE(colorAt(tree, 18, 0, kBlue));
    EXPECT_TRUE(colorAt(tree, 1, 3, kGreen)) << "a child's own fill stays";
    const QImage text = renderText(R"~(<svg viewBox="0 0 20 4" fill="url(#g)">
        <linearGradient id="g" x1="5" y1="1" x2="15" y2="1" gradientUnits="userSpaceOnUse"><stop offset="0" stop-color="#FF0000"/><stop offset="1" stop-color="#0000FF"/></linearGradient>
        <rect width="20" height="4"/></svg>)~");
    EXPECT_TRUE(colorAt(text, 1, 1, kRed));
    EXPECT_TRUE(colorAt(text, 18, 1, kBlue));
}

TEST(RenderGradient, UserSpaceEndsScaleWithTheOutline)
{
    // Padded beyond both ends; at scale 2 the end points move with the
    // outline.
    const QImage twice = renderTree(R"~(<svg viewBox="0 0 20 4">
        <linearGradient id="g" x1="5" y1="1" x2="15" y2="1" gradientUnits="userSpaceOnUse"><stop offset="0" stop-color="#FF0000"/><stop offset="1" stop-color="#0000FF"/></linearGradient>
        <rect width="20" height="4" fill="url(#g)"/></svg>)~", 2);
    EXPECT_TRUE(colorAt(twice, 8, 2, kRed));
    EXPECT_TRUE(colorAt(twice, 32, 2, kBlue));
}

TEST(RenderGradient, StopOpacityTimesFillOpacity)
{
    const QImage image = renderTree(R"~(<svg viewBox="0 0 4 4">
        <linearGradient id="g" x1="1" y1="1" x2="1" y2="3"><stop offset="0" stop-color="#00FF00" stop-opacity="0.5"/><stop offset="1" stop-color="#00FF00" stop-opacity="0.5"/></linearGradient>
        <rect width="4" height="4" fill="url(#g)" fill-opacity="0.5"/></svg>)~");
    EXPECT_TRUE(colorAt(image, 2, 2, QColor(0, 255, 0, 64)));
}

TEST(RenderGradient, WhatPaintsNothing)
{
    // Gradients without stops, references to nothing and a box without
    // area for a gradient in box units.
    const QImage image = renderTree(R"~(<svg viewBox="0 0 16 4">
        <linearGradient id="empty"/>
        <linearGradient id="box"><stop offset="0" stop-color="red"/><stop offset="1" stop-color="blue"/></linearGradient>
        <rect x="4" width="4" height="4" fill="url(#empty)"/>
        <path d="M8 2 H12" stroke="url(#box)" stroke-width="2"/>
        <rect x="12" width="4" height="4" fill="url(#missing)"/></svg>)~");
    EXPECT_EQ(opaquePixels(image), 0);
}

TEST(RenderClip, GroupsAreClippedAndClipsIntersect)
{
    const QImage image = renderTree(R"~(<svg viewBox="0 0 16 16">
        <clipPath id="left"><rect width="8" height="16"/></clipPath>
        <clipPath id="top"><rect width="16" height="8"/></clipPath>
        <g clip-path="url(#left)"><rect width="16" height="16" fill="red" clip-path="url(#top)"/></g></svg>)~");
    EXPECT_TRUE(colorAt(image, 4, 4, kRed));
    EXPECT_TRUE(isTransparent(image, 12, 4));
    EXPECT_TRUE(isTransparent(image, 4, 12));
}

TEST(RenderMask, TheMasksLuminanceDecidesWhatShows)
{
    // White shows, black hides, grey shows in part; the mask element's own
    // fill reaches children that set none.
    const auto doc = parseTree(R"~(<svg viewBox="0 0 16 16">
        <mask id="m"><rect width="8" height="8" fill="white"/><rect x="8" width="8" height="8" fill="#808080"/></mask>
        <rect width="16" height="16" fill="blue" mask="url(#m)"/>
        <rect x="12" y="12" width="4" height="4" fill="red"/></svg>)~");
    const QImage image = doc->exportImage();
    EXPECT_TRUE(colorAt(image, 4, 4, kBlue));
    EXPECT_NEAR(image.pixelColor(12, 4).alpha(), 128, 3) << "the luminance of the colour values as written";
    EXPECT_TRUE(isTransparent(image, 4, 10)) << "outside the mask's content nothing shows";
    EXPECT_TRUE(colorAt(image, 13, 13, kRed)) << "other elements are not affected";
    const QImage black = renderTree(R"~(<svg viewBox="0 0 16 16">
        <mask id="m" fill="black"><rect width="16" height="16"/></mask>
        <rect width="16" height="16" fill="blue" mask="url(#m)"/></svg>)~");
    EXPECT_EQ(opaquePixels(black), 0);
}

TEST(RenderMask, RepeatedDrawingDoesNotGrowTheMaskOutline)
{
    const auto doc = parseTree(R"~(<svg viewBox="0 0 16 16">
        <mask id="m"><rect width="8" height="8"/></mask>
        <rect width="16" height="16" fill="blue" mask="url(#m)"/></svg>)~");
    const KTNSVGElementPtr maskChild = doc->maskElements[0]->maskElements[0];
    (void)doc->exportImage();
    const int afterOne = maskChild->shape->path.elementCount();
    for (int i = 0; i < 40; ++i)
        (void)doc->exportImageWithScale(1 + i % 3);
    EXPECT_EQ(maskChild->shape->path.elementCount(), afterOne);
    EXPECT_EQ(opaquePixels(doc->exportImage()), 0);
}

TEST(RenderOpacity, GroupOpacityAppliesToTheGroupAsAWhole)
{
    // Two overlapping opaque rects in a half-transparent group: the overlap
    // is as transparent as the rest.
    const QImage image = renderText(R"~(<svg viewBox="0 0 12 4"><g opacity="0.5">
        <rect width="8" height="4" fill="#FF0000"/><rect x="4" width="8" height="4" fill="#0000FF"/></g></svg>)~");
    EXPECT_TRUE(colorAt(image, 1, 1, QColor(255, 0, 0, 128)));
    EXPECT_TRUE(colorAt(image, 6, 1, QColor(0, 0, 255, 128)));
    EXPECT_TRUE(colorAt(image, 10, 1, QColor(0, 0, 255, 128)));
}

TEST(RenderOpacity, GroupsThatPaintOnceTakeTheirOpacityWithoutALayer)
{
    // A group (or a "use") around one shape paints it once: the opacities
    // of the group, the copy and the shape multiply. A group around a shape
    // that fills and strokes, or around a group of two, is still one layer.
    const QImage image = renderText(R"~(<svg viewBox="0 0 24 16"><defs>
        <rect id="r" width="4" height="4" fill="#FF0000"/></defs>
        <g opacity="0.5"><rect width="4" height="4" fill="#0000FF" opacity="0.5"/></g>
        <g opacity="0.5"><use href="#r" x="5" opacity="0.5"/></g>
        <g opacity="0.5"><g><rect x="10" width="8" height="4" fill="#FF0000"/></g>
          <g><rect x="14" width="8" height="4" fill="#0000FF"/></g></g>
        <g opacity="0.5"><rect x="4" y="8" width="8" height="8" fill="#FF0000" stroke="#0000FF" stroke-width="4"/></g>
        </svg>)~");
    EXPECT_TRUE(colorAt(image, 2, 2, QColor(0, 0, 255, 64)));
    EXPECT_TRUE(colorAt(image, 7, 2, QColor(255, 0, 0, 64)));
    EXPECT_TRUE(colorAt(image, 12, 2, QColor(255, 0, 0, 128)));
    EXPECT_TRUE(colorAt(image, 16, 2, QColor(0, 0, 255, 128)));
    EXPECT_TRUE(colorAt(image, 20, 2, QColor(0, 0, 255, 128)));
    EXPECT_TRUE(colorAt(image, 8, 12, QColor(255, 0, 0, 128)));
    EXPECT_TRUE(colorAt(image, 4, 12, QColor(0, 0, 255, 128)));
}

TEST(RenderOpacity, FillAndStrokeShareOneLayer)
{
    const QImage image = renderText(R"~(<svg viewBox="0 0 16 16">
        <rect x="4" y="4" width="8" height="8" fill="#FF0000" stroke="#0000FF" stroke-width="4" opacity="0.5"/></svg>)~");
    EXPECT_TRUE(colorAt(image, 8, 8, QColor(255, 0, 0, 128)));
    // Where the stroke covers the fill, only the stroke shows.
    EXPECT_TRUE(colorAt(image, 4, 8, QColor(0, 0, 255, 128)));
}

} // namespace
