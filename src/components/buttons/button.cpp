#include <kalvo/components/button.h>

#include <kalvo/foundation/typography.h>

#include <QFontMetricsF>
#include <QPainter>
#include <QStaticText>

namespace kalvo {

namespace {

constexpr std::array<Button::Metrics, 4> kMetrics{{
    {24, 52, 6, 12, 2, 2, 8, 12},
    {32, 60, 8, 14, 6, 6, 12, 16},
    {40, 68, 10, 16, 6, 6, 16, 20},
    {48, 76, 12, 16, 6, 6, 20, 20},
}};

Typograph titleTypograph(Button::Size size)
{
    switch (size) {
    case Button::Size::small:
        return Typograph::regular12;
    case Button::Size::medium:
        return Typograph::regular14;
    case Button::Size::large:
    case Button::Size::extraLarge:
        return Typograph::regular16;
    }
    return Typograph::regular14;
}

struct Background
{
    ColorPtr (*normal)();
    ColorPtr (*hovered)();
    ColorPtr (*pressed)();
    ColorPtr (*disabled)();
    bool clearWhenInverted; // normal and disabled become clear on dark surfaces
};

// Keep in raw order with Button::Style.
const std::array<Background, 6> kBackgrounds{{
    {&Color::Theme::fillGlobalPrimary, &Color::Theme::primaryHovered, &Color::Theme::primaryPressed,
     &Color::subtleDisabled, false},
    {&Color::fillDefault, &Color::subtleNeutralHovered, &Color::subtleNeutralPressed, &Color::fillDefault, true},
    {&Color::kalvoClear, &Color::subtlePrimaryHovered, &Color::subtlePrimaryPressed, &Color::kalvoClear, false},
    {&Color::fillGlobalError, &Color::errorHovered, &Color::errorPressed, &Color::subtleDisabled, false},
    {&Color::fillDefault, &Color::subtleErrorHovered, &Color::subtleErrorPressed, &Color::fillDefault, true},
    {&Color::kalvoClear, &Color::subtleErrorHovered, &Color::subtleErrorPressed, &Color::kalvoClear, false},
}};

struct TitleColors
{
    ColorPtr (*normal)();
    ColorPtr (*active)(); // hovered and pressed
    ColorPtr (*disabled)();
};

const std::array<TitleColors, 6> kTitles{{
    {&Color::inverseGlobalDefault, &Color::inverseGlobalDefault, &Color::disable},
    {&Color::textStrongerNeutral, &Color::textStrongerNeutral, &Color::disable},
    {&Color::Theme::textPrimary, &Color::textStrongPrimary, &Color::subtlePrimaryDisabled},
    {&Color::inverseGlobalDefault, &Color::inverseGlobalDefault, &Color::disable},
    {&Color::Theme::textError, &Color::Theme::textError, &Color::disable},
    {&Color::Theme::textError, &Color::Theme::textError, &Color::subtleErrorDisabled},
}};

constexpr qreal kDotDiameter = 8;
constexpr qreal kDotInset = 2;

} // namespace

struct Button::Private
{
    explicit Private(Button *q) : label(q, QString()), style(q, Style::primary), tintImage(q, true)
    {
        // A title is never markup.
        shownTitle.setTextFormat(Qt::PlainText);
    }

    Dirtying<QString> label;
    Dirtying<Style> style;
    Size size = Size::medium;
    QImage image;
    Dirtying<bool> tintImage;
    Gravity imageGravity = Gravity::leading;
    ColorPtr customBorder, customHoveredBorder, customClickedBorder;
    bool heightToZero = false;
    // The icon tinted with the colour it was last painted in.
    QImage tinted;
    QRgb tintedWith = 0;

    // Text measurement is the dear part of a button: the title's width is
    // kept for layouts, and the shaped (and elided) title for painting,
    // each until the title, font or room changes.
    QFont measuredFont;
    QString measuredLabel;
    qreal titleAdvance = -1;
    QFont shownFont;
    QString shownLabel;
    qreal shownRoom = -1;
    QStaticText shownTitle;
    qreal shownWidth = 0;
    qreal lineHeight = 0;

    qreal advance(const QFont &font, const QString &title)
    {
        if (titleAdvance < 0 || !(measuredFont == font) || measuredLabel != title) {
            measuredFont = font;
            measuredLabel = title;
            titleAdvance = QFontMetricsF(font).horizontalAdvance(title);
        }
        return titleAdvance;
    }

