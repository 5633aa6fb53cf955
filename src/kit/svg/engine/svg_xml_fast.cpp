// A quick reader for the plain XML icon files are made of: elements,
// attributes, the five predefined entities and character references,
// comments, processing instructions and CDATA sections, in UTF-8. It gives
// the tree Qt's reader gives, several times faster. Anything else (a
// document type declaration, another encoding, any well-formedness error)
// makes it give up, and Qt's reader reads the document instead: errors and
// the rarer features keep their one implementation.
#include "svg_prepare_p.h"

#include <QStringView>

#include <array>
#include <cstring>
#include <map>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kalvo::svg {

namespace {

// Byte scans, sixteen bytes at a time where the processor can: icon files
// are mostly long attribute values and white space.

// The first byte in [from, to) equal to a or b, or `to`.
const char *findEither(const char *from, const char *to, char a, char b)
{
#if defined(__SSE2__)
    const __m128i va = _mm_set1_epi8(a), vb = _mm_set1_epi8(b);
    for (; to - from >= 16; from += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(from));
        const int mask = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, va), _mm_cmpeq_epi8(v, vb)));
        if (mask)
            return from + __builtin_ctz(static_cast<unsigned>(mask));
    }
#endif
    for (; from < to; ++from) {
        if (*from == a || *from == b)
            return from;
    }
    return to;
}

// Whether [from, to) holds '&' or '\r', or with `blanks` also '\n' or
// '\t': what decoding has to change. Bytes up to `readableEnd` (when
// given) may be read past `to`.
bool needsDecoding(const char *from, const char *to, bool blanks, const char *readableEnd = nullptr)
{
#if defined(__SSE2__)
    const __m128i amp = _mm_set1_epi8('&'), cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8(blanks ? '\n' : '&'), tab = _mm_set1_epi8(blanks ? '\t' : '&');
    auto hits = [&](const char *at) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(at));
        return unsigned(_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, amp), _mm_cmpeq_epi8(v, cr)),
                                                       _mm_or_si128(_mm_cmpeq_epi8(v, lf), _mm_cmpeq_epi8(v, tab)))));
    };
    for (; to - from >= 16; from += 16) {
        if (hits(from))
            return true;
    }
    // The rest (most values are short) in one more step where the bytes
    // after it may be read, the hits beyond it left out.
    if (from < to && readableEnd && readableEnd - from >= 16)
        return (hits(from) & ((1u << (to - from)) - 1)) != 0;
#endif
    bool special = false;
    for (; from < to; ++from)
        special |= (*from == '&') | (*from == '\r') | (blanks & ((*from == '\n') | (*from == '\t')));
    return special;
}

// Whether the bytes hold a control character XML does not allow (below
// 0x20 other than tab, line feed and carriage return).
bool hasControlCharacter(const char *from, const char *to)
{
#if defined(__SSE2__)
    const __m128i top = _mm_set1_epi8(0x1f);
    const __m128i tab = _mm_set1_epi8('\t'), lf = _mm_set1_epi8('\n'), cr = _mm_set1_epi8('\r');
    for (; to - from >= 16; from += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(from));
        // v <= 0x1f, unsigned: the minimum with 0x1f is v itself.
        const __m128i low = _mm_cmpeq_epi8(_mm_min_epu8(v, top), v);
        const __m128i allowed = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, tab), _mm_cmpeq_epi8(v, lf)),
                                             _mm_cmpeq_epi8(v, cr));
        if (_mm_movemask_epi8(_mm_andnot_si128(allowed, low)))
            return true;
    }
#endif
    bool control = false;
    for (; from < to; ++from) {
        const auto u = static_cast<unsigned char>(*from);
        control |= (u < 0x20) & (u != '\t') & (u != '\n') & (u != '\r');
    }
    return control;
}

class FastReader
{
public:
    FastReader(const QByteArray &bytes, const PrepareLimits &limits)
        : m_p(bytes.constData()), m_end(bytes.constData() + bytes.size()), m_limits(limits)
    {
    }

