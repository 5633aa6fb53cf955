// ---- Index ----
// Bindings          CursorStateBinding, providers
// State machine     reading and changing the cursor state, tool-tip timing
// Pointer           enter/leave/move/press/release and tracking areas
// Painting          state colours, capsule rule, colour animation, highlight
// Misc              tool tips, scroll observation, sizes
#include <kalvo/foundation/view.h>

#include "foundation/rounded_shape.h"

#include <kalvo/foundation/dirtying.h>
#include <kalvo/foundation/observationstore.h>
#include <kalvo/foundation/overlays.h>
#include <kalvo/platform/scheduler.h>
#include <kalvo/theme/appearance.h>

#include <QAbstractScrollArea>
#include <QApplication>
#include <QCursor>
#include <QEnterEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>

#include <cmath>

namespace kalvo {

// ---- Bindings ----

CursorStateProvider::~CursorStateProvider() = default;

View *CursorStateBinding::view() const
{
    return qobject_cast<View *>(m_view.data());
}

void CursorStateBinding::setView(View *view)
{
    m_view = view;
}

void CursorStateBinding::setState(CursorState state)
{
    if (state == m_state)
        return;
    const CursorState old = m_state;
    m_state = state;
    if (View *bound = view()) {
        // The pointer position now, in the bound view's window.
        const QPointF at = bound->window()->mapFromGlobal(QCursor::pos());
        QPointer<View> alive(bound);
        bound->runStateChange(old, state, at);
        if (alive)
            alive->update();
    }
}

void ObservationStore::add(QMetaObject::Connection connection)
{
    m_undo.emplace_back([connection] { QObject::disconnect(connection); });
}

void ObservationStore::add(std::function<void()> undo)
{
    if (undo)
        m_undo.push_back(std::move(undo));
}

void ObservationStore::clear()
{
    std::vector<std::function<void()>> undo;
    undo.swap(m_undo);
    for (auto &fn : undo)
        fn();
}

// ---- View ----

struct View::Private
{
    explicit Private(View *q) : cornerRadius(q, 0.0) {}

    CursorState backing = CursorState::normal;
    std::map<const void *, std::shared_ptr<CursorStateBinding>> bindings;
    std::shared_ptr<CursorStateBinding> binding;
    QPointer<View> provider;
    const void *providerBindingId = nullptr;
    StateCallback didChange;

    bool forbidInteraction = false;
    bool propagates = false;
    bool requiresTrackingBacking = false;
    bool forbidTracking = false;
    std::optional<TrackingArea> trackingArea;
    bool pointerInRect = false;

    std::optional<TNPigment> pigment;
    ColorPtr background, hoveredBackground, clickedBackground, highlightedBackground;
    ColorPtr border, hoveredBorder, clickedBorder, highlightedBorder;
    Dirtying<qreal> cornerRadius;
    qreal borderWidth = 0;

    bool enableAnimation = false;
    bool suppressNextAnimation = false;
    // What was painted last, for animating towards a newly chosen colour.
    ColorPtr lastBackground, lastBorder;
    QColor shownBackground, shownBorder;
    QColor fromBackground, fromBorder;
    double animationStart = -1;
    WorkItem animationFrame;

    WorkItem endHighlight;

    std::shared_ptr<ToolTip> toolTip;
    double toolTipDelay = 0.5;
    WorkItem toolTipWork;
    std::shared_ptr<OverlayPanel> toolTipPanel;

    KeyCallback onKeyDown, onKeyUp;
    std::function<void(View &)> scrolled;
    std::function<void(View &, QWidget *)> willMoveToWindow;
    QPointer<QWidget> lastWindow;

    std::optional<bool> canMoveWindow;
    std::optional<QSizeF> intrinsicSize;

    ObservationStore scrollObservation;
    QPointer<QWidget> observedViewport;
    QPointF lastClipOffset;
    bool scrollClipped = false;