    // The title as it fits in `room`, shaped once.
    const QStaticText &shown(const QFont &font, const QString &title, qreal room)
    {
        if (shownRoom != room || !(shownFont == font) || shownLabel != title) {
            shownFont = font;
            shownLabel = title;
            shownRoom = room;
            const qreal full = advance(font, title);
            const QString text = full <= room ? title : QFontMetricsF(font).elidedText(title, Qt::ElideMiddle, room);
            shownWidth = text == title ? full : QFontMetricsF(font).horizontalAdvance(text);
            shownTitle.setText(text);
            shownTitle.prepare(QTransform(), font);
            const QFontMetricsF fm(font);
            lineHeight = fm.ascent() + fm.descent();
        }
        return shownTitle;
    }
};

Button::~Button() = default;

Button::Metrics Button::metrics(Size size)
{
    return kMetrics[static_cast<std::size_t>(checkedFromRaw<Size>(toRaw(size)))];
}

Button::Button(const QString &label, Style style, Size size, Action action, QWidget *parent)
    : BaseButton(parent), d(std::make_unique<Private>(this))
{
    d->size = checkedFromRaw<Size>(toRaw(size));
    d->style.set(checkedFromRaw<Style>(toRaw(style)));
    d->label.set(label);
    setAction(std::move(action));
    setCornerRadius(metrics(d->size).cornerRadius);
    setBorderWidth(1);
    setUsesOffsetFocusRing(true);
    setFocusRingSpacing(kFocusRingSpacing);
    setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Fixed);
    updateColors();
    // Sized from its title when first polished (measuring text here would
    // make every construction pay for shaping the title).
}

namespace {

Button *withIcon(const QString &label, Button::Style style, Button::Size size, const QImage &icon, Gravity gravity,
                 Button::Action action, QWidget *parent)
{
    auto *button = new Button(label, style, size, std::move(action), parent);
    button->setImage(icon);
    button->setImageGravity(gravity);
    return button;
}

} // namespace

Button *Button::withLeadingIcon(const QString &label, Style style, Size size, const QImage &icon, Action action,
                                QWidget *parent)
{
    return withIcon(label, style, size, icon, Gravity::leading, std::move(action), parent);
}

Button *Button::withTrailingIcon(const QString &label, Style style, Size size, const QImage &icon, Action action,
                                 QWidget *parent)
{
    return withIcon(label, style, size, icon, Gravity::trailing, std::move(action), parent);
}

Button *Button::buttonWithLabel(const QString &label, int style, int size, Action action, QWidget *parent)
{
    return new Button(label, checkedFromRaw<Style>(style), checkedFromRaw<Size>(size), std::move(action), parent);
}

Button *Button::buttonWithLabel(const QString &label, int style, int size, const QImage &icon, bool leading,
                                Action action, QWidget *parent)
{
    return leading ? withLeadingIcon(label, checkedFromRaw<Style>(style), checkedFromRaw<Size>(size), icon,
                                     std::move(action), parent)
                   : withTrailingIcon(label, checkedFromRaw<Style>(style), checkedFromRaw<Size>(size), icon,
                                      std::move(action), parent);
}

QString Button::label() const
{
    return d->label.get();
}

void Button::setLabel(const QString &label)
{
    if (d->label.set(label))
        updateGeometry();
}

Button::Style Button::style() const
{
    return d->style.get();
}

void Button::setStyle(Style style)
{
    if (d->style.set(style))
        updateColors();
}

Button::Size Button::size() const
{
    return d->size;
}

QImage Button::image() const
{
    return d->image;
}

void Button::setImage(const QImage &image)
{
    d->image = image;
    d->tinted = QImage();
    updateGeometry();
    update();
}

bool Button::tintImage() const
{
    return d->tintImage.get();
}

void Button::setTintImage(bool tint)
{
    d->tintImage.set(tint);
}

Gravity Button::imageGravity() const
{
    return d->imageGravity;
}

void Button::setImageGravity(Gravity gravity)
{
    d->imageGravity = gravity == Gravity::trailing ? Gravity::trailing : Gravity::leading;
    update();
}

void Button::setCustomBorderColor(ColorPtr color)
{
    d->customBorder = std::move(color);
    updateColors();
}

void Button::setCustomHoveredBorderColor(ColorPtr color)
{
    d->customHoveredBorder = std::move(color);
    updateColors();
}

void Button::setCustomClickedBorderColor(ColorPtr color)
{
    d->customClickedBorder = std::move(color);
    updateColors();
}

void Button::setButtonHeightToZero(bool zero)
{
    if (d->heightToZero == zero)
        return;
    d->heightToZero = zero;
    updateGeometry();
}

bool Button::layoutUpdateHeightToZero() const
{
    return d->heightToZero;
}

