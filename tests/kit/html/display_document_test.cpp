// StyledText → QTextDocument: formats per run, colours resolved for the
// drawing appearance, anchors, paragraph attributes and attachment cells.
#include <kalvo/html/styledtext.h>
#include <kalvo/theme/appearance.h>
#include <kalvo/theme/image.h>

#include "kit/html/styledtext_document_p.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

#include <gtest/gtest.h>

#include <memory>

using namespace kalvo;

namespace {

QTextCharFormat formatAt(QTextDocument *document, int position)
{
    QTextCursor cursor(document);
    cursor.setPosition(position);
    cursor.setPosition(position + 1, QTextCursor::KeepAnchor);
    return cursor.charFormat();
}

// The baseline of the line holding `position`, in document coordinates.
qreal baselineAt(QTextDocument *document, int position)
{
    document->size();
    const QTextBlock block = document->findBlock(position);
    const QTextLine line = block.layout()->lineForTextPosition(position - block.position());
    return block.layout()->position().y() + line.y() + line.ascent();
}

ImagePtr solidImage(QSize size, QColor color)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(color);
    return BitmapImage::create(image);
}

std::unique_ptr<QTextDocument> documentOf(const StyledText &text)
{
    return std::unique_ptr<QTextDocument>(text.toTextDocument());
}

// ---- Formats ----

TEST(StyledTextDocument, RunsBecomeFormatsAtTheSamePositions)
{
    StyledText text(QStringLiteral("plain bold\nunder link"));
    QFont bold = QGuiApplication::font();
    bold.setPointSize(20);
    bold.setWeight(QFont::Bold);
    text.addFont(bold, {6, 4});
    text.addUnderline(UnderlineStyle::Single, {11, 5});
    text.addAttribute(TNLinkAttributeName, QStringLiteral("https://example.org/a"), {17, 4});

    auto document = documentOf(text);
    EXPECT_EQ(document->characterCount(), text.length() + 1); // one per character
    EXPECT_EQ(document->toPlainText(), text.text());

    EXPECT_EQ(formatAt(document.get(), 0).font().weight(), QGuiApplication::font().weight());
    EXPECT_EQ(formatAt(document.get(), 6).font().weight(), QFont::Bold);
    EXPECT_EQ(formatAt(document.get(), 9).font().pointSize(), 20);
    EXPECT_FALSE(formatAt(document.get(), 5).fontUnderline());
    EXPECT_TRUE(formatAt(document.get(), 11).fontUnderline());
    EXPECT_FALSE(formatAt(document.get(), 16).fontUnderline());

    const QTextCharFormat link = formatAt(document.get(), 18);
    EXPECT_TRUE(link.isAnchor());
    EXPECT_EQ(link.anchorHref(), QStringLiteral("https://example.org/a"));
    EXPECT_FALSE(formatAt(document.get(), 16).isAnchor());
}

TEST(StyledTextDocument, ColoursResolveForTheDrawingAppearanceOfTheMoment)
{
    StyledText text(QStringLiteral("ab"));
    text.addForegroundColor(Color::color(0xFF0000, 0x00FF00), {1, 1});
    QColor light, dark;
    {
        const DrawingAppearanceScope scope(Appearance::tn_lightAppearance());
        auto document = documentOf(text);
        light = formatAt(document.get(), 1).foreground().color();
        EXPECT_FALSE(formatAt(document.get(), 0).hasProperty(QTextFormat::ForegroundBrush));
    }
    {
        const DrawingAppearanceScope scope(Appearance::tn_darkAppearance());
        auto document = documentOf(text);
        dark = formatAt(document.get(), 1).foreground().color();
    }
    EXPECT_EQ(light, QColor(0xFF, 0, 0));
    EXPECT_EQ(dark, QColor(0, 0xFF, 0));
}

TEST(StyledTextDocument, ActionLinksCarryAnInternalHrefAndTheirToolTip)
{
    QObject target;
    StyledText text(QStringLiteral("go here now"));
    TextAttributes action;
    action.link = QStringLiteral("Opens the page");
    action.target = QPointer<QObject>(&target);
    action.action = QStringLiteral("open:");
    text.addAttributes(action, {3, 4});
    TextAttributes silent = action;
    silent.link = QStringLiteral("TN://DEFAULT");
    text.addAttributes(silent, {8, 3});

    auto document = documentOf(text);
    const QTextCharFormat format = formatAt(document.get(), 4);
    ASSERT_TRUE(format.isAnchor());
    EXPECT_EQ(detail::internalLinkLocation(format.anchorHref()), 3);
    EXPECT_EQ(format.toolTip(), QStringLiteral("Opens the page"));
    EXPECT_EQ(formatAt(document.get(), 9).toolTip(), QString()); // the placeholder link is no tip

    EXPECT_EQ(detail::internalLinkLocation(QStringLiteral("https://x")), std::nullopt);
    EXPECT_EQ(detail::internalLinkLocation(QStringLiteral("kalvo-action:-4")), std::nullopt);
}

