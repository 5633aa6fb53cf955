// Tokenizer and decoding for snippets. Everything here is a single forward
// pass over the input (each byte or unit is looked at a bounded number of
// times), so input from a server cannot make it slow.
#include "html_snippet_p.h"

#include <QtGlobal>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kalvo::html_detail {

namespace {

template<typename Ch> inline bool isSpace(Ch c)
{
    // ' ', '\t', '\n' or '\r', with one compare and one bit test.
    constexpr std::uint64_t spaces = (1ull << ' ') | (1ull << '\t') | (1ull << '\n') | (1ull << '\r');
    const auto unit = std::make_unsigned_t<Ch>(c);
    return unit <= ' ' && (spaces >> unit) & 1;
}

// `name` (a tag name) against the ASCII `word`.
template<typename Ch> bool nameIs(const Ch *name, std::string_view word)
{
    for (std::size_t k = 0; k < word.size(); ++k) {
        if (name[k] != Ch(word[k]))
            return false;
    }
    return true;
}

template<typename Ch> Tag tagFromName(const Ch *name, qsizetype size)
{
    switch (size) {
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
        return nameIs(name, "br") ? Tag::Br : Tag::Text;
    case 3:
        if (nameIs(name, "img"))
            return Tag::Img;
        return nameIs(name, "br/") ? Tag::BrSlash : Tag::Text;
    case 4:
        return nameIs(name, "font") ? Tag::Font : Tag::Text;
    case 6:
        return nameIs(name, "tnview") ? Tag::TNView : Tag::Text;
    default:
        return Tag::Text;
    }
}

// The first `c` in [p, end), or `end`.
qsizetype findUnit(const char *data, qsizetype p, qsizetype end, char c)
{
    const void *found = p < end ? std::memchr(data + p, c, std::size_t(end - p)) : nullptr;
    return found ? static_cast<const char *>(found) - data : end;
}

qsizetype findUnit(const char16_t *data, qsizetype p, qsizetype end, char16_t c)
{
#if defined(__SSE2__)
    const __m128i wanted = _mm_set1_epi16(short(c));
    for (; p + 8 <= end; p += 8) {
        const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + p));
        const unsigned hit = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi16(units, wanted)));
        if (hit)
            return p + std::countr_zero(hit) / 2;
    }
#endif
    while (p < end && data[p] != c)
        ++p;
    return p;
}

void appendAttribute(
    Appender<RawAttribute> &out, qsizetype nameBegin, qsizetype nameLength, qsizetype valueBegin, qsizetype valueLength)
{
    RawAttribute &attribute = out.next();
    attribute.nameBegin = nameBegin;
    attribute.nameLength = nameLength;
    attribute.valueBegin = valueBegin;
    attribute.valueLength = valueLength;
}

Token &appendToken(Appender<Token> &out, Tag tag, qsizetype begin, qsizetype end)
{
    Token &token = out.next();
    token.tag = tag;
    token.trail = false;
    token.begin = begin;
    token.end = end;
    token.firstAttribute = 0;
    token.attributeCount = 0;
    return token;
}

// Reads the name=value pairs in [p, end).
template<typename Ch> void readAttributes(const Ch *data, qsizetype p, qsizetype end, Appender<RawAttribute> &out)
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
            appendAttribute(out, nameBegin, nameLength, p, 0);
            continue; // p stays after the name: the next name starts at q
        }
        p = q + 1;
        while (p < end && isSpace(data[p]))
            ++p;
        qsizetype valueBegin = p;
        qsizetype valueEnd = p;
        if (p < end && (data[p] == '"' || data[p] == '\'')) {
            const Ch quote = data[p];
            valueBegin = ++p;
            // A quotation mark after a backslash belongs to the value.
            for (;; ++p) {
                p = findUnit(data, p, end, quote);
                if (p >= end || data[p - 1] != '\\')
                    break;
            }
            valueEnd = p;
            if (p < end)
                ++p;
        } else {
            while (p < end && !isSpace(data[p]))
                ++p;
            valueEnd = p;
        }
        appendAttribute(out, nameBegin, nameLength, valueBegin, valueEnd - valueBegin);
    }
}

#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
// Four UTF-16 units in a 64-bit word: a lane's top bit is set where the lane
// is zero. Exact for the lowest zero lane (higher ones may be false hits),
// which is the only one the callers use.
inline std::uint64_t zeroLanes16(std::uint64_t x)
{
    return (x - 0x0001000100010001ull) & ~x & 0x8000800080008000ull;
}
#endif