    // The appearance and theme this view draws with, until a change of
    // either (or of its parent) says otherwise.
    std::shared_ptr<const Appearance> appearance;
    std::shared_ptr<TNTheme> theme;
};

View::View(QWidget *parent) : QWidget(parent), d(std::make_unique<Private>(this))
{
    d->lastWindow = window();
}

View::~View()
{
    d->toolTipWork.cancel();
    d->endHighlight.cancel();
    d->animationFrame.cancel();
    if (d->toolTipPanel)
        d->toolTipPanel->dismiss();
    if (d->provider)
        d->provider->d->bindings.erase(d->providerBindingId);
    if (d->binding)
        d->binding->setView(nullptr);
    for (auto &[id, binding] : d->bindings) {
        if (binding->view())
            binding->setView(nullptr);
    }
}

// ---- State machine ----

CursorState View::cursorState() const
{
    if (d->provider)
        return d->provider->cursorState();
    if (d->binding)
        return d->binding->state();
    return d->backing;
}

void View::setCursorState(CursorState state)
{
    setCursorState(state, std::nullopt);
}

void View::setCursorState(CursorState state, std::optional<QPointF> windowLocation)
{
    runStateChange(cursorState(), state, windowLocation);
}

void View::runStateChange(CursorState oldState, CursorState newState, std::optional<QPointF> at)
{
    if (oldState != newState)
        cursorStateWillChange(newState, at);
    if (!d->provider && !d->binding)
        d->backing = newState;
    if (oldState == newState)
        return;
    QPointer<View> self(this);
    cursorStateChanged(newState, at);
    if (!self)
        return;
    if (d->didChange) {
        const StateCallback callback = d->didChange; // the callback may replace itself
        callback(*this, oldState, newState);
        if (!self)
            return;
    }
    if (newState == CursorState::hovered) {
        if (d->toolTip) {
            const bool enabled = isViewEnabled();
            d->toolTip->superviewEnable = enabled;
            if (!d->toolTip->textFor(enabled).isEmpty()) {
                cancelToolTipTask();
                d->toolTipWork = asyncAfter(d->toolTipDelay, [self] {
                    if (self)
                        self->showToolTip();
                });
            }
        }
    } else {
        dismissToolTip();
        cancelToolTipTask();
    }
    // Followers may run host code; take a snapshot and re-check ourselves.
    const auto bindings = d->bindings;
    for (const auto &[id, binding] : bindings) {
        binding->setState(newState);
        if (!self)
            return;
    }
    update();
}

void View::cursorStateWillChange(CursorState, std::optional<QPointF>) {}

void View::cursorStateChanged(CursorState, std::optional<QPointF>) {}

void View::cancelToolTipTask()
{
    d->toolTipWork.cancel();
    d->toolTipWork = WorkItem();
}

bool View::forbidInteraction() const
{
    return d->forbidInteraction;
}

void View::setForbidInteraction(bool forbid)
{
    if (d->forbidInteraction == forbid)
        return;
    d->forbidInteraction = forbid;
    interactionConfigurationChanged();
}

void View::forbidInteractionInSubtree()
{
    setForbidInteraction(true);
    for (View *child : findChildren<View *>(Qt::FindDirectChildrenOnly))
        child->forbidInteractionInSubtree();
}

void View::enableInteractionInSubtree()
{
    setForbidInteraction(false);
    for (View *child : findChildren<View *>(Qt::FindDirectChildrenOnly))
        child->enableInteractionInSubtree();
}

std::optional<QRectF> View::interactionRect() const
{
    return std::nullopt;
}

bool View::propagatesKeyEvents() const
{
    return d->propagates;
}

void View::setPropagatesKeyEvents(bool propagate)
{
    d->propagates = propagate;
}

void View::setCursorStateDidChange(StateCallback callback)
{
    d->didChange = std::move(callback);
    updateTrackingAreas();
}

std::shared_ptr<CursorStateBinding> View::makeCursorStateBinding()
{
    auto binding = std::make_shared<CursorStateBinding>();
    binding->setState(cursorState());
    d->bindings.emplace(binding.get(), binding);
    return binding;
}

const std::map<const void *, std::shared_ptr<CursorStateBinding>> &View::cursorStateBindings() const
{
    return d->bindings;
}

std::shared_ptr<CursorStateBinding> View::cursorStateBinding() const
{
    return d->binding;
}

void View::setCursorStateBinding(std::shared_ptr<CursorStateBinding> binding)
{
    if (d->binding == binding)
        return;
    if (d->binding && d->binding->view() == this)
        d->binding->setView(nullptr);
    d->binding = std::move(binding);
    if (d->binding)
        d->binding->setView(this);
    update();
}

void View::bind(View *provider)
{
    removeBinding();
    if (!provider || provider == this)
        return;
    auto binding = std::make_shared<CursorStateBinding>();
    binding->setState(provider->cursorState());
    binding->setView(this);
    provider->d->bindings.emplace(this, binding);
    d->provider = provider;
    d->providerBindingId = this;
    update();
}

void View::removeBinding()
{
    if (d->provider)
        d->provider->d->bindings.erase(d->providerBindingId);
    d->provider = nullptr;
    d->providerBindingId = nullptr;
    if (d->binding) {
        if (d->binding->view() == this)
            d->binding->setView(nullptr);
        d->binding = nullptr;
    }
    update();
}

View *View::cursorStateProvider() const
{
    return d->provider;
}

// ---- Pointer ----

bool View::requiresTracking() const
{
    return d->didChange ? true : d->requiresTrackingBacking;
}

void View::setRequiresTracking(bool required)
{
    d->requiresTrackingBacking = required;
    updateTrackingAreas();
}

bool View::forbidTracking() const
{
    return d->forbidTracking;
}

void View::setForbidTracking(bool forbid)
{
    d->forbidTracking = forbid;
    if (forbid) {
        d->trackingArea.reset();
        d->pointerInRect = false;
    } else {
        updateTrackingAreas();
    }
}

const std::optional<View::TrackingArea> &View::trackingArea() const
{
    return d->trackingArea;
}

void View::updateTrackingAreas()
{
    if (d->trackingArea || !requiresTracking() || d->forbidTracking)
        return;
    if (const std::optional<QRectF> part = interactionRect()) {
        d->trackingArea = TrackingArea{*part, kTrackingMouseEnteredAndExited | kTrackingActiveAlways};
        // Crossing the edge of a part of the view shows only in moves.
        setMouseTracking(true);
    } else {
        d->trackingArea = TrackingArea{QRectF(rect()),
                                       kTrackingMouseEnteredAndExited | kTrackingActiveAlways | kTrackingInVisibleRect};
    }
}

bool View::reactsToPointer() const
{
    return !d->forbidInteraction;
}

void View::pointerEntered(const QPointF &windowLocation)
{
    setCursorState(CursorState::hovered, windowLocation);
}

void View::pointerExited()
{
    setCursorState(CursorState::normal, std::nullopt);
}

void View::enterEvent(QEnterEvent *event)
{
    if (!reactsToPointer()) {
        QWidget::enterEvent(event);
        return;
    }
    if (!d->trackingArea)
        return;
    if (const std::optional<QRectF> rect = interactionRect()) {
        d->pointerInRect = rect->contains(event->position());
        if (!d->pointerInRect)
            return;
    }
    pointerEntered(event->scenePosition());
}

void View::leaveEvent(QEvent *event)
{
    if (!reactsToPointer()) {
        QWidget::leaveEvent(event);
        return;
    }
    if (!d->trackingArea)
        return;
    if (interactionRect()) {
        if (!d->pointerInRect)
            return;
        d->pointerInRect = false;
    }
    pointerExited();
}

void View::mouseMoveEvent(QMouseEvent *event)
{
    if (reactsToPointer() && d->trackingArea && event->buttons() == Qt::NoButton) {
        if (const std::optional<QRectF> rect = interactionRect()) {
            const bool inside = rect->contains(event->position());
            if (inside != d->pointerInRect) {
                d->pointerInRect = inside;
                if (inside)
                    pointerEntered(event->scenePosition());
                else
                    pointerExited();
            }
        }
    }
    QWidget::mouseMoveEvent(event);
}

// Press and release share their rule: the state inside the interaction
// rect, `normal` outside.
bool View::handleButton(QMouseEvent *event, CursorState inside)
{
    if (!reactsToPointer() || event->button() != Qt::LeftButton)
        return false;
    const QRectF area = interactionRect().value_or(QRectF(rect()));
    QPointer<View> self(this);
    setCursorState(area.contains(event->position()) ? inside : CursorState::normal, event->scenePosition());
    if (!self)
        return true;
    event->accept();
    if (d->propagates && parentWidget()) {
        // Keep the release for ourselves (Qt grabs the pointer for whoever
        // accepts the press) and let the parent see the event too.
        QMouseEvent copy(event->type(), parentWidget()->mapFromGlobal(event->globalPosition()), event->scenePosition(),
                         event->globalPosition(), event->button(), event->buttons(), event->modifiers());
        QCoreApplication::sendEvent(parentWidget(), &copy);
    }
    return true;
}

void View::mousePressEvent(QMouseEvent *event)
{
    if (!handleButton(event, CursorState::pressed))
        QWidget::mousePressEvent(event);
}

void View::mouseReleaseEvent(QMouseEvent *event)
{
    if (!handleButton(event, CursorState::hovered))
        QWidget::mouseReleaseEvent(event);
}

namespace {

// Modifier keys alone are no key presses to a control (a platform reports
// them as flag changes, not key-downs).
bool isModifierOnly(const QKeyEvent &event)
{
    switch (event.key()) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_CapsLock:
        return true;
    default:
        return false;
    }
}

} // namespace

