// View: the base widget of every Kalvo control.
//
// A View keeps a pointer-interaction state (CursorState: normal, hovered,
// pressed), paints its background and border from Color tokens chosen by
// that state (resolved at paint time under its appearance and theme),
// rounds its corners, shows its tool tip 0.5 s after the pointer settles on
// it, and offers key callbacks. InteractableView adds enabling, focus and
// popovers.
//
// Pointer rules (state × event -> state):
//
//   any      entered (tracking area)      -> hovered
//   any      exited  (tracking area)      -> normal
//   any      press inside interactionRect -> pressed      (outside: normal)
//   pressed  release inside the rect      -> hovered      (outside: normal)
//
// With forbidInteraction set, pointer events pass through unchanged.
// Entered/exited are only seen while the view has a tracking area: it needs
// one when requiresTracking() (a state-change callback, an explicit request,
// or on InteractableView a popover) and tracking is not forbidden.
//
// Painting: with a pigment the pigment is painted; otherwise the background
// (highlight, else by state: pressed → clicked, hovered → hovered, each when
// set, else the plain background) and the border (the same rules) inside a
// rounded rectangle whose radius is min(max(cornerRadius, 0), round(0.5 ×
// shorter side)) — a radius above half the short side makes a capsule.
//
// All delays go through kalvo::asyncAfter, so tests drive them with a
// ManualClock. Main thread only.
#pragma once

#include <kalvo/foundation/cursorstate.h>
#include <kalvo/foundation/tooltip.h>
#include <kalvo/theme/color.h>
#include <kalvo/theme/pigment.h>

#include <QImage>
#include <QPainterPath>
#include <QWidget>

#include <functional>
#include <map>
#include <memory>
#include <optional>

QT_BEGIN_NAMESPACE
class QKeyEvent;
QT_END_NAMESPACE

namespace kalvo {

class OverlayPanel;
class ObservationStore;

class KALVO_EXPORT View : public QWidget, public CursorStateProvider
{
    Q_OBJECT

public:
    // Tracking-area options (as a platform would spell them).
    static constexpr unsigned kTrackingMouseEnteredAndExited = 0x01;
    static constexpr unsigned kTrackingActiveAlways = 0x80;
    static constexpr unsigned kTrackingInVisibleRect = 0x200;

    struct TrackingArea
    {
        QRectF rect;
        unsigned options = 0;
    };

    explicit View(QWidget *parent = nullptr);
    ~View() override;

    // ---- Pointer state ----

    // The provider's state when bound to one, else the binding's, else its own.
    CursorState cursorState() const override;
    // Runs the state change with no location.
    virtual void setCursorState(CursorState state);
    // The state change of a pointer event at a window location.
    void setCursorState(CursorState state, std::optional<QPointF> windowLocation);

    bool forbidInteraction() const;
    void setForbidInteraction(bool forbid);
    void forbidInteractionInSubtree();
    void enableInteractionInSubtree();
    // The part of the view that reacts to the pointer, in view coordinates;
    // nothing means the bounds.
    virtual std::optional<QRectF> interactionRect() const;
    // Mouse presses and releases also go on to the parent when set.
    bool propagatesKeyEvents() const;
    void setPropagatesKeyEvents(bool propagate);

    using StateCallback = std::function<void(View &, CursorState oldState, CursorState newState)>;
    void setCursorStateDidChange(StateCallback callback);

    // ---- Following another view's state ----

    // A binding this view pushes its state to; register it on a follower
    // with setCursorStateBinding().
    std::shared_ptr<CursorStateBinding> makeCursorStateBinding();
    const std::map<const void *, std::shared_ptr<CursorStateBinding>> &cursorStateBindings() const;
    std::shared_ptr<CursorStateBinding> cursorStateBinding() const;
    void setCursorStateBinding(std::shared_ptr<CursorStateBinding> binding);
    // Mirror `provider`'s state (read through, redrawn when it changes).
    void bind(View *provider);
    void removeBinding();
    View *cursorStateProvider() const;

    // ---- Tracking ----

    virtual bool requiresTracking() const;
    void setRequiresTracking(bool required);
    bool forbidTracking() const;
    void setForbidTracking(bool forbid);
    const std::optional<TrackingArea> &trackingArea() const;
    // Installs the tracking area when one is needed and missing.
    virtual void updateTrackingAreas();

    // ---- Painting ----

    const std::optional<TNPigment> &pigment() const;
    void setPigment(std::optional<TNPigment> pigment);

    ColorPtr backgroundColor() const;
    void setBackgroundColor(ColorPtr color);
    ColorPtr hoveredBackgroundColor() const;
    void setHoveredBackgroundColor(ColorPtr color);
    ColorPtr clickedBackgroundColor() const;
    void setClickedBackgroundColor(ColorPtr color);
    ColorPtr highlightedBackgroundColor() const;
    void setHighlightedBackgroundColor(ColorPtr color);
    ColorPtr borderColor() const;
    void setBorderColor(ColorPtr color);
    ColorPtr hoveredBorderColor() const;
    void setHoveredBorderColor(ColorPtr color);
    ColorPtr clickedBorderColor() const;
    void setClickedBorderColor(ColorPtr color);
    ColorPtr highlightedBorderColor() const;
    void setHighlightedBorderColor(ColorPtr color);

