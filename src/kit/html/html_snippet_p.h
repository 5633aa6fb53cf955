// The snippet tokenizer and the helpers the parser and the string additions
// share. The input is either UTF-8 bytes (char, as servers send them) or
// UTF-16 (char16_t, a QString's own units, read without a conversion); tokens
// point into it, and nothing is decoded or copied until the parser needs a
// value.
#pragma once

#include <kalvo/global.h>
#include <kalvo/html/htmlsnippet.h>

#include <QString>
#include <QStringView>

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <vector>

namespace kalvo::html_detail {

enum class Tag : std::uint8_t { Text, A, U, I, B, Font, Br, TNView, Img, BrSlash };

// Appends to a vector by writing in place through an index, over the
// elements kept from earlier snippets: no call per element (compilers keep
// emplace_back out of line in the big loops here), and no record built on
// the stack and copied in (reading it back before its stores have landed
// stalls). Every field of an element handed out must be written; finish()
// trims the vector to what was appended.
template<typename T> class Appender
{
public:
    explicit Appender(std::vector<T> &vector) : m_vector(vector) { }

    std::size_t size() const { return m_size; }
    T &operator[](std::size_t index) { return m_vector[index]; }
    T &next()
    {
        if (m_size == m_vector.size()) // doubling: the slots made are in proportion to those used
            m_vector.resize(std::max(std::size_t(16), m_vector.size() * 2));
        return m_vector[m_size++];
    }
    void finish() { m_vector.resize(m_size); }

private:
    std::vector<T> &m_vector;
    std::size_t m_size = 0;
};

// A name=value pair of a tag, as offsets into the input (bytes or UTF-16
// units, as the input is).
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
    qsizetype begin = 0; // offsets into the input
    qsizetype end = 0;
    std::uint32_t firstAttribute = 0; // into Tokens::attributes
    std::uint32_t attributeCount = 0;
};

struct Tokens
{
    std::vector<Token> tokens;
    std::vector<RawAttribute> attributes;

    // The value of the last attribute `name` (ASCII) of the token (a
    // dictionary keeps the last of a repeated name); nullptr when absent.
    template<typename Ch> const RawAttribute *find(const Ch *data, const Token &token, std::string_view name) const;
};

// (The helpers are exported for the tests.)

// Splits `data` into text and tag tokens; attributes are read for opening
// tags only. Markup is ASCII and no UTF-8 sequence or surrogate contains an
// ASCII value, so both forms of one text give the same tokens.
template<typename Ch> void tokenize(const Ch *data, qsizetype size, Tokens &out);

// The lower-case tag names.
std::string_view tagName(Tag tag);

// "&lt;", "&gt;", "&quot;" or "&amp;" at `p` (which holds `left` units):
// the length matched, with the character in `decoded`; 0 for anything else.
template<typename Ch> inline int matchEntity(const Ch *p, qsizetype left, char16_t &decoded)
{
    auto is = [&](const char *entity, int length) {
        if (left < length)
            return false;
        for (int k = 1; k < length; ++k) { // p[0] is the "&"
            if (p[k] != Ch(entity[k]))
                return false;
        }
        return true;
    };
    if (is("&lt;", 4)) {
        decoded = u'<';
        return 4;
    }
    if (is("&gt;", 4)) {
        decoded = u'>';
        return 4;
    }
    if (is("&quot;", 6)) {
        decoded = u'"';
        return 6;
    }
    if (is("&amp;", 5)) {
        decoded = u'&';
        return 5;
    }
    return 0;
}

// To UTF-16 with the four entities decoded (when asked), writing to `out`,
// which must have room for `size` units: the result is never longer than
// the input, and the decoders may write (not count) up to that much.
// Returns the number of units written.
// From UTF-8: invalid sequences become U+FFFD, one per maximal invalid
// subpart.
KALVO_EXPORT qsizetype decodeText(const char *data, qsizetype size, char16_t *out, bool decodeEntities);
// From UTF-16: a surrogate that is not part of a pair becomes U+FFFD when
// `repairSurrogates` is set (as the UTF-8 form would have it) and is copied
// as it is otherwise.
KALVO_EXPORT qsizetype decodeText(
    const char16_t *data, qsizetype size, char16_t *out, bool decodeEntities, bool repairSurrogates = true);
// The same where `room` (>= size) units can be read from `data` and written
// to `out`: the copy then works in whole blocks up to the end.
KALVO_EXPORT qsizetype decodeText(const char16_t *data, qsizetype size, qsizetype room, char16_t *out,
    bool decodeEntities, bool repairSurrogates = true);

KALVO_EXPORT QString decodedString(const char *data, qsizetype size, bool decodeEntities);
KALVO_EXPORT QString decodedString(const char16_t *data, qsizetype size, bool decodeEntities);

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
