// ---- Index ----
// Helpers          device pixel ratio, render bounds, canvases
// Image            drawing, attributes, tinting
// BitmapImage, DrawnImage, VectorImage
#include <kalvo/theme/image.h>

#include <kalvo/platform/scheduler.h>
#include <kalvo/theme/themeimage.h>

#include "image_p.h"

#include <QGuiApplication>

#include <atomic>
#include <cmath>
#include <deque>

namespace kalvo {

// ---- Helpers ----

std::optional<QPainter::CompositionMode> compositingOperationFromRaw(int raw)
{
    using M = QPainter::CompositionMode;
    switch (raw) {
    case 0: return M::CompositionMode_Clear;
    case 1: return M::CompositionMode_Source;
    case 2: return M::CompositionMode_SourceOver;
    case 3: return M::CompositionMode_SourceIn;
    case 4: return M::CompositionMode_SourceOut;
    case 5: return M::CompositionMode_SourceAtop;
    case 6: return M::CompositionMode_DestinationOver;
    case 7: return M::CompositionMode_DestinationIn;
    case 8: return M::CompositionMode_DestinationOut;
    case 9: return M::CompositionMode_DestinationAtop;
    case 10: return M::CompositionMode_Xor;
    case 12: return M::CompositionMode_SourceOver; // "highlight" has meant source-over for long
    case 13: return M::CompositionMode_Plus;
    case 14: return M::CompositionMode_Multiply;
    case 15: return M::CompositionMode_Screen;
    case 16: return M::CompositionMode_Overlay;
    case 17: return M::CompositionMode_Darken;
    case 18: return M::CompositionMode_Lighten;
    case 19: return M::CompositionMode_ColorDodge;
    case 20: return M::CompositionMode_ColorBurn;
    case 21: return M::CompositionMode_SoftLight;
    case 22: return M::CompositionMode_HardLight;
    case 23: return M::CompositionMode_Difference;
    case 24: return M::CompositionMode_Exclusion;
    default: return std::nullopt; // plus-darker and the hue/saturation/colour/luminosity blends
    }
}

namespace {
std::atomic<double> g_devicePixelRatio{1.0};
}

qreal defaultDevicePixelRatio()
{
    if (isMainThread() && qGuiApp) {
        const qreal ratio = qGuiApp->devicePixelRatio();
        if (ratio > 0 && std::isfinite(ratio)) {
            g_devicePixelRatio.store(ratio, std::memory_order_relaxed);
            return ratio;
        }
    }
    return g_devicePixelRatio.load(std::memory_order_relaxed);
}

namespace detail {

bool hasArea(const QSizeF &size)
{
    return size.width() > 0 && size.height() > 0 && std::isfinite(size.width()) && std::isfinite(size.height());
}

qreal boundedRatio(const QSizeF &size, qreal ratio)
{
    if (!(ratio > 0) || !std::isfinite(ratio))
        ratio = 1.0;
    const qreal longest = std::max(size.width(), size.height());
    if (longest > 0 && longest * ratio > kMaxRenderSide)
        ratio = kMaxRenderSide / longest;
    return ratio;
}

QImage newCanvas(const QSizeF &size, qreal ratio)
{
    if (!hasArea(size))
        return {};
    ratio = boundedRatio(size, ratio);
    const int width = std::max(1, static_cast<int>(std::ceil(size.width() * ratio - 1e-6)));
    const int height = std::max(1, static_cast<int>(std::ceil(size.height() * ratio - 1e-6)));
    QImage canvas(width, height, QImage::Format_ARGB32_Premultiplied);
    if (canvas.isNull()) // allocation refused
        return {};
    canvas.fill(Qt::transparent);
    canvas.setDevicePixelRatio(ratio);
    return canvas;
}

qreal transformScale(const QTransform &transform)
{
    const qreal sx = std::hypot(transform.m11(), transform.m12());
    const qreal sy = std::hypot(transform.m21(), transform.m22());
    const qreal scale = std::max(sx, sy);
    return scale > 0 && std::isfinite(scale) ? scale : 1.0;
}

void paintCanvas(QImage &canvas, const std::function<void(QPainter &)> &paint)
{
    // QPainter honours an image's device pixel ratio only from 1 up: below
    // that it would paint at full size and crop. Paint at ratio 1 with the
    // scale in the world transform instead (nested Image::draw calls read
    // it from there), then give the canvas its ratio back.
    const qreal ratio = canvas.devicePixelRatio();
    canvas.setDevicePixelRatio(1.0);
    {
        QPainter painter(&canvas);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.scale(ratio, ratio);
        paint(painter);
    }
    canvas.setDevicePixelRatio(ratio);
}

std::shared_ptr<BitmapImage> renderBitmap(const QSizeF &size, qreal ratio,
                                          const std::function<void(QPainter &, const QRectF &)> &paint)
{
    QImage canvas = newCanvas(size, ratio);
    if (canvas.isNull())
        return nullptr;
    paintCanvas(canvas, [&](QPainter &painter) { paint(painter, QRectF(QPointF(0, 0), size)); });
    return BitmapImage::create(std::move(canvas), size);
}

} // namespace detail

// ---- Image ----

Image::~Image() = default;

bool Image::isEmpty() const
{
    return !detail::hasArea(size());
}

bool Image::isValid() const
{
    return !isEmpty();
}

void Image::draw(QPainter &painter, const QRectF &target) const
{
    if (!painter.isActive() || !detail::hasArea(target.size()))
        return;
    const QSizeF own = size();
    if (!detail::hasArea(own))
        return;
    const qreal deviceRatio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const qreal fit = std::max(target.width() / own.width(), target.height() / own.height());
    const QImage picture = toImage(deviceRatio * detail::transformScale(painter.worldTransform()) * fit);
    if (picture.isNull())
        return;
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, picture, QRectF(picture.rect()));
    painter.restore();
}