    bool read(ReadResult &result);

private:
    bool atEnd() const { return m_p >= m_end; }
    bool startsWith(const char *text) const
    {
        for (const char *q = m_p; *text; ++q, ++text) {
            if (q >= m_end || *q != *text)
                return false;
        }
        return true;
    }
    static bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
    static bool isNameStart(char c)
    {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':';
    }
    static bool isNameChar(char c)
    {
        return isNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
    }
    void skipSpace()
    {
        while (m_p < m_end && isSpace(*m_p))
            ++m_p;
    }
    bool readName(QByteArrayView &name);
    // Text up to `stop` (exclusive), entities decoded, line ends
    // normalised; attribute values also turn white space into spaces.
    bool decode(const char *from, const char *to, bool attribute, QString &out) const;
    bool skipUntil(const char *terminator);
    bool readStartTag(ReadResult &result);
    bool readEndTag(ReadResult &result);
    bool readText(const char *to);
    void close(ReadResult &result);

    const char *m_p;
    const char *m_end;
    const PrepareLimits &m_limits;
    QList<KTNSvgElement> m_stack;
    // Every open element's name as written (end tags must repeat it), and
    // how many of the innermost are skipped for being beyond the limits.
    QList<QByteArrayView> m_open;
    int m_skipped = 0;
    qsizetype m_count = 0;
    bool m_svgPrefix = false;
    bool m_rootClosed = false;
    bool m_sawDocumentType = false;
};

// The names icon files use over and over: a name read here shares one of
// these instead of making its own. They point at string literals and own
// nothing, so copying one (into every attribute map) counts no references.
// Kept by length, so that a name is compared with the few of its own
// length only.
QString internedName(QByteArrayView written)
{
    constexpr qsizetype kLongest = 24;
    static const auto names = [] {
        std::array<QList<QString>, kLongest + 1> byLength;
        for (const QStringView name :
             {u"svg", u"g", u"path", u"rect", u"circle", u"ellipse", u"line", u"polyline", u"polygon", u"defs",
              u"use", u"title", u"desc", u"style", u"linearGradient", u"radialGradient", u"stop", u"clipPath",
              u"mask", u"symbol", u"xmlns", u"xmlns:xlink", u"version", u"width", u"height", u"viewBox", u"class",
              u"id", u"d", u"points", u"x", u"y", u"x1", u"y1", u"x2", u"y2", u"cx", u"cy", u"r", u"rx", u"ry",
              u"fill", u"fill-rule", u"fill-opacity", u"clip-rule", u"stroke", u"stroke-width", u"stroke-linecap",
              u"stroke-linejoin", u"stroke-miterlimit", u"stroke-opacity", u"stroke-dasharray",
              u"stroke-dashoffset", u"opacity", u"transform", u"color", u"offset", u"stop-color", u"stop-opacity",
              u"gradientUnits", u"gradientTransform", u"href", u"xlink:href", u"clip-path", u"display",
              u"visibility", u"enable-background", u"xml:space", u"aria-hidden", u"role", u"preserveAspectRatio"})
            byLength[name.size()].append(QString::fromRawData(name.data(), name.size()));
        return byLength;
    }();
    if (written.size() <= kLongest) {
        for (const QString &name : names[written.size()]) {
            const QChar *u = name.constData();
            qsizetype i = 0;
            while (i < written.size() && u[i].unicode() == static_cast<unsigned char>(written[i]))
                ++i;
            if (i == written.size())
                return name;
        }
    }
    return QString::fromLatin1(written);
}

