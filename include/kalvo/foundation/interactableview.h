// InteractableView: a View that can be enabled or disabled, takes keyboard
// focus, and opens a popover on hover or focus. Every control is one.
//
// Enabled is the control's own state (setEnabled here, not QWidget's); a
// widget disabled through Qt (a disabled parent) counts as disabled too. A
// disabled view ignores the pointer and focus, except when its tool tip has
// a disable label: then it still hovers and can be focused, so the reason
// for being disabled can be read.
//
// Focus: acceptsFirstResponder() (clicks) and canBecomeKeyView() (Tab, only
// while keyboard navigation is on, KalvoCore) become the Qt focus policy.
// Focused views draw a focus ring outside their outline, grown by
// focusRingSpacing() when usesOffsetFocusRing().
//
// Keys: Tab without Shift moves into a visible popover that can take focus;
// Escape closes the tool tip and the popover and still reaches the parent.
#pragma once

#include <kalvo/foundation/dirtying.h>
#include <kalvo/foundation/view.h>

#include <QAccessible>

#include <functional>
#include <memory>

namespace kalvo {

class PopoverModel;

class KALVO_EXPORT InteractableView : public View
{
    Q_OBJECT

public:
    enum class FocusRingType { none = 1, exterior = 2 };

    explicit InteractableView(QWidget *parent = nullptr);
    ~InteractableView() override;

    // ---- Enabled ----
    // The control's enabled state and Qt's (see the header comment).
    bool isEnabled() const;
    void setEnabled(bool enabled);
    bool isViewEnabled() const override { return isEnabled(); }

    // ---- Popover ----
    std::shared_ptr<PopoverModel> popoverModel() const;
    void setPopoverModel(std::shared_ptr<PopoverModel> model);
    std::shared_ptr<OverlayPanel> popoverPanel() const;
    bool canShowPopover() const;
    bool isPopoverVisible() const;
    bool needsPanelToBecomeKey() const;
    bool isPopoverOpening() const;
    // Shows the popover now, or after the model's delay.
    void showPopover(bool immediately);
    // Cancels a pending show and closes the popover; without force it stays
    // open while the pointer is over it.
    void dismissPopover(bool force);

    using ViewCallback = std::function<void(InteractableView &)>;
    void setOnPopoverWillShow(ViewCallback callback);
    void setOnPopoverDidShow(ViewCallback callback);
    void setOnPopoverWillDismiss(ViewCallback callback);
    void setOnPopoverDidDismiss(ViewCallback callback);
    void setOnPopoverMouseEnter(ViewCallback callback);
    void setOnPopoverMouseExit(ViewCallback callback);
    // For popover presenters: the pointer entered or left the popover.
    void popoverMouseEntered();
    void popoverMouseExited();

    // ---- Focus ----
    bool acceptsFirstResponder() const;
    bool canBecomeKeyView() const;
    FocusRingType focusRingType() const;
    qreal focusRingSpacing() const;
    void setFocusRingSpacing(qreal spacing);
    bool usesOffsetFocusRing() const;
    void setUsesOffsetFocusRing(bool offset);
    // The bounds, grown by the spacing when the ring is offset.
    QRectF focusRingMaskBounds() const;
    // Takes keyboard focus when it accepts it; true when it has it.
    bool becomeFirstResponder();
    void setOnFirstResponderStateChange(std::function<void(InteractableView &, bool focused)> callback);

    // A popover needs the pointer tracked too.
    bool requiresTracking() const override;

    // ---- Accessibility ----
    // What assistive technologies see: the role, the name (the widget's
    // accessible name by default) and the press action, for controls that
    // can be pressed.
    virtual QAccessible::Role accessibilityRole() const { return QAccessible::Client; }
    virtual QString accessibilityTitle() const { return accessibleName(); }
    virtual bool isAccessibilityPressable() const { return accessibilityRole() == QAccessible::Button; }
    virtual void accessibilityPress() {}

    // Entering normal through the public setter also dismisses the popover.
    void setCursorState(CursorState state) override;
    using View::setCursorState;

protected:
    virtual void willShowPopover() {}
    virtual void didShowPopover() {}
    virtual void willDismissPopover() {}
    virtual void didDismissPopover() {}

    // The key rules; answers whether the event was consumed.
    virtual bool handleKeyDown(QKeyEvent &event);

    void cursorStateChanged(CursorState to, std::optional<QPointF> at) override;
    bool reactsToPointer() const override;
    void interactionConfigurationChanged() override;

    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void changeEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void updateFocusPolicy();
    void presentPopover();
    void updateFocusRing();
    friend class FocusRing;

    struct Private;
    std::unique_ptr<Private> d;
};

using KTNInteractableView = InteractableView;

// Offered every key-down first while the view is enabled and interaction is
// allowed; answers whether it consumed the event.
class KALVO_EXPORT KeyDownHandler
{
public:
    virtual ~KeyDownHandler();
    virtual bool handleKeyDown(QKeyEvent &event) = 0;
};

class KALVO_EXPORT _KeyDownHandler_InteractableView : public InteractableView
{
    Q_OBJECT

public:
    using InteractableView::InteractableView;
    void setHandler(std::weak_ptr<KeyDownHandler> handler) { m_handler = std::move(handler); }
    std::shared_ptr<KeyDownHandler> handler() const { return m_handler.lock(); }

protected:
    bool handleKeyDown(QKeyEvent &event) override;

private:
    std::weak_ptr<KeyDownHandler> m_handler;
};

} // namespace kalvo
