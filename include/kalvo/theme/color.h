// Kalvo's colour model.
//
// A Color is not one RGBA value but a light and a dark value, optionally
// with per-theme values, resolved at the moment of drawing against the
// current drawing appearance and theme (appearance.h):
//
//   painter.setPen(Color::textPrimary()->resolved());
//
// Colours are shared, immutable objects held by std::shared_ptr (ColorPtr):
// equal requests return the same object from process-wide caches, and every
// token is made once. Resolution allocates nothing and never caches a
// resolved value, so a change of appearance or theme shows at the next paint.
// Off the main thread colours resolve to their light variant.
//
// PlatformColor stands for "any colour the platform can draw": a plain QColor
// or a Color. Theme maps and the variants of colours made from other colours
// hold PlatformColors, so a Color inside a Color resolves again when drawn.
//
// ---- Index ----
// PlatformColor      plain-or-Kalvo colour value, with the text conversions
// Color              the base class, factories, caches and tokens
// AppearanceColor    light/dark by the drawing appearance
// WrapperNSColor     a plain colour as a Color
// ThemeColor         per-theme values, FixedThemeColor
// Color::Theme       the theme-aware tokens
// Free functions     packed values and text parsers of the older kit
#pragma once

#include <kalvo/theme/themename.h>

#include <QColor>
#include <QString>

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <mutex>
#include <vector>

namespace kalvo {

class Color;
class PigmentColor;
struct TNPigment;

using ColorPtr = std::shared_ptr<const Color>;

// The colour record the HTML snippet parser consumes.
struct HTMLNodeColor
{
    qint64 lightRGB = 0;
    qint64 darkRGB = 0;
    float lightAlpha = 0;
    float darkAlpha = 0;

    bool operator==(const HTMLNodeColor &) const = default;
};

// What colours resolve against: read once per resolution. Off the main
// thread it is always light, without a theme.
struct DrawingState
{
    bool dark = false;
    bool mainThread = false;
    std::uint8_t themeRaw = 0; // one byte: the state travels in a register

    ThemeName theme() const { return static_cast<ThemeName>(themeRaw); }
};
KALVO_EXPORT DrawingState currentDrawingState();

// ---- PlatformColor ----

class KALVO_EXPORT PlatformColor
{
public:
    PlatformColor() = default; // no colour
    PlatformColor(const QColor &color) : m_plain(color) {}
    PlatformColor(Qt::GlobalColor color) : m_plain(color) {}
    PlatformColor(ColorPtr color) : m_color(std::move(color)) {}
    template <typename T>
        requires std::is_base_of_v<Color, T>
    PlatformColor(std::shared_ptr<T> color) : m_color(std::move(color))
    {
    }

    bool isValid() const { return m_color != nullptr || m_plain.isValid(); }
    bool isKalvoColor() const { return m_color != nullptr; }
    const ColorPtr &kalvoColorPtr() const { return m_color; }
    // The plain colour; invalid for a Kalvo colour.
    const QColor &plain() const { return m_plain; }

    // What would be drawn now.
    QColor resolved() const;

    // The receiver as a Color: itself when it is one, else Color::color(with:).
    ColorPtr kalvoColor() const;
    // A plain colour answers itself; a Color its variants.
    PlatformColor lightColor() const;
    PlatformColor darkColor() const;

    // round(r*255) << 16 | round(g*255) << 8 | round(b*255) of the colour as
    // drawn now, in device RGB.
    quint64 hexRGB() const;
    // "0xRRGGBB" with each channel truncated.
    QString hexString() const;
    double alphaComponent() const;
    // "0x<hexRGB><alpha %.2f>" for plain colours; Color::tnCacheKey for Colors.
    QString tnCacheKey() const;
    HTMLNodeColor htmlNodeClor() const;

    // The colour to hand to drawing code now (the platform colour object).
    QColor tn_CGColor() const { return resolved(); }
    // A new colour from the components of the one drawn now.
    QColor newTNCGColor() const { return QColor::fromRgbF(resolved().redF(), resolved().greenF(), resolved().blueF(), resolved().alphaF()); }