    qreal cornerRadius() const;
    void setCornerRadius(qreal radius);
    qreal borderWidth() const;
    void setBorderWidth(qreal width);
    // The radius painted for the current size (the capsule rule).
    qreal effectiveCornerRadius() const;
    // The colours painted for the current state (null: nothing).
    ColorPtr currentBackgroundColor() const;
    ColorPtr currentBorderColor() const;

    // Animate colour changes while visible (off by default).
    bool enableAnimation() const;
    void setEnableAnimation(bool enable);
    bool suppressNextLayerAnimation() const;
    void setSuppressNextLayerAnimation(bool suppress);
    static constexpr double kColorAnimationDuration = 0.25;

    // Shows `background` and `border` over every state colour for `seconds`;
    // a second call restarts the time. Nothing for two null colours or a
    // duration that is not positive.
    void highlight(ColorPtr background, ColorPtr border, double seconds);
    void highlightWithBackgroundColor(ColorPtr background, ColorPtr border, double seconds)
    {
        highlight(std::move(background), std::move(border), seconds);
    }

    // ---- Tool tips ----

    std::shared_ptr<ToolTip> toolTipModel() const;
    void setToolTipModel(std::shared_ptr<ToolTip> model);
    // Convenience: a tool tip with this label (and shortcut key).
    void setToolTipLabel(const QString &label, std::optional<QString> key = std::nullopt);
    // Convenience: the text shown while the view is disabled.
    void setDisableToolTip(const QString &disableLabel);
    // Seconds from hover to tool tip (0.5).
    double toolTipDelay() const;
    void setToolTipDelay(double seconds);
    void showToolTip();
    void dismissToolTip();
    bool isToolTipScheduled() const;
    std::shared_ptr<OverlayPanel> toolTipPanel() const;

    // ---- Keys and other callbacks ----

    using KeyCallback = std::function<void(View &, QKeyEvent &)>;
    void setOnKeyDown(KeyCallback callback);
    void setOnKeyUp(KeyCallback callback);
    // The enclosing scroll area scrolled.
    void setScrollContentViewBoundsDidChange(std::function<void(View &)> callback);
    // The view moved into another window (or out of one: null).
    void setOnViewWillMoveToWindow(std::function<void(View &, QWidget *window)> callback);

    // ---- Miscellany ----

    std::optional<bool> mouseDownCanMoveWindowOverride() const;
    void setMouseDownCanMoveWindow(bool canMove);
    bool mouseDownCanMoveWindow() const;
    std::optional<QSizeF> intrinsicContentSizeOverride() const;
    void setIntrinsicContentSize(std::optional<QSizeF> size);
    void setIntrinsicContentSizeOverride(std::optional<QSizeF> size) { setIntrinsicContentSize(size); }
    QSize sizeHint() const override;
    QPointF centerPoint() const;
    QImage imageRepresentation();
    bool isScrollClipped() const;
    QPointF lastClipViewOffset() const;

    // Whether the view counts as enabled (always, for a plain View).
    virtual bool isViewEnabled() const { return true; }

protected:
    // Called before and after every change of state.
    virtual void cursorStateWillChange(CursorState to, std::optional<QPointF> at);
    virtual void cursorStateChanged(CursorState to, std::optional<QPointF> at);
    // Whether pointer events change the state (not with forbidInteraction).
    virtual bool reactsToPointer() const;
    // The outline used for the focus ring; by default the rounded bounds.
    virtual QPainterPath focusRingPath() const;
    // Paints the background and border (or the pigment).
    virtual void paintBackground(QPainter &painter);
    // Paints what lies on the background; runs inside the view's drawing
    // appearance, so colours resolve for this view. Empty by default.
    virtual void paintContent(QPainter &painter);
    // Something that decides focus or pointer handling changed
    // (forbidInteraction, the tool tip, visibility).
    virtual void interactionConfigurationChanged() {}

    // Calls the onKeyDown callback; false when the view did not survive it.
    bool runKeyDownCallback(QKeyEvent &event);

    // Runs the state change from `oldState` (the bindings use it).
    void runStateChange(CursorState oldState, CursorState newState, std::optional<QPointF> at);
    void cancelToolTipTask();

    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    bool handleButton(QMouseEvent *event, CursorState inside);
    void pointerEntered(const QPointF &windowLocation);
    void pointerExited();
    void observeEnclosingScrollArea();
    void invalidateDrawingState();
    friend class CursorStateBinding;
    friend class InteractableView;

    struct Private;
    std::unique_ptr<Private> d;
};

using KTNView = View;

} // namespace kalvo
