// Styling of real icon files: style sheets and style attributes by CSS
// precedence, inheritance through "svg" and "g", "currentColor" and the
// host's current colour, colours in CSS notations.
#include "svg_test_util.h"

#include <kalvo/svg/svgmgr.h>

using namespace kalvo;
using namespace kalvo::svgtest;

namespace {

const QColor kRed(255, 0, 0);
const QColor kGreen(0, 128, 0);
const QColor kBlue(0, 0, 255);

TEST(StyleSheets, SelectorsAndPrecedence)
{
    // Element, class, id and grouped selectors; a later rule of the same
    // specificity wins, a more specific one wins whatever its place, and
    // a presentation attribute loses to any rule.
    const char *svg = R"~(<svg viewBox="0 0 40 10">
        <style>
          rect { fill: red }
          .a, .b { fill: green }
          #c { fill: blue }
          .b { fill: blue }
          /* a comment { fill: red } */
          @media print { rect { fill: red } }
        </style>
        <rect width="10" height="10" class="a" fill="red"/>
        <rect x="10" width="10" height="10" class="b"/>
        <rect x="20" width="10" height="10" id="c" class="a"/>
        <rect x="30" width="10" height="10"/></svg>)~";
    for (const QImage &image : {renderText(svg), renderTree(svg)}) {
        EXPECT_TRUE(colorAt(image, 5, 5, kGreen)) << "a class rule beats the attribute";
        EXPECT_TRUE(colorAt(image, 15, 5, kBlue)) << "the later of two equal rules";
        EXPECT_TRUE(colorAt(image, 25, 5, kBlue)) << "the id rule beats the class rule";
        EXPECT_TRUE(colorAt(image, 35, 5, kRed)) << "the element rule";
    }
}

TEST(StyleSheets, StyleAttributeBeatsRulesButNotImportantOnes)
{
    const QImage image = renderText(R"~(<svg viewBox="0 0 20 10">
        <style>.x { fill: red } .y { fill: green !important }</style>
        <rect width="10" height="10" class="x" style="fill: blue; stroke-width: 0"/>
        <rect x="10" width="10" height="10" class="y" style="fill:red"/></svg>)~");
    EXPECT_TRUE(colorAt(image, 5, 5, kBlue));
    EXPECT_TRUE(colorAt(image, 15, 5, kGreen));
}

TEST(StyleSheets, DescendantAndChildCombinators)
{
    const QImage image = renderText(R"~(<svg viewBox="0 0 20 10">
        <style>g rect { fill: green } svg > rect { fill: blue }</style>
        <g><rect width="10" height="10"/></g>
        <rect x="10" width="10" height="10"/></svg>)~");
    EXPECT_TRUE(colorAt(image, 5, 5, kGreen));
    EXPECT_TRUE(colorAt(image, 15, 5, kBlue));
}

TEST(StyleSheets, GeometryIsNotAStyleProperty)
{
    const QImage image = renderText(R"~(<svg viewBox="0 0 20 10">
        <rect width="10" height="10" fill="green" style="x: 10px"/></svg>)~");
    EXPECT_TRUE(colorAt(image, 5, 5, kGreen));
    EXPECT_TRUE(isTransparent(image, 15, 5));
}

