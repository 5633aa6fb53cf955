// The process-wide shortcut managers behind every TNHotkeyCenter: the local
// one matches the application's own key events, the global one holds
// system-wide key grabs. Centers register combinations with them and are
// called back when one is pressed.
//
//   TNEventHotKeyRef ref = 0;
//   int status = TNAppEventHotkeyMgr::shared().registerEventHotkey(combo, center, &ref);
//   if (status == kTNHotkeyNoErr) ...;   // center->appEventActionWithHotkeyMgr(...) on each press
//   TNAppEventHotkeyMgr::shared().unregisterEventHotKey(ref);
//
// Hosts normally use TNHotkeyCenter and never call these directly.
//
// Local shortcuts. While any combination is registered the local manager
// filters the application's key events (an event filter on the
// QApplication). A press is first offered to the focus widget's hotkey
// responder chain (TNHotkeyResponder): a widget that claims it holds the key
// until its release. Otherwise records whose key code and modifiers equal
// the event's (Shift, Control, Option/Alt, Command/Meta and the function bit
// of F-keys and arrows; Caps Lock and keypad state are ignored) are called,
// newest first, until one handles it; a handled press is swallowed, and so
// is its Qt shortcut (QAction, QShortcut). Records are indexed by key, so the
// cost of a keystroke does not grow with the number of shortcuts.
//
// Global shortcuts. One platform grab per distinct combination, shared by
// every record of it; presses and releases are dispatched newest record
// first. On X11 the combination is grabbed with the key code it has in the
// current keyboard layout, so a letter shortcut keeps its letter. Without an
// X11 display (or on Wayland) registration fails with
// kTNHotkeyUnavailableErr; a key another program holds fails with
// kTNHotkeyExistsErr.
//
// Main thread only.
#pragma once

#include <kalvo/global.h>
#include <kalvo/hotkey/hotkey.h>
#include <kalvo/hotkey/hotkeycombo.h>

#include <QList>
#include <QString>

#include <unordered_map>
#include <memory>
#include <vector>

QT_BEGIN_NAMESPACE
class QKeyEvent;
class QObject;
QT_END_NAMESPACE

namespace kalvo {

class GlobalKeyGrabber;
class TNAppEventHotkeyMgr;
class TNGlobalEventHotkeyMgr;

// ---- Statuses ----
// The platform event statuses the managers and handlers return.
inline constexpr int kTNHotkeyNoErr = 0;              // handled / registered
inline constexpr int kTNHotkeyNotHandledErr = -9874;  // the event goes on
inline constexpr int kTNHotkeyExistsErr = -9878;      // registered already, or held by another program
inline constexpr int kTNHotkeyInvalidErr = -9879;     // the key has no place on this keyboard
inline constexpr int kTNHotkeyUnavailableErr = -9868; // no global shortcut service (no X11 display, Wayland)

// A global press or release (the platform's hot-key event kinds).
struct TNGlobalHotkeyEvent
{
    enum Kind { pressed = 5, released = 6 };
    Kind kind = pressed;
};

// What the managers call. Every method answers "not handled" unless
// overridden.
class KALVO_EXPORT TNEventHotkeyHandler
{
public:
    virtual ~TNEventHotkeyHandler();
    virtual int appEventActionWithHotkeyMgr(TNAppEventHotkeyMgr &mgr, QKeyEvent *event, TNEventHotKeyRef hotkeyRef);
    virtual int globalEventActionWithHotkeyMgr(TNGlobalEventHotkeyMgr &mgr, const TNGlobalHotkeyEvent &event,
                                               TNEventHotKeyRef hotkeyRef);
};

// One registration in a manager.
struct TNEventHotkeyRecord
{
    bool isKeyDown = false;
    TNHotkeyCombo keyCombo;
    TNEventHotKeyRef hotkeyRef = 0;
    TNEventHotkeyHandler *handler = nullptr;
};

// A widget that may claim a key press before shortcuts see it: inherit it
// beside QWidget and override handleHotkeyWithEvent(). The answer is the
// object that holds the key until it is released (it then receives the
// repeats and the release through this method too), or null to let
// shortcuts have it. The default asks the widget's parent, as widgets that
// do not inherit this class do; an override that wants the same calls
// nextHotkeyResponder().
class KALVO_EXPORT TNHotkeyResponder
{
public:
    TNHotkeyResponder();
    TNHotkeyResponder(const TNHotkeyResponder &);
    TNHotkeyResponder &operator=(const TNHotkeyResponder &) = default;
    virtual ~TNHotkeyResponder();
    // How many exist: without any, key presses skip the responder chain.
    static int instanceCount();
    virtual QObject *handleHotkeyWithEvent(QKeyEvent *event);

    // The answer of `widget`'s hotkey responder chain: the first widget from
    // `widget` up that inherits TNHotkeyResponder answers; a chain without
    // one answers null.
    static QObject *handleHotkeyWithEvent(QObject *widget, QKeyEvent *event);

protected:
    QObject *nextHotkeyResponder(QKeyEvent *event);
};

class KALVO_EXPORT TNEventHotkeyMgr
{
public:
    virtual ~TNEventHotkeyMgr();
    TNEventHotkeyMgr(const TNEventHotkeyMgr &) = delete;
    TNEventHotkeyMgr &operator=(const TNEventHotkeyMgr &) = delete;

