// StyledText run storage: overlapping additions, override order, clamping,
// removing and replacing text, and the batch builder the parser uses
// (checked against addAttributes one range at a time).
#include "parser_test_util.h"

#include "kit/html/html_snippet_runs.h"

#include <QObject>

#include <gtest/gtest.h>

#include <random>

using namespace kalvo;
using namespace kalvo::test;
using namespace Qt::StringLiterals;

namespace {

// Runs cover the text without gaps and neighbours differ.
void expectCanonical(const StyledText &text)
{
    const auto runs = text.runs();
    qsizetype at = 0;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        EXPECT_EQ(runs[i].range.location, at);
        EXPECT_GT(runs[i].range.length, 0);
        at = runs[i].range.end();
        if (i > 0) {
            EXPECT_FALSE(runs[i - 1].attributes == runs[i].attributes) << "equal neighbours at run " << i;
        }
    }
    EXPECT_EQ(at, text.length());
}

TextAttributes linkAttributes(const QString &link)
{
    TextAttributes a;
    a.link = link;
    return a;
}

TEST(StyledTextStorage, OverlappingAdditionsMergeFieldByField)
{
    StyledText text(u"0123456789"_s);
    text.addUnderline(UnderlineStyle::Single, {2, 5});
    text.addAttribute(TNLinkAttributeName, u"one"_s, {4, 4});
    text.addAttribute(TNLinkAttributeName, u"two"_s, {6, 10}); // clamped to the end
    expectCanonical(text);
    // Per-character results are checked against a model by ManyEditsMatchAPerCharacterModel.
    TextRange range;
    EXPECT_TRUE(text.attributesAt(0, &range).isEmpty());
    EXPECT_EQ(range, (TextRange {0, 2}));
    EXPECT_EQ(text.attribute(TNLinkAttributeName, 9, &range), QVariant(u"two"_s));
    // The effective range of one attribute spans runs that differ otherwise.
    EXPECT_EQ(range, (TextRange {6, 4}));
    EXPECT_EQ(text.attribute(u"Unknown"_s, 3), QVariant());
}

TEST(StyledTextStorage, RangesOutsideTheTextAreClampedOrIgnored)
{
    StyledText text(u"abc"_s);
    text.addUnderline(UnderlineStyle::Single, {-5, 6});
    EXPECT_EQ(text.attributesAt(0).underline, UnderlineStyle::Single);
    EXPECT_FALSE(text.attributesAt(1).underline.has_value());
    text.addCursor(Qt::PointingHandCursor, {2, std::numeric_limits<qsizetype>::max()});
    EXPECT_EQ(text.attributesAt(2).cursor, Qt::PointingHandCursor);
    const auto before = text.runs().size();
    text.addCursor(Qt::IBeamCursor, {3, 10});
    text.addCursor(Qt::IBeamCursor, {100, 10});
    text.addCursor(Qt::IBeamCursor, {1, 0});
    text.addCursor(Qt::IBeamCursor, {1, -4});
    EXPECT_EQ(text.runs().size(), before);
    EXPECT_TRUE(text.attributesAt(-1).isEmpty());
    EXPECT_TRUE(text.attributesAt(3).isEmpty());
    expectCanonical(text);
    text.remove({-3, 2});
    text.remove({3, 1});
    EXPECT_EQ(text.text(), u"abc");
    text.remove({1, 100});
    EXPECT_EQ(text.text(), u"a");
}

TEST(StyledTextStorage, SetAttributesReplacesAndRemoveAttributeClears)
{
    StyledText text(u"abcdef"_s);
    text.addUnderline(UnderlineStyle::Single, {0, 6});
    text.addAttribute(TNAction, u"go"_s, {0, 6});
    text.setAttributes(linkAttributes(u"l"_s), {1, 2});
    EXPECT_FALSE(text.attributesAt(1).underline.has_value());
    EXPECT_FALSE(text.attributesAt(1).action.has_value());
    EXPECT_EQ(text.attributesAt(1).link, u"l"_s);
    text.removeAttribute(TNAction, {0, 6});
    EXPECT_FALSE(text.attributesAt(0).action.has_value());
    expectCanonical(text);
}