TEST(StyleSheets, RegistryTreesKeepTheirSheets)
{
    // The icon registry reads files into element trees; the sheet's text
    // must reach the engine through them.
    const KTNSVGMgr::ParsedFile parsed = KTNSVGMgr::parseSvgData(
        R"~(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 4 4"><style><![CDATA[ .k { fill: #0000ff } ]]></style>
            <rect class="k" width="4" height="4"/></svg>)~",
        QStringLiteral("styled"));
    ASSERT_EQ(parsed.file.childElements.size(), 1);
    const KTNSvgElement &svg = parsed.file.childElements[0];
    ASSERT_FALSE(svg.childElements.isEmpty());
    EXPECT_TRUE(svg.childElements[0].text.contains(QLatin1String(".k")));
    EXPECT_TRUE(colorAt(KTNSVGParserMgr::initWithElement(svg)->exportImage(), 2, 2, kBlue));
}

TEST(Inheritance, RootPresentationAttributesReachEveryShape)
{
    // The form of the common stroke icon sets: everything on the root.
    const char *svg = R"~(<svg viewBox="0 0 24 24" fill="none" stroke="currentColor" stroke-width="4"
        stroke-linecap="round" stroke-linejoin="round"><path d="M4 12h16"/><g><circle cx="12" cy="4" r="1"/></g></svg>)~";
    for (const QImage &image : {renderText(svg), renderTree(svg)}) {
        EXPECT_TRUE(colorAt(image, 12, 12, QColor(0, 0, 0))) << "stroked with the host colour";
        EXPECT_TRUE(colorAt(image, 3, 12, QColor(0, 0, 0), 90)) << "a round cap reaches beyond the end";
        EXPECT_TRUE(isTransparent(image, 12, 18)) << "not filled";
        EXPECT_TRUE(colorAt(image, 12, 4, QColor(0, 0, 0))) << "through groups";
    }
}

TEST(Inheritance, NoneAndInheritAndOpacities)
{
    // "none" is not filled inside a filled group (a fault mended here);
    // "inherit" takes the parent's value; opacities are not multiplied
    // by inheritance but replaced.
    const QImage image = renderText(R"~(<svg viewBox="0 0 30 10"><g fill="#0000FF" fill-opacity="0.5">
        <rect width="10" height="10" fill="none"/>
        <rect x="10" width="10" height="10" fill="inherit"/>
        <rect x="20" width="10" height="10" fill-opacity="1"/></g></svg>)~");
    EXPECT_TRUE(isTransparent(image, 5, 5));
    EXPECT_TRUE(colorAt(image, 15, 5, QColor(0, 0, 255, 128)));
    EXPECT_TRUE(colorAt(image, 25, 5, kBlue));
}

TEST(CurrentColor, HostColourAndTheColorProperty)
{
    const QByteArray svg = R"~(<svg viewBox="0 0 20 10"><rect width="10" height="10" fill="currentColor"/>
        <g color="#0000FF"><rect x="10" width="10" height="10" fill="currentColor"/></g></svg>)~";
    auto document = KTNSVGParserMgr::initWithSvgString(svg);
    QImage image = document->exportImage();
    EXPECT_TRUE(colorAt(image, 5, 5, QColor(0, 0, 0))) << "black by default";
    EXPECT_TRUE(colorAt(image, 15, 5, kBlue)) << "the document's own colour";
    document->currentColor = QColor(255, 0, 0, 128);
    image = document->exportImage();
    EXPECT_TRUE(colorAt(image, 5, 5, QColor(255, 0, 0, 128))) << "the host's colour, alpha kept";
    EXPECT_TRUE(colorAt(image, 15, 5, kBlue));
}

TEST(CurrentColor, KeywordIsInheritedAndResolvedWhereUsed)
{
    const QImage image = renderText(R"~(<svg viewBox="0 0 10 10"><g fill="currentColor" color="red">
        <g color="#0000FF"><rect width="10" height="10"/></g></g></svg>)~");
    EXPECT_TRUE(colorAt(image, 5, 5, kBlue));
}

TEST(Colours, CssNotations)
{
    const QImage image = renderText(R"~(<svg viewBox="0 0 50 10">
        <rect width="10" height="10" fill="rgb(0, 0, 255)"/>
        <rect x="10" width="10" height="10" fill="rgba(0,0,255,0.5)"/>
        <rect x="20" width="10" height="10" fill="hsl(240, 100%, 50%)"/>
        <rect x="30" width="10" height="10" fill="#00f"/>
        <rect x="40" width="10" height="10" fill="rgb(0%, 0%, 100%)" fill-opacity="50%"/></svg>)~");
    EXPECT_TRUE(colorAt(image, 5, 5, kBlue));
    EXPECT_TRUE(colorAt(image, 15, 5, QColor(0, 0, 255, 128)));
    EXPECT_TRUE(colorAt(image, 25, 5, kBlue));
    EXPECT_TRUE(colorAt(image, 35, 5, kBlue));
    EXPECT_TRUE(colorAt(image, 45, 5, QColor(0, 0, 255, 128)));
}

TEST(Colours, InvalidValueIsAsIfNotGiven)
{
    // An unreadable function colour falls back to the inherited fill.
    const QImage image = renderText(R"~(<svg viewBox="0 0 10 10"><g fill="#0000FF">
        <rect width="10" height="10" fill="rgb(1, 2)"/></g></svg>)~");
    EXPECT_TRUE(colorAt(image, 5, 5, kBlue));
}

} // namespace

namespace {

TEST(StyleSheets, BacktrackingSelectorsOverDeepTreesEnd)
{
    // Twelve descendant steps over 200 nested groups: without a bound the
    // matching tries every way to place them.
    QByteArray svg = "<svg viewBox='0 0 4 4'><style>x g g g g g g g g g g g rect { fill: red }</style>";
    for (int i = 0; i < 200; ++i)
        svg += "<g>";
    svg += "<rect width='4' height='4' fill='blue'/>";
    for (int i = 0; i < 200; ++i)
        svg += "</g>";
    svg += "</svg>";
    const auto document = KTNSVGParserMgr::initWithSvgString(svg);
    ASSERT_TRUE(document);
    EXPECT_TRUE(colorAt(document->exportImage(), 2, 2, QColor(0, 0, 255)));
}

} // namespace

