// What StyledText::toTextDocument puts into its documents beyond plain
// formats, shared with StyledLabel (and the tests): the inline-object type of
// attachments, where an attachment is drawn, and the internal anchors of
// target/action links.
#pragma once

#include <kalvo/html/styledtext.h>

#include <QRectF>
#include <QTextFormat>

#include <optional>

class QTextDocument;

namespace kalvo::detail {

// The inline-object type attachments are registered under, and the char
// format property holding the attachment's index in the document's list.
inline constexpr int kAttachmentObjectType = QTextFormat::UserObject + 0x4B1;
inline constexpr int kAttachmentIndexProperty = QTextFormat::UserProperty + 0x4B1;

// The tab interval of styled text (what imported list markers are laid out
// with; Qt's default of 80 is far wider than any text system's).
inline constexpr qreal kTabStopDistance = 28.0;

// The attachment standing at `position` of a document made by
// toTextDocument(); null for any other character or document.
KALVO_EXPORT TextAttachmentPtr attachmentAt(const QTextDocument *document, int position);

// Where the attachment at `position` is drawn, in document coordinates: its
// cell's place on the line with the baseline offset applied. Lays the
// document out when needed; empty when no attachment stands there.
KALVO_EXPORT QRectF attachmentRect(const QTextDocument *document, int position);

// Target/action links have no URL of their own: their anchors carry an
// internal href naming the run's start.
KALVO_EXPORT QString internalLinkHref(qsizetype location);
KALVO_EXPORT std::optional<qsizetype> internalLinkLocation(const QString &href);

// Whether the attributes describe a target/action link (run by invoking the
// action, not by opening the link).
KALVO_EXPORT bool isActionLink(const TextAttributes &attributes);

} // namespace kalvo::detail