void Image::draw(QPainter &painter, const QRectF &target, QPainter::CompositionMode operation, qreal fraction) const
{
    if (!painter.isActive())
        return;
    painter.save();
    painter.setCompositionMode(operation);
    painter.setOpacity(painter.opacity() * std::clamp(fraction, 0.0, 1.0));
    draw(painter, target);
    painter.restore();
}

ImagePtr Image::effectiveImage() const
{
    return self();
}

QList<QImage> Image::representations() const
{
    return {};
}

void Image::tn_forceUpdateImage() {}

QString Image::name() const
{
    std::lock_guard lock(m_attributesMutex);
    return m_name;
}

void Image::setName(const QString &name)
{
    std::lock_guard lock(m_attributesMutex);
    m_name = name;
}

QString Image::announceLabel() const
{
    std::lock_guard lock(m_attributesMutex);
    return m_announceLabel;
}

void Image::setAnnounceLabel(const QString &label)
{
    std::lock_guard lock(m_attributesMutex);
    m_announceLabel = label;
}

bool Image::isTemplate() const
{
    std::lock_guard lock(m_attributesMutex);
    return m_template;
}

void Image::setTemplate(bool isTemplate)
{
    std::lock_guard lock(m_attributesMutex);
    m_template = isTemplate;
}

ImagePtr Image::templatedImage()
{
    setTemplate(true);
    return self();
}

ImagePtr Image::self() const
{
    ImagePtr shared = std::const_pointer_cast<Image>(weak_from_this().lock());
    if (!shared)
        qFatal("kalvo::Image: images must be held by an ImagePtr");
    return shared;
}

qreal Image::naturalDevicePixelRatio() const
{
    return defaultDevicePixelRatio();
}

void Image::copyAttributesTo(Image &other) const
{
    QString name;
    QString label;
    bool isTemplate = false;
    {
        std::lock_guard lock(m_attributesMutex);
        name = m_name;
        label = m_announceLabel;
        isTemplate = m_template;
    }
    other.setName(name);
    other.setAnnounceLabel(label);
    other.setTemplate(isTemplate);
}

ImagePtr Image::emptyImage()
{
    return BitmapImage::create(QImage());
}

// ---- Tinting ----

ImagePtr Image::tinted(const PlatformColor &color) const
{
    if (!color.isValid())
        return copy();
    if (color.isKalvoColor()) {
        if (auto theme = std::dynamic_pointer_cast<const ThemeColor>(color.kalvoColorPtr())) {
            return std::make_shared<ThemeImage>(tinted(theme->lightColor()), tinted(theme->darkColor()),
                                                std::map<ThemeName, ImagePtr>{}, theme);
        }
    }
    const ImagePtr receiver = self();
    return DrawnImage::create(size(), [receiver, color](QPainter &painter, const QRectF &rect) {
        // Asked now, so a Color answers for the appearance being drawn.
        painter.fillRect(rect, color.resolved());
        receiver->draw(painter, rect, QPainter::CompositionMode_DestinationIn, 1.0);
    });
}

namespace {

// A bitmap copy of `image` with `color` composited over all of it.
ImagePtr bakeTint(const Image &image, const ImagePtr &self, const PlatformColor &color,
                  QPainter::CompositionMode operation, qreal ratio)
{
    const QColor resolved = color.resolved();
    auto result = detail::renderBitmap(image.size(), ratio, [&](QPainter &painter, const QRectF &rect) {
        self->draw(painter, rect);
        painter.setCompositionMode(operation);
        painter.fillRect(rect, resolved);
    });
    if (!result)
        return Image::emptyImage();
    result->setName(image.name());
    result->setAnnounceLabel(image.announceLabel());
    result->setTemplate(image.isTemplate());
    return result;
}

} // namespace

ImagePtr Image::tintedImage(const PlatformColor &color, QPainter::CompositionMode operation) const
{
    const QSizeF own = size();
    if (!(own.width() >= 1) || !(own.height() >= 1))
        return emptyImage();
    if (!color.isValid())
        return copy();
    return bakeTint(*this, self(), color, operation, naturalDevicePixelRatio());
}