namespace {

TEST(StyleSheets, SelectorAndDeclarationSpelling)
{
    // Class lists with extra spaces, a class that is a prefix of another,
    // ">" without spaces, tabs and line breaks between compounds, upper
    // case property names, "! important" with a space, empty and trailing
    // declarations.
    const char *svg = "<svg viewBox='0 0 60 10'><style>"
                      ".ab { fill: red } .a { fill: green }\n"
                      "g>rect.b { fill: blue }\n"
                      "g\t\n.c { FILL: green }\n"
                      ".d { fill: green ! important }"
                      "</style>"
                      "<rect width='10' height='10' class='  ab   a '/>"
                      "<rect x='10' width='10' height='10' class='abc' fill='blue'/>"
                      "<g><rect x='20' width='10' height='10' class='b' fill='red'/></g>"
                      "<g><rect x='30' width='10' height='10' class='c' fill='red'/></g>"
                      "<rect x='40' width='10' height='10' class='d' style='fill: red;;'/>"
                      "<rect x='50' width='10' height='10' style=';Fill : green ; ; stroke:none;'/></svg>";
    for (const QImage &image : {renderText(svg), renderTree(svg)}) {
        EXPECT_TRUE(colorAt(image, 5, 5, kGreen)) << "the later of the element's two classes";
        EXPECT_TRUE(colorAt(image, 15, 5, kBlue)) << "a longer class name matches neither rule";
        EXPECT_TRUE(colorAt(image, 25, 5, kBlue)) << "child combinator without spaces";
        EXPECT_TRUE(colorAt(image, 35, 5, kGreen)) << "white space of any kind between compounds";
        EXPECT_TRUE(colorAt(image, 45, 5, kGreen)) << "important with a space beats the style attribute";
        EXPECT_TRUE(colorAt(image, 55, 5, kGreen)) << "empty declarations and upper case names";
    }
}

TEST(StyleSheets, ReferencesReachElementsOfStyledTrees)
{
    // Styled documents find their gradients and "use" targets on the
    // walk that applies the sheets; the last of two equal identifiers is
    // the one referenced, and registry trees share their elements with
    // the copies built from them.
    const char *svg = R"~(<svg viewBox="0 0 20 10"><style>.s { stroke: none }</style>
        <defs><linearGradient id="g"><stop stop-color="red"/></linearGradient>
        <linearGradient id="g"><stop stop-color="#0000ff"/></linearGradient>
        <rect id="r" width="10" height="10" class="s" style="fill: url(#g)"/></defs>
        <use href="#r"/><use x="10" href="#r" style="opacity: 1"/></svg>)~";
    for (int round = 0; round < 2; ++round) {
        for (const QImage &image : {renderText(svg), renderTree(svg)}) {
            EXPECT_TRUE(colorAt(image, 5, 5, kBlue));
            EXPECT_TRUE(colorAt(image, 15, 5, kBlue));
        }
    }
}

} // namespace

namespace {

TEST(Attributes, NamesOfTheSameLengthAreToldApart)
{
    // Attributes are sorted into their roles by length first: "clip-rule"
    // and "clip-path", "opacity" and "display", "fill" and "mask",
    // "fill-rule", "font-size" and "transform" on one element each.
    const char *svg = R"~(<svg viewBox="0 0 40 10"><defs>
        <clipPath id="c"><path d="M0 0h20v10h-20zM5 0h10v10h-10z" clip-rule="evenodd"/></clipPath>
        <mask id="m"><rect width="40" height="5" fill="white"/></mask></defs>
        <rect width="20" height="10" fill="#0000ff" clip-path="url(#c)" clip-rule="nonzero" opacity="1"
              display="inline"/>
        <rect width="10" height="10" fill="#00ff00" mask="url(#m)" font-size="20" fill-rule="evenodd"
              transform="translate(20 0)"/>
        <rect x="30" width="10" height="10" fill="red" display="none" opacity="1"/></svg>)~";
    for (const QImage &image : {renderText(svg), renderTree(svg)}) {
        EXPECT_TRUE(colorAt(image, 2, 5, kBlue)) << "inside the clip path";
        EXPECT_TRUE(isTransparent(image, 10, 5)) << "its even-odd hole";
        EXPECT_TRUE(colorAt(image, 25, 2, QColor(0, 255, 0))) << "moved, inside the mask";
        EXPECT_TRUE(isTransparent(image, 25, 8)) << "outside the mask";
        EXPECT_TRUE(isTransparent(image, 35, 5)) << "not displayed";
    }
}

} // namespace

