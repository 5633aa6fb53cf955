// The button family: every style in every state (forced, so screenshots
// show them), the four sizes, icons, inversion on a dark surface, icon
// buttons with dots, a busy button and the smaller members. Everything is
// live: hover, press, Tab and Space work as in an application.
#include "gallery_page.h"

#include <kalvo/components/button.h>
#include <kalvo/components/buttonvariants.h>
#include <kalvo/components/iconbutton.h>
#include <kalvo/foundation/typography.h>

#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>

namespace gallery {

namespace {

using kalvo::Button;
using kalvo::IconButton;

// Monochrome glyphs drawn here so the page needs no icon files; the
// buttons tint them.
enum class Glyph { plus, camera, microphone, chevron, share };

QImage glyph(Glyph kind, int side = 40)
{
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(side / 20.0, side / 20.0);
    QPen pen(Qt::black, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    switch (kind) {
    case Glyph::plus:
        p.drawLine(QPointF(10, 3), QPointF(10, 17));
        p.drawLine(QPointF(3, 10), QPointF(17, 10));
        break;
    case Glyph::camera: {
        p.drawRoundedRect(QRectF(2, 5.5, 11, 9), 2, 2);
        QPainterPath lens;
        lens.moveTo(13, 9);
        lens.lineTo(18, 6);
        lens.lineTo(18, 14);
        lens.lineTo(13, 11);
        p.drawPath(lens);
        break;
    }
    case Glyph::microphone:
        p.drawRoundedRect(QRectF(7, 2, 6, 10), 3, 3);
        p.drawArc(QRectF(4, 5, 12, 10), 180 * 16, 180 * 16);
        p.drawLine(QPointF(10, 15), QPointF(10, 18));
        break;
    case Glyph::chevron:
        p.drawPolyline(QPolygonF({QPointF(5, 8), QPointF(10, 13), QPointF(15, 8)}));
        break;
    case Glyph::share: {
        p.drawRoundedRect(QRectF(2.5, 4, 15, 11), 2, 2);
        p.drawLine(QPointF(10, 12), QPointF(10, 7));
        p.drawPolyline(QPolygonF({QPointF(7.5, 9), QPointF(10, 6.5), QPointF(12.5, 9)}));
        break;
    }
    }
    return image;
}

QLabel *caption(const QString &text)
{
    auto *label = new QLabel(text);
    label->setFont(kalvo::fontWithTypograph(kalvo::Typograph::regular12));
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

// A dark strip like the meeting window's video area, where inverted
// buttons live.
class DarkSurface : public QWidget
{
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x24, 0x24, 0x28));
        p.drawRoundedRect(QRectF(rect()), 10, 10);
    }
};

} // namespace

