// The stored shortcut settings: which shortcuts exist, whether each is on,
// and the combination the user chose. They live in the hotkey store, the
// settings suite named applicationIdentifier() + ".Hotkey", under
// "[HK@state]-<id>" (local on/off), "[gHK@state]-<id>" (global on/off) and
// "[HK@combo]-<id>" (the combination dictionary, shared by both scopes).
//
//   TNHotkeyConfiguration::Defaults defaults;
//   defaults.hotkeyMap = {{"mute", true}, {"raiseHand", false}};
//   QVariantMap mute = TNHotkeyCombo(KeyCode::M, ModifierFlag::command).value();
//   mute.insert(kTNHotkeyName, "mute");                 // each default names its shortcut
//   defaults.defaultHotkeyArray = {mute};
//   TNHotkeyConfiguration::setDefaults(defaults);
//   TNHotkeyConfiguration::registerDefaultHotkey();
//   TNHotkeyConfiguration::saveHotkey("mute", false, combo.value());   // checked for conflicts
//
// The host supplies the shortcut table (setDefaults); the library's own is
// empty. Every change made here is followed, asynchronously on the main
// thread, by kTNHotkeyValueDidChanged on the default notification centre.
// Main thread only.
#pragma once

#include <kalvo/global.h>

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

#include <memory>
#include <optional>

namespace kalvo {

class Settings;

class KALVO_EXPORT TNHotkeyConfiguration
{
public:
    TNHotkeyConfiguration() = delete;

    struct Defaults
    {
        // Identifier → whether the local shortcut is on by default.
        QMap<QString, bool> hotkeyMap;
        // Default combinations: combination dictionaries with "hot key name".
        QList<QVariantMap> defaultHotkeyArray;
        // Identifiers that may be global; nothing when the host does not say.
        std::optional<QStringList> supportGlobalHotkeyNameArray;
    };
    // Replaces the host's table; the registered defaults are built anew at
    // the next registerDefaultHotkey().
    static void setDefaults(const Defaults &defaults);
    static QMap<QString, bool> hotkeyMap();
    static QList<QVariantMap> defaultHotkeyArray();
    static std::optional<QStringList> supportGlobalHotkeyNameArray();

    // The hotkey store.
    static std::shared_ptr<Settings> hotkeyDefaults();
    static QString hotkeySuiteName();

    // Registers the defaults table: each identifier's local state as in
    // hotkeyMap, its global state off, and the default combinations.
    static void registerDefaultHotkey();
    // The stored state; false when nothing is stored.
    static bool getHotkeyState(const QString &identifier, bool global);
    // Changes the state's default (a value the user stored still wins).
    static void setHotkeyEnable(bool enable, const QString &identifier, bool global);

    // The information dictionaries of hotkeyMap's identifiers that have a
    // stored combination.
    static QList<QVariantMap> customHotkeyArray(bool global);
    // { "hot key name", "hot key code" (-1 when none), "hot key modifier"
    // (0), "hot key combo invalid" (false), "hot key enabled" }.
    static QVariantMap hotkeyInfo(const QString &identifier, bool global);

    // Stores a combination dictionary (nothing removes it). A combination
    // the shared validator finds taken is stored marked invalid.
    static void saveHotkey(const QString &identifier, bool global, const QVariant &hotkey);
    // Stores again as valid every invalid combination of the scope that is
    // no longer taken.
    static void updateCustomHotkeyInvalidFlag(bool global);
    // Removes the stored combination and both states of every identifier of
    // hotkeyMap.
    static void restoreDefaults();
};

} // namespace kalvo
