// What every button shares: click and key rules, progress, key equivalents.
//
// Click rules (state × event -> action):
//
//   enabled, idle   press inside          -> pressed  (runActionOnMouseDown: action, normal)
//   enabled, idle   release over button   -> action, normal, popover closed
//   enabled, idle   release elsewhere     -> normal (or hovered inside)
//   disabled / forbidden / busy           -> no action, key passed on
//
// Keys: Return and Space run the action; Escape closes a visible popover
// (or tool tip) and is consumed, otherwise it goes on; Tab always goes on.
#include <kalvo/components/button.h>

#include <kalvo/foundation/overlays.h>
#include <kalvo/platform/keycodes.h>
#include <kalvo/platform/scheduler.h>
#include <kalvo/theme/appearance.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcut>

#include <cmath>

namespace kalvo {

KTNButtonDelegate::~KTNButtonDelegate() = default;

void KTNButtonDelegate::buttonKeyDownWith(BaseButton &, const QKeyEvent &) {}

struct BaseButton::Private
{
    Action action;
    bool runOnMouseDown = false;
    bool refreshInUIThread = false;
    bool previousMouseDown = false;
    bool inverted = false;
    bool showDot = false;
    int tag = 0;
    std::weak_ptr<KTNButtonDelegate> delegate;
    QString keyEquivalent;
    unsigned keyEquivalentMask = 0;
    QPointer<QShortcut> shortcut;
    bool updatesCursor = false;
    std::optional<QCursor> cursor;
    std::optional<QCursor> pushedCursor;
    bool busy = false;
    double progressStart = -1;
    WorkItem progressFrame;
    QString accessibilityTitle;
};

BaseButton::BaseButton(QWidget *parent) : InteractableView(parent), d(std::make_unique<Private>())
{
    setRequiresTracking(true);
}

BaseButton::~BaseButton()
{
    d->progressFrame.cancel();
}

BaseButton::Action BaseButton::action() const
{
    return d->action;
}

void BaseButton::setAction(Action action)
{
    d->action = std::move(action);
}

void BaseButton::performClick()
{
    runAction();
}

void BaseButton::runAction()
{
    if (!d->action)
        return;
    const Action action = d->action; // the action may replace itself
    action(*this);
}

bool BaseButton::runActionOnMouseDown() const
{
    return d->runOnMouseDown;
}

void BaseButton::setRunActionOnMouseDown(bool run)
{
    d->runOnMouseDown = run;
}

bool BaseButton::refreshStatusInUIThread() const
{
    return d->refreshInUIThread;
}

void BaseButton::setRefreshStatusInUIThread(bool refresh)
{
    d->refreshInUIThread = refresh;
}

bool BaseButton::hasPreviousMouseDown() const
{
    return d->previousMouseDown;
}

bool BaseButton::isInverted() const
{
    return d->inverted;
}

void BaseButton::setInverted(bool inverted)
{
    if (d->inverted == inverted)
        return;
    d->inverted = inverted;
    updateColors();
    update();
}

bool BaseButton::showDot() const
{
    return d->showDot;
}

void BaseButton::setShowDot(bool show)
{
    if (d->showDot == show)
        return;
    d->showDot = show;
    updateColors();
    update();
}

int BaseButton::buttonTag() const
{
    return d->tag;
}

void BaseButton::setButtonTag(int tag)
{
    d->tag = tag;
}

std::shared_ptr<KTNButtonDelegate> BaseButton::delegate() const
{
    return d->delegate.lock();
}

void BaseButton::setDelegate(std::weak_ptr<KTNButtonDelegate> delegate)
{
    d->delegate = std::move(delegate);
}

QString BaseButton::keyEquivalent() const
{
    return d->keyEquivalent;
}

void BaseButton::setKeyEquivalent(const QString &key)
{
    d->keyEquivalent = key;
    rebuildShortcut();
}

unsigned BaseButton::keyEquivalentModifierMask() const
{
    return d->keyEquivalentMask;
}

void BaseButton::setKeyEquivalentModifierMask(unsigned mask)
{
    d->keyEquivalentMask = mask;
    rebuildShortcut();
}

void BaseButton::rebuildShortcut()
{
    delete d->shortcut;
    if (d->keyEquivalent.isEmpty())
        return;
    int key = 0;
    const QString &text = d->keyEquivalent;
    if (text == QLatin1String("\r") || text == QLatin1String("\n"))
        key = Qt::Key_Return;
    else if (text == QLatin1String("\x1b"))
        key = Qt::Key_Escape;
    else if (text == QLatin1String(" "))
        key = Qt::Key_Space;
    else if (text == QLatin1String("\t"))
        key = Qt::Key_Tab;
    else if (text == QLatin1String("\x7f") || text == QLatin1String("\b"))
        key = Qt::Key_Backspace;
    else
        key = QKeySequence(text.left(1).toUpper())[0].key();
    if (key == 0)
        return;
    const Qt::KeyboardModifiers modifiers = qtModifiersFromFlags(d->keyEquivalentMask & ModifierFlag::deviceIndependentShortcutMask);
    d->shortcut = new QShortcut(QKeySequence(QKeyCombination(modifiers, static_cast<Qt::Key>(key))), this);
    d->shortcut->setContext(Qt::WindowShortcut);
    connect(d->shortcut, &QShortcut::activated, this, [this] {
        if (acceptsActivation() && isVisible())
            activateFromInput();
    });
}

bool BaseButton::updatesCursorOnHover() const
{
    return d->updatesCursor;
}

void BaseButton::setUpdatesCursorOnHover(bool update)
{
    d->updatesCursor = update;
}

std::optional<QCursor> BaseButton::hoverCursor() const
{
    return d->cursor;
}

void BaseButton::setHoverCursor(std::optional<QCursor> cursor)
{
    d->cursor = std::move(cursor);
}

std::optional<QCursor> BaseButton::pushedCursor() const
{
    return d->pushedCursor;
}

void BaseButton::setPushedCursor(std::optional<QCursor> cursor)
{
    d->pushedCursor = std::move(cursor);
}

QString BaseButton::accessibilityTitle() const
{
    if (!d->accessibilityTitle.isEmpty())
        return d->accessibilityTitle;
    const QString own = defaultAccessibilityTitle();
    return own.isEmpty() ? InteractableView::accessibilityTitle() : own;
}

void BaseButton::setAccessibilityTitle(const QString &title)
{
    d->accessibilityTitle = title;
}

bool BaseButton::acceptsActivation() const
{
    return isEnabled() && !forbidInteraction() && !d->busy;
}

// ---- Clicks ----

void BaseButton::activateFromInput()
{
    QPointer<BaseButton> self(this);
    runAction();
    if (!self)
        return; // the action closed us
    setCursorState(CursorState::normal);
    if (self)
        dismissPopover(false);
}

void BaseButton::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        InteractableView::mousePressEvent(event);
        return;
    }
    if (!acceptsActivation()) {
        event->ignore(); // a disabled or busy button does not press
        return;
    }
    d->previousMouseDown = true;
    QPointer<BaseButton> self(this);
    InteractableView::mousePressEvent(event);
    if (!self)
        return;
    if (d->runOnMouseDown)
        activateFromInput();
}

