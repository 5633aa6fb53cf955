// Tokenizing and entities: what counts as a tag, how attributes are read,
// byte and output ranges of the nodes, entity decoding.
#include "parser_test_util.h"

#include "kit/html/html_snippet_p.h"

#include <gtest/gtest.h>

using namespace kalvo;
using namespace kalvo::test;
using namespace Qt::StringLiterals;

namespace {

std::vector<TNHTMLNode> nodes(const char *utf8)
{
    return TNParseHTMLSnippetImpl::parseHTMLNodes(QByteArray(utf8));
}

TEST(HtmlTokenizer, EntitiesDecodeInText)
{
    // The common entities, cut-off ones and block offsets are covered by the
    // UTF-16 tests; here the decoding order and entities the parser does not know.
    // "&amp;" is decoded last, so what it leaves behind is not decoded again.
    EXPECT_EQ(parse("&amp;lt; &amp;amp;").text(), u"&lt; &amp;");
    // Other entities and incomplete ones stay as written.
    EXPECT_EQ(parse("&nbsp;&#60;&lt&").text(), u"&nbsp;&#60;&lt&");
}

TEST(HtmlTokenizer, OnlyKnownLowerCaseTagsAreTags)
{
    EXPECT_EQ(parse("<B>x</B>").text(), u"<B>x</B>");
    EXPECT_EQ(parse("<p>x</p><span a=1>").text(), u"<p>x</p><span a=1>");
    EXPECT_EQ(parse("a<br>b<br/>c<br />d").text(), u"a\nb\nc\nd");
    // "< b>" has an empty name: text.
    EXPECT_EQ(parse("< b>x").text(), u"< b>x");
    // A tag name runs to whitespace or ">", so "<bold>" is no "b".
    EXPECT_EQ(parse("<bold>x").text(), u"<bold>x");
}

TEST(HtmlTokenizer, StrayAngleBracketsStayText)
{
    EXPECT_EQ(parse("1 < 2 > 0").text(), u"1 < 2 > 0");
    // A later "<" restarts the candidate: the first "<" stays text.
    const StyledText text = parse("1 < 2 <b>bold</b>");
    EXPECT_EQ(text.text(), u"1 < 2 bold");
    EXPECT_TRUE(isBold(attributesOf(text, u"bold"_s)));
    // A tag cut off at the end is text (more in parser_badinput_test.cpp).
    EXPECT_EQ(parse("see <a href='x").text(), u"see <a href='x");
}

TEST(HtmlTokenizer, NodesCarryByteRangesAndOutputRanges)
{
    // "é" is two bytes and one UTF-16 unit; "😀" four bytes and two units.
    const auto list = nodes("é<b>😀</b>z");
    ASSERT_EQ(list.size(), 5u);
    EXPECT_TRUE(list[0].isText);
    EXPECT_EQ(list[0].range, (TextRange {0, 2}));
    EXPECT_EQ(list[0].destinationStringRange, (TextRange {0, 1}));
    EXPECT_EQ(list[1].name, u"b");
    EXPECT_FALSE(list[1].trail);
    EXPECT_TRUE(list[1].attribute.isBold);
    EXPECT_EQ(list[1].range, (TextRange {2, 3}));
    EXPECT_TRUE(list[1].destinationStringRange.isEmpty());
    EXPECT_EQ(list[2].range, (TextRange {5, 4}));
    EXPECT_EQ(list[2].destinationStringRange, (TextRange {1, 2}));
    EXPECT_TRUE(list[3].trail);
    EXPECT_EQ(list[3].name, u"b");
    EXPECT_EQ(list[4].destinationStringRange, (TextRange {3, 1}));
}

TEST(HtmlTokenizer, AttributesQuotedUnquotedAndBare)
{
    const auto list = nodes(R"(<font size=20 color="#ff0000" title='a b' hidden x = "y\"z" size=14>t)");
    ASSERT_FALSE(list.empty());
    const TNHTMLAttributeDictionary &dict = list[0].attribute.attribute;
    EXPECT_EQ(dict.value(u"size"), u"14"); // the last of a repeated name
    EXPECT_EQ(dict.value(u"color"), u"#ff0000");
    EXPECT_EQ(dict.value(u"title"), u"a b");
    EXPECT_TRUE(dict.contains(u"hidden"));
    EXPECT_EQ(dict.value(u"x"), uR"(y\"z)");
    EXPECT_EQ(list[0].attribute.fontSize, 14);
    EXPECT_EQ(list[0].attribute.textColor.lightColor, 0xff0000);
}

TEST(HtmlTokenizer, HrefIsEntityDecodedOtherValuesAreNot)
{
    const auto list = nodes("<a href='x?a=1&amp;b=2' action='&amp;'>t</a>");
    EXPECT_EQ(list[0].attribute.hrefLink, u"x?a=1&b=2");
    EXPECT_EQ(list[0].attribute.attribute.value(u"action"), u"&amp;");
}

TEST(HtmlTokenizer, ClosingTagsAreRecognisedWithSlash)
{
    const auto list = nodes("<i>x</i ></u>");
    ASSERT_EQ(list.size(), 4u);
    EXPECT_TRUE(list[2].trail);
    EXPECT_EQ(list[2].name, u"i");
    EXPECT_TRUE(list[3].trail);
    EXPECT_EQ(list[3].name, u"u");
}

TEST(HtmlTokenizer, InvalidUtf8BecomesReplacementCharacters)
{
    // A lone continuation byte, a truncated 3-byte sequence, an overlong
    // form, a surrogate and a byte that never occurs; the text after each
    // survives.
    const StyledText text = parse("a\x80"
                                  "b\xE2\x82"
                                  "c\xC0\xAF"
                                  "d\xED\xA0\x80"
                                  "e\xFF"
                                  "f");
    EXPECT_EQ(text.text(), QString::fromUtf16(u"a\uFFFDb\uFFFDc\uFFFD\uFFFDd\uFFFD\uFFFD\uFFFDe\uFFFDf"));
    // A truncated sequence is one replacement (its maximal valid prefix);
    // bytes that can start nothing valid are one each.
    EXPECT_EQ(parse("x\xF0\x9F\x98"
                    "y\xF4\x90\x80\x80z\xE0\x80\xAF")
                  .text(),
        QString::fromUtf16(u"x\uFFFDy\uFFFD\uFFFD\uFFFD\uFFFDz\uFFFD\uFFFD\uFFFD"));
    // Valid text around it is untouched, outside the BMP too.
    EXPECT_EQ(parse("\xF0\x9F\x98\x80\xE2\x82\xAC").text(), QString::fromUtf8("\xF0\x9F\x98\x80\xE2\x82\xAC"));
}

TEST(HtmlTokenizer, InvalidUtf8AroundTagsKeepsTheTags)
{
    const StyledText text = parse("\xC3<b>\xA9x</b>");
    EXPECT_EQ(text.text(), QString::fromUtf16(u"\uFFFD\uFFFDx"));
    EXPECT_TRUE(isBold(text.attributesAt(2)));
}

TEST(HtmlTokenizer, NumberPrefixesReadLikeIntegerValue)
{
    using html_detail::integerValue;
    EXPECT_EQ(integerValue("20"), 20);
    EXPECT_EQ(integerValue("  -7px"), -7);
    EXPECT_EQ(integerValue("abc"), 0);
    EXPECT_EQ(integerValue("99999999999999999999999"), std::numeric_limits<qint64>::max());
    EXPECT_EQ(integerValue("-99999999999999999999999"), std::numeric_limits<qint64>::min());
    EXPECT_DOUBLE_EQ(html_detail::doubleValue("0.5"), 0.5);
    EXPECT_DOUBLE_EQ(html_detail::doubleValue(".25x"), 0.25);
    EXPECT_DOUBLE_EQ(html_detail::doubleValue("nan"), 0);
    EXPECT_DOUBLE_EQ(html_detail::doubleValue("1e999"), 0);
}

TEST(HtmlTokenizer, EmptyInputGivesEmptyText)
{
    EXPECT_TRUE(parse("").isEmpty());
    EXPECT_TRUE(parseHTMLSnippet(QString()).isEmpty());
    EXPECT_TRUE(parse("<b></b><i></i>").runs().empty());
}

} // namespace
