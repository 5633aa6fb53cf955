// Input from servers: broken markup, huge values, deep and crossing
// nesting, many tags. The parser must finish with a sensible result; speed
// itself is measured by the benchmark, these only have to complete.
#include "parser_test_util.h"

#include <gtest/gtest.h>

using namespace kalvo;
using namespace kalvo::test;
using namespace Qt::StringLiterals;

namespace {

TEST(HtmlBadInput, UnterminatedTagsAndQuotes)
{
    EXPECT_EQ(parse("<b>bold <i").text(), u"bold <i");
    EXPECT_TRUE(isBold(parse("<b>bold <i").attributesAt(6)));
    // An unterminated quote runs to the end of the tag.
    const StyledText text = parse("<a href='https://x>link</a> after");
    EXPECT_EQ(text.text(), u"link after");
    EXPECT_EQ(attributesOf(text, u"link"_s).link, u"https://x"_s);
    EXPECT_EQ(parse("<<<>>>").text(), u"<<<>>>");
    EXPECT_EQ(parse("<><//><br").text(), u"<><//><br");
}

TEST(HtmlBadInput, HugeAttributeValues)
{
    QByteArray snippet("<a href='");
    snippet += QByteArray(2 * 1024 * 1024, 'h');
    snippet += "'>x</a><font size=";
    snippet += QByteArray(100000, '9');
    snippet += " color=#";
    snippet += QByteArray(100000, 'f');
    snippet += ">y</font>";
    const StyledText text = TNParseHTMLSnippetImpl::parseHTMLSnippet(snippet, {});
    EXPECT_EQ(text.text(), u"xy");
    EXPECT_EQ(text.attributesAt(0).link->size(), 2 * 1024 * 1024);
    const TextAttributes y = text.attributesAt(1);
    EXPECT_FALSE(y.foregroundColor);
    EXPECT_LE(fontSize(y), 1000);
}

TEST(HtmlBadInput, ManyAttributesInOneTag)
{
    QByteArray snippet("<font");
    for (int i = 0; i < 100000; ++i)
        snippet += " a" + QByteArray::number(i) + "=" + QByteArray::number(i);
    snippet += " size=17>x</font>";
    EXPECT_EQ(fontSize(TNParseHTMLSnippetImpl::parseHTMLSnippet(snippet, {}).attributesAt(0)), 17);
}

TEST(HtmlBadInput, DeepNestingDoesNotRecurse)
{
    const int depth = 100000;
    QByteArray snippet;
    for (int i = 0; i < depth; ++i)
        snippet += i % 2 ? "<b>" : "<font size=15>";
    snippet += "deep";
    for (int i = depth - 1; i >= 0; --i)
        snippet += i % 2 ? "</b>" : "</font>";
    snippet += "out";
    const StyledText text = TNParseHTMLSnippetImpl::parseHTMLSnippet(snippet, {});
    EXPECT_EQ(text.text(), u"deepout");
    EXPECT_TRUE(isBold(text.attributesAt(0)));
    EXPECT_EQ(fontSize(text.attributesAt(0)), 15);
    EXPECT_TRUE(text.attributesAt(4).isEmpty());
}

TEST(HtmlBadInput, ManyUnclosedTagsEachStyleToTheEnd)
{
    QByteArray snippet;
    for (int i = 0; i < 50000; ++i)
        snippet += "<u>x<b>y";
    const StyledText text = TNParseHTMLSnippetImpl::parseHTMLSnippet(snippet, {});
    EXPECT_EQ(text.length(), 100000);
    EXPECT_EQ(text.attributesAt(0).underline, UnderlineStyle::Single);
    EXPECT_FALSE(text.attributesAt(0).font.has_value());
    EXPECT_TRUE(isBold(text.attributesAt(99999)));
}

TEST(HtmlBadInput, CrossingNestingEverywhere)
{
    QByteArray snippet;
    for (int i = 0; i < 30000; ++i)
        snippet += "<b>a<i>b</b>c<u>d</i>e</u>";
    const StyledText text = TNParseHTMLSnippetImpl::parseHTMLSnippet(snippet, {});
    EXPECT_EQ(text.length(), 150000);
    EXPECT_TRUE(isBold(text.attributesAt(0)));
    EXPECT_TRUE(text.attributesAt(2).font->italic());
    EXPECT_EQ(text.attributesAt(4).underline, UnderlineStyle::Single);
}

TEST(HtmlBadInput, HundredThousandTagsComplete)
{
    QByteArray snippet;
    for (int i = 0; i < 25000; ++i)
        snippet += "<a href='https://e/" + QByteArray::number(i) + "'>l</a><br><font color=#00ff00>g</font> ";
    const StyledText text = TNParseHTMLSnippetImpl::parseHTMLSnippet(snippet, {});
    EXPECT_EQ(text.length(), 25000 * 4);
    EXPECT_EQ(text.attributesAt(4 * 24999).link, u"https://e/24999"_s);
    EXPECT_TRUE(text.attributesAt(4 * 24999 + 2).foregroundColor);
}

TEST(HtmlBadInput, NulBytesAndControlCharactersAreText)
{
    const QByteArray snippet("a\0b<b>\x01</b>", 11);
    const StyledText text = TNParseHTMLSnippetImpl::parseHTMLSnippet(snippet, {});
    EXPECT_EQ(text.text(), QString::fromUtf16(u"a\0b\x01", 4));
}

TEST(HtmlBadInput, OnlyInvalidBytes)
{
    const QByteArray snippet(1000, '\xFF');
    const StyledText text = TNParseHTMLSnippetImpl::parseHTMLSnippet(snippet, {});
    EXPECT_EQ(text.text(), QString(1000, QChar(0xFFFD)));
}

} // namespace
