// Images for the whole library.
//
// A QImage is a value: it cannot pick a light or a dark variant when it is
// drawn, nor follow a colour that resolves at drawing time. Kalvo's Image is
// a shared, polymorphic object (ImagePtr) that decides what to show at the
// moment it is drawn, against the current drawing appearance and theme
// (appearance.h):
//
//   ImagePtr icon = AssetStore::image(u"Icon/Outline/Eye/Show"_s, Color::iconPrimary());
//   icon->draw(painter, QRectF(4, 4, 16, 16));     // inside View::paintEvent
//   QImage pixels = icon->toImage(2.0);             // what it shows now, at 2x
//
// Sizes are in points (device-independent pixels). Images are always held
// by ImagePtr (std::shared_ptr<Image>): tinting and the light/dark family
// keep references to the images they are made from. The picture of an image
// never changes after creation, except where a class says so (KalvoImage
// loads its variants lazily); name, accessibility label and template flag
// are attributes that may be set at any time.
//
// ---- Index ----
// Image           the base: size, drawing, attributes, tinting, utilities,
//                 the drawn glyphs and the named-image registry (class level)
// BitmapImage     a QImage
// DrawnImage      a drawing routine that runs at every draw
// VectorImage     rendered at the resolution it is drawn at (SVG icons)
//
// The light/dark family (KalvoImage, TNAppearanceHandlerImage) is in
// kalvoimage.h, ThemeImage and PigmentImage in themeimage.h.
#pragma once

#include <kalvo/theme/color.h>

#include <QImage>
#include <QList>
#include <QPainter>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace kalvo {

class Bundle;
class Image;
class TNAppearanceHandlerImage;

using ImagePtr = std::shared_ptr<Image>;

// Draws into `destination` (points, y downwards unless the image says it is
// not flipped).
using DrawingHandler = std::function<void(QPainter &painter, const QRectF &destination)>;

// The platform's numbered compositing operations (0 clear, 1 copy, 2 source
// over, 3 source in, 4 source out, 5 source atop, 6 destination over,
// 7 destination in, 8 destination out, 9 destination atop, 10 xor, 11 plus
// darker, 13 plus lighter, 14 multiply … 24 exclusion) as QPainter modes;
// nothing for numbers Qt has no mode for.
KALVO_EXPORT std::optional<QPainter::CompositionMode> compositingOperationFromRaw(int raw);

// The device pixel ratio one-off renderings are made at: the application's
// (its highest screen's), read on the main thread; other threads get the
// last value read there (1.0 before that).
KALVO_EXPORT qreal defaultDevicePixelRatio();

class KALVO_EXPORT Image : public std::enable_shared_from_this<Image>
{
public:
    virtual ~Image();

    Image(const Image &) = delete;
    Image &operator=(const Image &) = delete;

    // ---- What every image answers ----

    // In points.
    virtual QSizeF size() const = 0;
    // No area to draw (either side not above zero).
    bool isEmpty() const;
    // Has something to draw.
    virtual bool isValid() const;
    // The picture to draw now, resolved for the current drawing appearance
    // and theme, at `devicePixelRatio` (the result carries that ratio).
    // Bitmaps answer their own pixels whatever the ratio. Renderings are
    // limited to 16384 pixels a side.
    virtual QImage toImage(qreal devicePixelRatio = 1.0) const = 0;
    // Draws the picture of the moment into `target`, at the resolution the
    // painter's device and transform need, with the painter's composition
    // mode and opacity.
    virtual void draw(QPainter &painter, const QRectF &target) const;
    void draw(QPainter &painter, const QRectF &target, QPainter::CompositionMode operation, qreal fraction) const;
    // A new image with the same picture and attributes; a KalvoImage answers
    // itself.
    virtual ImagePtr copy() const = 0;
    // The image that answers for this one now; itself for plain images.
    virtual ImagePtr effectiveImage() const;
    // The bitmaps the image holds (empty for images drawn on demand).
    virtual QList<QImage> representations() const;
    // Drops renderings kept for speed; the next draw makes them again.
    virtual void tn_forceUpdateImage();