bool View::runKeyDownCallback(QKeyEvent &event)
{
    if (!d->onKeyDown || isModifierOnly(event))
        return true;
    QPointer<View> self(this);
    const KeyCallback callback = d->onKeyDown;
    callback(*this, event);
    return !self.isNull();
}

void View::keyPressEvent(QKeyEvent *event)
{
    if (runKeyDownCallback(*event))
        QWidget::keyPressEvent(event);
}

void View::keyReleaseEvent(QKeyEvent *event)
{
    if (d->onKeyUp && !isModifierOnly(*event)) {
        QPointer<View> self(this);
        const KeyCallback callback = d->onKeyUp;
        callback(*this, *event);
        if (!self)
            return;
    }
    QWidget::keyReleaseEvent(event);
}

void View::setOnKeyDown(KeyCallback callback)
{
    d->onKeyDown = std::move(callback);
}

void View::setOnKeyUp(KeyCallback callback)
{
    d->onKeyUp = std::move(callback);
}

// ---- Painting ----

const std::optional<TNPigment> &View::pigment() const
{
    return d->pigment;
}

void View::setPigment(std::optional<TNPigment> pigment)
{
    d->pigment = std::move(pigment);
    update();
}

#define KALVO_VIEW_COLOR(getter, setter, member)                                                                  \
    ColorPtr View::getter() const                                                                                \
    {                                                                                                            \
        return d->member;                                                                                        \
    }                                                                                                            \
    void View::setter(ColorPtr color)                                                                            \
    {                                                                                                            \
        if (d->member == color)                                                                                  \
            return;                                                                                              \
        d->member = std::move(color);                                                                            \
        update();                                                                                                \
    }
