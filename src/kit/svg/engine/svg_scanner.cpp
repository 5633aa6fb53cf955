#include "svg_scanner_p.h"

#include <QByteArray>

#include <charconv>
#include <cmath>
#include <limits>

namespace kalvo::svg {

namespace {

bool isDigit(QChar c)
{
    return c.unicode() >= '0' && c.unicode() <= '9';
}

bool isNumberCharacter(QChar c)
{
    return isDigit(c) || c == QLatin1Char('.') || c == QLatin1Char('-');
}

} // namespace

void Scanner::skipWhitespace()
{
    while (!atEnd() && m_text[m_pos].isSpace())
        ++m_pos;
}

void Scanner::scanThroughToNumber()
{
    while (!atEnd() && !isNumberCharacter(m_text[m_pos]))
        ++m_pos;
}

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
    qsizetype i = m_pos;
    const qsizetype n = m_text.size();
    if (i < n && (m_text[i] == QLatin1Char('+') || m_text[i] == QLatin1Char('-')))
        ++i;
    qsizetype mantissaDigits = 0;
    while (i < n && isDigit(m_text[i])) {
        ++i;
        ++mantissaDigits;
    }
    if (i < n && m_text[i] == QLatin1Char('.')) {
        qsizetype j = i + 1;
        qsizetype fraction = 0;
        while (j < n && isDigit(m_text[j])) {
            ++j;
            ++fraction;
        }
        // "5." is a number; "." alone is not.
        if (mantissaDigits + fraction > 0)
            i = j;
        mantissaDigits += fraction;
    }
    if (mantissaDigits == 0) {
        m_pos = start;
        return false;
    }
    if (i < n && (m_text[i] == QLatin1Char('e') || m_text[i] == QLatin1Char('E'))) {
        qsizetype j = i + 1;
        if (j < n && (m_text[j] == QLatin1Char('+') || m_text[j] == QLatin1Char('-')))
            ++j;
        if (j < n && isDigit(m_text[j])) {
            while (j < n && isDigit(m_text[j]))
                ++j;
            i = j;
        }
    }
    // Up to 15 significant digits and no exponent: the digits as an
    // integer divided by a power of ten is exact before the one rounding of
    // the division, so it is the correctly rounded value from_chars gives.
    // Icon numbers almost always take this path.
    {
        static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                             1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
        qsizetype k = m_pos;
        const bool negative = m_text[k] == QLatin1Char('-');
        if (negative || m_text[k] == QLatin1Char('+'))
            ++k;
        quint64 mantissa = 0;
        int digitCount = 0;
        int fractionDigits = 0;
        bool inFraction = false;
        bool simple = true;
        for (; k < i; ++k) {
            const char16_t c = m_text[k].unicode();
            if (c == u'.') {
                inFraction = true;
                continue;
            }
            if (c < u'0' || c > u'9') {
                simple = false; // an exponent
                break;
            }
            if (mantissa == 0 && c == u'0') {
                fractionDigits += inFraction;
                continue;
            }
            if (++digitCount > 15) {
                simple = false;
                break;
            }
            mantissa = mantissa * 10 + (c - u'0');
            fractionDigits += inFraction;
        }
        if (simple && fractionDigits <= 15) {
            const double magnitude = static_cast<double>(mantissa) / kPowers[fractionDigits];
            value = negative ? -magnitude : magnitude;
            m_pos = i;
            return true;
        }
    }
    // The matched text is ASCII: convert it without locale.
    char stackDigits[64];
    QByteArray heapDigits;
    char *digitsBegin = stackDigits;
    if (i - m_pos > qsizetype(sizeof stackDigits)) {
        heapDigits.resize(i - m_pos);
        digitsBegin = heapDigits.data();
    }
    qsizetype length = 0;
    for (qsizetype k = m_pos; k < i; ++k) {
        const char c = static_cast<char>(m_text[k].unicode());
        if (c != '+' || k != m_pos)
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
        m_pos = start;
        return false;
    }
    value = result;
    m_pos = i;
    return true;
}

bool Scanner::scanFloatAndAdvance(double &value)
{
    if (!scanDouble(value))
        return false;
    scanThroughWhitespaceCommasAndClosingParenthesis();
    return true;
}

bool Scanner::scanNumber(double &value)
{
    scanThroughToNumber();
    return scanDouble(value);
}

bool Scanner::scanPoint(QPointF &point)
{
    double x = 0, y = 0;
    skipWhitespace();
    if (!scanNumber(x))
        return false;
    if (!scanNumber(y))
        return false;
    point = QPointF(x, y);
    return true;
}

bool Scanner::scanBool(bool &value)
{
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
