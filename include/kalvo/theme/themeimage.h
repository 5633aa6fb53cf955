// Images that follow the theme or a pigment.
//
// ThemeImage: a light/dark image with per-theme images. Drawn on the main
// thread under a theme that has an image, it shows that image; under a
// theme for which its tint colour (titedColor) has a value, it shows its
// current variant tinted with that value, made once and kept for the theme.
// Elsewhere (and off the main thread) it is a plain KalvoImage.
//
//   auto image = KalvoImage::imageWithImage(icon, std::map<ThemeName, ImagePtr>{{ThemeName::rose, roseIcon}});
//   auto tinted = icon->tinted(someThemeColor);     // a ThemeImage
//
// PigmentImage: the image of a TNPigment answers for both variants; without
// one it is a plain KalvoImage.
#pragma once

#include <kalvo/theme/kalvoimage.h>
#include <kalvo/theme/pigment.h>

#include <map>
#include <memory>
#include <optional>

namespace kalvo {

class KALVO_EXPORT ThemeImage final : public KalvoImage
{
public:
    ThemeImage(ImagePtr light, ImagePtr dark, std::map<ThemeName, ImagePtr> themes = {},
               std::shared_ptr<const ThemeColor> titedColor = nullptr);

    const std::map<ThemeName, ImagePtr> &themes() const { return m_themes; }
    const std::shared_ptr<const ThemeColor> &titedColor() const { return m_titedColor; }

    // Sets the theme's image, or removes it when `image` is null; the old
    // image's bitmaps leave the representations, the new one's join them.
    void setImage(const ImagePtr &image, ThemeName theme);

    // The theme's image, else the current variant tinted with the tint
    // colour's value for the theme (kept), else the light/dark variant.
    ImagePtr currentAppearanceImage() const override;

private:
    void storeImage(const ImagePtr &image, ThemeName theme) const;

    mutable std::map<ThemeName, ImagePtr> m_themes;
    std::shared_ptr<const ThemeColor> m_titedColor;
};

class KALVO_EXPORT PigmentImage final : public KalvoImage
{
public:
    explicit PigmentImage(std::optional<TNPigment> pigment);

    const std::optional<TNPigment> &pigment() const { return m_pigment; }
    void setPigment(std::optional<TNPigment> pigment);

    ImagePtr lightImage() const override;
    ImagePtr darkImage() const override;
    ImagePtr currentAppearanceImage() const override;

private:
    // The pigment's image as an Image, or null when it has none.
    ImagePtr pigmentImage() const;

    std::optional<TNPigment> m_pigment;
    mutable ImagePtr m_pigmentImage;
};

} // namespace kalvo