// The next ">" at or after `pos` and the last "<" before it (from `pos`
// on), or false when no ">" is left.
bool findTag(const char *data, qsizetype pos, qsizetype size, qsizetype &lt, qsizetype &gt)
{
    const void *found = std::memchr(data + pos, '>', std::size_t(size - pos));
    if (!found)
        return false;
    gt = static_cast<const char *>(found) - data;
    const void *open = gt > pos ? memrchr(data + pos, '<', std::size_t(gt - pos)) : nullptr;
    lt = open ? static_cast<const char *>(open) - data : -1;
    return true;
}

// The "<" and ">" of UTF-16 text from left to right: a mask of their
// positions in a block of 16 units, walked bit by bit. ("<" is 0x3C and ">"
// 0x3E: exactly the units that OR 2 makes 0x3E.)
class AngleScanner
{
public:
    AngleScanner(const char16_t *data, qsizetype size) : m_data(data), m_size(size) { }

    // The first "<" or ">" at or after `pos` (never before an earlier
    // answer), or `size`.
    qsizetype next(qsizetype pos)
    {
        for (;;) {
            if (pos >= m_base + kBlock) {
                if (pos >= m_size)
                    return m_size;
                load(pos);
            } else if (pos > m_base) {
                m_mask &= ~0u << (pos - m_base); // consumed or skipped
            }
            if (m_mask)
                return m_base + std::countr_zero(m_mask);
            if (m_base + kBlock >= m_size)
                return m_size;
            pos = m_base + kBlock;
        }
    }

private:
    static constexpr qsizetype kBlock = 16;

    void load(qsizetype pos)
    {
        m_base = pos;
        m_mask = 0;
        const char16_t *units = m_data + pos;
#if defined(__SSE2__)
        if (pos + kBlock <= m_size) {
            const __m128i two = _mm_set1_epi16(2);
            const __m128i angle = _mm_set1_epi16(0x3E);
            const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i *>(units));
            const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i *>(units + 8));
            const __m128i hits = _mm_packs_epi16(
                _mm_cmpeq_epi16(_mm_or_si128(low, two), angle), _mm_cmpeq_epi16(_mm_or_si128(high, two), angle));
            m_mask = unsigned(_mm_movemask_epi8(hits));
            return;
        }
#endif
        const qsizetype count = std::min(kBlock, m_size - pos);
        for (qsizetype k = 0; k < count; ++k)
            m_mask |= unsigned((units[k] | 2) == u'>') << k;
    }

    const char16_t *m_data;
    qsizetype m_size;
    qsizetype m_base = -kBlock; // the block's first unit
    unsigned m_mask = 0; // bit k: a "<" or ">" at m_base + k
};

bool findTag(AngleScanner &scanner, const char16_t *data, qsizetype pos, qsizetype size, qsizetype &lt, qsizetype &gt)
{
    lt = -1;
    for (;;) {
        pos = scanner.next(pos);
        if (pos >= size)
            return false;
        if (data[pos] == u'>') {
            gt = pos;
            return true;
        }
        lt = pos++;
    }
}

// Bytes have memchr/memrchr.
struct NoScanner
{
    NoScanner(const char *, qsizetype) { }
};

