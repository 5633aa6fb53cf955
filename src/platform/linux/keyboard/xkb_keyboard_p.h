// Keyboard layouts on Linux: the only code that talks to xkbcommon and to
// the X server's keyboard extension. The hotkey kit sees layouts through this
// small interface.
//
//   auto layout = keyboard::compileLayout(QStringLiteral("de(nodeadkeys)"));
//   if (layout) layout->translate(KeyCode::Y, 0);      // "z"
//
//   auto server = keyboard::X11Keyboard::open();        // null without X/XKB
//   server->layouts();                                  // {"us", "de"}, group 0
//   server->watch([] { /* layout or group may have changed */ });
//
// Layout names are XKB's: a layout of the installed XKB data, optionally
// followed by its variant in parentheses ("us", "fr", "de(nodeadkeys)").
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace kalvo::keyboard {

// Whether `name` is spelled as a single layout name ("de", "de(nodeadkeys)");
// anything else (several layouts, paths, include syntax) is refused before
// it reaches the XKB compiler.
bool isLayoutName(const QString &name);

// "de" and "nodeadkeys" → "de(nodeadkeys)"; a layout that already carries a
// variant keeps it. Returns "" when the result is not a layout name.
QString layoutName(const QString &layout, const QString &variant);

class CompiledLayout
{
public:
    ~CompiledLayout();
    CompiledLayout(const CompiledLayout &) = delete;
    CompiledLayout &operator=(const CompiledLayout &) = delete;

    // The characters that the key at Kalvo key code `keyCode` types with the
    // modifiers of the Carbon mask `carbonModifiers` (shift, caps lock,
    // option as the third-level key, control, command), as a fresh keyboard
    // would. "" for keys without a position, keys that type nothing and dead
    // keys.
    QString translate(int keyCode, unsigned carbonModifiers) const;

    struct Private;

private:
    friend std::shared_ptr<const CompiledLayout> compileLayout(const QString &name);
    explicit CompiledLayout(std::unique_ptr<Private> d);
    std::unique_ptr<Private> d;
};

// Compiles one layout from the installed XKB data (evdev rules, pc105
// model, no options; the XKB_DEFAULT_* variables are not consulted). Null
// when the name is not a layout name or the data has no such layout.
// Compiling takes milliseconds: callers keep the result.
std::shared_ptr<const CompiledLayout> compileLayout(const QString &name);

// The layouts named by XKB_DEFAULT_LAYOUT and XKB_DEFAULT_VARIANT, in group
// order (both are comma-separated lists); names that are not layout names
// are left out.
QStringList environmentLayouts();

// A connection of our own to an X server with the keyboard extension.
class X11Keyboard
{
public:
    struct Layouts
    {
        QStringList layouts; // layout names, in group order
        int activeGroup = 0; // index into layouts
    };

    // Connects to `displayName` (the DISPLAY variable when empty). Null when
    // there is no X server or it lacks XKB.
    static std::unique_ptr<X11Keyboard> open(const QByteArray &displayName = {});
    ~X11Keyboard();

    // The configured layouts and the active group, read now. An empty list
    // when the server names none we can read or the connection broke.
    Layouts layouts() const;

    // Calls `changed` on the thread that called watch (the main thread, with
    // a running event loop) after the server reports a change of keyboard,
    // keymap, names, active group or the rules names that setxkbmap writes;
    // several reports that arrive together give one call. Needs a
    // QCoreApplication; returns false without one or when the server refuses
    // the event selection.
    bool watch(std::function<void()> changed);

    bool isConnected() const;

    struct Private;

private:
    explicit X11Keyboard(std::unique_ptr<Private> d);
    std::unique_ptr<Private> d;
};

} // namespace kalvo::keyboard