KALVO_VIEW_COLOR(backgroundColor, setBackgroundColor, background)
KALVO_VIEW_COLOR(hoveredBackgroundColor, setHoveredBackgroundColor, hoveredBackground)
KALVO_VIEW_COLOR(clickedBackgroundColor, setClickedBackgroundColor, clickedBackground)
KALVO_VIEW_COLOR(highlightedBackgroundColor, setHighlightedBackgroundColor, highlightedBackground)
KALVO_VIEW_COLOR(borderColor, setBorderColor, border)
KALVO_VIEW_COLOR(hoveredBorderColor, setHoveredBorderColor, hoveredBorder)
KALVO_VIEW_COLOR(clickedBorderColor, setClickedBorderColor, clickedBorder)
KALVO_VIEW_COLOR(highlightedBorderColor, setHighlightedBorderColor, highlightedBorder)
#undef KALVO_VIEW_COLOR

qreal View::cornerRadius() const
{
    return d->cornerRadius.get();
}

void View::setCornerRadius(qreal radius)
{
    d->cornerRadius.set(radius);
}

qreal View::borderWidth() const
{
    return d->borderWidth;
}

void View::setBorderWidth(qreal width)
{
    if (d->borderWidth == width)
        return;
    d->borderWidth = width;
    update();
}