bool findTag(NoScanner &, const char *data, qsizetype pos, qsizetype size, qsizetype &lt, qsizetype &gt)
{
    return findTag(data, pos, size, lt, gt);
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

template<typename Ch> const RawAttribute *Tokens::find(const Ch *data, const Token &token, std::string_view name) const
{
    for (std::uint32_t i = token.attributeCount; i > 0; --i) {
        const RawAttribute &attribute = attributes[token.firstAttribute + i - 1];
        if (std::size_t(attribute.nameLength) == name.size() && nameIs(data + attribute.nameBegin, name))
            return &attribute;
    }
    return nullptr;
}

template<typename Ch> void tokenize(const Ch *data, qsizetype size, Tokens &out)
{
    Appender<Token> tokens(out.tokens);
    Appender<RawAttribute> attributes(out.attributes);
    qsizetype textStart = 0;
    qsizetype pos = 0;
    qsizetype lt = 0;
    qsizetype gt = 0;
    std::conditional_t<std::is_same_v<Ch, char>, NoScanner, AngleScanner> scanner(data, size);
    // The candidate starts at the last "<" before a ">": a later "<"
    // restarts it, and a ">" with no "<" before it is text.
    while (pos < size && findTag(scanner, data, pos, size, lt, gt)) {
        pos = gt + 1;
        if (lt < 0)
            continue;
        qsizetype nameEnd = lt + 1;
        while (nameEnd < gt && !isSpace(data[nameEnd]))
            ++nameEnd;
        const Ch *name = data + lt + 1;
        qsizetype nameLength = nameEnd - lt - 1;
        const bool trail = nameLength > 0 && name[0] == '/';
        if (trail) {
            ++name;
            --nameLength;
        }
        const Tag tag = tagFromName(name, nameLength);
        if (tag == Tag::Text)
            continue;

        if (lt > textStart)
            appendToken(tokens, Tag::Text, textStart, lt);
        const auto firstAttribute = std::uint32_t(attributes.size());
        if (!trail)
            readAttributes(data, nameEnd, gt, attributes);
        Token &token = appendToken(tokens, tag, lt, gt + 1);
        token.trail = trail;
        token.firstAttribute = firstAttribute;
        token.attributeCount = std::uint32_t(attributes.size()) - firstAttribute;
        textStart = gt + 1;
    }
    if (textStart < size)
        appendToken(tokens, Tag::Text, textStart, size);
    tokens.finish();
    attributes.finish();
}

template const RawAttribute *Tokens::find(const char *, const Token &, std::string_view) const;
template const RawAttribute *Tokens::find(const char16_t *, const Token &, std::string_view) const;
template void tokenize(const char *, qsizetype, Tokens &);
template void tokenize(const char16_t *, qsizetype, Tokens &);

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
                if (const int length = matchEntity(data + i, size - i, *o)) {
                    ++o;
                    i += length;
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

qsizetype decodeText(const char16_t *data, qsizetype size, char16_t *out, bool decodeEntities, bool repairSurrogates)
{
    return decodeText(data, size, size, out, decodeEntities, repairSurrogates);
}

qsizetype decodeText(
    const char16_t *data, qsizetype size, qsizetype room, char16_t *out, bool decodeEntities, bool repairSurrogates)
{
    qsizetype i = 0;
    char16_t *o = out;
    while (i < size) {
        // Units that need no look, a block at a time. The whole block is
        // stored and only the plain units counted: `o` never runs ahead of
        // `i`, so the store stays inside the room. A block may reach past
        // `size` into the room, whose units are stops.
#if defined(__SSE2__)
        const __m128i amp = _mm_set1_epi16(u'&');
        const __m128i surrogateBits = _mm_set1_epi16(short(0xF800));
        const __m128i surrogate = _mm_set1_epi16(short(0xD800));
        while (i + 8 <= room) {
            const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + i));
            __m128i stop = _mm_setzero_si128();
            if (repairSurrogates)
                stop = _mm_cmpeq_epi16(_mm_and_si128(units, surrogateBits), surrogate);
            if (decodeEntities)
                stop = _mm_or_si128(stop, _mm_cmpeq_epi16(units, amp));
            _mm_storeu_si128(reinterpret_cast<__m128i *>(o), units);
            unsigned mask = unsigned(_mm_movemask_epi8(stop));
            const qsizetype left = size - i;
            if (left < 8)
                mask |= 0xFFFFu << (2 * left);
            const int plain = mask ? std::countr_zero(mask) / 2 : 8;
            o += plain;
            i += plain;
            if (plain < 8)
                break;
        }
#elif Q_BYTE_ORDER == Q_LITTLE_ENDIAN
        while (i + 4 <= size) {
            std::uint64_t word;
            std::memcpy(&word, data + i, 8);
            std::uint64_t stop = 0;
            if (repairSurrogates)
                stop = zeroLanes16((word & 0xF800F800F800F800ull) ^ 0xD800D800D800D800ull);
            if (decodeEntities)
                stop |= zeroLanes16(word ^ 0x0026002600260026ull);
            std::memcpy(o, &word, 8);
            const int plain = stop ? std::countr_zero(stop) / 16 : 4;
            o += plain;
            i += plain;
            if (plain < 4)
                break;
        }
#endif
        if (i >= size)
            break;
        const char16_t c = data[i];
        if (c == u'&' && decodeEntities) {
            if (const int length = matchEntity(data + i, size - i, *o)) {
                ++o;
                i += length;
                continue;
            }
        } else if (repairSurrogates && (c & 0xF800) == 0xD800) {
            if (c < 0xDC00 && i + 1 < size && (data[i + 1] & 0xFC00) == 0xDC00) {
                *o++ = c;
                *o++ = data[i + 1];
                i += 2;
            } else {
                *o++ = 0xFFFD;
                ++i;
            }
            continue;
        }
        *o++ = c;
        ++i;
    }
    return o - out;
}

namespace {

template<typename Ch> QString decodedStringOf(const Ch *data, qsizetype size, bool decodeEntities)
{
    if (size <= 0)
        return QString();
    QString result(size, Qt::Uninitialized);
    const qsizetype written = decodeText(data, size, reinterpret_cast<char16_t *>(result.data()), decodeEntities);
    result.truncate(written);
    return result;
}

} // namespace

QString decodedString(const char *data, qsizetype size, bool decodeEntities)
{
    return decodedStringOf(data, size, decodeEntities);
}

QString decodedString(const char16_t *data, qsizetype size, bool decodeEntities)
{
    return decodedStringOf(data, size, decodeEntities);
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