// Short attribute values repeat within a file and from file to file
// ("none", "round", "currentColor", "0 0 24 24"): the last string made for
// each is kept (per thread, a few hundred at most) and shared. Answers
// false for a value this does not take (long, not plain ASCII, anything
// to decode).
bool sharedValue(const char *from, const char *to, const char *readableEnd, QString &out)
{
    constexpr qsizetype kLongest = 24;
    constexpr std::size_t kSlots = 256;
    const qsizetype length = to - from;
    if (length == 0 || length > kLongest)
        return false;
    uint32_t hash = 2166136261u;
    unsigned char high = 0;
    for (const char *q = from; q < to; ++q) {
        const auto c = static_cast<unsigned char>(*q);
        high |= c;
        hash = (hash ^ c) * 16777619u;
    }
    if ((high & 0x80) || needsDecoding(from, to, true, readableEnd))
        return false;
    thread_local std::array<QString, kSlots> slots;
    QString &slot = slots[hash % kSlots];
    if (slot.size() == length) {
        const QChar *u = slot.constData();
        qsizetype i = 0;
        while (i < length && u[i].unicode() == static_cast<unsigned char>(from[i]))
            ++i;
        if (i == length) {
            out = slot;
            return true;
        }
    }
    slot = QString::fromLatin1(from, length);
    out = slot;
    return true;
}

bool FastReader::readName(QByteArrayView &name)
{
    const char *start = m_p;
    if (atEnd() || !isNameStart(*m_p))
        return false;
    while (m_p < m_end && isNameChar(*m_p))
        ++m_p;
    name = QByteArrayView(start, m_p - start);
    return true;
}

bool FastReader::decode(const char *from, const char *to, bool attribute, QString &out) const
{
    // The common case: nothing to decode.
    if (!needsDecoding(from, to, attribute, m_end)) {
        out = QString::fromUtf8(from, to - from);
        return true;
    }
    // Line breaks and tabs in an attribute (long path data, mostly) are
    // spaces: replaced after the conversion, one character for another.
    const auto length = std::size_t(to - from);
    if (attribute && !std::memchr(from, '&', length) && !std::memchr(from, '\r', length)) {
        out = QString::fromUtf8(from, to - from);
        for (QChar &c : out) {
            if (c == u'\n' || c == u'\t')
                c = u' ';
        }
        return true;
    }
    QByteArray bytes;
    bytes.reserve(to - from);
    for (const char *q = from; q < to; ++q) {
        const char c = *q;
        if (c == '\r') {
            // "\r\n" and a lone "\r" are one line end.
            if (q + 1 < to && q[1] == '\n')
                ++q;
            bytes.append(attribute ? ' ' : '\n');
        } else if (attribute && (c == '\n' || c == '\t')) {
            bytes.append(' ');
        } else if (c == '&') {
            const char *semicolon = q + 1;
            while (semicolon < to && *semicolon != ';' && semicolon - q < 12)
                ++semicolon;
            if (semicolon >= to || *semicolon != ';')
                return false;
            const QByteArrayView entity(q + 1, semicolon - q - 1);
            if (entity == "lt")
                bytes.append('<');
            else if (entity == "gt")
                bytes.append('>');
            else if (entity == "amp")
                bytes.append('&');
            else if (entity == "quot")
                bytes.append('"');
            else if (entity == "apos")
                bytes.append('\'');
            else if (entity.size() >= 2 && entity[0] == '#') {
                const bool hex = entity[1] == 'x';
                const QByteArrayView digits = entity.sliced(hex ? 2 : 1);
                if (digits.isEmpty())
                    return false;
                char32_t code = 0;
                for (char d : digits) {
                    int v = -1;
                    if (d >= '0' && d <= '9')
                        v = d - '0';
                    else if (hex && d >= 'a' && d <= 'f')
                        v = d - 'a' + 10;
                    else if (hex && d >= 'A' && d <= 'F')
                        v = d - 'A' + 10;
                    if (v < 0)
                        return false;
                    code = code * (hex ? 16 : 10) + static_cast<char32_t>(v);
                    if (code > 0x10FFFF)
                        return false;
                }
                // Only the characters XML allows.
                const bool allowed = code == 0x9 || code == 0xA || code == 0xD || (code >= 0x20 && code <= 0xD7FF)
                                     || (code >= 0xE000 && code <= 0xFFFD) || (code >= 0x10000 && code <= 0x10FFFF);
                if (!allowed)
                    return false;
                bytes.append(QString::fromUcs4(&code, 1).toUtf8());
            } else {
                return false; // an entity only a document type could declare
            }
            q = semicolon;
        } else {
            bytes.append(c);
        }
    }
    out = QString::fromUtf8(bytes);
    return true;
}

