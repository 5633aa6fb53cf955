// ---- Index ----
// Bundles       registration, search order
// Parsing       files into registered names
// Images        generation, light/dark pairing, the cache
#include <kalvo/svg/svgmgr.h>

#include <kalvo/platform/bundle.h>
#include <kalvo/svg/svglibhelper.h>
#include <kalvo/theme/kalvoimage.h>

#include <QFile>
#include <QFileInfo>

#include <cmath>

namespace kalvo {

namespace {

const QString kSvgExtension = QStringLiteral("svg");
const QString kDarkSuffix = QStringLiteral("_dark");

// A file path for a "file:" or "qrc:" URL, or for a bare path.
QString pathOfUrl(const QUrl &url)
{
    if (url.isLocalFile())
        return url.toLocalFile();
    if (url.scheme() == u"qrc")
        return QLatin1Char(':') + url.path();
    if (url.scheme().isEmpty())
        return url.path();
    return {};
}

// A scale the engine can render at: not a positive number means 1 (as the
// engine reads 0), too large means nothing.
std::optional<double> usableScale(double scale)
{
    if (!std::isfinite(scale) || scale <= 0)
        return 1.0;
    if (scale > KTNSVGMgr::kMaxScale)
        return std::nullopt;
    return scale;
}

} // namespace

KTNSVGMgr::KTNSVGMgr() = default;

KTNSVGMgr &KTNSVGMgr::sharedMgr()
{
    static auto *manager = new KTNSVGMgr; // lives for the process
    return *manager;
}

// ---- Bundles ----

void KTNSVGMgr::registerBundle(const std::shared_ptr<Bundle> &bundle)
{
    if (!bundle)
        return;
    std::lock_guard lock(m_bundlesMutex);
    for (const auto &known : m_bundles) {
        if (known == bundle || known->rootPath() == bundle->rootPath())
            return;
    }
    m_bundles.push_back(bundle);
}

void KTNSVGMgr::unregisterBundle(const std::shared_ptr<Bundle> &bundle)
{
    if (!bundle)
        return;
    std::lock_guard lock(m_bundlesMutex);
    std::erase_if(m_bundles, [&](const std::shared_ptr<Bundle> &known) {
        return known == bundle || known->rootPath() == bundle->rootPath();
    });
}

std::vector<std::shared_ptr<Bundle>> KTNSVGMgr::bundles() const
{
    std::lock_guard lock(m_bundlesMutex);
    return m_bundles;
}

void KTNSVGMgr::searchBundles(const QString &name, bool withSubNames)
{
    const std::vector<std::shared_ptr<Bundle>> searched = bundles();
    for (auto it = searched.rbegin(); it != searched.rend(); ++it) {
        const QString path = (*it)->pathForResource(name, kSvgExtension);
        if (!path.isEmpty()) {
            // Registered under the name asked for, which may hold folders.
            parseFile(path, name);
            return;
        }
        if (withSubNames && processSubNamesForImage(name, *it))
            return;
    }
}

std::optional<QString> KTNSVGMgr::processSubNamesForImage(const QString &name, const std::shared_ptr<Bundle> &bundle)
{
    if (!bundle || !name.contains(u'_'))
        return std::nullopt;
    const QStringList parts = name.split(u'_');
    for (qsizetype count = 2; count < parts.size(); ++count) {
        const QString prefix = parts.mid(0, count).join(u'_');
        if (hasParsed(prefix))
            continue;
        const QString path = bundle->pathForResource(prefix, kSvgExtension);
        if (path.isEmpty())
            continue;
        parseFile(path, prefix);
        return path;
    }
    return std::nullopt;
}

// ---- Parsing ----

bool KTNSVGMgr::hasParsed(const QString &name) const
{
    return !name.isEmpty() && m_imageNameMap.contains(name);
}

KTNSVGMgr &KTNSVGMgr::parserWithFileURL(const QUrl &url)
{
    const QString path = pathOfUrl(url);
    parseFile(path, QFileInfo(path).fileName());
    return *this;
}

KTNSVGMgr &KTNSVGMgr::parseFileURL(const QUrl &url, const QString &identifier)
{
    parseFile(pathOfUrl(url), identifier);
    return *this;
}

void KTNSVGMgr::parseFile(const QString &path, const QString &name)
{
    const QFileInfo info(path);
    if (path.isEmpty() || info.suffix() != kSvgExtension || !info.isFile() || info.size() > kMaxFileSize)
        return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    registerParsed(parseSvgData(file.read(kMaxFileSize + 1), name));
}

void KTNSVGMgr::registerParsed(const ParsedFile &parsed)
{
    QString name = parsed.file.attribute.value(QStringLiteral("name"));
    name.remove(QStringLiteral(".svg"));
    auto registerName = [this](const QString &registered, Entry entry) {
        if (!m_imageNameMap.contains(registered))
            m_imageNameArray.append(registered);
        m_imageNameMap.insert(registered, std::move(entry));
    };
    if (!name.isEmpty())
        registerName(name, Entry{parsed.file, std::nullopt});
    // Every child of the file node gets every variant name, so each name ends
    // up with the last child: registering only that one gives the same names
    // in the same order, without children x declarations work (a hostile file
    // may hold thousands of each).
    if (parsed.file.childElements.isEmpty())
        return;
    const KTNSvgElement &child = parsed.file.childElements.last();
    for (const KTNSvgElement &declaration : parsed.declarations) {
        const QString variant = name + u'_' + declaration.attribute.value(QStringLiteral("style"));
        registerName(variant, Entry{child, declaration});
    }
}

void KTNSVGMgr::loadSVGForIdentifier(const QString &name)
{
    if (name.isEmpty() || hasParsed(name))
        return;
    const QString path = Bundle::library()->pathForResource(name, kSvgExtension);
    if (!path.isEmpty())
        parseFile(path, name);
}

std::optional<KTNSVGMgr::Entry> KTNSVGMgr::entry(const QString &name) const
{
    const auto found = m_imageNameMap.constFind(name);
    if (found == m_imageNameMap.constEnd())
        return std::nullopt;
    return *found;
}

QStringList KTNSVGMgr::imageNameArray() const
{
    return m_imageNameArray;
}

ImagePtr KTNSVGMgr::cachedImage(const QString &key) const
{
    return m_imageMap.value(key);
}

std::optional<KTNSvgElement> KTNSVGMgr::svgElementForIdentifier(const QString &name)
{
    loadSVGForIdentifier(name);
    if (const std::optional<Entry> found = entry(name))
        return found->TNSVGContent;
    return std::nullopt;
}

// ---- Images ----

ImagePtr KTNSVGMgr::generateImage(const QString &name, double scale)
{
    if (name.isEmpty())
        return nullptr;
    loadSVGForIdentifier(name);
    const std::optional<Entry> found = entry(name);
    if (!found)
        return nullptr;
    const KTNSvgElement element = generateWithSvgElement(found->TNSVGContent, found->TNAttContent);
    const std::optional<double> effective = usableScale(element.scale * scale);
    if (!effective)
        return nullptr;
    auto tree = std::make_shared<const KTNSvgElement>(element);
    const double pointScale = *effective;
    // Sized in points at the requested scale, drawn at the screen's
    // resolution on top of it.
    return VectorImage::create(
        [tree, pointScale](qreal deviceScale) { return KTNSVGLibHelper::exportImageWithElement(*tree, pointScale * deviceScale); });
}

ImagePtr KTNSVGMgr::imageForIdentifier(const QString &name)
{
    return imageForIdentifier(name, getScaleFromName(name));
}

ImagePtr KTNSVGMgr::imageForIdentifier(const QString &name, double scale)
{
    return generateImage(name, scale);
}

namespace {

// Names with a scale lose it: "close@2x" at scale 2 is "close".
QString baseName(const QString &name, double scale)
{
    if (scale == 1.0)
        return name;
    const qsizetype at = name.indexOf(u'@');
    return at < 0 ? name : name.left(at);
}

} // namespace

ImagePtr KTNSVGMgr::tn_imageName(const QString &name, double scale)
{
    const QString base = baseName(name, scale);
    // An empty name would match any file of a bundle.
    if (base.isEmpty())
        return nullptr;
    if (ImagePtr cached = m_imageMap.value(cacheKey(base, scale)); cached && cached->isValid())
        return cached;
    if (!hasParsed(base))
        searchBundles(base, true);
    ImagePtr light = generateImage(base, scale);
    if (!base.endsWith(kDarkSuffix)) {
        const QString darkName = base + kDarkSuffix;
        if (!hasParsed(darkName))
            searchBundles(darkName, false);
        ImagePtr dark = generateImage(darkName, scale);
        if (light && dark)
            return std::make_shared<KalvoImage>(std::move(light), std::move(dark));
    }
    return light;
}

ImagePtr KTNSVGMgr::imageName(const QString &name)
{
    return imageName(name, getScaleFromName(name));
}

ImagePtr KTNSVGMgr::imageName(const QString &name, double scale)
{
    ImagePtr found = tn_imageName(name, scale);
    if (!found)
        return Image::emptyImage();
    m_imageMap.insert(cacheKey(baseName(name, scale), scale), found);
    return found;
}

bool KTNSVGMgr::isImageExist(const QString &name)
{
    return tn_imageName(name, getScaleFromName(name)) != nullptr;
}

std::optional<QPainterPath> KTNSVGMgr::firstPathForIdentifier(const QString &name, double scale)
{
    if (name.isEmpty())
        return std::nullopt;
    loadSVGForIdentifier(name);
    const std::optional<Entry> found = entry(name);
    if (!found)
        return std::nullopt;
    const KTNSvgElement element = generateWithSvgElement(found->TNSVGContent, found->TNAttContent);
    const std::optional<double> effective = usableScale(element.scale * scale);
    if (!effective)
        return std::nullopt;
    return KTNSVGLibHelper::exportFirstPathWithElement(element, *effective);
}

ImagePtr resourceSVGImage(const QString &name)
{
    return KTNSVGMgr::sharedMgr().imageName(name);
}

ImagePtr resourceSvgImage(const QString &name)
{
    return KTNSVGMgr::sharedMgr().imageName(name);
}

} // namespace kalvo