TEST(StyledTextStorage, AppendMergesEqualRunsAndEqualityComparesRuns)
{
    StyledText a(u"ab"_s, linkAttributes(u"x"_s));
    a.append(u"cd"_s, linkAttributes(u"x"_s));
    a.append(u""_s, linkAttributes(u"y"_s));
    EXPECT_EQ(a.runs().size(), 1u);
    StyledText b;
    b.append(StyledText(u"a"_s, linkAttributes(u"x"_s)));
    b.append(StyledText(u"bcd"_s, linkAttributes(u"x"_s)));
    EXPECT_EQ(a, b);
    b.addUnderline(UnderlineStyle::Single, {3, 1});
    EXPECT_FALSE(a == b);
}

TEST(StyledTextStorage, FontsCompareByValueColoursByObject)
{
    TextAttributes a;
    a.font = QFont(u"Sans"_s, 10);
    TextAttributes b;
    b.font = QFont(u"Sans"_s, 10);
    EXPECT_EQ(a, b);
    a.foregroundColor = Color::color(0x123456, 0x654321);
    b.foregroundColor = Color::color(0x123456, 0x654321);
    EXPECT_EQ(a, b); // the factory hands out one object per value
    b.foregroundColor = std::make_shared<Color>(0x123456, 1.0, 0x654321, 1.0);
    EXPECT_FALSE(a == b);
}

// The batch builder must give exactly what addAttributes in the same order
// gives, for random overlapping ranges of every field.
TEST(StyledTextRunBuilder, MatchesAddAttributesOneByOne)
{
    std::mt19937 random(1234);
    const QString base = QString(200, u'x');
    const ColorPtr colors[] = {Color::color(0x111111, 0x222222), Color::color(0x333333, 0x444444)};
    QObject target;
    for (int round = 0; round < 200; ++round) {
        StyledText expected(base);
        html_detail::RunBuilder builder;
        const int count = int(random() % 40);
        for (int i = 0; i < count; ++i) {
            const qsizetype start = qsizetype(random() % 220) - 10;
            const qsizetype length = qsizetype(random() % 80) - 5;
            TextAttributes a;
            const unsigned fields = random();
            if (fields & 1)
                a.foregroundColor = colors[(fields >> 8) & 1];
            if (fields & 2)
                a.font = QFont(u"Sans"_s, 8 + int((fields >> 9) % 3));
            if (fields & 4)
                a.underline = UnderlineStyle::Single;
            if (fields & 8)
                a.cursor = (fields >> 10) & 1 ? Qt::PointingHandCursor : Qt::IBeamCursor;
            if (fields & 16)
                a.link = QString::number((fields >> 11) % 3);
            if (fields & 32)
                a.target = QPointer<QObject>(&target);
            if (fields & 64)
                a.action = u"go"_s;
            if (fields & 128)
                a.others[u"k"_s] = int((fields >> 12) % 2);
            expected.addAttributes(a, {start, length});
            builder.add({start, length}, a);
        }
        const StyledText built = builder.build(base);
        expectCanonical(built);
        ASSERT_EQ(built, expected) << "round " << round;
    }
}

// Past a few dozen ranges the builder sweeps instead of painting, and the
// parser hands over its fonts by reference: the result must not change.
TEST(StyledTextRunBuilder, SharedFontsAndManyRangesMatchAddAttributes)
{
    std::mt19937 random(4321);
    const QString base = QString(300, u'z');
    const ColorPtr colors[] = {Color::color(0x111111, 0x222222), Color::color(0x333333, 0x444444)};
    const QFont fonts[] = {QFont(u"Sans"_s, 9), QFont(u"Sans"_s, 11)};
    const TextAttachmentPtr cell = TextAttachment::imageAttachment(nullptr);
    for (int round = 0; round < 100; ++round) {
        StyledText expected(base);
        html_detail::RunBuilder builder;
        const int count = int(random() % 120);
        for (int i = 0; i < count; ++i) {
            const qsizetype start = qsizetype(random() % 300);
            const qsizetype length = qsizetype(random() % 60) + 1;
            const unsigned fields = random();
            TextAttributes a;
            if (fields & 1)
                a.foregroundColor = colors[(fields >> 8) & 1];
            if (fields & 4)
                a.underline = UnderlineStyle::Single;
            if (fields & 8)
                a.link = QString::number((fields >> 11) % 2);
            if (fields & 16)
                a.axRole = TNAXButtonRole;
            if (fields & 32)
                a.attachment = cell;
            TextAttributes &added = builder.add({start, length});
            added = a;
            if (fields & 2) {
                a.font = fonts[(fields >> 9) & 1];
                builder.shareFont(fonts[(fields >> 9) & 1]);
            }
            expected.addAttributes(a, {start, length});
        }
        const StyledText built = builder.build(base);
        expectCanonical(built);
        ASSERT_EQ(built, expected) << "round " << round;
    }
}

