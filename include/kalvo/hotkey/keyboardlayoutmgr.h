// Keyboard layouts: which character a key types in a layout, which key types
// a letter, and which layout is in use.
//
//   auto &mgr = TNKeyboardLayoutMgr::sharedMgr();
//   mgr.currentKeyboardLayoutID();                                  // "de"
//   TNKeyboardLayoutMgr::letterForKeyCode(KeyCode::Y, "de");        // "Z"
//   TNKeyboardLayoutMgr::keyCodeForLetter("Q", KeyCode::Q, "fr");   // KeyCode::A
//   TNKeyboardLayoutMgr::symbolForKeyCode(KeyCode::One, CarbonModifier::shift, "us"); // "!"
//
// Layout identifiers are XKB layout names, with the variant in parentheses
// where there is one: "us" (the US layout, kTNUSKeyboardLayoutID), "de",
// "fr", "de(nodeadkeys)". A layout is compiled from the installed XKB data
// (evdev rules, pc105 model, no options) on first use; an identifier that
// names no installed layout translates nothing ("", 0 or the alternate
// key code).
//
// The current layout is the active group's layout on the X server (its XKB
// rules names, as setxkbmap writes them) when there is an X display (the
// DISPLAY variable), else the first layout of XKB_DEFAULT_LAYOUT and
// XKB_DEFAULT_VARIANT, else "us". A layout that cannot type the Latin
// letters (say "ru") gives way to the first configured one that can, else
// "us". The shared manager watches the X server on a connection of its own
// and, when the layout changes, posts TNKeyBoardLayoutWillChanged, updates
// currentKeyboardLayoutID() and posts TNKeyBoardLayoutDidChanged on the
// default notification centre (no object, no user info).
//
// Translations, letter maps and symbol maps are cached per layout for the
// process's life. Main thread only, except keyboardLayoutInputSourceChanged(),
// which may be called from any thread.
//
// The library installs a key translator (hotkeykeytranslator.h) backed by
// this manager when the application object is created, so combinations and
// key-name transformers follow the real layout; installKeyTranslator() does
// it again after a reset.
#pragma once

#include <kalvo/global.h>
#include <kalvo/hotkey/hotkeyconstants.h>

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <memory>

namespace kalvo {

class KALVO_EXPORT TNKeyboardLayoutMgr
{
public:
    // The process's manager, created on first use; it watches the X server
    // for layout changes (from the first use after the application object
    // exists). Lives for the process.
    static TNKeyboardLayoutMgr &sharedMgr();

    // A manager of its own (tests, or a host watching another display:
    // `displayName` as in DISPLAY, empty for the DISPLAY variable). With
    // `watch` it listens for layout changes and posts the notifications.
    explicit TNKeyboardLayoutMgr(const QByteArray &displayName = {}, bool watch = true);
    ~TNKeyboardLayoutMgr();
    TNKeyboardLayoutMgr(const TNKeyboardLayoutMgr &) = delete;
    TNKeyboardLayoutMgr &operator=(const TNKeyboardLayoutMgr &) = delete;

    // The layout in use as last seen (set at creation and by
    // keyboardLayoutInputSourceChanged()).
    QString currentKeyboardLayoutID() const;
    void setCurrentKeyboardLayoutID(const QString &layoutID);
    // The layout in use, asked now.
    QString getKeyboardLayoutID() const;
    // Re-reads the layout; when it differs from currentKeyboardLayoutID(),
    // posts the will-change notification, stores the new one and posts the
    // did-change notification. From another thread it is re-posted to the
    // main thread without waiting.
    void keyboardLayoutInputSourceChanged();
    // Whether this manager receives the X server's layout changes.
    bool isWatchingLayoutChanges() const;

    // The character keys that layouts translate (47 codes: 0–9, 11–35,
    // 37–47, 50), in this order.
    static QList<int> supportConvertKeyCodeArray();
    // Upper-cased letter typed without modifiers → key code, over the
    // character keys in order (a later key typing the same letter wins).
    // Empty for an empty or unknown identifier.
    static QHash<QString, int> KeyboardLayoutWithID(const QString &layoutID);
    // The key code typing `letter` (any case) in the layout, when the letter
    // is not empty and `alternateKeyCode` is a character key; else the
    // alternate itself. An alternate outside 0…0xFFFF gives -1 (no key).
    static int keyCodeForLetter(const QString &letter, int alternateKeyCode, const QString &layoutID);
    // The upper-cased text the key types without modifiers; "" for none,
    // dead keys, unknown layouts and key codes without a key.
    static QString letterForKeyCode(int keyCode, const QString &layoutID);
    // The text the key types with the modifiers of a Carbon mask (shift,
    // caps lock, option = the third-level key, control, command), not
    // upper-cased.
    static QString symbolForKeyCode(int keyCode, unsigned modify, const QString &layoutID);
    // The character key typing `symbol` without modifiers or with shift
    // (keys in order, unshifted before shifted: the last one found wins); 0
    // when none does or the symbol or layout is empty.
    static int keyCodeForSymbol(const QString &symbol, const QString &layoutID);
    // One uncached translation of a key with a Carbon modifier mask.
    static QString p_letterForKeyCode(int keyCode, unsigned modifyFlag, const QString &layoutID);
    // The identifier of the current keyboard input source: on Linux the
    // layout of the active group, whether or not it types Latin letters.
    static QString getCurrentKeyboardID();

    // Installs the key translator backed by the shared manager (done once
    // when the application object is created).
    static void installKeyTranslator();

    struct Private;

private:
    void startWatchingIfPossible();
    std::unique_ptr<Private> d;
};

} // namespace kalvo
