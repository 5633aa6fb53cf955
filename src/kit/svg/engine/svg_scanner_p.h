// The number reader of the SVG engine: a cursor over attribute text with the
// few reading rules the attribute, transform and path-data parsers share.
// It never reads NaN; a number too large for a double reads as ±infinity
// (callers that build geometry check for finite values).
#pragma once

#include <kalvo/global.h>

#include <QPointF>
#include <QStringView>

namespace kalvo::svg {

// Exported for the tests only.
class KALVO_EXPORT Scanner
{
public:
    explicit Scanner(QStringView text) : m_text(text) {}

    bool atEnd() const { return m_pos >= m_text.size(); }
    qsizetype position() const { return m_pos; }
    void setPosition(qsizetype position) { m_pos = std::min(position, m_text.size()); }
    QChar currentCharacter() const { return atEnd() ? QChar() : m_text[m_pos]; }
    QStringView remaining() const { return m_text.sliced(m_pos); }
    void skipCharacter()
    {
        if (!atEnd())
            ++m_pos;
    }

    void skipWhitespace()
    {
        while (m_pos < m_text.size() && m_text[m_pos].isSpace())
            ++m_pos;
    }
    // Characters that cannot be part of a number: anything but the digits,
    // "." and "-".
    void scanThroughToNumber()
    {
        while (m_pos < m_text.size() && !isNumberCharacter(m_text[m_pos].unicode()))
            ++m_pos;
    }
    // A run of " ", "," and ")".
    void scanThroughWhitespaceCommasAndClosingParenthesis();
    // After white space: [+-]digits[.digits][e[+-]digits]. Nothing is
    // consumed when no number starts here.
    bool scanDouble(double &value);
    // scanDouble, then a run of " ", "," and ")".
    bool scanFloatAndAdvance(double &value);
    // White space and other non-number characters, a number, the same
    // again and a second number; both must be read.
    bool scanPoint(QPointF &point)
    {
        double x = 0, y = 0;
        skipWhitespace();
        if (!scanNumber(x) || !scanNumber(y))
            return false;
        point = QPointF(x, y);
        return true;
    }
    // A flag: spaces and commas are skipped, "-" fails, one character that
    // is not "0" or "1" is skipped, then "0" or "1" must follow.
    bool scanBool(bool &value);
    // Skips to the next number, then reads it.
    bool scanNumber(double &value)
    {
        // What scanDouble does, less its white space: no number character
        // is one.
        scanThroughToNumber();
        return readNumber(m_pos, value);
    }

private:
    static bool isNumberCharacter(char16_t c) { return (c >= u'0' && c <= u'9') || c == u'.' || c == u'-'; }
    // The number at the position; on failure the position goes back to
    // `start`. Inline for plain numbers (up to 15 digits, no exponent),
    // which is nearly all of them; the rest take readNumberFully().
    bool readNumber(qsizetype start, double &value)
    {
        static constexpr double kPowers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                             1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
        const char16_t *const begin = m_text.utf16();
        const char16_t *const end = begin + m_text.size();
        const char16_t *p = begin + m_pos;
        bool negative = false;
        if (p < end && (*p == u'-' || *p == u'+')) {
            negative = *p == u'-';
            ++p;
        }
        quint64 mantissa = 0;
        const char16_t *const digitsBegin = p;
        unsigned digit = 0;
        while (p < end && (digit = unsigned(*p) - u'0') < 10) {
            mantissa = mantissa * 10 + digit;
            ++p;
        }
        qsizetype digits = p - digitsBegin;
        qsizetype fraction = 0;
        if (p < end && *p == u'.') {
            const char16_t *q = p + 1;
            while (q < end && (digit = unsigned(*q) - u'0') < 10) {
                mantissa = mantissa * 10 + digit;
                ++q;
            }
            fraction = q - (p + 1);
            digits += fraction;
            p = q;
        }
        if (digits == 0 || digits > 15 || (p < end && (*p == u'e' || *p == u'E')))
            return readNumberFully(start, value);
        // Exact integer over an exact power of ten: one rounding, the
        // correctly rounded value.
        // (Fifteen digits fit a signed integer, whose conversion is one
        // instruction.)
        const double magnitude = static_cast<double>(static_cast<qint64>(mantissa)) / kPowers[fraction];
        value = negative ? -magnitude : magnitude;
        m_pos = p - begin;
        return true;
    }
    bool readNumberFully(qsizetype start, double &value);
    // scanDouble's reading of text it could not convert exactly itself.
    bool convertSlowly(qsizetype start, qsizetype end, double &value);

    QStringView m_text;
    qsizetype m_pos = 0;
};

// The leading number of `text` after white space; nothing read gives false.
bool leadingNumber(QStringView text, double &value);

} // namespace kalvo::svg
