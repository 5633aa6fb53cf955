// Kalvo's key codes and modifier masks.
//
// Key codes are the macOS virtual key codes: physical positions on a US-ANSI
// keyboard (0 = A, 36 = Return, 48 = Tab, 49 = Space, 53 = Escape, 122 =
// F1), so a stored shortcut names a key, not a character. Modifiers come in
// the two conventions the older kit uses: event flags (shift 0x20000, control
// 0x40000, option 0x80000, command 0x100000) and Carbon (command 0x100,
// shift 0x200, option 0x800, control 0x1000).
//
// On Linux, Ctrl is control, Alt is option, Shift is shift and Super/Meta is
// command. Key codes come from the event's X11/evdev scan code when it has
// one, else from its Qt key.
#pragma once

#include <kalvo/global.h>

#include <Qt>

#include <optional>

QT_BEGIN_NAMESPACE
class QKeyEvent;
QT_END_NAMESPACE

namespace kalvo {

namespace KeyCode {
inline constexpr int A = 0x00, S = 0x01, D = 0x02, F = 0x03, H = 0x04, G = 0x05, Z = 0x06, X = 0x07, C = 0x08,
                     V = 0x09, ISOSection = 0x0A, B = 0x0B, Q = 0x0C, W = 0x0D, E = 0x0E, R = 0x0F, Y = 0x10,
                     T = 0x11, One = 0x12, Two = 0x13, Three = 0x14, Four = 0x15, Six = 0x16, Five = 0x17,
                     Equal = 0x18, Nine = 0x19, Seven = 0x1A, Minus = 0x1B, Eight = 0x1C, Zero = 0x1D,
                     RightBracket = 0x1E, O = 0x1F, U = 0x20, LeftBracket = 0x21, I = 0x22, P = 0x23, Return = 0x24,
                     L = 0x25, J = 0x26, Quote = 0x27, K = 0x28, Semicolon = 0x29, Backslash = 0x2A, Comma = 0x2B,
                     Slash = 0x2C, N = 0x2D, M = 0x2E, Period = 0x2F, Tab = 0x30, Space = 0x31, Grave = 0x32,
                     Delete = 0x33, Escape = 0x35, RightCommand = 0x36, Command = 0x37, Shift = 0x38,
                     CapsLock = 0x39, Option = 0x3A, Control = 0x3B, RightShift = 0x3C, RightOption = 0x3D,
                     RightControl = 0x3E, Function = 0x3F, F17 = 0x40, KeypadDecimal = 0x41,
                     KeypadMultiply = 0x43, KeypadPlus = 0x45, KeypadClear = 0x47, VolumeUp = 0x48,
                     VolumeDown = 0x49, Mute = 0x4A, KeypadDivide = 0x4B, KeypadEnter = 0x4C, KeypadMinus = 0x4E,
                     F18 = 0x4F, F19 = 0x50, KeypadEquals = 0x51, Keypad0 = 0x52, Keypad1 = 0x53, Keypad2 = 0x54,
                     Keypad3 = 0x55, Keypad4 = 0x56, Keypad5 = 0x57, Keypad6 = 0x58, Keypad7 = 0x59, F20 = 0x5A,
                     Keypad8 = 0x5B, Keypad9 = 0x5C, JISYen = 0x5D, JISUnderscore = 0x5E, JISKeypadComma = 0x5F,
                     F5 = 0x60, F6 = 0x61, F7 = 0x62, F3 = 0x63, F8 = 0x64, F9 = 0x65, JISEisu = 0x66, F11 = 0x67,
                     JISKana = 0x68, F13 = 0x69, F16 = 0x6A, F14 = 0x6B, F10 = 0x6D, F12 = 0x6F, F15 = 0x71,
                     Help = 0x72, Home = 0x73, PageUp = 0x74, ForwardDelete = 0x75, F4 = 0x76, End = 0x77,
                     F2 = 0x78, PageDown = 0x79, F1 = 0x7A, LeftArrow = 0x7B, RightArrow = 0x7C, DownArrow = 0x7D,
                     UpArrow = 0x7E;
} // namespace KeyCode

namespace ModifierFlag {
inline constexpr unsigned capsLock = 0x10000;
inline constexpr unsigned shift = 0x20000;
inline constexpr unsigned control = 0x40000;
inline constexpr unsigned option = 0x80000;
inline constexpr unsigned command = 0x100000;
inline constexpr unsigned numericPad = 0x200000;
inline constexpr unsigned function = 0x800000;
// The four that make shortcuts.
inline constexpr unsigned deviceIndependentShortcutMask = shift | control | option | command;
} // namespace ModifierFlag

namespace CarbonModifier {
inline constexpr unsigned command = 0x100;
inline constexpr unsigned shift = 0x200;
inline constexpr unsigned option = 0x800;
inline constexpr unsigned control = 0x1000;
} // namespace CarbonModifier

// The key code of an X11 key code (evdev code + 8); nothing for keys that
// have no position on a Mac keyboard.
KALVO_EXPORT std::optional<int> keyCodeFromX11(unsigned x11KeyCode);
// The X11 key code of a Kalvo key code (the inverse table).
KALVO_EXPORT std::optional<unsigned> x11FromKeyCode(int keyCode);
// The key code for a Qt key, as it sits on a US keyboard; `keypad` picks the
// keypad's copy of digits and operators.
KALVO_EXPORT std::optional<int> keyCodeFromQtKey(int qtKey, bool keypad = false);
// The key code of an event: its native scan code when it has one, else its
// Qt key.
KALVO_EXPORT std::optional<int> keyCodeOf(const QKeyEvent &event);

KALVO_EXPORT unsigned modifierFlagsFromQt(Qt::KeyboardModifiers modifiers);
KALVO_EXPORT Qt::KeyboardModifiers qtModifiersFromFlags(unsigned flags);
KALVO_EXPORT unsigned carbonFromModifierFlags(unsigned flags);
KALVO_EXPORT unsigned modifierFlagsFromCarbon(unsigned carbon);

} // namespace kalvo