    // ---- Attributes ----
    virtual QString name() const;
    void setName(const QString &name);
    // Accessibility text carried with the image.
    QString announceLabel() const;
    void setAnnounceLabel(const QString &label);
    // Template images are shapes that controls paint in their own colour.
    bool isTemplate() const;
    void setTemplate(bool isTemplate);
    // Marks the receiver as a template image and returns it.
    ImagePtr templatedImage();

    // ---- Tinting ----

    // An image of the receiver's size that paints the colour through the
    // receiver's shape, asking the colour at every draw (so a Color shows the
    // variant of the moment). For a ThemeColor, a ThemeImage of the receiver
    // tinted with the colour's light and dark values. No colour: a copy.
    ImagePtr tinted(const PlatformColor &color) const;
    // A bitmap copy with the colour (resolved now) composited over the whole
    // image. Smaller than 1 x 1: an empty image; no colour: a copy.
    ImagePtr tintedImage(const PlatformColor &color,
                         QPainter::CompositionMode operation = QPainter::CompositionMode_SourceAtop) const;
    // The older kit's tinted copy: as tintedImage(), but the receiver itself
    // when it is smaller than 1 x 1 or there is no colour.
    virtual ImagePtr newImageWithTintColor(const PlatformColor &color,
                                           QPainter::CompositionMode operation = QPainter::CompositionMode_SourceAtop) const;
    ImagePtr tnImageWithTintColor(const PlatformColor &color,
                                  QPainter::CompositionMode operation = QPainter::CompositionMode_SourceAtop) const
    {
        return newImageWithTintColor(color, operation);
    }

    // ---- Bitmaps ----

    // toImage(1.0): the native pixels of bitmaps, a 1x rendering otherwise.
    QImage CGImage() const;
    // CGImage()'s size in pixels; empty when there is none.
    QSize pixelSize() const;
    // The picture rendered to fill `rect` at `devicePixelRatio`.
    QImage CGImageForProposedRect(const QRectF &rect, qreal devicePixelRatio) const;
    QImage bestRepresentationForRect(const QRectF &rect, qreal devicePixelRatio) const
    {
        return CGImageForProposedRect(rect, devicePixelRatio);
    }
    // CGImage() as premultiplied ARGB.
    QImage bitmapImageRep() const;
    // The picture scaled into exactly `pixels`.
    QImage bitmapImageRepWithSize(const QSize &pixels) const;
    // CGImage() as straight (not premultiplied) ARGB, so no colour precision
    // is lost to premultiplication.
    QImage losslessBitmapImageRep() const;
    // The representation with the most pixels, else CGImage().
    QImage bestBitmapImageRep() const;
    // One pixel per point.
    QImage unscaledBitmapRepresentation() const;

    // ---- New images from this one (bitmaps, drawn now) ----
    ImagePtr imageByApplyingAlpha(qreal alpha) const;
    // Rotated about the centre (counter-clockwise for positive angles, as on
    // screen with y up); the result is the rotated bounding box.
    ImagePtr imageByRotate(qreal radians) const;
    ImagePtr rotateImageWithDegrees(qreal degrees) const;
    // Mirrored left-right when `horizontal`, else top-bottom.
    ImagePtr imageByFlipped(bool horizontal) const;
    ImagePtr roundCornersImageCornerRadius(qreal radius) const;
    ImagePtr resizeImage(const QSizeF &size) const;
    // A `size` canvas with a rounded background of `radius`, the receiver
    // centred on it (scaled down to fit when larger).
    ImagePtr compositeWithSize(const QSizeF &size, const PlatformColor &backgroundColor, qreal radius) const;
    // JPEG on a white background (JPEG has no alpha); false on failure.
    bool saveAsJPGtoPath(const QString &path) const;

    // ---- Stretchable drawing ----
    // The image is cut into nine pieces at the cap distances (points):
    // corners keep their size, edges stretch along their edge, the centre
    // both ways. Caps are reduced when they do not fit the image or `rect`.
    void drawInRect(QPainter &painter, const QRectF &rect, qreal cap) const;
    void drawInRect(QPainter &painter, const QRectF &rect, qreal heightCap, qreal widthCap) const;
    void drawInRect(QPainter &painter, const QRectF &rect, qreal topCap, qreal bottomCap, qreal leftCap,
                    qreal rightCap) const;
    // `respectFlipped` false draws the image upside down (an unflipped
    // context); `fraction` is the opacity.
    void drawInRect(QPainter &painter, const QRectF &rect, QPainter::CompositionMode operation, qreal fraction,
                    bool respectFlipped, qreal topCap, qreal bottomCap, qreal leftCap, qreal rightCap) const;
    // draw() into `rect`, upright in the painter's orientation.
    void tn_drawInRect(QPainter &painter, const QRectF &rect) const { draw(painter, rect); }

