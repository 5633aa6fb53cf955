// Images that follow the theme or a pigment. Their data lives here with the
// themes; how they pick a variant when drawn comes with the asset store.
#pragma once

#include <kalvo/theme/pigment.h>

#include <QImage>

#include <map>
#include <memory>
#include <optional>

namespace kalvo {

// An image with a table of per-theme images and an optional tint.
struct KALVO_EXPORT ThemeImage
{
    QImage image;
    std::map<ThemeName, QImage> themes;
    std::shared_ptr<const ThemeColor> titedColor;

    void setImage(const QImage &themed, ThemeName theme) { themes[theme] = themed; }
};

// An image whose variants come from a pigment's image.
struct KALVO_EXPORT PigmentImage
{
    QImage image;
    std::optional<TNPigment> pigment;
};

} // namespace kalvo
