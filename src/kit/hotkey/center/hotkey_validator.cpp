#include <kalvo/hotkey/hotkeyvalidator.h>
#include <kalvo/hotkey/hotkeyconfiguration.h>
#include <kalvo/hotkey/hotkeyconstants.h>
#include <kalvo/hotkey/hotkeykeytranslator.h>
#include <kalvo/hotkey/keyboardlayoutmgr.h>
#include <kalvo/platform/keycodes.h>

#include <QAction>
#include <QApplication>
#include <QKeySequence>
#include <QMenu>
#include <QSet>
#include <QWidget>

namespace kalvo {

TNHotkeyValidatorProtocol::~TNHotkeyValidatorProtocol() = default;

namespace {

void setConflict(TNError *error, const QVariantMap &userInfo)
{
    if (error)
        *error = TNError{TNErrorDomain, kTNHotkeyConflictErrorCode, userInfo};
}

// A Qt shortcut seen as a menu item: its key equivalent (the character the
// key types on a US keyboard with the shortcut's shift state), its modifier
// mask, and its key code.
struct MenuKey
{
    QString keyEquivalent;
    quint32 mask = 0;
    int keyCode = -1;
    bool characterKey = false;
};

std::optional<MenuKey> menuKeyOf(const QKeySequence &sequence)
{
    if (sequence.count() != 1)
        return std::nullopt;
    const QKeyCombination chord = sequence[0];
    const Qt::KeyboardModifiers modifiers = chord.keyboardModifiers();
    const std::optional<int> code = keyCodeFromQtKey(chord.key(), modifiers.testFlag(Qt::KeypadModifier));
    if (!code)
        return std::nullopt;
    MenuKey key;
    key.keyCode = *code;
    key.mask = modifierFlagsFromQt(modifiers) & ModifierFlag::deviceIndependentShortcutMask;
    key.characterKey = TNKeyboardLayoutMgr::supportConvertKeyCodeArray().contains(*code);
    if (key.characterKey) {
        // "Ctrl+!" names the shifted 1.
        const int qtKey = chord.key();
        const QString plain = usLetterForKeyCode(*code);
        if (qtKey < 0x80 && !QChar(qtKey).isLetter() && QString(QChar(qtKey)) != plain)
            key.mask |= ModifierFlag::shift;
        key.keyEquivalent = TNKeyboardLayoutMgr::symbolForKeyCode(
            *code, (key.mask & ModifierFlag::shift) ? CarbonModifier::shift : 0, kTNUSKeyboardLayoutID);
    }
    return key;
}

bool conflicts(const MenuKey &item, const TNHotkeyCombo &combo, const QString &symbol)
{
    if (item.mask != (combo.nsEventModifiers() & ~TNHotkeyCombo::kFunctionKeyMask))
        return false;
    if (!item.characterKey) {
        // Keys that type nothing (F-keys, arrows, Return) have no character
        // to compare: the key itself decides.
        return item.keyCode == combo.hotkeyCode();
    }
    if (symbol == item.keyEquivalent)
        return true;
    // Differing only in case is not a conflict ("K" with Command is
    // Command+Shift+K).
    if (symbol.toUpper() == item.keyEquivalent.toUpper())
        return false;
    return combo.hotkeyCode() == TNKeyboardLayoutMgr::keyCodeForSymbol(item.keyEquivalent, kTNUSKeyboardLayoutID);
}

bool searchMenu(const QList<QAction *> &menu, const TNHotkeyCombo &combo, const QString &exception,
                const QString &symbol, QSet<const QAction *> &seen, TNError *error)
{
    for (QAction *action : menu) {
        if (!action || seen.contains(action))
            continue;
        seen.insert(action);
        if (!action->isVisible() || action->isSeparator())
            continue;
        const QString identifier = action->property("hkIdentifier").toString();
        if (!identifier.isEmpty() && identifier == exception)
            continue;
        if (QMenu *submenu = action->menu()) {
            if (searchMenu(submenu->actions(), combo, exception, symbol, seen, error))
                return true;
        }
        for (const QKeySequence &sequence : action->shortcuts()) {
            const std::optional<MenuKey> key = menuKeyOf(sequence);
            if (key && conflicts(*key, combo, symbol)) {
                setConflict(error, {{QStringLiteral("MenuItem"), action->text()}});
                return true;
            }
        }
    }
    return false;
}

} // namespace

TNHotkeyValidator &TNHotkeyValidator::sharedValidator()
{
    static TNHotkeyValidator validator;
    return validator;
}

bool TNHotkeyValidator::isAvailableHotkeyCombo(const TNHotkeyCombo *combo, const QString &identifier, bool global,
                                               TNError *error)
{
    if (!combo || combo->isNullCombo())
        return true;
    if (hasTakenByCustomForCombo(*combo, identifier, global, error))
        return false;
    // Global shortcuts act while other programs have the keyboard: the
    // application's own actions are no rivals.
    if (!global && hasTakenByMenu(applicationMenuActions(), *combo, identifier, error))
        return false;
    return true;
}

bool TNHotkeyValidator::hasTakenByCustomForCombo(const TNHotkeyCombo &combo, const QString &exception, bool global,
                                                 TNError *error)
{
    for (const QVariantMap &info : TNHotkeyConfiguration::customHotkeyArray(global)) {
        if (!info.value(kTNHotkeyEnableFlag).toBool())
            continue;
        if (info.value(kTNHotkeyName).toString() == exception)
            continue;
        const qint16 code = qint16(info.value(kTNHotkeyCodeKey).toInt());
        if (code == combo.hotkeyCode() && info.value(kTNHotkeyModifierKey).toUInt() == combo.nsEventModifiers()) {
            setConflict(error, info);
            return true;
        }
    }
    return false;
}

bool TNHotkeyValidator::hasTakenByMenu(const QList<QAction *> &menu, const TNHotkeyCombo &combo,
                                       const QString &exception, TNError *error)
{
    const QString symbol =
        TNKeyboardLayoutMgr::symbolForKeyCode(combo.hotkeyCode(), combo.eventRefModifiers() & CarbonModifier::shift,
                                              TNKeyboardLayoutMgr::getCurrentKeyboardID());
    QSet<const QAction *> seen;
    return searchMenu(menu, combo, exception, symbol, seen, error);
}

QList<QAction *> TNHotkeyValidator::applicationMenuActions()
{
    QList<QAction *> actions;
    QSet<QAction *> seen;
    const auto add = [&](QWidget *widget) {
        for (QAction *action : widget->actions()) {
            if (!seen.contains(action)) {
                seen.insert(action);
                actions.append(action);
            }
        }
    };
    for (QWidget *top : QApplication::topLevelWidgets()) {
        // Menus are windows of their own; they are reached through the
        // actions that open them.
        if (qobject_cast<QMenu *>(top))
            continue;
        add(top);
        for (QWidget *child : top->findChildren<QWidget *>())
            add(child);
    }
    return actions;
}

} // namespace kalvo
