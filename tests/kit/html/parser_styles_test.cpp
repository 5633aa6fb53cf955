// Pairing and inheritance, colours and fonts.
#include "parser_test_util.h"

#include <kalvo/theme/appearance.h>

#include <QGuiApplication>

#include <gtest/gtest.h>

using namespace kalvo;
using namespace kalvo::test;
using namespace Qt::StringLiterals;

namespace {

TEST(HtmlPairing, SizeFlowsInwardToElementsWithoutOne)
{
    const StyledText text = parse("<font size=18>a<b>b<i>c</i></b><font size=9>d</font></font>e");
    EXPECT_EQ(fontSize(attributesOf(text, u"a"_s)), 18);
    EXPECT_EQ(fontSize(attributesOf(text, u"b"_s)), 18);
    EXPECT_TRUE(isBold(attributesOf(text, u"b"_s)));
    const TextAttributes c = attributesOf(text, u"c"_s);
    EXPECT_EQ(fontSize(c), 18);
    EXPECT_TRUE(isBold(c));
    EXPECT_TRUE(c.font->italic());
    EXPECT_EQ(fontSize(attributesOf(text, u"d"_s)), 9); // its own size wins
    EXPECT_FALSE(attributesOf(text, u"e"_s).font.has_value());
}

TEST(HtmlPairing, TheEarliestEnclosingSizeWins)
{
    // The "b" ends within both sized fonts: the one that starts first gives
    // it its size, and being later in the order, its font covers "z".
    const StyledText text = parse("<font size=30>w<font size=10>x<b>z</b></font>y</font>");
    EXPECT_EQ(fontSize(attributesOf(text, u"z"_s)), 30);
    EXPECT_TRUE(isBold(attributesOf(text, u"z"_s)));
    EXPECT_EQ(fontSize(attributesOf(text, u"x"_s)), 10);
    EXPECT_EQ(fontSize(attributesOf(text, u"y"_s)), 30);
}

TEST(HtmlPairing, StrayClosingTagsAreIgnored)
{
    const StyledText text = parse("a</b>b</font></a>c");
    EXPECT_EQ(text.text(), u"abc");
    EXPECT_EQ(text.runs().size(), 1u);
    EXPECT_TRUE(text.runs().front().attributes.isEmpty());
}

TEST(HtmlPairing, ClosingTagClosesTheLatestOpenOfItsName)
{
    const StyledText text = parse("<u>a<u>b</u>c</u>d");
    EXPECT_TRUE(attributesOf(text, u"a"_s).underline.has_value());
    EXPECT_TRUE(attributesOf(text, u"c"_s).underline.has_value());
    EXPECT_FALSE(attributesOf(text, u"d"_s).underline.has_value());
}

TEST(HtmlPairing, CrossingNestingStylesEachElementOverItsOwnSpan)
{
    const StyledText text = parse("<b>a<i>b</b>c</i>d");
    EXPECT_TRUE(isBold(attributesOf(text, u"a"_s)));
    EXPECT_FALSE(attributesOf(text, u"a"_s).font->italic());
    // "i" is later in the order, so its font covers "b"; it is not bold
    // because it does not end within the "b".
    EXPECT_TRUE(attributesOf(text, u"b"_s).font->italic());
    EXPECT_FALSE(isBold(attributesOf(text, u"b"_s)));
    EXPECT_TRUE(attributesOf(text, u"c"_s).font->italic());
    EXPECT_FALSE(attributesOf(text, u"d"_s).font.has_value());
}

TEST(HtmlFonts, DefaultsAndFamily)
{
    const StyledText text = parse("<b>b</b><i>i</i><u>u</u>");
    const TextAttributes b = attributesOf(text, u"b"_s);
    EXPECT_EQ(fontSize(b), 13);
    EXPECT_EQ(b.font->family(), QGuiApplication::font().family());
    EXPECT_FALSE(isBold(attributesOf(text, u"i"_s)));
    const TextAttributes u = attributesOf(text, u"u"_s);
    EXPECT_EQ(u.underline, UnderlineStyle::Single);
    EXPECT_FALSE(u.font.has_value());
}

TEST(HtmlFonts, FontWithoutSizeSetsNoFont)
{
    EXPECT_FALSE(attributesOf(parse("<font size=0>x</font>"), u"x"_s).font.has_value());
    EXPECT_FALSE(attributesOf(parse("<font size=abc>x</font>"), u"x"_s).font.has_value());
    EXPECT_EQ(fontSize(attributesOf(parse("<font size=' 15pt'>x</font>"), u"x"_s)), 15);
}

TEST(HtmlFonts, HugeSizesAreBounded)
{
    const TextAttributes a = attributesOf(parse("<font size=99999999999999999999>x</font>"), u"x"_s);
    ASSERT_TRUE(a.font.has_value());
    EXPECT_LE(a.font->pixelSize(), 1000);
    EXPECT_GE(a.font->pixelSize(), 1);
}

QColor resolvedIn(const ColorPtr &color, bool dark)
{
    DrawingAppearanceScope scope(dark ? Appearance::tn_darkAppearance() : Appearance::tn_lightAppearance());
    return color->resolved();
}

TEST(HtmlColors, LightAndDarkWithAlpha)
{
    const TextAttributes a = attributesOf(parse("<font color=#FF0000,0.5 darkcolor=#00FF00>x</font>"), u"x"_s);
    ASSERT_TRUE(a.foregroundColor);
    const QColor light = resolvedIn(a.foregroundColor, false);
    EXPECT_EQ(light.rgb() & 0xFFFFFF, 0xFF0000u);
    EXPECT_NEAR(light.alphaF(), 0.5, 0.01);
    const QColor dark = resolvedIn(a.foregroundColor, true);
    EXPECT_EQ(dark.rgb() & 0xFFFFFF, 0x00FF00u);
    EXPECT_NEAR(dark.alphaF(), 1.0, 0.01);
}

TEST(HtmlColors, MalformedColoursAreSkipped)
{
    for (const char *snippet : {"<font color=red>x</font>", "<font color=#ff00>x</font>",
             "<font color=#ff00000>x</font>", "<font color=#gg0000>x</font>", "<font color=#ff0000,0>x</font>",
             "<font color=#ff0000,abc>x</font>", "<font darkcolor=#ff0000>x</font>"}) {
        EXPECT_FALSE(attributesOf(parse(snippet), u"x"_s).foregroundColor) << snippet;
    }
}

TEST(HtmlColors, DarkColourWithoutAlphaIsIgnoredForTheDarkSide)
{
    const TextAttributes a = attributesOf(parse("<font color=#112233 darkcolor=#445566,0>x</font>"), u"x"_s);
    ASSERT_TRUE(a.foregroundColor);
    EXPECT_EQ(resolvedIn(a.foregroundColor, true).rgb() & 0xFFFFFF, 0x112233u);
}

TEST(HtmlColors, LaterElementOverridesWhereTheyOverlap)
{
    const StyledText text = parse("<font color=#ff0000>a<font color=#0000ff>b</font>c</font>");
    EXPECT_EQ(resolvedIn(attributesOf(text, u"a"_s).foregroundColor, false), QColor(255, 0, 0));
    EXPECT_EQ(resolvedIn(attributesOf(text, u"b"_s).foregroundColor, false), QColor(0, 0, 255));
    EXPECT_EQ(resolvedIn(attributesOf(text, u"c"_s).foregroundColor, false), QColor(255, 0, 0));
    // A later element sets only its own fields: the colour stays under a "b".
    const StyledText mixed = parse("<font color=#ff0000>a<b>b</b></font>");
    EXPECT_TRUE(attributesOf(mixed, u"b"_s).foregroundColor);
    EXPECT_TRUE(isBold(attributesOf(mixed, u"b"_s)));
}

} // namespace
