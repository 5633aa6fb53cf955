// Text and packed-value conversions of the colour model. Nothing here
// touches a cache or a resource except hexTripletWithStr(), which asks the
// named-colour table (named_colors.cpp), so the fuzz target can build this
// file on its own.
//
// Each older parser keeps its own convention (see color.h); the shared piece
// is a lenient hexadecimal scan that reads leading hex digits and stops at
// the first other character, as a scanner does.
#include <kalvo/theme/color.h>

#include "named_colors_p.h"
#include "platform/hex_digit_p.h"

#include <algorithm>
#include <cmath>

namespace kalvo {

namespace {


// Leading hex digits of `text` as a number; nothing when the first character
// is not one. Stops before overflowing 64 bits.
std::optional<quint64> scanHex(QStringView text)
{
    quint64 value = 0;
    qsizetype digits = 0;
    for (QChar c : text) {
        const int d = detail::hexDigitValue(c);
        if (d < 0 || digits == 16)
            break;
        value = value << 4 | static_cast<quint64>(d);
        ++digits;
    }
    if (digits == 0)
        return std::nullopt;
    return value;
}

// The whole of `text` as hex digits (at most 16); nothing otherwise.
std::optional<quint64> parseHexStrict(QStringView text)
{
    if (text.isEmpty() || text.size() > 16)
        return std::nullopt;
    quint64 value = 0;
    for (QChar c : text) {
        const int d = detail::hexDigitValue(c);
        if (d < 0)
            return std::nullopt;
        value = value << 4 | static_cast<quint64>(d);
    }
    return value;
}

std::optional<quint64> parseDecimalStrict(QStringView text)
{
    if (text.isEmpty() || text.size() > 9)
        return std::nullopt;
    quint64 value = 0;
    for (QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        value = value * 10 + static_cast<quint64>(c.unicode() - '0');
    }
    return value;
}

int scanPair(QStringView pair)
{
    return static_cast<int>(scanHex(pair).value_or(0));
}

double clampUnit(double value, double ifNaN)
{
    if (std::isnan(value))
        return ifNaN;
    return std::clamp(value, 0.0, 1.0);
}

QColor clear()
{
    return QColor(0, 0, 0, 0);
}

} // namespace

// ---- Packed values ----

QColor NSColorFromHexWithAlpha(quint64 hex, double alpha)
{
    QColor color(static_cast<int>(hex >> 16 & 0xFF), static_cast<int>(hex >> 8 & 0xFF), static_cast<int>(hex & 0xFF));
    color.setAlphaF(static_cast<float>(clampUnit(alpha, 1.0)));
    return color;
}

QColor NSColorFromHex(quint64 hex)
{
    return NSColorFromHexWithAlpha(hex, 1.0);
}

QColor NSColorFromRGBAHex(quint64 value)
{
    return QColor(static_cast<int>(value >> 24 & 0xFF), static_cast<int>(value >> 16 & 0xFF),
                  static_cast<int>(value >> 8 & 0xFF), static_cast<int>(value & 0xFF));
}

QColor NSColorRGBA(int red, int green, int blue, double alpha)
{
    QColor color(std::clamp(red, 0, 255), std::clamp(green, 0, 255), std::clamp(blue, 0, 255));
    color.setAlphaF(static_cast<float>(clampUnit(alpha, 1.0)));
    return color;
}

QColor CGColorRGBA(int red, int green, int blue, double alpha)
{
    return NSColorRGBA(red, green, blue, alpha);
}

QColor CGColorFromHex(quint64 hex)
{
    return NSColorFromHex(hex);
}

QColor TNCGColorCreateSRGB(double red, double green, double blue, double alpha)
{
    return QColor::fromRgbF(static_cast<float>(clampUnit(red, 0)), static_cast<float>(clampUnit(green, 0)),
                            static_cast<float>(clampUnit(blue, 0)), static_cast<float>(clampUnit(alpha, 1)));
}

QColor KTNNSColorFromHex(quint64 hex)
{
    return NSColorFromHex(hex);
}

QColor KTNNSColorFromHexWithAlpha(quint64 hex, double alpha)
{
    return NSColorFromHexWithAlpha(hex, alpha);
}

QColor colorFromHex(quint64 hex, double alpha)
{
    return NSColorFromHexWithAlpha(hex, alpha);
}

QColor colorFromHexvalue(quint64 hex, double alpha)
{
    return NSColorFromHexWithAlpha(hex, alpha);
}

std::optional<QColor> tn_colorWithCGColor(const std::optional<QColor> &color)
{
    return color;
}

// ---- Token values ----

std::optional<quint64> parseTokenValue(const QString &input)
{
    const QString text = input.trimmed();
    if (text.startsWith(QLatin1Char('#'))) {
        QString digits = text;
        digits.remove(QLatin1Char('#'));
        if (digits.size() == 6)
            digits.prepend(QLatin1String("FF"));
        return parseHexStrict(digits);
    }
    const QString lower = text.toLower();
    if (!lower.startsWith(QLatin1String("rgba(")) || !lower.endsWith(QLatin1Char(')')))
        return std::nullopt;
    const QStringView inner = QStringView(lower).sliced(5, lower.size() - 6);
    const QList<QStringView> parts = inner.split(QLatin1Char(','));
    if (parts.size() != 4)
        return std::nullopt;
    quint64 channels[3];
    for (int i = 0; i < 3; ++i) {
        const std::optional<quint64> channel = parseDecimalStrict(parts[i].trimmed());
        // Channels above 255 would spill into the neighbouring byte.
        if (!channel || *channel > 255)
            return std::nullopt;
        channels[i] = *channel;
    }
    bool ok = false;
    const double alpha = parts[3].trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(alpha))
        return std::nullopt;
    const auto alphaByte = static_cast<quint64>(std::clamp(std::round(alpha * 255.0), 0.0, 255.0));
    return alphaByte << 24 | channels[0] << 16 | channels[1] << 8 | channels[2];
}

