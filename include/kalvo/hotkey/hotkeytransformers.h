// Value transformers that print shortcuts: modifier masks as glyphs
// ("⌃⌥⇧⌘") or words ("Control+Shift"), key codes as key names ("K", "F5",
// "↩"), and combination dictionaries as menu key equivalents and masks.
//
//   TNHotkeyModifyFlagsTransformer::transformedValue(0x120000);   // "⇧⌘"
//   TNUSKeyCodeTransformer::transformedValue(40);                 // "K"
//   TNKeyEquivalentTransformer::transformedValue(96);             // "\uF708" (F5)
//
// Each class's static functions are its class forms. Bindings use the
// instance forms through the registry (transform()), found by class name:
//   TNValueTransformer::valueTransformerForName("TNKeyEquivalentTransformer")
// All the library's transformers are registered under their class names.
//
// Inputs are QVariants because stored values may be of any type: a number
// is any integer, floating-point or bool variant (text is not a number).
// Main thread only.
#pragma once

#include <kalvo/global.h>

#include <QString>
#include <QVariant>

#include <memory>
#include <optional>

namespace kalvo {

class KALVO_EXPORT TNValueTransformer
{
public:
    virtual ~TNValueTransformer();
    // The instance form used by bindings.
    virtual QVariant transform(const QVariant &value) const = 0;

    // The transformer registered under `name`, or null.
    static std::shared_ptr<TNValueTransformer> valueTransformerForName(const QString &name);
    // Registers (or with null, removes) a transformer under `name`.
    static void setValueTransformer(std::shared_ptr<TNValueTransformer> transformer, const QString &name);
};

// Modifier masks (event-flag convention) as text. Function is never shown.
class KALVO_EXPORT TNHotkeyModifyFlagsTransformer : public TNValueTransformer
{
public:
    // Glyphs in the order control ⌃, option ⌥, shift ⇧, command ⌘;
    // nothing for a non-number.
    static std::optional<QString> transformedValue(const QVariant &value);
    static std::optional<QString> emojiSymbol(const QVariant &value) { return transformedValue(value); }
    // Words in the same order joined by "+": "Control+Option+Shift+Command".
    static std::optional<QString> characterSymbol(const QVariant &value);

    QVariant transform(const QVariant &value) const override; // transformedValue(), null variant for nothing
};

// Key codes as key names: a fixed table for keys without a character (F1,
// "Space", arrows, "⌫", "↩", ...), else the upper-cased character the key
// types in this transformer's layout. A non-number, a negative or a code
// above 0xFFFF gives "".
class KALVO_EXPORT TNBaseKeyCodeTransformer : public TNValueTransformer
{
public:
    static QString keyBoardLayoutID() { return QStringLiteral("us"); }
    static QString transformedValue(const QVariant &value) { return transformedValue(value, keyBoardLayoutID()); }
    static QString transformedValue(const QVariant &value, const QString &layoutID);
    // The fixed table's entry, or "".
    static QString fixedKeyName(int keyCode);

    QVariant transform(const QVariant &value) const override;
};

class KALVO_EXPORT TNUSKeyCodeTransformer : public TNBaseKeyCodeTransformer
{
public:
    static QString keyBoardLayoutID() { return QStringLiteral("us"); }
    static QString transformedValue(const QVariant &value)
    {
        return TNBaseKeyCodeTransformer::transformedValue(value, keyBoardLayoutID());
    }

    QVariant transform(const QVariant &value) const override;
};

// Key names in the layout in use.
class KALVO_EXPORT TNASCIIKeyCodeTransformer : public TNBaseKeyCodeTransformer
{
public:
    static QString keyBoardLayoutID();
    static QString transformedValue(const QVariant &value)
    {
        return TNBaseKeyCodeTransformer::transformedValue(value, keyBoardLayoutID());
    }

    QVariant transform(const QVariant &value) const override;
};

// Menu key equivalents (QAction shortcuts are built from them by the menu
// center): F1-F20 as the private-use characters U+F704-U+F717, Space as " ",
// other keys as their US name in lower case ("a", "←").
class KALVO_EXPORT TNKeyEquivalentTransformer : public TNUSKeyCodeTransformer
{
public:
    // Key code -> key equivalent; "" for a non-number or negative code.
    static QString transformedValue(const QVariant &keyCode);

    // Combination dictionary -> key equivalent of its key code; "" when the
    // dictionary is marked invalid or is not a dictionary.
    QVariant transform(const QVariant &comboValue) const override;
};

// Menu modifier masks: the event-flag mask without the function bit.
class KALVO_EXPORT TNKeyEquivalentModifierMaskTransformer : public TNValueTransformer
{
public:
    // Number -> number without 0x800000; anything else (or a number outside
    // 0..0xFFFFFFFF) -> 0.
    static quint32 transformedValue(const QVariant &modifiers);

    // Combination dictionary -> class form of its modifiers; 0 when marked
    // invalid or not a dictionary.
    QVariant transform(const QVariant &comboValue) const override;
};

} // namespace kalvo
