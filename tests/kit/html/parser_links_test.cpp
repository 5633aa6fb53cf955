// Links and roles, attachments and offsets.
#include "parser_test_util.h"

#include <QImage>
#include <QPixmap>
#include <QWidget>

#include <gtest/gtest.h>

using namespace kalvo;
using namespace kalvo::test;
using namespace Qt::StringLiterals;

namespace {

TEST(HtmlLinks, HrefLinkGetsColourCursorAndLink)
{
    TextRange range;
    const StyledText text = parse("Read <a href='https://x.org/a?b=1&amp;c=2'>the notes</a> now");
    const TextAttributes a = attributesOf(text, u"the notes"_s, &range);
    EXPECT_EQ(range, (TextRange {5, 9}));
    EXPECT_EQ(a.link, u"https://x.org/a?b=1&c=2"_s);
    EXPECT_EQ(a.foregroundColor, Color::color(0x0C63CE, 1.0, 0x4F9AF7, 1.0));
    EXPECT_EQ(a.cursor, Qt::PointingHandCursor);
    EXPECT_FALSE(a.axRole.has_value());
    EXPECT_TRUE(attributesOf(text, u"now"_s).isEmpty());
}

TEST(HtmlLinks, TnSchemeInAnyCaseGetsTheButtonRole)
{
    for (const char *snippet : {"<a href='tn://open'>x</a>", "<a href='TN://OPEN'>x</a>", "<a href=Tn://o>x</a>"})
        EXPECT_EQ(attributesOf(parse(snippet), u"x"_s).axRole, TNAXButtonRole) << snippet;
    EXPECT_FALSE(attributesOf(parse("<a href='tn:/x'>x</a>"), u"x"_s).axRole.has_value());
}

TEST(HtmlLinks, TargetActionLink)
{
    QObject owner;
    const TNHTMLAttachments attachments {{u"owner"_s, QVariant::fromValue<QObject *>(&owner)}};
    const StyledText text = parse("<a target=owner action='openProfile:'>Dana</a>", attachments);
    const TextAttributes a = attributesOf(text, u"Dana"_s);
    ASSERT_TRUE(a.target.has_value());
    EXPECT_EQ(a.target->data(), &owner);
    EXPECT_EQ(a.action, u"openProfile:"_s);
    EXPECT_EQ(a.link, u"TN://DEFAULT"_s);
    EXPECT_EQ(a.axRole, TNAXButtonRole);

    const StyledText withTip = parse("<a target=owner action=go toolTip='Open it'>x</a>", attachments);
    EXPECT_EQ(attributesOf(withTip, u"x"_s).link, u"Open it"_s);
}

TEST(HtmlLinks, TargetLinkNeedsTargetAndAction)
{
    QObject owner;
    const TNHTMLAttachments attachments {
        {u"owner"_s, QVariant::fromValue<QObject *>(&owner)}, {u"number"_s, QVariant(42)}};
    for (const char *snippet : {"<a target=owner>x</a>", "<a target=owner action=''>x</a>",
             "<a target=missing action=go>x</a>", "<a target=number action=go>x</a>", "<a action=go>x</a>"})
        EXPECT_TRUE(attributesOf(parse(snippet, attachments), u"x"_s).isEmpty()) << snippet;
}

TEST(HtmlLinks, TargetIsHeldWeakly)
{
    auto owner = std::make_unique<QObject>();
    const TNHTMLAttachments attachments {{u"owner"_s, QVariant::fromValue<QObject *>(owner.get())}};
    const StyledText text = parse("<a target=owner action=go>x</a>", attachments);
    owner.reset();
    const TextAttributes a = attributesOf(text, u"x"_s);
    ASSERT_TRUE(a.target.has_value());
    EXPECT_EQ(a.target->data(), nullptr);
}

TEST(HtmlLinks, HrefWinsOverTargetAction)
{
    QObject owner;
    const TNHTMLAttachments attachments {{u"owner"_s, QVariant::fromValue<QObject *>(&owner)}};
    const TextAttributes a = attributesOf(parse("<a href=https://a target=owner action=go>x</a>", attachments), u"x"_s);
    EXPECT_EQ(a.link, u"https://a"_s);
    EXPECT_FALSE(a.target.has_value());
}

QImage filled(int w, int h)
{
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(Qt::red);
    return image;
}

TEST(HtmlAttachments, ImagesByKeyFromEveryKindOfImage)
{
    const ImagePtr image = BitmapImage::create(filled(4, 4));
    const TNHTMLAttachments attachments {{u"kalvo"_s, QVariant::fromValue(image)},
        {u"qimage"_s, QVariant(filled(5, 6))}, {u"pixmap"_s, QVariant(QPixmap::fromImage(filled(7, 8)))}};
    const StyledText text = parse("a<img imageKey=kalvo>b<img imageKey=qimage>c<img imageKey='pixmap'>", attachments);
    ASSERT_EQ(text.text(), QString::fromUtf16(u"a\uFFFCb\uFFFCc\uFFFC"));
    const auto list = text.attachments();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].first, 1);
    EXPECT_EQ(list[0].second->image(), image);
    EXPECT_EQ(list[1].second->image()->size(), QSizeF(5, 6));
    EXPECT_EQ(list[2].second->image()->size(), QSizeF(7, 8));
}

