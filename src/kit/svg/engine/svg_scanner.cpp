#include "svg_scanner_p.h"

#include <QByteArray>

#include <charconv>
#include <cmath>
#include <limits>

namespace kalvo::svg {

namespace {

bool isDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

} // namespace

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
    const QChar *text = m_text.data();
    const qsizetype n = m_text.size();
    qsizetype i = m_pos;
    // One pass finds the extent and gathers the digits. Up to 15
    // significant digits and no exponent: the digits as an integer divided
    // by a power of ten is exact before the one rounding of the division,
    // so it is the correctly rounded value from_chars gives. Icon numbers
    // almost always take this path.
    bool negative = false;
    if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    quint64 mantissa = 0;
    int significant = 0;
    int fractionDigits = 0;
    auto take = [&](char16_t c, int inFraction) {
        if (mantissa == 0 && c == u'0') {
            fractionDigits += inFraction;
            return;
        }
        if (++significant <= 15) {
            mantissa = mantissa * 10 + (c - u'0');
            fractionDigits += inFraction;
        }
    };
    qsizetype mantissaDigits = 0;
    for (; i < n && isDigit(text[i].unicode()); ++i) {
        take(text[i].unicode(), 0);
        ++mantissaDigits;
    }
    if (i < n && text[i] == QLatin1Char('.')) {
        qsizetype j = i + 1;
        for (; j < n && isDigit(text[j].unicode()); ++j) {
            take(text[j].unicode(), 1);
            ++mantissaDigits;
        }
        // "5." is a number; "." alone is not.
        if (mantissaDigits > 0)
            i = j;
    }
    if (mantissaDigits == 0) {
        m_pos = start;
        return false;
    }
    bool exponent = false;
    if (i < n && (text[i] == QLatin1Char('e') || text[i] == QLatin1Char('E'))) {
        qsizetype j = i + 1;
        if (j < n && (text[j] == QLatin1Char('+') || text[j] == QLatin1Char('-')))
            ++j;
        if (j < n && isDigit(text[j].unicode())) {
            while (j < n && isDigit(text[j].unicode()))
                ++j;
            i = j;
            exponent = true;
        }
    }
    if (!exponent && significant <= 15 && fractionDigits <= 15) {
        static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                             1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
        const double magnitude = static_cast<double>(mantissa) / kPowers[fractionDigits];
        value = negative ? -magnitude : magnitude;
        m_pos = i;
        return true;
    }
    if (!convertSlowly(m_pos, i, value)) {
        m_pos = start;
        return false;
    }
    m_pos = i;
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