    // Same object for Colors, same value for plain colours.
    bool operator==(const PlatformColor &other) const;

private:
    ColorPtr m_color;
    QColor m_plain;
};

using ThemeColorMap = std::map<ThemeName, PlatformColor>;
using ThemeHexMap = std::map<ThemeName, quint64>;

// ---- Color ----

class KALVO_EXPORT Color : public std::enable_shared_from_this<Color>
{
public:
    // A bare colour: light 0xFFFFFF at alpha 0, dark 0x000000 at alpha 0.
    Color();
    Color(quint64 lightHex, double lightAlpha, quint64 darkHex, double darkAlpha);
    virtual ~Color();

    Color(const Color &) = delete;
    Color &operator=(const Color &) = delete;

    quint64 lightHex() const { return m_lightHex; }
    double lightAlpha() const { return m_lightAlpha; }
    quint64 darkHex() const { return m_darkHex; }
    double darkAlpha() const { return m_darkAlpha; }

    // ---- Overridable operations ----
    virtual PlatformColor lightColor() const;
    virtual PlatformColor darkColor() const;
    virtual PlatformColor light(ThemeName theme) const;
    virtual PlatformColor dark(ThemeName theme) const;
    virtual ColorPtr colorWithAlphaComponent(double alpha) const;
    virtual QString debugDescription() const;
    virtual QString tnCacheKey() const;
    virtual HTMLNodeColor htmlNodeClor() const;
    // The colour that answers for this one at this moment. A bare Color
    // answers its light variant.
    const PlatformColor &resolvedColor() const { return resolvedColorIn(currentDrawingState()); }
    // The same for a given drawing state; what subclasses override.
    virtual const PlatformColor &resolvedColorIn(const DrawingState &state) const;
    // "kalvo::AppearanceColor" and so on.
    virtual const char *className() const;

    // resolvedColor() followed through nested Colors down to a QColor.
    QColor resolved() const;
    // Questions a plain colour answers, asked of the colour of the moment.
    quint64 hexRGB() const { return PlatformColor(shared_from_this()).hexRGB(); }
    QString hexString() const { return PlatformColor(shared_from_this()).hexString(); }
    double alphaComponent() const { return resolved().alphaF(); }

    // Colours cannot be decoded from an archive or a pasteboard: both stop
    // the process (programming errors).
    [[noreturn]] static void initWithCoder();
    [[noreturn]] static void initWithPasteboardPropertyList();

    // ---- Factories ----

    // The central factory: cached by value, so equal requests give the same
    // object. A packed value with an alpha byte (0xAARRGGBB) takes its alpha
    // from there and ignores the alpha argument. With themes, a
    // FixedThemeColor; without, an AppearanceColor.
    static ColorPtr color(quint64 lightHex, double lightAlpha, quint64 darkHex, double darkAlpha,
                          const ThemeColorMap &themes = {});
    static ColorPtr color(quint64 lightHex, quint64 darkHex); // alphas 1.0
    // Themes keyed by ThemeName raw value; unknown numbers are dropped.
    static ColorPtr color(quint64 lightHex, quint64 darkHex, const std::map<qint64, PlatformColor> &themesByRaw);
    // Per-theme packed values; a fresh object on every call.
    static ColorPtr color(quint64 lightHex, quint64 darkHex, const ThemeHexMap &lightHexThemes,
                          const ThemeHexMap &darkHexThemes);
    // An appearance pair from two colours, cached by their keys.
    static ColorPtr color(const PlatformColor &light, const PlatformColor &dark);
    // Any colour as a Color: a Color itself, a plain colour wrapped (cached).
    static ColorPtr color(const PlatformColor &color);
    // A new PigmentColor (not cached).
    static std::shared_ptr<PigmentColor> color(const TNPigment &pigment);
    // The token of the token files under `key`; kalvoClear when either file
    // lacks it.
    static ColorPtr colorWithTokenName(const QString &key);
    // A token key, a path-like name ("colors/bg-primary") or a token
    // property name; invalidTokenColor when none matches. A null QString
    // gives fillError. Cached under the name.
    static ColorPtr colorWithName(const QString &name);

    // The names of the older kit.
    static ColorPtr colorWithLightHex(quint64 lightHex, double lightAlpha, quint64 darkHex, double darkAlpha)
    {
        return color(lightHex, lightAlpha, darkHex, darkAlpha);
    }
    static ColorPtr colorWithLightHex(quint64 lightHex, quint64 darkHex) { return color(lightHex, darkHex); }
    static ColorPtr colorWithLightColor(const PlatformColor &light, const PlatformColor &dark)
    {
        return color(light, dark);
    }
    static ColorPtr colorWithColor(const PlatformColor &c) { return color(c); }

