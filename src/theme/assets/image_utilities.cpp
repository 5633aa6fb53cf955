// ---- Index ----
// Bitmaps             CGImage and the bitmap representations
// New images          alpha, rotation, flipping, corners, resizing, composition
// Stretchable drawing the nine-piece family
// Files               thumbnails, image paths, loading a file
#include <kalvo/theme/image.h>

#include <kalvo/svg/svglibhelper.h>
#include <kalvo/svg/svgmgr.h>

#include "image_p.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPainterPath>

#include <cmath>
#include <numbers>

namespace kalvo {

// ---- Bitmaps ----

QImage Image::CGImage() const
{
    return toImage(1.0);
}

QSize Image::pixelSize() const
{
    const QImage image = CGImage();
    return image.isNull() ? QSize(0, 0) : image.size();
}

QImage Image::CGImageForProposedRect(const QRectF &rect, qreal devicePixelRatio) const
{
    const QSizeF own = size();
    if (!detail::hasArea(own))
        return {};
    qreal fit = 1.0;
    if (detail::hasArea(rect.size()))
        fit = std::max(rect.width() / own.width(), rect.height() / own.height());
    return toImage(devicePixelRatio * fit);
}

QImage Image::bitmapImageRep() const
{
    const QImage image = CGImage();
    return image.isNull() ? image : image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QImage Image::bitmapImageRepWithSize(const QSize &pixels) const
{
    if (pixels.width() <= 0 || pixels.height() <= 0 || pixels.width() > detail::kMaxRenderSide
        || pixels.height() > detail::kMaxRenderSide || !detail::hasArea(size()))
        return {};
    QImage canvas(pixels, QImage::Format_ARGB32_Premultiplied);
    if (canvas.isNull())
        return {};
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    draw(painter, QRectF(QPointF(0, 0), QSizeF(pixels)));
    painter.end();
    return canvas;
}

QImage Image::losslessBitmapImageRep() const
{
    const QImage image = CGImage();
    return image.isNull() ? image : image.convertToFormat(QImage::Format_ARGB32);
}

QImage Image::bestBitmapImageRep() const
{
    QImage best;
    for (const QImage &candidate : representations()) {
        if (qint64(candidate.width()) * candidate.height() > qint64(best.width()) * best.height())
            best = candidate;
    }
    return best.isNull() ? CGImage() : best;
}

QImage Image::unscaledBitmapRepresentation() const
{
    const QSizeF own = size();
    if (!detail::hasArea(own))
        return {};
    return bitmapImageRepWithSize(QSize(static_cast<int>(std::ceil(own.width() - 1e-6)),
                                        static_cast<int>(std::ceil(own.height() - 1e-6))));
}

// ---- New images ----

namespace {

ImagePtr orEmpty(std::shared_ptr<BitmapImage> image)
{
    if (!image)
        return Image::emptyImage();
    return image;
}

// Trims floating-point noise off computed sizes (cos 90° is 6e-17, not 0).
qreal tidy(qreal value)
{
    return std::round(value * 1e6) / 1e6;
}

} // namespace

ImagePtr Image::imageByApplyingAlpha(qreal alpha) const
{
    const ImagePtr receiver = self();
    return orEmpty(detail::renderBitmap(size(), naturalDevicePixelRatio(), [&](QPainter &painter, const QRectF &rect) {
        painter.setOpacity(std::clamp(alpha, 0.0, 1.0));
        receiver->draw(painter, rect);
    }));
}

ImagePtr Image::imageByRotate(qreal radians) const
{
    const QSizeF own = size();
    if (!detail::hasArea(own) || !std::isfinite(radians))
        return emptyImage();
    const qreal c = std::abs(std::cos(radians));
    const qreal s = std::abs(std::sin(radians));
    const QSizeF rotated(tidy(own.width() * c + own.height() * s), tidy(own.width() * s + own.height() * c));
    const ImagePtr receiver = self();
    return orEmpty(detail::renderBitmap(rotated, naturalDevicePixelRatio(), [&](QPainter &painter, const QRectF &rect) {
        painter.translate(rect.center());
        // Qt turns clockwise on screen for positive angles (y down).
        painter.rotate(-radians * 180.0 / std::numbers::pi);
        receiver->draw(painter, QRectF(QPointF(-own.width() / 2, -own.height() / 2), own));
    }));
}

ImagePtr Image::rotateImageWithDegrees(qreal degrees) const
{
    return imageByRotate(degrees * std::numbers::pi / 180.0);
}

ImagePtr Image::imageByFlipped(bool horizontal) const
{
    const ImagePtr receiver = self();
    return orEmpty(detail::renderBitmap(size(), naturalDevicePixelRatio(), [&](QPainter &painter, const QRectF &rect) {
        if (horizontal) {
            painter.translate(rect.width(), 0);
            painter.scale(-1, 1);
        } else {
            painter.translate(0, rect.height());
            painter.scale(1, -1);
        }
        receiver->draw(painter, rect);
    }));
}

ImagePtr Image::roundCornersImageCornerRadius(qreal radius) const
{
    const ImagePtr receiver = self();
    return orEmpty(detail::renderBitmap(size(), naturalDevicePixelRatio(), [&](QPainter &painter, const QRectF &rect) {
        const qreal r = std::clamp(radius, 0.0, std::min(rect.width(), rect.height()) / 2);
        QPainterPath clip;
        clip.addRoundedRect(rect, r, r);
        painter.setClipPath(clip);
        receiver->draw(painter, rect);
    }));
}

ImagePtr Image::resizeImage(const QSizeF &newSize) const
{
    const ImagePtr receiver = self();
    return orEmpty(detail::renderBitmap(newSize, naturalDevicePixelRatio(),
                                        [&](QPainter &painter, const QRectF &rect) { receiver->draw(painter, rect); }));
}

ImagePtr Image::compositeWithSize(const QSizeF &canvasSize, const PlatformColor &backgroundColor, qreal radius) const
{
    const ImagePtr receiver = self();
    const QSizeF own = size();
    return orEmpty(detail::renderBitmap(canvasSize, naturalDevicePixelRatio(), [&](QPainter &painter, const QRectF &rect) {
        const qreal r = std::clamp(radius, 0.0, std::min(rect.width(), rect.height()) / 2);
        QPainterPath outline;
        outline.addRoundedRect(rect, r, r);
        if (backgroundColor.isValid())
            painter.fillPath(outline, backgroundColor.resolved());
        if (!detail::hasArea(own))
            return;
        const qreal scale = std::min({1.0, rect.width() / own.width(), rect.height() / own.height()});
        QRectF target(QPointF(0, 0), own * scale);
        target.moveCenter(rect.center());
        painter.setClipPath(outline);
        receiver->draw(painter, target);
    }));
}

bool Image::saveAsJPGtoPath(const QString &path) const
{
    const QImage image = CGImage();
    if (image.isNull() || path.isEmpty())
        return false;
    QImage flat(image.size(), QImage::Format_RGB32);
    if (flat.isNull())
        return false;
    flat.fill(Qt::white);
    {
        QPainter painter(&flat);
        painter.drawImage(QRectF(flat.rect()), image, QRectF(image.rect()));
    }
    return flat.save(path, "JPG");
}

// ---- Stretchable drawing ----

void Image::drawInRect(QPainter &painter, const QRectF &rect, qreal cap) const
{
    drawInRect(painter, rect, cap, cap, cap, cap);
}

void Image::drawInRect(QPainter &painter, const QRectF &rect, qreal heightCap, qreal widthCap) const
{
    drawInRect(painter, rect, heightCap, heightCap, widthCap, widthCap);
}

void Image::drawInRect(QPainter &painter, const QRectF &rect, qreal topCap, qreal bottomCap, qreal leftCap,
                       qreal rightCap) const
{
    drawInRect(painter, rect, painter.compositionMode(), 1.0, true, topCap, bottomCap, leftCap, rightCap);
}

namespace {

// Caps that fit both the image and the destination: negative ones become 0,
// and a pair too long for either is shortened in proportion.
std::pair<qreal, qreal> fittedCaps(qreal first, qreal second, qreal imageLength, qreal rectLength)
{
    first = std::isfinite(first) ? std::max(0.0, first) : 0.0;
    second = std::isfinite(second) ? std::max(0.0, second) : 0.0;
    const qreal total = first + second;
    const qreal room = std::min(imageLength, rectLength);
    if (total > room && total > 0) {
        first *= room / total;
        second *= room / total;
    }
    return {first, second};
}

} // namespace

void Image::drawInRect(QPainter &painter, const QRectF &rect, QPainter::CompositionMode operation, qreal fraction,
                       bool respectFlipped, qreal topCap, qreal bottomCap, qreal leftCap, qreal rightCap) const
{
    const QSizeF own = size();
    if (!painter.isActive() || !detail::hasArea(own) || !detail::hasArea(rect.size()))
        return;
    const auto [top, bottom] = fittedCaps(topCap, bottomCap, own.height(), rect.height());
    const auto [left, right] = fittedCaps(leftCap, rightCap, own.width(), rect.width());

    // Corners keep their size, so the picture is needed at the device's
    // resolution only.
    const qreal ratio = (painter.device() ? painter.device()->devicePixelRatioF() : 1.0)
                        * detail::transformScale(painter.worldTransform());
    const QImage picture = toImage(ratio);
    if (picture.isNull())
        return;
    const qreal px = picture.width() / own.width();
    const qreal py = picture.height() / own.height();

    const qreal srcX[4] = {0, left, own.width() - right, own.width()};
    const qreal srcY[4] = {0, top, own.height() - bottom, own.height()};
    const qreal dstX[4] = {rect.left(), rect.left() + left, rect.right() - right, rect.right()};
    const qreal dstY[4] = {rect.top(), rect.top() + top, rect.bottom() - bottom, rect.bottom()};

    painter.save();
    painter.setCompositionMode(operation);
    painter.setOpacity(painter.opacity() * std::clamp(fraction, 0.0, 1.0));
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (!respectFlipped) {
        painter.translate(0, rect.top() + rect.bottom());
        painter.scale(1, -1);
    }
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) {
            const QRectF source(srcX[column] * px, srcY[row] * py, (srcX[column + 1] - srcX[column]) * px,
                                (srcY[row + 1] - srcY[row]) * py);
            const QRectF target(dstX[column], dstY[row], dstX[column + 1] - dstX[column], dstY[row + 1] - dstY[row]);
            if (source.width() <= 0 || source.height() <= 0 || target.width() <= 0 || target.height() <= 0)
                continue;
            painter.drawImage(target, picture, source);
        }
    }
    painter.restore();
}

