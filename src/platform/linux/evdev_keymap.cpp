// X11 key codes (evdev + 8) to Kalvo key codes: one table for the physical
// positions of a PC keyboard as a Mac keyboard has them.
#include <kalvo/platform/keycodes.h>

#include <linux/input-event-codes.h>

#include <array>
#include <utility>

namespace kalvo {

namespace {

constexpr std::pair<unsigned, int> kEvdevToKeyCode[] = {
    {KEY_A, KeyCode::A}, {KEY_S, KeyCode::S}, {KEY_D, KeyCode::D}, {KEY_F, KeyCode::F}, {KEY_H, KeyCode::H},
    {KEY_G, KeyCode::G}, {KEY_Z, KeyCode::Z}, {KEY_X, KeyCode::X}, {KEY_C, KeyCode::C}, {KEY_V, KeyCode::V},
    {KEY_102ND, KeyCode::ISOSection}, {KEY_B, KeyCode::B}, {KEY_Q, KeyCode::Q}, {KEY_W, KeyCode::W},
    {KEY_E, KeyCode::E}, {KEY_R, KeyCode::R}, {KEY_Y, KeyCode::Y}, {KEY_T, KeyCode::T}, {KEY_1, KeyCode::One},
    {KEY_2, KeyCode::Two}, {KEY_3, KeyCode::Three}, {KEY_4, KeyCode::Four}, {KEY_6, KeyCode::Six},
    {KEY_5, KeyCode::Five}, {KEY_EQUAL, KeyCode::Equal}, {KEY_9, KeyCode::Nine}, {KEY_7, KeyCode::Seven},
    {KEY_MINUS, KeyCode::Minus}, {KEY_8, KeyCode::Eight}, {KEY_0, KeyCode::Zero},
    {KEY_RIGHTBRACE, KeyCode::RightBracket}, {KEY_O, KeyCode::O}, {KEY_U, KeyCode::U},
    {KEY_LEFTBRACE, KeyCode::LeftBracket}, {KEY_I, KeyCode::I}, {KEY_P, KeyCode::P}, {KEY_ENTER, KeyCode::Return},
    {KEY_L, KeyCode::L}, {KEY_J, KeyCode::J}, {KEY_APOSTROPHE, KeyCode::Quote}, {KEY_K, KeyCode::K},
    {KEY_SEMICOLON, KeyCode::Semicolon}, {KEY_BACKSLASH, KeyCode::Backslash}, {KEY_COMMA, KeyCode::Comma},
    {KEY_SLASH, KeyCode::Slash}, {KEY_N, KeyCode::N}, {KEY_M, KeyCode::M}, {KEY_DOT, KeyCode::Period},
    {KEY_TAB, KeyCode::Tab}, {KEY_SPACE, KeyCode::Space}, {KEY_GRAVE, KeyCode::Grave},
    {KEY_BACKSPACE, KeyCode::Delete}, {KEY_ESC, KeyCode::Escape}, {KEY_RIGHTMETA, KeyCode::RightCommand},
    {KEY_LEFTMETA, KeyCode::Command}, {KEY_LEFTSHIFT, KeyCode::Shift}, {KEY_CAPSLOCK, KeyCode::CapsLock},
    {KEY_LEFTALT, KeyCode::Option}, {KEY_LEFTCTRL, KeyCode::Control}, {KEY_RIGHTSHIFT, KeyCode::RightShift},
    {KEY_RIGHTALT, KeyCode::RightOption}, {KEY_RIGHTCTRL, KeyCode::RightControl}, {KEY_F17, KeyCode::F17},
    {KEY_KPDOT, KeyCode::KeypadDecimal}, {KEY_KPASTERISK, KeyCode::KeypadMultiply},
    {KEY_KPPLUS, KeyCode::KeypadPlus}, {KEY_NUMLOCK, KeyCode::KeypadClear}, {KEY_VOLUMEUP, KeyCode::VolumeUp},
    {KEY_VOLUMEDOWN, KeyCode::VolumeDown}, {KEY_MUTE, KeyCode::Mute}, {KEY_KPSLASH, KeyCode::KeypadDivide},
    {KEY_KPENTER, KeyCode::KeypadEnter}, {KEY_KPMINUS, KeyCode::KeypadMinus}, {KEY_F18, KeyCode::F18},
    {KEY_F19, KeyCode::F19}, {KEY_KPEQUAL, KeyCode::KeypadEquals}, {KEY_KP0, KeyCode::Keypad0},
    {KEY_KP1, KeyCode::Keypad1}, {KEY_KP2, KeyCode::Keypad2}, {KEY_KP3, KeyCode::Keypad3},
    {KEY_KP4, KeyCode::Keypad4}, {KEY_KP5, KeyCode::Keypad5}, {KEY_KP6, KeyCode::Keypad6},
    {KEY_KP7, KeyCode::Keypad7}, {KEY_F20, KeyCode::F20}, {KEY_KP8, KeyCode::Keypad8}, {KEY_KP9, KeyCode::Keypad9},
    {KEY_YEN, KeyCode::JISYen}, {KEY_RO, KeyCode::JISUnderscore}, {KEY_KPCOMMA, KeyCode::JISKeypadComma},
    {KEY_F5, KeyCode::F5}, {KEY_F6, KeyCode::F6}, {KEY_F7, KeyCode::F7}, {KEY_F3, KeyCode::F3},
    {KEY_F8, KeyCode::F8}, {KEY_F9, KeyCode::F9}, {KEY_MUHENKAN, KeyCode::JISEisu}, {KEY_F11, KeyCode::F11},
    {KEY_HENKAN, KeyCode::JISKana}, {KEY_F13, KeyCode::F13}, {KEY_F16, KeyCode::F16}, {KEY_F14, KeyCode::F14},
    {KEY_F10, KeyCode::F10}, {KEY_F12, KeyCode::F12}, {KEY_F15, KeyCode::F15}, {KEY_INSERT, KeyCode::Help},
    {KEY_HOME, KeyCode::Home}, {KEY_PAGEUP, KeyCode::PageUp}, {KEY_DELETE, KeyCode::ForwardDelete},
    {KEY_F4, KeyCode::F4}, {KEY_END, KeyCode::End}, {KEY_F2, KeyCode::F2}, {KEY_PAGEDOWN, KeyCode::PageDown},
    {KEY_F1, KeyCode::F1}, {KEY_LEFT, KeyCode::LeftArrow}, {KEY_RIGHT, KeyCode::RightArrow},
    {KEY_DOWN, KeyCode::DownArrow}, {KEY_UP, KeyCode::UpArrow},
};

constexpr unsigned kX11Offset = 8; // X11 key codes are evdev codes + 8

constexpr auto buildForward()
{
    std::array<int, 256> table{};
    for (int &entry : table)
        entry = -1;
    for (const auto &[evdev, code] : kEvdevToKeyCode)
        table[evdev + kX11Offset] = code;
    return table;
}

constexpr auto buildBackward()
{
    std::array<int, 128> table{};
    for (int &entry : table)
        entry = -1;
    for (const auto &[evdev, code] : kEvdevToKeyCode) {
        if (table[static_cast<std::size_t>(code)] < 0)
            table[static_cast<std::size_t>(code)] = static_cast<int>(evdev + kX11Offset);
    }
    return table;
}

constexpr std::array<int, 256> kForward = buildForward();
constexpr std::array<int, 128> kBackward = buildBackward();

} // namespace

std::optional<int> keyCodeFromX11(unsigned x11KeyCode)
{
    if (x11KeyCode >= kForward.size() || kForward[x11KeyCode] < 0)
        return std::nullopt;
    return kForward[x11KeyCode];
}

std::optional<unsigned> x11FromKeyCode(int keyCode)
{
    if (keyCode < 0 || keyCode >= static_cast<int>(kBackward.size()) || kBackward[static_cast<std::size_t>(keyCode)] < 0)
        return std::nullopt;
    return static_cast<unsigned>(kBackward[static_cast<std::size_t>(keyCode)]);
}

} // namespace kalvo
