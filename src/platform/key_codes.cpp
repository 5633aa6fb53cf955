#include <kalvo/platform/keycodes.h>

#include <QHash>
#include <QKeyEvent>

namespace kalvo {

namespace {

// Qt keys as they sit on a US keyboard (shifted symbols share their key).
const QHash<int, int> &qtKeyTable()
{
    static const QHash<int, int> table = [] {
        QHash<int, int> t;
        const int letters[26] = {KeyCode::A, KeyCode::B, KeyCode::C, KeyCode::D, KeyCode::E, KeyCode::F, KeyCode::G,
                                 KeyCode::H, KeyCode::I, KeyCode::J, KeyCode::K, KeyCode::L, KeyCode::M, KeyCode::N,
                                 KeyCode::O, KeyCode::P, KeyCode::Q, KeyCode::R, KeyCode::S, KeyCode::T, KeyCode::U,
                                 KeyCode::V, KeyCode::W, KeyCode::X, KeyCode::Y, KeyCode::Z};
        for (int i = 0; i < 26; ++i)
            t.insert(Qt::Key_A + i, letters[i]);
        const int digits[10] = {KeyCode::Zero, KeyCode::One, KeyCode::Two,   KeyCode::Three, KeyCode::Four,
                                KeyCode::Five, KeyCode::Six, KeyCode::Seven, KeyCode::Eight, KeyCode::Nine};
        for (int i = 0; i < 10; ++i)
            t.insert(Qt::Key_0 + i, digits[i]);
        const std::pair<int, int> others[] = {
            {Qt::Key_Exclam, KeyCode::One}, {Qt::Key_At, KeyCode::Two}, {Qt::Key_NumberSign, KeyCode::Three},
            {Qt::Key_Dollar, KeyCode::Four}, {Qt::Key_Percent, KeyCode::Five}, {Qt::Key_AsciiCircum, KeyCode::Six},
            {Qt::Key_Ampersand, KeyCode::Seven}, {Qt::Key_Asterisk, KeyCode::Eight},
            {Qt::Key_ParenLeft, KeyCode::Nine}, {Qt::Key_ParenRight, KeyCode::Zero},
            {Qt::Key_Minus, KeyCode::Minus}, {Qt::Key_Underscore, KeyCode::Minus}, {Qt::Key_Equal, KeyCode::Equal},
            {Qt::Key_Plus, KeyCode::Equal}, {Qt::Key_BracketLeft, KeyCode::LeftBracket},
            {Qt::Key_BraceLeft, KeyCode::LeftBracket}, {Qt::Key_BracketRight, KeyCode::RightBracket},
            {Qt::Key_BraceRight, KeyCode::RightBracket}, {Qt::Key_Backslash, KeyCode::Backslash},
            {Qt::Key_Bar, KeyCode::Backslash}, {Qt::Key_Semicolon, KeyCode::Semicolon},
            {Qt::Key_Colon, KeyCode::Semicolon}, {Qt::Key_Apostrophe, KeyCode::Quote},
            {Qt::Key_QuoteDbl, KeyCode::Quote}, {Qt::Key_Comma, KeyCode::Comma}, {Qt::Key_Less, KeyCode::Comma},
            {Qt::Key_Period, KeyCode::Period}, {Qt::Key_Greater, KeyCode::Period}, {Qt::Key_Slash, KeyCode::Slash},
            {Qt::Key_Question, KeyCode::Slash}, {Qt::Key_QuoteLeft, KeyCode::Grave},
            {Qt::Key_AsciiTilde, KeyCode::Grave}, {Qt::Key_Return, KeyCode::Return},
            {Qt::Key_Enter, KeyCode::KeypadEnter}, {Qt::Key_Tab, KeyCode::Tab}, {Qt::Key_Backtab, KeyCode::Tab},
            {Qt::Key_Space, KeyCode::Space}, {Qt::Key_Backspace, KeyCode::Delete},
            {Qt::Key_Escape, KeyCode::Escape}, {Qt::Key_Delete, KeyCode::ForwardDelete},
            {Qt::Key_Home, KeyCode::Home}, {Qt::Key_End, KeyCode::End}, {Qt::Key_PageUp, KeyCode::PageUp},
            {Qt::Key_PageDown, KeyCode::PageDown}, {Qt::Key_Left, KeyCode::LeftArrow},
            {Qt::Key_Right, KeyCode::RightArrow}, {Qt::Key_Up, KeyCode::UpArrow},
            {Qt::Key_Down, KeyCode::DownArrow}, {Qt::Key_Help, KeyCode::Help}, {Qt::Key_Insert, KeyCode::Help},
            {Qt::Key_Shift, KeyCode::Shift}, {Qt::Key_Control, KeyCode::Control}, {Qt::Key_Alt, KeyCode::Option},
            {Qt::Key_Meta, KeyCode::Command}, {Qt::Key_Super_L, KeyCode::Command},
            {Qt::Key_Super_R, KeyCode::RightCommand}, {Qt::Key_CapsLock, KeyCode::CapsLock},
            {Qt::Key_VolumeUp, KeyCode::VolumeUp}, {Qt::Key_VolumeDown, KeyCode::VolumeDown},
            {Qt::Key_VolumeMute, KeyCode::Mute}, {Qt::Key_F1, KeyCode::F1}, {Qt::Key_F2, KeyCode::F2},
            {Qt::Key_F3, KeyCode::F3}, {Qt::Key_F4, KeyCode::F4}, {Qt::Key_F5, KeyCode::F5},
            {Qt::Key_F6, KeyCode::F6}, {Qt::Key_F7, KeyCode::F7}, {Qt::Key_F8, KeyCode::F8},
            {Qt::Key_F9, KeyCode::F9}, {Qt::Key_F10, KeyCode::F10}, {Qt::Key_F11, KeyCode::F11},
            {Qt::Key_F12, KeyCode::F12}, {Qt::Key_F13, KeyCode::F13}, {Qt::Key_F14, KeyCode::F14},
            {Qt::Key_F15, KeyCode::F15}, {Qt::Key_F16, KeyCode::F16}, {Qt::Key_F17, KeyCode::F17},
            {Qt::Key_F18, KeyCode::F18}, {Qt::Key_F19, KeyCode::F19}, {Qt::Key_F20, KeyCode::F20},
        };
        for (const auto &[key, code] : others)
            t.insert(key, code);
        return t;
    }();
    return table;
}

std::optional<int> keypadCode(int qtKey)
{
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) {
        static constexpr int pad[10] = {KeyCode::Keypad0, KeyCode::Keypad1, KeyCode::Keypad2, KeyCode::Keypad3,
                                        KeyCode::Keypad4, KeyCode::Keypad5, KeyCode::Keypad6, KeyCode::Keypad7,
                                        KeyCode::Keypad8, KeyCode::Keypad9};
        return pad[qtKey - Qt::Key_0];
    }
    switch (qtKey) {
    case Qt::Key_Period:
    case Qt::Key_Comma:
        return KeyCode::KeypadDecimal;
    case Qt::Key_Asterisk:
        return KeyCode::KeypadMultiply;
    case Qt::Key_Plus:
        return KeyCode::KeypadPlus;
    case Qt::Key_Minus:
        return KeyCode::KeypadMinus;
    case Qt::Key_Slash:
        return KeyCode::KeypadDivide;
    case Qt::Key_Equal:
        return KeyCode::KeypadEquals;
    case Qt::Key_Enter:
    case Qt::Key_Return:
        return KeyCode::KeypadEnter;
    case Qt::Key_Clear:
    case Qt::Key_NumLock:
        return KeyCode::KeypadClear;
    default:
        return std::nullopt;
    }
}

} // namespace

