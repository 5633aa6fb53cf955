// The push buttons.
//
//   auto *save = new kalvo::Button(tr("Save"), Button::Style::primary, Button::Size::medium,
//                                  [](kalvo::BaseButton &) { save(); }, parent);
//
// BaseButton holds what every button shares: the action, the click and key
// rules, the progress state, inversion, a notification dot and a key
// equivalent. Button adds the title, an optional leading or trailing icon,
// and the style and size tables.
//
// Click rules: a press inside runs nothing (unless runActionOnMouseDown);
// the action runs on a release over the button, after which the button
// returns to normal. Return and Space run the action; Escape closes a
// visible popover or tool tip. A disabled, forbidden or busy (progress)
// button ignores clicks and activation keys.
//
// Colours come from tokens by style, state and inversion, resolved when
// painted; size fixes the metrics. Main thread only.
#pragma once

#include <kalvo/foundation/interactableview.h>
#include <kalvo/foundation/sharedtypes.h>

#include <QCursor>
#include <QImage>
#include <QPointer>

#include <functional>
#include <memory>
#include <optional>

QT_BEGIN_NAMESPACE
class QShortcut;
QT_END_NAMESPACE

namespace kalvo {

class BaseButton;
class Button;

// Sees every key-down before the button handles it.
class KALVO_EXPORT KTNButtonDelegate
{
public:
    virtual ~KTNButtonDelegate();
    virtual void buttonKeyDownWith(BaseButton &button, const QKeyEvent &event);
};

class KALVO_EXPORT BaseButton : public InteractableView
{
    Q_OBJECT

public:
    using Action = std::function<void(BaseButton &)>;

    explicit BaseButton(QWidget *parent = nullptr);
    ~BaseButton() override;

    Action action() const;
    void setAction(Action action);
    // Runs the action as a click would (whatever the state).
    void performClick();

    bool runActionOnMouseDown() const;
    void setRunActionOnMouseDown(bool run);
    // When set, showProgressIndicator()/hideProgressIndicator() called on
    // another thread are applied on the main thread (soon, in order);
    // otherwise such calls are refused with a warning.
    bool refreshStatusInUIThread() const;
    void setRefreshStatusInUIThread(bool refresh);
    bool hasPreviousMouseDown() const;

    bool isInverted() const;
    void setInverted(bool inverted);
    void invert() { setInverted(!isInverted()); }

    bool showDot() const;
    void setShowDot(bool show);
    int buttonTag() const;
    void setButtonTag(int tag);

    std::shared_ptr<KTNButtonDelegate> delegate() const;
    void setDelegate(std::weak_ptr<KTNButtonDelegate> delegate);

    // Pressing the key equivalent (with exactly these modifiers, in event
    // flag convention) anywhere in the button's window clicks the button.
    // "\r" is Return, "\x1b" Escape, " " Space; other text is that key.
    QString keyEquivalent() const;
    void setKeyEquivalent(const QString &key);
    unsigned keyEquivalentModifierMask() const;
    void setKeyEquivalentModifierMask(unsigned mask);

    bool updatesCursorOnHover() const;
    void setUpdatesCursorOnHover(bool update);
    std::optional<QCursor> hoverCursor() const;
    void setHoverCursor(std::optional<QCursor> cursor);
    std::optional<QCursor> pushedCursor() const;
    void setPushedCursor(std::optional<QCursor> cursor);

    // ---- Progress ----
    void showProgressIndicator();
    void hideProgressIndicator();
    bool isShowingProgressIndicator() const;
    // 0 while idle, rising to 1 over the 0.2 s after showProgressIndicator().
    double progressOpacity() const;
    static constexpr double kProgressAnimationDuration = 0.2;

    // ---- Accessibility ----
    QString accessibilityTitle() const override;
    void setAccessibilityTitle(const QString &title);
    QAccessible::Role accessibilityRole() const override { return QAccessible::Button; }
    void accessibilityPress() override { performClick(); }

protected:
    // Whether clicks and activation keys count now.
    bool acceptsActivation() const;
    // The title when there is one, for accessibility.
    virtual QString defaultAccessibilityTitle() const { return {}; }
    // An icon button runs its action only after a press on itself.
    virtual bool requiresPreviousMouseDown() const { return false; }
    // Runs the action; CustomButton replaces it.
    virtual void runAction();
    // The enabled/inverted/style inputs of the colours changed.
    virtual void updateColors() {}

    void paintProgress(QPainter &painter, const QRectF &area, const QColor &color);
    void paintDot(QPainter &painter, const QPointF &center, qreal diameter);

    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    bool handleKeyDown(QKeyEvent &event) override;
    void interactionConfigurationChanged() override;
    void cursorStateChanged(CursorState to, std::optional<QPointF> at) override;

private:
    void activateFromInput();
    bool onMainThreadOrForwarded(void (BaseButton::*method)());
    void rebuildShortcut();
    void progressTick();

