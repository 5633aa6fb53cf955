// ---- Index ----
// FocusRing         the ring drawn outside a focused view
// Accessibility     enabled and focusable as the control sees them
// Enabled           the control's own enabled state
// Popover           hover/focus opening, delay, dismissal
// Focus             acceptsFirstResponder, canBecomeKeyView, focus in/out
// Keys              Tab into the popover, Escape
#include <kalvo/foundation/interactableview.h>

#include <kalvo/foundation/kalvocore.h>
#include <kalvo/foundation/overlays.h>
#include <kalvo/platform/keycodes.h>
#include <kalvo/platform/scheduler.h>
#include <kalvo/theme/appearance.h>

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>

namespace kalvo {

// ---- FocusRing ----

// A sibling drawn over the focused view's place, since a widget cannot paint
// outside itself. It follows the view's geometry and lets the pointer through.
class FocusRing : public QWidget
{
public:
    static constexpr qreal kWidth = 3;

    explicit FocusRing(InteractableView *view) : QWidget(view->parentWidget()), m_view(view)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        setFocusPolicy(Qt::NoFocus);
        view->installEventFilter(this);
        follow();
    }

    void follow()
    {
        if (!m_view || !m_view->parentWidget()) {
            hide();
            return;
        }
        if (parentWidget() != m_view->parentWidget())
            setParent(m_view->parentWidget());
        const QRectF mask = m_view->focusRingMaskBounds();
        const QRectF outer = mask.adjusted(-kWidth, -kWidth, kWidth, kWidth);
        setGeometry(outer.translated(m_view->pos()).toAlignedRect());
        raise();
        show();
        update();
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_view) {
            switch (event->type()) {
            case QEvent::Move:
            case QEvent::Resize:
            case QEvent::ParentChange:
            case QEvent::ZOrderChange:
                follow();
                break;
            case QEvent::Hide:
                hide();
                break;
            default:
                break;
            }
        }
        return false;
    }

    void paintEvent(QPaintEvent *) override
    {
        if (!m_view)
            return;
        const DrawingAppearanceScope scope(m_view);
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF mask = m_view->focusRingMaskBounds();
        const QPointF offset = QPointF(m_view->pos()) - QPointF(pos());
        // The view's own outline, moved to the mask's place and size.
        QPainterPath outline = m_view->focusRingPath();
        const QRectF shape = outline.boundingRect();
        if (!shape.isEmpty() && mask.size() != shape.size()) {
            const qreal grow = (mask.width() - shape.width()) / 2;
            QPainterPathStroker stroker;
            stroker.setWidth(2 * grow);
            stroker.setJoinStyle(Qt::RoundJoin);
            outline = (outline + stroker.createStroke(outline)).simplified();
        }
        outline.translate(offset);
        // Only outside the outline: the ring must not cover the control.
        QPainterPath outside;
        outside.addRect(QRectF(rect()));
        painter.setClipPath(outside.subtracted(outline));
        painter.setPen(QPen(Color::Theme::borderPrimary()->resolved(), 2 * kWidth));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(outline);
    }

private:
    QPointer<InteractableView> m_view;
};

// ---- Accessibility ----

namespace {

class InteractableAccessible : public QAccessibleWidget
{
public:
    explicit InteractableAccessible(InteractableView *view) : QAccessibleWidget(view, view->accessibilityRole()) {}

    InteractableView *view() const { return static_cast<InteractableView *>(widget()); }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.disabled = !view()->isEnabled();
        s.focusable = view()->acceptsFirstResponder();
        s.pressed = view()->cursorState() == CursorState::pressed;
        return s;
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name) {
            const QString title = view()->accessibilityTitle();
            if (!title.isEmpty())
                return title;
        }
        return QAccessibleWidget::text(t);
    }

    QStringList actionNames() const override
    {
        QStringList names = QAccessibleWidget::actionNames();
        if (view()->isAccessibilityPressable() && view()->isEnabled())
            names.prepend(pressAction());
        return names;
    }

    void doAction(const QString &name) override
    {
        if (name == pressAction() && view()->isAccessibilityPressable() && view()->isEnabled())
            view()->accessibilityPress();
        else
            QAccessibleWidget::doAction(name);
    }
};

QAccessibleInterface *accessibleFactory(const QString &, QObject *object)
{
    if (auto *view = qobject_cast<InteractableView *>(object))
        return new InteractableAccessible(view);
    return nullptr;
}

} // namespace

// ---- InteractableView ----

struct InteractableView::Private
{
    explicit Private(InteractableView *q) : enabled(q, true) {}