std::optional<int> keyCodeFromQtKey(int qtKey, bool keypad)
{
    if (keypad) {
        if (std::optional<int> code = keypadCode(qtKey))
            return code;
    }
    auto it = qtKeyTable().constFind(qtKey);
    if (it == qtKeyTable().constEnd())
        return std::nullopt;
    return *it;
}

std::optional<int> keyCodeOf(const QKeyEvent &event)
{
    if (event.nativeScanCode() != 0) {
        if (std::optional<int> code = keyCodeFromX11(event.nativeScanCode()))
            return code;
    }
    return keyCodeFromQtKey(event.key(), event.modifiers().testFlag(Qt::KeypadModifier));
}

unsigned modifierFlagsFromQt(Qt::KeyboardModifiers modifiers)
{
    unsigned flags = 0;
    if (modifiers & Qt::ShiftModifier)
        flags |= ModifierFlag::shift;
    if (modifiers & Qt::ControlModifier)
        flags |= ModifierFlag::control;
    if (modifiers & Qt::AltModifier)
        flags |= ModifierFlag::option;
    if (modifiers & Qt::MetaModifier)
        flags |= ModifierFlag::command;
    if (modifiers & Qt::KeypadModifier)
        flags |= ModifierFlag::numericPad;
    return flags;
}

Qt::KeyboardModifiers qtModifiersFromFlags(unsigned flags)
{
    Qt::KeyboardModifiers modifiers;
    if (flags & ModifierFlag::shift)
        modifiers |= Qt::ShiftModifier;
    if (flags & ModifierFlag::control)
        modifiers |= Qt::ControlModifier;
    if (flags & ModifierFlag::option)
        modifiers |= Qt::AltModifier;
    if (flags & ModifierFlag::command)
        modifiers |= Qt::MetaModifier;
    if (flags & ModifierFlag::numericPad)
        modifiers |= Qt::KeypadModifier;
    return modifiers;
}

unsigned carbonFromModifierFlags(unsigned flags)
{
    unsigned carbon = 0;
    if (flags & ModifierFlag::command)
        carbon |= CarbonModifier::command;
    if (flags & ModifierFlag::shift)
        carbon |= CarbonModifier::shift;
    if (flags & ModifierFlag::option)
        carbon |= CarbonModifier::option;
    if (flags & ModifierFlag::control)
        carbon |= CarbonModifier::control;
    return carbon;
}

unsigned modifierFlagsFromCarbon(unsigned carbon)
{
    unsigned flags = 0;
    if (carbon & CarbonModifier::command)
        flags |= ModifierFlag::command;
    if (carbon & CarbonModifier::shift)
        flags |= ModifierFlag::shift;
    if (carbon & CarbonModifier::option)
        flags |= ModifierFlag::option;
    if (carbon & CarbonModifier::control)
        flags |= ModifierFlag::control;
    return flags;
}

} // namespace kalvo
