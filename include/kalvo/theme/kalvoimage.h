// The older kit's light/dark image: two variants, chosen when drawn.
//
//   auto logo = KalvoImage::imageNamed(u"logo"_s);          // "logo" and "logo_dark"
//   auto pair = KalvoImage::image(lightIcon, darkIcon);
//   pair->draw(painter, rect);     // the dark variant inside a dark drawing scope
//
// A KalvoImage answers size, name and pictures with its current variant: the
// dark one while the drawing appearance is dark and a dark variant exists,
// else the light one. Variants named in the registry (Image::getImageByName)
// are loaded on first use; a dark name that finds nothing is remembered and
// not asked again. A copy of a KalvoImage is the same object.
//
// TNAppearanceHandlerImage draws each variant once, on first use, with a
// routine run under the light or the dark appearance, so colours asked for
// inside it resolve for that appearance.
//
// Main thread (variants load lazily without locks).
#pragma once

#include <kalvo/theme/image.h>
#include <kalvo/theme/themename.h>

#include <map>

QT_BEGIN_NAMESPACE
class QDataStream;
QT_END_NAMESPACE

namespace kalvo {

class PigmentImage;
class ThemeImage;
struct TNPigment;

class KALVO_EXPORT KalvoImage : public Image
{
public:
    // Variants loaded lazily from the registry by name.
    KalvoImage(const QString &lightName, const QString &darkName);
    // The two given variants (either may be null).
    KalvoImage(ImagePtr light, ImagePtr dark);

    // ---- Factories ----
    static std::shared_ptr<KalvoImage> initImageWithLightName(const QString &lightName, const QString &darkName);
    static std::shared_ptr<KalvoImage> initImageWithLight(ImagePtr light, ImagePtr dark);
    static std::shared_ptr<KalvoImage> image(ImagePtr light, ImagePtr dark) { return initImageWithLight(light, dark); }
    // imageNamed(name, "<name>_dark").
    static ImagePtr imageNamed(const QString &name);
    // Nothing for an empty name; the registry's image when the dark name is
    // empty; else a KalvoImage with both names.
    static ImagePtr imageNamed(const QString &name, const QString &darkName);
    // A ThemeImage with the image's light and dark variants (a plain image is
    // its own light variant) and per-theme images; numbers that are no
    // ThemeName raw value are skipped.
    static std::shared_ptr<ThemeImage> imageWithImage(const ImagePtr &image, const std::map<qint64, ImagePtr> &themes);
    static std::shared_ptr<ThemeImage> imageWithImage(const ImagePtr &image, const std::map<ThemeName, ImagePtr> &themes);
    static std::shared_ptr<PigmentImage> imageWithPigment(const TNPigment &pigment);

    // ---- Variants ----
    QString lightName() const { return m_lightName; }
    QString darkName() const { return m_darkName; }
    // Set once a load of darkName() found nothing.
    bool missingDarkImg() const { return m_missingDarkImg; }
    // The light variant, loaded from lightName() when not set.
    virtual ImagePtr lightImage() const;
    // The dark variant, loaded from darkName() when not set (once).
    virtual ImagePtr darkImage() const;
    // Dark while the drawing appearance is dark and a dark variant exists.
    virtual ImagePtr currentAppearanceImage() const;
    // The current variant's effective image.
    ImagePtr effectiveImage() const override;

    // ---- Image ----
    QSizeF size() const override;
    bool isValid() const override;
    QString name() const override;
    QImage toImage(qreal devicePixelRatio = 1.0) const override;
    void draw(QPainter &painter, const QRectF &target) const override;
    // The receiver itself.
    ImagePtr copy() const override;
    // The bitmaps of every variant set or loaded so far.
    QList<QImage> representations() const override;
    // With a Color: a KalvoImage whose variants are the light image tinted
    // with the colour's light and dark values. With a plain colour the
    // current variant tinted; without a colour the receiver itself.
    ImagePtr newImageWithTintColor(const PlatformColor &color,
                                   QPainter::CompositionMode operation = QPainter::CompositionMode_SourceAtop) const override;

    // ---- Archiving ----
    // Writes "lightName", "darkName", "lightImage" and "darkImage" (those
    // that are set; variants not loaded yet are not loaded for it).
    void encodeWithCoder(QDataStream &stream) const;
    // Null when the data is not such an archive or is damaged.
    static std::shared_ptr<KalvoImage> initWithCoder(QDataStream &stream);

protected:
    qreal naturalDevicePixelRatio() const override;
    void addRepresentations(const ImagePtr &image) const;
    void removeRepresentations(const ImagePtr &image) const;

    QString m_lightName;
    QString m_darkName;
    mutable ImagePtr m_lightImg;
    mutable ImagePtr m_darkImg;
    mutable bool m_missingDarkImg = false;
    mutable QList<QImage> m_representations;
};

// ---- TNAppearanceHandlerImage ----

class KALVO_EXPORT TNAppearanceHandlerImage final : public KalvoImage
{
public:
    TNAppearanceHandlerImage(const QSizeF &imageSize, DrawingHandler drawingHandler, bool flipped = true);

    QSizeF imageSize() const { return m_imageSize; }
    bool flipped() const { return m_flipped; }
    const DrawingHandler &drawingHandler() const { return m_handler; }

    // Drawn once under the light (dark) appearance, on first request.
    ImagePtr lightImage() const override;
    ImagePtr darkImage() const override;
    QSizeF size() const override { return m_imageSize; }

private:
    ImagePtr renderUnder(bool dark) const;

    QSizeF m_imageSize;
    DrawingHandler m_handler;
    bool m_flipped;
};

} // namespace kalvo
