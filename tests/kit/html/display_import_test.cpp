// The HTML import path: Qt's import normalised to one colour, one size (bold
// and italic kept), a paragraph spacing, list markers as text with head
// indents, and the final line feed on request.
#include <kalvo/html/htmlimport.h>
#include <kalvo/platform/manualclock.h>
#include <kalvo/theme/tncolors.h>

#include <QGuiApplication>

#include <gtest/gtest.h>

using namespace kalvo;

namespace {

StyledText load(const QString &html, const TNHTMLStringAdjustment &adjustment = TNHTMLStringAdjustment::defaultAdjustment())
{
    return loadHTMLWithAdjustment(html, adjustment);
}

TextAttributes at(const StyledText &text, const QString &needle, int offset = 0)
{
    const qsizetype index = text.text().indexOf(needle);
    EXPECT_GE(index, 0) << needle.toStdString() << " in " << text.text().toStdString();
    return text.attributesAt(index + offset);
}

TEST(HTMLImport, OneColourAndSizeWithBoldAndItalicKept)
{
    const StyledText text = load(QStringLiteral(
        "<h1 style='color:#ff0000'>Title</h1><p>Some <b>bold</b>, <i>italic</i> and <b><i>both</i></b>"
        " in <span style='font-family:DejaVu Serif; font-size:30pt'>serif</span>.</p>"));
    EXPECT_EQ(text.text(), QStringLiteral("Title\nSome bold, italic and both in serif.\n"));

    const QString appFamily = QGuiApplication::font().family();
    // Colour, size and spacing from a given adjustment: AdjustmentValuesAndTheFinalLineFeed.
    for (const StyledRun &run : text.runs()) {
        SCOPED_TRACE(text.text().mid(run.range.location, run.range.length).toStdString());
        ASSERT_TRUE(run.attributes.font);
        EXPECT_EQ(run.attributes.font->pixelSize(), 12);
        EXPECT_EQ(run.attributes.font->family(), appFamily);
        EXPECT_FALSE(run.attributes.headIndent);
    }
    EXPECT_EQ(at(text, QStringLiteral("Title")).font->weight(), QFont::Bold); // headings are bold
    EXPECT_EQ(at(text, QStringLiteral("Some")).font->weight(), QFont::Normal);
    EXPECT_EQ(at(text, QStringLiteral("bold")).font->weight(), QFont::Bold);
    EXPECT_TRUE(at(text, QStringLiteral("italic")).font->italic());
    EXPECT_TRUE(at(text, QStringLiteral("both")).font->italic());
    EXPECT_EQ(at(text, QStringLiteral("both")).font->weight(), QFont::Bold);
}

TEST(HTMLImport, AdjustmentValuesAndTheFinalLineFeed)
{
    TNHTMLStringAdjustment adjustment;
    adjustment.textColor = Color::color(0x112233, 0x445566);
    adjustment.fontSize = 16.5;
    adjustment.paragraphSpacing = 6;
    adjustment.shouldRemoveLastNewlineCharacter = true;
    const StyledText text =
        load(QStringLiteral("<p>one<br>two <a href='https://example.org'>link</a></p><p>three</p>"), adjustment);
    EXPECT_EQ(text.text(), QStringLiteral("one\ntwo link\nthree"));
    for (const StyledRun &run : text.runs()) {
        EXPECT_EQ(run.attributes.foregroundColor, adjustment.textColor);
        EXPECT_EQ(run.attributes.font->pixelSize(), 17); // whole pixels
        EXPECT_EQ(run.attributes.paragraphSpacing, 6);
    }
    EXPECT_EQ(at(text, QStringLiteral("link")).link, QStringLiteral("https://example.org"));
    EXPECT_FALSE(at(text, QStringLiteral("two")).link);
}

TEST(HTMLImport, EmptyInputGivesEmptyText)
{
    EXPECT_TRUE(load(QString()).isEmpty());
    EXPECT_TRUE(load(QStringLiteral("<html><body></body></html>")).isEmpty());
    // A null colour falls back to the default one.
    TNHTMLStringAdjustment adjustment;
    adjustment.textColor = nullptr;
    EXPECT_EQ(load(QStringLiteral("x"), adjustment).attributesAt(0).foregroundColor, tnPriTextColor());
}

TEST(HTMLImport, UnorderedListsGetMarkersAndHeadIndents)
{
    const StyledText text = load(QStringLiteral(
        "<p>Intro</p><ul style='font-family:DejaVu Serif'><li>One</li><li>Two<ul><li>Inner</li></ul></li></ul>"));
    EXPECT_EQ(text.text(), QStringLiteral("Intro\n\t\u2022 One\n\t\u2022 Two\n\t\t\u2022 Inner\n"));

    const TextAttributes marker = at(text, QStringLiteral("\u2022 One"));
    EXPECT_EQ(marker.headIndent, 36);
    EXPECT_EQ(at(text, QStringLiteral("One")).headIndent, 36); // the item's text: the marker's indent
    EXPECT_EQ(at(text, QStringLiteral("\u2022 Inner")).headIndent, 64);
    EXPECT_FALSE(at(text, QStringLiteral("Intro")).headIndent);

    // The marker keeps its family; the item text takes the system font.
    EXPECT_EQ(marker.font->family(), QStringLiteral("DejaVu Serif"));
    EXPECT_EQ(at(text, QStringLiteral("One")).font->family(), QGuiApplication::font().family());
}

TEST(HTMLImport, OrderedListsKeepTheirNumbers)
{
    const StyledText text = load(QStringLiteral("<ol><li>First</li><li><b>Second</b></li></ol>"));
    EXPECT_EQ(text.text(), QStringLiteral("\t1. First\n\t2. Second\n"));
    EXPECT_EQ(at(text, QStringLiteral("1.")).headIndent, 36);
    EXPECT_EQ(at(text, QStringLiteral("Second")).font->weight(), QFont::Bold);
    EXPECT_EQ(at(text, QStringLiteral("2.")).font->weight(), QFont::Normal);
}

TEST(HTMLImport, CompletionRunsLaterOnTheMainThread)
{
    ManualClock clock;
    std::optional<StyledText> result;
    loadHTMLWithAdjustment(QStringLiteral("<p>Hi <b>there</b></p>"), TNHTMLStringAdjustment::defaultAdjustment(),
                           [&](StyledText text) { result = std::move(text); });
    EXPECT_FALSE(result);
    clock.runPending();
    ASSERT_TRUE(result);
    EXPECT_TRUE(*result == load(QStringLiteral("<p>Hi <b>there</b></p>")));

    // No completion: nothing scheduled.
    loadHTMLWithAdjustment(QStringLiteral("x"), TNHTMLStringAdjustment::defaultAdjustment(), {});
    EXPECT_EQ(clock.pendingCount(), 0);
}

} // namespace
