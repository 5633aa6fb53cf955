#include <kalvo/components/buttonvariants.h>

#include <kalvo/foundation/typography.h>

#include <QFontMetricsF>
#include <QPainter>
#include <QResizeEvent>
#include <QTextDocument>

namespace kalvo {

// ---- IconTextButton ----

namespace {

constexpr std::array<IconTextButton::Metrics, 3> kIconTextMetrics{{
    {6, 9, 48, 12},
    {8, 10, 72, 16},
    {10, 12, 100, 20},
}};

constexpr int kIconTextInset = 6;
constexpr int kIconTextSpacing = 3;

QFont iconTextFont(int pixelSize)
{
    QFont font = fontWithTypograph(Typograph::regular12);
    font.setPixelSize(pixelSize);
    return font;
}

} // namespace

struct IconTextButton::Private
{
    QImage image;
    QImage tinted;
    QRgb tintedWith = 0;
    QString label;
    Style style = Style::secondary;
    Size size = Size::medium;
};

IconTextButton::~IconTextButton() = default;

IconTextButton::Metrics IconTextButton::metrics(Size size)
{
    return kIconTextMetrics[static_cast<std::size_t>(checkedFromRaw<Size>(toRaw(size)))];
}

IconTextButton::IconTextButton(const QImage &icon, const QString &label, Style style, Size size, Action action,
                               QWidget *parent)
    : BaseButton(parent), d(std::make_unique<Private>())
{
    d->image = icon;
    d->label = label;
    d->style = checkedFromRaw<Style>(toRaw(style));
    d->size = checkedFromRaw<Size>(toRaw(size));
    setAction(std::move(action));
    setCornerRadius(metrics(d->size).cornerRadius);
    setBorderWidth(1);
    setUsesOffsetFocusRing(true);
    setFocusRingSpacing(Button::kFocusRingSpacing);
    updateColors();
    resize(sizeHint());
}

QString IconTextButton::label() const
{
    return d->label;
}

void IconTextButton::setLabel(const QString &label)
{
    d->label = label;
    updateGeometry();
    update();
}

QImage IconTextButton::image() const
{
    return d->image;
}

void IconTextButton::setImage(const QImage &image)
{
    d->image = image;
    d->tinted = QImage();
    update();
}

IconTextButton::Style IconTextButton::style() const
{
    return d->style;
}

void IconTextButton::setStyle(Style style)
{
    d->style = style;
    updateColors();
    update();
}

IconTextButton::Size IconTextButton::size() const
{
    return d->size;
}

void IconTextButton::updateColors()
{
    // The three styles share the push button's tables.
    const bool enabled = isEnabled();
    switch (d->style) {
    case Style::primary:
        setBackgroundColor(enabled ? Color::Theme::fillGlobalPrimary() : Color::subtleDisabled());
        setHoveredBackgroundColor(enabled ? Color::Theme::primaryHovered() : Color::subtleDisabled());
        setClickedBackgroundColor(enabled ? Color::Theme::primaryPressed() : Color::subtleDisabled());
        setBorderColor(Color::kalvoClear());
        break;
    case Style::secondary:
        setBackgroundColor(isInverted() ? Color::kalvoClear() : Color::fillDefault());
        setHoveredBackgroundColor(enabled ? Color::subtleNeutralHovered() : backgroundColor());
        setClickedBackgroundColor(enabled ? Color::subtleNeutralPressed() : backgroundColor());
        setBorderColor(isInverted() ? Color::inverseGlobalDefault()
                                    : (enabled ? Color::borderNeutral() : Color::subtleDisabled()));
        break;
    case Style::tertiary:
        setBackgroundColor(Color::kalvoClear());
        setHoveredBackgroundColor(enabled ? Color::subtleNeutralHovered() : Color::kalvoClear());
        setClickedBackgroundColor(enabled ? Color::subtleNeutralPressed() : Color::kalvoClear());
        setBorderColor(Color::kalvoClear());
        break;
    }
}

ColorPtr IconTextButton::contentColor() const
{
    if (isInverted())
        return Color::inverseGlobalDefault();
    if (!isEnabled())
        return Color::disable();
    return d->style == Style::primary ? Color::inverseGlobalDefault() : Color::textStrongerNeutral();
}

QSize IconTextButton::sizeHint() const
{
    const Metrics m = metrics(d->size);
    const QFontMetricsF fm(iconTextFont(m.fontSize));
    const int labelWidth = static_cast<int>(std::ceil(fm.horizontalAdvance(d->label)));
    const int width = std::max(m.minimumWidth, labelWidth + 2 * kIconTextInset);
    const int height = kIconTextInset + m.iconSize + kIconTextSpacing + static_cast<int>(std::ceil(fm.height())) + kIconTextInset;
    return QSize(width, height);
}

void IconTextButton::paintContent(QPainter &painter)
{
    const Metrics m = metrics(d->size);
    const QColor color = contentColor()->resolved();
    const QFont font = iconTextFont(m.fontSize);
    const QFontMetricsF fm(font);
    const qreal block = m.iconSize + kIconTextSpacing + fm.height();
    const qreal top = (height() - block) / 2;
    const double busy = progressOpacity();
    const QRectF iconRect(width() / 2.0 - m.iconSize / 2.0, top, m.iconSize, m.iconSize);
    painter.save();
    painter.setOpacity(1.0 - busy);
    if (!d->image.isNull()) {
        if (d->tinted.isNull() || d->tintedWith != color.rgba()) {
            d->tinted = tintedImage(d->image, color);
            d->tintedWith = color.rgba();
        }
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(iconRect, d->tinted);
    }
    painter.setFont(font);
    painter.setPen(color);
    const QRectF text(kIconTextInset, top + m.iconSize + kIconTextSpacing, width() - 2 * kIconTextInset, fm.height());
    painter.drawText(text, Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine,
                     fm.elidedText(d->label, Qt::ElideMiddle, text.width()));
    painter.restore();
    if (busy > 0)
        paintProgress(painter, iconRect, color);
    if (showDot())
        paintDot(painter, QPointF(iconRect.right() + 1, iconRect.top() + 1), 8);
}

// ---- CustomButton ----

CustomButton::CustomButton(QWidget *content, QWidget *parent, const QMargins &margins)
    : BaseButton(parent), m_content(content), m_margins(margins)
{
    if (m_content) {
        m_content->setParent(this);
        // Clicks belong to the button, whatever the content shows.
        m_content->setAttribute(Qt::WA_TransparentForMouseEvents);
        m_content->show();
    }
    setBackgroundColor(Color::kalvoClear());
    setHoveredBackgroundColor(Color::subtleNeutralHovered());
    setClickedBackgroundColor(Color::subtleNeutralPressed());
    setCornerRadius(8);
    setUsesOffsetFocusRing(true);
    setFocusRingSpacing(Button::kFocusRingSpacing);
    resize(sizeHint());
}

QWidget *CustomButton::contentView() const
{
    return m_content;
}

QSize CustomButton::sizeHint() const
{
    const QSize content = m_content ? m_content->sizeHint().expandedTo(m_content->minimumSizeHint()) : QSize();
    return content.grownBy(m_margins);
}

void CustomButton::performAction()
{
    BaseButton::runAction();
}

void CustomButton::runAction()
{
    if (shouldPerformAction())
        performAction();
}

void CustomButton::resizeEvent(QResizeEvent *event)
{
    BaseButton::resizeEvent(event);
    if (m_content)
        m_content->setGeometry(rect().marginsRemoved(m_margins));
}

// ---- HelpButton ----

namespace {

constexpr int kHelpHeight = 24;
constexpr int kHelpIcon = 16;
constexpr int kHelpSpacing = 4;
constexpr int kHelpInset = 4;

QString plainHelp(const QString &plain, const QString &rich)
{
    if (rich.isEmpty())
        return plain;
    QTextDocument document;
    document.setHtml(rich);
    return document.toPlainText();
}

} // namespace

HelpButton::HelpButton(const QString &helpString, bool needIcon, HelpAction action, QWidget *parent)
    : BaseButton(parent), m_help(helpString), m_needIcon(needIcon), m_action(std::move(action))
{
    setCornerRadius(6);
    setUsesOffsetFocusRing(true);
    setFocusRingSpacing(Button::kFocusRingSpacing);
    updateColors();
    resize(sizeHint());
}

QString HelpButton::helpString() const
{
    return plainHelp(m_help, m_attributedHelp);
}

void HelpButton::setHelpString(const QString &text)
{
    m_help = text;
    updateGeometry();
    update();
}

QString HelpButton::helpAttributedString() const
{
    return m_attributedHelp;
}

void HelpButton::setHelpAttributedString(const QString &html)
{
    m_attributedHelp = html;
    updateGeometry();
    update();
}

bool HelpButton::needIcon() const
{
    return m_needIcon;
}

void HelpButton::setNeedIcon(bool need)
{
    m_needIcon = need;
    updateGeometry();
    update();
}

HelpButton::HelpAction HelpButton::buttonAction() const
{
    return m_action;
}

void HelpButton::setButtonAction(HelpAction action)
{
    m_action = std::move(action);
}

void HelpButton::runAction()
{
    if (m_action) {
        const HelpAction action = m_action;
        action(*this);
        return;
    }
    BaseButton::runAction();
}

void HelpButton::updateColors()
{
    setBackgroundColor(Color::kalvoClear());
    setHoveredBackgroundColor(isEnabled() ? Color::subtlePrimaryHovered() : Color::kalvoClear());
    setClickedBackgroundColor(isEnabled() ? Color::subtlePrimaryPressed() : Color::kalvoClear());
}

QSize HelpButton::sizeHint() const
{
    const QFontMetricsF fm(fontWithTypograph(Typograph::regular12));
    const QString text = helpString();
    int width = 2 * kHelpInset;
    if (m_needIcon)
        width += kHelpIcon;
    if (!text.isEmpty())
        width += (m_needIcon ? kHelpSpacing : 0) + static_cast<int>(std::ceil(fm.horizontalAdvance(text)));
    return QSize(width, kHelpHeight);
}

void HelpButton::paintContent(QPainter &painter)
{
    const QColor color = (isEnabled() ? Color::Theme::textPrimary() : Color::subtlePrimaryDisabled())->resolved();
    qreal x = kHelpInset;
    painter.setRenderHint(QPainter::Antialiasing);
    if (m_needIcon) {
        const QRectF circle(x + 0.75, (height() - kHelpIcon) / 2.0 + 0.75, kHelpIcon - 1.5, kHelpIcon - 1.5);
        painter.setPen(QPen(color, 1.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(circle);
        QFont mark = fontWithTypograph(Typograph::semibold12);
        mark.setPixelSize(11);
        painter.setFont(mark);
        painter.drawText(circle, Qt::AlignCenter, QStringLiteral("?"));
        x += kHelpIcon + kHelpSpacing;
    }
    const QString text = helpString();
    if (!text.isEmpty()) {
        painter.setFont(fontWithTypograph(Typograph::regular12));
        painter.setPen(color);
        const QRectF area(x, 0, width() - x - kHelpInset, height());
        painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                         painter.fontMetrics().elidedText(text, Qt::ElideMiddle, static_cast<int>(area.width())));
    }
}

// ---- TextButton32H ----

TextButton32H::TextButton32H(const QString &label, Action action, QWidget *parent, Style style)
    : Button(label, style, Size::medium, std::move(action), parent)
{
}

QSize TextButton32H::sizeHint() const
{
    // As wide as its title needs, without the medium button's minimum width.
    const Metrics m = metrics(Size::medium);
    const QFontMetricsF fm(fontWithTypograph(Typograph::regular14));
    const int width = 2 * m.insetLeftRight + static_cast<int>(std::ceil(fm.horizontalAdvance(label()))) + 2 * kTitleAlignmentInset;
    return QSize(width, layoutUpdateHeightToZero() ? 0 : 32);
}

} // namespace kalvo