qreal View::effectiveCornerRadius() const
{
    const qreal requested = std::isfinite(cornerRadius()) ? std::max<qreal>(cornerRadius(), 0) : 0;
    return std::min(requested, std::round(0.5 * std::min(width(), height())));
}

ColorPtr View::currentBackgroundColor() const
{
    if (d->highlightedBackground)
        return d->highlightedBackground;
    const CursorState state = cursorState();
    if (state == CursorState::pressed && d->clickedBackground)
        return d->clickedBackground;
    if (state == CursorState::hovered && d->hoveredBackground)
        return d->hoveredBackground;
    return d->background;
}

ColorPtr View::currentBorderColor() const
{
    if (d->highlightedBorder)
        return d->highlightedBorder;
    const CursorState state = cursorState();
    if (state == CursorState::pressed && d->clickedBorder)
        return d->clickedBorder;
    if (state == CursorState::hovered && d->hoveredBorder)
        return d->hoveredBorder;
    return d->border;
}

bool View::enableAnimation() const
{
    return d->enableAnimation;
}

void View::setEnableAnimation(bool enable)
{
    d->enableAnimation = enable;
}

bool View::suppressNextLayerAnimation() const
{
    return d->suppressNextAnimation;
}

void View::setSuppressNextLayerAnimation(bool suppress)
{
    d->suppressNextAnimation = suppress;
}

void View::highlight(ColorPtr background, ColorPtr border, double seconds)
{
    if ((!background && !border) || !(seconds > 0))
        return;
    d->highlightedBackground = std::move(background);
    d->highlightedBorder = std::move(border);
    d->endHighlight.cancel();
    QPointer<View> self(this);
    d->endHighlight = asyncAfter(seconds, [self] {
        if (!self)
            return;
        self->d->highlightedBackground = nullptr;
        self->d->highlightedBorder = nullptr;
        self->update();
    });
    update();
}

void View::invalidateDrawingState()
{
    d->appearance.reset();
    d->theme.reset();
}

namespace {

QColor mix(const QColor &from, const QColor &to, double t)
{
    auto lerp = [t](float a, float b) { return static_cast<float>(a + (b - a) * t); };
    return QColor::fromRgbF(lerp(from.redF(), to.redF()), lerp(from.greenF(), to.greenF()),
                            lerp(from.blueF(), to.blueF()), lerp(from.alphaF(), to.alphaF()));
}

double easeInOut(double t)
{
    return t < 0.5 ? 2 * t * t : 1 - std::pow(-2 * t + 2, 2) / 2;
}

} // namespace

void View::paintEvent(QPaintEvent *)
{
    if (!d->appearance) {
        d->appearance = effectiveAppearance(this);
        d->theme = effectiveTheme(this);
    }
    const DrawingAppearanceScope scope(d->appearance, d->theme);
    QPainter painter(this);
    paintBackground(painter);
    paintContent(painter);
}