bool FastReader::skipUntil(const char *terminator)
{
    while (m_p < m_end) {
        if (startsWith(terminator)) {
            m_p += qstrlen(terminator);
            return true;
        }
        ++m_p;
    }
    return false;
}

void FastReader::close(ReadResult &result)
{
    KTNSvgElement top = m_stack.takeLast();
    if (m_stack.isEmpty()) {
        result.root = std::move(top);
        result.hasRoot = true;
        m_rootClosed = true;
    } else {
        m_stack.last().childElements.append(std::move(top));
    }
}

bool FastReader::readStartTag(ReadResult &result)
{
    ++m_p; // '<'
    QByteArrayView written;
    if (!readName(written) || m_rootClosed)
        return false;
    KTNSvgElement node;
    // Filled as a standard map and handed over whole: keys and values move
    // in instead of being copied.
    std::map<QString, QString> attributes;
    bool namespaces = false;
    while (true) {
        const char *before = m_p;
        skipSpace();
        if (atEnd())
            return false;
        if (*m_p == '>' || *m_p == '/')
            break;
        if (m_p == before)
            return false; // attributes are separated by white space
        QByteArrayView key;
        if (!readName(key))
            return false;
        skipSpace();
        if (atEnd() || *m_p != '=')
            return false;
        ++m_p;
        skipSpace();
        if (atEnd() || (*m_p != '"' && *m_p != '\''))
            return false;
        const char quote = *m_p++;
        const char *valueStart = m_p;
        m_p = findEither(m_p, m_end, quote, '<');
        if (atEnd() || *m_p == '<')
            return false;
        QString value;
        if (!sharedValue(valueStart, m_p, m_end, value) && !decode(valueStart, m_p, true, value))
            return false;
        ++m_p; // closing quote
        // Qt's reader refuses a repeated attribute.
        if (!attributes.try_emplace(internedName(key), std::move(value)).second)
            return false;
        namespaces = namespaces || key.startsWith("xmlns:");
    }
    bool empty = false;
    if (*m_p == '/') {
        ++m_p;
        if (atEnd() || *m_p != '>')
            return false;
        empty = true;
    }
    ++m_p; // '>'
    if (!attributes.empty())
        node.attribute = QMap<QString, QString>(std::move(attributes));

    if (m_skipped > 0 || m_stack.size() >= m_limits.maxDepth || m_count >= m_limits.maxElements) {
        result.limitReached = true;
        if (!empty) {
            m_open.append(written);
            ++m_skipped;
        }
        return true;
    }
    ++m_count;
    // "svg:rect" in a document that declares the prefix.
    if (namespaces && node.attribute.value(QStringLiteral("xmlns:svg")) == QLatin1String("http://www.w3.org/2000/svg"))
        m_svgPrefix = true;
    QString name = internedName(written);
    if (m_svgPrefix && name.startsWith(QLatin1String("svg:")))
        name = name.mid(4);
    node.elementName = name;
    m_stack.append(std::move(node));
    if (empty)
        close(result);
    else
        m_open.append(written);
    return true;
}

bool FastReader::readEndTag(ReadResult &result)
{
    m_p += 2; // "</"
    QByteArrayView written;
    if (!readName(written))
        return false;
    skipSpace();
    if (atEnd() || *m_p != '>' || m_open.isEmpty() || m_open.last() != written)
        return false;
    ++m_p;
    m_open.removeLast();
    if (m_skipped > 0)
        --m_skipped;
    else
        close(result);
    return true;
}