namespace {

TEST(Colours, HexadecimalDigitsOfEitherCase)
{
    // Short and long forms with digits and letters of both cases, as fills
    // and as gradient stops (which carry the colour on as "#rrggbb").
    const char *svg = R"~(<svg viewBox="0 0 70 10"><defs>
        <linearGradient id="g"><stop stop-color="#A1b2C3"/></linearGradient></defs>
        <rect width="10" height="10" fill="#9aF"/>
        <rect x="10" width="10" height="10" fill="#0F1e2D"/>
        <rect x="20" width="10" height="10" fill="url(#g)"/>
        <rect x="30" width="10" height="10" fill="#fE09"/>
        <g fill="#0000ff"><rect x="40" width="10" height="10" fill=" #12345 "/>
        <rect x="50" width="10" height="10" fill="#12g"/><rect x="60" width="10" height="10" fill="#"/></g></svg>)~";
    for (const QImage &image : {renderText(svg), renderTree(svg)}) {
        for (int x : {45, 55, 65})
            EXPECT_TRUE(colorAt(image, x, 5, kBlue)) << x << ": not a colour, so inherited";
        EXPECT_TRUE(colorAt(image, 5, 5, QColor(0x99, 0xaa, 0xff), 0));
        EXPECT_TRUE(colorAt(image, 15, 5, QColor(0x0f, 0x1e, 0x2d), 0));
        EXPECT_TRUE(colorAt(image, 25, 5, QColor(0xa1, 0xb2, 0xc3), 0));
        EXPECT_TRUE(colorAt(image, 35, 5, QColor(0xff, 0xee, 0x00, 0x99), 1));
    }
}

} // namespace

namespace {

TEST(StyleSheets, EachDocumentUsesItsOwnSheet)
{
    // The rules of a sheet are kept for the next document with the same
    // sheet; a different sheet, even one differing only in a later rule,
    // must not reuse them.
    const char *green = "<svg viewBox='0 0 4 4'><style>.a { fill: #00ff00 } .b { fill: red }</style>"
                        "<rect class='a' width='4' height='4'/></svg>";
    const char *blue = "<svg viewBox='0 0 4 4'><style>.a { fill: #00ff00 } .a { fill: #0000ff }</style>"
                       "<rect class='a' width='4' height='4'/></svg>";
    for (int round = 0; round < 2; ++round) {
        EXPECT_TRUE(colorAt(renderText(green), 2, 2, QColor(0, 255, 0)));
        EXPECT_TRUE(colorAt(renderText(green), 2, 2, QColor(0, 255, 0)));
        EXPECT_TRUE(colorAt(renderText(blue), 2, 2, kBlue));
        EXPECT_TRUE(colorAt(renderTree(blue), 2, 2, kBlue));
    }
}

} // namespace

namespace {

TEST(References, DefinitionsSharingAnIdentifierWithALaterElement)
{
    // The gradient is prepared where it stands although a later shape
    // takes its identifier; without any gradient, clip path or mask the
    // reference paints nothing.
    const char *svg = R"~(<svg viewBox="0 0 20 10"><defs>
        <linearGradient id="x"><stop stop-color="#0000ff"/></linearGradient></defs>
        <rect id="x" x="30" width="1" height="1"/><rect width="10" height="10" fill="url(#x)"/></svg>)~";
    const char *none = R"~(<svg viewBox="0 0 20 10"><g id="x"/>
        <rect width="10" height="10" fill="url(#x)"/><rect x="10" width="10" height="10" fill="url(#y) #0000ff"/></svg>)~";
    for (const QImage &image : {renderText(svg), renderTree(svg)})
        EXPECT_TRUE(colorAt(image, 5, 5, kBlue));
    for (const QImage &image : {renderText(none), renderTree(none)}) {
        EXPECT_TRUE(isTransparent(image, 5, 5));
        EXPECT_TRUE(colorAt(image, 15, 5, kBlue)) << "the fallback colour";
    }
}

} // namespace

namespace {

TEST(CurrentColor, KeywordInAnyCaseButNoOtherSpelling)
{
    const char *svg = R"~(<svg viewBox="0 0 30 10" color="#0000ff">
        <rect width="10" height="10" fill="CURRENTcolor"/>
        <rect x="10" width="10" height="10" fill="url(#none) currentcolor"/>
        <rect x="20" width="10" height="10" fill="currentColour"/></svg>)~";
    for (const QImage &image : {renderText(svg), renderTree(svg)}) {
        EXPECT_TRUE(colorAt(image, 5, 5, kBlue));
        EXPECT_TRUE(colorAt(image, 15, 5, kBlue)) << "as the fallback of a missing gradient";
        EXPECT_FALSE(colorAt(image, 25, 5, kBlue)) << "not the keyword";
    }
}

} // namespace
