// A registered keyboard shortcut: an identifier, a key combination and what
// to do on key down and key up.
//
//   auto mute = TNHotkey::hotkeyWithIdentifier("mute", TNHotkeyCombo(KeyCode::M, ModifierFlag::command));
//   mute->setTarget(window);               // a QObject, held weakly
//   mute->setAction("toggleMute");         // invokes toggleMute(kalvo::TNHotkey*) or toggleMute()
//   // or, with any target or none:
//   mute->setKeyDownActionBlock([](const QVariant &attachment, const QKeyEvent *event) { ...; return true; });
//
// Actions. An action is either the name of an invokable method (slot or
// Q_INVOKABLE) run on a QObject target with the shortcut as sender, or a
// callable run with the shortcut. The target is held weakly: a QObject or a
// std::shared_ptr-held object; once it is gone, the actions addressed to it
// no longer run. A method name without a target goes to the focus widget
// and up its parents to the first one that has the method.
// When a method or callable action is set it wins over the matching block.
//
// Long press. With keyDownLongPressDelay() above 1e-6 s, key down only
// starts the delay (through the scheduler); the key-down action runs when it
// elapses with the key still held. Releasing the key earlier cancels it and
// reports the failed press to the owning center.
//
// Shortcuts are shared objects (std::shared_ptr): registries keep copies
// (copy()). Main thread only.
#pragma once

#include <kalvo/hotkey/hotkeycombo.h>
#include <kalvo/platform/scheduler.h>

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariant>

#include <concepts>
#include <functional>
#include <memory>
#include <type_traits>
#include <vector>

QT_BEGIN_NAMESPACE
class QKeyEvent;
QT_END_NAMESPACE

namespace kalvo {

class TNHotkey;

// The platform registration of a shortcut while it is registered: a handle
// number from the hotkey managers; 0 = none.
using TNEventHotKeyRef = quint64;

// What a shortcut's owner (the hotkey center) hears from it. A shortcut
// holds its center weakly: the link lapses when the center is destroyed.
class KALVO_EXPORT TNHotkeyCenterLink
{
public:
    TNHotkeyCenterLink();
    virtual ~TNHotkeyCenterLink();
    TNHotkeyCenterLink(const TNHotkeyCenterLink &) = delete;
    TNHotkeyCenterLink &operator=(const TNHotkeyCenterLink &) = delete;

    // A long press released before its delay: `downEvent` is the press
    // (null for global shortcuts), `upEvent` the release (may be null).
    virtual void hotkeyLongPressFail(TNHotkey &hotkey, const QKeyEvent *downEvent, const QKeyEvent *upEvent) = 0;

private:
    friend class TNHotkey;
    std::shared_ptr<int> m_lifetime;
};

// A key-down or key-up action: an invokable method name on a QObject target,
// or a callable. Empty by default.
class KALVO_EXPORT TNHotkeyAction
{
public:
    using Function = std::function<void(TNHotkey &sender)>;

    TNHotkeyAction() = default;
    TNHotkeyAction(const char *methodName) : m_methodName(methodName) {}
    TNHotkeyAction(const QByteArray &methodName) : m_methodName(methodName) {}
    template <typename F>
        requires(std::is_invocable_v<F &, TNHotkey &> && !std::is_convertible_v<F, QByteArray>)
    TNHotkeyAction(F &&function) : m_function(std::forward<F>(function))
    {
    }

    bool isSet() const { return !m_methodName.isEmpty() || static_cast<bool>(m_function); }
    explicit operator bool() const { return isSet(); }
    QByteArray methodName() const { return m_methodName; }
    const Function &function() const { return m_function; }

private:
    QByteArray m_methodName;
    Function m_function;
};

class KALVO_EXPORT TNHotkey
{
public:
    // (attachment, event) -> handled. The event is null for global shortcuts.
    using ActionBlock = std::function<bool(const QVariant &attachment, const QKeyEvent *event)>;

    TNHotkey(); // empty identifier, null combination
    TNHotkey(const QString &identifier, const TNHotkeyCombo &combo, const QVariant &attachment = {});
    ~TNHotkey(); // cleanUp()
    TNHotkey(const TNHotkey &) = delete;
    TNHotkey &operator=(const TNHotkey &) = delete;

    static std::shared_ptr<TNHotkey> hotkeyWithIdentifier(const QString &identifier, const TNHotkeyCombo &combo,
                                                          const QVariant &attachment = {});
    // Without combination (the null combination).
    static std::shared_ptr<TNHotkey> hotkeyWithIdentifier(const QString &identifier, const QVariant &attachment);

    // Same identifier, combination, attachment, target, actions, blocks,
    // long-press delay, eventHotKeyRef and skipWhenTyping; not pressed, no
    // center, no pending press.
    std::shared_ptr<TNHotkey> copy() const;

