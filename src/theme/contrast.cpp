#include <kalvo/theme/contrast.h>

#include <kalvo/theme/color.h>

#include <cmath>

namespace kalvo {

namespace {

double linear(double channel)
{
    return channel <= 0.03928 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}

QColor over(const QColor &top, const QColor &bottom)
{
    const double a = top.alphaF();
    auto mix = [a](double t, double b) { return t * a + b * (1.0 - a); };
    return QColor::fromRgbF(static_cast<float>(mix(top.redF(), bottom.redF())),
                            static_cast<float>(mix(top.greenF(), bottom.greenF())),
                            static_cast<float>(mix(top.blueF(), bottom.blueF())));
}

QColor fromText(const QHash<QString, QString> &table, const QString &key)
{
    auto it = table.constFind(key);
    if (it == table.constEnd())
        return {};
    const std::optional<quint64> packed = parseTokenValue(*it);
    if (!packed)
        return {};
    return NSColorFromHexWithAlpha(*packed, Color::alphaFor(*packed, 1.0));
}

} // namespace

double relativeLuminance(const QColor &color)
{
    const QColor rgb = color.toRgb();
    return 0.2126 * linear(rgb.redF()) + 0.7152 * linear(rgb.greenF()) + 0.0722 * linear(rgb.blueF());
}

double contrastRatio(const QColor &foreground, const QColor &background, const QColor &canvas)
{
    const QColor bg = background.alphaF() < 1.0 ? over(background, canvas) : background;
    const QColor fg = foreground.alphaF() < 1.0 ? over(foreground, bg) : foreground;
    const double a = relativeLuminance(fg);
    const double b = relativeLuminance(bg);
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

const std::vector<ContrastRequirement> &tokenContrastRequirements()
{
    // Body text 4.5:1, large text and icons 3:1 (WCAG 2, level AA).
    static const std::vector<ContrastRequirement> requirements{
        // Text on the page and on cards.
        {"TextStrongerNeutral", "BackgroundDefault", 4.5},
        {"TextStrongNeutral", "BackgroundDefault", 4.5},
        {"TextNeutral", "BackgroundDefault", 4.5},
        {"TextPrimary", "BackgroundDefault", 4.5},
        {"TextError", "BackgroundDefault", 4.5},
        {"TextSuccess", "BackgroundDefault", 4.5},
        {"TextWarning", "BackgroundDefault", 4.5},
        {"TextComplementary", "BackgroundDefault", 4.5},
        {"TextSupplementary1", "BackgroundDefault", 4.5},
        {"TextSupplementary2", "BackgroundDefault", 4.5},
        {"TextStrongPrimary", "BackgroundDefault", 4.5},
        {"TextStrongError", "BackgroundDefault", 4.5},
        {"TextStrongSuccess", "BackgroundDefault", 4.5},
        {"TextStrongWarning", "BackgroundDefault", 4.5},
        {"TextStrongerNeutral", "FillDefault", 4.5},
        {"TextNeutral", "FillDefault", 4.5},
        {"TextPrimary", "FillDefault", 4.5},
        {"TextError", "FillDefault", 4.5},
        {"TextStrongerNeutral", "BackgroundNeutral", 4.5},
        {"TextNeutral", "BackgroundNeutral", 4.5},
        {"TextStrongerNeutral", "FillElevatedDefault", 4.5},
        {"TextNeutral", "FillElevatedDefault", 4.5},
        {"TextStrongerNeutral", "BackgroundDarkerNeutral", 4.5},
        {"TextNeutral", "BackgroundDarkerNeutral", 4.5},
        {"TextPrimary", "BackgroundDarkerNeutral", 4.5},
        {"TextError", "BackgroundDarkerNeutral", 4.5},
        // Text on tinted surfaces (banners, chips).
        {"TextStrongerPrimary", "FillSubtlerPrimary", 4.5},
        {"TextStrongerError", "FillSubtlerError", 4.5},
        {"TextStrongerSuccess", "FillSubtlerSuccess", 4.5},
        {"TextStrongerWarning", "FillSubtlerWarning", 4.5},
        {"TextStrongerComplementary", "FillSubtlerComplementary", 4.5},
        {"TextStrongerSupplementary1", "FillSubtlerSupplementary1", 4.5},
        {"TextStrongerSupplementary2", "FillSubtlerSupplementary2", 4.5},
        {"TextStrongerNeutral", "FillSubtlerNeutral", 4.5},
        // Text on strong fills (primary buttons, badges).
        {"InverseDefault", "FillPrimary", 4.5},
        {"InverseDefault", "FillError", 4.5},
        {"InverseGlobalDefault", "FillGlobalPrimary", 4.5},
        {"InverseGlobalDefault", "FillGlobalError", 4.5},
        {"InverseDefault", "StatePrimaryPress", 4.5},
        // Large text and icons.
        {"IconNeutral", "BackgroundDefault", 3.0},
        {"IconStrongNeutral", "BackgroundDefault", 3.0},
        {"IconStrongerNeutral", "BackgroundDefault", 3.0},
        {"IconPrimary", "BackgroundDefault", 3.0},
        {"IconError", "BackgroundDefault", 3.0},
        {"IconSuccess", "BackgroundDefault", 3.0},
        {"IconWarning", "BackgroundDefault", 3.0},
        {"IconComplementary", "BackgroundDefault", 3.0},
        {"IconSupplementary1", "BackgroundDefault", 3.0},
        {"IconSupplementary2", "BackgroundDefault", 3.0},
        {"InverseDefault", "FillSuccess", 3.0},
        {"BorderStrongNeutral", "BackgroundDefault", 3.0},
        {"BorderPrimary", "BackgroundDefault", 3.0},
    };
    return requirements;
}

std::vector<ContrastResult> checkTokenContrast(const TokenTables &tables)
{
    std::vector<ContrastResult> results;
    auto check = [&](bool dark, ThemeName theme, const QHash<QString, QString> *themeTable) {
        const QHash<QString, QString> &base = dark ? tables.dark : tables.light;
        auto lookup = [&](const QString &key) {
            if (themeTable && themeTable->contains(key))
                return fromText(*themeTable, key);
            return fromText(base, key);
        };
        const QColor canvas = lookup(QStringLiteral("BackgroundDefault"));
        for (const ContrastRequirement &requirement : tokenContrastRequirements()) {
            ContrastResult result;
            result.dark = dark;
            result.theme = theme;
            result.foreground = QString::fromLatin1(requirement.foreground);
            result.background = QString::fromLatin1(requirement.background);
            result.minimum = requirement.minimum;
            result.foregroundColor = lookup(result.foreground);
            result.backgroundColor = lookup(result.background);
            if (!result.foregroundColor.isValid() || !result.backgroundColor.isValid()) {
                result.problem = !result.foregroundColor.isValid() ? result.foreground : result.background;
                result.problem += QStringLiteral(" is missing or unreadable");
            } else {
                result.ratio = contrastRatio(result.foregroundColor, result.backgroundColor,
                                             canvas.isValid() ? canvas : QColor(dark ? Qt::black : Qt::white));
                result.passes = result.ratio + 1e-9 >= result.minimum;
            }
            results.push_back(result);
        }
    };
    check(false, ThemeName::none, nullptr);
    check(true, ThemeName::none, nullptr);
    for (const auto &[theme, table] : tables.themes)
        check(true, theme, &table);
    return results;
}

} // namespace kalvo
