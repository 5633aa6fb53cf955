// Tokenizer and decoding for snippets. Everything here is a single forward
// pass over the bytes (each byte is looked at a bounded number of times),
// so input from a server cannot make it slow.
#include "html_snippet_p.h"

#include <QtGlobal>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace kalvo::html_detail {

namespace {

inline bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

Tag tagFromName(std::string_view name)
{
    switch (name.size()) {
    case 1:
        switch (name[0]) {
        case 'a':
            return Tag::A;
        case 'u':
            return Tag::U;
        case 'i':
            return Tag::I;
        case 'b':
            return Tag::B;
        default:
            return Tag::Text;
        }
    case 2:
        return name == "br" ? Tag::Br : Tag::Text;
    case 3:
        if (name == "img")
            return Tag::Img;
        return name == "br/" ? Tag::BrSlash : Tag::Text;
    case 4:
        return name == "font" ? Tag::Font : Tag::Text;
    case 6:
        return name == "tnview" ? Tag::TNView : Tag::Text;
    default:
        return Tag::Text;
    }
}

// Reads the name=value pairs in [p, end).
void readAttributes(const char *data, qsizetype p, qsizetype end, std::vector<RawAttribute> &out)
{
    while (p < end) {
        while (p < end && isSpace(data[p]))
            ++p;
        if (p >= end)
            break;
        const qsizetype nameBegin = p;
        while (p < end && !isSpace(data[p]) && data[p] != '=')
            ++p;
        const qsizetype nameLength = p - nameBegin;
        qsizetype q = p;
        while (q < end && isSpace(data[q]))
            ++q;
        if (q >= end || data[q] != '=') {
            out.push_back({nameBegin, nameLength, p, 0});
            continue; // p stays after the name: the next name starts at q
        }
        p = q + 1;
        while (p < end && isSpace(data[p]))
            ++p;
        qsizetype valueBegin = p;
        qsizetype valueEnd = p;
        if (p < end && (data[p] == '"' || data[p] == '\'')) {
            const char quote = data[p];
            valueBegin = ++p;
            // A quotation mark after a backslash belongs to the value.
            while (p < end && !(data[p] == quote && data[p - 1] != '\\'))
                ++p;
            valueEnd = p;
            if (p < end)
                ++p;
        } else {
            while (p < end && !isSpace(data[p]))
                ++p;
            valueEnd = p;
        }
        out.push_back({nameBegin, nameLength, valueBegin, valueEnd - valueBegin});
    }
}

} // namespace

std::string_view tagName(Tag tag)
{
    switch (tag) {
    case Tag::A:
        return "a";
    case Tag::U:
        return "u";
    case Tag::I:
        return "i";
    case Tag::B:
        return "b";
    case Tag::Font:
        return "font";
    case Tag::Br:
        return "br";
    case Tag::TNView:
        return "tnview";
    case Tag::Img:
        return "img";
    case Tag::BrSlash:
        return "br/";
    case Tag::Text:
        break;
    }
    return {};
}

const RawAttribute *Tokens::find(const char *data, const Token &token, std::string_view name) const
{
    for (std::uint32_t i = token.attributeCount; i > 0; --i) {
        const RawAttribute &attribute = attributes[token.firstAttribute + i - 1];
        if (std::size_t(attribute.nameLength) != name.size())
            continue;
        const char *candidate = data + attribute.nameBegin;
        std::size_t k = 0;
        while (k < name.size() && candidate[k] == name[k])
            ++k;
        if (k == name.size())
            return &attribute;
    }
    return nullptr;
}

void tokenize(const char *data, qsizetype size, Tokens &out)
{
    out.tokens.clear();
    out.attributes.clear();
    qsizetype textStart = 0;
    qsizetype pos = 0;
    while (pos < size) {
        const void *found = std::memchr(data + pos, '>', std::size_t(size - pos));
        if (!found)
            break;
        const qsizetype gt = static_cast<const char *>(found) - data;
        // The candidate starts at the last "<" before this ">": a later "<"
        // restarts it, and a ">" with no "<" before it is text.
        const void *open = gt > pos ? memrchr(data + pos, '<', std::size_t(gt - pos)) : nullptr;
        pos = gt + 1;
        if (!open)
            continue;
        const qsizetype lt = static_cast<const char *>(open) - data;
        qsizetype nameEnd = lt + 1;
        while (nameEnd < gt && !isSpace(data[nameEnd]))
            ++nameEnd;
        std::string_view name(data + lt + 1, std::size_t(nameEnd - lt - 1));
        const bool trail = !name.empty() && name.front() == '/';
        if (trail)
            name.remove_prefix(1);
        const Tag tag = tagFromName(name);
        if (tag == Tag::Text)
            continue;

        if (lt > textStart)
            out.tokens.push_back({Tag::Text, false, textStart, lt, 0, 0});
        Token token {tag, trail, lt, gt + 1, std::uint32_t(out.attributes.size()), 0};
        if (!trail) {
            readAttributes(data, nameEnd, gt, out.attributes);
            token.attributeCount = std::uint32_t(out.attributes.size() - token.firstAttribute);
        }
        out.tokens.push_back(token);
        textStart = gt + 1;
    }
    if (textStart < size)
        out.tokens.push_back({Tag::Text, false, textStart, size, 0, 0});
}