    struct Private;
    std::unique_ptr<Private> d;
};

using KTNBaseButton = BaseButton;

class KALVO_EXPORT Button : public BaseButton
{
    Q_OBJECT

public:
    enum class Style : int {
        primary = 0,
        secondary = 1,
        tertiary = 2,
        primaryDestructive = 3,
        secondaryDestructive = 4,
        tertiaryDestructive = 5,
    };
    enum class Size : int { small = 0, medium = 1, large = 2, extraLarge = 3 };

    struct Metrics
    {
        int height;
        int minimumWidth;
        qreal cornerRadius;
        int titleFontSize;
        int insetTop, insetBottom, insetLeftRight;
        int iconSize;
    };
    static Metrics metrics(Size size);
    // Between icon and title: 4 plus the title's alignment inset (4 alone).
    static constexpr int kTitleAlignmentInset = 2;
    static constexpr qreal kFocusRingSpacing = 2.0;

    Button(const QString &label, Style style, Size size, Action action, QWidget *parent = nullptr);
    ~Button() override;
    static Button *withLeadingIcon(const QString &label, Style style, Size size, const QImage &icon, Action action,
                                   QWidget *parent = nullptr);
    static Button *withTrailingIcon(const QString &label, Style style, Size size, const QImage &icon, Action action,
                                    QWidget *parent = nullptr);
    // The older kit's names.
    static Button *buttonWithLabel(const QString &label, int style, int size, Action action, QWidget *parent = nullptr);
    static Button *buttonWithLabel(const QString &label, int style, int size, const QImage &icon, bool leading,
                                   Action action, QWidget *parent = nullptr);

    QString label() const;
    void setLabel(const QString &label);
    QString title() const { return label(); }
    void setTitle(const QString &title) { setLabel(title); }
    void updateButtonTitle(const QString &title) { setLabel(title); }

    Style style() const;
    void setStyle(Style style);
    void updateButtonStyle(Style style) { setStyle(style); }
    Size size() const;

    QImage image() const;
    void setImage(const QImage &image);
    bool tintImage() const;
    void setTintImage(bool tint);
    Gravity imageGravity() const;
    void setImageGravity(Gravity gravity);

    // Colours that replace the border rules when set.
    void setCustomBorderColor(ColorPtr color);
    void setCustomHoveredBorderColor(ColorPtr color);
    void setCustomClickedBorderColor(ColorPtr color);

    // The focus ring's distance outside the bounds (2).
    qreal focusRingMargin() const { return focusRingSpacing(); }
    void setFocusRingMargin(qreal margin) { setFocusRingSpacing(margin); }

    void setButtonHeightToZero(bool zero);
    bool layoutUpdateHeightToZero() const;

    // The title colour for the current state (tinted icons use it too).
    ColorPtr titleColor() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    QString defaultAccessibilityTitle() const override { return label(); }
    void updateColors() override;
    void paintContent(QPainter &painter) override;
    bool event(QEvent *event) override;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

using KTNButton = Button;

template <>
struct EnumTraits<Button::Style>
{
    static constexpr const char *name = "Button.Style";
    static constexpr std::array rows{
        EnumRow<Button::Style>{Button::Style::primary, "Primary", ".primary"},
        EnumRow<Button::Style>{Button::Style::secondary, "Secondary", ".secondary"},
        EnumRow<Button::Style>{Button::Style::tertiary, "Tertiary", ".tertiary"},
        EnumRow<Button::Style>{Button::Style::primaryDestructive, "Destructive Primary", ".primaryDestructive"},
        EnumRow<Button::Style>{Button::Style::secondaryDestructive, "Destructive Secondary", ".secondaryDestructive"},
        EnumRow<Button::Style>{Button::Style::tertiaryDestructive, "Destructive Tertiary", ".tertiaryDestructive"},
    };
};

template <>
struct EnumTraits<Button::Size>
{
    static constexpr const char *name = "Button.Size";
    static constexpr std::array rows{
        EnumRow<Button::Size>{Button::Size::small, "Small", ".small"},
        EnumRow<Button::Size>{Button::Size::medium, "Medium", ".medium"},
        EnumRow<Button::Size>{Button::Size::large, "Large", ".large"},
        EnumRow<Button::Size>{Button::Size::extraLarge, "Extra large", ".extraLarge"},
    };
};

// An image tinted with a colour (its alpha kept), for monochrome icons.
KALVO_EXPORT QImage tintedImage(const QImage &image, const QColor &color);

} // namespace kalvo
