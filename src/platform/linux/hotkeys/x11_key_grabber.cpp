// Global shortcuts on X11: passive key grabs on the root window.
//
// The grabber keeps a connection of its own rather than borrowing Qt's: it
// works whatever platform Qt runs on (offscreen in tests, xcb on the
// desktop), and its requests and errors never mix with Qt's. The connection
// is read through a socket notifier on the main thread.
//
// X matches a grab against the exact modifier state, so each shortcut is
// grabbed four times: with and without Lock, with and without the modifier
// that carries Num_Lock. The grabs are checked requests, so a key another
// client holds (BadAccess) is reported and the variants already taken are
// given back.
#include "global_key_grabber.h"

#include <kalvo/platform/keycodes.h>

#include <QHash>
#include <QList>
#include <QSocketNotifier>
#include <QTimer>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
// xkb.h names a field `explicit`, a C++ keyword.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit

#include <array>
#include <cstdlib>
#include <vector>

namespace kalvo {

namespace {

constexpr xcb_keysym_t kNumLock = 0xff7f;
constexpr xcb_keysym_t kAltL = 0xffe9, kAltR = 0xffea, kMetaL = 0xffe7, kMetaR = 0xffe8;
constexpr xcb_keysym_t kSuperL = 0xffeb, kSuperR = 0xffec;

// The modifier bits a grab names; Lock and Num Lock are added as variants.
constexpr uint16_t kModifierBits = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_2
    | XCB_MOD_MASK_3 | XCB_MOD_MASK_4 | XCB_MOD_MASK_5;

struct Key
{
    xcb_keycode_t keycode = 0;
    uint16_t modifiers = 0;
    quint32 packed() const { return (quint32(keycode) << 16) | modifiers; }
};

class X11KeyGrabber final : public GlobalKeyGrabber
{
public:
    explicit X11KeyGrabber(const QString &displayName)
    {
        const QByteArray name = displayName.toLocal8Bit();
        int screenNumber = 0;
        m_connection = xcb_connect(name.isEmpty() ? nullptr : name.constData(), &screenNumber);
        if (!m_connection || xcb_connection_has_error(m_connection)) {
            close();
            return;
        }
        const xcb_setup_t *setup = xcb_get_setup(m_connection);
        m_minKeycode = setup->min_keycode;
        m_maxKeycode = setup->max_keycode;
        xcb_screen_iterator_t screens = xcb_setup_roots_iterator(setup);
        for (int i = 0; i < screenNumber && screens.rem > 0; ++i)
            xcb_screen_next(&screens);
        if (screens.rem <= 0) {
            close();
            return;
        }
        m_root = screens.data->root;
        enableDetectableAutoRepeat();

        m_notifier = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(m_connection), QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(), [this] { drain(); });
    }

    ~X11KeyGrabber() override
    {
        if (m_connection) {
            const auto ids = m_grabs.keys();
            for (quint64 id : ids)
                ungrab(id);
        }
        close();
    }

    bool isAvailable() const override { return m_connection != nullptr; }

    KeyGrabResult grab(quint64 grabId, int keyCode, unsigned modifierFlags) override
    {
        ungrab(grabId);
        if (!m_connection)
            return KeyGrabResult::unavailable;

        // The layout may have changed since the last grab; the keymap is read
        // afresh so that modifiers and key codes are current.
        refreshKeymap();
        const std::optional<Key> key = keyFor(keyCode, modifierFlags);
        if (!key)
            return KeyGrabResult::keyNotOnKeyboard;

        if (m_holders.value(key->packed()).isEmpty()) {
            const KeyGrabResult result = grabVariants(*key);
            if (result != KeyGrabResult::grabbed)
                return result;
        }
        m_holders[key->packed()].append(grabId);
        m_grabs.insert(grabId, *key);
        // Waiting for the replies may have queued events the socket notifier
        // will not announce again.
        scheduleDrain();
        return KeyGrabResult::grabbed;
    }

    void ungrab(quint64 grabId) override
    {
        auto it = m_grabs.find(grabId);
        if (it == m_grabs.end())
            return;
        const Key key = *it;
        m_grabs.erase(it);
        auto holders = m_holders.find(key.packed());
        if (holders == m_holders.end())
            return;
        holders->removeAll(grabId);
        if (!holders->isEmpty())
            return;
        m_holders.erase(holders);
        if (!m_connection)
            return;
        for (uint16_t variant : lockVariants())
            xcb_ungrab_key(m_connection, key.keycode, m_root, key.modifiers | variant);
        sync();
    }

    bool isGrabbed(quint64 grabId) const override { return m_grabs.contains(grabId); }
    int grabCount() const override { return int(m_grabs.size()); }

private:
    void close()
    {
        m_notifier.reset();
        if (m_keySymbols) {
            xcb_key_symbols_free(m_keySymbols);
            m_keySymbols = nullptr;
        }
        if (m_connection) {
            xcb_disconnect(m_connection);
            m_connection = nullptr;
        }
        m_holders.clear();
        m_grabs.clear();
        m_pressed.clear();
    }

