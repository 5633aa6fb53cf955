// Whether a key combination is free: not used by another stored shortcut of
// the same scope, and (for local shortcuts) not by one of the application's
// actions (QAction shortcuts of menus, menu bars and widgets).
//
//   TNError error;
//   if (!TNHotkeyValidator::sharedValidator().isAvailableHotkeyCombo(&combo, "mute", false, &error))
//       showConflict(error.userInfo);   // { "hot key name": ..., ... } or { "MenuItem": "&Mute" }
//
// A conflict is reported as an error of domain "TNErrorDomain", code 3, whose
// user info is the conflicting shortcut's information dictionary
// (TNHotkeyConfiguration::hotkeyInfo) or { "MenuItem": the action's text }.
// Main thread only.
#pragma once

#include <kalvo/global.h>
#include <kalvo/hotkey/hotkeycombo.h>

#include <QList>
#include <QString>
#include <QVariantMap>

QT_BEGIN_NAMESPACE
class QAction;
QT_END_NAMESPACE

namespace kalvo {

inline const QString TNErrorDomain = QStringLiteral("TNErrorDomain");
inline constexpr int kTNHotkeyConflictErrorCode = 3;

struct TNError
{
    QString domain;
    int code = 0;
    QVariantMap userInfo;
};

// What a recorder asks of a validator.
class KALVO_EXPORT TNHotkeyValidatorProtocol
{
public:
    virtual ~TNHotkeyValidatorProtocol();
    // Null or the null combination are available. `error` may be null.
    virtual bool isAvailableHotkeyCombo(const TNHotkeyCombo *combo, const QString &identifier, bool global,
                                        TNError *error) = 0;
};

class KALVO_EXPORT TNHotkeyValidator : public TNHotkeyValidatorProtocol
{
public:
    static TNHotkeyValidator &sharedValidator();

    bool isAvailableHotkeyCombo(const TNHotkeyCombo *combo, const QString &identifier, bool global,
                                TNError *error) override;
    // Whether another enabled stored shortcut of the scope (not `exception`)
    // has this combination.
    bool hasTakenByCustomForCombo(const TNHotkeyCombo &combo, const QString &exception, bool global,
                                  TNError *error);
    // Whether a visible action of `menu` (or of its submenus) has this
    // combination as its shortcut; actions bound to `exception` do not count.
    bool hasTakenByMenu(const QList<QAction *> &menu, const TNHotkeyCombo &combo, const QString &exception,
                        TNError *error);

    // The application's actions: those of every top-level widget and its
    // children (menu bars, menus, toolbars, widgets' own), each once.
    static QList<QAction *> applicationMenuActions();
};

} // namespace kalvo
