// Two drawn icons of the older kit, a close cross and a help mark, drawn once
// per size and appearance and kept.
//
//   ImagePtr close = KTNIconManager::shared().closeImage({16, 16}, 1.5);
//
// The colours are resolved when the icon is drawn, for the application's
// effective appearance; the cache key ends in "true" or "false" for whether
// that appearance is dark, so each appearance has its own icon. Main thread.
#pragma once

#include <kalvo/theme/image.h>

#include <QRectF>
#include <QSizeF>

#include <map>

namespace kalvo {

class KALVO_EXPORT KTNIconManager
{
public:
    static KTNIconManager &shared();

    // A cross from corner to corner of the image inset by 5, in the token
    // colour "BackgroundDefault".
    ImagePtr closeImage(const QSizeF &size, qreal lineWidth);
    // The same cross in the given colour, kept per colour: the colour's
    // tnCacheKey joins the key before the dark flag.
    ImagePtr closeImage(const QSizeF &size, qreal lineWidth, const PlatformColor &fillColor);
    ImagePtr closeImageWithSize(const QSizeF &size, qreal lineWidth) { return closeImage(size, lineWidth); }
    ImagePtr closeImageWithSize(const QSizeF &size, qreal lineWidth, const PlatformColor &fillColor)
    {
        return closeImage(size, lineWidth, fillColor);
    }
    // A circled question mark in the centred square of the shorter side.
    ImagePtr helpIcon(const QSizeF &size);
    ImagePtr helpIconWithSize(const QSizeF &size) { return helpIcon(size); }

    const std::map<QString, ImagePtr> &imageCache() const { return m_imageCache; }

    // A number of a cache key: shortest decimal form with at least one
    // fractional digit ("16.0", "1.5").
    static QString keyNumber(double value);

    struct HelpIconGeometry
    {
        QRectF square; // centred, side min(width, height)
        QRectF circle; // the square inset by 2
        double fontSize = 0; // side / 1.8
    };
    static HelpIconGeometry helpIconGeometry(const QSizeF &size);

private:
    KTNIconManager() = default;
    ImagePtr cachedCloseImage(const QString &key, const QSizeF &size, qreal lineWidth, const PlatformColor &color);

    std::map<QString, ImagePtr> m_imageCache;
};

} // namespace kalvo