TEST(StyledTextDocument, ParagraphAttributesComeFromAParagraphsFirstCharacter)
{
    StyledText text(QStringLiteral("one\ntwo\nthree"));
    TextAttributes paragraph;
    paragraph.headIndent = 36;
    paragraph.paragraphSpacing = 6;
    text.addAttributes(paragraph, {4, 4});
    TextAttributes late;
    late.headIndent = 99;
    text.addAttributes(late, {10, 2}); // not at its paragraph's start

    auto document = documentOf(text);
    const QTextBlockFormat first = document->findBlockByNumber(0).blockFormat();
    const QTextBlockFormat second = document->findBlockByNumber(1).blockFormat();
    const QTextBlockFormat third = document->findBlockByNumber(2).blockFormat();
    EXPECT_EQ(first.leftMargin(), 0);
    EXPECT_EQ(second.leftMargin(), 36);
    EXPECT_EQ(second.textIndent(), -36);
    EXPECT_EQ(second.bottomMargin(), 6);
    EXPECT_EQ(third.leftMargin(), 0);
}

// ---- Attachments ----

TEST(TextAttachment, CellSizeIsTheImageOrTheViewsSize)
{
    EXPECT_EQ(TextAttachment::imageAttachment(solidImage({10, 20}, Qt::red))->cellSize(), QSizeF(10, 20));
    EXPECT_EQ(TextAttachment::imageAttachment(nullptr)->cellSize(), QSizeF());

    auto *view = new QLabel(QStringLiteral("a view"));
    const auto attachment = TextAttachment::viewAttachment(view);
    EXPECT_EQ(attachment->cellSize(), QSizeF(view->sizeHint())); // not sized yet
    delete view;
    EXPECT_EQ(attachment->view(), nullptr); // held weakly
    EXPECT_EQ(attachment->cellSize(), QSizeF());
}

TEST(TextAttachment, ImageCellsSitOnTheBaselineMovedByTheirOffset)
{
    const ImagePtr image = solidImage({10, 20}, QColor(0, 0, 255));
    for (const qreal dy : {0.0, 4.0, -3.0, -12.0}) {
        SCOPED_TRACE(dy);
        const auto attachment = TextAttachment::imageAttachment(image);
        if (dy != 0)
            attachment->setBaselineOffset({0, dy});
        StyledText text(QStringLiteral("ab"));
        text.append(StyledText::attachmentString(attachment));
        text.append(QStringLiteral("cd"));

        auto document = documentOf(text);
        EXPECT_EQ(detail::attachmentAt(document.get(), 2), attachment);
        EXPECT_EQ(detail::attachmentAt(document.get(), 1), nullptr);
        const QRectF rect = detail::attachmentRect(document.get(), 2);
        const qreal baseline = baselineAt(document.get(), 2);
        EXPECT_EQ(rect.size(), QSizeF(10, 20));
        // y up: a positive offset raises the image, a negative one lowers it.
        EXPECT_NEAR(rect.bottom(), baseline - dy, 0.01);
        // The line holds the whole image.
        const QTextLine line = document->begin().layout()->lineAt(0);
        EXPECT_LE(line.y(), rect.top() + 0.01);
        EXPECT_GE(line.y() + line.height(), rect.bottom() - 0.01);

        // What is drawn is where the rect says.
        const QSize size = document->size().toSize() + QSize(1, 1);
        QImage canvas(size, QImage::Format_ARGB32_Premultiplied);
        canvas.fill(Qt::white);
        {
            QPainter painter(&canvas);
            document->drawContents(&painter);
        }
        EXPECT_EQ(canvas.pixelColor(rect.center().toPoint()), QColor(0, 0, 255));
        const int above = int(std::floor(rect.top())) - 1;
        if (above >= 0) {
            EXPECT_NE(canvas.pixelColor(QPoint(int(rect.center().x()), above)), QColor(0, 0, 255));
        }
    }
}

TEST(TextAttachment, ViewCellsAreReservedNotDrawn)
{
    QWidget view;
    view.resize(40, 12);
    StyledText text(QStringLiteral("x"));
    text.append(StyledText::attachmentString(TextAttachment::viewAttachment(&view)));
    text.append(QStringLiteral("y"));
    auto document = documentOf(text);
    const QRectF rect = detail::attachmentRect(document.get(), 1);
    EXPECT_EQ(rect.size(), QSizeF(40, 12));
    // "y" starts after the cell.
    const QTextLine line = document->begin().layout()->lineAt(0);
    EXPECT_NEAR(line.cursorToX(2), rect.right(), 0.01);
}

TEST(TextAttachment, AnAttachmentCharacterWithoutAttachmentIsPlainText)
{
    StyledText text{QString(QChar(kAttachmentCharacter))};
    auto document = documentOf(text);
    EXPECT_EQ(detail::attachmentAt(document.get(), 0), nullptr);
    EXPECT_TRUE(detail::attachmentRect(document.get(), 0).isNull());
    EXPECT_TRUE(detail::attachmentRect(document.get(), 7).isNull());
    EXPECT_TRUE(detail::attachmentRect(nullptr, 0).isNull());
}

} // namespace