void View::paintContent(QPainter &) {}

void View::paintBackground(QPainter &painter)
{
    const bool suppress = d->suppressNextAnimation;
    d->suppressNextAnimation = false;
    if (d->pigment) {
        paintPigment(painter, QRectF(rect()), *d->pigment, d->borderWidth);
        return;
    }
    const ColorPtr background = currentBackgroundColor();
    const ColorPtr border = currentBorderColor();
    const QColor targetBackground = background ? background->resolved() : QColor(Qt::transparent);
    const QColor targetBorder = border ? border->resolved() : QColor(Qt::transparent);

    // A newly chosen colour fades in when animation is on and the view is
    // on screen; an appearance change is shown at once.
    const bool changed = background != d->lastBackground || border != d->lastBorder;
    if (changed && d->enableAnimation && !suppress && isVisible() && d->shownBackground.isValid()) {
        d->fromBackground = d->shownBackground;
        d->fromBorder = d->shownBorder;
        d->animationStart = now();
    } else if (changed) {
        d->animationStart = -1;
    }
    d->lastBackground = background;
    d->lastBorder = border;
    QColor fill = targetBackground;
    QColor line = targetBorder;
    if (d->animationStart >= 0) {
        const double t = std::clamp((now() - d->animationStart) / kColorAnimationDuration, 0.0, 1.0);
        fill = mix(d->fromBackground, targetBackground, easeInOut(t));
        line = mix(d->fromBorder, targetBorder, easeInOut(t));
        if (t < 1.0) {
            QPointer<View> self(this);
            d->animationFrame.cancel();
            d->animationFrame = asyncAfter(1.0 / 60.0, [self] {
                if (self)
                    self->update();
            });
        } else {
            d->animationStart = -1;
        }
    }
    d->shownBackground = fill;
    d->shownBorder = line;

    detail::paintRoundedShape(painter, QRectF(rect()), effectiveCornerRadius(), d->borderWidth, fill, line);
}

QPainterPath View::focusRingPath() const
{
    QPainterPath path;
    const qreal radius = effectiveCornerRadius();
    path.addRoundedRect(QRectF(rect()), radius, radius);
    return path;
}

// ---- Tool tips ----

std::shared_ptr<ToolTip> View::toolTipModel() const
{
    return d->toolTip;
}

void View::setToolTipModel(std::shared_ptr<ToolTip> model)
{
    d->toolTip = std::move(model);
    interactionConfigurationChanged();
}

void View::setToolTipLabel(const QString &label, std::optional<QString> key)
{
    if (!d->toolTip)
        d->toolTip = std::make_shared<ToolTip>();
    d->toolTip->label = label;
    d->toolTip->key = std::move(key);
    interactionConfigurationChanged();
}

void View::setDisableToolTip(const QString &disableLabel)
{
    if (!d->toolTip)
        d->toolTip = std::make_shared<ToolTip>();
    d->toolTip->disableLabel = disableLabel;
    interactionConfigurationChanged();
}

double View::toolTipDelay() const
{
    return d->toolTipDelay;
}

void View::setToolTipDelay(double seconds)
{
    d->toolTipDelay = seconds;
}

void View::showToolTip()
{
    d->toolTipWork = WorkItem();
    if (!d->toolTip || (d->toolTipPanel && d->toolTipPanel->isVisible()))
        return;
    const QString text = d->toolTip->textFor(isViewEnabled());
    if (text.isEmpty() || !isVisible())
        return;
    d->toolTipPanel = OverlayPresenter::current()->showToolTip(*this, *d->toolTip, text);
}

void View::dismissToolTip()
{
    if (std::shared_ptr<OverlayPanel> panel = std::move(d->toolTipPanel))
        panel->dismiss();
}

bool View::isToolTipScheduled() const
{
    return d->toolTipWork.isPending();
}

