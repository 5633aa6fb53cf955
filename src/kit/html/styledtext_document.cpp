// Attachments and the conversion of styled text to a QTextDocument.
//
// Document positions equal the UTF-16 positions of the styled text: every
// character goes in as one (a line feed becomes one block separator, an
// attachment character one inline object), so a hit in the document maps
// straight back to the run it came from.
#include "styledtext_document_p.h"

#include <QAbstractTextDocumentLayout>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <QTextObjectInterface>

#include <algorithm>
#include <cmath>

namespace kalvo {

// ---- TextAttachment ----

TextAttachment::TextAttachment(Kind kind, ImagePtr image, QWidget *view)
    : m_kind(kind), m_image(std::move(image)), m_view(view)
{
}

std::shared_ptr<TextAttachment> TextAttachment::imageAttachment(ImagePtr image)
{
    return std::shared_ptr<TextAttachment>(new TextAttachment(Kind::Image, std::move(image), nullptr));
}

std::shared_ptr<TextAttachment> TextAttachment::viewAttachment(QWidget *view)
{
    return std::shared_ptr<TextAttachment>(new TextAttachment(Kind::View, nullptr, view));
}

namespace {

// Sizes from images and host widgets are not trusted to be sane.
constexpr qreal kMaxCellSide = 16384;

qreal saneLength(qreal value)
{
    return std::isfinite(value) ? std::clamp<qreal>(value, 0, kMaxCellSide) : 0;
}

QSizeF saneSize(const QSizeF &size)
{
    return {saneLength(size.width()), saneLength(size.height())};
}

} // namespace

QSizeF TextAttachment::cellSize() const
{
    if (m_kind == Kind::Image)
        return m_image ? saneSize(m_image->size()) : QSizeF();
    QWidget *view = m_view.data();
    if (!view)
        return {};
    // A widget nobody sized yet reports Qt's placeholder size: ask its hint.
    if (!view->testAttribute(Qt::WA_Resized)) {
        const QSize hint = view->sizeHint();
        if (hint.isValid())
            return saneSize(QSizeF(hint.expandedTo(view->minimumSize()).boundedTo(view->maximumSize())));
    }
    return saneSize(QSizeF(view->size()));
}

namespace detail {

namespace {

// How a cell sits on its line. Qt places an inline object either on the
// baseline (ascent = cell height, no descent) or, with AlignMiddle, around
// the x-height centre: ascent = (H + x/2) / 2, descent = (H - x/2) / 2. A cell
// that reaches further below the baseline than the font's descent uses the
// second form with a height that covers both parts, so the line grows to
// hold it instead of the object overlapping the next line.
struct CellGeometry
{
    QSizeF cell;          // what the layout reserves
    bool middle = false;  // laid out with AlignMiddle
    qreal ascent = 0;     // from the cell's top to the baseline
    QRectF object;        // relative to (cell left, baseline), y downwards
};

// Whether a cell needs the AlignMiddle form (decided when the document is
// built; a widget that grows later keeps its form).
bool needsMiddle(const TextAttachment &attachment, const QFont &font)
{
    const qreal dy = attachment.baselineOffset().y();
    return std::isfinite(dy) && -dy > QFontMetricsF(font).descent();
}

CellGeometry cellGeometry(const TextAttachment &attachment, const QTextCharFormat &format)
{
    const QFont font = format.font();
    const bool middle = format.verticalAlignment() == QTextCharFormat::AlignMiddle;
    const QSizeF size = attachment.cellSize();
    const QPointF offset = attachment.baselineOffset();
    const qreal dx = std::isfinite(offset.x()) ? std::clamp<qreal>(offset.x(), -kMaxCellSide, kMaxCellSide) : 0;
    const qreal dy = std::isfinite(offset.y()) ? std::clamp<qreal>(offset.y(), -kMaxCellSide, kMaxCellSide) : 0;

    CellGeometry g;
    // y up in the offset: the object's bottom sits dy above the baseline.
    g.object = QRectF(dx, -dy - size.height(), size.width(), size.height());
    const qreal above = std::max<qreal>(0, size.height() + dy);
    const qreal below = std::max<qreal>(0, -dy);
    const qreal width = size.width() + std::max<qreal>(0, dx);
    if (!middle) {
        g.cell = QSizeF(width, above);
        g.ascent = above;
        return g;
    }
    // Qt computes the half x-height with integer metrics; so do we.
    const qreal halfX = QFontMetrics(font).xHeight() / 2.0;
    const qreal height = std::max({2 * above - halfX, 2 * below + halfX, qreal(0)});
    g.cell = QSizeF(width, height);
    g.middle = true;
    g.ascent = (height + halfX) / 2;
    return g;
}

// Draws image cells; view cells are only reserved (their label places the
// widget over them). Owns the document's attachments.
class AttachmentHandler : public QObject, public QTextObjectInterface
{
    Q_OBJECT
    Q_INTERFACES(QTextObjectInterface)

public:
    explicit AttachmentHandler(QTextDocument *document) : QObject(document) {}