TEST(StyledTextRunBuilder, ManyNestedRangesBuildInOneSweep)
{
    // 50,000 ranges all open to the end: every position is covered by
    // thousands of ranges, which a per-position merge would multiply.
    const qsizetype n = 50000;
    html_detail::RunBuilder builder;
    for (qsizetype i = 0; i < n; ++i)
        builder.add({i, n - i}, linkAttributes(QString::number(i % 7)));
    const StyledText text = builder.build(QString(n, u'y'));
    ASSERT_EQ(text.runs().size(), std::size_t(n));
    EXPECT_EQ(text.attributesAt(n - 1).link, QString::number((n - 1) % 7));
}

// Runs share attribute entries (a split leaves both halves on one, copies
// of a text share all of them): a change through one run or one copy must
// never show in another.
TEST(StyledTextSharing, EditingOneRunOrCopyLeavesTheOthers)
{
    TextAttributes linked = linkAttributes(u"l"_s);
    StyledText text(u"abcdefgh"_s, linked);
    const StyledText copy = text;
    text.addUnderline(UnderlineStyle::Single, {2, 3}); // splits the one run in three
    EXPECT_EQ(text.attributesAt(0), linked);
    EXPECT_EQ(text.attributesAt(6), linked);
    EXPECT_EQ(text.attributesAt(3).underline, UnderlineStyle::Single);
    EXPECT_EQ(text.attributesAt(3).link, u"l"_s);
    EXPECT_EQ(copy, StyledText(u"abcdefgh"_s, linked));

    // The outer halves still share an entry: changing one must not reach the other.
    text.removeAttribute(TNLinkAttributeName, {0, 1});
    EXPECT_FALSE(text.attributesAt(0).link.has_value());
    EXPECT_EQ(text.attributesAt(1).link, u"l"_s);
    EXPECT_EQ(text.attributesAt(7).link, u"l"_s);
    expectCanonical(text);

    // Two equal runs of a parsed snippet.
    StyledText parsed = parse("<b>one</b> <b>two</b>");
    StyledText before = parsed;
    parsed.addCursor(Qt::PointingHandCursor, {0, 3});
    EXPECT_EQ(parsed.attributesAt(0).cursor, Qt::PointingHandCursor);
    EXPECT_FALSE(parsed.attributesAt(4).cursor.has_value());
    EXPECT_TRUE(isBold(parsed.attributesAt(4)));
    EXPECT_EQ(before, parse("<b>one</b> <b>two</b>"));

    // Appending a text to itself copies its entries once and keeps both halves.
    StyledText twice = parse("<u>x</u>y");
    twice.append(twice);
    EXPECT_EQ(twice.text(), u"xyxy"_s);
    EXPECT_EQ(twice.attributesAt(2).underline, UnderlineStyle::Single);
    EXPECT_FALSE(twice.attributesAt(3).underline.has_value());
    expectCanonical(twice);
}

