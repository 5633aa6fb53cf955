#include <kalvo/theme/themeimage.h>

#include <kalvo/platform/scheduler.h>
#include <kalvo/theme/appearance.h>

namespace kalvo {

// ---- ThemeImage ----

ThemeImage::ThemeImage(ImagePtr light, ImagePtr dark, std::map<ThemeName, ImagePtr> themes,
                       std::shared_ptr<const ThemeColor> titedColor)
    : KalvoImage(std::move(light), std::move(dark)), m_titedColor(std::move(titedColor))
{
    for (const auto &[theme, image] : themes)
        storeImage(image, theme);
}

void ThemeImage::setImage(const ImagePtr &image, ThemeName theme)
{
    storeImage(image, theme);
}

void ThemeImage::storeImage(const ImagePtr &image, ThemeName theme) const
{
    const auto existing = m_themes.find(theme);
    if (existing != m_themes.end()) {
        removeRepresentations(existing->second);
        m_themes.erase(existing);
    }
    if (!image)
        return;
    m_themes.emplace(theme, image);
    addRepresentations(image);
}

ImagePtr ThemeImage::currentAppearanceImage() const
{
    if (!isMainThread())
        return lightImage();
    // As for theme colours: no theme, or the theme "none", is no theme.
    const ThemeName theme = drawingThemeName();
    if (theme != ThemeName::none) {
        const auto stored = m_themes.find(theme);
        if (stored != m_themes.end())
            return stored->second;
        if (m_titedColor) {
            const ThemeColorMap &colors = m_titedColor->themes();
            const auto color = colors.find(theme);
            if (color != colors.end()) {
                if (ImagePtr current = KalvoImage::currentAppearanceImage()) {
                    ImagePtr tinted = current->tinted(color->second);
                    storeImage(tinted, theme);
                    return tinted;
                }
            }
        }
    }
    return KalvoImage::currentAppearanceImage();
}

// ---- PigmentImage ----

PigmentImage::PigmentImage(std::optional<TNPigment> pigment)
    : KalvoImage(ImagePtr{}, ImagePtr{}), m_pigment(std::move(pigment))
{
}

void PigmentImage::setPigment(std::optional<TNPigment> pigment)
{
    m_pigment = std::move(pigment);
    m_pigmentImage.reset();
}

ImagePtr PigmentImage::pigmentImage() const
{
    if (!m_pigment || m_pigment->image.isNull())
        return nullptr;
    // The pigment holds a QImage value: wrapped once, rewrapped if replaced.
    const auto *bitmap = dynamic_cast<const BitmapImage *>(m_pigmentImage.get());
    if (!bitmap || bitmap->image().cacheKey() != m_pigment->image.cacheKey())
        m_pigmentImage = BitmapImage::create(m_pigment->image);
    return m_pigmentImage;
}

ImagePtr PigmentImage::lightImage() const
{
    if (ImagePtr image = pigmentImage())
        return image;
    return KalvoImage::lightImage();
}

ImagePtr PigmentImage::darkImage() const
{
    if (ImagePtr image = pigmentImage())
        return image;
    return KalvoImage::darkImage();
}

ImagePtr PigmentImage::currentAppearanceImage() const
{
    if (ImagePtr image = pigmentImage())
        return image;
    return KalvoImage::currentAppearanceImage();
}

} // namespace kalvo
