#include <kalvo/components/iconbutton.h>

#include <kalvo/foundation/view.h>

#include <QPainter>

namespace kalvo {

namespace {

constexpr std::array<IconButton::Metrics, 4> kMetrics{{
    {24, 14, 6, 8, 2},
    {32, 16, 8, 12, 3},
    {40, 18, 10, 16, 4},
    {48, 20, 12, 20, 5},
}};

struct Colors
{
    ColorPtr (*background)();
    ColorPtr (*hovered)();
    ColorPtr (*pressed)();
    ColorPtr (*invertedHovered)(); // null: as hovered
    ColorPtr (*invertedPressed)();
    ColorPtr (*tint)();
};

// Keep in raw order with IconButton::Style.
const std::array<Colors, 8> kColors{{
    {&Color::Theme::fillGlobalPrimary, &Color::Theme::primaryHovered, &Color::Theme::primaryPressed, nullptr, nullptr,
     &Color::inverseGlobalDefault},
    {&Color::kalvoClear, &Color::subtleNeutralHovered, &Color::subtleNeutralPressed, nullptr, nullptr,
     &Color::textStrongerNeutral},
    {&Color::kalvoClear, &Color::subtleNeutralHovered, &Color::subtleNeutralPressed, &Color::globalDarkTransparentHovered,
     &Color::globalDarkTransparentPressed, &Color::textStrongerNeutral},
    {&Color::fillGlobalError, &Color::errorHovered, &Color::errorPressed, nullptr, nullptr, &Color::inverseGlobalDefault},
    {&Color::kalvoClear, &Color::subtleErrorHovered, &Color::subtleErrorPressed, nullptr, nullptr, &Color::Theme::textError},
    {&Color::kalvoClear, &Color::subtleErrorHovered, &Color::subtleErrorPressed, nullptr, nullptr, &Color::Theme::textError},
    {&Color::fillGlobalDarkTransparent, &Color::fillGlobalDarkTransparent, &Color::globalDarkTransparentPressed, nullptr,
     nullptr, &Color::inverseGlobalDefault},
    {&Color::kalvoClear, &Color::subtleErrorHovered, &Color::subtleErrorPressed, nullptr, nullptr, &Color::Theme::textError},
}};

} // namespace

struct IconButton::Private
{
    explicit Private(IconButton *q) : image(q, QImage()), tinted(q, true), style(q, Style::secondary) {}