void BaseButton::mouseReleaseEvent(QMouseEvent *event)
{
    QPointer<BaseButton> self(this);
    InteractableView::mouseReleaseEvent(event);
    if (!self)
        return;
    const bool previous = d->previousMouseDown;
    d->previousMouseDown = false;
    if (event->button() != Qt::LeftButton || !acceptsActivation() || d->runOnMouseDown)
        return;
    if (requiresPreviousMouseDown() && !previous)
        return;
    // Hit-test in the window: the release must land on this button (or its
    // content), not merely inside its rectangle under another widget.
    const QPoint inWindow = mapTo(window(), event->position().toPoint());
    QWidget *hit = window()->childAt(inWindow);
    const bool overButton = rect().contains(event->position().toPoint()) && (hit == this || isAncestorOf(hit));
    if (overButton)
        activateFromInput();
}

void BaseButton::cursorStateChanged(CursorState to, std::optional<QPointF> at)
{
    InteractableView::cursorStateChanged(to, at);
    if (!d->updatesCursor)
        return;
    if (to == CursorState::pressed && d->pushedCursor)
        setCursor(*d->pushedCursor);
    else if (to != CursorState::normal && d->cursor)
        setCursor(*d->cursor);
    else
        unsetCursor();
}

// ---- Keys ----