    Dirtying<bool> enabled;
    std::shared_ptr<PopoverModel> popover;
    std::shared_ptr<OverlayPanel> popoverPanel;
    WorkItem popoverWork;
    bool popoverOpening = false;
    qreal focusRingSpacing = 0;
    bool usesOffsetFocusRing = false;
    std::function<void(InteractableView &, bool)> onFirstResponderStateChange;
    ViewCallback onWillShow, onDidShow, onWillDismiss, onDidDismiss, onMouseEnter, onMouseExit;
    QPointer<FocusRing> focusRing;
    QKeyEvent *tabInFlight = nullptr; // a Tab offered to handleKeyDown from event()
};

InteractableView::InteractableView(QWidget *parent) : View(parent), d(std::make_unique<Private>(this))
{
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(accessibleFactory);
        return true;
    }();
    (void)factoryInstalled;
    connect(&KalvoCore::shared(), &KalvoCore::keyboardNavigationPolicyChanged, this, [this] {
        updateFocusPolicy();
        updateFocusRing();
    });
    updateFocusPolicy();
}

InteractableView::~InteractableView()
{
    d->popoverWork.cancel();
    if (d->popoverPanel)
        d->popoverPanel->dismiss();
    delete d->focusRing;
}

// ---- Enabled ----

bool InteractableView::isEnabled() const
{
    return d->enabled.get() && QWidget::isEnabled();
}

void InteractableView::setEnabled(bool enabled)
{
    if (!d->enabled.set(enabled))
        return;
    QPointer<InteractableView> self(this);
    if (!isEnabled())
        setCursorState(CursorState::normal);
    if (self)
        interactionConfigurationChanged();
}

void InteractableView::changeEvent(QEvent *event)
{
    View::changeEvent(event);
    if (event->type() == QEvent::EnabledChange) {
        QPointer<InteractableView> self(this);
        if (!isEnabled())
            setCursorState(CursorState::normal);
        if (self) {
            interactionConfigurationChanged();
            update();
        }
    }
}

bool InteractableView::requiresTracking() const
{
    return View::requiresTracking() || d->popover != nullptr;
}

void InteractableView::interactionConfigurationChanged()
{
    updateFocusPolicy();
    updateFocusRing();
}

bool InteractableView::reactsToPointer() const
{
    if (!View::reactsToPointer())
        return false;
    if (isEnabled())
        return true;
    const std::shared_ptr<ToolTip> tip = toolTipModel();
    return tip && !tip->disableLabel.isEmpty();
}

// ---- Popover ----

std::shared_ptr<PopoverModel> InteractableView::popoverModel() const
{
    return d->popover;
}

void InteractableView::setPopoverModel(std::shared_ptr<PopoverModel> model)
{
    d->popover = std::move(model);
    updateTrackingAreas();
}

std::shared_ptr<OverlayPanel> InteractableView::popoverPanel() const
{
    return d->popoverPanel;
}

bool InteractableView::canShowPopover() const
{
    return d->popover && isVisible() && !forbidInteraction();
}

bool InteractableView::isPopoverVisible() const
{
    return d->popoverPanel && d->popoverPanel->isVisible();
}

bool InteractableView::needsPanelToBecomeKey() const
{
    return d->popover && d->popover->containsInteractables();
}

bool InteractableView::isPopoverOpening() const
{
    return d->popoverOpening;
}

void InteractableView::showPopover(bool immediately)
{
    if (!canShowPopover() || isPopoverVisible())
        return;
    d->popoverWork.cancel();
    const double delay = d->popover->delay();
    if (immediately || !(delay > 0)) {
        presentPopover();
        return;
    }
    d->popoverOpening = true;
    QPointer<InteractableView> self(this);
    d->popoverWork = asyncAfter(delay, [self] {
        if (self)
            self->presentPopover();
    });
}

void InteractableView::presentPopover()
{
    d->popoverOpening = false;
    d->popoverWork = WorkItem();
    if (!canShowPopover() || isPopoverVisible())
        return;
    QPointer<InteractableView> self(this);
    const std::shared_ptr<PopoverModel> model = d->popover;
    willShowPopover();
    if (d->onWillShow)
        d->onWillShow(*this);
    if (!self)
        return;
    std::shared_ptr<OverlayPanel> panel = OverlayPresenter::current()->showPopover(*this, *model);
    if (!self) {
        if (panel)
            panel->dismiss();
        return;
    }
    d->popoverPanel = std::move(panel);
    if (!d->popoverPanel)
        return;
    didShowPopover();
    if (d->onDidShow)
        d->onDidShow(*this);
}

void InteractableView::dismissPopover(bool force)
{
    d->popoverWork.cancel();
    d->popoverWork = WorkItem();
    d->popoverOpening = false;
    if (!d->popoverPanel)
        return;
    if (!d->popoverPanel->isVisible()) {
        d->popoverPanel = nullptr;
        return;
    }
    if (!force && d->popoverPanel->containsPointer())
        return;
    QPointer<InteractableView> self(this);
    willDismissPopover();
    if (d->onWillDismiss)
        d->onWillDismiss(*this);
    if (!self)
        return;
    if (std::shared_ptr<OverlayPanel> panel = std::move(d->popoverPanel))
        panel->dismiss();
    didDismissPopover();
    if (d->onDidDismiss)
        d->onDidDismiss(*this);
}