// ---- Files ----

ImagePtr Image::thumbnailWithContentsOfURL(const QUrl &url, int maxPixelSize)
{
    if (!url.isLocalFile())
        return nullptr;
    QImageReader reader(url.toLocalFile());
    reader.setAutoTransform(true);
    if (!reader.canRead())
        return nullptr;
    const QSize full = reader.size();
    if (maxPixelSize > 0 && full.isValid() && std::max(full.width(), full.height()) > maxPixelSize)
        reader.setScaledSize(full.scaled(maxPixelSize, maxPixelSize, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    QImage image = reader.read();
    if (image.isNull())
        return nullptr;
    if (maxPixelSize > 0 && std::max(image.width(), image.height()) > maxPixelSize) // the size was unknown
        image = image.scaled(maxPixelSize, maxPixelSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    image.setDevicePixelRatio(1.0);
    return BitmapImage::create(std::move(image));
}

namespace {

// The extension as a path extension: none for "name." or a hidden ".png".
QString pathExtension(const QFileInfo &info)
{
    const QString file = info.fileName();
    const qsizetype dot = file.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0)
        return {};
    return file.mid(dot + 1);
}

bool isImageExtension(const QString &extension)
{
    const QString lower = extension.toLower();
    return lower == u"gif" || lower == u"png" || lower == u"jpeg" || lower == u"jpg";
}

} // namespace

bool Image::isImagePath(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    const QString extension = pathExtension(info);
    if (extension.isEmpty() || !info.exists() || !info.isFile())
        return false;
    return isImageExtension(extension);
}

bool Image::isValidImagePath(const QString &path)
{
    if (!isImagePath(path))
        return false;
    // The contents decide, not the name.
    const QByteArray format = QImageReader::imageFormat(path).toLower();
    return format == "gif" || format == "png" || format == "jpeg" || format == "jpg";
}

ImagePtr Image::imageWithContentsOfFile(const QString &path)
{
    if (path.isEmpty())
        return nullptr;
    const QFileInfo info(path);
    if (!info.isFile())
        return nullptr;
    if (pathExtension(info).compare(u"svg", Qt::CaseInsensitive) == 0) {
        if (info.size() > KTNSVGMgr::kMaxFileSize)
            return nullptr;
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return nullptr;
        const KTNSVGMgr::ParsedFile parsed = KTNSVGMgr::parseSvgData(file.readAll(), info.fileName());
        auto tree = std::make_shared<const KTNSvgElement>(parsed.file);
        return VectorImage::create(
            [tree](qreal scale) { return KTNSVGLibHelper::exportImageWithElement(*tree, scale); });
    }
    QImageReader reader(path);
    reader.setAutoTransform(true);
    QImage image = reader.read();
    if (image.isNull())
        return nullptr;
    const QString base = info.completeBaseName();
    qreal ratio = 1.0;
    if (base.endsWith(u"@2x"))
        ratio = 2.0;
    else if (base.endsWith(u"@3x"))
        ratio = 3.0;
    image.setDevicePixelRatio(ratio);
    return BitmapImage::create(std::move(image));
}

} // namespace kalvo
