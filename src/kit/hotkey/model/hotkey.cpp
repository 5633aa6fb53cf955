#include <kalvo/hotkey/hotkey.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMetaMethod>
#include <QMetaObject>
#include <QWidget>

namespace kalvo {

namespace {

// The method a method-name action calls: name(kalvo::TNHotkey*) (the sender
// is passed) or else name(). Invalid when the object has neither.
QMetaMethod actionMethod(const QObject *object, const QByteArray &name)
{
    if (!object || name.isEmpty())
        return {};
    const QMetaObject *meta = object->metaObject();
    int index = meta->indexOfMethod(QMetaObject::normalizedSignature(name + "(kalvo::TNHotkey*)").constData());
    if (index < 0)
        index = meta->indexOfMethod(QMetaObject::normalizedSignature(name + "()").constData());
    return index < 0 ? QMetaMethod() : meta->method(index);
}

// Without a target, a method-name action goes to the first object that
// has the method along the focus chain: the focus widget and its parents,
// the active window, then the application.
QObject *responderFor(const QByteArray &name)
{
    for (QWidget *w = QApplication::focusWidget(); w; w = w->parentWidget()) {
        if (actionMethod(w, name).isValid())
            return w;
    }
    if (QWidget *window = QApplication::activeWindow(); window && actionMethod(window, name).isValid())
        return window;
    if (QCoreApplication *app = QCoreApplication::instance(); app && actionMethod(app, name).isValid())
        return app;
    return nullptr;
}

} // namespace

// ---- Center link ----

TNHotkeyCenterLink::TNHotkeyCenterLink() : m_lifetime(std::make_shared<int>(0)) {}

TNHotkeyCenterLink::~TNHotkeyCenterLink() = default;

// ---- Construction ----

TNHotkey::TNHotkey() = default;

TNHotkey::TNHotkey(const QString &identifier, const TNHotkeyCombo &combo, const QVariant &attachment)
    : m_identifier(identifier), m_combo(combo), m_attachment(attachment)
{
}

TNHotkey::~TNHotkey()
{
    cleanUp();
}

std::shared_ptr<TNHotkey> TNHotkey::hotkeyWithIdentifier(const QString &identifier, const TNHotkeyCombo &combo,
                                                         const QVariant &attachment)
{
    return std::make_shared<TNHotkey>(identifier, combo, attachment);
}

std::shared_ptr<TNHotkey> TNHotkey::hotkeyWithIdentifier(const QString &identifier, const QVariant &attachment)
{
    return std::make_shared<TNHotkey>(identifier, TNHotkeyCombo(), attachment);
}

std::shared_ptr<TNHotkey> TNHotkey::copy() const
{
    auto other = std::make_shared<TNHotkey>(m_identifier, m_combo, m_attachment);
    other->m_targetObject = m_targetObject;
    other->m_sharedTarget = m_sharedTarget;
    other->m_targetIdentity = m_targetIdentity;
    other->m_hasTarget = m_hasTarget;
    other->m_targetIsShared = m_targetIsShared;
    other->m_action = m_action;
    other->m_keyUpAction = m_keyUpAction;
    other->m_keyDownActionBlock = m_keyDownActionBlock;
    other->m_keyUpActionBlock = m_keyUpActionBlock;
    other->m_keyDownLongPressDelay = m_keyDownLongPressDelay;
    other->m_eventHotKeyRef = m_eventHotKeyRef;
    other->m_skipWhenTyping = m_skipWhenTyping;
    return other;
}

// ---- Target ----

void TNHotkey::setTarget(QObject *target)
{
    m_sharedTarget.reset();
    m_targetIsShared = false;
    m_targetObject = target;
    m_targetIdentity = target;
    m_hasTarget = target != nullptr;
}

void TNHotkey::setSharedTarget(std::shared_ptr<const void> target, QObject *object, const void *identity)
{
    m_sharedTarget = target;
    m_targetObject = object;
    m_targetIdentity = identity;
    m_targetIsShared = target != nullptr;
    m_hasTarget = target != nullptr;
}

void TNHotkey::clearTarget()
{
    setTarget(nullptr);
}

bool TNHotkey::hasLostTarget() const
{
    if (!m_hasTarget)
        return false;
    return m_targetIsShared ? m_sharedTarget.expired() : m_targetObject.isNull();
}

QObject *TNHotkey::targetObject() const
{
    return hasLostTarget() ? nullptr : m_targetObject.data();
}

const void *TNHotkey::target() const
{
    return m_hasTarget && !hasLostTarget() ? m_targetIdentity : nullptr;
}

// ---- State ----

bool TNHotkey::isSingleKeyCombo() const
{
    return m_combo.eventRefModifiers() == 0 || m_combo.hotkeyCode() < 0;
}

bool TNHotkey::skipWhenTyping() const
{
    if (m_skipWhenTyping == 1)
        return true;
    if (m_skipWhenTyping == 0)
        return false;
    return isSingleKeyCombo();
}

TNHotkeyCenterLink *TNHotkey::hotkeyCenter() const
{
    return m_centerLifetime.expired() ? nullptr : m_center;
}

void TNHotkey::setHotkeyCenter(TNHotkeyCenterLink *center)
{
    m_center = center;
    m_centerLifetime = center ? std::weak_ptr<int>(center->m_lifetime) : std::weak_ptr<int>();
}

// ---- Key handling ----
//
//  state            event                        next state        action
//  idle             key down (normal)            down              key-down action
//  idle             key down (long press)        down, waiting     delay scheduled
//  down, waiting    repeat                       down, waiting     none
//  down, waiting    delay elapses                down, responded   key-down action
//  down, waiting    key up                       idle              failure reported to the center
//  down[, responded] key up                      idle              key-up action
//  idle             key up                       idle              none (not handled)

bool TNHotkey::keyDown(const QKeyEvent *event)
{
    const bool wasDown = m_isKeyDown;
    m_isKeyDown = true;
    if (!isLongPressHotkey())
        return keyDownDelay(event);

    // Global presses come without an event: a press while the key is held
    // is the platform's auto-repeat, and must not restart the delay.
    const bool repeat = event ? event->isAutoRepeat() : wasDown;
    if (!repeat) {
        cancelPendingCalls();
        m_hasRespondKeyDown = false;
        m_downEvent.reset(event ? event->clone() : nullptr);
        // The destructor cancels this item, so `this` cannot dangle.
        m_pendingCalls.push_back(asyncAfter(m_keyDownLongPressDelay, [this] {
            const std::shared_ptr<QKeyEvent> down = m_downEvent;
            keyDownDelay(down.get());
        }));
    }
    return true;
}

bool TNHotkey::keyDownDelay(const QKeyEvent *event)
{
    m_hasRespondKeyDown = true;
    return sendAction(m_action, m_keyDownActionBlock, event);
}

bool TNHotkey::keyUp(const QKeyEvent *event)
{
    if (!m_isKeyDown)
        return false;
    m_isKeyDown = false;
    if (isLongPressHotkey()) {
        cancelPendingCalls();
        if (!m_hasRespondKeyDown) {
            const std::shared_ptr<QKeyEvent> down = std::move(m_downEvent);
            m_downEvent.reset();
            if (TNHotkeyCenterLink *center = hotkeyCenter())
                center->hotkeyLongPressFail(*this, down.get(), event);
            return false;
        }
        m_downEvent.reset();
    }
    return keyUpDelay(event);
}

bool TNHotkey::keyUpDelay(const QKeyEvent *event)
{
    m_hasRespondKeyDown = false;
    return sendAction(m_keyUpAction, m_keyUpActionBlock, event);
}

bool TNHotkey::sendAction(const TNHotkeyAction &action, const ActionBlock &block, const QKeyEvent *event)
{
    if (!action.isSet()) {
        if (!block)
            return false;
        // Copies: the block may replace itself or drop this shortcut.
        const ActionBlock run = block;
        const QVariant attachment = m_attachment;
        return run(attachment, event);
    }
    // An action addressed to a target that is gone goes nowhere: the key
    // stays unhandled and passes on.
    if (hasLostTarget())
        return false;
    const std::shared_ptr<const void> keepAlive = m_sharedTarget.lock();
    if (action.function()) {
        const TNHotkeyAction::Function run = action.function();
        run(*this);
        return true;
    }
    QObject *receiver = m_hasTarget ? m_targetObject.data() : responderFor(action.methodName());
    const QMetaMethod method = actionMethod(receiver, action.methodName());
    if (!method.isValid())
        return false;
    if (method.parameterCount() == 1)
        return method.invoke(receiver, Qt::DirectConnection, Q_ARG(kalvo::TNHotkey *, this));
    return method.invoke(receiver, Qt::DirectConnection);
}

void TNHotkey::cancelPendingCalls()
{
    for (const WorkItem &item : m_pendingCalls)
        item.cancel();
    m_pendingCalls.clear();
}

void TNHotkey::cleanUp()
{
    cancelPendingCalls();
    m_identifier.clear();
    m_combo = TNHotkeyCombo();
    m_attachment = QVariant();
    clearTarget();
    m_action = {};
    m_keyUpAction = {};
    m_keyDownActionBlock = nullptr;
    m_keyUpActionBlock = nullptr;
    m_keyDownLongPressDelay = 0.0;
    m_eventHotKeyRef = 0;
    m_downEvent.reset();
    m_isKeyDown = false;
    m_skipWhenTyping = -1;
    m_hasRespondKeyDown = false;
    setHotkeyCenter(nullptr);
}

bool TNHotkey::isEqual(const TNHotkey *other) const
{
    return other && *this == *other;
}

} // namespace kalvo
