// The token vocabulary: token-file tokens, fixed tokens, the theme-aware
// tokens of Color::Theme and the older "tn" names. Each accessor makes its
// colour once (function-local statics initialise safely from any thread).
#include <kalvo/theme/color.h>
#include <kalvo/theme/tncolors.h>

#include "token_files_p.h"

#include <QHash>

#include <mutex>

namespace kalvo {

// ---- Token-file tokens ----

#define KALVO_COLOR_TOKEN(group, property, key)                                                                   \
    ColorPtr Color::property()                                                                                   \
    {                                                                                                            \
        static const ColorPtr token = colorWithTokenName(QStringLiteral(key));                                   \
        return token;                                                                                            \
    }
#include <kalvo/theme/colortokens.inc>
#undef KALVO_COLOR_TOKEN

const std::vector<Color::TokenInfo> &Color::tokenTable()
{
    static const std::vector<TokenInfo> table{
#define KALVO_COLOR_TOKEN(group, property, key) {#group, #property, key, &Color::property},
#include <kalvo/theme/colortokens.inc>
#undef KALVO_COLOR_TOKEN
    };
    return table;
}

// ---- Fixed tokens ----

ColorPtr Color::kalvoClear()
{
    static const ColorPtr token = make(0xFFFFFF, 0, 0x000000, 0, {});
    return token;
}

ColorPtr Color::fillDefaultTransparent()
{
    static const ColorPtr token = make(0xFFFFFF, 0, 0x27282B, 0, {});
    return token;
}

ColorPtr Color::underlay()
{
    static const ColorPtr token = make(0x14000000, 1, 0x7A000000, 1, {});
    return token;
}

ColorPtr Color::componentNavBackgroundClassic()
{
    static const ColorPtr token = make(0xFFDFE3E8, 1, 0xFF555B62, 1, {});
    return token;
}

ColorPtr Color::componentBorder()
{
    static const ColorPtr token = make(0xFFC1C6CE, 1, 0xFF555B62, 1, {});
    return token;
}

ColorPtr Color::invalidTokenColor()
{
    static const ColorPtr token = make(0xFF0000, 1, 0xFF0000, 1, {});
    return token;
}

ColorPtr Color::badgeTextNeutral()
{
    static const ColorPtr token = make(0xFF1A2A52, 1, 0xFF1A2A52, 1, {});
    return token;
}

ColorPtr Color::AvatarGroupWrapperBackground()
{
    static const ColorPtr token = color(0xFFF3F9FF, 1, 0xFF0D1F31, 1);
    return token;
}

ColorPtr Color::AvatarGroupWrapperNumberButtonBackground()
{
    static const ColorPtr token = color(0xFFD7E6FC, 1, 0xFF3462A6, 1);
    return token;
}

ColorPtr Color::propertyNamed(const QString &property)
{
    static const QHash<QString, ColorPtr (*)()> accessors = [] {
        QHash<QString, ColorPtr (*)()> map;
        for (const TokenInfo &token : tokenTable())
            map.insert(QString::fromLatin1(token.property), token.accessor);
        const std::pair<const char *, ColorPtr (*)()> others[] = {
            {"hovered", &Color::hovered},
            {"press", &Color::press},
            {"subtleNeutralHover", &Color::subtleNeutralHover},
            {"subtlePrimaryDisabled", &Color::subtlePrimaryDisabled},
            {"kalvoClear", &Color::kalvoClear},
            {"fillDefaultTransparent", &Color::fillDefaultTransparent},
            {"underlay", &Color::underlay},
            {"componentNavBackgroundClassic", &Color::componentNavBackgroundClassic},
            {"componentBorder", &Color::componentBorder},
            {"invalidTokenColor", &Color::invalidTokenColor},
            {"badgeTextNeutral", &Color::badgeTextNeutral},
            {"AvatarGroupWrapperBackground", &Color::AvatarGroupWrapperBackground},
            {"AvatarGroupWrapperNumberButtonBackground", &Color::AvatarGroupWrapperNumberButtonBackground},
        };
        for (const auto &[name, accessor] : others)
            map.insert(QString::fromLatin1(name), accessor);
        return map;
    }();
    auto it = accessors.constFind(property);
    return it != accessors.constEnd() ? (*it)() : nullptr;
}

// ---- Color::Theme ----

namespace {

struct ThemeTokenCache
{
    std::mutex mutex;
    QHash<QString, ColorPtr> colors;
};

ThemeTokenCache &themeTokenCache()
{
    static auto *cache = new ThemeTokenCache;
    return *cache;
}

// A fixed theme-aware token: light, dark, and per-theme light and dark values.
ColorPtr fixedThemeToken(quint64 light, quint64 dark, const ThemeHexMap &lightThemes, const ThemeHexMap &darkThemes)
{
    return Color::color(light, dark, lightThemes, darkThemes);
}

} // namespace

ColorPtr Color::Theme::colorWithTokenName(const QString &key)
{
    ThemeTokenCache &cache = themeTokenCache();
    std::lock_guard lock(cache.mutex);
    auto found = cache.colors.constFind(key);
    if (found != cache.colors.constEnd())
        return *found;
    const std::optional<quint64> light = detail::lookupToken(key, detail::kLightFile);
    const std::optional<quint64> dark = detail::lookupToken(key, detail::kDarkFile);
    if (!light || !dark)
        return Color::kalvoClear();
    ThemeColorMap themes;
    const std::pair<ThemeName, const QString *> files[] = {
        {ThemeName::agave, &detail::kAgaveFile},
        {ThemeName::bloom, &detail::kBloomFile},
        {ThemeName::rose, &detail::kRoseFile},
    };
    for (const auto &[theme, file] : files) {
        // The theme file supplies the dark variant; light stays the light file's.
        if (const std::optional<quint64> themed = detail::lookupToken(key, *file))
            themes.emplace(theme, Color::color(*light, 1.0, *themed, 1.0));
    }
    ColorPtr result = Color::color(*light, 1.0, *dark, 1.0, themes);
    cache.colors.insert(key, result);
    return result;
}

ColorPtr Color::Theme::backgroundDarkerNeutral()
{
    static const ColorPtr token = fixedThemeToken(
        0xFFFFFF, 0x131619, {}, {{ThemeName::agave, 0x0F3433}, {ThemeName::bloom, 0x0D2151}, {ThemeName::rose, 0x561221}});
    return token;
}

ColorPtr Color::Theme::fillSubtlerNeutral()
{
    static const ColorPtr token = fixedThemeToken(
        0xF7F9FA, 0x2A2B2D, {}, {{ThemeName::agave, 0x335654}, {ThemeName::bloom, 0x395286}, {ThemeName::rose, 0x703843}});
    return token;
}

ColorPtr Color::Theme::borderPrimary()
{
    static const ColorPtr token =
        fixedThemeToken(0x4793F1, 0x0E72ED, {{ThemeName::agave, 0x00B2AE}, {ThemeName::rose, 0xF17E93}}, {});
    return token;
}

ColorPtr Color::Theme::fillGlobalPrimary()
{
    static const ColorPtr token = fixedThemeToken(
        0x0D6BDE, 0x0D6BDE, {{ThemeName::agave, 0x195655}, {ThemeName::bloom, 0x153685}, {ThemeName::rose, 0x841930}},
        {{ThemeName::agave, 0x257F7C}, {ThemeName::bloom, 0x2049AA}, {ThemeName::rose, 0xBB2648}});
    return token;
}

ColorPtr Color::Theme::primaryHovered()
{
    static const ColorPtr token = fixedThemeToken(
        0x0C60C8, 0x7DB4F7, {{ThemeName::agave, 0x164D4D}, {ThemeName::bloom, 0x133178}, {ThemeName::rose, 0x77162B}},
        {{ThemeName::agave, 0x79D8D5}, {ThemeName::bloom, 0x7D9DE7}, {ThemeName::rose, 0xE7899F}});
    return token;
}

ColorPtr Color::Theme::primaryPressed()
{
    static const ColorPtr token = fixedThemeToken(
        0x084085, 0x084085, {{ThemeName::agave, 0x0F3433}, {ThemeName::bloom, 0x0D2150}, {ThemeName::rose, 0x4F0F1D}},
        {{ThemeName::agave, 0x164C4A}, {ThemeName::bloom, 0x132C66}, {ThemeName::rose, 0x70172C}});
    return token;
}

ColorPtr Color::Theme::textError()
{
    static const ColorPtr token = fixedThemeToken(
        0xDA1639, 0xFF6682, {}, {{ThemeName::agave, 0xF6AAB8}, {ThemeName::bloom, 0xF6AAB8}, {ThemeName::rose, 0xF6AAB8}});
    return token;
}

ColorPtr Color::Theme::textNeutral()
{
    static const ColorPtr token = fixedThemeToken(
        0x686F79, 0x939BA4, {}, {{ThemeName::agave, 0xA4E3E1}, {ThemeName::bloom, 0xA8BDF1}, {ThemeName::rose, 0xF1BBC8}});
    return token;
}

ColorPtr Color::Theme::textStrongerNeutral()
{
    static const ColorPtr token = fixedThemeToken(
        0x2A2B2D, 0xF7F9FA, {}, {{ThemeName::agave, 0xF5F7FA}, {ThemeName::bloom, 0xF5F7FA}, {ThemeName::rose, 0xFDFCFC}});
    return token;
}

ColorPtr Color::Theme::textPrimary()
{
    static const ColorPtr token = fixedThemeToken(
        0x0D6BDE, 0x599EF2, {{ThemeName::agave, 0x007C7C}, {ThemeName::bloom, 0x2057B1}, {ThemeName::rose, 0xAF1E30}},
        {{ThemeName::agave, 0x62ADAB}, {ThemeName::bloom, 0xC4D8FF}, {ThemeName::rose, 0xEF798A}});
    return token;
}

ColorPtr Color::Theme::borderSubtleNeutral()
{
    static const ColorPtr token = fixedThemeToken(
        0xDFE3E8, 0x313235, {{ThemeName::agave, 0xDFE3E8}, {ThemeName::bloom, 0xDFE3E8}, {ThemeName::rose, 0xDFE3E8}},
        {{ThemeName::agave, 0x4F6D6B}, {ThemeName::bloom, 0x395286}, {ThemeName::rose, 0x86525C}});
    return token;
}

const std::vector<Color::Theme::TokenInfo> &Color::Theme::tokenTable()
{
    static const std::vector<TokenInfo> table{
        {"backgroundDarkerNeutral", &Theme::backgroundDarkerNeutral},
        {"fillSubtlerNeutral", &Theme::fillSubtlerNeutral},
        {"borderPrimary", &Theme::borderPrimary},
        {"fillGlobalPrimary", &Theme::fillGlobalPrimary},
        {"primaryHovered", &Theme::primaryHovered},
        {"primaryPressed", &Theme::primaryPressed},
        {"textError", &Theme::textError},
        {"textNeutral", &Theme::textNeutral},
        {"textStrongerNeutral", &Theme::textStrongerNeutral},
        {"textPrimary", &Theme::textPrimary},
        {"borderSubtleNeutral", &Theme::borderSubtleNeutral},
    };
    return table;
}

// ---- Free functions and the tn family ----

ColorPtr TNHexColor(quint64 light, quint64 dark)
{
    return Color::color(light, 1.0, dark, 1.0);
}

ColorPtr TNHexColorWithAlpha(quint64 light, quint64 dark, double lightAlpha, double darkAlpha)
{
    return Color::color(light, lightAlpha, dark, darkAlpha);
}

#define KALVO_TN_HEX(name, light, dark, lightAlpha, darkAlpha)                                                    \
    ColorPtr name()                                                                                              \
    {                                                                                                            \
        return TNHexColorWithAlpha(light, dark, lightAlpha, darkAlpha);                                          \
    }
#define KALVO_TN_FIXED(name, rgb, alpha)                                                                          \
    QColor name()                                                                                                \
    {                                                                                                            \
        return NSColorFromHexWithAlpha(rgb, alpha);                                                              \
    }
#include <kalvo/theme/tncolors.inc>
#undef KALVO_TN_HEX
#undef KALVO_TN_FIXED

ColorPtr tnBtnTxtNormalBgColor()
{
    return Color::fillDefaultTransparent();
}

ColorPtr tnWhiteColor()
{
    return Color::inverseGlobalDefault();
}

ColorPtr tnPriTextColor()
{
    return Color::textStrongerNeutral();
}

ColorPtr tnLineColor()
{
    return Color::borderSubtleNeutral();
}

QColor tnWhite()
{
    return QColor(Qt::white);
}

QColor tnDarkGray()
{
    return QColor::fromRgbF(0.333f, 0.333f, 0.333f, 1.0f);
}

QColor tnDarkGrayColor()
{
    return tnDarkGray();
}

const std::vector<TNColorInfo> &tnColorTable()
{
    static const std::vector<TNColorInfo> table{
#define KALVO_TN_HEX(name, light, dark, lightAlpha, darkAlpha) {#name, [] { return PlatformColor(name()); }},
#define KALVO_TN_FIXED(name, rgb, alpha) {#name, [] { return PlatformColor(name()); }},
#include <kalvo/theme/tncolors.inc>
#undef KALVO_TN_HEX
#undef KALVO_TN_FIXED
        {"tnBtnTxtNormalBgColor", [] { return PlatformColor(tnBtnTxtNormalBgColor()); }},
        {"tnWhiteColor", [] { return PlatformColor(tnWhiteColor()); }},
        {"tnPriTextColor", [] { return PlatformColor(tnPriTextColor()); }},
        {"tnLineColor", [] { return PlatformColor(tnLineColor()); }},
        {"tnWhite", [] { return PlatformColor(tnWhite()); }},
        {"tnDarkGray", [] { return PlatformColor(tnDarkGray()); }},
        {"tnDarkGrayColor", [] { return PlatformColor(tnDarkGrayColor()); }},
    };
    return table;
}

} // namespace kalvo