QWidget *createButtonsPage(const Look &)
{
    auto *page = new QWidget;
    auto *grid = new QGridLayout(page);
    grid->setContentsMargins(24, 20, 24, 24);
    grid->setHorizontalSpacing(16);
    grid->setVerticalSpacing(12);
    int row = 0;

    auto addRow = [&](const QString &title, const std::vector<QWidget *> &widgets) {
        grid->addWidget(caption(title), row, 0, Qt::AlignLeft | Qt::AlignVCenter);
        int column = 1;
        for (QWidget *widget : widgets)
            grid->addWidget(widget, row, column++, Qt::AlignLeft | Qt::AlignVCenter);
        ++row;
    };

    // Every style in every size, across the states.
    const kalvo::CursorState states[] = {kalvo::CursorState::normal, kalvo::CursorState::hovered,
                                         kalvo::CursorState::pressed};
    for (const auto &size : kalvo::EnumTraits<Button::Size>::rows) {
        auto *heading = new QLabel(QString::fromLatin1(size.description));
        heading->setFont(kalvo::fontWithTypograph(kalvo::Typograph::medium16));
        grid->addWidget(heading, row++, 0, 1, 2, Qt::AlignLeft | Qt::AlignBottom);
        for (const auto &style : kalvo::EnumTraits<Button::Style>::rows) {
            std::vector<QWidget *> widgets;
            for (kalvo::CursorState state : states) {
                auto *button = new Button(kalvo::description(state), style.value, size.value, {});
                button->setCursorState(state);
                widgets.push_back(button);
            }
            auto *disabled = new Button(QStringLiteral("Disabled"), style.value, size.value, {});
            disabled->setEnabled(false);
            widgets.push_back(disabled);
            addRow(QString::fromLatin1(style.description), widgets);
        }
    }

    {
        std::vector<QWidget *> widgets;
        for (const auto &entry : kalvo::EnumTraits<Button::Size>::rows)
            widgets.push_back(Button::withLeadingIcon(QStringLiteral("Share"), Button::Style::secondary, entry.value,
                                                      glyph(Glyph::share), {}));
        addRow(QStringLiteral("Leading icon"), widgets);
    }
    {
        auto *more = Button::withTrailingIcon(QStringLiteral("More"), Button::Style::tertiary, Button::Size::medium,
                                              glyph(Glyph::chevron), {});
        auto *busy = new Button(QStringLiteral("Sending"), Button::Style::primary, Button::Size::medium, {});
        busy->showProgressIndicator();
        auto *dotted = new Button(QStringLiteral("Inbox"), Button::Style::secondary, Button::Size::medium, {});
        dotted->setShowDot(true);
        auto *toggle = new Button(QStringLiteral("Click for busy"), Button::Style::secondary, Button::Size::medium,
                                  [](kalvo::BaseButton &b) {
                                      if (b.isShowingProgressIndicator())
                                          b.hideProgressIndicator();
                                      else
                                          b.showProgressIndicator();
                                  });
        addRow(QStringLiteral("Trailing icon, busy, dot"), {more, busy, dotted, toggle});
    }

    // Inverted buttons on a dark surface.
    {
        auto *surface = new DarkSurface;
        auto *layout = new QHBoxLayout(surface);
        layout->setContentsMargins(16, 12, 16, 12);
        layout->setSpacing(12);
        for (Button::Style style : {Button::Style::primary, Button::Style::secondary, Button::Style::tertiary,
                                    Button::Style::secondaryDestructive}) {
            auto *button = new Button(kalvo::description(style), style, Button::Size::medium, {});
            button->setInverted(true);
            layout->addWidget(button);
        }
        for (IconButton::Style style : {IconButton::Style::overlay, IconButton::Style::dangerOverlay}) {
            auto *icon = new IconButton(glyph(Glyph::microphone), style, IconButton::Size::medium, {});
            layout->addWidget(icon);
        }
        layout->addStretch(1);
        grid->addWidget(caption(QStringLiteral("Inverted")), row, 0, Qt::AlignLeft | Qt::AlignVCenter);
        grid->addWidget(surface, row, 1, 1, 5);
        ++row;
    }

    // Icon buttons: styles, sizes and dots.
    {
        std::vector<QWidget *> widgets;
        for (IconButton::Style style : {IconButton::Style::primary, IconButton::Style::secondary,
                                        IconButton::Style::tertiary, IconButton::Style::dangerPrimary,
                                        IconButton::Style::dangerSecondary, IconButton::Style::dangerTertiary}) {
            auto *icon = new IconButton(glyph(Glyph::camera), style, IconButton::Size::medium, {});
            icon->setToolTip(kalvo::description(style));
            widgets.push_back(icon);
        }
        auto *disabled = new IconButton(glyph(Glyph::camera), IconButton::Style::secondary, IconButton::Size::medium, {});
        disabled->setEnabled(false);
        widgets.push_back(disabled);
        addRow(QStringLiteral("Icon buttons"), widgets);
    }
    {
        std::vector<QWidget *> widgets;
        for (const auto &entry : kalvo::EnumTraits<IconButton::Size>::rows) {
            auto *icon = new IconButton(glyph(Glyph::plus), IconButton::Style::secondary, entry.value, {});
            icon->setShowDot(true);
            widgets.push_back(icon);
        }
        auto *blue = new IconButton(glyph(Glyph::plus), IconButton::Style::tertiary, IconButton::Size::large, {});
        blue->setDotStyle(IconButton::DotStyle::blue);
        blue->setShowDot(true);
        widgets.push_back(blue);
        addRow(QStringLiteral("Sizes and dots"), widgets);
    }

    // The smaller members.
    {
        std::vector<QWidget *> widgets;
        for (const auto &entry : kalvo::EnumTraits<kalvo::IconTextButton::Size>::rows)
            widgets.push_back(new kalvo::IconTextButton(glyph(Glyph::share), QStringLiteral("Share"),
                                                        kalvo::IconTextButton::Style::tertiary, entry.value, {}));
        widgets.push_back(new kalvo::IconTextButton(glyph(Glyph::camera), QStringLiteral("Video"),
                                                    kalvo::IconTextButton::Style::primary,
                                                    kalvo::IconTextButton::Size::medium, {}));
        addRow(QStringLiteral("Icon over text"), widgets);
    }
    {
        auto *help = new kalvo::HelpButton(QStringLiteral("What is this?"), true, {});
        auto *plainHelp = new kalvo::HelpButton(QStringLiteral("Learn more"), false, {});
        auto *text = new kalvo::TextButton32H(QStringLiteral("Skip"), {});
        auto *label = new QLabel(QStringLiteral("Custom content"));
        label->setFont(kalvo::fontWithTypograph(kalvo::Typograph::medium14));
        auto *custom = new kalvo::CustomButton(label, nullptr, QMargins(12, 6, 12, 6));
        custom->setCornerRadius(8);
        custom->setBorderWidth(1);
        custom->setBorderColor(kalvo::Color::borderNeutral());
        custom->setHoveredBackgroundColor(kalvo::Color::subtleNeutralHovered());
        custom->setClickedBackgroundColor(kalvo::Color::subtleNeutralPressed());
        addRow(QStringLiteral("Help, text and custom"), {help, plainHelp, text, custom});
    }

    grid->setColumnStretch(8, 1);
    grid->setRowStretch(row, 1);
    return page;
}

} // namespace gallery