    // ---- Class level: making images ----

    // An image with no size and nothing to draw.
    static ImagePtr emptyImage();
    // A bitmap of `size` drawn once, at once, by the handler (at
    // defaultDevicePixelRatio()); nothing for a zero size or no handler.
    static ImagePtr imageWithSize(const QSizeF &size, const DrawingHandler &handler);
    // The same with the y axis pointing up when not `flipped`.
    static ImagePtr imageWithSize(const QSizeF &size, bool flipped, const DrawingHandler &handler);
    // An image drawn by the handler once per appearance, on first use.
    static std::shared_ptr<TNAppearanceHandlerImage> tnImageWithSize(const QSizeF &size, DrawingHandler handler);
    // A `side` x `side` bitmap: empty below 0.0001; else the handler draws at
    // once and the colour, when valid, is painted over the square with
    // source-atop compositing, taking the drawing's shape.
    static ImagePtr imageWithSize(qreal side, const PlatformColor &tintColor, const DrawingHandler &handler);

    // The drawn glyphs: 1000 "more" (three dots), 1001 dot, 1002 arrow up,
    // 1003 arrow down, 1004 arrow left, 1005 arrow right (32 x 32 canvases),
    // 1006 filled arrow down (9 x 9). Drawn black unless tinted, then sized to
    // size x size. Other codes: nothing.
    static ImagePtr imageWithIndentifier(int code, const PlatformColor &tintColor, qreal size = 32);
    // Only code 1006: drawn at the whole-number part of width and height,
    // then sized to width x height.
    static ImagePtr imageWithIndentifier(int code, const PlatformColor &tintColor, qreal width, qreal height);
    // A filled triangle on a canvas of `size` enlarged by the line width.
    // Directions as Direction: 0 down, 1 up, 2 left, 3 right; any other
    // direction gives nothing. No colour means black.
    static ImagePtr triangleImage(const QSizeF &size, qreal lineWidth, int direction, const PlatformColor &tintColor);
    // The triangle of side `length` and apex angle `angle` (degrees):
    // h = angle / 2, a = |ceil(L cos h)|, b = |ceil(L sin h)|; size (2b, a)
    // for directions 0 and 1, (a, 2b) for 2 and 3.
    static ImagePtr triangleImage(qreal length, qreal lineWidth, qreal angle, int direction,
                                  const PlatformColor &tintColor);
    // Two diagonals of the given line width.
    static ImagePtr crossImage(const QSizeF &size, qreal lineWidth, const PlatformColor &tintColor);
    // Three dots in a row, centred.
    static ImagePtr threeDotImage(const QSizeF &size, const PlatformColor &tintColor);

    // ---- Class level: files ----

    // A thumbnail of a local image file whose longer side is at most
    // `maxPixelSize` pixels (no limit when not positive), turned upright by
    // the file's orientation. Nothing for other URLs or unreadable files.
    static ImagePtr thumbnailWithContentsOfURL(const QUrl &url, int maxPixelSize);
    // A non-empty path with a non-empty extension naming an existing file
    // whose extension is gif, png, jpeg or jpg (any case).
    static bool isImagePath(const QString &path);
    // isImagePath() and the contents really are an image of such a type.
    static bool isValidImagePath(const QString &path);
    // An image from a file: bitmaps by QImageReader ("@2x" in the base name
    // sets a device pixel ratio of 2), SVG files through the SVG engine.
    // Nothing when the file cannot be read.
    static ImagePtr imageWithContentsOfFile(const QString &path);

    // ---- Class level: the named-image registry of the host's bundles ----
    // Main thread. Bundles are searched for "<name>" with the extensions
    // png, jpg, jpeg, gif, bmp and svg ("<name>@2x.png" is preferred to
    // "<name>.png").

