// TNPigment: a paint description a view can be filled with instead of its
// state colours: a colour, an image or a gradient, plus border colour and
// corner rules. PigmentColor is the colour that follows a pigment.
//
//   TNPigment pigment;
//   pigment.gradient = TNGradient{{Color::fillPrimary(), Color::fillSuccess()}, {0, 1}};
//   pigment.cornerRadiusRatio = 0.5;                     // a capsule
//   paintPigment(painter, rect(), pigment, 1.0);
#pragma once

#include <kalvo/theme/color.h>

#include <QImage>
#include <QPainterPath>
#include <QPointF>
#include <QRectF>

#include <optional>
#include <vector>

QT_BEGIN_NAMESPACE
class QPainter;
QT_END_NAMESPACE

namespace kalvo {

// Which corners are rounded. Widgets are flipped (y grows downwards), so
// the min-Y corners are the top ones.
namespace CornerMask {
inline constexpr unsigned minXMinY = 1;
inline constexpr unsigned maxXMinY = 2;
inline constexpr unsigned minXMaxY = 4;
inline constexpr unsigned maxXMaxY = 8;
inline constexpr unsigned all = 15;
} // namespace CornerMask

struct KALVO_EXPORT TNGradient
{
    std::vector<PlatformColor> colors;
    std::vector<double> locations; // 0...1, one per colour; empty spreads evenly
    // In the unit square with y pointing up, as for an unflipped view.
    QPointF startPoint{0.5, 0.0};
    QPointF endPoint{0.5, 1.0};

    // The points in a view's own unit square: mirrored for flipped views.
    QPointF startPointFor(bool flipped) const;
    QPointF endPointFor(bool flipped) const;
};

struct KALVO_EXPORT TNPigment
{
    PlatformColor color;
    QImage image;
    std::optional<TNGradient> gradient;
    PlatformColor borderColor;
    bool masksToBounds = false;
    double cornerRadius = 0;
    double cornerRadiusRatio = 0;
    unsigned cornerMask = CornerMask::all;

    // cornerRadius when the ratio is not above the double epsilon, else
    // cornerRadius + round(min(w, h) * cornerRadiusRatio).
    double effectiveCornerRadius(double width, double height) const;
    // A colour that follows this pigment's colour (Color::color(withPigment:)).
    std::shared_ptr<PigmentColor> appearanceColor() const;
};

// Paints `pigment` into `bounds`: the gradient, else the image stretched to
// the bounds, else the colour; then the border at `borderWidth` inside the
// bounds. Corners are rounded by the effective radius on the corners of the
// mask; the gradient and image are clipped to them only when the pigment
// masks to bounds, as a layer's contents are. Colours resolve against the
// current drawing appearance.
KALVO_EXPORT void paintPigment(QPainter &painter, const QRectF &bounds, const TNPigment &pigment,
                               double borderWidth, bool flipped = true);

// The rounded outline paintPigment() uses.
KALVO_EXPORT QPainterPath pigmentOutline(const QRectF &bounds, double radius, unsigned cornerMask, bool flipped = true);

// A colour that answers with its pigment's colour at drawing time (clear when
// it has none, or off the main thread).
class KALVO_EXPORT PigmentColor final : public AppearanceColor
{
public:
    explicit PigmentColor(std::optional<TNPigment> pigment);

    const std::optional<TNPigment> &pigment() const { return m_pigment; }
    void setPigment(std::optional<TNPigment> pigment) { m_pigment = std::move(pigment); }

    PlatformColor lightColor() const override;
    PlatformColor darkColor() const override;
    const PlatformColor &resolvedColorIn(const DrawingState &state) const override;
    const char *className() const override { return "kalvo::PigmentColor"; }

private:
    std::optional<TNPigment> m_pigment;
};

} // namespace kalvo