void Button::updateColors()
{
    const auto index = static_cast<std::size_t>(style());
    const Background &bg = kBackgrounds[index];
    const bool enabled = isEnabled();
    const bool inverted = isInverted();
    const ColorPtr normal = inverted && bg.clearWhenInverted ? Color::kalvoClear() : bg.normal();
    const ColorPtr disabled = inverted && bg.clearWhenInverted ? Color::kalvoClear() : bg.disabled();
    // A disabled button answers its disabled background in every state.
    setBackgroundColor(enabled ? normal : disabled);
    setHoveredBackgroundColor(enabled ? bg.hovered() : disabled);
    setClickedBackgroundColor(enabled ? bg.pressed() : disabled);

    ColorPtr border;
    if (d->customBorder)
        border = d->customBorder;
    else if (inverted)
        border = Color::inverseGlobalDefault();
    else if (style() == Style::secondary)
        border = enabled ? Color::borderNeutral() : Color::subtleDisabled();
    else if (style() == Style::secondaryDestructive)
        border = enabled ? Color::borderError() : Color::subtleDisabled();
    else
        border = Color::kalvoClear();
    setBorderColor(border);
    setHoveredBorderColor(d->customHoveredBorder);
    setClickedBorderColor(d->customClickedBorder);
}

ColorPtr Button::titleColor() const
{
    if (isInverted())
        return Color::inverseGlobalDefault();
    const TitleColors &title = kTitles[static_cast<std::size_t>(style())];
    if (!isEnabled())
        return title.disabled();
    return cursorState() == CursorState::normal ? title.normal() : title.active();
}

QSize Button::sizeHint() const
{
    const Metrics m = metrics(d->size);
    int width = 2 * m.insetLeftRight;
    const QString title = label();
    if (!title.isEmpty())
        width += static_cast<int>(std::ceil(d->advance(fontWithTypograph(titleTypograph(d->size)), title))) +
                 2 * kTitleAlignmentInset;
    if (!d->image.isNull())
        width += m.iconSize + (title.isEmpty() ? 4 : 4 + kTitleAlignmentInset);
    return QSize(std::max(width, m.minimumWidth), d->heightToZero ? 0 : m.height);
}

bool Button::event(QEvent *event)
{
    // A button nobody has sized takes its intrinsic size; a layout sizes
    // it again afterwards.
    if (event->type() == QEvent::Polish && !testAttribute(Qt::WA_Resized))
        resize(sizeHint());
    return BaseButton::event(event);
}

QSize Button::minimumSizeHint() const
{
    const Metrics m = metrics(d->size);
    return QSize(m.minimumWidth, d->heightToZero ? 0 : m.height);
}

void Button::paintContent(QPainter &painter)
{
    const Metrics m = metrics(d->size);
    const QColor color = titleColor()->resolved();
    const QRectF content = QRectF(rect()).adjusted(m.insetLeftRight, 0, -m.insetLeftRight, 0);
    const double busy = progressOpacity();

    painter.save();
    if (busy > 0)
        painter.setOpacity(1.0 - busy);
    const QString title = label();
    const bool hasImage = !d->image.isNull();
    const QFont font = fontWithTypograph(titleTypograph(d->size));
    const qreal spacing = hasImage ? (title.isEmpty() ? 4 : 4 + kTitleAlignmentInset) : 0;
    const qreal iconWidth = hasImage ? m.iconSize : 0;
    const qreal available = std::max<qreal>(0, content.width() - iconWidth - spacing - 2 * kTitleAlignmentInset);
    const QStaticText *shown = title.isEmpty() ? nullptr : &d->shown(font, title, available);
    if (shown && shown->text().isEmpty())
        shown = nullptr;
    const qreal titleWidth = shown ? d->shownWidth + 2 * kTitleAlignmentInset : 0;
    const qreal total = iconWidth + spacing + titleWidth;
    qreal x = content.left() + std::max<qreal>(0, (content.width() - total) / 2);
    const bool trailing = d->imageGravity == Gravity::trailing;

    auto drawIcon = [&](qreal at) {
        const QRectF target(at, (height() - m.iconSize) / 2.0, m.iconSize, m.iconSize);
        QImage icon = d->image;
        if (d->tintImage.get()) {
            if (d->tinted.isNull() || d->tintedWith != color.rgba()) {
                d->tinted = tintedImage(d->image, color);
                d->tintedWith = color.rgba();
            }
            icon = d->tinted;
        }
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(target, icon);
    };
    if (hasImage && !trailing) {
        drawIcon(x);
        x += iconWidth + spacing;
    }
    if (shown) {
        painter.setFont(font);
        painter.setPen(color);
        // Centred on the line box, as a single-line label centres it.
        const qreal top = (height() - d->lineHeight) / 2;
        painter.drawStaticText(QPointF(x + kTitleAlignmentInset, top), *shown);
        x += titleWidth + spacing;
    }
    if (hasImage && trailing)
        drawIcon(x);
    painter.restore();

    if (busy > 0) {
        const qreal side = std::max<qreal>(m.iconSize, height() * 0.45);
        paintProgress(painter, QRectF(0, 0, side, side).translated(rect().center() - QPointF(side / 2, side / 2)), color);
    }
    if (showDot())
        paintDot(painter, QPointF(width() - kDotInset - kDotDiameter / 2, kDotInset + kDotDiameter / 2), kDotDiameter);
}

} // namespace kalvo
