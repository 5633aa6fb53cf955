// Icons by identifier from the library's own resources, optionally tinted.
//
//   ImagePtr eye = AssetStore::image(u"Icon/Outline/Eye/Show"_s);                 // a copy
//   ImagePtr blue = AssetStore::image(u"Icon/Outline/Eye/Show"_s, Color::iconPrimary());
//   ImagePtr warn = AssetStore::icon(Sentiment::warning);                         // never null
//
// An identifier names a resource of the library bundle (":/kalvo"): the
// identifier "Icon/Outline/Eye/Show" is the file "Icon/Outline/Eye/Show.svg"
// (or ".png"). Each file is read once per process; SVG icons are rendered by
// the SVG engine at the resolution they are drawn at. Untinted requests get
// a new copy of the cached image every time; each (icon, colour) pair is
// tinted once and the same tinted image is handed out again.
//
// Tinted copies are keyed by (colour space, colour value): plain QColors by
// their spec and value, Colors by their light, dark and theme values, so
// equal colours share one copy. A colour whose value is not fixed (a
// PigmentColor, or a Color made from one) has no colour space: it is tinted
// anew on every request and never cached. Tinted images ask their colour at
// every draw, so a Color follows the appearance by itself.
//
// Any thread: lookups run on the serial queue cacheQueueLabel(). The SVG
// registry operations (svgImage, svgFirstPath, svgElement) run on the main
// thread, waiting for it when called from another.
#pragma once

#include <kalvo/svg/svgelement.h>
#include <kalvo/theme/image.h>
#include <kalvo/theme/sentiment.h>

#include <QPainterPath>

#include <cstddef>
#include <map>
#include <optional>

namespace kalvo {

struct KALVO_EXPORT ImageAsset
{
    // As loaded from the bundle; never handed out itself.
    ImagePtr image;
    // Colour-space hash -> colour-value hash -> tinted image.
    std::map<std::size_t, std::map<std::size_t, ImagePtr>> tintedImages;
};

class KALVO_EXPORT AssetStore
{
public:
    // Nothing for an empty identifier, one with a character above code point
    // 127, or one the library bundle has no image for.
    static ImagePtr image(const QString &identifier, const PlatformColor &tint = {});
    // The SVG registry's imageForIdentifier() of "SVG/" + identifier.
    static ImagePtr svgImage(const QString &identifier, double scale);
    static std::optional<QPainterPath> svgFirstPath(const QString &identifier, double scale);
    static std::optional<KTNSvgElement> svgElement(const QString &identifier);
    // The sentiment's leading icon; an empty image (never null) when it has
    // none or the icon is missing.
    static ImagePtr icon(Sentiment sentiment);

    // "org.kalvo.assetstore.cache.queue".
    static QString cacheQueueLabel();
    // What the cache holds for the identifier (for diagnostics).
    static std::optional<ImageAsset> cachedAsset(const QString &identifier);

    // The (colour space, colour value) key of a tint colour; nothing for a
    // colour without a colour space or no colour.
    struct TintKey
    {
        std::size_t colorSpace = 0;
        std::size_t value = 0;
        bool operator==(const TintKey &) const = default;
    };
    static std::optional<TintKey> tintKey(const PlatformColor &color);
};

// The older kit's names.
class KALVO_EXPORT KalvoAssetStore
{
public:
    static ImagePtr imageForIdentifier(const QString &identifier) { return AssetStore::image(identifier); }
    static ImagePtr imageForIdentifier(const QString &identifier, const PlatformColor &tint)
    {
        return AssetStore::image(identifier, tint);
    }
    static ImagePtr iconForSentiment(Sentiment sentiment) { return AssetStore::icon(sentiment); }
    // A raw value that is no Sentiment gives an empty image.
    static ImagePtr iconForSentiment(long long rawSentiment);
};

} // namespace kalvo
