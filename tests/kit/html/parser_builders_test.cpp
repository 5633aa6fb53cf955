// The snippet builders and entity encoding, and their round trips through
// the parser.
#include "parser_test_util.h"

#include <gtest/gtest.h>

using namespace kalvo;
using namespace kalvo::test;
using namespace Qt::StringLiterals;

namespace {

TEST(HtmlBuilders, EmptyLinkOrSizeWritesNoTag)
{
    EXPECT_EQ(trans2HtmlSnippetALabelWithLink(u"Docs"_s, QString()), u"Docs");
    EXPECT_EQ(trans2HtmlSnippetFontLabel(u"x"_s, 0), u"x");
    // Placeholders in the text are not expanded again.
    EXPECT_EQ(trans2HtmlSnippetBLabel(u"%1 %2"_s), u"<b>%1 %2</b>");
    EXPECT_EQ(trans2HtmlSnippetALabelWithLink(u"%2"_s, u"%1"_s), u"<a href='%1'>%2</a>");
}

TEST(HtmlBuilders, FontWithColour)
{
    EXPECT_EQ(trans2HtmlSnippetFontLabel(u"x"_s, 12, TNHTMLColorValue {0xFF0000, 0x00FF00, 0.5f, 0.25f}),
        u"<font size=12 color=#FF0000,0.50 darkcolor=#00FF00,0.25>x</font>");
    // Size below 1 writes no size; no colour without light alpha.
    EXPECT_EQ(
        trans2HtmlSnippetFontLabel(u"x"_s, -1, TNHTMLColorValue {0xABCDEF, 0, 1, 0}), u"<font color=#ABCDEF>x</font>");
    EXPECT_EQ(trans2HtmlSnippetFontLabel(u"x"_s, 12, TNHTMLColorValue {0xFF0000, 0, 0, 1}), u"x");
    // A dark colour needs the light one.
    EXPECT_EQ(trans2HtmlSnippetFontLabel(u"x"_s, 12, TNHTMLColorValue {0, 0x00FF00, -1, 1}), u"<font size=12>x</font>");
}

TEST(HtmlBuilders, SmallColourValuesArePaddedSoTheParserReadsThem)
{
    const QString snippet = trans2HtmlSnippetFontLabel(u"x"_s, 15, TNHTMLColorValue {0x0000FF, 0x00000A, 1, 1});
    EXPECT_EQ(snippet, u"<font size=15 color=#0000FF darkcolor=#00000A>x</font>");
    const auto nodes = TNParseHTMLSnippetImpl::parseHTMLNodes(snippet.toUtf8());
    EXPECT_EQ(nodes[0].attribute.textColor, (TNHTMLColorValue {0x0000FF, 0x00000A, 1, 1}));
    EXPECT_EQ(nodes[0].attribute.fontSize, 15);
}

TEST(HtmlBuilders, BuiltSnippetsParseBack)
{
    const QString text = u"Ünïcødé & <friends>"_s;
    const QString snippet = trans2HtmlSnippetBLabel(trans2HtmlSnippetALabelWithLink(htmlEncode(text), u"tn://x"_s));
    const StyledText parsed = parseHTMLSnippet(snippet);
    EXPECT_EQ(parsed.text(), text);
    const TextAttributes a = parsed.attributesAt(0);
    EXPECT_EQ(a.link, u"tn://x"_s);
    EXPECT_TRUE(isBold(a));
}

TEST(HtmlEntities, EncodeAndDecode)
{
    EXPECT_EQ(htmlEncode(u"a<b>\"c\"&d"_s), u"a&lt;b&gt;&quot;c&quot;&amp;d");
    EXPECT_EQ(htmlDecode(u"&amp;lt;&amp;amp;&apos;"_s), u"&lt;&amp;&apos;");
    for (const QString &s : {u"&&&;;<<>>\"'"_s, u"&amp;&lt;"_s, u"x&"_s, u"&quot"_s})
        EXPECT_EQ(htmlDecode(htmlEncode(s)), s) << s.toStdString();
}

} // namespace