    // The packed-value halves: value & 0xFFFFFF, and the alpha byte / 255
    // when there is one, else `fallback`.
    static quint64 colorFor(quint64 value) { return value & 0xFFFFFF; }
    static double alphaFor(quint64 value, double fallback);
    // "%lx%.2f%lx%.2f" of the 24-bit values and effective alphas.
    static QString cachekey(quint64 lightHex, double lightAlpha, quint64 darkHex, double darkAlpha);

    // ---- The name cache ----
    static std::map<QString, ColorPtr> colorCache();
    static void setColorCache(const std::map<QString, ColorPtr> &cache);
    // Held for the whole of colorWithName(), clearColorCache() and the
    // accessors above.
    static std::recursive_mutex &cacheLock();
    static void clearColorCache();

    // ---- Tokens from the token files ----
#define KALVO_COLOR_TOKEN(group, property, key) static ColorPtr property();
#include <kalvo/theme/colortokens.inc>
#undef KALVO_COLOR_TOKEN

    // Aliases: the same objects as the tokens they name.
    static ColorPtr hovered() { return hover(); }
    static ColorPtr press() { return pressed(); }
    static ColorPtr subtleNeutralHover() { return subtleNeutralHovered(); }
    static ColorPtr subtlePrimaryDisabled() { return subtlePrimaryDisable(); }

    // Fixed tokens.
    static ColorPtr kalvoClear();
    static ColorPtr fillDefaultTransparent();
    static ColorPtr underlay();
    static ColorPtr componentNavBackgroundClassic();
    static ColorPtr componentBorder();
    static ColorPtr invalidTokenColor();
    static ColorPtr badgeTextNeutral();
    static ColorPtr AvatarGroupWrapperBackground();
    static ColorPtr AvatarGroupWrapperNumberButtonBackground();

    // The token-file tokens by group, in file order, for listings.
    struct TokenInfo
    {
        const char *group;
        const char *property;
        const char *key;
        ColorPtr (*accessor)();
    };
    static const std::vector<TokenInfo> &tokenTable();
    // A class-level colour by its property name (tokens, aliases, fixed
    // tokens); null when there is none.
    static ColorPtr propertyNamed(const QString &property);

    class Theme;

protected:
    // Creates without caching: step four of the hex factory.
    static ColorPtr make(quint64 lightHex, double lightAlpha, quint64 darkHex, double darkAlpha,
                         const ThemeColorMap &themes);

    quint64 m_lightHex;
    double m_lightAlpha;
    quint64 m_darkHex;
    double m_darkAlpha;
    PlatformColor m_lightColor; // the materialised variants
    PlatformColor m_darkColor;

    friend class PlatformColor;
};

// ---- AppearanceColor ----

// Dark variant while the drawing appearance is dark, else light.
class KALVO_EXPORT AppearanceColor : public Color
{
public:
    using Color::Color;
    // A pair of existing colours (both variants given).
    AppearanceColor(quint64 lightHex, double lightAlpha, quint64 darkHex, double darkAlpha,
                    const PlatformColor &lightColor, const PlatformColor &darkColor);
    const PlatformColor &resolvedColorIn(const DrawingState &state) const override;
    const char *className() const override { return "kalvo::AppearanceColor"; }
};

// ---- WrapperNSColor ----

// A plain colour as a Color: always its light variant, the wrapped colour.
class KALVO_EXPORT WrapperNSColor final : public AppearanceColor
{
public:
    explicit WrapperNSColor(const QColor &wrapped);
    const PlatformColor &resolvedColorIn(const DrawingState &state) const override;
    const char *className() const override { return "kalvo::WrapperNSColor"; }
};

// ---- ThemeColor ----

// The colour stored for the drawing theme, else light/dark as AppearanceColor.
class KALVO_EXPORT ThemeColor : public AppearanceColor
{
public:
    ThemeColor(quint64 lightHex, double lightAlpha, quint64 darkHex, double darkAlpha, ThemeColorMap themes);

    const ThemeColorMap &themes() const { return m_themes; }