// ---- Older parsers ----

QColor NSColorFromHexString(const QString &text)
{
    QStringView rest(text);
    if (rest.startsWith(QLatin1Char('#')))
        rest = rest.sliced(1);
    else if (rest.startsWith(QLatin1String("0x")) || rest.startsWith(QLatin1String("0X")))
        rest = rest.sliced(2);
    if (rest.size() != 6 && rest.size() != 8)
        return NSColorFromHex(0x232333); // tnDark
    double alpha = 1.0;
    if (rest.size() == 8) {
        alpha = scanPair(rest.sliced(0, 2)) / 255.0;
        rest = rest.sliced(2);
    }
    return NSColorRGBA(scanPair(rest.sliced(0, 2)), scanPair(rest.sliced(2, 2)), scanPair(rest.sliced(4, 2)), alpha);
}

QColor hexColorWithString(const QString &text)
{
    QStringView rest(text);
    if (!rest.startsWith(QLatin1String("0x")) && !rest.startsWith(QLatin1Char('#')))
        return hexTripletWithStr(text);
    if (rest.startsWith(QLatin1String("0x")))
        rest = rest.sliced(2);
    if (rest.startsWith(QLatin1Char('#')))
        rest = rest.sliced(1);
    int r = 0, g = 0, b = 0, a = 255;
    switch (rest.size()) {
    case 3:
        r = scanPair(rest.sliced(0, 1)) * 17;
        g = scanPair(rest.sliced(1, 1)) * 17;
        b = scanPair(rest.sliced(2, 1)) * 17;
        break;
    case 6:
    case 8:
        r = scanPair(rest.sliced(0, 2));
        g = scanPair(rest.sliced(2, 2));
        b = scanPair(rest.sliced(4, 2));
        if (rest.size() == 8)
            a = scanPair(rest.sliced(6, 2));
        break;
    default:
        return clear();
    }
    return QColor(r, g, b, a);
}

QColor hexTripletWithStr(const QString &name)
{
    const std::optional<QString> value = detail::namedColorText(name.toLower());
    // Only colour text is followed: a table entry naming another name would
    // otherwise send the two parsers round in circles.
    if (!value || !(value->startsWith(QLatin1Char('#')) || value->startsWith(QLatin1String("0x"))))
        return clear();
    return hexColorWithString(*value);
}

double opacityOfHexColor(const QString &text)
{
    if (text.size() < 9)
        return 1.0;
    const std::optional<quint64> alpha = scanHex(QStringView(text).sliced(text.size() - 2));
    return alpha ? static_cast<double>(*alpha) / 255.0 : 1.0;
}

std::optional<QColor> colorWithRGBString(const QString &text)
{
    if (text.size() < 6)
        return std::nullopt;
    // Lenient digits: anything that is not a hex digit counts as 0.
    auto pair = [&](qsizetype at) {
        const int high = std::max(detail::hexDigitValue(text[at]), 0);
        const int low = std::max(detail::hexDigitValue(text[at + 1]), 0);
        return high * 16 + low;
    };
    const int alpha = text.size() > 7 ? pair(6) : 255;
    return QColor(pair(0), pair(2), pair(4), alpha);
}

} // namespace kalvo