    QString identifier() const { return m_identifier; }
    void setIdentifier(const QString &identifier) { m_identifier = identifier; }
    // "No combination" is the null combination.
    const TNHotkeyCombo &hotkeyCombo() const { return m_combo; }
    void setHotkeyCombo(const TNHotkeyCombo &combo) { m_combo = combo; }
    QVariant attachment() const { return m_attachment; }
    void setAttachment(const QVariant &attachment) { m_attachment = attachment; }

    // ---- Target and actions ----
    void setTarget(QObject *target);
    template <typename T>
    void setTarget(const std::shared_ptr<T> &target)
    {
        QObject *object = nullptr;
        if constexpr (std::is_base_of_v<QObject, T>)
            object = target.get();
        setSharedTarget(std::static_pointer_cast<const void>(std::shared_ptr<const T>(target)), object,
                        target.get());
    }
    void clearTarget();
    // A target was set and is gone.
    bool hasLostTarget() const;
    // The QObject target while alive, else null.
    QObject *targetObject() const;
    // The target's address while alive (QObject or shared), else null.
    const void *target() const;

    const TNHotkeyAction &action() const { return m_action; }
    void setAction(TNHotkeyAction action) { m_action = std::move(action); }
    const TNHotkeyAction &keyUpAction() const { return m_keyUpAction; }
    void setKeyUpAction(TNHotkeyAction action) { m_keyUpAction = std::move(action); }
    const ActionBlock &keyDownActionBlock() const { return m_keyDownActionBlock; }
    void setKeyDownActionBlock(ActionBlock block) { m_keyDownActionBlock = std::move(block); }
    const ActionBlock &keyUpActionBlock() const { return m_keyUpActionBlock; }
    void setKeyUpActionBlock(ActionBlock block) { m_keyUpActionBlock = std::move(block); }

    // ---- Long press ----
    double keyDownLongPressDelay() const { return m_keyDownLongPressDelay; }
    void setKeyDownLongPressDelay(double seconds) { m_keyDownLongPressDelay = seconds; }
    bool isLongPressHotkey() const { return m_keyDownLongPressDelay > 1e-6; }
    // The press of a pending long press (null for global shortcuts or when
    // none is pending).
    const QKeyEvent *downEvent() const { return m_downEvent.get(); }

    // ---- State ----
    bool isKeyDown() const { return m_isKeyDown; }
    bool hasRespondKeyDown() const { return m_hasRespondKeyDown; }
    // No Carbon modifiers, or no key.
    bool isSingleKeyCombo() const;
    // 1 = always skip while the user types, 0 = never, anything else
    // (default -1) = skip exactly when isSingleKeyCombo().
    bool skipWhenTyping() const;
    qint16 skipWhenTypingValue() const { return m_skipWhenTyping; }
    void setSkipWhenTyping(qint16 value) { m_skipWhenTyping = value; }

    TNEventHotKeyRef eventHotKeyRef() const { return m_eventHotKeyRef; }
    void setEventHotKeyRef(TNEventHotKeyRef ref) { m_eventHotKeyRef = ref; }

    // The owning center while it lives, else null.
    TNHotkeyCenterLink *hotkeyCenter() const;
    void setHotkeyCenter(TNHotkeyCenterLink *center);

    // ---- Key handling ----
    // The event may be null (global shortcuts). Each returns whether the
    // press was handled.
    bool keyDown(const QKeyEvent *event);
    bool keyDownDelay(const QKeyEvent *event);
    bool keyUp(const QKeyEvent *event);
    bool keyUpDelay(const QKeyEvent *event);

    // Cancels pending delayed calls and clears every field.
    void cleanUp();

    // Equal combinations; the identifier is not compared. A null pointer is
    // never equal.
    bool isEqual(const TNHotkey *other) const;
    friend bool operator==(const TNHotkey &a, const TNHotkey &b) { return a.m_combo == b.m_combo; }

private:
    void setSharedTarget(std::shared_ptr<const void> target, QObject *object, const void *identity);
    bool sendAction(const TNHotkeyAction &action, const ActionBlock &block, const QKeyEvent *event);
    void cancelPendingCalls();

    QString m_identifier;
    TNHotkeyCombo m_combo;
    QVariant m_attachment;
    QPointer<QObject> m_targetObject;
    std::weak_ptr<const void> m_sharedTarget;
    const void *m_targetIdentity = nullptr;
    bool m_hasTarget = false;
    bool m_targetIsShared = false;
    TNHotkeyAction m_action;
    TNHotkeyAction m_keyUpAction;
    ActionBlock m_keyDownActionBlock;
    ActionBlock m_keyUpActionBlock;
    double m_keyDownLongPressDelay = 0.0;
    TNEventHotKeyRef m_eventHotKeyRef = 0;
    std::shared_ptr<QKeyEvent> m_downEvent;
    bool m_isKeyDown = false;
    qint16 m_skipWhenTyping = -1;
    bool m_hasRespondKeyDown = false;
    TNHotkeyCenterLink *m_center = nullptr;
    std::weak_ptr<int> m_centerLifetime;
    std::vector<WorkItem> m_pendingCalls;
};

} // namespace kalvo

Q_DECLARE_METATYPE(kalvo::TNHotkey *)
