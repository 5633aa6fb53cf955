#include "svg_scanner_p.h"

#include <QByteArray>

#include <charconv>
#include <cmath>
#include <limits>

namespace kalvo::svg {

void Scanner::scanThroughWhitespaceCommasAndClosingParenthesis()
{
    while (!atEnd()) {
        const QChar c = m_text[m_pos];
        if (c != QLatin1Char(' ') && c != QLatin1Char(',') && c != QLatin1Char(')'))
            break;
        ++m_pos;
    }
}

bool Scanner::scanDouble(double &value)
{
    const qsizetype start = m_pos;
    skipWhitespace();
    return readNumber(start, value);
}

bool Scanner::readNumberFully(qsizetype start, double &value)
{
    const char16_t *const begin = m_text.utf16();
    const char16_t *const end = begin + m_text.size();
    const char16_t *p = begin + m_pos;
    auto digitAt = [](const char16_t *at) { return static_cast<unsigned>(*at) - u'0'; };
    bool negative = false;
    if (p < end && (*p == u'+' || *p == u'-')) {
        negative = *p == u'-';
        ++p;
    }
    // One pass finds the extent and gathers the digits (wrapping past 19
    // of them, when the result is not used).
    quint64 mantissa = 0;
    const char16_t *const integerStart = p;
    for (; p < end && digitAt(p) < 10; ++p)
        mantissa = mantissa * 10 + digitAt(p);
    qsizetype digits = p - integerStart;
    qsizetype fraction = 0;
    if (p < end && *p == u'.') {
        const char16_t *q = p + 1;
        for (; q < end && digitAt(q) < 10; ++q)
            mantissa = mantissa * 10 + digitAt(q);
        fraction = q - (p + 1);
        digits += fraction;
        // "5." is a number; "." alone is not.
        if (digits > 0)
            p = q;
    }
    if (digits == 0) {
        m_pos = start;
        return false;
    }
    bool exponent = false;
    if (p < end && (*p == u'e' || *p == u'E')) {
        const char16_t *q = p + 1;
        if (q < end && (*q == u'+' || *q == u'-'))
            ++q;
        if (q < end && digitAt(q) < 10) {
            while (q < end && digitAt(q) < 10)
                ++q;
            p = q;
            exponent = true;
        }
    }
    const qsizetype stop = p - begin;
    // Up to 15 digits and no exponent: the digits as an integer divided by
    // a power of ten is exact before the one rounding of the division, so
    // it is the correctly rounded value from_chars gives. Icon numbers
    // almost always take this path.
    if (!exponent && digits <= 15) {
        static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                             1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
        const double magnitude = static_cast<double>(mantissa) / kPowers[fraction];
        value = negative ? -magnitude : magnitude;
        m_pos = stop;
        return true;
    }
    if (!convertSlowly(m_pos, stop, value)) {
        m_pos = start;
        return false;
    }
    m_pos = stop;
    return true;
}

bool Scanner::convertSlowly(qsizetype from, qsizetype to, double &value)
{
    // The matched text is ASCII: convert it without locale.
    char stackDigits[64];
    QByteArray heapDigits;
    char *digitsBegin = stackDigits;
    if (to - from > qsizetype(sizeof stackDigits)) {
        heapDigits.resize(to - from);
        digitsBegin = heapDigits.data();
    }
    qsizetype length = 0;
    for (qsizetype k = from; k < to; ++k) {
        const char c = static_cast<char>(m_text[k].unicode());
        if (c != '+' || k != from)
            digitsBegin[length++] = c;
    }
    const QByteArrayView digits(digitsBegin, length);
    double result = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), result);
    (void)end;
    if (error == std::errc::result_out_of_range) {
        // Overflow reads as infinity, underflow as zero (as strtod does).
        const qsizetype e = digits.indexOf('e') >= 0 ? digits.indexOf('e') : digits.indexOf('E');
        const bool negativeExponent = e >= 0 && e + 1 < digits.size() && digits[e + 1] == '-';
        const bool negative = digits.startsWith('-');
        if (negativeExponent)
            result = negative ? -0.0 : 0.0;
        else
            result = negative ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
    } else if (error != std::errc()) {
        return false;
    }
    value = result;
    return true;
}

bool Scanner::scanFloatAndAdvance(double &value)
{
    if (!scanDouble(value))
        return false;
    scanThroughWhitespaceCommasAndClosingParenthesis();
    return true;
}

bool Scanner::scanBool(bool &value)
{
    // Mostly the flag itself, or one space or comma before it.
    auto isFlag = [](QChar c) { return c == QLatin1Char('0') || c == QLatin1Char('1'); };
    const qsizetype size = m_text.size();
    if (m_pos < size) {
        const QChar c = m_text[m_pos];
        const qsizetype at = (c == QLatin1Char(' ') || c == QLatin1Char(',')) ? m_pos + 1 : m_pos;
        if (at < size && isFlag(m_text[at])) {
            value = m_text[at] == QLatin1Char('1');
            m_pos = at + 1;
            return true;
        }
    }
    while (!atEnd() && (m_text[m_pos].isSpace() || m_text[m_pos] == QLatin1Char(',')))
        ++m_pos;
    if (atEnd() || m_text[m_pos] == QLatin1Char('-'))
        return false;
    if (m_text[m_pos] != QLatin1Char('0') && m_text[m_pos] != QLatin1Char('1'))
        ++m_pos;
    if (atEnd() || (m_text[m_pos] != QLatin1Char('0') && m_text[m_pos] != QLatin1Char('1')))
        return false;
    value = m_text[m_pos] == QLatin1Char('1');
    ++m_pos;
    return true;
}

bool leadingNumber(QStringView text, double &value)
{
    Scanner scanner(text);
    return scanner.scanDouble(value);
}

} // namespace kalvo::svg