bool FastReader::readText(const char *to)
{
    // Text outside the root element can only be white space.
    if (m_open.isEmpty()) {
        for (const char *q = m_p; q < to; ++q) {
            if (!isSpace(*q))
                return false;
        }
        m_p = to;
        return true;
    }
    for (const char *q = m_p; (q = static_cast<const char *>(memchr(q, ']', to - q))) && q + 2 < to; ++q) {
        if (q[1] == ']' && q[2] == '>')
            return false;
    }
    const bool keep = m_skipped == 0 && m_stack.last().elementName == QLatin1String("style")
                      && m_stack.last().text.size() < (1 << 20);
    // Text that is not kept is only checked (its references must read).
    if (keep || memchr(m_p, '&', to - m_p)) {
        QString text;
        if (!decode(m_p, to, false, text))
            return false;
        if (keep)
            m_stack.last().text += text;
    }
    m_p = to;
    return true;
}

bool FastReader::read(ReadResult &result)
{
    if (startsWith("\xEF\xBB\xBF"))
        m_p += 3;
    if (startsWith("<?xml") && m_p + 5 < m_end && isSpace(m_p[5])) {
        const char *declaration = m_p;
        if (!skipUntil("?>"))
            return false;
        // Only UTF-8 reads here.
        const QByteArrayView text(declaration, m_p - declaration);
        const qsizetype at = text.indexOf("encoding");
        if (at >= 0) {
            const QByteArray rest = text.sliced(at + 8).toByteArray().toLower();
            if (!rest.contains("utf-8"))
                return false;
        }
    }
    while (!atEnd()) {
        const char *lt = static_cast<const char *>(memchr(m_p, '<', m_end - m_p));
        const char *to = lt ? lt : m_end;
        if (to > m_p && !readText(to))
            return false;
        if (!lt)
            break;
        const char next = m_p + 1 < m_end ? m_p[1] : '\0';
        if (next != '!' && next != '?' && next != '/') {
            if (!readStartTag(result))
                return false;
        } else if (startsWith("<!--")) {
            m_p += 4;
            const char *start = m_p;
            if (!skipUntil("-->"))
                return false;
            // "--" may not appear inside a comment.
            for (const char *q = start; q + 1 < m_p - 3; ++q) {
                if (q[0] == '-' && q[1] == '-')
                    return false;
            }
        } else if (startsWith("<![CDATA[")) {
            if (m_open.isEmpty())
                return false;
            m_p += 9;
            const char *start = m_p;
            if (!skipUntil("]]>"))
                return false;
            if (m_skipped == 0 && m_stack.last().elementName == QLatin1String("style")
                && m_stack.last().text.size() < (1 << 20)) {
                QString text = QString::fromUtf8(start, m_p - 3 - start);
                text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
                text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
                m_stack.last().text += text;
            }
        } else if (startsWith("<?")) {
            m_p += 2;
            QByteArrayView target;
            if (!readName(target) || target.compare("xml", Qt::CaseInsensitive) == 0 || !skipUntil("?>"))
                return false;
        } else if (startsWith("</")) {
            if (!readEndTag(result))
                return false;
        } else if (startsWith("<!DOCTYPE") && !m_sawDocumentType && !result.hasRoot && m_open.isEmpty()) {
            // A bare "<!DOCTYPE svg>" before the root declares nothing;
            // identifiers and internal subsets (entities) are Qt's to read.
            m_p += 9;
            QByteArrayView name;
            if (atEnd() || !isSpace(*m_p))
                return false;
            skipSpace();
            if (!readName(name))
                return false;
            skipSpace();
            if (atEnd() || *m_p != '>')
                return false;
            ++m_p;
            m_sawDocumentType = true;
        } else if (startsWith("<!")) {
            return false; // any other declaration
        } else if (!readStartTag(result)) {
            return false;
        }
    }
    return result.hasRoot && m_open.isEmpty();
}

} // namespace

bool readTreeFast(const QByteArray &bytes, const PrepareLimits &limits, ReadResult &result)
{
    // Control characters XML does not allow, and anything that is not
    // UTF-8, go to Qt's reader (the caller has checked the UTF-8).
    if (hasControlCharacter(bytes.constData(), bytes.constData() + bytes.size()))
        return false;
    ReadResult read;
    FastReader reader(bytes, limits);
    if (!reader.read(read))
        return false;
    result = std::move(read);
    return true;
}

} // namespace kalvo::svg