    int add(TextAttachmentPtr attachment)
    {
        m_attachments.push_back(std::move(attachment));
        return int(m_attachments.size()) - 1;
    }

    TextAttachmentPtr at(const QTextFormat &format) const
    {
        if (!format.hasProperty(kAttachmentIndexProperty))
            return nullptr;
        const int index = format.intProperty(kAttachmentIndexProperty);
        return index >= 0 && index < int(m_attachments.size()) ? m_attachments[std::size_t(index)] : nullptr;
    }

    QSizeF intrinsicSize(QTextDocument *, int, const QTextFormat &format) override
    {
        const TextAttachmentPtr attachment = at(format);
        return attachment ? cellGeometry(*attachment, format.toCharFormat()).cell : QSizeF();
    }

    void drawObject(QPainter *painter, const QRectF &rect, QTextDocument *, int, const QTextFormat &format) override
    {
        const TextAttachmentPtr attachment = at(format);
        if (!attachment || attachment->kind() != TextAttachment::Kind::Image || !attachment->image())
            return;
        const CellGeometry g = cellGeometry(*attachment, format.toCharFormat());
        const QPointF baseline(rect.left(), rect.top() + g.ascent);
        attachment->image()->draw(*painter, g.object.translated(baseline));
    }

private:
    std::vector<TextAttachmentPtr> m_attachments;
};

AttachmentHandler *handlerOf(const QTextDocument *document)
{
    return document ? document->findChild<AttachmentHandler *>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

const QString kInternalLinkScheme = QStringLiteral("kalvo-action:");

} // namespace

TextAttachmentPtr attachmentAt(const QTextDocument *document, int position)
{
    AttachmentHandler *handler = handlerOf(document);
    if (!handler || position < 0 || position >= document->characterCount() - 1)
        return nullptr;
    QTextCursor cursor(const_cast<QTextDocument *>(document));
    cursor.setPosition(position);
    // The format of a position is the one of the character before it.
    cursor.setPosition(position + 1, QTextCursor::KeepAnchor);
    const QTextCharFormat format = cursor.charFormat();
    if (format.objectType() != kAttachmentObjectType)
        return nullptr;
    return handler->at(format);
}

QRectF attachmentRect(const QTextDocument *document, int position)
{
    const TextAttachmentPtr attachment = attachmentAt(document, position);
    if (!attachment)
        return {};
    document->size(); // finishes the layout
    const QTextBlock block = document->findBlock(position);
    const QTextLayout *layout = block.layout();
    if (!layout)
        return {};
    const int inBlock = position - block.position();
    const QTextLine line = layout->lineForTextPosition(inBlock);
    if (!line.isValid())
        return {};
    QTextCursor cursor(const_cast<QTextDocument *>(document));
    cursor.setPosition(position);
    cursor.setPosition(position + 1, QTextCursor::KeepAnchor);
    const CellGeometry g = cellGeometry(*attachment, cursor.charFormat());
    // Lines are placed relative to their block's layout.
    const QPointF origin = layout->position();
    const QPointF baseline(origin.x() + line.cursorToX(inBlock), origin.y() + line.y() + line.ascent());
    return g.object.translated(baseline);
}

QString internalLinkHref(qsizetype location)
{
    return kInternalLinkScheme + QString::number(location);
}

std::optional<qsizetype> internalLinkLocation(const QString &href)
{
    if (!href.startsWith(kInternalLinkScheme))
        return std::nullopt;
    bool ok = false;
    const qlonglong location = QStringView(href).mid(kInternalLinkScheme.size()).toLongLong(&ok);
    if (!ok || location < 0)
        return std::nullopt;
    return qsizetype(location);
}

bool isActionLink(const TextAttributes &attributes)
{
    return attributes.target.has_value() && attributes.action && !attributes.action->isEmpty();
}

} // namespace detail

// ---- StyledText → QTextDocument ----

namespace {

const QString kDefaultActionLink = QStringLiteral("TN://DEFAULT");

QTextCharFormat charFormat(const StyledRun &run)
{
    const TextAttributes &a = run.attributes;
    QTextCharFormat format;
    if (a.font)
        format.setFont(*a.font, QTextCharFormat::FontPropertiesAll);
    if (a.foregroundColor)
        format.setForeground(a.foregroundColor->resolved());
    if (a.underline) {
        // Qt has one underline line; thick and double draw as single.
        format.setUnderlineStyle(*a.underline == UnderlineStyle::None ? QTextCharFormat::NoUnderline
                                                                      : QTextCharFormat::SingleUnderline);
    }
    if (detail::isActionLink(a)) {
        format.setAnchor(true);
        format.setAnchorHref(detail::internalLinkHref(run.range.location));
        if (a.link && !a.link->isEmpty() && *a.link != kDefaultActionLink)
            format.setToolTip(*a.link);
    } else if (a.link && !a.link->isEmpty()) {
        format.setAnchor(true);
        format.setAnchorHref(*a.link);
    }
    return format;
}

} // namespace

QTextDocument *StyledText::toTextDocument(QObject *parent) const
{
    auto *document = new QTextDocument(parent);
    document->setUndoRedoEnabled(false);
    document->setDocumentMargin(0);
    document->setDefaultFont(QGuiApplication::font());
    QTextOption option = document->defaultTextOption();
    option.setTabStopDistance(detail::kTabStopDistance);
    document->setDefaultTextOption(option);

    auto *handler = new detail::AttachmentHandler(document);
    document->documentLayout()->registerHandler(detail::kAttachmentObjectType, handler);

    QTextCursor cursor(document);
    cursor.beginEditBlock();
    for (const StyledRun &run : runs()) {
        const QTextCharFormat format = charFormat(run);
        const QStringView piece = QStringView(m_text).mid(run.range.location, run.range.length);
        qsizetype start = 0;
        for (qsizetype i = 0; i < piece.size(); ++i) {
            if (piece[i] != QChar(kAttachmentCharacter))
                continue;
            if (i > start)
                cursor.insertText(piece.mid(start, i - start).toString(), format);
            QTextCharFormat objectFormat = format;
            if (run.attributes.attachment) {
                // The object is measured against the font it stands in.
                objectFormat.setFont(run.attributes.font.value_or(document->defaultFont()),
                                     QTextCharFormat::FontPropertiesAll);
                objectFormat.setVerticalAlignment(
                    detail::needsMiddle(*run.attributes.attachment, objectFormat.font()) ? QTextCharFormat::AlignMiddle
                                                                                        : QTextCharFormat::AlignNormal);
                objectFormat.setObjectType(detail::kAttachmentObjectType);
                objectFormat.setProperty(detail::kAttachmentIndexProperty, handler->add(run.attributes.attachment));
            }
            cursor.insertText(QString(QChar(kAttachmentCharacter)), objectFormat);
            start = i + 1;
        }
        if (start < piece.size())
            cursor.insertText(piece.mid(start).toString(), format);
    }

    // Paragraph attributes: a paragraph takes its first character's.
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        const TextAttributes a = attributesAt(block.position());
        if (!a.headIndent && !a.paragraphSpacing)
            continue;
        QTextBlockFormat format;
        if (a.headIndent && std::isfinite(*a.headIndent)) {
            // The lines after the first start at the head indent.
            const qreal indent = std::clamp<qreal>(*a.headIndent, 0, kMaxCellSide);
            format.setLeftMargin(indent);
            format.setTextIndent(-indent);
        }
        if (a.paragraphSpacing && std::isfinite(*a.paragraphSpacing))
            format.setBottomMargin(std::clamp<qreal>(*a.paragraphSpacing, 0, kMaxCellSide));
        QTextCursor at(block);
        at.mergeBlockFormat(format);
    }
    cursor.endEditBlock();
    return document;
}

} // namespace kalvo

#include "styledtext_document.moc"