qsizetype decodeText(const char *data, qsizetype size, char16_t *out, bool decodeEntities)
{
    const auto *s = reinterpret_cast<const unsigned char *>(data);
    qsizetype i = 0;
    char16_t *o = out;
    auto continuation = [&](qsizetype at, unsigned char low, unsigned char high) {
        return at < size && s[at] >= low && s[at] <= high;
    };
    while (i < size) {
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
        // Plain ASCII without "&", eight bytes at a time; a word that holds
        // something else still hands over the plain bytes before it.
        while (i + 8 <= size) {
            std::uint64_t word;
            std::memcpy(&word, s + i, 8);
            std::uint64_t stop = word & 0x8080808080808080ull;
            if (decodeEntities) {
                const std::uint64_t amp = word ^ 0x2626262626262626ull; // zero bytes where "&" is
                // Exact up to the first "&", which is all that is used.
                stop |= (amp - 0x0101010101010101ull) & ~amp & 0x8080808080808080ull;
            }
            const int plain = stop ? __builtin_ctzll(stop) / 8 : 8; // little-endian byte order
            for (int k = 0; k < plain; ++k)
                o[k] = char16_t(s[i + k]);
            o += plain;
            i += plain;
            if (plain < 8)
                break;
        }
#endif
        if (i >= size)
            break;
        const unsigned char b = s[i];
        if (b < 0x80) {
            if (b == '&' && decodeEntities) {
                const char *p = data + i;
                const qsizetype left = size - i;
                if (left >= 4 && std::memcmp(p, "&lt;", 4) == 0) {
                    *o++ = u'<';
                    i += 4;
                    continue;
                }
                if (left >= 4 && std::memcmp(p, "&gt;", 4) == 0) {
                    *o++ = u'>';
                    i += 4;
                    continue;
                }
                if (left >= 6 && std::memcmp(p, "&quot;", 6) == 0) {
                    *o++ = u'"';
                    i += 6;
                    continue;
                }
                if (left >= 5 && std::memcmp(p, "&amp;", 5) == 0) {
                    *o++ = u'&';
                    i += 5;
                    continue;
                }
            }
            *o++ = char16_t(b);
            ++i;
            continue;
        }
        // Multi-byte sequences; the second byte's range excludes overlong
        // forms, surrogates and values above U+10FFFF.
        if (b >= 0xC2 && b <= 0xDF) {
            if (continuation(i + 1, 0x80, 0xBF)) {
                *o++ = char16_t(((b & 0x1F) << 6) | (s[i + 1] & 0x3F));
                i += 2;
                continue;
            }
            *o++ = 0xFFFD;
            i += 1;
            continue;
        }
        if (b >= 0xE0 && b <= 0xEF) {
            const unsigned char low = b == 0xE0 ? 0xA0 : 0x80;
            const unsigned char high = b == 0xED ? 0x9F : 0xBF;
            if (!continuation(i + 1, low, high)) {
                *o++ = 0xFFFD;
                i += 1;
                continue;
            }
            if (!continuation(i + 2, 0x80, 0xBF)) {
                *o++ = 0xFFFD;
                i += 2;
                continue;
            }
            *o++ = char16_t(((b & 0x0F) << 12) | ((s[i + 1] & 0x3F) << 6) | (s[i + 2] & 0x3F));
            i += 3;
            continue;
        }
        if (b >= 0xF0 && b <= 0xF4) {
            const unsigned char low = b == 0xF0 ? 0x90 : 0x80;
            const unsigned char high = b == 0xF4 ? 0x8F : 0xBF;
            if (!continuation(i + 1, low, high)) {
                *o++ = 0xFFFD;
                i += 1;
                continue;
            }
            if (!continuation(i + 2, 0x80, 0xBF)) {
                *o++ = 0xFFFD;
                i += 2;
                continue;
            }
            if (!continuation(i + 3, 0x80, 0xBF)) {
                *o++ = 0xFFFD;
                i += 3;
                continue;
            }
            const char32_t cp = (char32_t(b & 0x07) << 18) | (char32_t(s[i + 1] & 0x3F) << 12)
                | (char32_t(s[i + 2] & 0x3F) << 6) | char32_t(s[i + 3] & 0x3F);
            // 4 bytes in, 2 units out: still never longer than the input.
            *o++ = char16_t(0xD800 + ((cp - 0x10000) >> 10));
            *o++ = char16_t(0xDC00 + ((cp - 0x10000) & 0x3FF));
            i += 4;
            continue;
        }
        *o++ = 0xFFFD; // stray continuation byte, C0, C1 or F5..FF
        i += 1;
    }
    return o - out;
}

QString decodedString(const char *data, qsizetype size, bool decodeEntities)
{
    if (size <= 0)
        return QString();
    QString result(size, Qt::Uninitialized);
    const qsizetype written = decodeText(data, size, reinterpret_cast<char16_t *>(result.data()), decodeEntities);
    result.truncate(written);
    return result;
}

qint64 integerValue(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && (isSpace(text[i])))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    qint64 value = 0;
    const qint64 limit = std::numeric_limits<qint64>::max();
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        const int digit = text[i] - '0';
        if (value > (limit - digit) / 10)
            return negative ? std::numeric_limits<qint64>::min() : limit;
        value = value * 10 + digit;
    }
    return negative ? -value : value;
}

double doubleValue(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && isSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Digits and a point only: no "inf" or "nan" from a server.
    if (i >= text.size() || !((text[i] >= '0' && text[i] <= '9') || text[i] == '.'))
        return 0;
    double value = 0;
    const auto result = std::from_chars(text.data() + i, text.data() + text.size(), value, std::chars_format::general);
    if (result.ec != std::errc() || !std::isfinite(value))
        return 0;
    return negative ? -value : value;
}

} // namespace kalvo::html_detail
