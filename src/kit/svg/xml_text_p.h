// How much of an SVG file the XML reader may be given. Qt's reader rejects a
// whole document for one byte that is not UTF-8; icons from hosts and
// servers sometimes carry such a byte late in a comment, and the part before
// it is still worth drawing. Shared by the engine and the icon registry.
#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kalvo::detail {

// The length of the longest prefix of `bytes` that is well-formed UTF-8
// (no overlong forms, surrogates or code points above U+10FFFF).
inline qsizetype validUtf8Prefix(const QByteArray &bytes)
{
    const auto *data = reinterpret_cast<const unsigned char *>(bytes.constData());
    const qsizetype size = bytes.size();
    qsizetype i = 0;
    while (i < size) {
#if defined(__SSE2__)
        // Files are mostly ASCII: sixteen bytes without a high bit at a time.
        while (i + 16 <= size && _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(data + i))) == 0)
            i += 16;
        if (i >= size)
            break;
#endif
        const unsigned char lead = data[i];
        if (lead < 0x80) {
            ++i;
            continue;
        }
        int length = 0;
        char32_t code = 0;
        char32_t minimum = 0;
        if ((lead & 0xE0) == 0xC0) {
            length = 2;
            code = lead & 0x1F;
            minimum = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            code = lead & 0x0F;
            minimum = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            code = lead & 0x07;
            minimum = 0x10000;
        } else {
            return i;
        }
        if (i + length > size)
            return i;
        for (int k = 1; k < length; ++k) {
            if ((data[i + k] & 0xC0) != 0x80)
                return i;
            code = code << 6 | (data[i + k] & 0x3F);
        }
        if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return i;
        i += length;
    }
    return size;
}

// Whether the bytes are in (or declare) an encoding other than UTF-8: a
// UTF-16/32 byte order or zero bytes around the first "<", or an encoding
// named in the XML declaration. Such text is left to the XML reader whole.
inline bool declaresOtherEncoding(const QByteArray &bytes)
{
    // Views throughout: this runs for every document, mostly to say no.
    const QByteArrayView all(bytes);
    if (all.size() >= 2) {
        const char a = all[0], b = all[1];
        if ((a == '\xFE' && b == '\xFF') || (a == '\xFF' && b == '\xFE') || (a == '\0' && (b == '<' || b == '\0'))
            || (a == '<' && b == '\0'))
            return true;
    }
    if (!all.startsWith("<?xml") && !all.startsWith("\xEF\xBB\xBF<?xml"))
        return false;
    const QByteArrayView head = all.first(std::min<qsizetype>(all.size(), 256));
    const qsizetype end = head.indexOf("?>");
    const QByteArrayView declaration = end >= 0 ? head.first(end) : head;
    const qsizetype at = declaration.indexOf("encoding");
    if (at < 0)
        return false;
    qsizetype quote = at + 8;
    while (quote < declaration.size() && declaration[quote] != '"' && declaration[quote] != '\'')
        ++quote;
    if (quote >= declaration.size())
        return false;
    const qsizetype close = declaration.indexOf(declaration[quote], quote + 1);
    const QByteArrayView encoding =
        declaration.sliced(quote + 1, (close < 0 ? declaration.size() : close) - quote - 1).trimmed();
    return encoding.compare("utf-8", Qt::CaseInsensitive) != 0 && encoding.compare("utf8", Qt::CaseInsensitive) != 0;
}

// The bytes the XML reader should see: all of them for another encoding,
// else the well-formed UTF-8 prefix.
inline qsizetype readableXmlLength(const QByteArray &bytes)
{
    return declaresOtherEncoding(bytes) ? bytes.size() : validUtf8Prefix(bytes);
}

} // namespace kalvo::detail
