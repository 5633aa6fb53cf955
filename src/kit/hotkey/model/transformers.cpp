#include <kalvo/hotkey/hotkeyconstants.h>
#include <kalvo/hotkey/hotkeykeytranslator.h>
#include <kalvo/hotkey/hotkeytransformers.h>
#include <kalvo/platform/keycodes.h>

#include "value_reading_p.h"

#include <QHash>
#include <QStringList>

namespace kalvo {

using hotkey_detail::isNumber;
using hotkey_detail::maskValue;
using hotkey_detail::wholeNumber;

namespace {

// Keys whose name is not a character of the layout.
const QHash<int, QString> &fixedNames()
{
    static const QHash<int, QString> table = [] {
        QHash<int, QString> t;
        const std::pair<int, int> functionKeys[] = {
            {KeyCode::F1, 1},   {KeyCode::F2, 2},   {KeyCode::F3, 3},   {KeyCode::F4, 4},   {KeyCode::F5, 5},
            {KeyCode::F6, 6},   {KeyCode::F7, 7},   {KeyCode::F8, 8},   {KeyCode::F9, 9},   {KeyCode::F10, 10},
            {KeyCode::F11, 11}, {KeyCode::F12, 12}, {KeyCode::F13, 13}, {KeyCode::F14, 14}, {KeyCode::F15, 15},
            {KeyCode::F16, 16}, {KeyCode::F17, 17}, {KeyCode::F18, 18}, {KeyCode::F19, 19}, {KeyCode::F20, 20},
        };
        for (const auto &[code, number] : functionKeys)
            t.insert(code, QStringLiteral("F%1").arg(number));
        const std::pair<int, char16_t> glyphs[] = {
            {KeyCode::Delete, u'\u232B'},     {KeyCode::ForwardDelete, u'\u2326'},
            {KeyCode::KeypadClear, u'\u2327'}, {KeyCode::LeftArrow, u'\u2190'},
            {KeyCode::RightArrow, u'\u2192'}, {KeyCode::UpArrow, u'\u2191'},
            {KeyCode::DownArrow, u'\u2193'},  {KeyCode::End, u'\u2198'},
            {KeyCode::Home, u'\u2196'},       {KeyCode::Escape, u'\u238B'},
            {KeyCode::PageDown, u'\u21DF'},   {KeyCode::PageUp, u'\u21DE'},
            {KeyCode::Return, u'\u21A9'},     {KeyCode::KeypadEnter, u'\u2305'},
            {KeyCode::Tab, u'\u21E5'},
        };
        for (const auto &[code, glyph] : glyphs)
            t.insert(code, QString(QChar(glyph)));
        t.insert(KeyCode::Space, QStringLiteral("Space"));
        t.insert(KeyCode::Help, QStringLiteral("?") + QChar(u'\u20DD'));
        return t;
    }();
    return table;
}

// F1-F20 as the function-key characters menus understand (U+F704 up).
const QHash<int, QString> &keyEquivalents()
{
    static const QHash<int, QString> table = [] {
        QHash<int, QString> t;
        const int functionKeys[20] = {KeyCode::F1,  KeyCode::F2,  KeyCode::F3,  KeyCode::F4,  KeyCode::F5,
                                      KeyCode::F6,  KeyCode::F7,  KeyCode::F8,  KeyCode::F9,  KeyCode::F10,
                                      KeyCode::F11, KeyCode::F12, KeyCode::F13, KeyCode::F14, KeyCode::F15,
                                      KeyCode::F16, KeyCode::F17, KeyCode::F18, KeyCode::F19, KeyCode::F20};
        for (int i = 0; i < 20; ++i)
            t.insert(functionKeys[i], QString(QChar(static_cast<char16_t>(0xF704 + i))));
        t.insert(KeyCode::Space, QStringLiteral(" "));
        return t;
    }();
    return table;
}

// A key code from a number: nothing for non-numbers, negatives and codes no
// 16-bit key code can hold (a huge code must not alias a real key).
std::optional<int> keyCodeOf(const QVariant &value)
{
    const auto n = wholeNumber(value);
    if (!n || *n < 0 || *n > 0xFFFF)
        return std::nullopt;
    return static_cast<int>(*n);
}

std::optional<QVariantMap> comboDictionary(const QVariant &value)
{
    if (value.metaType().id() != QMetaType::QVariantMap)
        return std::nullopt;
    return value.toMap();
}

struct Modifier
{
    quint32 flag;
    char16_t glyph;
    const char *word;
};
constexpr Modifier kModifierOrder[] = {
    {ModifierFlag::control, u'\u2303', "Control"},
    {ModifierFlag::option, u'\u2325', "Option"},
    {ModifierFlag::shift, u'\u21E7', "Shift"},
    {ModifierFlag::command, u'\u2318', "Command"},
};

QHash<QString, std::shared_ptr<TNValueTransformer>> &registry()
{
    static QHash<QString, std::shared_ptr<TNValueTransformer>> transformers = [] {
        QHash<QString, std::shared_ptr<TNValueTransformer>> t;
        t.insert(QStringLiteral("TNHotkeyModifyFlagsTransformer"), std::make_shared<TNHotkeyModifyFlagsTransformer>());
        t.insert(QStringLiteral("TNBaseKeyCodeTransformer"), std::make_shared<TNBaseKeyCodeTransformer>());
        t.insert(QStringLiteral("TNUSKeyCodeTransformer"), std::make_shared<TNUSKeyCodeTransformer>());
        t.insert(QStringLiteral("TNASCIIKeyCodeTransformer"), std::make_shared<TNASCIIKeyCodeTransformer>());
        t.insert(QStringLiteral("TNKeyEquivalentTransformer"), std::make_shared<TNKeyEquivalentTransformer>());
        t.insert(QStringLiteral("TNKeyEquivalentModifierMaskTransformer"),
                 std::make_shared<TNKeyEquivalentModifierMaskTransformer>());
        return t;
    }();
    return transformers;
}

} // namespace

// ---- Registry ----

TNValueTransformer::~TNValueTransformer() = default;

std::shared_ptr<TNValueTransformer> TNValueTransformer::valueTransformerForName(const QString &name)
{
    return registry().value(name);
}

void TNValueTransformer::setValueTransformer(std::shared_ptr<TNValueTransformer> transformer, const QString &name)
{
    if (name.isEmpty())
        return;
    if (transformer)
        registry().insert(name, std::move(transformer));
    else
        registry().remove(name);
}

// ---- Modifier masks ----

std::optional<QString> TNHotkeyModifyFlagsTransformer::transformedValue(const QVariant &value)
{
    if (!isNumber(value))
        return std::nullopt;
    const quint32 flags = maskValue(value, false);
    QString glyphs;
    for (const Modifier &m : kModifierOrder) {
        if (flags & m.flag)
            glyphs += QChar(m.glyph);
    }
    return glyphs;
}

std::optional<QString> TNHotkeyModifyFlagsTransformer::characterSymbol(const QVariant &value)
{
    if (!isNumber(value))
        return std::nullopt;
    const quint32 flags = maskValue(value, false);
    QStringList words;
    for (const Modifier &m : kModifierOrder) {
        if (flags & m.flag)
            words << QString::fromLatin1(m.word);
    }
    return words.join(QLatin1Char('+'));
}

QVariant TNHotkeyModifyFlagsTransformer::transform(const QVariant &value) const
{
    const auto glyphs = transformedValue(value);
    return glyphs ? QVariant(*glyphs) : QVariant();
}

// ---- Key names ----

QString TNBaseKeyCodeTransformer::fixedKeyName(int keyCode)
{
    return fixedNames().value(keyCode);
}

QString TNBaseKeyCodeTransformer::transformedValue(const QVariant &value, const QString &layoutID)
{
    const auto code = keyCodeOf(value);
    if (!code)
        return {};
    const QString fixed = fixedKeyName(*code);
    if (!fixed.isEmpty())
        return fixed;
    if (layoutID.isEmpty())
        return {};
    return translatedLetterForKeyCode(*code, layoutID);
}

QVariant TNBaseKeyCodeTransformer::transform(const QVariant &value) const
{
    return TNBaseKeyCodeTransformer::transformedValue(value);
}

QVariant TNUSKeyCodeTransformer::transform(const QVariant &value) const
{
    return TNUSKeyCodeTransformer::transformedValue(value);
}

QString TNASCIIKeyCodeTransformer::keyBoardLayoutID()
{
    return currentKeyboardLayoutID();
}

QVariant TNASCIIKeyCodeTransformer::transform(const QVariant &value) const
{
    return TNASCIIKeyCodeTransformer::transformedValue(value);
}

// ---- Menu key equivalents ----

QString TNKeyEquivalentTransformer::transformedValue(const QVariant &keyCode)
{
    const auto code = keyCodeOf(keyCode);
    if (!code)
        return {};
    const auto it = keyEquivalents().constFind(*code);
    if (it != keyEquivalents().cend())
        return *it;
    return TNUSKeyCodeTransformer::transformedValue(*code).toLower();
}

QVariant TNKeyEquivalentTransformer::transform(const QVariant &comboValue) const
{
    const auto dict = comboDictionary(comboValue);
    if (!dict || hotkey_detail::flagValue(dict->value(kTNHotkeyInvalidFlag)))
        return QString();
    return TNKeyEquivalentTransformer::transformedValue(dict->value(kTNHotkeyCodeKey));
}

quint32 TNKeyEquivalentModifierMaskTransformer::transformedValue(const QVariant &modifiers)
{
    return maskValue(modifiers, false) & ~quint32(0x800000);
}

QVariant TNKeyEquivalentModifierMaskTransformer::transform(const QVariant &comboValue) const
{
    const auto dict = comboDictionary(comboValue);
    if (!dict || hotkey_detail::flagValue(dict->value(kTNHotkeyInvalidFlag)))
        return QVariant(quint32(0));
    return QVariant(transformedValue(dict->value(kTNHotkeyModifierKey)));
}

} // namespace kalvo
