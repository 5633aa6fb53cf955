// The named-image registry of the host's resource bundles.
#include <kalvo/theme/image.h>

#include <kalvo/platform/bundle.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QHash>
#include <QVariant>

#include <mutex>
#include <vector>

namespace kalvo {

namespace {

struct NamedImages
{
    std::mutex mutex;
    std::vector<std::shared_ptr<Bundle>> resourceBundles;
    std::shared_ptr<Bundle> retinaBundle;
    QString dataImagePath = QStringLiteral("");
    QHash<QString, ImagePtr> images;
    QStringList imageOrder; // the order names were stored in
    QHash<QString, ImagePtr> retinaImages;
};

NamedImages &registry()
{
    static auto *r = new NamedImages; // lives for the process
    return *r;
}

bool sameBundle(const std::shared_ptr<Bundle> &a, const std::shared_ptr<Bundle> &b)
{
    return a == b || (a && b && a->rootPath() == b->rootPath());
}

// The image resource `name` of a bundle: the name as a file when it carries
// an image extension, else the name with each image extension in turn.
ImagePtr imageResource(const Bundle &bundle, const QString &name)
{
    static const QStringList extensions{QStringLiteral("png"), QStringLiteral("jpg"), QStringLiteral("jpeg"),
                                        QStringLiteral("gif"), QStringLiteral("bmp"), QStringLiteral("svg")};
    const QString suffix = QFileInfo(name).suffix().toLower();
    if (extensions.contains(suffix)) {
        if (ImagePtr image = Image::imageWithContentsOfFile(bundle.pathForResource(name)))
            return image;
    }
    for (const QString &extension : extensions) {
        if (extension == u"png") {
            if (ImagePtr image = Image::imageWithContentsOfFile(bundle.pathForResource(name + QStringLiteral("@2x"), extension)))
                return image;
        }
        if (ImagePtr image = Image::imageWithContentsOfFile(bundle.pathForResource(name, extension)))
            return image;
    }
    return nullptr;
}

bool retinaBundleNotReady()
{
    const QCoreApplication *app = QCoreApplication::instance();
    return app && app->property("retinaBundleNotReady").toBool();
}

} // namespace

void Image::registerResBundle(const std::shared_ptr<Bundle> &bundle)
{
    if (!bundle)
        return;
    NamedImages &r = registry();
    std::lock_guard lock(r.mutex);
    if (r.resourceBundles.empty())
        r.resourceBundles.reserve(5);
    for (const auto &known : r.resourceBundles) {
        if (sameBundle(known, bundle))
            return;
    }
    r.resourceBundles.push_back(bundle);
}

void Image::registerRetinaBundle(const std::shared_ptr<Bundle> &bundle)
{
    NamedImages &r = registry();
    std::lock_guard lock(r.mutex);
    r.retinaBundle = bundle;
}

void Image::registerDataImagePath(const QString &path)
{
    if (path.isNull())
        return;
    NamedImages &r = registry();
    std::lock_guard lock(r.mutex);
    r.dataImagePath = path;
}

QString Image::getDataImagePath()
{
    NamedImages &r = registry();
    std::lock_guard lock(r.mutex);
    return r.dataImagePath;
}

ImagePtr Image::getImageByName(const QString &name)
{
    if (name.isEmpty())
        return nullptr;
    if (ImagePtr retina = getRetinaImageByName(name))
        return retina;
    return getNormalImageByName(name);
}

ImagePtr Image::getRetinaImageByName(const QString &name)
{
    if (name.isEmpty() || retinaBundleNotReady())
        return nullptr;
    NamedImages &r = registry();
    std::shared_ptr<Bundle> bundle;
    {
        std::lock_guard lock(r.mutex);
        if (ImagePtr known = r.retinaImages.value(name))
            return known;
        bundle = r.retinaBundle;
    }
    if (!bundle)
        return nullptr;
    ImagePtr image = imageResource(*bundle, name);
    if (!image)
        return nullptr;
    image->setName(name);
    if (!image->isValid())
        return nullptr;
    std::lock_guard lock(r.mutex);
    r.retinaImages.insert(name, image);
    return image;
}

ImagePtr Image::getNormalImageByName(const QString &name)
{
    if (name.isEmpty())
        return nullptr;
    NamedImages &r = registry();
    std::vector<std::shared_ptr<Bundle>> bundles;
    {
        std::lock_guard lock(r.mutex);
        if (ImagePtr known = r.images.value(name))
            return known;
        bundles = r.resourceBundles;
    }
    for (const auto &bundle : bundles) {
        ImagePtr image = imageResource(*bundle, name);
        if (!image)
            continue;
        image->setName(name);
        std::lock_guard lock(r.mutex);
        if (!r.images.contains(name))
            r.imageOrder.append(name);
        r.images.insert(name, image);
        return image;
    }
    return nullptr;
}

std::optional<QString> Image::getImagePathByImage(const ImagePtr &image)
{
    if (!image)
        return std::nullopt;
    NamedImages &r = registry();
    std::lock_guard lock(r.mutex);
    for (const QString &name : r.imageOrder) {
        if (r.images.value(name) == image)
            return name;
    }
    return std::nullopt;
}

} // namespace kalvo
