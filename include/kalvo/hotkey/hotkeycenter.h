// The registry of a host's keyboard shortcuts, by identifier, in two scopes:
// local shortcuts act on the application's own key events, global ones
// system-wide (X11 key grabs).
//
//   auto *center = new TNHotkeyCenter(window);       // both scopes start paused
//   auto mute = TNHotkey::hotkeyWithIdentifier("mute", TNHotkeyCombo(KeyCode::M, ModifierFlag::command));
//   mute->setKeyDownActionBlock([](const QVariant &, const QKeyEvent *) { toggleMute(); return true; });
//   center->registerHotKey(mute, false);
//   center->resume(false);                            // now ⌘M (Meta+M) acts
//
//   // Or follow the hotkey store: registered while "[HK@state]-mute" is
//   // true, with the combination stored under "[HK@combo]-mute".
//   center->bindHotKey(TNHotkey::hotkeyWithIdentifier("mute", TNHotkeyCombo()), false);
//
// Registration keeps a copy of the shortcut (owned by this center) under a
// process-wide registration number. While a scope is paused its entries are
// kept but not active; resuming activates them again. A change of keyboard
// layout pauses active scopes and resumes them afterwards, so global
// shortcuts are grabbed again with the key codes of the new layout.
//
// Global registration fails (false, with the status) when the platform
// refuses: no X11 display, or another program holds the key. Nothing is
// stored then. Registering while the global scope is paused always
// succeeds; resuming then activates what the platform accepts, and entries
// it refused stay inactive (isActive()) until the next resume.
//
// Main thread only.
#pragma once

#include <kalvo/global.h>
#include <kalvo/hotkey/eventhotkeymgr.h>
#include <kalvo/hotkey/hotkey.h>
#include <kalvo/hotkey/hotkeycombo.h>
#include <kalvo/platform/observerowner.h>

#include <QHash>
#include <QMap>
#include <QObject>
#include <QString>
#include <QVariant>

#include <memory>
#include <optional>

QT_BEGIN_NAMESPACE
class QKeyEvent;
QT_END_NAMESPACE

namespace kalvo {

class TNHotkeyCenter;

// Every method is optional: the defaults say "not implemented".
class KALVO_EXPORT TNHotkeyCenterDelegate
{
public:
    virtual ~TNHotkeyCenterDelegate();
    // Before a bound shortcut changes (its stored state or combination).
    virtual void hotkeyCenterHotkeyWillUpdate(TNHotkeyCenter &center, const TNHotkey &hotkey);
    // Whether to let a local press pass; `suggest` is true when the
    // shortcut skips while typing and the user is typing.
    virtual std::optional<bool> hotkeyCenterShouldSkipHotkey(TNHotkeyCenter &center, const TNHotkey &hotkey,
                                                             const QKeyEvent *event, bool suggest);
    // A long press released early: true sends the press and the release
    // again to the focus window, so that the key acts as a plain keystroke.
    virtual std::optional<bool> hotkeyCenterLongPressFailShouldShortPress(TNHotkeyCenter &center,
                                                                          const TNHotkey &hotkey,
                                                                          const QKeyEvent *downEvent,
                                                                          const QKeyEvent *upEvent);
};

class KALVO_EXPORT TNHotkeyCenter : public QObject, public TNHotkeyCenterLink, public TNEventHotkeyHandler
{
    Q_OBJECT

public:
    using Registrations = QMap<qint64, std::shared_ptr<TNHotkey>>;

    explicit TNHotkeyCenter(QObject *parent = nullptr);
    ~TNHotkeyCenter() override; // cleanUp()

    // ---- Registration ----
    // False for a missing shortcut or an invalid combination, and when the
    // platform refuses (`status`, when given, says why).
    bool registerHotKey(const std::shared_ptr<TNHotkey> &hotkey, bool global, int *status = nullptr);
    // The entry whose combination equals the shortcut's.
    void unregisterHotKey(const TNHotkey &hotkey, bool global);
    void unregisterHotKeyByIdentifier(const QString &identifier, bool global);
    // The first registered entry with this combination, or null.
    std::shared_ptr<TNHotkey> getHotkeyByCombo(const TNHotkeyCombo &combo, bool global) const;
    // The registered entry with this identifier, or null.
    std::shared_ptr<TNHotkey> hotkeyByIdentifier(const QString &identifier, bool global) const;
    // Registration number → entry, in registration order.
    Registrations globalHotKeys() const { return m_globalHotKeys; }
    Registrations localHotkeys() const { return m_localHotkeys; }
    // Registered and, while the scope runs, accepted by its manager.
    bool isActive(const QString &identifier, bool global) const;

    // ---- Bindings to the hotkey store ----
    // Follows the stored state of the shortcut's identifier (nothing stored
    // counts as off) and, while it is on, its stored combination:
    // registered with the stored combination, unregistered when the state
    // turns off or the combination is removed. False without identifier.
    bool bindHotKey(const std::shared_ptr<TNHotkey> &hotkey, bool global);
    // Whether the combination of the identifier is bound (its state is on).
    bool isBindByIdentifier(const QString &identifier, bool global) const;
    // `bindName` as a combination binding name ("[HK@combo]-…",
    // "[gHK@combo]-…") of either scope.
    bool isBindByIdentifier(const QString &bindName) const;
    void unbindHotkeyByIdentifier(const QString &identifier, bool global);
    void unbindAll();
    // A binding name's value: for a state name whether its combination is
    // bound, for a combination name the bound shortcut's combination
    // dictionary; nothing for other names.
    QVariant valueForBindingName(const QString &bindName) const;