    PlatformColor light(ThemeName theme) const override;
    PlatformColor dark(ThemeName theme) const override;
    ColorPtr colorWithAlphaComponent(double alpha) const override;
    QString debugDescription() const override;
    QString tnCacheKey() const override;
    const PlatformColor &resolvedColorIn(const DrawingState &state) const override;
    const char *className() const override { return "kalvo::ThemeColor"; }

private:
    ThemeColorMap m_themes;
    // m_themes by raw value, for drawing without a tree walk.
    std::array<const PlatformColor *, 9> m_byTheme{};
};

// What the hex factory makes when it is given theme values.
class KALVO_EXPORT FixedThemeColor final : public ThemeColor
{
public:
    using ThemeColor::ThemeColor;
    const char *className() const override { return "kalvo::FixedThemeColor"; }
};

// ---- Color::Theme ----

// The theme-aware tokens: values for agave, bloom and rose come from the
// theme token files (their dark variants) or are fixed here.
class KALVO_EXPORT Color::Theme
{
public:
    // Light and dark from the token files, each theme file's value as that
    // theme's dark variant; cached per key. kalvoClear (uncached) when the
    // light or dark file lacks the key.
    static ColorPtr colorWithTokenName(const QString &key);

    static ColorPtr backgroundDarkerNeutral();
    static ColorPtr fillSubtlerNeutral();
    static ColorPtr borderPrimary();
    static ColorPtr fillGlobalPrimary();
    static ColorPtr primaryHovered();
    static ColorPtr primaryPressed();
    static ColorPtr textError();
    static ColorPtr textNeutral();
    static ColorPtr textStrongerNeutral();
    static ColorPtr textPrimary();
    static ColorPtr borderSubtleNeutral();

    struct TokenInfo
    {
        const char *property;
        ColorPtr (*accessor)();
    };
    static const std::vector<TokenInfo> &tokenTable();
};

using KalvoColor = Color;
using KalvoColorTheme = Color::Theme;

// ---- Free functions ----

// sRGB colours from packed values; bits above 0xFFFFFF are ignored.
KALVO_EXPORT QColor NSColorFromHex(quint64 hex);
KALVO_EXPORT QColor NSColorFromHexWithAlpha(quint64 hex, double alpha);
// 0xRRGGBBAA.
KALVO_EXPORT QColor NSColorFromRGBAHex(quint64 value);
KALVO_EXPORT QColor NSColorRGBA(int red, int green, int blue, double alpha);
KALVO_EXPORT QColor CGColorRGBA(int red, int green, int blue, double alpha);
KALVO_EXPORT QColor CGColorFromHex(quint64 hex);
KALVO_EXPORT QColor TNCGColorCreateSRGB(double red, double green, double blue, double alpha);
KALVO_EXPORT QColor KTNNSColorFromHex(quint64 hex);
KALVO_EXPORT QColor KTNNSColorFromHexWithAlpha(quint64 hex, double alpha);
KALVO_EXPORT ColorPtr TNHexColor(quint64 light, quint64 dark);
KALVO_EXPORT ColorPtr TNHexColorWithAlpha(quint64 light, quint64 dark, double lightAlpha, double darkAlpha);
// NSColor(hex:) and NSColor(hex:alpha:).
KALVO_EXPORT QColor colorFromHex(quint64 hex, double alpha = 1.0);
KALVO_EXPORT QColor colorFromHexvalue(quint64 hex, double alpha);
KALVO_EXPORT std::optional<QColor> tn_colorWithCGColor(const std::optional<QColor> &color);

// The older text parsers; each has its own convention.
// "#RRGGBB", "0xAARRGGBB", ...: 6 or 8 digits after "#"/"0x", else tnDark.
KALVO_EXPORT QColor NSColorFromHexString(const QString &text);
// "#rgb", "#rrggbb", "#rrggbbaa" (also after "0x"); names go to
// hexTripletWithStr; anything else is clear.
KALVO_EXPORT QColor hexColorWithString(const QString &text);
// A named colour of the "TNSVGColors" table; unknown names are clear.
KALVO_EXPORT QColor hexTripletWithStr(const QString &name);
// The last two digits of text of 9 or more characters / 255, else 1.0.
KALVO_EXPORT double opacityOfHexColor(const QString &text);
// "rrggbb" or "rrggbbaa" without prefix, lenient digits; nothing below 6.
KALVO_EXPORT std::optional<QColor> colorWithRGBString(const QString &text);

// The token value parser: "#RRGGBB", "#AARRGGBB" or "rgba(r, g, b, a)" to
// a packed 0xAARRGGBB value.
KALVO_EXPORT std::optional<quint64> parseTokenValue(const QString &text);

} // namespace kalvo