// Many edits in a row against a per-character model: splits, merges, the
// entries stored anew by every edit and dropped again once unused.
TEST(StyledTextSharing, ManyEditsMatchAPerCharacterModel)
{
    std::mt19937 random(99);
    StyledText text(QString(40, u'a'));
    std::vector<TextAttributes> model(40);
    const ColorPtr color = Color::color(0x101010, 0x202020);
    qsizetype longest = 0;
    for (int step = 0; step < 3000; ++step) {
        const auto length = qsizetype(model.size());
        const qsizetype start = length ? qsizetype(random() % std::size_t(length)) : 0;
        const unsigned kind = random() % 6;
        // Text edits take few characters, so that the text keeps its length.
        const qsizetype count = qsizetype(random() % (kind >= 4 ? 4 : 12));
        const qsizetype end = std::min(length, start + count);
        switch (kind) {
        case 0:
            text.addUnderline(UnderlineStyle::Single, {start, count});
            for (qsizetype i = start; i < end; ++i)
                model[std::size_t(i)].underline = UnderlineStyle::Single;
            break;
        case 1:
            text.addForegroundColor(color, {start, count});
            for (qsizetype i = start; i < end; ++i)
                model[std::size_t(i)].foregroundColor = color;
            break;
        case 2: {
            const QString link = QString::number(random() % 3);
            text.addAttribute(TNLinkAttributeName, link, {start, count});
            for (qsizetype i = start; i < end; ++i)
                model[std::size_t(i)].link = link;
            break;
        }
        case 3:
            text.removeAttribute(TNLinkAttributeName, {start, count});
            for (qsizetype i = start; i < end; ++i)
                model[std::size_t(i)].link.reset();
            break;
        case 4:
            text.remove({start, count});
            model.erase(model.begin() + std::ptrdiff_t(start), model.begin() + std::ptrdiff_t(end));
            break;
        default: {
            // Replacing takes the first character's attributes (the last one's at the end).
            TextAttributes taken;
            if (start < length)
                taken = model[std::size_t(start)];
            else if (length > 0)
                taken = model.back();
            text.replace({start, count}, u"bcd"_s);
            model.erase(model.begin() + std::ptrdiff_t(start), model.begin() + std::ptrdiff_t(end));
            model.insert(model.begin() + std::ptrdiff_t(start), 3, taken);
            break;
        }
        }
        ASSERT_EQ(text.length(), qsizetype(model.size())) << "step " << step;
        for (std::size_t i = 0; i < model.size(); ++i)
            ASSERT_EQ(text.attributesAt(qsizetype(i)), model[i]) << "step " << step << " at " << i;
        expectCanonical(text);
        longest = std::max(longest, text.length());
    }
    EXPECT_GT(longest, 30);
}

// Ranges that lie apart or cover the same text take the builder's short
// way; crossing ones, and a later range over the same text that sets fewer
// fields, do not. Either way: what addAttributes gives.
TEST(StyledTextRunBuilder, RangesApartMatchAddAttributes)
{
    std::mt19937 random(777);
    const QString base = QString(60, u'w');
    const ColorPtr colors[] = {Color::color(0x111111, 0x222222), Color::color(0x333333, 0x444444)};
    const QFont fonts[] = {QFont(u"Sans"_s, 9), QFont(u"Sans"_s, 11)};
    for (int round = 0; round < 400; ++round) {
        StyledText expected(base);
        html_detail::RunBuilder builder;
        // Word-sized slots, each styled by up to three ranges over exactly
        // its text (touching slots test the merging of equal neighbours);
        // now and then one range crosses them.
        qsizetype at = qsizetype(random() % 3);
        while (at < base.size()) {
            const qsizetype length = 1 + qsizetype(random() % 6);
            const int layers = int(random() % 4);
            for (int layer = 0; layer < layers; ++layer) {
                const unsigned fields = random();
                const qsizetype start = random() % 25 == 0 ? at / 2 : at;
                TextAttributes a;
                if (fields & 1)
                    a.foregroundColor = colors[(fields >> 8) & 1];
                if (fields & 2)
                    a.underline = UnderlineStyle::Single;
                if (fields & 4)
                    a.link = QString::number((fields >> 11) % 2);
                TextAttributes &added = builder.add({start, at + length - start});
                added = a;
                if (fields & 8) {
                    a.font = fonts[(fields >> 9) & 1];
                    builder.shareFont(fonts[(fields >> 9) & 1]);
                }
                expected.addAttributes(a, {start, at + length - start});
            }
            at += length + qsizetype(random() % 3);
        }
        const StyledText built = builder.build(base);
        expectCanonical(built);
        ASSERT_EQ(built, expected) << "round " << round;
    }
}

} // namespace
