// libFuzzer target: every colour text parser on the same input. They must
// return a value for anything (no crash, no hang, no unbounded allocation),
// and their documented fallbacks must hold.
#include <kalvo/theme/color.h>

#include "../src/theme/named_colors_p.h"

#include <cstdint>
#include <cstdlib>

namespace kalvo::detail {

// A few names, one of which points at another name: the parser must not
// follow it.
std::optional<QString> namedColorText(const QString &name)
{
    if (name == QLatin1String("red"))
        return QStringLiteral("#FF0000");
    if (name == QLatin1String("loop"))
        return QStringLiteral("loop");
    if (name == QLatin1String("transparent"))
        return QStringLiteral("#00000000");
    return std::nullopt;
}

} // namespace kalvo::detail

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    if (const std::optional<quint64> packed = kalvo::parseTokenValue(text)) {
        // Whatever the digits, the colour made from them is a valid colour.
        const QColor made = kalvo::NSColorFromHexWithAlpha(*packed, (*packed >> 24) ? double(*packed >> 24) / 255.0 : 1.0);
        if (!made.isValid() || made.alphaF() < 0.0f || made.alphaF() > 1.0f)
            std::abort();
    }
    const QColor fromHex = kalvo::NSColorFromHexString(text);
    if (!fromHex.isValid())
        std::abort();
    const QColor fromString = kalvo::hexColorWithString(text);
    if (!fromString.isValid())
        std::abort();
    (void)kalvo::hexTripletWithStr(text);
    const double opacity = kalvo::opacityOfHexColor(text);
    if (!(opacity >= 0.0 && opacity <= 1.0))
        std::abort();
    if (const std::optional<QColor> rgb = kalvo::colorWithRGBString(text); rgb && !rgb->isValid())
        std::abort();
    return 0;
}
