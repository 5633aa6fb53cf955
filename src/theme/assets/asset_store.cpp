// ---- Index ----
// Store          the cache and its queue
// Tint keys      (colour space, colour value) of plain colours and Colors
// AssetStore     lookups, SVG forwarding, sentiment icons
#include <kalvo/theme/assetstore.h>

#include <kalvo/platform/bundle.h>
#include <kalvo/platform/scheduler.h>
#include <kalvo/platform/serialqueue.h>
#include <kalvo/svg/svgmgr.h>
#include <kalvo/theme/pigment.h>

#include <QHash>

#include <array>
#include <cstring>

namespace kalvo {

// ---- Store ----

namespace {

struct Store
{
    SerialQueue queue{AssetStore::cacheQueueLabel()};
    std::map<QString, ImageAsset> cache; // touched only on the queue
};

Store &store()
{
    static auto *s = new Store; // lives for the process; its thread too
    return *s;
}

bool isAsciiIdentifier(const QString &identifier)
{
    if (identifier.isEmpty())
        return false;
    for (const QChar ch : identifier) {
        if (ch.unicode() > 127)
            return false;
    }
    return true;
}

ImagePtr loadFromLibrary(const QString &identifier)
{
    const std::shared_ptr<Bundle> bundle = Bundle::withIdentifier(QString::fromLatin1(kLibraryBundleIdentifier));
    if (!bundle)
        return nullptr;
    for (const char *extension : {"svg", "png"}) {
        const QString path = bundle->pathForResource(identifier, QString::fromLatin1(extension));
        if (path.isEmpty())
            continue;
        if (ImagePtr image = Image::imageWithContentsOfFile(path))
            return image;
    }
    return nullptr;
}

// ---- Tint keys ----

// Colours nest; deeper than this is treated as a colour without a fixed value.
constexpr int kMaxColorDepth = 8;

QString plainValueKey(const QColor &color)
{
    std::array<float, 5> components{};
    switch (color.spec()) {
    case QColor::Hsv:
        color.getHsvF(&components[0], &components[1], &components[2], &components[3]);
        break;
    case QColor::Hsl:
        color.getHslF(&components[0], &components[1], &components[2], &components[3]);
        break;
    case QColor::Cmyk:
        color.getCmykF(&components[0], &components[1], &components[2], &components[3], &components[4]);
        break;
    default: // Rgb, ExtendedRgb
        color.getRgbF(&components[0], &components[1], &components[2], &components[3]);
        break;
    }
    QString key = QString::number(int(color.spec()));
    for (const float component : components) {
        quint32 bits = 0;
        std::memcpy(&bits, &component, sizeof bits);
        key += u':' + QString::number(bits, 16);
    }
    return key;
}

// A text that fixes what the colour paints in every appearance and theme;
// nothing when that is not fixed (a pigment's colour can change at any time).
std::optional<QString> fixedValueKey(const PlatformColor &color, int depth)
{
    if (!color.isValid())
        return QStringLiteral("none");
    if (!color.isKalvoColor())
        return plainValueKey(color.plain());
    const ColorPtr &kalvo = color.kalvoColorPtr();
    if (depth > kMaxColorDepth || dynamic_cast<const PigmentColor *>(kalvo.get()))
        return std::nullopt;
    // The stored values, and the variants a colour made from other colours
    // resolves through (the stored values are a snapshot of those).
    QString key = QString::fromLatin1(kalvo->className()) + u'|' + kalvo->tnCacheKey();
    for (const PlatformColor &variant : {kalvo->lightColor(), kalvo->darkColor()}) {
        const std::optional<QString> part = fixedValueKey(variant, depth + 1);
        if (!part)
            return std::nullopt;
        key += u'|' + *part;
    }
    if (const auto *theme = dynamic_cast<const ThemeColor *>(kalvo.get())) {
        for (const auto &[name, entry] : theme->themes()) {
            const std::optional<QString> part = fixedValueKey(entry, depth + 1);
            if (!part)
                return std::nullopt;
            key += u'[' + QString::number(unsigned(name)) + u':' + *part + u']';
        }
    }
    return key;
}

} // namespace

std::optional<AssetStore::TintKey> AssetStore::tintKey(const PlatformColor &color)
{
    if (!color.isValid())
        return std::nullopt;
    const std::optional<QString> value = fixedValueKey(color, 0);
    if (!value)
        return std::nullopt;
    TintKey key;
    // Kalvo colours live in their own space: light, dark and theme values.
    key.colorSpace = color.isKalvoColor() ? qHash(QStringLiteral("kalvo.color"))
                                          : qHash(QStringLiteral("qcolor.spec.%1").arg(int(color.plain().spec())));
    key.value = qHash(*value);
    return key;
}

// ---- AssetStore ----

QString AssetStore::cacheQueueLabel()
{
    // The reverse-DNS prefix of the library's bundle identifier.
    const QString identifier = QString::fromLatin1(kLibraryBundleIdentifier);
    const QString prefix = identifier.left(identifier.lastIndexOf(QLatin1Char('.')) + 1);
    return prefix + QStringLiteral("assetstore.cache.queue");
}

ImagePtr AssetStore::image(const QString &identifier, const PlatformColor &tint)
{
    if (!isAsciiIdentifier(identifier))
        return nullptr;
    const std::optional<TintKey> key = tint.isValid() ? tintKey(tint) : std::nullopt;
    ImagePtr result;
    Store &s = store();
    // One task does the lookup, the load and the insertions, so the file is
    // read once and each pair tinted once however many threads ask.
    s.queue.sync([&] {
        auto found = s.cache.find(identifier);
        if (found == s.cache.end()) {
            ImagePtr loaded = loadFromLibrary(identifier);
            if (!loaded)
                return;
            found = s.cache.emplace(identifier, ImageAsset{std::move(loaded), {}}).first;
        }
        ImageAsset &asset = found->second;
        if (!tint.isValid()) {
            result = asset.image->copy();
            return;
        }
        if (!key) {
            result = asset.image->tinted(tint);
            return;
        }
        auto &inner = asset.tintedImages[key->colorSpace];
        const auto hit = inner.find(key->value);
        if (hit != inner.end()) {
            result = hit->second;
            return;
        }
        result = asset.image->tinted(tint);
        inner.emplace(key->value, result);
    });
    return result;
}

std::optional<ImageAsset> AssetStore::cachedAsset(const QString &identifier)
{
    std::optional<ImageAsset> result;
    Store &s = store();
    s.queue.sync([&] {
        const auto found = s.cache.find(identifier);
        if (found != s.cache.end())
            result = found->second;
    });
    return result;
}

namespace {

// The SVG registry belongs to the main thread.
void onMainThread(const std::function<void()> &fn)
{
    if (isMainThread())
        fn();
    else
        syncOnMain(fn);
}

QString svgIdentifier(const QString &identifier)
{
    return QStringLiteral("SVG/") + identifier;
}

} // namespace

ImagePtr AssetStore::svgImage(const QString &identifier, double scale)
{
    ImagePtr result;
    onMainThread([&] { result = KTNSVGMgr::sharedMgr().imageForIdentifier(svgIdentifier(identifier), scale); });
    return result;
}

std::optional<QPainterPath> AssetStore::svgFirstPath(const QString &identifier, double scale)
{
    std::optional<QPainterPath> result;
    onMainThread([&] { result = KTNSVGMgr::sharedMgr().firstPathForIdentifier(svgIdentifier(identifier), scale); });
    return result;
}

std::optional<KTNSvgElement> AssetStore::svgElement(const QString &identifier)
{
    std::optional<KTNSvgElement> result;
    onMainThread([&] { result = KTNSVGMgr::sharedMgr().svgElementForIdentifier(svgIdentifier(identifier)); });
    return result;
}

ImagePtr AssetStore::icon(Sentiment sentiment)
{
    ImagePtr result;
    switch (sentiment) {
    case Sentiment::information:
        result = image(QStringLiteral("Icon/Fill/Info/Small"), Color::iconPrimary());
        break;
    case Sentiment::success:
        result = image(QStringLiteral("Icon/Fill/Checkmark/Small/Circle"), Color::iconSuccess());
        break;
    case Sentiment::warning:
        result = image(QStringLiteral("Icon/Alert/Small/Triangle"));
        break;
    case Sentiment::danger:
        result = image(QStringLiteral("Icon/Fill/Alert/Small/Circle"), Color::iconError());
        break;
    case Sentiment::ai:
        result = image(QStringLiteral("Icon/Fill/Alert/Small/Circle"), Color::iconPrimary());
        break;
    case Sentiment::plain:
    case Sentiment::new_:
    case Sentiment::beta:
    case Sentiment::system:
        break;
    }
    return result ? result : Image::emptyImage();
}

ImagePtr KalvoAssetStore::iconForSentiment(long long rawSentiment)
{
    if (const std::optional<Sentiment> sentiment = fromRaw<Sentiment>(rawSentiment))
        return AssetStore::icon(*sentiment);
    return Image::emptyImage();
}

} // namespace kalvo
