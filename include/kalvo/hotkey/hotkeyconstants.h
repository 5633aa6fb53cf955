// Names shared by the hotkey kit: the keys of a combination's dictionary
// form, the notification names, the US layout's identifier and the stored
// and bound names of a shortcut.
//
//   settings->value(HKComboId("mute"));              // "[HK@combo]-mute"
//   NotificationCenter::defaultCenter().post(kTNHotkeyValueDidChanged);
//
// The store keys are what users' settings files hold: never change them.
#pragma once

#include <kalvo/global.h>

#include <QString>

namespace kalvo {

// ---- Dictionary form of a combination ----
inline const QString kTNHotkeyCodeKey = QStringLiteral("hot key code");
inline const QString kTNHotkeyModifierKey = QStringLiteral("hot key modifier");
inline const QString kTNHotkeyInvalidFlag = QStringLiteral("hot key combo invalid");
inline const QString kTNHotkeyEnableFlag = QStringLiteral("hot key enabled");
inline const QString kTNHotkeyName = QStringLiteral("hot key name");

// ---- Notifications ----
// Posted (user info { kTNHotkeyName: identifier }, or none for all) after a
// stored shortcut changed.
inline const QString kTNHotkeyValueDidChanged = QStringLiteral("HotkeyValueDidChanged");
// Posted without object around a change of the keyboard layout.
inline const QString TNKeyBoardLayoutWillChanged = QStringLiteral("TNKeyBoardLayoutWillChanged");
inline const QString TNKeyBoardLayoutDidChanged = QStringLiteral("TNKeyBoardLayoutDidChanged");

// ---- Keyboard layouts ----
// Layouts are named by their XKB names; stored combinations always hold the
// key codes of this layout.
inline const QString kTNUSKeyboardLayoutID = QStringLiteral("us");

// ---- Stored and bound names of a shortcut ----
// Settings keys. The combination key is the same for both scopes, so a
// global and a local shortcut of one identifier share one stored
// combination, while their enabled states are stored apart.
KALVO_EXPORT QString HKStateId(const QString &identifier);  // "[HK@state]-<id>"
KALVO_EXPORT QString gHKStateId(const QString &identifier); // "[gHK@state]-<id>"
KALVO_EXPORT QString HKComboId(const QString &identifier);  // "[HK@combo]-<id>"
KALVO_EXPORT QString gHKComboId(const QString &identifier); // "[HK@combo]-<id>" as well
// Binding names (not settings keys): these do tell the scopes apart.
KALVO_EXPORT QString stateBindName(const QString &identifier, bool global); // "[gHK@state]-" / "[HK@state]-"
KALVO_EXPORT QString comboBindName(const QString &identifier, bool global); // "[gHK@combo]-" / "[HK@combo]-"

} // namespace kalvo