    // Without it a held key repeats as release/press pairs, indistinguishable
    // from the user pressing again; with it only presses repeat.
    void enableDetectableAutoRepeat()
    {
        xcb_xkb_use_extension_reply_t *use =
            xcb_xkb_use_extension_reply(m_connection, xcb_xkb_use_extension(m_connection, 1, 0), nullptr);
        const bool supported = use && use->supported;
        std::free(use);
        if (!supported)
            return;
        const uint32_t flag = XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT;
        xcb_xkb_per_client_flags_reply_t *reply = xcb_xkb_per_client_flags_reply(
            m_connection, xcb_xkb_per_client_flags(m_connection, XCB_XKB_ID_USE_CORE_KBD, flag, flag, 0, 0, 0),
            nullptr);
        m_detectableAutoRepeat = reply && (reply->value & flag);
        std::free(reply);
    }

    void refreshKeymap()
    {
        if (m_keySymbols)
            xcb_key_symbols_free(m_keySymbols);
        m_keySymbols = xcb_key_symbols_alloc(m_connection);

        m_numLockMask = 0;
        m_altMask = 0;
        m_superMask = 0;
        xcb_get_modifier_mapping_reply_t *reply =
            xcb_get_modifier_mapping_reply(m_connection, xcb_get_modifier_mapping(m_connection), nullptr);
        if (reply) {
            const xcb_keycode_t *codes = xcb_get_modifier_mapping_keycodes(reply);
            const int perModifier = reply->keycodes_per_modifier;
            // Shift, Lock and Control are fixed; Mod1..Mod5 are what the
            // keymap makes of them.
            for (int modifier = 3; modifier < 8; ++modifier) {
                const uint16_t mask = uint16_t(1u << modifier);
                for (int i = 0; i < perModifier; ++i) {
                    const xcb_keycode_t code = codes[modifier * perModifier + i];
                    if (code == 0)
                        continue;
                    for (int column = 0; column < 4; ++column) {
                        const xcb_keysym_t sym = xcb_key_symbols_get_keysym(m_keySymbols, code, column);
                        if (sym == kNumLock && !m_numLockMask)
                            m_numLockMask = mask;
                        else if ((sym == kAltL || sym == kAltR || sym == kMetaL || sym == kMetaR) && !m_altMask)
                            m_altMask = mask;
                        else if ((sym == kSuperL || sym == kSuperR) && !m_superMask)
                            m_superMask = mask;
                    }
                }
            }
            std::free(reply);
        }
        // The conventional places when the keymap does not say.
        if (!m_altMask)
            m_altMask = XCB_MOD_MASK_1;
        if (!m_superMask)
            m_superMask = XCB_MOD_MASK_4;
    }

    std::optional<Key> keyFor(int keyCode, unsigned flags) const
    {
        const std::optional<unsigned> x11 = x11FromKeyCode(keyCode);
        if (!x11 || *x11 < m_minKeycode || *x11 > m_maxKeycode)
            return std::nullopt;
        // A code the keymap leaves empty can be grabbed but never typed.
        if (xcb_key_symbols_get_keysym(m_keySymbols, xcb_keycode_t(*x11), 0) == 0
            && xcb_key_symbols_get_keysym(m_keySymbols, xcb_keycode_t(*x11), 1) == 0)
            return std::nullopt;
        Key key;
        key.keycode = xcb_keycode_t(*x11);
        if (flags & ModifierFlag::shift)
            key.modifiers |= XCB_MOD_MASK_SHIFT;
        if (flags & ModifierFlag::control)
            key.modifiers |= XCB_MOD_MASK_CONTROL;
        if (flags & ModifierFlag::option)
            key.modifiers |= m_altMask;
        if (flags & ModifierFlag::command)
            key.modifiers |= m_superMask;
        // A shortcut that needs Num Lock held cannot be told from one that
        // ignores it.
        if (key.modifiers & m_numLockMask)
            return std::nullopt;
        return key;
    }

    std::vector<uint16_t> lockVariants() const
    {
        if (!m_numLockMask)
            return {0, XCB_MOD_MASK_LOCK};
        return {0, XCB_MOD_MASK_LOCK, m_numLockMask, uint16_t(XCB_MOD_MASK_LOCK | m_numLockMask)};
    }

