// The registry of SVG icons by name.
//
//   KTNSVGMgr &svg = KTNSVGMgr::sharedMgr();
//   svg.registerBundle(Bundle::fromDirectory(u"/usr/share/client/icons"_s));
//   ImagePtr close = svg.imageName(u"close@2x"_s);   // close.svg at scale 2, cached
//   ImagePtr hover = svg.imageName(u"close_hover"_s); // the variant "hover" declared in close.svg
//
// Files are found in the registered bundles (the last registered first) and
// in the library's own bundle, parsed once into a KTNSvgElement tree and
// registered under the file's name and one name per variant declared in the
// file:
//
//   <svg ...> ... <tarn style="hover" value="x2|*#FF0000|:#00FF00"/> ... </svg>
//
// declares "close_hover": scale 2, the first node of the tree in depth-first
// pre-order (the "svg" element) stroked and filled #FF0000, the next one
// filled #00FF00 with no stroke. Each "|" item is "stroke:fill"; an empty
// part means none, "*c" gives c to both, an empty item leaves its node
// alone, and nodes past the list stay as they are.
//
// A name with a "_dark" partner file gives a light/dark KalvoImage. Images
// are cached per (name, scale) under "<name>&s<scale %.2f>&". A scale in a
// name ("close@2x") renders the image that many times larger.
//
// Bad files never crash: a file the XML reader rejects part-way registers
// what was read before the error (open elements are closed), and bytes that
// are not UTF-8 (in a file that names no other encoding) are such an error;
// nesting
// deeper than kMaxDepth or more than kMaxElements elements stop the reading
// the same way; files larger than kMaxFileSize are not read.
//
// Main thread, except parseSvgData() and the pure helpers.
#pragma once

#include <kalvo/svg/svgelement.h>
#include <kalvo/theme/image.h>

#include <QHash>
#include <QList>
#include <QPainterPath>
#include <QStringList>
#include <QUrl>

#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace kalvo {

class Bundle;

class KALVO_EXPORT KTNSVGMgr
{
public:
    static KTNSVGMgr &sharedMgr();

    // ---- Bundles ----
    // Added once; null is ignored.
    void registerBundle(const std::shared_ptr<Bundle> &bundle);
    void unregisterBundle(const std::shared_ptr<Bundle> &bundle);
    std::vector<std::shared_ptr<Bundle>> bundles() const;

    // ---- Parsing ----
    // The name has been registered (false for an empty name).
    bool hasParsed(const QString &name) const;
    // Parses an ".svg" file (other files are ignored) and registers it under
    // the URL's last path component without ".svg".
    KTNSVGMgr &parserWithFileURL(const QUrl &url);
    // The same, registered under `identifier`.
    KTNSVGMgr &parseFileURL(const QUrl &url, const QString &identifier);
    // Parses "<name>.svg" of the library bundle for `name` unless parsed.
    void loadSVGForIdentifier(const QString &name);
    // For a name "a_b_c…": the first prefix of two or more parts, shorter
    // than the name, that is not parsed yet and is an ".svg" resource of the
    // bundle is parsed under that prefix; its path is returned.
    std::optional<QString> processSubNamesForImage(const QString &name, const std::shared_ptr<Bundle> &bundle);

    // ---- Images ----
    // From the library bundle only, uncached; nothing when missing.
    ImagePtr imageForIdentifier(const QString &name);
    ImagePtr imageForIdentifier(const QString &name, double scale);
    ImagePtr generateImage(const QString &name, double scale);
    // Searched in every bundle, paired with "<name>_dark" and cached; never
    // null (an empty, uncached image when nothing is found).
    ImagePtr imageName(const QString &name);
    ImagePtr imageName(const QString &name, double scale);
    // The lookup behind imageName(): null when nothing is found; caches
    // nothing.
    ImagePtr tn_imageName(const QString &name, double scale);
    bool isImageExist(const QString &name);
    // The first drawable's outline of the name's (variant-applied) content.
    std::optional<QPainterPath> firstPathForIdentifier(const QString &name, double scale);
    // The registered tree of the name, without variant recolouring.
    std::optional<KTNSvgElement> svgElementForIdentifier(const QString &name);

    // ---- What is registered ----
    // An entry of the name map: "TNSVGContent" and, for a variant,
    // "TNAttContent" (its declaration).
    struct Entry
    {
        KTNSvgElement TNSVGContent;
        std::optional<KTNSvgElement> TNAttContent;
    };
    std::optional<Entry> entry(const QString &name) const;
    // Every registered name, in registration order (each once). A file with
    // several top-level elements registers each variant with the last one.
    QStringList imageNameArray() const;
    // The image cached under a key of cacheKey(), or null.
    ImagePtr cachedImage(const QString &key) const;

    // ---- Helpers (any thread) ----
    // The number at the start of the text after the last "@" ("@2x" gives
    // 2.0); 1.0 without "@".
    static double getScaleFromName(const QString &name);
    // "%@&s%.2f&".
    static QString cacheKey(const QString &name, double scale);
    // The content itself without a declaration; else a recoloured deep copy
    // whose scale is the declaration's.
    static KTNSvgElement generateWithSvgElement(const KTNSvgElement &content,
                                                const std::optional<KTNSvgElement> &declaration);
    // Applies colour items from `index` on, in pre-order; `index` ends one
    // past the last node visited.
    static void updateElement(KTNSvgElement &element, const QStringList &colorArray, qsizetype &index);
    // Empty and missing strings are equal; otherwise exact comparison.
    static bool stringToEqual(const QString &a, const QString &b);

    // A file read into the pseudo element "file" (attribute "name") with the
    // variant declarations found in it.
    struct ParsedFile
    {
        KTNSvgElement file;
        QList<KTNSvgElement> declarations;
        // False when the reader stopped early (XML error or a limit).
        bool complete = false;
        QString error;
    };
    static ParsedFile parseSvgData(const QByteArray &data, const QString &name);

    static constexpr int kMaxDepth = 128;
    static constexpr int kMaxElements = 20000;
    static constexpr qint64 kMaxFileSize = 8 * 1024 * 1024;
    // Scales above this render nothing (a name like "x@100000x" would ask for
    // a gigantic bitmap).
    static constexpr double kMaxScale = 32.0;

    KTNSVGMgr(const KTNSVGMgr &) = delete;
    KTNSVGMgr &operator=(const KTNSVGMgr &) = delete;

private:
    KTNSVGMgr();
    void parseFile(const QString &path, const QString &name);
    void registerParsed(const ParsedFile &parsed);
    // Searches the bundles, last registered first.
    void searchBundles(const QString &name, bool withSubNames);

    mutable std::mutex m_bundlesMutex;
    std::vector<std::shared_ptr<Bundle>> m_bundles;
    QHash<QString, Entry> m_imageNameMap;
    QStringList m_imageNameArray;
    QHash<QString, ImagePtr> m_imageMap;
};

// The older kit's string operations: the registry's image for a name, as
// KTNSVGMgr::sharedMgr().imageName(name) (every bundle, "_dark" pairing, a
// scale in the name, cached; an empty image when nothing is found). Main
// thread.
KALVO_EXPORT ImagePtr resourceSVGImage(const QString &name);
KALVO_EXPORT ImagePtr resourceSvgImage(const QString &name);

} // namespace kalvo