    Dirtying<QImage> image;
    Dirtying<bool> tinted;
    Dirtying<Style> style;
    Size size = Size::medium;
    QMargins contentInsets;
    DotStyle dotStyle = DotStyle::red;
    View *dot = nullptr;
    QImage tintCache;
    QRgb tintColor = 0;
};

IconButton::~IconButton() = default;

IconButton::Metrics IconButton::metrics(Size size)
{
    return kMetrics[static_cast<std::size_t>(checkedFromRaw<Size>(toRaw(size)))];
}

IconButton::IconButton(const QImage &image, Style style, Size size, Action action, QWidget *parent)
    : BaseButton(parent), d(std::make_unique<Private>(this))
{
    d->size = checkedFromRaw<Size>(toRaw(size));
    d->style.set(checkedFromRaw<Style>(toRaw(style)));
    d->image.set(image);
    setAction(std::move(action));
    const Metrics m = metrics(d->size);
    setCornerRadius(m.cornerRadius);
    setUsesOffsetFocusRing(true);
    setFocusRingSpacing(Button::kFocusRingSpacing);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    d->dot = new View(this);
    d->dot->setCornerRadius(m.dotDiameter / 2.0);
    d->dot->setAttribute(Qt::WA_TransparentForMouseEvents);
    d->dot->hide();
    updateColors();
    resize(sizeHint());
    placeDot();
}

IconButton *IconButton::buttonWithImage(const QImage &image, int style, int size, Action action, QWidget *parent)
{
    return new IconButton(image, checkedFromRaw<Style>(style), checkedFromRaw<Size>(size), std::move(action), parent);
}

QImage IconButton::image() const
{
    return d->image.get();
}

void IconButton::setImage(const QImage &image)
{
    if (image.cacheKey() != d->image.get().cacheKey()) {
        d->tintCache = QImage();
        d->image.set(image);
    }
}

bool IconButton::isImageTinted() const
{
    return d->tinted.get();
}

void IconButton::setImageTinted(bool tinted)
{
    d->tinted.set(tinted);
}

IconButton::Style IconButton::style() const
{
    return d->style.get();
}

void IconButton::setStyle(Style style)
{
    if (d->style.set(style))
        updateColors();
}

IconButton::Size IconButton::size() const
{
    return d->size;
}

QMargins IconButton::contentInsets() const
{
    return d->contentInsets;
}

void IconButton::setContentInsets(const QMargins &insets)
{
    d->contentInsets = insets;
    update();
}

IconButton::DotStyle IconButton::dotStyle() const
{
    return d->dotStyle;
}

void IconButton::setDotStyle(DotStyle style)
{
    d->dotStyle = style;
    updateColors();
}

View *IconButton::dotView() const
{
    return d->dot;
}

void IconButton::updateColors()
{
    const Colors &c = kColors[static_cast<std::size_t>(style())];
    const bool inverted = isInverted();
    ColorPtr normal = c.background();
    if (!isEnabled()) {
        if (style() == Style::primary || style() == Style::dangerPrimary)
            normal = Color::subtleDisabled();
        // An overlay keeps its translucent fill; the others keep theirs.
        setBackgroundColor(normal);
        setHoveredBackgroundColor(normal);
        setClickedBackgroundColor(normal);
    } else {
        setBackgroundColor(normal);
        setHoveredBackgroundColor(inverted && c.invertedHovered ? c.invertedHovered() : c.hovered());
        setClickedBackgroundColor(inverted && c.invertedPressed ? c.invertedPressed() : c.pressed());
    }
    if (d->dot) {
        d->dot->setBackgroundColor(d->dotStyle == DotStyle::blue ? Color::Theme::fillGlobalPrimary() : Color::fillError());
        d->dot->setVisible(showDot());
    }
}

ColorPtr IconButton::iconTint() const
{
    if (!isEnabled())
        return isInverted() ? Color::inverseGlobalDefault() : Color::disable();
    return kColors[static_cast<std::size_t>(style())].tint();
}

QSize IconButton::sizeHint() const
{
    const int side = metrics(d->size).side;
    return QSize(side, side);
}

void IconButton::resizeEvent(QResizeEvent *event)
{
    BaseButton::resizeEvent(event);
    placeDot();
}

void IconButton::placeDot()
{
    const Metrics m = metrics(d->size);
    d->dot->setGeometry(width() - m.dotInset - m.dotDiameter, m.dotInset, m.dotDiameter, m.dotDiameter);
}

void IconButton::paintContent(QPainter &painter)
{
    const Metrics m = metrics(d->size);
    const QColor tint = iconTint()->resolved();
    const QRectF area = QRectF(rect()).marginsRemoved(QMarginsF(d->contentInsets));
    const QRectF target(area.center().x() - m.iconSize / 2.0, area.center().y() - m.iconSize / 2.0, m.iconSize,
                        m.iconSize);
    const double busy = progressOpacity();
    if (!d->image.get().isNull()) {
        QImage icon = d->image.get();
        if (d->tinted.get()) {
            if (d->tintCache.isNull() || d->tintColor != tint.rgba()) {
                d->tintCache = tintedImage(icon, tint);
                d->tintColor = tint.rgba();
            }
            icon = d->tintCache;
        }
        painter.save();
        painter.setOpacity(1.0 - busy);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(target, icon);
        painter.restore();
    }
    if (busy > 0)
        paintProgress(painter, target, tint);
}

} // namespace kalvo