bool BaseButton::handleKeyDown(QKeyEvent &event)
{
    QPointer<BaseButton> self(this);
    if (std::shared_ptr<KTNButtonDelegate> delegate = d->delegate.lock()) {
        delegate->buttonKeyDownWith(*this, event);
        if (!self)
            return true;
    }
    const std::optional<int> code = keyCodeOf(event);
    if (code == KeyCode::Tab || !acceptsActivation())
        return InteractableView::handleKeyDown(event);
    if (code == KeyCode::Return || code == KeyCode::Space) {
        if (event.isAutoRepeat())
            return true;
        runAction();
        if (self)
            dismissToolTip();
        return true;
    }
    if (code == KeyCode::Escape) {
        const bool popover = isPopoverVisible();
        const bool toolTip = toolTipPanel() && toolTipPanel()->isVisible();
        if (popover || toolTip) {
            if (popover)
                dismissPopover(false);
            if (self)
                dismissToolTip();
            return true;
        }
    }
    return InteractableView::handleKeyDown(event);
}

void BaseButton::interactionConfigurationChanged()
{
    InteractableView::interactionConfigurationChanged();
    updateColors(); // enabled-ness picks the colours
}

// ---- Progress ----

// Progress is often switched from a worker's completion callback. Widgets
// live on the main thread, so such a call is carried there when the button
// allows it, and refused loudly otherwise.
bool BaseButton::onMainThreadOrForwarded(void (BaseButton::*method)())
{
    if (isMainThread())
        return true;
    if (!d->refreshInUIThread) {
        qWarning("kalvo: a button's progress state was changed off the main thread; "
                 "set refreshStatusInUIThread to have it applied there");
        return false;
    }
    QPointer<BaseButton> self(this);
    async([self, method] {
        if (self)
            (self.data()->*method)();
    });
    return false;
}

void BaseButton::showProgressIndicator()
{
    if (!onMainThreadOrForwarded(&BaseButton::showProgressIndicator) || d->busy)
        return;
    d->busy = true;
    d->progressStart = now();
    update();
    progressTick();
}

// The spinner turns (and fades in over the first 0.2 s) while busy.
void BaseButton::progressTick()
{
    QPointer<BaseButton> self(this);
    d->progressFrame = asyncAfter(1.0 / 30.0, [self] {
        if (!self || !self->d->busy)
            return;
        self->update();
        self->progressTick();
    });
}

void BaseButton::hideProgressIndicator()
{
    if (!onMainThreadOrForwarded(&BaseButton::hideProgressIndicator) || !d->busy)
        return;
    d->busy = false;
    d->progressStart = -1;
    d->progressFrame.cancel();
    update();
}

bool BaseButton::isShowingProgressIndicator() const
{
    return d->busy;
}

double BaseButton::progressOpacity() const
{
    if (!d->busy)
        return 0;
    return std::clamp((now() - d->progressStart) / kProgressAnimationDuration, 0.0, 1.0);
}

void BaseButton::paintProgress(QPainter &painter, const QRectF &area, const QColor &color)
{
    const double opacity = progressOpacity();
    if (opacity <= 0)
        return;
    const qreal side = std::min(area.width(), area.height());
    const QRectF ring(area.center().x() - side / 2, area.center().y() - side / 2, side, side);
    const qreal width = std::max<qreal>(1.5, side / 8);
    const QRectF arc = ring.adjusted(width / 2, width / 2, -width / 2, -width / 2);
    const double turns = std::fmod((now() - std::max(d->progressStart, 0.0)) * 1.2, 1.0);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(painter.opacity() * opacity);
    QColor track = color;
    track.setAlphaF(track.alphaF() * 0.25f);
    painter.setPen(QPen(track, width));
    painter.drawEllipse(arc);
    painter.setPen(QPen(color, width, Qt::SolidLine, Qt::RoundCap));
    painter.drawArc(arc, static_cast<int>(90 * 16 - turns * 360 * 16), -100 * 16);
    painter.restore();
}

void BaseButton::paintDot(QPainter &painter, const QPointF &center, qreal diameter)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Color::fillError()->resolved());
    painter.drawEllipse(center, diameter / 2, diameter / 2);
    painter.restore();
}

QImage tintedImage(const QImage &image, const QColor &color)
{
    if (image.isNull() || image.width() < 1 || image.height() < 1)
        return {};
    QImage tinted = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&tinted);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(tinted.rect(), color);
    return tinted;
}

} // namespace kalvo
