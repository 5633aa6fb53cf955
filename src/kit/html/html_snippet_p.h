// The snippet tokenizer and the byte-level helpers the parser and the string
// additions share. Tokens point into the input bytes; nothing is decoded or
// copied until the parser needs a value.
#pragma once

#include <kalvo/global.h>
#include <kalvo/html/htmlsnippet.h>

#include <QString>
#include <QStringView>

#include <cstdint>
#include <string_view>
#include <vector>

namespace kalvo::html_detail {

enum class Tag : std::uint8_t { Text, A, U, I, B, Font, Br, TNView, Img, BrSlash };

// A name=value pair of a tag, as byte offsets into the input.
struct RawAttribute
{
    qsizetype nameBegin;
    qsizetype nameLength;
    qsizetype valueBegin;
    qsizetype valueLength;
};

struct Token
{
    Tag tag = Tag::Text;
    bool trail = false;
    qsizetype begin = 0; // bytes of the input
    qsizetype end = 0;
    std::uint32_t firstAttribute = 0; // into Tokens::attributes
    std::uint32_t attributeCount = 0;
};

struct Tokens
{
    std::vector<Token> tokens;
    std::vector<RawAttribute> attributes;

    // The value of the last attribute `name` of the token (a dictionary
    // keeps the last of a repeated name); nullptr when absent.
    const RawAttribute *find(const char *data, const Token &token, std::string_view name) const;
};

// (The helpers are exported for the tests.)

// Splits `data` into text and tag tokens; attributes are read for opening
// tags only.
void tokenize(const char *data, qsizetype size, Tokens &out);

// The lower-case tag names.
std::string_view tagName(Tag tag);

// UTF-8 → UTF-16 with the four entities decoded, writing to `out` (which
// must have room for `size` units: the result is never longer than the
// input). Invalid sequences become U+FFFD, one per maximal invalid subpart.
// Returns the number of units written.
KALVO_EXPORT qsizetype decodeText(const char *data, qsizetype size, char16_t *out, bool decodeEntities);

KALVO_EXPORT QString decodedString(const char *data, qsizetype size, bool decodeEntities);

// NSString-style number prefixes: leading whitespace, a sign, digits;
// integers saturate, anything unreadable is 0.
KALVO_EXPORT qint64 integerValue(std::string_view text);
KALVO_EXPORT double doubleValue(std::string_view text);

// ---- Made outside the parser (html_snippet_resources.cpp) ----

// Links: #0C63CE in light, #4F9AF7 in dark.
ColorPtr snippetLinkColor();
// A "font" colour: light/dark with alphas when the dark alpha is above 0,
// else the light colour, opaque, in both.
ColorPtr snippetColor(const TNHTMLColorValue &value);
// An image cell for an attachments entry (ImagePtr, QImage or QPixmap), or
// nothing for anything else.
TextAttachmentPtr imageAttachmentFromValue(const QVariant &value);
// An image cell for a registered image name, or nothing.
TextAttachmentPtr namedImageAttachment(const QString &name);
// A view cell for a widget, or nothing for any other object.
TextAttachmentPtr viewAttachmentFromObject(QObject *object);

} // namespace kalvo::html_detail
