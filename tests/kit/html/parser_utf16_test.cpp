// Text read as UTF-16: the QString form must give what the byte form gives
// for the same text, wherever tags, entities and surrogates fall relative
// to the blocks the scanners work in; surrogates without a partner become
// U+FFFD, at the end of the text too.
#include "parser_test_util.h"

#include "kit/html/html_snippet_p.h"

#include <QDir>
#include <QFile>
#include <QObject>

#include <gtest/gtest.h>

#include <random>

using namespace kalvo;
using namespace kalvo::test;
using namespace Qt::StringLiterals;

namespace {

StyledText parseBytes(const QString &snippet, const TNHTMLAttachments &attachments = {})
{
    return TNParseHTMLSnippetImpl::parseHTMLSnippet(snippet.toUtf8(), attachments);
}

StyledText parseText(const QString &snippet, const TNHTMLAttachments &attachments = {})
{
    return TNParseHTMLSnippetImpl::parseHTMLSnippet(snippet, attachments);
}

QString units(std::u16string_view text)
{
    return QString::fromUtf16(text.data(), qsizetype(text.size()));
}

TEST(HtmlUtf16, SurrogatePairsAnywhereStayWhole)
{
    // The pair at every offset around the 8- and 16-unit blocks, in text,
    // right before a tag and inside a link.
    for (int pad = 0; pad < 20; ++pad) {
        const QString lead(pad, u'x');
        for (const QString &snippet : {lead + u"😀<b>b</b>"_s, lead + u"<a href='😀'>😀</a>"_s, lead + u"😀"_s}) {
            const StyledText text = parseText(snippet);
            EXPECT_EQ(text, parseBytes(snippet)) << qPrintable(snippet);
            EXPECT_FALSE(text.text().contains(QChar(0xFFFD))) << qPrintable(snippet);
        }
    }
}

TEST(HtmlUtf16, LoneSurrogatesBecomeReplacementCharacters)
{
    EXPECT_EQ(parseText(units(u"a\xD83Dz")).text(), u"a\uFFFDz");
    EXPECT_EQ(parseText(units(u"a\xDE00z")).text(), u"a\uFFFDz");
    // Low before high: neither has its partner.
    EXPECT_EQ(parseText(units(u"\xDE00\xD83D"
                              "a"))
                  .text(),
        u"\uFFFD\uFFFDa");
    // At the very end (these used to vanish) and alone.
    EXPECT_EQ(parseText(units(u"a\xD83D")).text(), u"a\uFFFD");
    EXPECT_EQ(parseText(units(u"a\xDE00")).text(), u"a\uFFFD");
    EXPECT_EQ(parseText(units(u"\xD83D")).text(), u"\uFFFD");
    // A tag between the halves separates them.
    const StyledText split = parseText(units(u"\xD83D<b>\xDE00</b>"));
    EXPECT_EQ(split.text(), u"\uFFFD\uFFFD");
    EXPECT_TRUE(isBold(split.attributesAt(1)));
    // In attribute values, and at every offset of the blocks.
    EXPECT_EQ(attributesOf(parseText(units(u"<a href='x\xD83D'>l</a>")), u"l"_s).link, u"x\uFFFD"_s);
    for (int pad = 0; pad < 20; ++pad) {
        const QString lead(pad, u'y');
        EXPECT_EQ(parseText(lead + units(u"\xDC00-")).text(), lead + u"\uFFFD-"_s) << pad;
    }
}

TEST(HtmlUtf16, EntitiesAtBlockEdgesAndAtTheEnd)
{
    for (int pad = 0; pad < 20; ++pad) {
        const QString lead(pad, u'e');
        const std::pair<QString, QString> cases[] = {
            {u"&amp;b"_s, u"&b"_s},
            {u"&quot;"_s, u"\""_s},
            {u"&lt;&gt;"_s, u"<>"_s},
            // Cut off by the end or by a tag: stays as written.
            {u"&am"_s, u"&am"_s},
            {u"&"_s, u"&"_s},
            {u"&quot"_s, u"&quot"_s},
            {u"&l<b>t;</b>"_s, u"&lt;"_s},
        };
        for (const auto &[written, decoded] : cases) {
            const QString snippet = lead + written;
            EXPECT_EQ(parseText(snippet).text(), lead + decoded) << qPrintable(snippet);
            EXPECT_EQ(parseText(snippet), parseBytes(snippet)) << qPrintable(snippet);
        }
    }
}

TEST(HtmlUtf16, TagsFoundAcrossScanBlocks)
{
    // Tags and stray angle brackets at every offset of a 16-unit block,
    // a stray "<" many blocks before the tag that restarts it, and a ">"
    // in the last unit.
    for (int pad = 0; pad < 40; ++pad) {
        const QString lead(pad, u'p');
        for (const QString &snippet :
            {lead + u"<b>bold</b>"_s, lead + u"< 1 > <i>x</i>"_s, u"<"_s + lead + u"<u>under</u>>"_s,
                lead + u"<font size=20>"_s + lead + u"</font>"_s, lead + u">"_s, lead + u"<b"_s}) {
            EXPECT_EQ(parseText(snippet), parseBytes(snippet)) << qPrintable(snippet);
        }
    }
    const StyledText text = parseText(u"<"_s + QString(100, u'q') + u"<b>bold</b>"_s);
    EXPECT_EQ(text.text(), u"<"_s + QString(100, u'q') + u"bold"_s);
    EXPECT_TRUE(isBold(attributesOf(text, u"bold"_s)));
}

// Seeds of the fuzz target and generated messages: the two forms agree on
// every one of them (with attachments, so cells and targets are compared).
TEST(HtmlUtf16, QStringAndBytesAgree)
{
    QObject target;
    const TNHTMLAttachments attachments {{u"t"_s, QVariant::fromValue<QObject *>(&target)}, {u"n"_s, QVariant(42)}};
    std::vector<QString> snippets;
    const QDir seeds(QStringLiteral(KALVO_HTML_SEEDS_DIR));
    for (const QString &name : seeds.entryList(QDir::Files)) {
        QFile file(seeds.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << qPrintable(name);
        snippets.push_back(QString::fromUtf8(file.readAll()));
    }
    ASSERT_GE(snippets.size(), 5u);
    static const char16_t *const pieces[]
        = {u"<b>", u"</b>", u"<i>", u"</i>", u"<u>", u"</u>", u"<a href='https://x.org/?a&amp;b'>", u"</a>",
            u"<a target=t action='go:' toolTip='Tip'>", u"<a href='tn://open'>", u"<font size=20 color=#ff0000>",
            u"<font color=#00FF00,0.5 darkcolor=#0000ff>", u"<font size=99999999999>", u"</font>", u"<br>", u"<br/>",
            u"<img imageKey=n offset=(1,-2)>", u"<tnview key=t>", u"&amp;", u"&lt;", u"&quot;", u"&", u"<", u">", u"x",
            u"text ", u" ", u"é", u"会议", u"🙂", u"\t", u"<B>", u"</i >", u"<i title='a > b'>", u"'", u"\\'"};
    std::mt19937 random(20261207);
    for (int i = 0; i < 3000; ++i) {
        QString snippet;
        for (int n = int(random() % 30); n > 0; --n)
            snippet += QString::fromUtf16(pieces[random() % std::size(pieces)]);
        snippets.push_back(snippet);
    }
    for (const QString &snippet : snippets)
        ASSERT_EQ(parseText(snippet, attachments), parseBytes(snippet, attachments)) << qPrintable(snippet);
}

// The workspace is reused: a small snippet after a large one must not see
// what the large one left behind.
TEST(HtmlUtf16, ResultsDoNotDependOnEarlierSnippets)
{
    // The large one's second element is an italic "b" and its tokens have
    // attributes; the small one's second element is a plain "b".
    const QString small = u"<u>u</u><b>a</b> <a href='x'>l</a>"_s;
    QString large;
    for (int i = 0; i < 500; ++i)
        large += u"<i>i <b>v</b></i><font size=15 color=#123456><u>w</u></font><br>"_s;
    const StyledText expectedSmall = parseText(small);
    const StyledText expectedLarge = parseText(large);
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(parseText(large), expectedLarge);
        EXPECT_EQ(parseText(small), expectedSmall);
        EXPECT_EQ(parseBytes(small), expectedSmall);
    }
}

TEST(HtmlUtf16, DecoderStaysInsideItsRange)
{
    // `room` lets whole blocks be read and written beyond `size`: nothing
    // past `size` is decoded or counted, even an entity that would finish
    // there, and nothing past `room` is written.
    const std::u16string input = u"abc&amp;def&am"
                                 u"p;XXXXXXXXXXXXXXXXXXXXXXXX";
    const qsizetype size = 14; // up to "&am"
    std::u16string out(input.size() + 8, u'#');
    const qsizetype room = qsizetype(input.size());
    const qsizetype written = html_detail::decodeText(input.data(), size, room, out.data(), true);
    EXPECT_EQ(out.substr(0, std::size_t(written)), u"abc&def&am");
    EXPECT_EQ(out.substr(std::size_t(room)), std::u16string(8, u'#'));
    // A pair cut by `size` is a lone surrogate there.
    const std::u16string pair = u"\xD83D\xDE00";
    char16_t half[2] = {u'#', u'#'};
    EXPECT_EQ(html_detail::decodeText(pair.data(), 1, 2, half, true), 1);
    EXPECT_EQ(half[0], u'\xFFFD');
    // Without entities or repairs the units are copied as they are.
    const std::u16string raw = u"a&lt;\xD800z";
    std::u16string copy(raw.size(), u'#');
    EXPECT_EQ(
        html_detail::decodeText(raw.data(), qsizetype(raw.size()), copy.data(), false, false), qsizetype(raw.size()));
    EXPECT_EQ(copy, raw);
}

TEST(HtmlUtf16, HtmlDecodeKeepsSurrogatesAndFindsEntitiesAnywhere)
{
    EXPECT_EQ(htmlDecode(units(u"\xD83D&amp;\xDE00")), units(u"\xD83D&\xDE00"));
    for (int pad = 0; pad < 20; ++pad) {
        const QString lead(pad, u'h');
        EXPECT_EQ(htmlDecode(lead + u"&lt;b&gt;&amp;amp;&quot"_s), lead + u"<b>&amp;&quot"_s) << pad;
    }
}

} // namespace
