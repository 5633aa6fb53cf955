// The interaction core: state colours (forced, so screenshots show them),
// the capsule rule, a disabled view, a timed highlight, tool tips and focus
// rings. Every view here is live: hover, press and Tab through them.
#include "gallery_page.h"

#include <kalvo/foundation/interactableview.h>
#include <kalvo/foundation/kalvocore.h>
#include <kalvo/foundation/typography.h>
#include <kalvo/theme/appearance.h>

#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QTimer>

namespace gallery {

namespace {

using kalvo::Color;
using kalvo::ColorPtr;

class DemoView : public kalvo::InteractableView
{
public:
    DemoView(const QString &text, ColorPtr textColor) : m_text(text), m_textColor(std::move(textColor))
    {
        setFixedSize(132, 36);
        setCornerRadius(8);
        setBorderWidth(1);
        setRequiresTracking(true);
    }

protected:
    void paintContent(QPainter &painter) override
    {
        painter.setFont(kalvo::fontWithTypograph(kalvo::Typograph::medium14));
        painter.setPen((isEnabled() ? m_textColor : Color::disable())->resolved());
        painter.drawText(QRectF(rect()), Qt::AlignCenter, m_text);
    }

private:
    QString m_text;
    ColorPtr m_textColor;
};

DemoView *neutral(const QString &text)
{
    auto *view = new DemoView(text, Color::textStrongerNeutral());
    view->setBackgroundColor(Color::fillDefault());
    view->setHoveredBackgroundColor(Color::subtleNeutralHovered());
    view->setClickedBackgroundColor(Color::subtleNeutralPressed());
    view->setBorderColor(Color::borderNeutral());
    view->setHoveredBorderColor(Color::borderStrongNeutral());
    return view;
}

DemoView *primary(const QString &text)
{
    auto *view = new DemoView(text, Color::inverseDefault());
    view->setBackgroundColor(Color::Theme::fillGlobalPrimary());
    view->setHoveredBackgroundColor(Color::Theme::primaryHovered());
    view->setClickedBackgroundColor(Color::Theme::primaryPressed());
    view->setBorderWidth(0);
    return view;
}

QLabel *caption(const QString &text)
{
    auto *label = new QLabel(text);
    label->setFont(kalvo::fontWithTypograph(kalvo::Typograph::regular12));
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

} // namespace

QWidget *createViewsPage(const Look &)
{
    // Focus rings show only while keyboard navigation is on.
    kalvo::KalvoCore::shared().setRequireKeyboardNavigation(true);

    auto *page = new QWidget;
    auto *grid = new QGridLayout(page);
    grid->setContentsMargins(24, 20, 24, 24);
    grid->setHorizontalSpacing(20);
    grid->setVerticalSpacing(16);
    int row = 0;

    auto addRow = [&](const QString &title, std::initializer_list<QWidget *> views) {
        grid->addWidget(caption(title), row, 0, Qt::AlignLeft | Qt::AlignVCenter);
        int column = 1;
        for (QWidget *view : views)
            grid->addWidget(view, row, column++, Qt::AlignLeft | Qt::AlignVCenter);
        ++row;
    };

    const kalvo::CursorState states[] = {kalvo::CursorState::normal, kalvo::CursorState::hovered,
                                         kalvo::CursorState::pressed};
    std::vector<QWidget *> neutrals, primaries;
    for (kalvo::CursorState state : states) {
        DemoView *n = neutral(kalvo::description(state));
        n->setCursorState(state);
        neutrals.push_back(n);
        DemoView *p = primary(kalvo::description(state));
        p->setCursorState(state);
        primaries.push_back(p);
    }
    addRow(QStringLiteral("Neutral states"), {neutrals[0], neutrals[1], neutrals[2]});
    addRow(QStringLiteral("Primary states"), {primaries[0], primaries[1], primaries[2]});

    DemoView *capsule = neutral(QStringLiteral("Capsule"));
    capsule->setCornerRadius(100);
    DemoView *square = neutral(QStringLiteral("Square"));
    square->setCornerRadius(0);
    DemoView *disabled = neutral(QStringLiteral("Disabled"));
    disabled->setEnabled(false);
    disabled->setBackgroundColor(Color::subtleDisabled());
    disabled->setBorderColor(Color::borderSubtleNeutral());
    addRow(QStringLiteral("Shapes and disabled"), {capsule, square, disabled});

    DemoView *highlighted = neutral(QStringLiteral("Highlighted"));
    // Long enough to be seen in a screenshot; hover ends nothing early.
    highlighted->highlight(Color::fillSubtlerPrimary(), Color::borderPrimary(), 24 * 3600);
    DemoView *tip = neutral(QStringLiteral("Tool tip"));
    tip->setToolTipModel(kalvo::ToolTip::toolTip(QStringLiteral("Start recording"), QStringLiteral("R"),
                                                 {kalvo::ModifierKey::command, kalvo::ModifierKey::shift}));
    DemoView *disabledTip = neutral(QStringLiteral("Why disabled?"));
    disabledTip->setEnabled(false);
    disabledTip->setDisableToolTip(QStringLiteral("Only hosts can record"));
    addRow(QStringLiteral("Highlight and tips"), {highlighted, tip, disabledTip});

    DemoView *focused = neutral(QStringLiteral("Focused"));
    DemoView *offset = primary(QStringLiteral("Offset ring"));
    offset->setUsesOffsetFocusRing(true);
    offset->setFocusRingSpacing(3);
    DemoView *plain = neutral(QStringLiteral("Tab to me"));
    addRow(QStringLiteral("Focus rings"), {focused, offset, plain});
    grid->setColumnStretch(4, 1);
    grid->setRowStretch(row, 1);

    // Focus after the window is shown; the offset ring is shown by drawing
    // the second one as its window's focus when the first loses it.
    QTimer::singleShot(0, focused, [focused] { focused->becomeFirstResponder(); });
    return page;
}

} // namespace gallery
