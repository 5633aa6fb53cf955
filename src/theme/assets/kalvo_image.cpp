// ---- Index ----
// KalvoImage                 variants, factories, Image answers, tinting
// Archiving                  encodeWithCoder / initWithCoder
// TNAppearanceHandlerImage   variants drawn once per appearance
#include <kalvo/theme/kalvoimage.h>

#include <kalvo/theme/appearance.h>
#include <kalvo/theme/themeimage.h>

#include <QDataStream>
#include <QScopeGuard>

#include <cmath>

namespace kalvo {

// ---- KalvoImage ----

KalvoImage::KalvoImage(const QString &lightName, const QString &darkName) : m_lightName(lightName), m_darkName(darkName)
{
}

KalvoImage::KalvoImage(ImagePtr light, ImagePtr dark) : m_lightImg(std::move(light)), m_darkImg(std::move(dark))
{
    addRepresentations(m_lightImg);
    addRepresentations(m_darkImg);
}

std::shared_ptr<KalvoImage> KalvoImage::initImageWithLightName(const QString &lightName, const QString &darkName)
{
    return std::make_shared<KalvoImage>(lightName, darkName);
}

std::shared_ptr<KalvoImage> KalvoImage::initImageWithLight(ImagePtr light, ImagePtr dark)
{
    return std::make_shared<KalvoImage>(std::move(light), std::move(dark));
}

ImagePtr KalvoImage::imageNamed(const QString &name)
{
    return imageNamed(name, name + QStringLiteral("_dark"));
}

ImagePtr KalvoImage::imageNamed(const QString &name, const QString &darkName)
{
    if (name.isEmpty())
        return nullptr;
    if (darkName.isEmpty())
        return getImageByName(name);
    return std::make_shared<KalvoImage>(name, darkName);
}

std::shared_ptr<ThemeImage> KalvoImage::imageWithImage(const ImagePtr &image, const std::map<qint64, ImagePtr> &themes)
{
    std::map<ThemeName, ImagePtr> byName;
    for (const auto &[raw, themed] : themes) {
        if (const std::optional<ThemeName> theme = fromRaw<ThemeName>(raw))
            byName[*theme] = themed;
    }
    return imageWithImage(image, byName);
}

std::shared_ptr<ThemeImage> KalvoImage::imageWithImage(const ImagePtr &image, const std::map<ThemeName, ImagePtr> &themes)
{
    ImagePtr light = image;
    ImagePtr dark;
    if (auto pair = std::dynamic_pointer_cast<KalvoImage>(image)) {
        light = pair->lightImage();
        dark = pair->darkImage();
    }
    return std::make_shared<ThemeImage>(std::move(light), std::move(dark), themes);
}

std::shared_ptr<PigmentImage> KalvoImage::imageWithPigment(const TNPigment &pigment)
{
    return std::make_shared<PigmentImage>(pigment);
}

ImagePtr KalvoImage::lightImage() const
{
    if (!m_lightImg && !m_lightName.isEmpty()) {
        if (ImagePtr loaded = getImageByName(m_lightName)) {
            m_lightImg = loaded;
            addRepresentations(loaded);
        }
    }
    return m_lightImg;
}

ImagePtr KalvoImage::darkImage() const
{
    if (m_missingDarkImg)
        return nullptr;
    if (!m_darkImg && !m_darkName.isEmpty()) {
        ImagePtr loaded = getImageByName(m_darkName);
        if (!loaded) {
            m_missingDarkImg = true; // not asked again
            return nullptr;
        }
        m_darkImg = loaded;
        addRepresentations(loaded);
    }
    return m_darkImg;
}

ImagePtr KalvoImage::currentAppearanceImage() const
{
    if (drawingAppearanceIsDark()) {
        if (ImagePtr dark = darkImage())
            return dark;
    }
    return lightImage();
}

ImagePtr KalvoImage::effectiveImage() const
{
    if (ImagePtr current = currentAppearanceImage())
        return current->effectiveImage();
    return self();
}

QSizeF KalvoImage::size() const
{
    if (ImagePtr current = currentAppearanceImage())
        return current->size();
    return QSizeF(0, 0);
}

bool KalvoImage::isValid() const
{
    const ImagePtr current = currentAppearanceImage();
    return current && current->isValid();
}

QString KalvoImage::name() const
{
    if (ImagePtr current = currentAppearanceImage())
        return current->name();
    return Image::name();
}

QImage KalvoImage::toImage(qreal devicePixelRatio) const
{
    if (ImagePtr current = currentAppearanceImage())
        return current->toImage(devicePixelRatio);
    return {};
}

void KalvoImage::draw(QPainter &painter, const QRectF &target) const
{
    if (ImagePtr current = currentAppearanceImage())
        current->draw(painter, target);
}

ImagePtr KalvoImage::copy() const
{
    return self();
}

QList<QImage> KalvoImage::representations() const
{
    return m_representations;
}

ImagePtr KalvoImage::newImageWithTintColor(const PlatformColor &color, QPainter::CompositionMode operation) const
{
    // No colour leaves the receiver untouched, as for every image; handing
    // out the current variant would freeze the appearance of the moment.
    if (!color.isValid())
        return self();
    if (color.isKalvoColor()) {
        const ImagePtr light = lightImage();
        if (!light)
            return self();
        // Both variants take the light image's shape.
        return std::make_shared<KalvoImage>(light->newImageWithTintColor(color.lightColor(), operation),
                                            light->newImageWithTintColor(color.darkColor(), operation));
    }
    const ImagePtr current = currentAppearanceImage();
    if (!current)
        return self();
    return current->newImageWithTintColor(color, operation);
}

qreal KalvoImage::naturalDevicePixelRatio() const
{
    return defaultDevicePixelRatio();
}

void KalvoImage::addRepresentations(const ImagePtr &image) const
{
    if (image)
        m_representations.append(image->representations());
}

void KalvoImage::removeRepresentations(const ImagePtr &image) const
{
    if (!image)
        return;
    for (const QImage &representation : image->representations()) {
        const qint64 key = representation.cacheKey();
        for (qsizetype i = 0; i < m_representations.size(); ++i) {
            if (m_representations.at(i).cacheKey() == key) {
                m_representations.removeAt(i);
                break;
            }
        }
    }
}

// ---- Archiving ----

namespace {

constexpr quint32 kArchiveMagic = 0x4B494D47; // "KIMG"
constexpr quint16 kArchiveVersion = 1;
constexpr QDataStream::Version kStreamVersion = QDataStream::Qt_6_0;

const QString kLightNameKey = QStringLiteral("lightName");
const QString kDarkNameKey = QStringLiteral("darkName");
const QString kLightImageKey = QStringLiteral("lightImage");
const QString kDarkImageKey = QStringLiteral("darkImage");

void writeImage(QDataStream &stream, const QString &key, const ImagePtr &image)
{
    const QImage bitmap = image->bestBitmapImageRep();
    stream << key << bitmap << static_cast<double>(bitmap.isNull() ? 1.0 : bitmap.devicePixelRatio());
}

ImagePtr readImage(QDataStream &stream)
{
    QImage bitmap;
    double ratio = 1.0;
    stream >> bitmap >> ratio;
    if (stream.status() != QDataStream::Ok || bitmap.isNull())
        return nullptr;
    bitmap.setDevicePixelRatio(ratio > 0 && std::isfinite(ratio) && ratio <= 16 ? ratio : 1.0);
    return BitmapImage::create(std::move(bitmap));
}

} // namespace

void KalvoImage::encodeWithCoder(QDataStream &stream) const
{
    const QDataStream::Version previous = static_cast<QDataStream::Version>(stream.version());
    stream.setVersion(kStreamVersion);
    const quint8 count = quint8(!m_lightName.isEmpty()) + quint8(!m_darkName.isEmpty()) + quint8(m_lightImg != nullptr)
                         + quint8(m_darkImg != nullptr);
    stream << kArchiveMagic << kArchiveVersion << count;
    if (!m_lightName.isEmpty())
        stream << kLightNameKey << m_lightName;
    if (!m_darkName.isEmpty())
        stream << kDarkNameKey << m_darkName;
    if (m_lightImg)
        writeImage(stream, kLightImageKey, m_lightImg);
    if (m_darkImg)
        writeImage(stream, kDarkImageKey, m_darkImg);
    stream.setVersion(previous);
}

std::shared_ptr<KalvoImage> KalvoImage::initWithCoder(QDataStream &stream)
{
    const QDataStream::Version previous = static_cast<QDataStream::Version>(stream.version());
    stream.setVersion(kStreamVersion);
    auto restore = qScopeGuard([&] { stream.setVersion(previous); });

    quint32 magic = 0;
    quint16 version = 0;
    quint8 count = 0;
    stream >> magic >> version >> count;
    if (stream.status() != QDataStream::Ok || magic != kArchiveMagic || version != kArchiveVersion || count > 4)
        return nullptr;
    QString lightName;
    QString darkName;
    ImagePtr light;
    ImagePtr dark;
    for (quint8 i = 0; i < count; ++i) {
        QString key;
        stream >> key;
        if (stream.status() != QDataStream::Ok)
            return nullptr;
        if (key == kLightNameKey) {
            stream >> lightName;
        } else if (key == kDarkNameKey) {
            stream >> darkName;
        } else if (key == kLightImageKey) {
            light = readImage(stream);
            if (!light)
                return nullptr;
        } else if (key == kDarkImageKey) {
            dark = readImage(stream);
            if (!dark)
                return nullptr;
        } else {
            return nullptr;
        }
        if (stream.status() != QDataStream::Ok)
            return nullptr;
    }
    auto image = std::make_shared<KalvoImage>(lightName, darkName);
    if (light) {
        image->m_lightImg = light;
        image->addRepresentations(light);
    }
    if (dark) {
        image->m_darkImg = dark;
        image->addRepresentations(dark);
    }
    return image;
}

// ---- TNAppearanceHandlerImage ----

TNAppearanceHandlerImage::TNAppearanceHandlerImage(const QSizeF &imageSize, DrawingHandler drawingHandler, bool flipped)
    : KalvoImage(QString(), QString()), m_imageSize(imageSize), m_handler(std::move(drawingHandler)), m_flipped(flipped)
{
}

ImagePtr TNAppearanceHandlerImage::renderUnder(bool dark) const
{
    const std::shared_ptr<Appearance> appearance =
        dark ? Appearance::tn_darkAppearance() : Appearance::tn_lightAppearance();
    ImagePtr result;
    appearance->performAsCurrentDrawingAppearance(
        [&] { result = Image::imageWithSize(m_imageSize, m_flipped, m_handler); });
    return result;
}

ImagePtr TNAppearanceHandlerImage::lightImage() const
{
    if (!m_lightImg) {
        m_lightImg = renderUnder(false);
        addRepresentations(m_lightImg);
    }
    return m_lightImg;
}

ImagePtr TNAppearanceHandlerImage::darkImage() const
{
    if (!m_darkImg) {
        m_darkImg = renderUnder(true);
        addRepresentations(m_darkImg);
    }
    return m_darkImg;
}

} // namespace kalvo