    KeyGrabResult grabVariants(const Key &key)
    {
        const std::vector<uint16_t> variants = lockVariants();
        std::vector<xcb_void_cookie_t> cookies;
        cookies.reserve(variants.size());
        for (uint16_t variant : variants)
            cookies.push_back(xcb_grab_key_checked(m_connection, 0, m_root, key.modifiers | variant, key.keycode,
                                                   XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        KeyGrabResult result = KeyGrabResult::grabbed;
        std::vector<uint16_t> taken;
        for (std::size_t i = 0; i < cookies.size(); ++i) {
            xcb_generic_error_t *error = xcb_request_check(m_connection, cookies[i]);
            if (!error) {
                taken.push_back(variants[i]);
                continue;
            }
            if (result == KeyGrabResult::grabbed || error->error_code == XCB_ACCESS)
                result = error->error_code == XCB_ACCESS ? KeyGrabResult::heldByAnotherClient : KeyGrabResult::failed;
            std::free(error);
        }
        if (xcb_connection_has_error(m_connection)) {
            close();
            return KeyGrabResult::unavailable;
        }
        if (result != KeyGrabResult::grabbed) {
            // All or nothing: half a grab would fire with Caps Lock on only.
            for (uint16_t variant : taken)
                xcb_ungrab_key(m_connection, key.keycode, m_root, key.modifiers | variant);
            sync();
        }
        return result;
    }

    // Waits until the server has processed every request sent: a key given
    // back is free for other programs when ungrab() returns.
    void sync()
    {
        std::free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
        scheduleDrain();
    }

    void scheduleDrain()
    {
        if (m_drainScheduled || !m_notifier)
            return;
        m_drainScheduled = true;
        QTimer::singleShot(0, m_notifier.get(), [this] {
            m_drainScheduled = false;
            drain();
        });
    }

    void drain()
    {
        if (!m_connection)
            return;
        // Listeners may grab and ungrab, which can close the connection on
        // error: collect first, deliver after.
        std::vector<xcb_generic_event_t *> events;
        while (xcb_generic_event_t *event = xcb_poll_for_event(m_connection))
            events.push_back(event);
        std::vector<std::pair<quint64, bool>> deliveries;
        for (std::size_t i = 0; i < events.size(); ++i) {
            if (!m_detectableAutoRepeat && i + 1 < events.size() && isRepeatPair(events[i], events[i + 1])) {
                ++i;
                continue;
            }
            handle(events[i], deliveries);
        }
        for (xcb_generic_event_t *event : events)
            std::free(event);
        if (xcb_connection_has_error(m_connection)) {
            // The server went away: nothing is grabbed any more.
            close();
        }
        for (const auto &[id, pressed] : deliveries)
            deliver(id, pressed);
    }

    // A server without detectable auto-repeat sends a held key as a release
    // and a press with the same time stamp.
    static bool isRepeatPair(const xcb_generic_event_t *first, const xcb_generic_event_t *second)
    {
        if ((first->response_type & 0x7f) != XCB_KEY_RELEASE || (second->response_type & 0x7f) != XCB_KEY_PRESS)
            return false;
        const auto *release = reinterpret_cast<const xcb_key_release_event_t *>(first);
        const auto *press = reinterpret_cast<const xcb_key_press_event_t *>(second);
        return release->detail == press->detail && release->time == press->time;
    }

    void handle(xcb_generic_event_t *event, std::vector<std::pair<quint64, bool>> &deliveries)
    {
        switch (event->response_type & 0x7f) {
        case XCB_KEY_PRESS: {
            const auto *press = reinterpret_cast<xcb_key_press_event_t *>(event);
            if (m_pressed.contains(press->detail))
                return; // auto-repeat
            const Key key{press->detail, uint16_t(press->state & kModifierBits & ~m_numLockMask)};
            const QList<quint64> holders = m_holders.value(key.packed());
            if (holders.isEmpty())
                return;
            m_pressed.insert(press->detail, holders);
            for (auto it = holders.crbegin(); it != holders.crend(); ++it)
                deliveries.emplace_back(*it, true);
            return;
        }
        case XCB_KEY_RELEASE: {
            const auto *release = reinterpret_cast<xcb_key_release_event_t *>(event);
            const QList<quint64> holders = m_pressed.take(release->detail);
            for (auto it = holders.crbegin(); it != holders.crend(); ++it) {
                if (m_grabs.contains(*it))
                    deliveries.emplace_back(*it, false);
            }
            return;
        }
        case XCB_MAPPING_NOTIFY:
            // Read again at the next grab.
            return;
        default:
            return;
        }
    }

    xcb_connection_t *m_connection = nullptr;
    xcb_window_t m_root = 0;
    xcb_key_symbols_t *m_keySymbols = nullptr;
    unsigned m_minKeycode = 8;
    unsigned m_maxKeycode = 255;
    uint16_t m_numLockMask = 0;
    uint16_t m_altMask = XCB_MOD_MASK_1;
    uint16_t m_superMask = XCB_MOD_MASK_4;
    bool m_detectableAutoRepeat = false;
    bool m_drainScheduled = false;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QHash<quint64, Key> m_grabs;
    // Grabbed keys and the ids holding them, oldest first.
    QHash<quint32, QList<quint64>> m_holders;
    // Keys down and the ids their press went to.
    QHash<xcb_keycode_t, QList<quint64>> m_pressed;
};

} // namespace

std::unique_ptr<GlobalKeyGrabber> createX11KeyGrabber(const QString &displayName)
{
    return std::make_unique<X11KeyGrabber>(displayName);
}

} // namespace kalvo
