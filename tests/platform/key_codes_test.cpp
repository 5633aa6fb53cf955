#include <kalvo/platform/keycodes.h>

#include <QKeyEvent>

#include <gtest/gtest.h>

using namespace kalvo;

namespace {

TEST(KeyCodes, X11CodesMapToMacPositions)
{
    EXPECT_EQ(keyCodeFromX11(38), KeyCode::A);    // evdev KEY_A 30
    EXPECT_EQ(keyCodeFromX11(111), KeyCode::UpArrow);
    EXPECT_EQ(keyCodeFromX11(133), KeyCode::Command); // Super_L
    EXPECT_EQ(keyCodeFromX11(0), std::nullopt);
    EXPECT_EQ(keyCodeFromX11(100000), std::nullopt);
    for (int code = 0; code < 128; ++code) {
        if (const std::optional<unsigned> x11 = x11FromKeyCode(code)) {
            EXPECT_EQ(keyCodeFromX11(*x11), code) << code;
        }
    }
    EXPECT_EQ(x11FromKeyCode(-1), std::nullopt);
    EXPECT_EQ(x11FromKeyCode(0x44), std::nullopt) << "no key sits there";
}

TEST(KeyCodes, QtKeysWhenThereIsNoScanCode)
{
    EXPECT_EQ(keyCodeFromQtKey(Qt::Key_A), KeyCode::A);
    EXPECT_EQ(keyCodeFromQtKey(Qt::Key_Exclam), KeyCode::One) << "a shifted symbol is its key";
    EXPECT_EQ(keyCodeFromQtKey(Qt::Key_Backtab), KeyCode::Tab);
    EXPECT_EQ(keyCodeFromQtKey(Qt::Key_5, true), KeyCode::Keypad5);
    EXPECT_EQ(keyCodeFromQtKey(Qt::Key_Enter), KeyCode::KeypadEnter);
    EXPECT_EQ(keyCodeFromQtKey(Qt::Key_unknown), std::nullopt);
    QKeyEvent synthetic(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    EXPECT_EQ(keyCodeOf(synthetic), KeyCode::Escape);
    QKeyEvent native(QEvent::KeyPress, Qt::Key_Q, Qt::NoModifier, 38, 0, 0); // scan code of A wins
    EXPECT_EQ(keyCodeOf(native), KeyCode::A);
}

TEST(KeyCodes, ModifierConventionsConvertBothWays)
{
    const unsigned flags = modifierFlagsFromQt(Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier | Qt::MetaModifier);
    EXPECT_EQ(flags, ModifierFlag::control | ModifierFlag::option | ModifierFlag::shift | ModifierFlag::command);
    EXPECT_EQ(carbonFromModifierFlags(flags), 0x1B00u);
    EXPECT_EQ(modifierFlagsFromCarbon(0x1B00), flags);
    EXPECT_EQ(carbonFromModifierFlags(ModifierFlag::command), CarbonModifier::command);
    EXPECT_EQ(qtModifiersFromFlags(ModifierFlag::command | ModifierFlag::numericPad), Qt::MetaModifier | Qt::KeypadModifier);
    EXPECT_EQ(modifierFlagsFromCarbon(0), 0u);
}

} // namespace