    // Handlers whose records are served. Null is ignored; adding twice keeps
    // one.
    void addEventHandler(TNEventHotkeyHandler *handler);
    void removeEventHandler(TNEventHotkeyHandler *handler);
    bool hasEventHandler(const TNEventHotkeyHandler *handler) const;
    QList<TNEventHotkeyHandler *> handlerArray() const { return m_handlers; }

    // kTNHotkeyExistsErr when `handler` has this combination already
    // (nothing added); otherwise a new record and its handle in `hotkeyRef`.
    virtual int registerEventHotkey(const TNHotkeyCombo &combo, TNEventHotkeyHandler *handler,
                                    TNEventHotKeyRef *hotkeyRef);
    virtual void unregisterEventHotKey(TNEventHotKeyRef hotkeyRef);
    // The record with this handle, or null.
    const TNEventHotkeyRecord *getHotkeyBy(TNEventHotKeyRef hotkeyRef) const;
    // Records, oldest first.
    QList<TNEventHotkeyRecord> hotkeyArray() const;
    int hotkeyCount() const { return int(m_records.size()); }

protected:
    TNEventHotkeyMgr();

    TNEventHotkeyRecord *record(TNEventHotKeyRef hotkeyRef);
    // Handles of the records with this key code and these event-flag
    // modifiers, oldest first (empty when none).
    const std::vector<TNEventHotKeyRef> &recordsFor(int keyCode, quint32 nsEventModifiers) const;
    // Handles of the records with this key code that are down, oldest first.
    const std::vector<TNEventHotKeyRef> &pressedRecordsFor(int keyCode) const;
    void setKeyDown(TNEventHotkeyRecord &record, bool down);
    // After records were added or removed.
    virtual void updateEventMonitor() {}

    // Handles of records and of shared global entries share one counter.
    static TNEventHotKeyRef nextHandle();

private:
    QList<TNEventHotkeyHandler *> m_handlers;
    // Node-based: a record stays put while handlers add others.
    std::unordered_map<TNEventHotKeyRef, TNEventHotkeyRecord> m_records;
    // (key code, modifiers) → handles, and key code → handles of records
    // that are down; handles grow, so each list is oldest first.
    std::unordered_map<quint64, std::vector<TNEventHotKeyRef>> m_byCombo;
    std::unordered_map<int, std::vector<TNEventHotKeyRef>> m_pressed;
};

class KALVO_EXPORT TNAppEventHotkeyMgr final : public TNEventHotkeyMgr
{
public:
    static TNAppEventHotkeyMgr &shared();

    // Runs one key event through the local shortcuts as the event filter
    // does; true when it is swallowed. `receiver` is the object the event
    // was sent to.
    bool handleKeyEvent(QObject *receiver, QKeyEvent *event);
    // Whether the event filter is installed.
    bool isMonitoring() const;
    // The object holding the current key press, if any.
    QObject *assignedEventHandler() const;
    // Sends a key event to `receiver` without local shortcuts seeing it
    // (replaying a key as a plain keystroke).
    void sendEventBypassingShortcuts(QObject *receiver, QKeyEvent *event);

    struct Private;

protected:
    void updateEventMonitor() override;

private:
    TNAppEventHotkeyMgr();
    ~TNAppEventHotkeyMgr() override;
    bool dispatchKeyDown(QKeyEvent *event, bool isOverride);
    bool dispatchKeyUp(QKeyEvent *event);

    std::unique_ptr<Private> d;
};

class KALVO_EXPORT TNGlobalEventHotkeyMgr final : public TNEventHotkeyMgr
{
public:
    static TNGlobalEventHotkeyMgr &shared();

    // Adds the record, then grabs its combination unless another record of
    // the same combination holds the grab already. A refused grab removes
    // the record again and returns the platform's status.
    int registerEventHotkey(const TNHotkeyCombo &combo, TNEventHotkeyHandler *handler,
                            TNEventHotKeyRef *hotkeyRef) override;
    void unregisterEventHotKey(TNEventHotKeyRef hotkeyRef) override;

    // The platform service. By default the X11 server of $DISPLAY (or none,
    // see above), created on first registration. Replacing it drops every
    // grab of the old one and grabs every registered combination again.
    void setKeyGrabber(std::unique_ptr<GlobalKeyGrabber> grabber);
    // Connects to another X server ("" for $DISPLAY); false when it cannot
    // be reached (registration then fails with kTNHotkeyUnavailableErr).
    bool connectToDisplay(const QString &displayName);
    bool isAvailable();

    // Shared platform registrations: "ID(<key code>,<event-flag modifiers>)".
    QStringList globalHotkeyRefKeys() const;
    // The record handles sharing one platform registration, oldest first.
    QList<TNEventHotKeyRef> subHotkeyRefs(const QString &key) const;

    // Runs a platform press or release of the shared registration `entryRef`
    // through its records, newest first; kTNHotkeyNoErr when one handled it.
    int dispatchGlobalEvent(TNEventHotKeyRef entryRef, const TNGlobalHotkeyEvent &event);

    struct Private;

protected:
    void updateEventMonitor() override;

private:
    TNGlobalEventHotkeyMgr();
    ~TNGlobalEventHotkeyMgr() override;
    GlobalKeyGrabber &grabber();
    int grabEntry(TNEventHotKeyRef entryRef, const TNHotkeyCombo &combo);

    std::unique_ptr<Private> d;
};

} // namespace kalvo
