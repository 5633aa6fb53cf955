// A small scanner: entries are `string [= string] ;`, strings are quoted
// (with escapes) or bare words. On an error the scanner skips the broken
// entry, so one broken line costs one entry.
#include <kalvo/platform/stringsfile.h>

#include "platform/hex_digit_p.h"

#include <QStringDecoder>

#include <optional>

namespace kalvo {

namespace {

constexpr qsizetype kMaxBytes = 32 * 1024 * 1024;

QString decode(const QByteArray &bytes)
{
    const auto *b = reinterpret_cast<const unsigned char *>(bytes.constData());
    const qsizetype n = bytes.size();
    QStringDecoder::Encoding encoding = QStringDecoder::Utf8;
    QByteArrayView body(bytes);
    if (n >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
        encoding = QStringDecoder::Utf16LE;
        body = body.sliced(2);
    } else if (n >= 2 && b[0] == 0xFE && b[1] == 0xFF) {
        encoding = QStringDecoder::Utf16BE;
        body = body.sliced(2);
    } else if (n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
        body = body.sliced(3);
    } else if (n >= 2 && n % 2 == 0 && b[0] != 0 && b[1] == 0) {
        encoding = QStringDecoder::Utf16LE; // ASCII text in UTF-16 without a mark
    } else if (n >= 2 && n % 2 == 0 && b[0] == 0 && b[1] != 0) {
        encoding = QStringDecoder::Utf16BE;
    }
    // Invalid sequences become U+FFFD; the entries around them survive.
    QStringDecoder decoder(encoding, QStringDecoder::Flag::Stateless);
    return decoder.decode(body);
}

bool isBareChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('$') || c == QLatin1Char('+')
           || c == QLatin1Char('/') || c == QLatin1Char(':') || c == QLatin1Char('.') || c == QLatin1Char('-');
}


class Scanner
{
public:
    explicit Scanner(const QString &text) : m_text(text) {}

    StringsFileResult run()
    {
        StringsFileResult result;
        for (;;) {
            skipSpaceAndComments();
            if (atEnd())
                break;
            const qsizetype start = m_pos;
            std::optional<QString> key = string();
            if (!key) {
                recover(result, start);
                continue;
            }
            skipSpaceAndComments();
            std::optional<QString> value;
            if (peek() == QLatin1Char('=')) {
                ++m_pos;
                skipSpaceAndComments();
                value = string();
                if (!value) {
                    recover(result, start);
                    continue;
                }
                skipSpaceAndComments();
            } else {
                value = key; // `"key";` stands for key = key
            }
            if (peek() != QLatin1Char(';')) {
                recover(result, start);
                continue;
            }
            ++m_pos;
            result.entries.insert(*key, *value);
        }
        return result;
    }

private:
    bool atEnd() const { return m_pos >= m_text.size(); }
    QChar peek() const { return atEnd() ? QChar() : m_text[m_pos]; }

    void skipSpaceAndComments()
    {
        while (!atEnd()) {
            const QChar c = m_text[m_pos];
            if (c.isSpace()) {
                ++m_pos;
            } else if (c == QLatin1Char('/') && m_pos + 1 < m_text.size() && m_text[m_pos + 1] == QLatin1Char('*')) {
                const qsizetype end = m_text.indexOf(QLatin1String("*/"), m_pos + 2);
                m_pos = end < 0 ? m_text.size() : end + 2;
            } else if (c == QLatin1Char('/') && m_pos + 1 < m_text.size() && m_text[m_pos + 1] == QLatin1Char('/')) {
                const qsizetype end = m_text.indexOf(QLatin1Char('\n'), m_pos + 2);
                m_pos = end < 0 ? m_text.size() : end + 1;
            } else {
                return;
            }
        }
    }

    std::optional<QString> string()
    {
        if (peek() == QLatin1Char('"'))
            return quoted();
        QString bare;
        while (!atEnd() && isBareChar(m_text[m_pos]))
            bare += m_text[m_pos++];
        if (bare.isEmpty())
            return std::nullopt;
        return bare;
    }

    std::optional<QString> quoted()
    {
        ++m_pos; // opening quote
        QString out;
        while (!atEnd()) {
            const QChar c = m_text[m_pos++];
            if (c == QLatin1Char('"'))
                return out;
            if (c != QLatin1Char('\\')) {
                out += c;
                continue;
            }
            if (atEnd())
                return std::nullopt;
            const QChar e = m_text[m_pos++];
            switch (e.unicode()) {
            case 'n': out += QLatin1Char('\n'); break;
            case 't': out += QLatin1Char('\t'); break;
            case 'r': out += QLatin1Char('\r'); break;
            case 'a': out += QChar(0x07); break;
            case 'b': out += QChar(0x08); break;
            case 'f': out += QChar(0x0C); break;
            case 'v': out += QChar(0x0B); break;
            case 'U':
            case 'u': {
                int value = 0;
                int digits = 0;
                while (digits < 4 && !atEnd() && detail::hexDigitValue(m_text[m_pos]) >= 0) {
                    value = value * 16 + detail::hexDigitValue(m_text[m_pos++]);
                    ++digits;
                }
                if (digits == 0)
                    return std::nullopt;
                out += QChar(static_cast<char16_t>(value));
                break;
            }
            default:
                if (e >= QLatin1Char('0') && e <= QLatin1Char('7')) {
                    int value = e.unicode() - '0';
                    for (int digits = 1; digits < 3 && !atEnd() && m_text[m_pos] >= QLatin1Char('0')
                                         && m_text[m_pos] <= QLatin1Char('7');
                         ++digits)
                        value = value * 8 + (m_text[m_pos++].unicode() - '0');
                    out += QChar(static_cast<char16_t>(value));
                } else {
                    out += e; // \" \\ \' and anything unknown stand for themselves
                }
            }
        }
        return std::nullopt; // unterminated
    }

    // Skips the broken entry: to just after its ';' or the end of its first
    // line, whichever comes first. Entries are written one per line, so a
    // stray quote or a missing ';' costs that line only.
    void recover(StringsFileResult &result, qsizetype start)
    {
        ++result.skippedEntries;
        m_pos = start;
        bool inQuotes = false;
        while (!atEnd()) {
            const QChar c = m_text[m_pos++];
            if (c == QLatin1Char('\n'))
                return;
            if (inQuotes && c == QLatin1Char('\\')) {
                if (!atEnd() && m_text[m_pos] != QLatin1Char('\n'))
                    ++m_pos;
            } else if (c == QLatin1Char('"')) {
                inQuotes = !inQuotes;
            } else if (!inQuotes && c == QLatin1Char(';')) {
                return;
            }
        }
    }

    const QString &m_text;
    qsizetype m_pos = 0;
};

} // namespace

StringsFileResult parseStringsFile(const QByteArray &bytes)
{
    if (bytes.size() > kMaxBytes)
        return {};
    const QString text = decode(bytes);
    return Scanner(text).run();
}

} // namespace kalvo