    // ---- Pausing ----
    void pause(bool global);
    void resume(bool global);
    void pauseAll();  // global, then local
    void resumeAll(); // global, then local
    bool isGlobalPaused() const { return m_isGlobalPaused; }
    bool isLocalPaused() const { return m_isLocalPaused; }
    bool isGlobalPausedByKeyBoard() const { return m_isGlobalPausedByKeyBoard; }
    bool isLocalPausedByKeyBoard() const { return m_isLocalPausedByKeyBoard; }

    // ---- Rules ----
    // Not marked invalid, a key, and modifiers unless supportNoneModifiers().
    bool isValidHotKeyCombo(const TNHotkeyCombo &combo) const;
    bool supportNoneModifiers() const { return m_isSupportNoneModifiers; }
    void setSupportNoneModifiers(bool support) { m_isSupportNoneModifiers = support; }
    // Carbon masks added to every combination registered in the scope.
    quint32 globalRequiredModifiers() const { return m_globalRequiredModifiers; }
    void setGlobalRequiredModifiers(quint32 carbonMask) { m_globalRequiredModifiers = carbonMask; }
    quint32 localRequiredModifiers() const { return m_localRequiredModifiers; }
    void setLocalRequiredModifiers(quint32 carbonMask) { m_localRequiredModifiers = carbonMask; }

    std::shared_ptr<TNHotkeyCenterDelegate> delegate() const { return m_delegate.lock(); }
    void setDelegate(const std::shared_ptr<TNHotkeyCenterDelegate> &delegate) { m_delegate = delegate; }

    // ---- Events ----
    // Whether the user is typing: the focus widget is an editable text
    // widget (QLineEdit, QTextEdit, QPlainTextEdit, a spin box, an editable
    // combo box, none of them read-only) or a web or code view.
    static bool isApplicationTyping();

    int appEventActionWithHotkeyMgr(TNAppEventHotkeyMgr &mgr, QKeyEvent *event, TNEventHotKeyRef hotkeyRef) override;
    int globalEventActionWithHotkeyMgr(TNGlobalEventHotkeyMgr &mgr, const TNGlobalHotkeyEvent &event,
                                       TNEventHotKeyRef hotkeyRef) override;
    int handleLocalEvent(QKeyEvent *event, TNEventHotKeyRef hotkeyRef);
    int handleGlobalEvent(const TNGlobalHotkeyEvent &event, TNEventHotKeyRef hotkeyRef);
    void hotkeyLongPressFail(TNHotkey &hotkey, const QKeyEvent *downEvent, const QKeyEvent *upEvent) override;

    // Stops observing (the store and layout changes), drops the delegate,
    // pauses and unbinds everything and empties the registry.
    void cleanUp();

private:
    Registrations &entries(bool global) { return global ? m_globalHotKeys : m_localHotkeys; }
    const Registrations &entries(bool global) const { return global ? m_globalHotKeys : m_localHotkeys; }
    bool &paused(bool global) { return global ? m_isGlobalPaused : m_isLocalPaused; }
    QHash<TNEventHotKeyRef, std::shared_ptr<TNHotkey>> &byRef(bool global)
    {
        return global ? m_globalByRef : m_localByRef;
    }
    QHash<QString, qint64> &byIdentifier(bool global) { return global ? m_globalByIdentifier : m_localByIdentifier; }
    TNEventHotkeyMgr &manager(bool global) const;
    void removeEntry(qint64 number, bool global);
    void updateHandlerRegistration(bool global);
    void observeKeyboardLayout();
    void keyboardLayoutWillChange();
    void keyboardLayoutDidChange();

    void bindState(const QString &identifier, bool global);
    void stateValuePushed(const QString &stateName, bool global, const QVariant &value);
    void bindCombination(const QString &stateName, bool global);
    void comboValuePushed(const QString &comboName, bool global, const QVariant &value);
    void unbindCombination(const QString &identifier, bool global);

    bool m_isGlobalPaused = true;
    Registrations m_globalHotKeys;
    quint32 m_globalRequiredModifiers = 0;
    bool m_globalEventHandler = false;
    bool m_isLocalPaused = true;
    bool m_localEventHandler = false;
    Registrations m_localHotkeys;
    quint32 m_localRequiredModifiers = 0;
    bool m_isSupportNoneModifiers = true;
    QMap<QString, std::shared_ptr<TNHotkey>> m_globalBinders, m_localBinders;
    QMap<QString, std::shared_ptr<TNHotkey>> m_globalStateBinders, m_localStateBinders;
    bool m_isLocalPausedByKeyBoard = false;
    bool m_isGlobalPausedByKeyBoard = false;
    std::weak_ptr<TNHotkeyCenterDelegate> m_delegate;

    // Entries by handle (while active) and by identifier.
    QHash<TNEventHotKeyRef, std::shared_ptr<TNHotkey>> m_globalByRef, m_localByRef;
    QHash<QString, qint64> m_globalByIdentifier, m_localByIdentifier;
    // Store observations by binding name.
    QMap<QString, ObserverId> m_bindings;
    bool m_replayedKeystroke = false;
    ObserverId m_layoutWillChange = 0;
    ObserverId m_layoutDidChange = 0;
};

} // namespace kalvo