std::shared_ptr<OverlayPanel> View::toolTipPanel() const
{
    return d->toolTipPanel;
}

// ---- Misc ----

void View::setScrollContentViewBoundsDidChange(std::function<void(View &)> callback)
{
    d->scrolled = std::move(callback);
}

void View::setOnViewWillMoveToWindow(std::function<void(View &, QWidget *)> callback)
{
    d->willMoveToWindow = std::move(callback);
}

std::optional<bool> View::mouseDownCanMoveWindowOverride() const
{
    return d->canMoveWindow;
}

void View::setMouseDownCanMoveWindow(bool canMove)
{
    d->canMoveWindow = canMove;
}

bool View::mouseDownCanMoveWindow() const
{
    return d->canMoveWindow.value_or(false);
}

std::optional<QSizeF> View::intrinsicContentSizeOverride() const
{
    return d->intrinsicSize;
}

void View::setIntrinsicContentSize(std::optional<QSizeF> size)
{
    d->intrinsicSize = size;
    updateGeometry();
}

QSize View::sizeHint() const
{
    if (d->intrinsicSize)
        return d->intrinsicSize->toSize();
    return QWidget::sizeHint();
}

QPointF View::centerPoint() const
{
    return QRectF(rect()).center();
}

QImage View::imageRepresentation()
{
    return grab().toImage();
}

bool View::isScrollClipped() const
{
    return d->scrollClipped;
}

QPointF View::lastClipViewOffset() const
{
    return d->lastClipOffset;
}

void View::observeEnclosingScrollArea()
{
    QAbstractScrollArea *area = nullptr;
    for (QWidget *w = parentWidget(); w; w = w->parentWidget()) {
        if (auto *candidate = qobject_cast<QAbstractScrollArea *>(w)) {
            area = candidate;
            break;
        }
    }
    QWidget *viewport = area ? area->viewport() : nullptr;
    if (viewport == d->observedViewport)
        return;
    d->scrollObservation.clear();
    d->observedViewport = viewport;
    if (!area)
        return;
    auto scrolled = [this, area] {
        d->lastClipOffset = QPointF(area->horizontalScrollBar()->value(), area->verticalScrollBar()->value());
        const QRect mine(mapTo(area->viewport(), QPoint(0, 0)), size());
        d->scrollClipped = !area->viewport()->rect().contains(mine);
        if (d->scrolled) {
            const auto callback = d->scrolled;
            callback(*this);
        }
    };
    d->scrollObservation.add(connect(area->horizontalScrollBar(), &QScrollBar::valueChanged, this, scrolled));
    d->scrollObservation.add(connect(area->verticalScrollBar(), &QScrollBar::valueChanged, this, scrolled));
}

bool View::event(QEvent *event)
{
    if (event->type() == AppearanceChangeEvent::eventType() || event->type() == ThemeChangeEvent::eventType()) {
        invalidateDrawingState();
        update();
    } else if (event->type() == QEvent::ParentChange) {
        invalidateDrawingState();
        observeEnclosingScrollArea();
        QWidget *now = window();
        if (now != d->lastWindow) {
            d->lastWindow = now;
            if (d->willMoveToWindow) {
                const auto callback = d->willMoveToWindow;
                callback(*this, now);
            }
        }
    } else if (event->type() == QEvent::ToolTip && d->toolTip) {
        return true; // the tool-tip model is shown by the view itself
    }
    return QWidget::event(event);
}

void View::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (d->trackingArea && (d->trackingArea->options & kTrackingInVisibleRect))
        d->trackingArea->rect = QRectF(rect());
    updateTrackingAreas();
}

void View::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    updateTrackingAreas();
    observeEnclosingScrollArea();
    interactionConfigurationChanged();
}

void View::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    cancelToolTipTask();
    dismissToolTip();
    interactionConfigurationChanged();
}

} // namespace kalvo