TEST(HtmlAttachments, MissingKeysAndSourcesAppendNothing)
{
    QObject plain;
    const TNHTMLAttachments attachments {{u"text"_s, QVariant(u"not an image"_s)}, {u"img"_s, QVariant(filled(2, 2))},
        {u"p"_s, QVariant::fromValue<QObject *>(&plain)}};
    // An imageKey is used even when a src is given too; an object that is
    // no widget is no view.
    for (const char *snippet : {"a<img imageKey=nope>b", "a<img imageKey=text>b", "a<img imageKey=''>b",
             "a<img imageKey=nope src=img>b", "a<img src=no-such-image-anywhere>b", "a<img><tnview>b",
             "a<tnview key=nope>b", "a<tnview key=p>b"})
        EXPECT_EQ(parse(snippet, attachments).text(), u"ab") << snippet;
}

TEST(HtmlAttachments, OffsetsSetTheBaselineOffset)
{
    const TNHTMLAttachments attachments {{u"i"_s, QVariant(filled(10, 10))}};
    auto offsetOf = [&](const char *snippet) -> std::optional<QPointF> {
        const auto list = parse(snippet, attachments).attachments();
        if (list.empty() || !list.front().second->hasBaselineOffset())
            return std::nullopt;
        return list.front().second->baselineOffset();
    };
    EXPECT_EQ(offsetOf("<img imageKey=i offset=(2,-3)>"), QPointF(2, -3));
    EXPECT_EQ(offsetOf("<img imageKey=i offset='( 1.5 , 0.25 )'>"), QPointF(1.5, 0.25));
    for (const char *bad : {"<img imageKey=i offset=(1)>", "<img imageKey=i offset=1,2>",
             "<img imageKey=i offset=(a,b)>", "<img imageKey=i offset=(1,2,3)>", "<img imageKey=i offset=()>",
             "<img imageKey=i offset=(,)>", "<img imageKey=i offset=(nan,1)>"})
        EXPECT_EQ(offsetOf(bad), std::nullopt) << bad;
}

TEST(HtmlAttachments, InlineViewsAlignToTheFontBeforeThem)
{
    QWidget tall;
    tall.resize(20, 30);
    QWidget small;
    small.resize(20, 8);
    const TNHTMLAttachments attachments {
        {u"tall"_s, QVariant::fromValue<QObject *>(&tall)}, {u"small"_s, QVariant::fromValue<QObject *>(&small)}};
    const StyledText text = parse("<font size=20>ab</font><tnview key=tall> <tnview key=small>"
                                  "<tnview key=tall offset=(0,5)><tnview key=tall>",
        attachments);
    const auto list = text.attachments();
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0].second->kind(), TextAttachment::Kind::View);
    EXPECT_EQ(list[0].second->view(), &tall);
    // After 20-pixel text: 20 - 30.
    EXPECT_EQ(list[0].second->baselineOffset(), QPointF(0, -10));
    // Not taller than the font: left alone.
    EXPECT_FALSE(list[1].second->hasBaselineOffset());
    // The snippet's own offset stays.
    EXPECT_EQ(list[2].second->baselineOffset(), QPointF(0, 5));
    // After a view (no font): the default 13.
    EXPECT_EQ(list[3].second->baselineOffset(), QPointF(0, 13 - 30));
}

TEST(HtmlAttachments, FirstInlineViewLooksAtTheCharacterAfterIt)
{
    QWidget tall;
    tall.resize(10, 40);
    const TNHTMLAttachments attachments {{u"v"_s, QVariant::fromValue<QObject *>(&tall)}};
    const auto list = parse("<tnview key=v><font size=16>x</font>", attachments).attachments();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].second->baselineOffset(), QPointF(0, 16 - 40));
}

// A view that nobody sized answers its size hint, which may itself parse a
// snippet: the nested parse must not disturb the one in progress.
class SnippetSizedWidget : public QWidget
{
public:
    QSize sizeHint() const override
    {
        const StyledText inner = parse("<b>nested</b> <font size=30>text</font>");
        return QSize(int(inner.length()), 50);
    }
};

TEST(HtmlAttachments, ViewSizeHintMayParseSnippetsItself)
{
    SnippetSizedWidget view;
    const TNHTMLAttachments attachments {{u"v"_s, QVariant::fromValue<QObject *>(&view)}};
    const StyledText text = parse("<i>before</i><tnview key=v><u>after</u>", attachments);
    EXPECT_EQ(text.text(), QString::fromUtf16(u"before\uFFFCafter"));
    EXPECT_TRUE(attributesOf(text, u"before"_s).font->italic());
    EXPECT_EQ(attributesOf(text, u"after"_s).underline, UnderlineStyle::Single);
    const auto list = text.attachments();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].second->baselineOffset(), QPointF(0, 13 - 50));
}

TEST(HtmlAttachments, AttachmentsTakeTheStylesAroundThem)
{
    const TNHTMLAttachments attachments {{u"i"_s, QVariant(filled(3, 3))}};
    const StyledText text = parse("<a href=https://x>see <img imageKey=i></a>", attachments);
    const TextAttributes a = text.attributesAt(4);
    EXPECT_TRUE(a.attachment);
    EXPECT_EQ(a.link, u"https://x"_s);
}

TEST(HtmlImages, ParseHTMLImageListsSourcesAndSizes)
{
    const auto images = TNParseHTMLSnippetImpl::parseHTMLImage(
        u"<img src=a.png width=20 height='10'> <img src=''> <img imageKey=k> <img src=\"b c\" width=x>"
        "</img src=d> <IMG src=e>"_s);
    ASSERT_EQ(images.size(), 2u);
    EXPECT_EQ(images[0], (TNImageNode {u"a.png"_s, QSizeF(20, 10)}));
    EXPECT_EQ(images[1], (TNImageNode {u"b c"_s, QSizeF(0, 0)}));
    EXPECT_TRUE(TNParseHTMLSnippetImpl::parseHTMLImage(QString()).empty());
}

} // namespace