ImagePtr Image::newImageWithTintColor(const PlatformColor &color, QPainter::CompositionMode operation) const
{
    const QSizeF own = size();
    if (!(own.width() >= 1) || !(own.height() >= 1) || !color.isValid())
        return self();
    return bakeTint(*this, self(), color, operation, naturalDevicePixelRatio());
}

// ---- BitmapImage ----

BitmapImage::BitmapImage(QImage image) : m_image(std::move(image)) {}

BitmapImage::BitmapImage(QImage image, const QSizeF &size) : m_image(std::move(image))
{
    if (detail::hasArea(size))
        m_size = size;
}

QSizeF BitmapImage::size() const
{
    if (m_image.isNull())
        return QSizeF(0, 0);
    return m_size ? *m_size : m_image.deviceIndependentSize();
}

bool BitmapImage::isValid() const
{
    return !m_image.isNull();
}

QImage BitmapImage::toImage(qreal) const
{
    return m_image;
}

void BitmapImage::draw(QPainter &painter, const QRectF &target) const
{
    if (m_image.isNull() || !painter.isActive() || !detail::hasArea(target.size()))
        return;
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, m_image, QRectF(m_image.rect()));
    painter.restore();
}

ImagePtr BitmapImage::copy() const
{
    auto result = m_size ? create(m_image, *m_size) : create(m_image);
    copyAttributesTo(*result);
    return result;
}

QList<QImage> BitmapImage::representations() const
{
    if (m_image.isNull())
        return {};
    return {m_image};
}

qreal BitmapImage::naturalDevicePixelRatio() const
{
    return m_image.isNull() ? 1.0 : m_image.devicePixelRatio();
}

// ---- DrawnImage ----

DrawnImage::DrawnImage(const QSizeF &size, DrawingHandler handler, bool flipped)
    : m_size(detail::hasArea(size) ? size : QSizeF(0, 0)), m_handler(std::move(handler)), m_flipped(flipped)
{
}

bool DrawnImage::isValid() const
{
    return m_handler && !isEmpty();
}

QImage DrawnImage::toImage(qreal devicePixelRatio) const
{
    if (!m_handler)
        return {};
    QImage canvas = detail::newCanvas(m_size, devicePixelRatio);
    if (canvas.isNull())
        return {};
    detail::paintCanvas(canvas, [&](QPainter &painter) {
        if (!m_flipped) {
            painter.translate(0, m_size.height());
            painter.scale(1, -1);
        }
        m_handler(painter, QRectF(QPointF(0, 0), m_size));
    });
    return canvas;
}

ImagePtr DrawnImage::copy() const
{
    auto result = create(m_size, m_handler, m_flipped);
    copyAttributesTo(*result);
    return result;
}

// ---- VectorImage ----

struct VectorImage::State
{
    Renderer renderer;
    QSizeF size;
    std::mutex mutex;
    std::deque<QImage> renderings; // newest last
};

VectorImage::VectorImage(std::shared_ptr<State> state) : m_state(std::move(state)) {}

std::shared_ptr<VectorImage> VectorImage::create(Renderer renderer, qreal initialScale)
{
    if (!renderer)
        return nullptr;
    if (!(initialScale > 0) || !std::isfinite(initialScale) || initialScale > 16)
        initialScale = 1.0;
    QImage first = renderer(initialScale);
    if (first.isNull() || first.width() <= 0 || first.height() <= 0)
        return nullptr;
    first.setDevicePixelRatio(initialScale);
    auto state = std::make_shared<State>();
    state->renderer = std::move(renderer);
    state->size = first.deviceIndependentSize();
    state->renderings.push_back(std::move(first));
    return std::make_shared<VectorImage>(std::move(state));
}

QSizeF VectorImage::size() const
{
    return m_state->size;
}

QImage VectorImage::toImage(qreal devicePixelRatio) const
{
    const qreal ratio = detail::boundedRatio(m_state->size, devicePixelRatio);
    {
        std::lock_guard lock(m_state->mutex);
        for (const QImage &rendering : m_state->renderings) {
            if (std::abs(rendering.devicePixelRatio() - ratio) < 0.005)
                return rendering;
        }
    }
    // Rendered outside the lock: two threads may render the same ratio at
    // once, which costs time but gives the same picture.
    QImage rendering = m_state->renderer(ratio);
    if (rendering.isNull())
        return {};
    rendering.setDevicePixelRatio(ratio);
    std::lock_guard lock(m_state->mutex);
    m_state->renderings.push_back(rendering);
    while (m_state->renderings.size() > static_cast<std::size_t>(kKeptRenderings))
        m_state->renderings.pop_front();
    return rendering;
}

ImagePtr VectorImage::copy() const
{
    auto result = std::make_shared<VectorImage>(m_state);
    copyAttributesTo(*result);
    return result;
}

QList<QImage> VectorImage::representations() const
{
    std::lock_guard lock(m_state->mutex);
    return QList<QImage>(m_state->renderings.begin(), m_state->renderings.end());
}

void VectorImage::tn_forceUpdateImage()
{
    std::lock_guard lock(m_state->mutex);
    m_state->renderings.clear();
}

} // namespace kalvo