void InteractableView::setOnPopoverWillShow(ViewCallback callback)
{
    d->onWillShow = std::move(callback);
}

void InteractableView::setOnPopoverDidShow(ViewCallback callback)
{
    d->onDidShow = std::move(callback);
}

void InteractableView::setOnPopoverWillDismiss(ViewCallback callback)
{
    d->onWillDismiss = std::move(callback);
}

void InteractableView::setOnPopoverDidDismiss(ViewCallback callback)
{
    d->onDidDismiss = std::move(callback);
}

void InteractableView::setOnPopoverMouseEnter(ViewCallback callback)
{
    d->onMouseEnter = std::move(callback);
}

void InteractableView::setOnPopoverMouseExit(ViewCallback callback)
{
    d->onMouseExit = std::move(callback);
}

void InteractableView::popoverMouseEntered()
{
    if (d->onMouseEnter)
        d->onMouseEnter(*this);
}

void InteractableView::popoverMouseExited()
{
    if (d->onMouseExit)
        d->onMouseExit(*this);
}

void InteractableView::setCursorState(CursorState state)
{
    QPointer<InteractableView> self(this);
    View::setCursorState(state, std::nullopt);
    if (self && cursorState() == CursorState::normal)
        dismissPopover(false);
}

void InteractableView::cursorStateChanged(CursorState to, std::optional<QPointF> at)
{
    View::cursorStateChanged(to, at);
    if (to == CursorState::hovered) {
        if (reactsToPointer() && d->popover && d->popover->displayAutomatically() && canShowPopover()
            && !isPopoverVisible())
            showPopover(false);
    } else if (to == CursorState::normal) {
        d->popoverOpening = false;
        if (!d->popover || !d->popover->displayAutomatically())
            return;
        d->popoverWork.cancel();
        d->popoverWork = WorkItem();
        const bool overPanel = d->popoverPanel && d->popoverPanel->containsPointer();
        dismissPopover(!overPanel);
    }
}

// ---- Focus ----

namespace {

// Hidden itself or inside a hidden widget of its window; whether the window
// is shown does not matter.
bool isHiddenOrHasHiddenAncestor(const QWidget *widget)
{
    for (const QWidget *w = widget; w && !w->isWindow(); w = w->parentWidget()) {
        if (w->isHidden())
            return true;
    }
    return false;
}

} // namespace

bool InteractableView::acceptsFirstResponder() const
{
    if (isHiddenOrHasHiddenAncestor(this))
        return false;
    if (!isEnabled()) {
        const std::shared_ptr<ToolTip> tip = toolTipModel();
        if (!tip || tip->disableLabel.isEmpty())
            return false;
    }
    return !forbidInteraction();
}

bool InteractableView::canBecomeKeyView() const
{
    return acceptsFirstResponder() && KalvoCore::shared().isKeyboardNavigationEnabled();
}

InteractableView::FocusRingType InteractableView::focusRingType() const
{
    return KalvoCore::shared().isKeyboardNavigationEnabled() ? FocusRingType::exterior : FocusRingType::none;
}

qreal InteractableView::focusRingSpacing() const
{
    return d->focusRingSpacing;
}

void InteractableView::setFocusRingSpacing(qreal spacing)
{
    d->focusRingSpacing = spacing;
    updateFocusRing();
}

bool InteractableView::usesOffsetFocusRing() const
{
    return d->usesOffsetFocusRing;
}

void InteractableView::setUsesOffsetFocusRing(bool offset)
{
    d->usesOffsetFocusRing = offset;
    updateFocusRing();
}

QRectF InteractableView::focusRingMaskBounds() const
{
    const QRectF bounds(rect());
    if (d->usesOffsetFocusRing && d->focusRingSpacing > 0) {
        const qreal s = d->focusRingSpacing;
        return bounds.adjusted(-s, -s, s, s);
    }
    return bounds;
}

void InteractableView::setOnFirstResponderStateChange(std::function<void(InteractableView &, bool)> callback)
{
    d->onFirstResponderStateChange = std::move(callback);
}

bool InteractableView::becomeFirstResponder()
{
    if (!acceptsFirstResponder())
        return false;
    setFocus(Qt::OtherFocusReason);
    return hasFocus();
}

void InteractableView::updateFocusPolicy()
{
    Qt::FocusPolicy policy = Qt::NoFocus;
    if (canBecomeKeyView())
        policy = Qt::StrongFocus;
    else if (acceptsFirstResponder())
        policy = Qt::ClickFocus;
    if (focusPolicy() != policy)
        setFocusPolicy(policy);
}

