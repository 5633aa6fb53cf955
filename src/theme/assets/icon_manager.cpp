#include <kalvo/theme/iconmanager.h>

#include <kalvo/theme/appearance.h>

#include "image_p.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLocale>
#include <QPen>

#include <cmath>

namespace kalvo {

namespace {

// What the key's last part says: the application's appearance is dark.
bool applicationIsDark()
{
    return isDarkMode(QCoreApplication::instance());
}

QString darkFlag()
{
    return applicationIsDark() ? QStringLiteral("true") : QStringLiteral("false");
}

// Draws with the colours resolved for the application's appearance, the one
// the cache key records. Null when no canvas can be made (nothing to draw
// on), which is not cached.
std::shared_ptr<BitmapImage> drawForApplication(const QSizeF &size,
                                                const std::function<void(QPainter &, const QRectF &)> &paint)
{
    if (!detail::hasArea(size))
        return nullptr;
    const DrawingAppearanceScope scope(effectiveAppearance(QCoreApplication::instance()));
    return detail::renderBitmap(size, defaultDevicePixelRatio(), paint);
}

} // namespace

KTNIconManager &KTNIconManager::shared()
{
    static auto *manager = new KTNIconManager; // lives for the process
    return *manager;
}

QString KTNIconManager::keyNumber(double value)
{
    if (!std::isfinite(value))
        return QString::number(value);
    // Positional between 1e-4 and 1e16, exponential outside, as the keys
    // have always been printed ("100000.0", "1e+16", "1e-05").
    const double magnitude = std::abs(value);
    if (magnitude >= 1e16 || (magnitude < 1e-4 && magnitude > 0))
        return QString::number(value, 'e', QLocale::FloatingPointShortest);
    QString text = QString::number(value, 'f', QLocale::FloatingPointShortest);
    if (!text.contains(QLatin1Char('.')))
        text += QStringLiteral(".0");
    return text;
}

ImagePtr KTNIconManager::closeImage(const QSizeF &size, qreal lineWidth)
{
    const QString key = keyNumber(size.width()) + u'_' + keyNumber(size.height()) + u'_' + keyNumber(lineWidth) + u'_'
                        + darkFlag();
    return cachedCloseImage(key, size, lineWidth, Color::colorWithTokenName(QStringLiteral("BackgroundDefault")));
}

ImagePtr KTNIconManager::closeImage(const QSizeF &size, qreal lineWidth, const PlatformColor &fillColor)
{
    // The colour is part of the key: icons of one size in two colours are two
    // icons. It goes before the dark flag, which ends every key.
    const QString key = keyNumber(size.width()) + u'_' + keyNumber(size.height()) + u'_' + keyNumber(lineWidth) + u'_'
                        + fillColor.tnCacheKey() + u'_' + darkFlag();
    return cachedCloseImage(key, size, lineWidth, fillColor);
}

ImagePtr KTNIconManager::cachedCloseImage(const QString &key, const QSizeF &size, qreal lineWidth,
                                          const PlatformColor &color)
{
    if (ImagePtr cached = m_imageCache[key])
        return cached;
    m_imageCache.erase(key);
    auto image = drawForApplication(size, [&](QPainter &painter, const QRectF &rect) {
        if (!(lineWidth > 0) || !color.isValid())
            return;
        painter.setPen(QPen(color.resolved(), lineWidth, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
        const qreal left = 5;
        const qreal top = 5;
        const qreal right = rect.width() - 5;
        const qreal bottom = rect.height() - 5;
        painter.drawLine(QPointF(left, top), QPointF(right, bottom));
        painter.drawLine(QPointF(left, bottom), QPointF(right, top));
    });
    if (!image)
        return Image::emptyImage();
    m_imageCache.emplace(key, image);
    return image;
}

KTNIconManager::HelpIconGeometry KTNIconManager::helpIconGeometry(const QSizeF &size)
{
    HelpIconGeometry geometry;
    const qreal side = std::min(size.width(), size.height());
    geometry.square = QRectF((size.width() - side) / 2, (size.height() - side) / 2, side, side);
    geometry.circle = geometry.square.adjusted(2.0, 2.0, -2.0, -2.0);
    geometry.fontSize = side / 1.8;
    return geometry;
}

ImagePtr KTNIconManager::helpIcon(const QSizeF &size)
{
    const QString key = keyNumber(size.width()) + u'_' + keyNumber(size.height()) + QStringLiteral("_?_") + darkFlag();
    if (ImagePtr cached = m_imageCache[key])
        return cached;
    m_imageCache.erase(key);
    const HelpIconGeometry geometry = helpIconGeometry(size);
    const ColorPtr color = Color::color(0x6E7680, 1.0, 0x98A0A9, 1.0);
    auto image = drawForApplication(size, [&](QPainter &painter, const QRectF &rect) {
        const QColor resolved = color->resolved();
        painter.setCompositionMode(QPainter::CompositionMode_Clear);
        painter.fillRect(geometry.square, Qt::transparent);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        painter.setPen(QPen(resolved, 1.0));
        painter.setBrush(Qt::NoBrush);
        if (geometry.circle.width() > 0 && geometry.circle.height() > 0)
            painter.drawEllipse(geometry.circle);
        if (geometry.fontSize > 0) {
            QFont font = QGuiApplication::font();
            // Point sizes are converted with the canvas's logical dpi; this
            // makes the text exactly fontSize pixels (points) high.
            font.setPointSizeF(geometry.fontSize * 72.0 / painter.device()->logicalDpiY());
            painter.setFont(font);
            painter.drawText(rect, Qt::AlignCenter, QStringLiteral("?"));
        }
    });
    if (!image)
        return Image::emptyImage();
    m_imageCache.emplace(key, image);
    return image;
}

} // namespace kalvo
