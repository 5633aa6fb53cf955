// ---- Index ----
// PlatformColor       resolution and text forms of plain-or-Kalvo colours
// Color               variants, keys, descriptions, resolution
// Subclasses          AppearanceColor, WrapperNSColor, ThemeColor, PigmentColor
// Factories           the hex cache and the colour-from-colour factories
// Names               colorWithName() and the name cache
//
// Caches: every cache has its own lock, because colours are also made off
// the main thread (the asset store tints on its own queue). The name cache
// uses the recursive cacheLock() that callers may hold themselves; it is
// taken before the others and never while holding one of them.
#include <kalvo/theme/color.h>

#include <kalvo/platform/scheduler.h>
#include <kalvo/theme/appearance.h>
#include <kalvo/theme/pigment.h>

#include "token_files_p.h"

#include <QHash>
#include <QStringList>

#include <cmath>

namespace kalvo {

namespace {

// Channel * 255, truncated; the nudge keeps exact byte values (128/255 * 255
// is 127.99999...) from dropping by one.
qint64 truncatedByte(float component)
{
    return static_cast<qint64>(static_cast<double>(component) * 255.0 + 1e-7);
}

qint64 roundedByte(float component)
{
    return std::lround(static_cast<double>(component) * 255.0);
}

const PlatformColor &clearPlatformColor()
{
    static const PlatformColor clear{QColor(0, 0, 0, 0)};
    return clear;
}

// Colours nest (a theme entry, a pair made of Colors, a pigment's colour);
// a pigment can even be given its own colour. Deeper than this is a loop.
constexpr int kMaxResolutionDepth = 16;

} // namespace

// ---- PlatformColor ----

QColor PlatformColor::resolved() const
{
    return m_color ? m_color->resolved() : m_plain;
}

ColorPtr PlatformColor::kalvoColor() const
{
    return m_color ? m_color : Color::color(*this);
}

PlatformColor PlatformColor::lightColor() const
{
    return m_color ? m_color->lightColor() : *this;
}

PlatformColor PlatformColor::darkColor() const
{
    return m_color ? m_color->darkColor() : *this;
}

quint64 PlatformColor::hexRGB() const
{
    const QColor rgb = resolved().toRgb();
    return static_cast<quint64>(roundedByte(rgb.redF()) << 16 | roundedByte(rgb.greenF()) << 8 | roundedByte(rgb.blueF()));
}

QString PlatformColor::hexString() const
{
    const QColor rgb = resolved().toRgb();
    return QString::asprintf("0x%02llX%02llX%02llX", static_cast<long long>(truncatedByte(rgb.redF())),
                             static_cast<long long>(truncatedByte(rgb.greenF())),
                             static_cast<long long>(truncatedByte(rgb.blueF())));
}

double PlatformColor::alphaComponent() const
{
    return resolved().alphaF();
}

QString PlatformColor::tnCacheKey() const
{
    if (m_color)
        return m_color->tnCacheKey();
    return QString::asprintf("0x%llx%.2f", hexRGB(), alphaComponent());
}

HTMLNodeColor PlatformColor::htmlNodeClor() const
{
    if (m_color)
        return m_color->htmlNodeClor();
    // Only colours of the RGB model answer; others give zeros.
    const QColor::Spec spec = m_plain.spec();
    if (spec != QColor::Rgb && spec != QColor::ExtendedRgb && spec != QColor::Hsv && spec != QColor::Hsl)
        return {};
    const QColor rgb = m_plain.toRgb();
    const qint64 value = (truncatedByte(rgb.redF()) << 16) + (truncatedByte(rgb.greenF()) << 8) + truncatedByte(rgb.blueF());
    const auto alpha = static_cast<float>(rgb.alphaF());
    return HTMLNodeColor{value, value, alpha, alpha};
}

bool PlatformColor::operator==(const PlatformColor &other) const
{
    if (m_color || other.m_color)
        return m_color == other.m_color;
    return m_plain == other.m_plain;
}

// ---- Color ----

Color::Color() : Color(0xFFFFFF, 0, 0x000000, 0) {}

Color::Color(quint64 lightHex, double lightAlpha, quint64 darkHex, double darkAlpha)
    : m_lightHex(lightHex & 0xFFFFFF), m_lightAlpha(lightAlpha), m_darkHex(darkHex & 0xFFFFFF), m_darkAlpha(darkAlpha),
      // Materialised at once rather than lazily: a colour is immutable, and
      // eager variants need no lock when several threads draw it.
      m_lightColor(NSColorFromHexWithAlpha(lightHex, lightAlpha)),
      m_darkColor(NSColorFromHexWithAlpha(darkHex, darkAlpha))
{
}

Color::~Color() = default;

void Color::initWithCoder()
{
    fatalCoderNotImplemented();
}

void Color::initWithPasteboardPropertyList()
{
    qFatal("init(pasteboardPropertyList:ofType:) has not been implemented");
}

PlatformColor Color::lightColor() const
{
    return m_lightColor;
}

PlatformColor Color::darkColor() const
{
    return m_darkColor;
}

PlatformColor Color::light(ThemeName) const
{
    return lightColor();
}

PlatformColor Color::dark(ThemeName) const
{
    return darkColor();
}

ColorPtr Color::colorWithAlphaComponent(double alpha) const
{
    return color(m_lightHex, alpha, m_darkHex, alpha);
}

QString Color::debugDescription() const
{
    return QString::asprintf("<%s: %p> light:0x%llx %.2f, dark:0x%llx %.2f", className(), static_cast<const void *>(this),
                             m_lightHex, m_lightAlpha, m_darkHex, m_darkAlpha);
}

QString Color::tnCacheKey() const
{
    return QString::asprintf("0x%llx%.2f0x%llx%.2f", m_lightHex, m_lightAlpha, m_darkHex, m_darkAlpha);
}

HTMLNodeColor Color::htmlNodeClor() const
{
    return HTMLNodeColor{static_cast<qint64>(m_lightHex), static_cast<qint64>(m_darkHex),
                         static_cast<float>(m_lightAlpha), static_cast<float>(m_darkAlpha)};
}

const PlatformColor &Color::resolvedColorIn(const DrawingState &) const
{
    return m_lightColor;
}

const char *Color::className() const
{
    return "kalvo::Color";
}

QColor Color::resolved() const
{
    const DrawingState state = currentDrawingState();
    const Color *current = this;
    for (int depth = 0; depth < kMaxResolutionDepth; ++depth) {
        const PlatformColor &next = current->resolvedColorIn(state);
        if (!next.isKalvoColor())
            return next.plain();
        current = next.kalvoColorPtr().get();
    }
    return QColor(0, 0, 0, 0);
}

double Color::alphaFor(quint64 value, double fallback)
{
    const quint64 alpha = value >> 24;
    return alpha != 0 ? static_cast<double>(alpha) / 255.0 : fallback;
}

QString Color::cachekey(quint64 lightHex, double lightAlpha, quint64 darkHex, double darkAlpha)
{
    return QString::asprintf("%llx%.2f%llx%.2f", lightHex & 0xFFFFFF, alphaFor(lightHex, lightAlpha), darkHex & 0xFFFFFF,
                             alphaFor(darkHex, darkAlpha));
}

// ---- Subclasses ----

AppearanceColor::AppearanceColor(quint64 lightHex, double lightAlpha, quint64 darkHex, double darkAlpha,
                                 const PlatformColor &lightColor, const PlatformColor &darkColor)
    : Color(lightHex, lightAlpha, darkHex, darkAlpha)
{
    m_lightColor = lightColor;
    m_darkColor = darkColor;
}

const PlatformColor &AppearanceColor::resolvedColorIn(const DrawingState &state) const
{
    return state.dark ? m_darkColor : m_lightColor;
}

WrapperNSColor::WrapperNSColor(const QColor &wrapped)
    : AppearanceColor(PlatformColor(wrapped).hexRGB(), wrapped.alphaF(), PlatformColor(wrapped).hexRGB(),
                      wrapped.alphaF(), wrapped, wrapped)
{
}

const PlatformColor &WrapperNSColor::resolvedColorIn(const DrawingState &) const
{
    return m_lightColor;
}

ThemeColor::ThemeColor(quint64 lightHex, double lightAlpha, quint64 darkHex, double darkAlpha, ThemeColorMap themes)
    : AppearanceColor(lightHex, lightAlpha, darkHex, darkAlpha), m_themes(std::move(themes))
{
    for (const auto &[theme, entry] : m_themes) {
        const auto raw = static_cast<std::size_t>(theme);
        if (raw < m_byTheme.size())
            m_byTheme[raw] = &entry;
    }
}

PlatformColor ThemeColor::light(ThemeName theme) const
{
    auto it = m_themes.find(theme);
    return it != m_themes.end() ? it->second.lightColor() : lightColor();
}

PlatformColor ThemeColor::dark(ThemeName theme) const
{
    auto it = m_themes.find(theme);
    return it != m_themes.end() ? it->second.darkColor() : darkColor();
}

ColorPtr ThemeColor::colorWithAlphaComponent(double alpha) const
{
    ThemeColorMap mapped;
    for (const auto &[theme, entry] : m_themes) {
        if (entry.isKalvoColor()) {
            mapped.emplace(theme, entry.kalvoColorPtr()->colorWithAlphaComponent(alpha));
        } else {
            QColor plain = entry.plain();
            plain.setAlphaF(static_cast<float>(std::clamp(alpha, 0.0, 1.0)));
            mapped.emplace(theme, plain);
        }
    }
    return color(m_lightHex, alpha, m_darkHex, alpha, mapped);
}

QString ThemeColor::debugDescription() const
{
    QStringList entries;
    for (const auto &[theme, entry] : m_themes) {
        const QString value = entry.isKalvoColor() ? entry.kalvoColorPtr()->debugDescription()
                                                   : entry.plain().name(QColor::HexArgb);
        entries.append(description(theme) + QStringLiteral(": ") + value);
    }
    return Color::debugDescription() + QStringLiteral(" \n {") + entries.join(QStringLiteral(", ")) + QLatin1Char('}');
}

QString ThemeColor::tnCacheKey() const
{
    QString key = Color::tnCacheKey();
    for (const auto &[theme, entry] : m_themes)
        key += QLatin1Char('[') + description(theme) + QLatin1Char(':') + entry.tnCacheKey() + QLatin1Char(']');
    return key;
}

const PlatformColor &ThemeColor::resolvedColorIn(const DrawingState &state) const
{
    if (!state.mainThread)
        return m_lightColor;
    const std::size_t theme = state.themeRaw;
    if (theme != 0 && theme < m_byTheme.size() && m_byTheme[theme])
        return *m_byTheme[theme];
    return AppearanceColor::resolvedColorIn(state);
}

PigmentColor::PigmentColor(std::optional<TNPigment> pigment) : AppearanceColor(), m_pigment(std::move(pigment)) {}

PlatformColor PigmentColor::lightColor() const
{
    if (m_pigment && m_pigment->color.isValid())
        return m_pigment->color.lightColor();
    return clearPlatformColor();
}

PlatformColor PigmentColor::darkColor() const
{
    if (m_pigment && m_pigment->color.isValid())
        return m_pigment->color.darkColor();
    return clearPlatformColor();
}

const PlatformColor &PigmentColor::resolvedColorIn(const DrawingState &state) const
{
    if (state.mainThread && m_pigment && m_pigment->color.isValid())
        return m_pigment->color;
    return clearPlatformColor();
}

// ---- Factories ----

namespace {

struct HexCache
{
    std::mutex mutex;
    QHash<QString, ColorPtr> colors;
    HexCache() { colors.reserve(200); }
};

HexCache &hexCache()
{
    static auto *cache = new HexCache; // lives for the process
    return *cache;
}

QString themeKeySuffix(const ThemeColorMap &themes)
{
    QString suffix;
    for (const auto &[theme, entry] : themes)
        suffix += QLatin1Char('[') + description(theme) + QLatin1Char(':') + entry.tnCacheKey() + QLatin1Char(']');
    return suffix;
}

template <typename Make>
ColorPtr cached(const QString &key, Make make)
{
    HexCache &cache = hexCache();
    std::lock_guard lock(cache.mutex);
    auto found = cache.colors.constFind(key);
    if (found != cache.colors.constEnd())
        return *found;
    ColorPtr made = make();
    cache.colors.insert(key, made);
    return made;
}

} // namespace

ColorPtr Color::make(quint64 lightHex, double lightAlpha, quint64 darkHex, double darkAlpha,
                     const ThemeColorMap &themes)
{
    const double la = alphaFor(lightHex, lightAlpha);
    const double da = alphaFor(darkHex, darkAlpha);
    if (!themes.empty())
        return std::make_shared<FixedThemeColor>(lightHex & 0xFFFFFF, la, darkHex & 0xFFFFFF, da, themes);
    return std::make_shared<AppearanceColor>(lightHex & 0xFFFFFF, la, darkHex & 0xFFFFFF, da);
}

ColorPtr Color::color(quint64 lightHex, double lightAlpha, quint64 darkHex, double darkAlpha,
                      const ThemeColorMap &themes)
{
    const QString key = cachekey(lightHex, lightAlpha, darkHex, darkAlpha) + themeKeySuffix(themes);
    return cached(key, [&] { return make(lightHex, lightAlpha, darkHex, darkAlpha, themes); });
}

ColorPtr Color::color(quint64 lightHex, quint64 darkHex)
{
    return color(lightHex, 1.0, darkHex, 1.0);
}

ColorPtr Color::color(quint64 lightHex, quint64 darkHex, const std::map<qint64, PlatformColor> &themesByRaw)
{
    ThemeColorMap themes;
    for (const auto &[raw, entry] : themesByRaw) {
        if (const std::optional<ThemeName> theme = fromRaw<ThemeName>(raw))
            themes.emplace(*theme, entry);
    }
    return color(lightHex, 1.0, darkHex, 1.0, themes);
}

ColorPtr Color::color(quint64 lightHex, quint64 darkHex, const ThemeHexMap &lightHexThemes,
                      const ThemeHexMap &darkHexThemes)
{
    ThemeColorMap themes;
    if (!lightHexThemes.empty() || !darkHexThemes.empty()) {
        std::map<ThemeName, bool> names;
        for (const auto &[theme, value] : lightHexThemes)
            names[theme] = true;
        for (const auto &[theme, value] : darkHexThemes)
            names[theme] = true;
        for (const auto &[theme, unused] : names) {
            auto l = lightHexThemes.find(theme);
            auto d = darkHexThemes.find(theme);
            themes.emplace(theme, color(l != lightHexThemes.end() ? l->second : lightHex,
                                        d != darkHexThemes.end() ? d->second : darkHex));
        }
    }
    return make(lightHex, 1.0, darkHex, 1.0, themes);
}

ColorPtr Color::color(const PlatformColor &light, const PlatformColor &dark)
{
    const QString key = light.tnCacheKey() + dark.tnCacheKey();
    return cached(key, [&] {
        return std::make_shared<AppearanceColor>(light.hexRGB(), light.alphaComponent(), dark.hexRGB(),
                                                 dark.alphaComponent(), light, dark);
    });
}

ColorPtr Color::color(const PlatformColor &any)
{
    if (any.isKalvoColor())
        return any.kalvoColorPtr();
    const QString key = any.tnCacheKey() + any.tnCacheKey();
    return cached(key, [&] { return std::make_shared<WrapperNSColor>(any.plain()); });
}

std::shared_ptr<PigmentColor> Color::color(const TNPigment &pigment)
{
    return std::make_shared<PigmentColor>(pigment);
}

ColorPtr Color::colorWithTokenName(const QString &key)
{
    const std::optional<quint64> light = detail::lookupToken(key, detail::kLightFile);
    const std::optional<quint64> dark = detail::lookupToken(key, detail::kDarkFile);
    if (!light || !dark)
        return kalvoClear();
    return color(*light, 1.0, *dark, 1.0);
}

// ---- Names ----

namespace {

struct NameCache
{
    std::recursive_mutex lock;
    std::map<QString, ColorPtr> colors;
};

NameCache &nameCache()
{
    static auto *cache = new NameCache;
    return *cache;
}

// "colors/bg-primary" -> "BackgroundPrimary", "text-strong-neutral" ->
// "TextStrongNeutral", "fillPrimary" -> "FillPrimary"; empty when nothing is left.
QString tokenKeyForName(const QString &name)
{
    const QStringList segments = name.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (segments.isEmpty())
        return {};
    QStringList parts = segments.last().split(QLatin1Char('-'), Qt::SkipEmptyParts);
    if (parts.isEmpty())
        return {};
    if (parts.first() == QLatin1String("bg"))
        parts.first() = QStringLiteral("Background");
    QString key;
    for (QString &part : parts) {
        part[0] = part[0].toUpper();
        key += part;
    }
    return key;
}

} // namespace

ColorPtr Color::colorWithName(const QString &name)
{
    if (name.isNull())
        return fillError();
    NameCache &cache = nameCache();
    std::lock_guard lock(cache.lock);
    auto found = cache.colors.find(name);
    if (found != cache.colors.end())
        return found->second;
    ColorPtr result;
    const QString key = tokenKeyForName(name);
    if (!key.isEmpty()) {
        const std::optional<quint64> light = detail::lookupToken(key, detail::kLightFile);
        const std::optional<quint64> dark = detail::lookupToken(key, detail::kDarkFile);
        if (light && dark)
            result = color(*light, 1.0, *dark, 1.0);
    }
    if (!result)
        result = propertyNamed(name);
    if (!result)
        result = invalidTokenColor();
    cache.colors.emplace(name, result);
    return result;
}

std::map<QString, ColorPtr> Color::colorCache()
{
    std::lock_guard lock(nameCache().lock);
    return nameCache().colors;
}

void Color::setColorCache(const std::map<QString, ColorPtr> &cache)
{
    std::lock_guard lock(nameCache().lock);
    nameCache().colors = cache;
}

std::recursive_mutex &Color::cacheLock()
{
    return nameCache().lock;
}

void Color::clearColorCache()
{
    std::lock_guard lock(nameCache().lock);
    nameCache().colors.clear();
}

} // namespace kalvo
