// A keyboard shortcut's key combination: one key code plus modifiers, kept
// in both modifier conventions (see keycodes.h) so either side can use it.
//
//   TNHotkeyCombo combo(KeyCode::K, ModifierFlag::command);   // or CarbonModifier::command
//   combo.eventRefModifiers();   // 0x100
//   combo.emojiSymbol();         // "⌘K"
//   settings->setValue(HKComboId("mute"), combo.value());
//   TNHotkeyCombo stored = TNHotkeyCombo::comboWithValue(settings->value(HKComboId("mute")));
//
// A plain value type: copy it freely. Key codes are the US layout's (a
// combination names the key that types its letter on a US keyboard);
// keyCodeForCurrentKeyboardLayout() gives the code for the layout in use.
//
// Every way of building a combination (constructor, setValue(), decoding)
// runs correctModifiers(): the given mask may mix both conventions, F-keys
// and arrows always carry the function bit 0x800000, and every other bit
// (caps lock, numeric pad, device bits) is dropped.
//
// The null combination (key code -1, no modifiers, not invalid) stands for
// "no shortcut"; an invalid one was explicitly marked unusable and shows as
// not set. Main thread only where the keyboard layout is involved.
#pragma once

#include <kalvo/global.h>

#include <QByteArray>
#include <QHashFunctions>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <cstddef>
#include <functional>
#include <optional>

QT_BEGIN_NAMESPACE
class QDataStream;
QT_END_NAMESPACE

namespace kalvo {

class KALVO_EXPORT TNHotkeyCombo
{
public:
    // The bit both conventions carry for function and arrow keys.
    static constexpr quint32 kFunctionKeyMask = 0x800000;

    // The null combination.
    TNHotkeyCombo();
    // `modifiers` in either convention, or a mix of both.
    TNHotkeyCombo(int keyCode, quint32 modifiers);

    static TNHotkeyCombo keyComboWithKeyCode(int keyCode, quint32 modifiers);
    // A new combination given setValue(value).
    static TNHotkeyCombo comboWithValue(const QVariant &value);
    // One shared null combination.
    static const TNHotkeyCombo &nullCombo();
    // The combination stored for a shortcut in the hotkey settings suite
    // (applicationIdentifier() + ".Hotkey"), through comboWithValue(); both
    // scopes share it. Nothing for an empty identifier.
    static std::optional<TNHotkeyCombo> hotkeyCombo(const QString &identifier, bool global);

    // Mask conversions; the input may mix both conventions. Only the four
    // modifiers and the function bit survive.
    static quint32 convertToEventRefModifier(quint32 modifiers);
    static quint32 convertToNSEventModifier(quint32 modifiers);
    // F1-F20 and the four arrows: the keys that get the function bit.
    static bool isFunctionKeyCode(int keyCode);

    int hotkeyCode() const { return m_hotKeyCode; }
    quint32 eventRefModifiers() const { return m_eventRefModifiers; } // Carbon convention
    quint32 nsEventModifiers() const { return m_nsEventModifiers; }   // event-flag convention
    bool isInvalid() const { return m_isInvalid; }
    void setInvalid(bool invalid) { m_isInvalid = invalid; }

    // Sets both masks from `modifiers` (either convention), adding the
    // function bit for function and arrow keys.
    void correctModifiers(quint32 modifiers);

    // ---- Dictionary form (what the settings store holds) ----
    // { kTNHotkeyCodeKey: int, kTNHotkeyModifierKey: uint (event flags) },
    // plus kTNHotkeyInvalidFlag: true only when invalid.
    QVariantMap value() const;
    // From a dictionary: a missing code reads as 0, missing modifiers as 0,
    // a missing invalid flag as false. Numbers and numeric text are read;
    // a code of another type, not a whole number or outside 32 bits reads
    // as -1 (no key), modifiers that are not a number in 0..0xFFFFFFFF as 0.
    // Anything but a dictionary sets key code -1 and no modifiers and keeps
    // isInvalid().
    void setValue(const QVariant &value);

    bool isNullCombo() const;
    // The text of value(), e.g. "{hot key code = 40; hot key modifier = 1048576;}".
    QString description() const;

    // ---- Text ----
    // The key's name on the US layout ("K", "F1", "↩"), "" when it has none.
    QString hotkeyLetter() const;
    // Modifier glyphs followed by the key: "⌃⇧A".
    QString emojiSymbol() const;
    // Modifier words and key joined by "+": "Control+Shift+A".
    QString characterSymbol() const;
    // The key code that types this combination's letter in the current
    // layout; the stored code itself on the US layout and for keys without
    // a letter.
    int keyCodeForCurrentKeyboardLayout() const;

    // ---- Equality ----
    // Key code, Carbon modifiers and the invalid mark; a null pointer
    // compares as the null combination.
    bool isEqual(const TNHotkeyCombo *other) const;
    friend bool operator==(const TNHotkeyCombo &a, const TNHotkeyCombo &b)
    {
        return a.m_hotKeyCode == b.m_hotKeyCode && a.m_eventRefModifiers == b.m_eventRefModifiers
               && a.m_isInvalid == b.m_isInvalid;
    }
    std::size_t hash() const noexcept;

    // ---- Archiving ----
    // Keyed form: "hotKeyCode" (int), "hotkeyModifiers" (uint, event
    // flags), "hotkeyInvalidFlag" (bool). Decoding runs correctModifiers()
    // and gives nothing for a value of the wrong type under a key (missing
    // keys read as 0 / false).
    QVariantMap archivedValue() const;
    static std::optional<TNHotkeyCombo> fromArchivedValue(const QVariant &archive);
    // The keyed form as an XML property list, and back.
    QByteArray propertyListData() const;
    static std::optional<TNHotkeyCombo> fromPropertyListData(const QByteArray &xml);
    // A compact binary form (also what operator<< writes); nothing for
    // damaged or foreign data.
    QByteArray archivedData() const;
    static std::optional<TNHotkeyCombo> fromArchivedData(const QByteArray &data);

private:
    qint32 m_hotKeyCode = -1;
    quint32 m_eventRefModifiers = 0;
    quint32 m_nsEventModifiers = 0;
    bool m_isInvalid = false;
};

inline size_t qHash(const TNHotkeyCombo &combo, size_t seed = 0) noexcept
{
    return combo.hash() ^ seed;
}

// Reading sets ReadCorruptData on the stream and leaves `combo` unchanged
// when the data is not a combination.
KALVO_EXPORT QDataStream &operator<<(QDataStream &stream, const TNHotkeyCombo &combo);
KALVO_EXPORT QDataStream &operator>>(QDataStream &stream, TNHotkeyCombo &combo);

} // namespace kalvo

template <>
struct std::hash<kalvo::TNHotkeyCombo>
{
    std::size_t operator()(const kalvo::TNHotkeyCombo &combo) const noexcept { return combo.hash(); }
};

Q_DECLARE_METATYPE(kalvo::TNHotkeyCombo)
