// Shared by the image, asset store and SVG registry tests: rendering an
// image under an appearance, test bundles in temporary directories.
#pragma once

#include <kalvo/theme/appearance.h>
#include <kalvo/theme/image.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

namespace kalvo::test {

// The image drawn into `size` pixels (device pixel ratio 1) under the light
// or dark appearance and an optional theme.
inline QImage render(const ImagePtr &image, QSize size, bool dark = false, std::shared_ptr<TNTheme> theme = nullptr)
{
    QImage canvas(size, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    const DrawingAppearanceScope scope(dark ? Appearance::tn_darkAppearance() : Appearance::tn_lightAppearance(),
                                       std::move(theme));
    if (image)
        image->draw(painter, QRectF(QPointF(0, 0), QSizeF(size)));
    painter.end();
    return canvas;
}

// A solid square bitmap of `side` pixels.
inline ImagePtr solidImage(QColor color, int side = 16)
{
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(color);
    return BitmapImage::create(image);
}

// A bitmap with an opaque disc in the middle and transparent corners.
inline ImagePtr discImage(QColor color = Qt::black, int side = 20)
{
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawEllipse(QRectF(side * 0.2, side * 0.2, side * 0.6, side * 0.6));
    painter.end();
    return BitmapImage::create(image);
}

inline QString squareSvg(const QString &fill, int side = 16)
{
    return QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 %1 %1\">"
                          "<rect x=\"0\" y=\"0\" width=\"%1\" height=\"%1\" fill=\"%2\"/></svg>")
        .arg(side)
        .arg(fill);
}

inline bool writeFile(const QString &path, const QByteArray &contents)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size();
}

inline bool writeFile(const QString &path, const QString &contents)
{
    return writeFile(path, contents.toUtf8());
}

inline bool writePng(const QString &path, QColor color, int side = 8)
{
    QImage image(side, side, QImage::Format_ARGB32);
    image.fill(color);
    QDir().mkpath(QFileInfo(path).absolutePath());
    return image.save(path, "PNG");
}

// Near-equality of two colours, for antialiased and scaled pixels.
inline bool near(const QColor &a, const QColor &b, int tolerance = 8)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance
           && std::abs(a.blue() - b.blue()) <= tolerance && std::abs(a.alpha() - b.alpha()) <= tolerance;
}

} // namespace kalvo::test