    // Adds a bundle (once); bundles are searched in registration order.
    static void registerResBundle(const std::shared_ptr<Bundle> &bundle);
    static void registerRetinaBundle(const std::shared_ptr<Bundle> &bundle);
    // Ignored for a null string.
    static void registerDataImagePath(const QString &path);
    static QString getDataImagePath();
    // Nothing for an empty name; else the retina bundle's image, else the
    // resource bundles'. Found images are named and kept.
    static ImagePtr getImageByName(const QString &name);
    static ImagePtr getDarkImageByName(const QString &name) { return getImageByName(name); }
    // Skipped while the application object's property "retinaBundleNotReady"
    // is true.
    static ImagePtr getRetinaImageByName(const QString &name);
    static ImagePtr getNormalImageByName(const QString &name);
    // The first name under which the registry keeps `image`.
    static std::optional<QString> getImagePathByImage(const ImagePtr &image);

protected:
    Image() = default;

    // The receiver as a shared pointer; images live in ImagePtr.
    ImagePtr self() const;
    // The ratio one-off bitmaps of this image are made at.
    virtual qreal naturalDevicePixelRatio() const;
    // Name, label and template flag onto `other`.
    void copyAttributesTo(Image &other) const;

private:
    mutable std::mutex m_attributesMutex;
    QString m_name;
    QString m_announceLabel;
    bool m_template = false;
};

// ---- BitmapImage ----

// A QImage; its size is the QImage's device-independent size, or the size
// given (a drawing of a fractional size has whole pixels, but keeps its size).
class KALVO_EXPORT BitmapImage final : public Image
{
public:
    explicit BitmapImage(QImage image);
    BitmapImage(QImage image, const QSizeF &size);
    static std::shared_ptr<BitmapImage> create(QImage image) { return std::make_shared<BitmapImage>(std::move(image)); }
    static std::shared_ptr<BitmapImage> create(QImage image, const QSizeF &size)
    {
        return std::make_shared<BitmapImage>(std::move(image), size);
    }

    const QImage &image() const { return m_image; }

    QSizeF size() const override;
    bool isValid() const override;
    QImage toImage(qreal devicePixelRatio = 1.0) const override;
    void draw(QPainter &painter, const QRectF &target) const override;
    ImagePtr copy() const override;
    QList<QImage> representations() const override;

protected:
    qreal naturalDevicePixelRatio() const override;

private:
    QImage m_image;
    std::optional<QSizeF> m_size;
};

// ---- DrawnImage ----

// A drawing routine that runs at every draw, into a layer of its own (so its
// composition modes act on its own pixels, not on what is under it).
class KALVO_EXPORT DrawnImage final : public Image
{
public:
    DrawnImage(const QSizeF &size, DrawingHandler handler, bool flipped = true);
    static std::shared_ptr<DrawnImage> create(const QSizeF &size, DrawingHandler handler, bool flipped = true)
    {
        return std::make_shared<DrawnImage>(size, std::move(handler), flipped);
    }

    bool isFlipped() const { return m_flipped; }
    const DrawingHandler &drawingHandler() const { return m_handler; }

    QSizeF size() const override { return m_size; }
    bool isValid() const override;
    QImage toImage(qreal devicePixelRatio = 1.0) const override;
    ImagePtr copy() const override;

private:
    QSizeF m_size;
    DrawingHandler m_handler;
    bool m_flipped;
};

// ---- VectorImage ----

// A picture rendered on demand at the resolution it is drawn at; the last
// few renderings are kept. The renderer makes `size` x `scale` pixels (no
// device pixel ratio set) and must be callable from any thread that draws.
// Copies share the renderer and its renderings.
class KALVO_EXPORT VectorImage final : public Image
{
public:
    using Renderer = std::function<QImage(qreal scale)>;

    // Renders once at `initialScale` to learn the size; nothing when that
    // rendering is empty.
    static std::shared_ptr<VectorImage> create(Renderer renderer, qreal initialScale = defaultDevicePixelRatio());

    QSizeF size() const override;
    bool isValid() const override { return true; }
    QImage toImage(qreal devicePixelRatio = 1.0) const override;
    ImagePtr copy() const override;
    QList<QImage> representations() const override;
    void tn_forceUpdateImage() override;

    // How many renderings are kept at most.
    static constexpr int kKeptRenderings = 4;

    struct State;
    explicit VectorImage(std::shared_ptr<State> state);

private:
    std::shared_ptr<State> m_state;
};

} // namespace kalvo