void InteractableView::updateFocusRing()
{
    const bool wanted = hasFocus() && focusRingType() == FocusRingType::exterior && isVisible() && parentWidget();
    if (!wanted) {
        if (d->focusRing)
            d->focusRing->hide();
        update(); // a top-level view draws its ring itself
        return;
    }
    if (!d->focusRing)
        d->focusRing = new FocusRing(this);
    d->focusRing->follow();
}

void InteractableView::focusInEvent(QFocusEvent *event)
{
    View::focusInEvent(event);
    if (!acceptsFirstResponder())
        return;
    QPointer<InteractableView> self(this);
    if (KalvoCore::shared().isKeyboardNavigationEnabled() && d->popover && d->popover->displayAutomatically()) {
        if (!isPopoverVisible())
            showPopover(true);
    } else {
        showToolTip();
    }
    if (!self)
        return;
    updateFocusRing();
    if (d->onFirstResponderStateChange)
        d->onFirstResponderStateChange(*this, true);
}

void InteractableView::focusOutEvent(QFocusEvent *event)
{
    View::focusOutEvent(event);
    QPointer<InteractableView> self(this);
    dismissToolTip();
    if (isPopoverVisible() && !d->popoverPanel->isKeyWindow())
        dismissPopover(true);
    if (!self)
        return;
    if (cursorState() == CursorState::hovered && !cursorStateProvider() && !cursorStateBinding()) {
        QWidget *under = QApplication::widgetAt(QCursor::pos());
        if (under != this && !isAncestorOf(under))
            View::setCursorState(CursorState::normal, std::nullopt);
    }
    if (!self)
        return;
    updateFocusRing();
    if (d->onFirstResponderStateChange)
        d->onFirstResponderStateChange(*this, false);
}

void InteractableView::paintEvent(QPaintEvent *event)
{
    View::paintEvent(event);
    // Without a parent there is nowhere outside to draw: ring the inside.
    if (!parentWidget() && hasFocus() && focusRingType() == FocusRingType::exterior) {
        const DrawingAppearanceScope scope(this);
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(Color::Theme::borderPrimary()->resolved(), FocusRing::kWidth));
        const qreal inset = FocusRing::kWidth / 2;
        const qreal radius = std::max<qreal>(0, effectiveCornerRadius() - inset);
        painter.drawRoundedRect(QRectF(rect()).adjusted(inset, inset, -inset, -inset), radius, radius);
    }
}

// ---- Keys ----

bool InteractableView::handleKeyDown(QKeyEvent &event)
{
    QPointer<InteractableView> self(this);
    if (!runKeyDownCallback(event))
        return true; // the callback closed the view
    const std::optional<int> code = keyCodeOf(event);
    const unsigned flags = modifierFlagsFromQt(event.modifiers());
    if (code == KeyCode::Tab && !(flags & ModifierFlag::shift) && event.key() != Qt::Key_Backtab) {
        if (d->popover && d->popover->containsInteractables() && d->popoverPanel && d->popoverPanel->isVisible()
            && d->popoverPanel->canBecomeKey()) {
            d->popoverPanel->makeKey();
            return true;
        }
    } else if (code == KeyCode::Escape) {
        cancelToolTipTask();
        dismissPopover(true);
        if (!self)
            return true;
        dismissToolTip();
    }
    return false;
}

bool InteractableView::event(QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
            // Qt moves focus on Tab before keyPressEvent; offer it first.
            d->tabInFlight = key;
            QPointer<InteractableView> self(this);
            const bool consumed = handleKeyDown(*key);
            if (!self)
                return true;
            if (consumed) {
                d->tabInFlight = nullptr;
                key->accept();
                return true;
            }
            const bool handled = View::event(event);
            if (self)
                d->tabInFlight = nullptr;
            return handled;
        }
    }
    return View::event(event);
}

void InteractableView::keyPressEvent(QKeyEvent *event)
{
    if (d->tabInFlight == event) {
        // Already offered in event(); what remains is the default handling.
        QWidget::keyPressEvent(event);
        return;
    }
    QPointer<InteractableView> self(this);
    if (handleKeyDown(*event)) {
        event->accept();
        return;
    }
    if (self)
        QWidget::keyPressEvent(event);
}

KeyDownHandler::~KeyDownHandler() = default;

bool _KeyDownHandler_InteractableView::handleKeyDown(QKeyEvent &event)
{
    if (isEnabled() && !forbidInteraction()) {
        if (std::shared_ptr<KeyDownHandler> h = m_handler.lock()) {
            if (h->handleKeyDown(event))
                return true;
        }
    }
    return InteractableView::handleKeyDown(event);
}

} // namespace kalvo
