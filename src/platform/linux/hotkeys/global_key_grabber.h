// System-wide key grabs: the platform service behind global shortcuts.
//
//   auto grabber = kalvo::createDefaultGlobalKeyGrabber();
//   grabber->setListener([](quint64 id, bool pressed) { ... });   // main thread
//   if (grabber->grab(7, kalvo::KeyCode::K, ModifierFlag::control) != KeyGrabResult::grabbed) ...
//   grabber->ungrab(7);
//
// Keys are Kalvo key codes (physical positions); the caller converts a stored
// shortcut to the position of the current keyboard layout first. Modifiers
// use the event-flag convention; the function bit is ignored. Caps Lock and
// Num Lock never matter: a grab covers every state of both.
//
// Each grab is named by a caller's id. Two ids may grab the same key; the
// key stays grabbed until both let go, and a press is reported for each.
// Presses are reported once per press (auto-repeat is filtered out), and the
// release goes to the ids the press went to even when the modifiers were let
// go first.
//
// Not thread-safe: create and use on the main thread.
#pragma once

#include <kalvo/global.h>

#include <QString>
#include <QtGlobal>

#include <functional>
#include <memory>

namespace kalvo {

enum class KeyGrabResult {
    grabbed,
    // Another program holds the key (X11: BadAccess); nothing was grabbed.
    heldByAnotherClient,
    // The key has no code on this keyboard, or the modifier none.
    keyNotOnKeyboard,
    // There is no display to grab keys on (no X11 server, or a Wayland
    // session, where clients cannot grab keys).
    unavailable,
    // Any other refusal of the window system.
    failed,
};

class KALVO_EXPORT GlobalKeyGrabber
{
public:
    using Listener = std::function<void(quint64 grabId, bool pressed)>;

    virtual ~GlobalKeyGrabber();

    virtual bool isAvailable() const = 0;
    // Grabs the key for `grabId`; an id that holds a grab gives it up first.
    virtual KeyGrabResult grab(quint64 grabId, int keyCode, unsigned modifierFlags) = 0;
    virtual void ungrab(quint64 grabId) = 0;
    virtual bool isGrabbed(quint64 grabId) const = 0;
    virtual int grabCount() const = 0;

    void setListener(Listener listener) { m_listener = std::move(listener); }

protected:
    void deliver(quint64 grabId, bool pressed) const
    {
        if (m_listener)
            m_listener(grabId, pressed);
    }

private:
    Listener m_listener;
};

// A grabber on the X server `displayName` (empty: $DISPLAY) over its own
// connection, read on the main thread's event loop whatever Qt platform the
// application runs on. Unavailable when the server cannot be reached.
KALVO_EXPORT std::unique_ptr<GlobalKeyGrabber> createX11KeyGrabber(const QString &displayName = {});
// A grabber that refuses every grab as unavailable.
KALVO_EXPORT std::unique_ptr<GlobalKeyGrabber> createUnavailableKeyGrabber();
// X11 when the application runs on an X server (not on Wayland, where a
// grab on XWayland would only see keys typed into X11 windows), else the
// unavailable one.
KALVO_EXPORT std::unique_ptr<GlobalKeyGrabber> createDefaultGlobalKeyGrabber();

} // namespace kalvo
