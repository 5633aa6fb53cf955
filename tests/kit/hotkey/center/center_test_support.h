// Shared pieces of the hotkey center tests: a key grabber that records
// grabs instead of talking to a window system, and key events sent the way
// the application would receive them.
#pragma once

#include "platform/linux/hotkeys/global_key_grabber.h"

#include <kalvo/hotkey/eventhotkeymgr.h>

#include <QApplication>
#include <QHash>
#include <QKeyEvent>
#include <QSet>

#include <utility>

struct FakeGrab
{
    int keyCode = -1;
    unsigned modifierFlags = 0;
};

class FakeKeyGrabber final : public kalvo::GlobalKeyGrabber
{
public:
    bool available = true;
    // Keys "another program" holds: (key code, modifier flags).
    QSet<std::pair<int, unsigned>> heldElsewhere;
    QHash<quint64, FakeGrab> grabs;
    int grabCalls = 0;

    bool isAvailable() const override { return available; }
    kalvo::KeyGrabResult grab(quint64 id, int keyCode, unsigned flags) override
    {
        ++grabCalls;
        grabs.remove(id);
        if (!available)
            return kalvo::KeyGrabResult::unavailable;
        if (heldElsewhere.contains({keyCode, flags & 0x1E0000}))
            return kalvo::KeyGrabResult::heldByAnotherClient;
        grabs.insert(id, {keyCode, flags & 0x1E0000});
        return kalvo::KeyGrabResult::grabbed;
    }
    void ungrab(quint64 id) override { grabs.remove(id); }
    bool isGrabbed(quint64 id) const override { return grabs.contains(id); }
    int grabCount() const override { return int(grabs.size()); }

    // The id grabbing this key, 0 when none.
    quint64 idFor(int keyCode, unsigned flags) const
    {
        for (auto it = grabs.cbegin(); it != grabs.cend(); ++it) {
            if (it->keyCode == keyCode && it->modifierFlags == (flags & 0x1E0000))
                return it.key();
        }
        return 0;
    }
    // A press and release of a grabbed key, as the platform reports them.
    bool tap(int keyCode, unsigned flags)
    {
        const quint64 id = idFor(keyCode, flags);
        if (!id)
            return false;
        deliver(id, true);
        deliver(id, false);
        return true;
    }
    void press(quint64 id, bool pressed) { deliver(id, pressed); }
};

// Installs a fake grabber in the global manager for the test's duration.
class ScopedFakeGrabber
{
public:
    ScopedFakeGrabber()
    {
        auto grabber = std::make_unique<FakeKeyGrabber>();
        fake = grabber.get();
        kalvo::TNGlobalEventHotkeyMgr::shared().setKeyGrabber(std::move(grabber));
    }
    ~ScopedFakeGrabber() { kalvo::TNGlobalEventHotkeyMgr::shared().setKeyGrabber(kalvo::createUnavailableKeyGrabber()); }
    FakeKeyGrabber *operator->() const { return fake; }
    FakeKeyGrabber *fake = nullptr;

    ScopedFakeGrabber(const ScopedFakeGrabber &) = delete;
    ScopedFakeGrabber &operator=(const ScopedFakeGrabber &) = delete;
};

// Sends a key press (with its shortcut override, as Qt does for sent
// events) or release to `receiver`; returns whether it was accepted.
inline bool sendKey(QObject *receiver, QEvent::Type type, Qt::Key key, Qt::KeyboardModifiers modifiers = {},
                    bool autoRepeat = false)
{
    QKeyEvent event(type, key, modifiers, QString(), autoRepeat);
    return QApplication::sendEvent(receiver, &event);
}

inline void tapKey(QObject *receiver, Qt::Key key, Qt::KeyboardModifiers modifiers = {})
{
    sendKey(receiver, QEvent::KeyPress, key, modifiers);
    sendKey(receiver, QEvent::KeyRelease, key, modifiers);
}
